// Transport of the main window: hot spots, playing the selected entry, the
// automatic advance and the current-track line, on fakes.
#include "fakes/form1_harness.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

using namespace tarn;
using namespace tarn::test;

namespace {

// A window with `count` entries "/m/<i>.mp3" / "<i>.mp3", entry `selected`
// selected and Repeat as given; the engine's call log starts empty.
Form1 &makeWindow(Form1Harness &h, int count, int selected, bool repeat)
{
    h.engine.lengthOnOpen = 180;
    Form1 &f = h.create();
    for (int i = 0; i < count; ++i) {
        f.List1->addItem(QStringLiteral("/m/%1.mp3").arg(i));
        f.List2->addItem(QStringLiteral("%1.mp3").arg(i));
    }
    Form1::setSelectedIndex(f.List1, selected);
    Form1::setSelectedIndex(f.List2, selected);
    f.Check1->setChecked(repeat);
    h.engine.calls.clear();
    return f;
}

// Shows the window with its playlist, as a user working with the list has it.
void showFullView(Form1 &f)
{
    if (f.playlistShown == 0)
        f.Show_play_Click();
    f.show();
}

// The full view of a one-entry window, shown and active, so that focus and
// keys behave as for a user typing into it. Null when the window never
// became active.
Form1 *activeFullWindow(Form1Harness &h)
{
    Form1 &f = makeWindow(h, 1, -1, false);
    showFullView(f);
    f.activateWindow();
    return QTest::qWaitForWindowActive(&f) ? &f : nullptr;
}

const QString kEndLine = QStringLiteral("Now Playing :- End Of Playlist");

} // namespace

class TransportTest : public QObject {
    Q_OBJECT
private slots:
    // Guards: Play not starting the display; Pause doing more than pausing.
    void playAndPause()
    {
        Form1Harness h;
        Form1 &f = makeWindow(h, 1, 0, false);
        f.List1_DblClick();
        f.Timer1->stop();
        h.engine.calls.clear();
        f.pause1_Click();
        QCOMPARE(h.engine.calls, QStringList{"Pause"});
        QCOMPARE(h.engine.playStatus, 1);
        QVERIFY(!f.Timer1->isActive());
        f.Play1_Click();
        QCOMPARE(h.engine.calls, (QStringList{"Pause", "Play"}));
        QCOMPARE(h.engine.playStatus, 2);
        QVERIFY(f.Timer1->isActive());
    }

