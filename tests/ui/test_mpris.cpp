// The desktop's media controls (MPRIS) on the main window, with the fake
// engine and a fake bus: each method runs the window's own handler, the
// writable properties move the window's controls, and changes are announced
// once each, only when they happen.
#include "desktop/mpris_player.h"
#include "fakes/data_rows.h"
#include "fakes/fake_media_bus.h"
#include "fakes/form1_harness.h"
#include "fakes/form1_probe.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QUrl>

using namespace tarn;
using namespace tarn::test;

namespace {

// A window with `count` entries "/m/<i>.mp3", entry `playing` started (none
// for -1) and Repeat as given, published on `bus`; logs start empty.
struct Published {
    Form1Harness h;
    FakeMediaBus bus;
    std::unique_ptr<MprisPlayer> mpris;

    Form1 &make(int count, int playing, bool repeat)
    {
        h.engine.lengthOnOpen = 180;
        Form1 &f = h.create();
        for (int i = 0; i < count; ++i) {
            probe(f).List1->addItem(QStringLiteral("/m/%1.mp3").arg(i));
            probe(f).List2->addItem(QStringLiteral("%1.mp3").arg(i));
        }
        probe(f).Check1->setChecked(repeat);
        mpris = std::make_unique<MprisPlayer>(f, bus);
        if (!mpris->start())
            qFatal("not published");
        if (playing >= 0) {
            Form1Probe::setSelectedIndex(probe(f).List2, playing);
            probe(f).List2_DblClick();
        }
        h.engine.settle();
        h.engine.calls.clear();
        bus.signals_.clear();
        return f;
    }
    QVariant player(const QString &name) const
    {
        return mpris->properties(kMprisPlayer).value(name);
    }
    QString trackId() const { return player("Metadata").toMap().value("mpris:trackid").toString(); }
};

} // namespace

