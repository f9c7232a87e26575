// Which of Qt's window systems the player opens its windows on, chosen from
// the session's variables before the application object exists. Pure
// functions of the values given: main() reads the environment.
//
// X11 comes first wherever an X server is named, XWayland included: only
// there does the mini player strip stay on top and see-through. A Wayland
// compositor alone is used as Wayland. A platform the user chose is taken as
// it is.
#pragma once

#include <QByteArray>
#include <QString>

namespace tarn {

// The variables' values; empty when unset.
struct WindowSystemEnvironment {
    QByteArray qtPlatform;     // QT_QPA_PLATFORM
    QByteArray x11Display;     // DISPLAY
    QByteArray waylandDisplay; // WAYLAND_DISPLAY
};

struct WindowSystemChoice {
    // The value to give QT_QPA_PLATFORM; empty: leave it as it is.
    QByteArray qtPlatform;
    // Not empty when no window system is named at all: the player cannot
    // run, and this says why (for standard error).
    QString error;
};

WindowSystemChoice chooseWindowSystem(const WindowSystemEnvironment &environment);

// What to say when Qt could open none of the platforms it was given.
QString windowSystemFailure(const WindowSystemEnvironment &environment);

// Whether windows on Qt's platform `platformName` can be kept above other
// windows and made see-through. Wayland leaves both to the compositor, and
// Qt drops the requests without a word.
bool keepsOnTopAndOpacity(const QString &platformName);

} // namespace tarn
