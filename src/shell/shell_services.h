// What the tray and the About box reach outside the program, injected into
// the main window so tests pass fakes.
#pragma once

#include "platform/program_starter.h"
#include "platform/registry.h"
#include "platform/tray_icon.h"

namespace tarn {

struct ShellServices {
    TrayIcon &tray;
    Registry &registry;
    ProgramStarter &programs;

    // No tray host, no registry values, nothing started: a player that runs
    // without a notification area and starts no other program.
    static ShellServices none();
};

} // namespace tarn
