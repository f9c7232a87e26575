#include "desktop/window_system.h"

namespace tarn {

WindowSystemChoice chooseWindowSystem(const WindowSystemEnvironment &environment)
{
    if (!environment.qtPlatform.isEmpty())
        return {};
    const bool x11 = !environment.x11Display.isEmpty();
    const bool wayland = !environment.waylandDisplay.isEmpty();
    // Qt takes the first platform of the list that opens: a named X server
    // that does not answer leaves the Wayland compositor.
    if (x11 && wayland)
        return {"xcb;wayland", {}};
    if (x11)
        return {"xcb", {}};
    if (wayland)
        return {"wayland", {}};
    return {{},
            QStringLiteral("no display to show the window on: neither DISPLAY (X11) nor "
                           "WAYLAND_DISPLAY (Wayland) is set. Start the player from a desktop "
                           "session, or set QT_QPA_PLATFORM.")};
}

QString windowSystemFailure(const WindowSystemEnvironment &environment)
{
    const auto value = [](const QByteArray &text) {
        return text.isEmpty() ? QStringLiteral("(not set)") : QString::fromLocal8Bit(text);
    };
    QString text = QStringLiteral("could not open the display (QT_QPA_PLATFORM %1, DISPLAY %2, "
                                  "WAYLAND_DISPLAY %3): is the desktop session running?")
                       .arg(value(environment.qtPlatform), value(environment.x11Display),
                            value(environment.waylandDisplay));
    if (environment.qtPlatform.contains("wayland"))
        text += QStringLiteral(" Wayland needs Qt's Wayland platform (Debian: qt6-wayland).");
    return text;
}

bool keepsOnTopAndOpacity(const QString &platformName)
{
    return !platformName.startsWith(QLatin1String("wayland"));
}

} // namespace tarn
