// Position slider, time display, seeking and volume of the main window, on fakes.
#include "fakes/data_rows.h"
#include "fakes/form1_harness.h"
#include "fakes/form1_probe.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QSlider>
#include <QTest>

using namespace tarn;
using namespace tarn::test;

namespace {

Form1 &makeWindow(Form1Harness &h, bool selectSong, int count = 1)
{
    Form1 &f = h.create();
    probe(f).List1->addItem(QStringLiteral("/m/Song.mp3"));
    probe(f).List2->addItem(QStringLiteral("Song.mp3"));
    for (int i = 1; i < count; ++i) {
        probe(f).List1->addItem(QStringLiteral("/m/%1.mp3").arg(i));
        probe(f).List2->addItem(QStringLiteral("%1.mp3").arg(i));
    }
    if (selectSong)
        Form1Probe::setSelectedIndex(probe(f).List2, 0);
    h.engine.settle();
    h.engine.calls.clear();
    return f;
}

// A window with `count` entries playing the first, "Song.mp3" of 180 s.
Form1 &playingWindow(Form1Harness &h, int count = 1)
{
    h.engine.lengthOnOpen = 180;
    Form1 &f = makeWindow(h, true, count);
    probe(f).List2_DblClick();
    h.engine.settle();
    h.engine.calls.clear();
    return f;
}

} // namespace

class DisplayTest : public QObject {
    Q_OBJECT
private slots:
    void tick_data()
    {
        QTest::addColumn<bool>("selected");          // "Song.mp3" selected in the playlist
        QTest::addColumn<double>("earlierPosition"); // a tick before, unless -1
        QTest::addColumn<double>("earlierLength");
        QTest::addColumn<double>("position");
        QTest::addColumn<double>("length");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("duration");
        QTest::addColumn<QString>("track");
        QTest::addColumn<int>("sliderValue");

        // Guards: truncating instead of rounding to the nearest second.
        row("59.4 s", true, -1.0, 0.0, 59.4, 225.0, "00:59", "/  03:45", "Song.mp3 - 03:45", 59);
        row("59.6 s", true, -1.0, 0.0, 59.6, 225.0, "01:00", "/  03:45", "Song.mp3 - 03:45", 60);
        // Guards: the minute boundary of the length (60 is a minute, 59 is not).
        row("length 60", true, -1.0, 0.0, 7.0, 60.0, "00:07", "/  01:00", "Song.mp3 - 01:00", 7);
        row("length 59", true, -1.0, 0.0, 7.0, 59.0, "00:07", "/  00:59", "Song.mp3 -  00:59", 7);
        row("start", true, -1.0, 0.0, 0.0, 0.4, "00:00", "/  00:00", "Song.mp3 -  00:00", 0);
        // Guards: halves rounding differently on the slider and in the text.
        row("half to even", true, -1.0, 0.0, 2.5, 90.0, "00:02", "/  01:30", "Song.mp3 - 01:30", 2);
        // Guards: the minutes field cut to two digits.
        row("6000 s", true, -1.0, 0.0, 6000.0, 7200.0, "100:00", "/  120:00", "Song.mp3 - 120:00",
            6000);
        // Guards: 16-bit second counts overflowing on long files.
        row("36000 s", true, -1.0, 0.0, 36000.0, 40000.4, "600:00", "/  666:40",
            "Song.mp3 - 666:40", 36000);
        // Guards: texts rewritten (e.g. to 00:00) while the engine reports no length.
        row("no length: only the slider moves", true, 12.0, 100.0, 0.0, 0.0, "00:12", "/  01:40",
            "Song.mp3 - 01:40", 0);
        // Guards: a missing " - " prefix (or a crash) with nothing selected.
        row("nothing selected", false, -1.0, 0.0, 0.0, 225.0, "00:00", "/  03:45", " - 03:45", 0);
        // Guards: the slider's value clamped to the previous tick's maximum
        // when the length grows (value set before the new maximum).
        row("length grows", true, 50.0, 100.0, 150.0, 200.0, "02:30", "/  03:20",
            "Song.mp3 - 03:20", 150);
    }
    void tick()
    {
        QFETCH(bool, selected);
        QFETCH(double, earlierPosition);
        QFETCH(double, earlierLength);
        QFETCH(double, position);
        QFETCH(double, length);
        QFETCH(QString, time);
        QFETCH(QString, duration);
        QFETCH(QString, track);
        QFETCH(int, sliderValue);
        Form1Harness h;
        Form1 &f = makeWindow(h, selected);
        if (earlierPosition >= 0) {
            h.engine.position = earlierPosition;
            h.engine.length = earlierLength;
            probe(f).Timer1_Timer();
        }
        h.engine.position = position;
        h.engine.length = length;
        probe(f).Timer1_Timer();

        QCOMPARE(probe(f).txtTime->text(), time);
        QCOMPARE(probe(f).Label3->text(), duration);
        QCOMPARE(probe(f).Text1->text(), track);
        QCOMPARE(probe(f).lbl_track->text(), QStringLiteral("Now Playing : ") + track);
        QCOMPARE(probe(f).Slider1->value(), sliderValue);
        QCOMPARE(probe(f).Slider1->maximum(), qRound(length)); // no exact halves in the table
        QVERIFY(h.engine.calls.isEmpty());                     // a tick never seeks
    }