    // Guards: Stop not rewinding, or touching the selection, caption, track
    // text or the display timer.
    void stopRewindsAndKeepsTheRest()
    {
        Form1Harness h;
        Form1 &f = makeWindow(h, 2, 1, false);
        f.List1_DblClick();
        h.engine.position = 42;
        f.Timer1_Timer();
        QCOMPARE(f.Slider1->value(), 42);
        const QString caption = f.windowTitle();
        const QString track = f.Text1->text();
        h.engine.calls.clear();

        f.stop1_Click();
        QCOMPARE(h.engine.calls, (QStringList{"Stop", "Position=0"}));
        QCOMPARE(f.Slider1->value(), 0);
        QVERIFY(f.Timer1->isActive());
        QCOMPARE(Form1::selectedIndex(f.List2), 1);
        QCOMPARE(f.windowTitle(), caption);
        QCOMPARE(f.Text1->text(), track);
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
        QTest::newRow("next, none selected") << 3 << -1 << false << true << 0 << 0;
        QTest::newRow("next, middle") << 3 << 1 << false << true << 2 << 2;
        // Guards: Next past the end losing the selection or playing nothing valid.
        QTest::newRow("next, last, no repeat") << 3 << 2 << false << true << -1 << 2;
        QTest::newRow("next, last, repeat") << 3 << 2 << true << true << 0 << 0;
        // Guards: a crash or stray engine call on an empty playlist.
        QTest::newRow("next, empty") << 0 << -1 << true << true << -1 << -1;
        QTest::newRow("back, middle") << 3 << 2 << false << false << 1 << 1;
        // Guards: Back on the first entry doing nothing instead of restarting it.
        QTest::newRow("back, first") << 3 << 0 << false << false << 0 << 0;
        QTest::newRow("back, none selected") << 3 << -1 << false << false << -1 << -1;
        QTest::newRow("back, empty") << 0 << -1 << false << false << -1 << -1;
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
        next ? f.next1_Click() : f.Back1_Click();

        QCOMPARE(Form1::selectedIndex(f.List1), selectedAfter);
        QCOMPARE(Form1::selectedIndex(f.List2), selectedAfter);
        if (played < 0) {
            QVERIFY(h.engine.calls.isEmpty());
        } else {
            QCOMPARE(h.engine.calls,
                     (QStringList{QStringLiteral("FileName=/m/%1.mp3").arg(played), "Play"}));
            // The line names the entry that was just selected.
            QCOMPARE(f.Text1->text(), QStringLiteral("%1.mp3 ").arg(played) + f.Label3->text());
            QCOMPARE(f.lbl_track->text(), QStringLiteral("Now Playing : ") + f.Text1->text());
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
        f.List1->addItem(path);
        f.List2->addItem(QStringLiteral("big song.mp3"));
        f.Label3->setText(QStringLiteral("/  02:00"));
        Form1::setSelectedIndex(f.List2, 2);
        f.List2_DblClick();

        QCOMPARE(h.engine.calls, (QStringList{QStringLiteral("FileName=") + path, "Play"}));
        QCOMPARE(Form1::selectedIndex(f.List1), 2);
        QCOMPARE(f.windowTitle(), path);
        QCOMPARE(f.Label4->text(), QStringLiteral("File Size: 4567 KB's"));
        QCOMPARE(f.Text1->text(), QStringLiteral("big song.mp3 /  02:00"));
        QCOMPARE(f.lbl_track->text(), QStringLiteral("Now Playing : big song.mp3 /  02:00"));
        QVERIFY(f.Timer1->isActive());
    }

    // Guards: a missing or broken entry crashing, or claiming to play.
    void unplayableEntrySaysWhy()
    {
        Form1Harness h;
        Form1 &f = makeWindow(h, 2, 1, false);
        h.engine.unplayable << QStringLiteral("/m/1.mp3");
        f.List2_DblClick();
        QVERIFY(!h.engine.calls.contains(QStringLiteral("Play")));
        QCOMPARE(f.Label4->text(), QStringLiteral("File Size: 0 KB's"));
        QCOMPARE(f.lbl_track->text(),
                 QStringLiteral("Now Playing : 1.mp3 cannot be played: not an audio file"));
        f.Timer1_Timer(); // length 0: the line stays
        QVERIFY(f.lbl_track->text().endsWith(QStringLiteral("not an audio file")));
    }

    // Guards: a single click in List2 leaving List1 on another entry (then
    // Next would step from the wrong place), or starting playback.
    void clickAndArrowKeysMoveBothSelections()
    {
        Form1Harness h;
        Form1 &f = makeWindow(h, 4, -1, false);
        showFullView(f);
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        const QRect row2 = f.List2->visualItemRect(f.List2->item(2));
        QTest::mouseClick(f.List2->viewport(), Qt::LeftButton, {}, row2.center());
        QCOMPARE(Form1::selectedIndex(f.List2), 2);
        QCOMPARE(Form1::selectedIndex(f.List1), 2);
        QTest::keyClick(f.List2, Qt::Key_Down);
        QCOMPARE(Form1::selectedIndex(f.List1), 3);
        QVERIFY(h.engine.calls.isEmpty());

        f.next1_Click(); // the last entry, no repeat: nothing
        QVERIFY(h.engine.calls.isEmpty());
        f.Back1_Click();
        QCOMPARE(h.engine.calls.first(), QStringLiteral("FileName=/m/2.mp3"));
    }

    void endOfTrack_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("repeat");
        QTest::addColumn<int>("played"); // -1: stopped at the end of the playlist

        QTest::newRow("middle") << 3 << 1 << false << 2;
        // Guards: the advance stepping from -1 into nowhere.
        QTest::newRow("none selected") << 3 << -1 << false << 0;
        // Guards: Repeat replaying the last track instead of the whole list.
        QTest::newRow("last, repeat") << 3 << 2 << true << 0;
        QTest::newRow("only entry, repeat") << 1 << 0 << true << 0;
        // Guards: the end of the playlist not stopping or not saying so.
        QTest::newRow("last, no repeat") << 3 << 2 << false << -1;
        QTest::newRow("empty playlist") << 0 << -1 << true << -1;
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
        const bool timerWasActive = f.Timer1->isActive();
        h.engine.finishTrack();

        if (played >= 0) {
            QCOMPARE(h.engine.calls, (QStringList{QStringLiteral("FileName=/m/%1.mp3").arg(played),
                                                  "Play", "Flag1017=1"}));
            QCOMPARE(Form1::selectedIndex(f.List1), played);
            QCOMPARE(Form1::selectedIndex(f.List2), played);
            QCOMPARE(f.Text1->text(), QStringLiteral("%1.mp3").arg(played));
            QCOMPARE(f.lbl_track->text(), QStringLiteral("Now Playing : %1.mp3").arg(played));
        } else {
            QCOMPARE(h.engine.calls, QStringList{"Stop"});
            QCOMPARE(f.Text1->text(), QStringLiteral("End of playlist"));
            QCOMPARE(f.lbl_track->text(), kEndLine);
        }
        QCOMPARE(f.windowTitle(), caption);
        QCOMPARE(f.Timer1->isActive(), timerWasActive);
    }

