// Shows a window, or brings it in front of the others when it is shown
// already, and gives it the keyboard.
#pragma once

#include <QWidget>

namespace tarn {

inline void bringForward(QWidget *window)
{
    if (window->isVisible())
        window->raise(); // a window being mapped comes up in front anyway
    else
        window->show();
    window->activateWindow();
}

} // namespace tarn
