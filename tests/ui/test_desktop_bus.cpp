// The player on a real session bus (CTest runs this under dbus-run-session),
// driven by the real playerctl and by real second starts of tarn-player.
#include "desktop/mpris_player.h"
#include "fakes/data_rows.h"
#include "fakes/form1_harness.h"
#include "fakes/form1_probe.h"
#include "platform/qt_media_bus.h"

#include <QCheckBox>
#include <QDBusConnectionInterface>
#include <QListWidget>
#include <QProcess>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace tarn;
using namespace tarn::test;

namespace {

const QString kName = QStringLiteral("org.mpris.MediaPlayer2.tarnplayer");

// Runs a program to its end while this process keeps answering the bus.
// Returns its standard output, trimmed; `status` its exit status.
QString run(const QString &program, const QStringList &args, int *status = nullptr,
            const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    QSignalSpy finished(&p, &QProcess::finished);
    if (!p.waitForStarted() || !finished.wait(20000))
        return QStringLiteral("<did not finish>");
    if (status)
        *status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QString playerctl(const QStringList &args)
{
    return run(QStringLiteral("playerctl"), QStringList{"-p", "tarnplayer"} + args);
}

bool nameOnBus(bool wanted)
{
    return QTest::qWaitFor([wanted] {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(kName).value() ==
               wanted;
    });
}

// The window and engine in one line, for comparing with what playerctl did.
QString state(Form1 &f, const FakeEngine &e)
{
    return QStringLiteral("entry=%1 status=%2 pos=%3 bar=%4 repeat=%5")
        .arg(Form1Probe::selectedIndex(probe(f).List2))
        .arg(int(e.playStatus))
        .arg(e.position)
        .arg(probe(f).HScroll1->value())
        .arg(probe(f).Check1->isChecked());
}

} // namespace

class DesktopBusTest : public QObject {
    Q_OBJECT
public slots:
    void onPropertiesChanged(const QString &, const QVariantMap &changed, const QStringList &)
    {
        for (auto it = changed.cbegin(); it != changed.cend(); ++it)
            changedKeys << it.key();
    }

private:
    QStringList changedKeys;

private slots:
    void initTestCase()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus: run under dbus-run-session");
        if (QStandardPaths::findExecutable("playerctl").isEmpty())
            QFAIL("playerctl is not installed (scripts/deps.sh test)");
    }

