// Reaches up: the strip may not include the main window.
#include "main_window/form1.h"
#include "widgets/hot_spot.h"
