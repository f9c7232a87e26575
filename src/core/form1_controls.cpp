// What the mini player, the tray, desktop controls and the flag files drive:
// the main window's own handlers, its volume bar, its track text, showing
// and hiding it.
#include "core/bring_forward.h"
#include "core/form1.h"

#include <QLineEdit>
#include <QScrollBar>
#include <QWindow>

namespace tarn {

void Form1::tmr_chk_Timer()
{
    flagPoll_.tick(services_.appFolder, *this);
}

// Play and Pause as the main window's own: the display follows, which a
// paused player's stopped display timer would not do by itself.
void Form1::play()
{
    Play1_Click();
}
void Form1::pause()
{
    pause1_Click();
}
void Form1::back()
{
    Back1_Click();
}
void Form1::stop()
{
    stop1_Click();
}
void Form1::next()
{
    next1_Click();
}

int Form1::volumePosition() const
{
    return HScroll1->value();
}

// The bar's own handling runs only when the position changes; the engine gets
// the volume either way.
void Form1::setVolumePosition(int position)
{
    mp.setVolume(position - 2500);
    HScroll1->setValue(position);
}

QString Form1::currentTrackText() const
{
    return Text1->text();
}

void Form1::showMainWindow()
{
    // A window manager places a window shown again anew (centred, say): it
    // comes back where the user left it.
    if (QWindow *window = windowHandle(); window && isHidden())
        window->setPosition(window->position());
    bringForward(this);
}

void Form1::hideMainWindow()
{
    hide();
}

} // namespace tarn
