// Playlist editing of the main window: Add, Add Multi, Remove, on fakes.
#include "fakes/data_rows.h"
#include "fakes/form1_harness.h"
#include "fakes/form1_probe.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

using namespace tarn;
using namespace tarn::test;

namespace {

QStringList items(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

void appendEntries(Form1 &f, int count)
{
    for (int i = 0; i < count; ++i) {
        probe(f).List1->addItem(QStringLiteral("/m/%1.mp3").arg(i));
        probe(f).List2->addItem(QStringLiteral("%1.mp3").arg(i));
    }
}

// A window with `count` entries, playing entry `playing`.
Form1 &playingWindow(Form1Harness &h, int count, int playing)
{
    h.engine.lengthOnOpen = 200;
    Form1 &f = h.create();
    appendEntries(f, count);
    Form1Probe::setSelectedIndex(probe(f).List2, playing);
    probe(f).List2_DblClick();
    h.engine.settle();
    return f;
}

} // namespace

class PlaylistTest : public QObject {
    Q_OBJECT
private slots:
    // Guards: Add asking with the wrong dialog title or filter, or losing the
    // path/name split between the two lists.
    void addPutsPathAndNameIntoBothLists()
    {
        Form1Harness h;
        Form1 &f = h.create();
        h.engine.calls.clear();
        h.dialogs.answers << QStringList{QStringLiteral("/music/Song One.mp3")};
        probe(f).Command1_Click();

        QCOMPARE(h.dialogs.calls.size(), 1);
        QCOMPARE(h.dialogs.calls[0].title, QStringLiteral("Open MP3 Song..."));
        QCOMPARE(h.dialogs.calls[0].filter, QStringLiteral("MP3 File (*.mp3);;(*.WMA)"));
        QCOMPARE(items(probe(f).List1), QStringList{QStringLiteral("/music/Song One.mp3")});
        QCOMPARE(items(probe(f).List2), QStringList{QStringLiteral("Song One.mp3")});
        // The entry just added is not selected, so the track text is a blank and Label3.
        QCOMPARE(Form1Probe::selectedIndex(probe(f).List2), -1);
        QCOMPARE(probe(f).Text1->text(), QLatin1Char(' ') + probe(f).Label3->text());
        QCOMPARE(probe(f).lbl_track->text(),
                 QStringLiteral("Now Playing : ") + probe(f).Text1->text());
        QCOMPARE(
            h.engine.playerCalls(),
            (QStringList{QStringLiteral("FileName=/music/Song One.mp3"), QStringLiteral("Stop")}));
    }

    // Guards: the old track going on playing after Add, or the display timer
    // left running for a stopped engine.
    void addWhilePlayingSwitchesAndStopsTheEngine()
    {
        Form1Harness h;
        Form1 &f = playingWindow(h, 2, 1);
        QCOMPARE(h.engine.playStatus, PlayState::Playing);
        QVERIFY(probe(f).Timer1->isActive());

        probe(f).List2_DblClick(); // the entry again; Add comes before its open is done
        h.dialogs.answers << QStringList{QStringLiteral("/other/new.mp3")};
        probe(f).Command1_Click();
        QCOMPARE(h.engine.fileName, QStringLiteral("/other/new.mp3"));
        QCOMPARE(h.engine.playStatus, PlayState::Stopped);
        QCOMPARE(h.engine.playerCalls().last(), QStringLiteral("Stop"));
        QVERIFY(!probe(f).Timer1->isActive());
        QCOMPARE(probe(f).Text1->text(), QStringLiteral("1.mp3 ") + probe(f).Label3->text());
        QCOMPARE(Form1Probe::selectedIndex(probe(f).List2), 1);
        // Guards: the added file's open taken for the entry's and shown as playing.
        h.engine.settle();
        QCOMPARE(probe(f).Text1->text(), QStringLiteral("1.mp3 ") + probe(f).Label3->text());
        QVERIFY(!probe(f).Timer1->isActive());
    }

