// Transport of the main window: hot spots, playing the selected entry, the
// automatic advance and the current-track line, on fakes. The fake engine
// reports each open as a later event, as the real one does; settle() runs
// those events.
#include "fakes/data_rows.h"
#include "fakes/form1_harness.h"
#include "fakes/form1_probe.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <numeric>

using namespace tarn;
using namespace tarn::test;

namespace {

QString path(int entry)
{
    return QStringLiteral("/m/%1.mp3").arg(entry);
}

// A window with `count` entries "/m/<i>.mp3" / "<i>.mp3", entry `selected`
// selected and Repeat as given; the engine's call log starts empty.
Form1 &makeWindow(Form1Harness &h, int count, int selected, bool repeat)
{
    h.engine.lengthOnOpen = 180;
    Form1 &f = h.create();
    for (int i = 0; i < count; ++i) {
        probe(f).List1->addItem(path(i));
        probe(f).List2->addItem(QStringLiteral("%1.mp3").arg(i));
    }
    Form1Probe::setSelectedIndex(probe(f).List1, selected);
    Form1Probe::setSelectedIndex(probe(f).List2, selected);
    probe(f).Check1->setChecked(repeat);
    h.engine.settle();
    h.engine.calls.clear();
    return f;
}

// The engine calls of the automatic advance to `entry`.
QStringList advanceCalls(int entry)
{
    return {QStringLiteral("FileName=") + path(entry), "Play", "Flag1017=1"};
}

// Shows the window with its playlist, as a user working with the list has it.
void showFullView(Form1 &f)
{
    if (probe(f).playlistShown() == 0)
        probe(f).Show_play_Click();
    f.show();
}

// The full view of a window with `count` entries, shown and active, so that
// focus and keys behave as for a user typing into it. Null when the window
// never became active.
Form1 *activeFullWindow(Form1Harness &h, int count = 1)
{
    Form1 &f = makeWindow(h, count, -1, false);
    showFullView(f);
    f.activateWindow();
    return QTest::qWaitForWindowActive(&f) ? &f : nullptr;
}

const QString kEndLine = QStringLiteral("Now Playing :- End Of Playlist");

} // namespace

class TransportTest : public QObject {
    Q_OBJECT
private slots:
    // Guards: Play not starting the display again; Pause doing more than pausing.
    void playAndPause()
    {
        Form1Harness h;
        Form1 &f = makeWindow(h, 1, 0, false);
        probe(f).List1_DblClick();
        h.engine.settle();
        h.engine.calls.clear();
        probe(f).pause1_Click();
        QCOMPARE(h.engine.calls, QStringList{"Pause"});
        QCOMPARE(h.engine.playStatus, PlayState::Paused);
        QVERIFY(!probe(f).Timer1->isActive());
        probe(f).Play1_Click();
        QCOMPARE(h.engine.calls, (QStringList{"Pause", "Play"}));
        QCOMPARE(h.engine.playStatus, PlayState::Playing);
        QVERIFY(probe(f).Timer1->isActive());
    }

    // Guards: Stop not rewinding, not showing 0, or touching the selection,
    // caption or track text.
    void stopRewindsAndKeepsTheRest()
    {
        Form1Harness h;
        Form1 &f = makeWindow(h, 2, 1, false);
        probe(f).List1_DblClick();
        h.engine.settle();
        h.engine.position = 42;
        probe(f).Timer1_Timer();
        QCOMPARE(probe(f).Slider1->value(), 42);
        QCOMPARE(probe(f).txtTime->text(), QStringLiteral("00:42"));
        const QString caption = f.windowTitle();
        const QString track = probe(f).Text1->text();
        h.engine.calls.clear();

        probe(f).stop1_Click();
        QCOMPARE(h.engine.calls, (QStringList{"Stop", "Position=0"}));
        QCOMPARE(probe(f).Slider1->value(), 0);
        QCOMPARE(probe(f).txtTime->text(), QStringLiteral("00:00"));
        QCOMPARE(Form1Probe::selectedIndex(probe(f).List2), 1);
        QCOMPARE(f.windowTitle(), caption);
        QCOMPARE(probe(f).Text1->text(), track);
    }

