// The automatic advance end to end: the main window on the real engine (SDL's
// dummy driver, real time) playing short test files from $TARN_FIXTURES.
#include "engine/support/engine_options.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_settings.h"
#include "fakes/form1_probe.h"
#include "main_window/form1.h"
#include "platform/engine_adapter.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace tarn;
using namespace tarn::test;

namespace {

constexpr int kTimeoutMs = 8000;
const QString kFirst = QStringLiteral("tone440_s16_16k_mono.wav");   // 1.000 s
const QString kSecond = QStringLiteral("tone1k_s16_44k_stereo.wav"); // 0.250 s
const QString kBroken = QStringLiteral("text_renamed.mp3");          // not audio

struct RealWindow {
    EngineAdapter engine{testEngineOptions()};
    FakeDialogs dialogs;
    FakeMessages messages;
    FakeSettings settings;
    QTemporaryDir appFolder;
    std::unique_ptr<Form1> form;

    // Builds the window and adds `names` from the fixture folder with Add Multi.
    Form1 &create(const QStringList &names, bool repeat)
    {
        form = std::make_unique<Form1>(
            Form1Services{engine, dialogs, messages, settings, appFolder.path(), [] {}});
        const QDir fixtures(qEnvironmentVariable("TARN_FIXTURES"));
        QStringList paths;
        for (const QString &name : names)
            paths << fixtures.filePath(name);
        dialogs.answers << paths;
        probe(*form).Command11_Click();
        probe(*form).Check1->setChecked(repeat);
        return *form;
    }
};

} // namespace

class AdvanceRealEngineTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        const QDir fixtures(qEnvironmentVariable("TARN_FIXTURES"));
        QVERIFY2(fixtures.exists(kFirst) && fixtures.exists(kSecond) && fixtures.exists(kBroken),
                 "TARN_FIXTURES does not name the test media folder");
    }

    // Guards: the end-of-stream notice not reaching the window, the advance
    // not starting the next file, and the playlist's end not stopping.
    void playsToTheEndOfThePlaylist()
    {
        RealWindow w;
        Form1 &f = w.create({kFirst, kSecond}, false);
        QCOMPARE(probe(f).List1->count(), 2);
        Form1Probe::setSelectedIndex(probe(f).List2, 0);
        probe(f).List2_DblClick();
        QCOMPARE(w.engine.LastError(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(w.engine.PlayStatus(), PlayState::Playing,
                                  kTimeoutMs); // once the file is open
        QTRY_COMPARE_WITH_TIMEOUT(probe(f).Label3->text(), QStringLiteral("/  00:01"), kTimeoutMs);

        QTRY_COMPARE_WITH_TIMEOUT(Form1Probe::selectedIndex(probe(f).List2), 1, kTimeoutMs);
        QVERIFY(w.engine.FileName().endsWith(kSecond));
        QCOMPARE(Form1Probe::selectedIndex(probe(f).List1), 1);
        QTRY_COMPARE_WITH_TIMEOUT(probe(f).lbl_track->text(),
                                  QStringLiteral("Now Playing :- End Of Playlist"), kTimeoutMs);
        QCOMPARE(w.engine.PlayStatus(), PlayState::Stopped);
        QTest::qWait(200); // ticks go on and leave the line alone
        QCOMPARE(probe(f).lbl_track->text(), QStringLiteral("Now Playing :- End Of Playlist"));
        QCOMPARE(Form1Probe::selectedIndex(probe(f).List2), 1);
    }

    // Guards: Repeat not going back to the first entry; a file that cannot be
    // opened stopping the advance.
    void repeatStartsAgainPastABrokenEntry()
    {
        RealWindow w;
        Form1 &f = w.create({kFirst, kBroken, kSecond}, true);
        Form1Probe::setSelectedIndex(probe(f).List2, 2);
        probe(f).List2_DblClick();
        QTRY_COMPARE_WITH_TIMEOUT(w.engine.PlayStatus(), PlayState::Playing, kTimeoutMs);

        QTRY_COMPARE_WITH_TIMEOUT(Form1Probe::selectedIndex(probe(f).List2), 0, kTimeoutMs);
        QVERIFY(w.engine.FileName().endsWith(kFirst));
        QTRY_COMPARE_WITH_TIMEOUT(
            probe(f).lbl_track->text(),
            QStringLiteral("Now Playing : ") + kFirst + QStringLiteral(" -  00:01"), kTimeoutMs);

        // From entry 0 the advance passes over the broken entry 1.
        QTRY_COMPARE_WITH_TIMEOUT(Form1Probe::selectedIndex(probe(f).List2), 2, kTimeoutMs);
        QVERIFY(w.engine.FileName().endsWith(kSecond));
        QTRY_COMPARE_WITH_TIMEOUT(w.engine.PlayStatus(), PlayState::Playing, kTimeoutMs);
        QVERIFY(w.messages.shown.isEmpty());
        probe(f).stop1_Click();
    }
};

QTEST_MAIN(AdvanceRealEngineTest)
#include "test_advance_real_engine.moc"