class MprisTest : public QObject {
    Q_OBJECT
private slots:
    // Guards: a method that bypasses the window's handler (so Next wraps
    // without Repeat, Previous on the first entry does nothing, Stop does
    // not rewind), a relative seek taken as absolute or sent below 0, a
    // position for a stale track obeyed, OpenUri replacing the playlist or
    // taking a web address.
    void methods_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("playing");
        QTest::addColumn<bool>("repeat");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<QStringList>("engineCalls");
        QTest::addColumn<int>("selected");
        const QStringList play1{"FileName=/m/1.mp3", "Play"}, play0{"FileName=/m/0.mp3", "Play"};
        const QVariantList none;
        row("Next", 2, 0, false, "Next", none, play1, 1);
        row("Next on the last, Repeat clear", 2, 1, false, "Next", none, QStringList{}, 1);
        row("Next on the last, Repeat ticked", 2, 1, true, "Next", none, play0, 0);
        row("Previous on the first", 2, 0, false, "Previous", none, play0, 0);
        row("PlayPause playing", 1, 0, false, "PlayPause", none, QStringList{"Pause"}, 0);
        row("PlayPause stopped", 1, -1, false, "PlayPause", none, QStringList{"Play"}, -1);
        row("Stop", 1, 0, false, "Stop", none, QStringList{"Stop", "Position=0"}, 0);
        row("Seek back past 0", 1, 0, false, "Seek", QVariantList{qlonglong(-50'000'000)},
            QStringList{"Position=0"}, 0);
        row("Seek forward", 1, 0, false, "Seek", QVariantList{qlonglong(10'400'000)},
            QStringList{"Position=52"}, 0);
        row("SetPosition", 1, 0, false, "SetPosition",
            QVariantList{"current", qlonglong(10'000'000)}, QStringList{"Position=10"}, 0);
        row("SetPosition, stale track", 1, 0, false, "SetPosition",
            QVariantList{"/org/tarnplayer/track/0", qlonglong(10'000'000)}, QStringList{}, 0);
        row("SetPosition past the end", 1, 0, false, "SetPosition",
            QVariantList{"current", qlonglong(181'000'000)}, QStringList{}, 0);
        row("OpenUri", 1, 0, false, "OpenUri", QVariantList{"fixture"},
            QStringList{"FileName=fixture", "Play"}, 1);
        row("OpenUri, web address", 1, 0, false, "OpenUri",
            QVariantList{"http://example.org/a.mp3"}, QStringList{}, 0);
    }
    void methods()
    {
        QFETCH(int, count);
        QFETCH(int, playing);
        QFETCH(bool, repeat);
        QFETCH(QString, method);
        QFETCH(QVariantList, args);
        QFETCH(QStringList, engineCalls);
        QFETCH(int, selected);
        Published p;
        Form1 &f = p.make(count, playing, repeat);
        p.h.engine.position = 42;
        const QString fixture = qEnvironmentVariable("TARN_FIXTURES") + "/tone440_s16_16k_mono.wav";
        for (QVariant &arg : args)
            if (arg == "current")
                arg = p.trackId();
            else if (arg == "fixture")
                arg = QUrl::fromLocalFile(fixture).toString();
        engineCalls.replaceInStrings("fixture", fixture);

        QVERIFY(p.mpris->call(kMprisPlayer, method, args));
        QVERIFY(p.h.importsDone());
        p.h.engine.settle();
        QCOMPARE(p.h.engine.playerCalls(), engineCalls);
        QCOMPARE(Form1Probe::selectedIndex(probe(f).List2), selected);
        QCOMPARE(probe(f).List1->count(), probe(f).List2->count());
        QCOMPARE(probe(f).List2->count(),
                 count + (engineCalls.contains("Play") && method == "OpenUri"));
    }

    // Guards: Volume not moving the bar (label and engine left behind), not
    // clamped, or setting the engine twice (the bar's change echoing it), or
    // not at all when the bar is already there; LoopStatus not ticking Repeat; unsupported values
    // accepted.
    void writableProperties_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("bar");
        QTest::addColumn<bool>("repeat");
        row("Volume 0.5", "Volume", QVariant(0.5), true, 1250, false);
        row("Volume above 1", "Volume", QVariant(2.0), true, 2500, false);
        row("Volume below 0", "Volume", QVariant(-1.0), true, 0, false);
        row("Volume where the bar is", "Volume", QVariant(0.8), true, 2000, false);
        row("LoopStatus Playlist", "LoopStatus", QVariant("Playlist"), true, 2000, true);
        row("LoopStatus Track", "LoopStatus", QVariant("Track"), false, 2000, false);
        row("Shuffle on", "Shuffle", QVariant(true), false, 2000, false);
        row("Rate 2", "Rate", QVariant(2.0), false, 2000, false);
    }
    void writableProperties()
    {
        QFETCH(QString, name);
        QFETCH(QVariant, value);
        QFETCH(bool, accepted);
        QFETCH(int, bar);
        QFETCH(bool, repeat);
        Published p;
        Form1 &f = p.make(1, 0, false);
        probe(f).HScroll1->setValue(2000);
        p.h.engine.calls.clear();
        QCOMPARE(p.mpris->setProperty(kMprisPlayer, name, value), accepted);
        QCOMPARE(p.h.engine.calls.filter(QRegularExpression("^Volume=")).size(),
                 name == "Volume" ? 1 : 0);
        QCOMPARE(probe(f).HScroll1->value(), bar);
        QCOMPARE(p.h.engine.volume, bar - 2500);
        QCOMPARE(probe(f).lbl_vol->text(), QStringLiteral("Volume %1 %").arg(bar / 25));
        QCOMPARE(probe(f).Check1->isChecked(), repeat);
        QCOMPARE(p.player("Volume").toDouble(), bar / 2500.0);
        if (accepted && name != "Volume")
            QCOMPARE(p.player(name), value);
    }

    // Guards: changes not announced, announced twice, or announced from the
    // display tick when nothing changed; no Seeked at a seek or a restart.
    void announcements()
    {
        Published p;
        Form1 &f = p.make(2, -1, false);
        const auto step = [&](const std::function<void()> &action) {
            p.bus.signals_.clear();
            action();
            p.h.engine.settle();
            return p.bus.signals_;
        };
        QCOMPARE(step([&] {
                     Form1Probe::setSelectedIndex(probe(f).List2, 0);
                     probe(f).List2_DblClick();
                 }),
                 (QStringList{"Player: CanGoPrevious=true, CanPause=true, CanPlay=true, "
                              "Metadata=0.mp3, PlaybackStatus=Playing",
                              "Player: CanSeek=true, Metadata=0.mp3"})); // the length is known
        QCOMPARE(step([&] { probe(f).Timer1_Timer(); }), QStringList{});
        QCOMPARE(step([&] { probe(f).pause1_Click(); }),
                 QStringList{"Player: PlaybackStatus=Paused"});
        QCOMPARE(step([&] { probe(f).Play1_Click(); }),
                 QStringList{"Player: PlaybackStatus=Playing"});
        const QStringList toEntry1{"Player: CanGoNext=false, CanSeek=false, Metadata=1.mp3",
                                   "Player: CanSeek=true, Metadata=1.mp3"};
        QCOMPARE(step([&] { p.h.engine.finishTrack(); }), toEntry1);
        QCOMPARE(step([&] { p.h.engine.finishTrack(); }),
                 QStringList{"Player: PlaybackStatus=Stopped"}); // the end of the playlist
        QCOMPARE(step([&] { probe(f).Check1->setChecked(true); }),
                 QStringList{"Player: CanGoNext=true, LoopStatus=Playlist"});
        QCOMPARE(step([&] { probe(f).stop1_Click(); }), QStringList{"Seeked=0"});
        QCOMPARE(step([&] { probe(f).Back1_Click(); }),
                 (QStringList{"Player: CanSeek=false, Metadata=0.mp3, PlaybackStatus=Playing",
                              "Player: CanSeek=true, Metadata=0.mp3"}));
        p.h.engine.position = 30;
        QCOMPARE(step([&] { probe(f).Back1_Click(); }), QStringList{"Seeked=0"}); // a restart
        QCOMPARE(step([&] { p.mpris->call(kMprisPlayer, "Seek", {qlonglong(5'000'000)}); }),
                 QStringList{"Seeked=5000000"});

        FakeMediaBus taken;
        taken.available = false;
        QVERIFY(!MprisPlayer(f, taken).start());
    }

    // Guards: tags not read, or read for the wrong file; the length and the
    // file's URL missing.
    void metadataFromTags()
    {
        Published p;
        Form1 &f = p.make(0, -1, false);
        const QString file = qEnvironmentVariable("TARN_FIXTURES") + "/tone440_cbr128_id3.mp3";
        f.openFiles({file}, true);
        QVERIFY(p.h.importsDone());
        p.h.engine.settle();
        QTRY_COMPARE(p.player("Metadata").toMap().value("xesam:title").toString(),
                     QStringLiteral("Tarn Test Tone"));
        const QVariantMap m = p.player("Metadata").toMap();
        QCOMPARE(m.value("xesam:artist").toStringList(), QStringList{"Tarn Player"});
        QCOMPARE(m.value("mpris:length").toLongLong(), 180'000'000);
        QCOMPARE(m.value("xesam:url").toString(),
                 QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded));
        QVERIFY2(p.bus.signals_.filter("Metadata=Tarn Test Tone").size() == 1,
                 qPrintable(p.bus.signals_.join('\n')));
    }
};

QTEST_MAIN(MprisTest)
#include "test_mpris.moc"
