// What the mini player, the tray, desktop controls and the flag files drive:
// the main window's own handlers, its volume bar, its track text, showing
// and hiding it.
#include "main_window/form1.h"
#include "widgets/bring_forward.h"

#include <QLineEdit>
#include <QScrollBar>
#include <QWindow>

#include <algorithm>

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

// The bar's own handling sets the engine when the position changes; when it
// does not (the mixer may have taken the engine below the bar's bottom) the
// engine is set here. Either way the engine hears of it once.
void Form1::setVolumePosition(int position)
{
    position = std::clamp(position, HScroll1->minimum(), HScroll1->maximum());
    if (HScroll1->value() != position)
        HScroll1->setValue(position);
    else
        mp.setVolume(volumeForBar(position));
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