    // Guards: the tick pulling the thumb back while the user drags it, and the
    // seek lagging one step behind the thumb.
    void dragSeeksAndTicksLeaveTheThumbAlone()
    {
        Form1Harness h;
        Form1 &f = makeWindow(h, true);
        h.engine.length = 300;
        h.engine.position = 10;
        probe(f).Timer1_Timer();

        probe(f).Slider1->setSliderDown(true); // what pressing the thumb does
        probe(f).Slider1->setSliderPosition(120);
        QCOMPARE(h.engine.calls, QStringList{"Position=120"});
        h.engine.position = 11; // a tick with the old position
        probe(f).Timer1_Timer();
        QCOMPARE(probe(f).Slider1->sliderPosition(), 120);
        probe(f).Slider1->setSliderDown(false);
        QCOMPARE(h.engine.calls.last(), QStringLiteral("Position=120"));
        QCOMPARE(h.engine.calls.size(), 1); // letting go does not seek a second time

        h.engine.position = 121;
        probe(f).Timer1_Timer();
        QCOMPARE(probe(f).Slider1->value(), 121);
        QCOMPARE(probe(f).txtTime->text(), QStringLiteral("02:01"));
    }

    // Guards: the pause leaving the time of the tick before it on show, and
    // ticks going on while paused (20 wake-ups a second for nothing).
    void pauseShowsThePausedTimeAndTicksStop()
    {
        Form1Harness h;
        Form1 &f = playingWindow(h);
        h.engine.position = 60.4;
        probe(f).Timer1_Timer();
        QCOMPARE(probe(f).txtTime->text(), QStringLiteral("01:00"));
        h.engine.position = 61.2; // played on since that tick
        probe(f).pause1_Click();
        const QStringList paused{probe(f).txtTime->text(), probe(f).Label3->text(),
                                 probe(f).lbl_track->text()};
        QCOMPARE(paused.first(), QStringLiteral("01:01"));
        QVERIFY(!probe(f).Timer1->isActive());

        // A probe: the real engine's position stays while paused, so any
        // tick from now on would show this and give itself away.
        h.engine.position = 75;
        QTest::qWait(4 * probe(f).Timer1->interval());
        QCOMPARE((QStringList{probe(f).txtTime->text(), probe(f).Label3->text(),
                              probe(f).lbl_track->text()}),
                 paused);
    }

    // Guards: a seek while paused (slider keys or a click on its groove) not
    // shown until playing again, since no tick runs then.
    void seekWhilePausedShowsTheNewTime()
    {
        Form1Harness h;
        Form1 &f = playingWindow(h);
        probe(f).pause1_Click();
        probe(f).Slider1->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QTRY_COMPARE(h.engine.calls.last(),
                     QStringLiteral("Position=%1").arg(probe(f).Slider1->pageStep()));
        QCOMPARE(probe(f).txtTime->text(), QStringLiteral("00:%1").arg(probe(f).Slider1->pageStep(),
                                                                       2, 10, QLatin1Char('0')));
        QVERIFY(!probe(f).Timer1->isActive());
    }

    // Guards: the display waking 20 times a second while it shows whole
    // seconds; a tick that comes before the shown second changes (it would
    // show the old one for another second).
    void ticksComeJustAfterTheShownSecondChanges()
    {
        Form1Harness h;
        Form1 &f = playingWindow(h);
        const struct {
            double position;
            int lowMs, highMs;
        } rows[] = {{60.4, 100, 120}, {60.5, 1000, 1000}, {60.6, 900, 920},
                    {0.0, 500, 520},  {59.999, 500, 520}, {1e15, 1000, 1000}};
        for (const auto &r : rows) {
            h.engine.position = r.position;
            probe(f).Timer1_Timer();
            QVERIFY2(probe(f).Timer1->isActive() && probe(f).Timer1->interval() >= r.lowMs &&
                         probe(f).Timer1->interval() <= r.highMs,
                     qPrintable(QStringLiteral("at %1 s the next tick is in %2 ms")
                                    .arg(r.position)
                                    .arg(probe(f).Timer1->interval())));
        }
        // Pressing Play again shows the position soon, whatever the last tick set.
        probe(f).Play1_Click();
        QVERIFY(probe(f).Timer1->interval() <= 100);
    }