    // Guards: a playerctl command not doing what the matching button or bar
    // does, or playerctl reporting something other than the window shows.
    void playerctl_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QStringList>("query");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("window");
        row("play-pause", QStringList{"play-pause"}, QStringList{"status"}, "Paused",
            "entry=0 status=1 pos=0 bar=2500 repeat=0");
        row("next", QStringList{"next"}, QStringList{"metadata", "title"}, "1.mp3",
            "entry=1 status=2 pos=0 bar=2500 repeat=0");
        row("previous", QStringList{"previous"}, QStringList{"metadata", "title"}, "0.mp3",
            "entry=0 status=2 pos=0 bar=2500 repeat=0");
        row("stop", QStringList{"stop"}, QStringList{"status"}, "Stopped",
            "entry=0 status=0 pos=0 bar=2500 repeat=0");
        row("position 10", QStringList{"position", "10"}, QStringList{"position"}, "10.00*",
            "entry=0 status=2 pos=10 bar=2500 repeat=0");
        row("volume 0.5", QStringList{"volume", "0.5"}, QStringList{"volume"}, "0.500000",
            "entry=0 status=2 pos=0 bar=1250 repeat=0");
        row("loop Playlist", QStringList{"loop", "Playlist"}, QStringList{"loop"}, "Playlist",
            "entry=0 status=2 pos=0 bar=2500 repeat=1");
        row("metadata", QStringList{}, QStringList{"metadata", "mpris:length"}, "180000000",
            "entry=0 status=2 pos=0 bar=2500 repeat=0");
    }
    void playerctl()
    {
        QFETCH(QStringList, command);
        QFETCH(QStringList, query);
        QFETCH(QString, answer);
        QFETCH(QString, window);
        Form1Harness h;
        h.engine.lengthOnOpen = 180;
        Form1 &f = h.create();
        probe(f).Check1->setChecked(false);
        for (int i = 0; i < 3; ++i) {
            probe(f).List1->addItem(QStringLiteral("/m/%1.mp3").arg(i));
            probe(f).List2->addItem(QStringLiteral("%1.mp3").arg(i));
        }
        Form1Probe::setSelectedIndex(probe(f).List2, 0);
        probe(f).List2_DblClick();
        h.engine.settle();
        QtMediaBus bus(QStringLiteral("tarnplayer"));
        MprisPlayer mpris(f, bus);
        QVERIFY(mpris.start());

        if (!command.isEmpty())
            ::playerctl(command);
        h.engine.settle();
        // playerctl moves a playing track's position on by the time since it read it.
        const QString out = ::playerctl(query);
        if (answer.endsWith('*'))
            QVERIFY2(out.startsWith(answer.chopped(1)), qPrintable(out));
        else
            QCOMPARE(out, answer);
        QCOMPARE(state(f, h.engine), window);
    }

    // Guards: no PropertiesChanged on the bus at a track change.
    void propertiesChangedAtTrackChange()
    {
        Form1Harness h;
        h.engine.lengthOnOpen = 180;
        Form1 &f = h.create();
        probe(f).List1->addItem(QStringLiteral("/m/a.mp3"));
        probe(f).List2->addItem(QStringLiteral("a.mp3"));
        QtMediaBus bus(QStringLiteral("tarnplayer"));
        MprisPlayer mpris(f, bus);
        QVERIFY(mpris.start());
        QDBusConnection listener =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("listener"));
        QVERIFY(listener.connect(kName, QStringLiteral("/org/mpris/MediaPlayer2"),
                                 QStringLiteral("org.freedesktop.DBus.Properties"),
                                 QStringLiteral("PropertiesChanged"), this,
                                 SLOT(onPropertiesChanged(QString, QVariantMap, QStringList))));
        changedKeys.clear();
        ::playerctl({"next"}); // from no track: entry 0 plays
        QTRY_VERIFY(changedKeys.contains("PlaybackStatus") && changedKeys.contains("Metadata"));
        QDBusConnection::disconnectFromBus(QStringLiteral("listener"));
    }

    // Guards: a second start opening a window of its own, returning non-zero
    // or not handing its file over; the running player not playing it; Quit
    // not ending the player through Exit (no settings saved); --help and
    // --version needing a display.
    void secondStartHandsOver()
    {
        QVERIFY(nameOnBus(false));
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.filePath(".config"));
        env.insert("XDG_DATA_HOME", home.filePath(".local/share"));
        env.insert("TARN_AUDIO_OUTPUT", "sdl");
        const QString fixtures = qEnvironmentVariable("TARN_FIXTURES");
        const QString first = fixtures + "/tone440_s16_16k_mono.wav";
        const QString second = fixtures + "/tone440_cbr128_id3.mp3";

        QProcess running;
        running.setProcessEnvironment(env);
        running.start(QStringLiteral(TARN_PLAYER), {first});
        QVERIFY(nameOnBus(true));
        QTRY_COMPARE(::playerctl({"metadata", "xesam:url"}), QUrl::fromLocalFile(first).toString());

        int status = -1;
        run(QStringLiteral(TARN_PLAYER), {second}, &status, env);
        QCOMPARE(status, 0);
        QTRY_COMPARE(::playerctl({"metadata", "xesam:url"}),
                     QUrl::fromLocalFile(second).toString());
        QCOMPARE(::playerctl({"status"}), QStringLiteral("Playing"));
        QCOMPARE(running.state(), QProcess::Running);

        QProcessEnvironment noDisplay = env;
        noDisplay.insert("QT_QPA_PLATFORM", "xcb");
        noDisplay.remove("DISPLAY");
        QVERIFY(run(QStringLiteral(TARN_PLAYER), {"--help"}, &status, noDisplay)
                    .startsWith("Usage: tarn-player"));
        QCOMPARE(status, 0);
        QCOMPARE(run(QStringLiteral(TARN_PLAYER), {"--version"}, &status, noDisplay),
                 QStringLiteral("Tarn Player " TARN_VERSION));
        QCOMPARE(status, 0);

        QVERIFY(QSignalSpy(&running, &QProcess::finished).isValid());
        run(QStringLiteral("dbus-send"),
            {"--session", "--print-reply", "--dest=" + kName, "/org/mpris/MediaPlayer2",
             "org.mpris.MediaPlayer2.Quit"});
        QVERIFY(running.waitForFinished(10000));
        QCOMPARE(running.exitCode(), 0);
        QVERIFY(QFile::exists(home.filePath(".config/Tarn Player/Tarn Player.conf")));
    }
};

QTEST_MAIN(DesktopBusTest)
#include "test_desktop_bus.moc"
