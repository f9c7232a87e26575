// Stays in its folder: no fault.
#include "engine/engine.h"
