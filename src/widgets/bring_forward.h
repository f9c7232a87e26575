// Bringing the program's windows in front, and keeping them within reach.
#pragma once

#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace tarn {

// Shows a window, or brings it in front of the others when it is shown
// already, and gives it the keyboard.
inline void bringForward(QWidget *window)
{
    if (window->isVisible())
        window->raise(); // a window being mapped comes up in front anyway
    else
        window->show();
    window->activateWindow();
}

// For a window's changeEvent: a window without a minimise button and without
// a task-bar entry that a window manager minimises anyway would be out of
// reach, so it comes straight back.
inline void undoMinimise(QWidget *window, const QEvent *event)
{
    if (event->type() == QEvent::WindowStateChange && (window->windowState() & Qt::WindowMinimized))
        QTimer::singleShot(0, window, [window] {
            window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        });
}

} // namespace tarn