    void timerStopsWhenNothingPlays_data()
    {
        QTest::addColumn<QString>("event");
        // Guards: the display waking 20 times a second after playback ended.
        row("Pause", "Pause");
        row("Stop", "Stop");
        row("end of playlist", "end");
        row("file cannot be played", "broken");
        row("no sound output", "no output");
        // Guards: the display stopping at the advance to the next track.
        row("advance to the next track", "advance");
    }
    void timerStopsWhenNothingPlays()
    {
        QFETCH(QString, event);
        Form1Harness h;
        Form1 &f = playingWindow(h, 2);
        QVERIFY(probe(f).Timer1->isActive());
        const bool keepsPlaying = event == QLatin1String("advance");
        if (event == QLatin1String("Pause")) {
            probe(f).pause1_Click();
        } else if (event == QLatin1String("Stop")) {
            probe(f).stop1_Click();
        } else if (event == QLatin1String("end")) {
            probe(f).Check1->setChecked(false);
            Form1Probe::setSelectedIndex(probe(f).List2, 1);
            h.engine.finishTrack();
        } else if (event == QLatin1String("advance")) {
            h.engine.finishTrack();
        } else {
            if (event == QLatin1String("broken"))
                h.engine.unplayable << QStringLiteral("/m/Song.mp3");
            else
                h.engine.playFailure = QStringLiteral("no sound output");
            probe(f).List2_DblClick();
        }
        h.engine.settle();
        QTRY_COMPARE(probe(f).Timer1->isActive(), keepsPlaying);
        QCOMPARE(h.engine.playStatus == PlayState::Playing, keepsPlaying);
    }

    void volume_data()
    {
        QTest::addColumn<int>("bar");
        QTest::addColumn<int>("engineVolume");
        QTest::addColumn<QString>("label");
        // Guards: the bar's bottom not being silence, or the percentage rounding up.
        row("0", 0, -2500, "Volume 0 %");
        row("24", 24, -2476, "Volume 0 %");
        row("1000", 1000, -1500, "Volume 40 %");
        row("2500", 2500, 0, "Volume 100 %");
    }
    void volume()
    {
        QFETCH(int, bar);
        QFETCH(int, engineVolume);
        QFETCH(QString, label);
        Form1Harness h;
        Form1 &f = makeWindow(h, true);
        // Through the bar's own change notification, from a different value.
        probe(f).HScroll1->setValue(bar == 0 ? 1 : 0);
        probe(f).HScroll1->setValue(bar);
        QCOMPARE(h.engine.volume, engineVolume);
        QCOMPARE(h.engine.calls.last(), QStringLiteral("Volume=%1").arg(engineVolume));
        QCOMPARE(probe(f).lbl_vol->text(), label);
    }

    // The desktop's mixer changed the player's volume: the bar and its label
    // follow. Guards: the bar left where it was (the next change of the bar
    // would undo the mixer's), or the engine set again from the bar (a
    // mixer setting below the bar's bottom would become silence).
    void volumeFromMixer_data()
    {
        QTest::addColumn<int>("engineVolume"); // what the mixer's change made it
        QTest::addColumn<int>("bar");
        QTest::addColumn<QString>("label");
        row("-18 dB", -1806, 694, "Volume 27 %");
        row("below the bar", -3100, 0, "Volume 0 %");
        row("full", 0, 2500, "Volume 100 %");
    }
    void volumeFromMixer()
    {
        QFETCH(int, engineVolume);
        QFETCH(int, bar);
        QFETCH(QString, label);
        Form1Harness h;
        Form1 &f = makeWindow(h, true);
        probe(f).HScroll1->setValue(1250);
        h.engine.calls.clear();
        h.engine.changeVolumeOutside(engineVolume);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(probe(f).HScroll1->value(), bar);
        QCOMPARE(probe(f).lbl_vol->text(), label);
        QCOMPARE(h.engine.calls, QStringList{});
        QCOMPARE(h.engine.volume, engineVolume);
        // The bar's own changes still set the engine afterwards.
        probe(f).HScroll1->setValue(2000);
        QCOMPARE(h.engine.calls, QStringList{QStringLiteral("Volume=-500")});
    }
};

QTEST_MAIN(DisplayTest)
#include "test_display.moc"