    void nextAndBack_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("repeat");
        QTest::addColumn<bool>("next");  // false: Back
        QTest::addColumn<int>("played"); // entry played, -1 for none
        QTest::addColumn<int>("selectedAfter");

        // Guards: Next with nothing selected not starting at the first entry.
        row("next, none selected", 3, -1, false, true, 0, 0);
        row("next, middle", 3, 1, false, true, 2, 2);
        // Guards: Next past the end losing the selection or playing nothing valid.
        row("next, last, no repeat", 3, 2, false, true, -1, 2);
        row("next, last, repeat", 3, 2, true, true, 0, 0);
        // Guards: a crash or stray engine call on an empty playlist.
        row("next, empty", 0, -1, true, true, -1, -1);
        row("back, middle", 3, 2, false, false, 1, 1);
        // Guards: Back on the first entry doing nothing instead of restarting it.
        row("back, first", 3, 0, false, false, 0, 0);
        row("back, none selected", 3, -1, false, false, -1, -1);
        row("back, empty", 0, -1, false, false, -1, -1);
    }
    void nextAndBack()
    {
        QFETCH(int, count);
        QFETCH(int, selected);
        QFETCH(bool, repeat);
        QFETCH(bool, next);
        QFETCH(int, played);
        QFETCH(int, selectedAfter);
        Form1Harness h;
        Form1 &f = makeWindow(h, count, selected, repeat);
        next ? probe(f).next1_Click() : probe(f).Back1_Click();
        h.engine.settle();

        QCOMPARE(Form1Probe::selectedIndex(probe(f).List1), selectedAfter);
        QCOMPARE(Form1Probe::selectedIndex(probe(f).List2), selectedAfter);
        if (played < 0) {
            QVERIFY(h.engine.playerCalls().isEmpty());
        } else {
            QCOMPARE(h.engine.playerCalls(),
                     (QStringList{QStringLiteral("FileName=") + path(played), "Play"}));
            QCOMPARE(h.engine.playStatus, PlayState::Playing);
            // The line names the entry that was just selected.
            QCOMPARE(probe(f).Text1->text(),
                     QStringLiteral("%1.mp3 ").arg(played) + probe(f).Label3->text());
            QCOMPARE(probe(f).lbl_track->text(),
                     QStringLiteral("Now Playing : ") + probe(f).Text1->text());
        }
    }

    // Guards: the caption, size label (4,567,890 bytes -> 4567) or display
    // timer not set when an entry starts; a double-click playing the wrong row.
    void doubleClickPlaysTheEntry()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("big song.mp3"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(4'567'890));
        file.close();

        Form1Harness h;
        Form1 &f = makeWindow(h, 2, -1, false);
        probe(f).List1->addItem(path);
        probe(f).List2->addItem(QStringLiteral("big song.mp3"));
        probe(f).Label3->setText(QStringLiteral("/  02:00"));
        Form1Probe::setSelectedIndex(probe(f).List2, 2);
        probe(f).List2_DblClick();
        h.engine.settle();

        QCOMPARE(h.engine.playerCalls(), (QStringList{QStringLiteral("FileName=") + path, "Play"}));
        QCOMPARE(Form1Probe::selectedIndex(probe(f).List1), 2);
        QCOMPARE(f.windowTitle(), path);
        QCOMPARE(probe(f).Label4->text(), QStringLiteral("File Size: 4567 KB's"));
        QCOMPARE(probe(f).Text1->text(), QStringLiteral("big song.mp3 /  02:00"));
        QCOMPARE(probe(f).lbl_track->text(), QStringLiteral("Now Playing : big song.mp3 /  02:00"));
        QVERIFY(probe(f).Timer1->isActive());
    }

    void playFailureSaysWhy_data()
    {
        QTest::addColumn<QString>("how");   // "double-click", "advance", "Play"
        QTest::addColumn<bool>("noOutput"); // false: the file cannot be opened
        QTest::addColumn<QString>("reason");
        // Guards: a missing or broken entry crashing, claiming to play, or
        // leaving the time of the track before it on show.
        row("double-click, broken file", "double-click", false, "not an audio file");
        // Guards: no sound output failing silently, as if the track played.
        row("double-click, no output", "double-click", true, "no sound output");
        row("Play, no output", "Play", true, "no sound output");
        // Guards: the advance racing on through the playlist with no output.
        row("advance, no output", "advance", true, "no sound output");
    }
    void playFailureSaysWhy()
    {
        QFETCH(QString, how);
        QFETCH(bool, noOutput);
        QFETCH(QString, reason);
        Form1Harness h;
        Form1 &f = makeWindow(h, 3, 0, false);
        probe(f).List2_DblClick();
        h.engine.settle();
        h.engine.position = 30;
        probe(f).Timer1_Timer();
        QCOMPARE(probe(f).txtTime->text(), QStringLiteral("00:30"));
        if (noOutput)
            h.engine.playFailure = reason;
        else
            h.engine.unplayable << path(1);
        h.engine.calls.clear();

        if (how == QLatin1String("Play")) {
            h.engine.Stop();
            probe(f).Play1_Click();
        } else {
            Form1Probe::setSelectedIndex(probe(f).List2, how == QLatin1String("advance") ? 0 : 1);
            how == QLatin1String("advance") ? h.engine.finishTrack() : probe(f).List2_DblClick();
        }
        h.engine.settle();
        probe(f).Timer1_Timer();

        const QString name =
            how == QLatin1String("Play") ? QStringLiteral("0.mp3") : QStringLiteral("1.mp3");
        QCOMPARE(probe(f).lbl_track->text(), QStringLiteral("Now Playing : ") + name +
                                                 QStringLiteral(" cannot be played: ") + reason);
        QVERIFY(h.engine.playStatus != PlayState::Playing);
        QVERIFY(!probe(f).Timer1->isActive());
        QVERIFY(h.engine.playerCalls().filter(QStringLiteral("FileName=")).size() <= 1);
        if (!noOutput) {
            QCOMPARE(probe(f).txtTime->text(), QStringLiteral(" "));
            QCOMPARE(probe(f).Label3->text(), QStringLiteral(" "));
            QCOMPARE(probe(f).Label4->text(), QStringLiteral("File Size: 0 KB's"));
        }
    }

    // Guards: a sound server gone mid-track leaving the line claiming that the
    // track plays, or the line not coming back once it sounds again.
    void lostOutputShowsOnTheTrackLine()
    {
        Form1Harness h;
        Form1 &f = makeWindow(h, 3, 0, false);
        probe(f).List2_DblClick();
        h.engine.settle();
        h.engine.position = 30;
        probe(f).Timer1_Timer();
        const QString sounding = probe(f).Text1->text();
        h.engine.lostOutput = true;
        probe(f).Timer1_Timer();
        QCOMPARE(probe(f).lbl_track->toolTip(),
                 QStringLiteral("Now Playing : 0.mp3 - no sound: the sound output is gone; it "
                                "plays on when one is back"));
        QVERIFY(probe(f).Timer1->isActive());
        h.engine.lostOutput = false;
        probe(f).Timer1_Timer();
        QCOMPARE(probe(f).Text1->text(), sounding);
    }

    // Guards: a single click in List2 leaving List1 on another entry (then
    // Next would step from the wrong place), or starting playback.
    void clickAndArrowKeysMoveBothSelections()
    {
        Form1Harness h;
        Form1 &f = makeWindow(h, 4, -1, false);
        showFullView(f);
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        const QRect row2 = probe(f).List2->visualItemRect(probe(f).List2->item(2));
        QTest::mouseClick(probe(f).List2->viewport(), Qt::LeftButton, {}, row2.center());
        QCOMPARE(Form1Probe::selectedIndex(probe(f).List2), 2);
        QCOMPARE(Form1Probe::selectedIndex(probe(f).List1), 2);
        QTest::keyClick(probe(f).List2, Qt::Key_Down);
        QCOMPARE(Form1Probe::selectedIndex(probe(f).List1), 3);
        QVERIFY(h.engine.playerCalls().isEmpty());

        probe(f).next1_Click(); // the last entry, no repeat: nothing
        QVERIFY(h.engine.playerCalls().isEmpty());
        probe(f).Back1_Click();
        QCOMPARE(h.engine.playerCalls().first(), QStringLiteral("FileName=/m/2.mp3"));
    }

    void endOfTrack_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("repeat");
        QTest::addColumn<int>("played"); // -1: stopped at the end of the playlist

        row("middle", 3, 1, false, 2);
        // Guards: the advance stepping from -1 into nowhere.
        row("none selected", 3, -1, false, 0);
        // Guards: Repeat replaying the last track instead of the whole list.
        row("last, repeat", 3, 2, true, 0);
        row("only entry, repeat", 1, 0, true, 0);
        // Guards: the end of the playlist not stopping or not saying so.
        row("last, no repeat", 3, 2, false, -1);
        row("empty playlist", 0, -1, true, -1);
    }
    void endOfTrack()
    {
        QFETCH(int, count);
        QFETCH(int, selected);
        QFETCH(bool, repeat);
        QFETCH(int, played);
        Form1Harness h;
        Form1 &f = makeWindow(h, count, selected, repeat);
        const QString caption = f.windowTitle();
        h.engine.finishTrack();
        h.engine.settle();

        if (played >= 0) {
            QCOMPARE(h.engine.playerCalls(), advanceCalls(played));
            QCOMPARE(Form1Probe::selectedIndex(probe(f).List1), played);
            QCOMPARE(Form1Probe::selectedIndex(probe(f).List2), played);
            QCOMPARE(probe(f).Text1->text(), QStringLiteral("%1.mp3").arg(played));
            QCOMPARE(probe(f).lbl_track->text(),
                     QStringLiteral("Now Playing : %1.mp3").arg(played));
            // Guards: the caption and size still naming the first track played.
            QCOMPARE(f.windowTitle(), path(played));
            QCOMPARE(probe(f).Label4->text(), QStringLiteral("File Size: 0 KB's"));
            QCOMPARE(h.engine.playStatus, PlayState::Playing);
            QVERIFY(probe(f).Timer1->isActive());
        } else {
            QCOMPARE(h.engine.playerCalls(), QStringList{"Stop"});
            QCOMPARE(probe(f).Text1->text(), QStringLiteral("End of playlist"));
            QCOMPARE(probe(f).lbl_track->text(), kEndLine);
            QCOMPARE(f.windowTitle(), caption);
        }
    }

    // Guards: the end-of-playlist line being wiped by the next display tick
    // (50 ms later) while the stopped file still reports its length, or
    // staying while the mini player plays the file again.
    void endOfPlaylistLineStaysUntilPlayAgain()
    {
        Form1Harness h;
        Form1 &f = makeWindow(h, 2, 1, false);
        probe(f).List1_DblClick();
        h.engine.settle();
        h.engine.finishTrack();
        QCOMPARE(h.engine.length, 180.0);
        probe(f).Timer1_Timer();
        probe(f).Timer1_Timer();
        QCOMPARE(probe(f).lbl_track->text(), kEndLine);
        QCOMPARE(probe(f).Label3->text(),
                 QStringLiteral("/  03:00")); // the rest of the display goes on

        h.engine.Play(); // as the mini player's Play does, past the window's handlers
        probe(f).Timer1_Timer();
        QCOMPARE(probe(f).lbl_track->text(), QStringLiteral("Now Playing : 1.mp3 - 03:00"));
    }

    void advanceOverUnplayableEntries_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("repeat");
        QTest::addColumn<QList<int>>("broken");
        QTest::addColumn<QList<int>>("opened"); // entries opened, in order
        QTest::addColumn<int>("played");        // -1: ends with the end-of-playlist line

        // Guards: the advance stopping at an entry that cannot be opened.
        row("two broken, then a good one", 4, 0, false, QList<int>{1, 2}, QList<int>{1, 2, 3}, 3);
        // Guards: a broken last entry leaving the player neither playing nor ended.
        row("broken to the end", 4, 1, false, QList<int>{2, 3}, QList<int>{2, 3}, -1);
        // Guards: Repeat over a playlist of nothing but broken entries cycling for ever.
        row("all broken, repeat: one pass", 3, 1, true, QList<int>{0, 1, 2}, QList<int>{2, 0, 1},
            -1);
        // Guards: a long run of missing files (an unplugged drive) tried to its end.
        row("ten broken in a row", 12, 0, false, QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
            QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, -1);
        row("nine broken in a row", 12, 0, false, QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9},
            QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 10);
        QList<int> all(30);
        std::iota(all.begin(), all.end(), 0);
        row("all broken, repeat, long playlist", 30, 29, true, all,
            QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, -1);
    }
    void advanceOverUnplayableEntries()
    {
        QFETCH(int, count);
        QFETCH(int, selected);
        QFETCH(bool, repeat);
        QFETCH(QList<int>, broken);
        QFETCH(QList<int>, opened);
        QFETCH(int, played);
        Form1Harness h;
        Form1 &f = makeWindow(h, count, selected, repeat);
        for (const int entry : broken)
            h.engine.unplayable << path(entry);
        h.engine.finishTrack();
        h.engine.settle();

        QStringList expected;
        for (const int entry : opened)
            expected << advanceCalls(entry);
        if (played < 0)
            expected << QStringLiteral("Stop");
        QCOMPARE(h.engine.playerCalls(), expected);
        // Guards: the advance looping over the entries on the UI thread,
        // which freezes the window for as long as the opens take.
        QCOMPARE(h.engine.mostOpensPerEvent, 1);
        if (played >= 0) {
            QCOMPARE(Form1Probe::selectedIndex(probe(f).List2), played);
            QCOMPARE(probe(f).lbl_track->text(),
                     QStringLiteral("Now Playing : %1.mp3").arg(played));
            QCOMPARE(f.windowTitle(), path(played));
        } else {
            QCOMPARE(probe(f).lbl_track->text(), kEndLine);
        }

        // A later end of track starts a new run, still finite.
        h.engine.calls.clear();
        h.engine.finishTrack();
        h.engine.settle();
        QVERIFY(h.engine.playerCalls().filter(QStringLiteral("FileName=")).size() <= 10);
    }

    // Guards: the advance going on past a broken entry after the user has
    // taken over (stopped, paused, pressed Play or chosen an entry).
    void userActionEndsTheAdvanceRun_data()
    {
        QTest::addColumn<QString>("action");
        row("Stop", "Stop");
        row("Pause", "Pause");
        row("Play", "Play");
        row("double-click", "double-click");
    }
    void userActionEndsTheAdvanceRun()
    {
        QFETCH(QString, action);
        Form1Harness h;
        Form1 &f = makeWindow(h, 5, 0, false);
        for (int entry = 1; entry < 5; ++entry)
            h.engine.unplayable << path(entry);
        h.engine.finishTrack(); // opens entry 1
        QVERIFY(h.engine.opening());
        QCoreApplication::sendPostedEvents(); // 1 fails, the advance opens 2
        QCOMPARE(h.engine.fileName, path(2));
        if (action == QLatin1String("Stop"))
            probe(f).stop1_Click();
        else if (action == QLatin1String("Pause"))
            probe(f).pause1_Click();
        else if (action == QLatin1String("Play"))
            probe(f).Play1_Click();
        else
            probe(f).List2_DblClick(); // entry 2 again, the user's choice
        h.engine.settle();

        QCOMPARE(h.engine.fileName, path(2));
        QCOMPARE(probe(f).lbl_track->text(),
                 QStringLiteral("Now Playing : 2.mp3 cannot be played: not an audio file"));
        QCOMPARE(Form1Probe::selectedIndex(probe(f).List2), 2);
    }

    // Guards: the hint for the entry after next reaching the engine before
    // the advance opens the next entry, which throws away the file the
    // engine prepared and leaves a gap between the tracks.
    void nextFileHintFollowsTheAdvanceOpen()
    {
        Form1Harness h;
        makeWindow(h, 4, 0, false);
        h.engine.finishTrack();
        h.engine.settle();
        QCOMPARE(h.engine.calls, (advanceCalls(1) << QStringLiteral("Next=") + path(2)));
    }

    void nextFileHint_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("repeat");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("hint"); // the file the engine is told to prepare

        // Guards: a hint that does not follow the selection, or names the
        // selected entry instead of the one after it.
        row("selection moves", 4, 0, false, "select 2", "/m/3.mp3");
        row("selection cleared", 4, 2, false, "select -1", "/m/0.mp3");
        // Guards: Repeat not wrapping the hint to the first entry, or a hint
        // past the end without it.
        row("repeat ticked at the last", 3, 2, false, "repeat on", "/m/0.mp3");
        row("repeat cleared at the last", 3, 2, true, "repeat off", "");
        // Guards: entries added after the last one not becoming the next file.
        row("entries added", 3, 2, false, "add 2", "/n/0.mp3");
        // Guards: the hint left on the entry after a removed one, while the
        // advance (with nothing selected) starts at the first entry.
        row("selected entry removed", 4, 1, false, "remove 1", "/m/0.mp3");
        row("last entry removed", 1, 0, true, "remove 0", "");
    }
    void nextFileHint()
    {
        QFETCH(int, count);
        QFETCH(int, selected);
        QFETCH(bool, repeat);
        QFETCH(QString, change);
        QFETCH(QString, hint);
        Form1Harness h;
        Form1 &f = makeWindow(h, count, selected, repeat);
        const QStringList words = change.split(QLatin1Char(' '));
        const int n = words.value(1).toInt();
        if (words[0] == QLatin1String("select")) {
            Form1Probe::setSelectedIndex(probe(f).List2, n);
        } else if (words[0] == QLatin1String("repeat")) {
            probe(f).Check1->setChecked(words[1] == QLatin1String("on"));
        } else if (words[0] == QLatin1String("add")) {
            QStringList files;
            for (int i = 0; i < n; ++i)
                files << QStringLiteral("/n/%1.mp3").arg(i);
            h.dialogs.answers << files;
            probe(f).Command11_Click();
        } else {
            Form1Probe::setSelectedIndex(probe(f).List2, n);
            probe(f).Command2_Click();
        }
        h.engine.settle();
        QCOMPARE(h.engine.nextFileName, hint);
        // Guards: a hint per changed row and list, each a file the engine opens ahead.
        QCOMPARE(h.engine.calls.filter(QStringLiteral("Next=")).size(), 1);
    }

    // Guards: the advance acting while optRES is not selected.
    void endOfTrackIgnoredWithoutOptRes()
    {
        Form1Harness h;
        Form1 &f = makeWindow(h, 3, 0, false);
        probe(f).control<QRadioButton>("optRES")->setAutoExclusive(false);
        probe(f).control<QRadioButton>("optRES")->setChecked(false);
        h.engine.finishTrack();
        h.engine.settle();
        QVERIFY(h.engine.calls.isEmpty());
        QCOMPARE(Form1Probe::selectedIndex(probe(f).List2), 0);
    }

    // Guards: the hidden text boxes keeping the focus (typing into them), and
    // Shift+Tab from the playlist bouncing off them straight back to the
    // playlist, so the keyboard can never leave it.
    void hiddenTextBoxesPassFocusOn()
    {
        Form1Harness h;
        Form1 *window = activeFullWindow(h);
        QVERIFY(window);
        Form1 &f = *window;
        for (QLineEdit *box : {probe(f).Text1, probe(f).control<QLineEdit>("Text2")}) {
            probe(f).Command1->setFocus();
            box->setFocus();
            QTRY_COMPARE(QApplication::focusWidget(), probe(f).List2);
        }
        QTest::keyClick(probe(f).List2, Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(QApplication::focusWidget() != probe(f).List2);
        QVERIFY(QApplication::focusWidget() != probe(f).Text1);
        QVERIFY(QApplication::focusWidget() != probe(f).control<QLineEdit>("Text2"));
    }

    void returnPlaysTheSelectedEntry_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("heldRepeats"); // auto-repeated presses after the first
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("plays");
        // Guards: Return on an entry doing nothing where a double-click plays it.
        row("Return", int(Qt::Key_Return), int(Qt::NoModifier), 0, 1, true);
        row("keypad Enter", int(Qt::Key_Enter), int(Qt::KeypadModifier), 0, 2, true);
        // Guards: a held key restarting the track over and over.
        row("held Return", int(Qt::Key_Return), int(Qt::NoModifier), 3, 1, true);
        // Guards: Return with nothing selected playing some entry anyway.
        row("nothing selected", int(Qt::Key_Return), int(Qt::NoModifier), 0, -1, false);
    }
    void returnPlaysTheSelectedEntry()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, heldRepeats);
        QFETCH(int, selected);
        QFETCH(bool, plays);
        Form1Harness h;
        Form1 *window = activeFullWindow(h, 3);
        QVERIFY(window);
        Form1 &f = *window;
        probe(f).List2->setFocus();
        Form1Probe::setSelectedIndex(probe(f).List2, selected);
        h.engine.calls.clear();
        const auto mods = Qt::KeyboardModifiers(modifiers);
        QTest::keyPress(probe(f).List2, Qt::Key(key), mods);
        for (int i = 0; i < heldRepeats; ++i) {
            QKeyEvent repeat(QEvent::KeyPress, key, mods, QString(), true);
            QApplication::sendEvent(probe(f).List2, &repeat);
        }
        QTest::keyRelease(probe(f).List2, Qt::Key(key), mods);
        h.engine.settle();

        if (!plays) {
            QVERIFY(h.engine.playerCalls().isEmpty());
            return;
        }
        QCOMPARE(h.engine.playerCalls(),
                 (QStringList{QStringLiteral("FileName=") + path(selected), "Play"}));
        QCOMPARE(Form1Probe::selectedIndex(probe(f).List1), selected);
        QCOMPARE(f.windowTitle(), path(selected));
        QCOMPARE(probe(f).Text1->text(),
                 QStringLiteral("%1.mp3 ").arg(selected) + probe(f).Label3->text());
        QCOMPARE(h.engine.playStatus, PlayState::Playing);
    }

    // Guards: a long name or reason cut off at the label's edge with no sign
    // that more follows, and the whole line out of reach.
    void longTrackLineEndsInEllipsisWithWholeLineAsTooltip()
    {
        Form1Harness h;
        Form1 &f = makeWindow(h, 0, -1, false);
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        const QString name = QString(150, QLatin1Char('n')) + QStringLiteral(".mp3");
        const QString whole = QStringLiteral("Now Playing : ") + name;
        probe(f).Text1->setText(name);
        const QString shown = probe(f).lbl_track->text();
        QCOMPARE(probe(f).lbl_track->toolTip(), whole);
        QVERIFY2(shown.endsWith(QChar(0x2026)) && whole.startsWith(shown.chopped(1)),
                 qPrintable(shown));
        QVERIFY(probe(f).lbl_track->fontMetrics().horizontalAdvance(shown) <=
                probe(f).lbl_track->contentsRect().width());

        // Guards: the cut made once for the width the label had then.
        probe(f).lbl_track->resize(probe(f).lbl_track->fontMetrics().horizontalAdvance(whole) + 10,
                                   probe(f).lbl_track->height());
        QCOMPARE(probe(f).lbl_track->text(), whole);

        probe(f).Text1->setText(QStringLiteral("short.mp3"));
        QCOMPARE(probe(f).lbl_track->text(), QStringLiteral("Now Playing : short.mp3"));
        QCOMPARE(probe(f).lbl_track->toolTip(), probe(f).lbl_track->text());
    }

    // Guards: a file name that looks like markup shown as rich text.
    void trackLineShowsNamesLiterally()
    {
        Form1Harness h;
        h.engine.lengthOnOpen = 180;
        Form1 &f = h.create();
        probe(f).List1->addItem(QStringLiteral("/m/<b>x</b>.mp3"));
        probe(f).List2->addItem(QStringLiteral("<b>x</b>.mp3"));
        Form1Probe::setSelectedIndex(probe(f).List2, 0);
        probe(f).List2_DblClick();
        h.engine.settle();
        probe(f).Timer1_Timer();
        QVERIFY(probe(f).lbl_track->text().contains(QStringLiteral("<b>x</b>.mp3")));
        QCOMPARE(probe(f).lbl_track->textFormat(), Qt::PlainText);
    }
};

QTEST_MAIN(TransportTest)
#include "test_transport.moc"
