#include "shell/shell_services.h"

namespace tarn {

ShellServices ShellServices::none()
{
    static NoTrayIcon tray;
    static EmptyRegistry registry;
    static NoProgramStarter programs;
    return {tray, registry, programs};
}

} // namespace tarn