    // Guards: a cancelled Add still touching the engine or the lists; the
    // same file twice being merged into one entry.
    void addCancelledChangesNothingAndDuplicatesAreKept()
    {
        Form1Harness h;
        Form1 &f = h.create();
        h.engine.calls.clear();
        probe(f).Command1_Click(); // no answer: cancelled
        QCOMPARE(probe(f).List1->count(), 0);
        QVERIFY(h.engine.playerCalls().isEmpty());
        QVERIFY(h.messages.shown.isEmpty());

        const QString path = QStringLiteral("/music/a.mp3");
        h.dialogs.answers << QStringList{path} << QStringList{path};
        probe(f).Command1_Click();
        probe(f).Command1_Click();
        QCOMPARE(items(probe(f).List1), (QStringList{path, path}));
        QCOMPARE(items(probe(f).List2),
                 (QStringList{QStringLiteral("a.mp3"), QStringLiteral("a.mp3")}));
    }

    void addMulti_data()
    {
        QTest::addColumn<QStringList>("chosen");
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("messages");

        // Guards: reordering or dropping a multiple selection.
        row("three in dialog order", QStringList{"/music/c.mp3", "/music/a.wav", "/music/b.WMA"},
            QStringList{"/music/c.mp3", "/music/a.wav", "/music/b.WMA"},
            QStringList{"c.mp3", "a.wav", "b.WMA"}, QStringList{});
        // Guards: one chosen file being taken for a folder and adding nothing.
        row("one file", QStringList{"/music/only.mp3"}, QStringList{"/music/only.mp3"},
            QStringList{"only.mp3"}, QStringList{});
        // Guards: a doubled separator for files in the root folder.
        row("root folder", QStringList{"/a.mp3", "/b.mp3"}, QStringList{"/a.mp3", "/b.mp3"},
            QStringList{"a.mp3", "b.mp3"}, QStringList{});
        // Guards: a cancelled dialog adding an empty entry instead of saying so.
        row("cancelled", QStringList{}, QStringList{}, QStringList{},
            QStringList{"No items Selected"});
    }
    void addMulti()
    {
        QFETCH(QStringList, chosen);
        QFETCH(QStringList, paths);
        QFETCH(QStringList, names);
        QFETCH(QStringList, messages);
        Form1Harness h;
        Form1 &f = h.create();
        h.engine.calls.clear();
        h.dialogs.answers << chosen;
        probe(f).Command11_Click();

        QCOMPARE(h.dialogs.calls.size(), 1);
        QCOMPARE(h.dialogs.calls[0].kind, QStringLiteral("openMany"));
        QCOMPARE(h.dialogs.calls[0].title, QStringLiteral("Open files..."));
        QCOMPARE(h.dialogs.calls[0].filter,
                 QStringLiteral("All supported formats (*.MP3 *.WMA *.WAV)"));
        QCOMPARE(items(probe(f).List1), paths);
        QCOMPARE(items(probe(f).List2), names);
        QCOMPARE(h.messages.texts(), messages);
        for (const MessageCall &m : h.messages.shown) {
            QCOMPARE(m.icon, MessageIcon::None);
            QCOMPARE(m.title, QStringLiteral("Tarn Player"));
        }
        QVERIFY(h.engine.playerCalls().isEmpty()); // Add Multi only appends
    }

    // Guards: GetFiles not giving the folder-then-names shape Add Multi cuts apart.
    void getFilesGivesFolderThenNames()
    {
        Form1Harness h;
        Form1 &f = h.create();
        h.dialogs.answers << QStringList{"/music/x.mp3", "/music/y.mp3"};
        QCOMPARE(probe(f).GetFiles(QStringLiteral("T")),
                 QString::fromUtf8("/music\0x.mp3\0y.mp3", 18));
        QCOMPARE(h.dialogs.calls[0].title, QStringLiteral("T"));
        QCOMPARE(probe(f).GetFiles(QStringLiteral("T")), QString()); // cancelled
    }

    void remove_data()
    {
        QTest::addColumn<int>("selected");
        QTest::addColumn<QStringList>("namesLeft");
        // Guards: removing the wrong row, or from one list only.
        row("middle", 1, QStringList{"0.mp3", "2.mp3"});
        row("last", 2, QStringList{"0.mp3", "1.mp3"});
        // Guards: a crash or a removed row when nothing is selected.
        row("nothing selected", -1, QStringList{"0.mp3", "1.mp3", "2.mp3"});
    }
    void remove()
    {
        QFETCH(int, selected);
        QFETCH(QStringList, namesLeft);
        Form1Harness h;
        Form1 &f = h.create();
        appendEntries(f, 3);
        Form1Probe::setSelectedIndex(probe(f).List2, selected);
        h.engine.calls.clear();
        probe(f).Command2_Click();

        QCOMPARE(items(probe(f).List2), namesLeft);
        QCOMPARE(probe(f).List1->count(), probe(f).List2->count());
        for (int i = 0; i < probe(f).List1->count(); ++i)
            QCOMPARE(probe(f).List1->item(i)->text(),
                     QStringLiteral("/m/") + probe(f).List2->item(i)->text());
        QCOMPARE(Form1Probe::selectedIndex(probe(f).List1), -1);
        QCOMPARE(Form1Probe::selectedIndex(probe(f).List2), -1);
        QVERIFY(h.engine.playerCalls().isEmpty());
    }

