// A folder with no place in the order.
#include "engine/engine.h"