    // Guards: the end-of-playlist line being wiped by the next display tick
    // (50 ms later) while the stopped file still reports its length, or
    // staying while the mini player plays the file again.
    void endOfPlaylistLineStaysUntilPlayAgain()
    {
        Form1Harness h;
        Form1 &f = makeWindow(h, 2, 1, false);
        f.List1_DblClick();
        h.engine.finishTrack();
        QCOMPARE(h.engine.length, 180.0);
        f.Timer1_Timer();
        f.Timer1_Timer();
        QCOMPARE(f.lbl_track->text(), kEndLine);
        QCOMPARE(f.Label3->text(), QStringLiteral("/  03:00")); // the rest of the display goes on

        h.engine.Play(); // as the mini player's Play does, past the window's handlers
        f.Timer1_Timer();
        QCOMPARE(f.lbl_track->text(), QStringLiteral("Now Playing : 1.mp3 - 03:00"));
    }

    // Guards: the advance stopping at (or looping on) an entry that cannot be opened.
    void advanceSkipsUnplayableEntries()
    {
        Form1Harness h;
        Form1 &f = makeWindow(h, 4, 0, false);
        h.engine.unplayable << QStringLiteral("/m/1.mp3") << QStringLiteral("/m/2.mp3");
        h.engine.finishTrack();
        QCOMPARE(h.engine.calls, (QStringList{"FileName=/m/1.mp3", "FileName=/m/2.mp3",
                                              "FileName=/m/3.mp3", "Play", "Flag1017=1"}));
        QCOMPARE(Form1::selectedIndex(f.List2), 3);
        QCOMPARE(f.lbl_track->text(), QStringLiteral("Now Playing : 3.mp3"));
    }

    // Guards: Repeat over a playlist of nothing but broken entries cycling for ever.
    void advanceOverOnlyUnplayableEntriesEnds()
    {
        Form1Harness h;
        Form1 &f = makeWindow(h, 3, 1, true);
        for (int i = 0; i < 3; ++i)
            h.engine.unplayable << QStringLiteral("/m/%1.mp3").arg(i);
        h.engine.finishTrack();
        QCOMPARE(h.engine.calls.filter(QStringLiteral("FileName=")).size(), 3);
        QVERIFY(!h.engine.calls.contains(QStringLiteral("Play")));
        QCOMPARE(h.engine.calls.last(), QStringLiteral("Stop"));
        QCOMPARE(f.lbl_track->text(), kEndLine);

        // A later end of track tries them all again, still finitely.
        h.engine.calls.clear();
        h.engine.finishTrack();
        QCOMPARE(h.engine.calls.filter(QStringLiteral("FileName=")).size(), 3);
    }

    // Guards: the advance acting while optRES is not selected.
    void endOfTrackIgnoredWithoutOptRes()
    {
        Form1Harness h;
        Form1 &f = makeWindow(h, 3, 0, false);
        f.optRES->setAutoExclusive(false);
        f.optRES->setChecked(false);
        h.engine.finishTrack();
        QVERIFY(h.engine.calls.isEmpty());
        QCOMPARE(Form1::selectedIndex(f.List2), 0);
    }

    // Guards: the hidden text boxes keeping the focus (typing into them).
    void hiddenTextBoxesPassFocusToThePlaylist()
    {
        Form1Harness h;
        Form1 *window = activeFullWindow(h);
        QVERIFY(window);
        Form1 &f = *window;
        for (QLineEdit *box : {f.Text1, f.Text2}) {
            f.Command1->setFocus();
            box->setFocus();
            QTRY_COMPARE(QApplication::focusWidget(), f.List2);
        }
    }

    // Guards: Shift+Tab from the playlist bouncing off the hidden text boxes
    // straight back to the playlist, so the keyboard can never leave it.
    void backtabLeavesThePlaylist()
    {
        Form1Harness h;
        Form1 *window = activeFullWindow(h);
        QVERIFY(window);
        Form1 &f = *window;
        f.List2->setFocus();
        QTest::keyClick(f.List2, Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(QApplication::focusWidget() != f.List2);
        QVERIFY(QApplication::focusWidget() != f.Text1);
        QVERIFY(QApplication::focusWidget() != f.Text2);
    }

    // Guards: a file name that looks like markup shown as rich text.
    void trackLineShowsNamesLiterally()
    {
        Form1Harness h;
        h.engine.lengthOnOpen = 180;
        Form1 &f = h.create();
        f.List1->addItem(QStringLiteral("/m/<b>x</b>.mp3"));
        f.List2->addItem(QStringLiteral("<b>x</b>.mp3"));
        Form1::setSelectedIndex(f.List2, 0);
        f.List2_DblClick();
        f.Timer1_Timer();
        QVERIFY(f.lbl_track->text().contains(QStringLiteral("<b>x</b>.mp3")));
        QCOMPARE(f.lbl_track->textFormat(), Qt::PlainText);
    }
};

QTEST_MAIN(TransportTest)
#include "test_transport.moc"
