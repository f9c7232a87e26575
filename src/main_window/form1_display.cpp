// Position slider, elapsed time, length, track text and volume.
//
// Timer1 polls the engine while something plays. Everything it shows changes
// once a second, so each tick sets the next for just after the position
// reaches its next whole second (about one wake-up a second instead of 20);
// the play paths start it with a short first tick. A tick that finds nothing
// playing shows that last state and stops the timer, so a paused or stopped
// player does not wake at all. Second counts are 64-bit, so long files show
// e.g. 600:00.
#include "main_window/form1.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cmath>

namespace tarn {

namespace {

// Seconds to the nearest whole second, an exact half to the even neighbour;
// nothing below 0 and nothing that is not a number.
qint64 wholeSeconds(double seconds)
{
    if (!(seconds > 0))
        return 0;
    return static_cast<qint64>(std::min(std::nearbyint(seconds), double(LLONG_MAX / 2)));
}

// A whole number with at least two digits: 5 -> "05", 125 -> "125".
QString twoDigits(qint64 n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

const QString kOutputLostText =
    QStringLiteral(" - no sound: the sound output is gone; it plays on when one is back");

// The slider works in ints; a longer position pins it at its end.
int sliderUnits(qint64 seconds)
{
    return static_cast<int>(std::min<qint64>(seconds, INT_MAX));
}

// Milliseconds from `position` until the shown second changes (it is
// rounded to the nearest), a little after, so that the tick finds it changed.
// A second at most: a position that stands still (the output starving, or
// gone) is looked at again then.
int msToNextSecond(double position)
{
    constexpr int kAfterMs = 3;
    if (!(position >= 0) || position > 1e12)
        return 1000;
    const double next = std::floor(position + 0.5) + 0.5;
    return std::clamp(static_cast<int>(std::ceil((next - position) * 1000)) + kAfterMs, 10, 1000);
}

} // namespace

void Form1::startDisplayTimer()
{
    Timer1->start(kFirstTickMs);
}

void Form1::Timer1_Timer()
{
    const double position = mp.Position();
    const double length = mp.Length();
    const bool playing = mp.PlayStatus() == PlayState::Playing;
    if (!playing) {
        Timer1->stop(); // this tick still shows where it stopped
        notifyChanged();
    } else if (Timer1->isActive()) {
        Timer1->setInterval(msToNextSecond(position));
    }
    if (!sliderHeld_) {
        // The maximum first, so that the value is never clamped to last tick's.
        Slider1->setMaximum(sliderUnits(wholeSeconds(length)));
        Slider1->setValue(sliderUnits(wholeSeconds(position)));
    }
    if (!(length > 0))
        return;

    const qint64 p = wholeSeconds(position);
    txtTime->setText(twoDigits(p / 60) + QLatin1Char(':') + twoDigits(p % 60));

    const qint64 d = wholeSeconds(length);
    const QString duration = twoDigits(d / 60) + QLatin1Char(':') + twoDigits(d % 60);
    Label3->setText(QStringLiteral("/  ") + duration);
    // The end-of-playlist line and a failure's reason stay until something
    // plays again.
    if (trackLineHeld_ && !playing)
        return;
    trackLineHeld_ = false;
    // Under a minute the track text has two blanks after the dash. While
    // the sound output is gone the line says so instead of the length, until
    // one is back and the track sounds again.
    const QString dash = d > 59 ? QStringLiteral(" - ") : QStringLiteral(" -  ");
    const QString track =
        selectedText(List2) + (playing && mp.outputLost() ? kOutputLostText : dash + duration);
    if (Text1->text() != track) // a tick that changes nothing repaints nothing
        Text1->setText(track);
}

// Seeks to the slider's position in whole seconds. Reads the thumb's position,
// which during a drag is ahead of the value. With nothing playing (paused,
// or Stop rewinding) no further tick would show the new position, so one runs
// here.
void Form1::Slider1_Scroll()
{
    mp.setPosition(static_cast<double>(Slider1->sliderPosition()));
    if (mp.PlayStatus() != PlayState::Playing)
        Timer1_Timer();
    notifySeeked();
}

// A seek from outside the window goes where the slider would take it. The
// slider's range may still be last track's when the length is known already.
void Form1::seekTo(double seconds)
{
    Slider1->setMaximum(std::max(Slider1->maximum(), sliderUnits(wholeSeconds(mp.Length()))));
    Slider1->setSliderPosition(sliderUnits(wholeSeconds(seconds)));
    Slider1_Scroll();
}

// Volume: the bar's position to the engine's hundredths of a decibel.
void Form1::HScroll1_Change()
{
    const int v = HScroll1->value();
    if (!followingMixer_)
        mp.setVolume(volumeForBar(v));
    lbl_vol->setText(QStringLiteral("Volume ") + QString::number(v * 100 / kVolumeSteps) +
                     QStringLiteral(" %"));
}

// The engine has the new volume already (the mixer set its stream's): the
// bar, its label and the desktop's controls follow, and the engine is not
// set again (a mixer setting below the bar's bottom would become silence).
void Form1::mp_VolumeChanged(int hundredthsOfDb)
{
    followingMixer_ = true;
    HScroll1->setValue(
        std::clamp(barForVolume(hundredthsOfDb), HScroll1->minimum(), HScroll1->maximum()));
    followingMixer_ = false;
}

} // namespace tarn