    // Guards: Remove of the playing entry stopping playback; the last entry
    // leaving one list non-empty.
    void removeOnlyEntryWhilePlaying()
    {
        Form1Harness h;
        Form1 &f = playingWindow(h, 1, 0);
        probe(f).Command2_Click();
        QCOMPARE(probe(f).List1->count(), 0);
        QCOMPARE(probe(f).List2->count(), 0);
        QCOMPARE(h.engine.playStatus, PlayState::Playing);
    }

    // Guards: growing past the 16-bit entry limit, or one list growing alone.
    void fullPlaylistAddsNothing()
    {
        Form1Harness h;
        Form1 &f = h.create();
        appendEntries(f, Form1::kMaxEntries - 1);

        h.dialogs.answers << QStringList{"/n/a.mp3", "/n/b.mp3", "/n/c.mp3"};
        probe(f).Command11_Click();
        QCOMPARE(probe(f).List1->count(), Form1::kMaxEntries);
        QCOMPARE(probe(f).List2->count(), Form1::kMaxEntries);
        QCOMPARE(probe(f).List1->item(Form1::kMaxEntries - 1)->text(), QStringLiteral("/n/a.mp3"));
        QCOMPARE(h.messages.texts(), QStringList{"The playlist is full (32767 entries)."});

        h.engine.calls.clear();
        h.dialogs.answers << QStringList{"/n/d.mp3"};
        probe(f).Command1_Click();
        QCOMPARE(probe(f).List1->count(), Form1::kMaxEntries);
        QCOMPARE(probe(f).List2->count(), Form1::kMaxEntries);
        QCOMPARE(h.messages.shown.size(), 2);
        QVERIFY(h.engine.playerCalls().isEmpty());
    }

    // Guards: any command letting List1 and List2 drift apart in count or pairing.
    void listsStayParallelUnderMixedCommands()
    {
        Form1Harness h;
        h.engine.lengthOnOpen = 30;
        Form1 &f = h.create();
        QRandomGenerator rng(1234);
        int serial = 0;
        for (int step = 0; step < 400; ++step) {
            const int count = probe(f).List2->count();
            if (count > 0 && rng.bounded(3) == 0)
                Form1Probe::setSelectedIndex(probe(f).List2, rng.bounded(-1, count));
            if (rng.bounded(4) == 0)
                h.engine.settle(); // the engine reports the opens in between
            switch (rng.bounded(7)) {
            case 0:
                if (rng.bounded(2))
                    h.dialogs.answers << QStringList{QStringLiteral("/d/f%1.mp3").arg(serial++)};
                probe(f).Command1_Click();
                break;
            case 1: {
                QStringList chosen;
                for (int n = rng.bounded(4); n > 0; --n)
                    chosen << QStringLiteral("/d/f%1.mp3").arg(serial++);
                h.dialogs.answers << chosen;
                probe(f).Command11_Click();
                break;
            }
            case 2:
                probe(f).Command2_Click();
                break;
            case 3:
                probe(f).next1_Click();
                break;
            case 4:
                probe(f).Back1_Click();
                break;
            case 5:
                probe(f).List2_DblClick();
                break;
            case 6:
                h.engine.finishTrack();
                break;
            }
            QCOMPARE(probe(f).List1->count(), probe(f).List2->count());
            QCOMPARE(Form1Probe::selectedIndex(probe(f).List1),
                     Form1Probe::selectedIndex(probe(f).List2));
        }
        QVERIFY(probe(f).List1->count() > 0);
        for (int i = 0; i < probe(f).List1->count(); ++i)
            QCOMPARE(probe(f).List1->item(i)->text(),
                     QStringLiteral("/d/") + probe(f).List2->item(i)->text());
    }
};

QTEST_MAIN(PlaylistTest)
#include "test_playlist.moc"
