// Reaches sideways: shell and desktop are siblings.
#include "desktop/mpris_player.h"
