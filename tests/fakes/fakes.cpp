// The fakes are header-only; this file gives the library a translation unit.
#include "fakes/fake_dialogs.h"
#include "fakes/fake_engine.h"
#include "fakes/fake_main_window.h"
#include "fakes/fake_media_bus.h"
#include "fakes/fake_settings.h"
#include "fakes/fake_shell.h"
