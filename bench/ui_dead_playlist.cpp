// The window over a dead playlist: one playable file followed by 32766
// entries whose files do not exist (paths written on Windows), Repeat on.
//
//   bench_ui_dead_playlist PLAYABLE_FILE [SECONDS] [IDLE_SECONDS] [warm]
//   (bench/run.sh deadlist runs it; results: bench/README.md)
//
// Builds the real main window with the real engine (EngineAdapter: the sound
// goes wherever the player's would) and scripted dialogs, loads the playlist
// through Load Playlist, and double-clicks the playable entry. When it ends,
// the automatic advance meets the dead entries. For SECONDS (default 20)
// after the double-click a 1 ms timer ticks on the window's event loop; the
// longest gap between ticks is the longest time the window could not react
// to input or paint. Then, with that timer stopped, the process's CPU and
// context switches over IDLE_SECONDS (default 10): what the player costs
// once the advance gave up (or, where it never gives up, while it goes on).
// With "warm", the playable entry is played for 1.5 s and stopped first,
// so that the output is already open at the double-click, as in a player
// that has played before. Runs offscreen unless QT_QPA_PLATFORM or DISPLAY
// says otherwise.
#include "../tests/fakes/fake_dialogs.h"
#include "../tests/fakes/fake_settings.h"
#include "engine/engine_environment.h"
#include "fakes/form1_probe.h"
#include "main_window/form1.h"
#include "platform/engine_adapter.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

using namespace tarn;

namespace {

constexpr int kEntries = Form1::kMaxEntries;

// A playlist file as the player writes it: count line, "path+name" lines,
// "end", CR LF line ends. Entry 0 is `playable`; the rest never exist here.
QByteArray deadPlaylist(const QString &playable)
{
    QByteArray bytes = " " + QByteArray::number(kEntries) + " \r\n";
    bytes += (playable + QLatin1Char('+') + QFileInfo(playable).fileName()).toUtf8() + "\r\n";
    for (int i = 1; i < kEntries; ++i) {
        const QByteArray name = "x" + QByteArray::number(i) + ".mp3";
        bytes += "C:\\Music\\" + name + "+" + name + "\r\n";
    }
    return bytes + "end\r\n";
}

double processCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Context switches of the whole process, ended threads included (each
// voluntary one is a sleep and a wake-up).
long long contextSwitches()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_nvcsw + u.ru_nivcsw;
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PLAYABLE_FILE [SECONDS] [IDLE_SECONDS]\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString playable = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    const int idleSeconds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 10;
    const bool warm = argc > 4 && std::strcmp(argv[4], "warm") == 0;

    QTemporaryDir folder;
    const QString tpl = folder.filePath(QStringLiteral("dead.TPL"));
    {
        QFile f(tpl);
        if (!f.open(QIODevice::WriteOnly) || f.write(deadPlaylist(playable)) < 0)
            qFatal("cannot write %s", qPrintable(tpl));
    }

    EngineAdapter engine(engine::applyEngineEnvironment(argv[0], ::getenv));
    test::FakeDialogs dialogs;
    test::FakeMessages messages;
    test::FakeSettings settings;
    settings.values.insert(test::FakeSettings::path(kProgramTitle, "Settings", "SIZE"), "1");
    auto form = std::make_unique<Form1>(
        Form1Services{engine, dialogs, messages, settings, folder.path(), [] {}});
    form->show();
    QCoreApplication::processEvents();
    dialogs.answers = {{tpl}};
    probe(*form).Command9_Click();
    if (probe(*form).List2->count() != kEntries)
        qFatal("loaded %d entries", probe(*form).List2->count());
    runFor(500);
    std::printf("playlist: %d entries, entry 0 %s; Repeat %s\n", probe(*form).List2->count(),
                qPrintable(playable), probe(*form).Check1->isChecked() ? "on" : "off");
    if (warm) {
        probe(*form).List2->setCurrentRow(0);
        probe(*form).List2_DblClick();
        QElapsedTimer warming;
        warming.start();
        while (engine.Position() < 1.5 && warming.elapsed() < 5000)
            runFor(20);
        std::printf("warm-up: played to %.2f s, then Stop\n", engine.Position());
        probe(*form).stop1_Click();
        runFor(1000);
    }
    QElapsedTimer clock;
    std::vector<double> ticks; // ms since the double-click
    ticks.reserve(std::size_t(seconds) * 1100);
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(1);
    QObject::connect(&heartbeat, &QTimer::timeout,
                     [&] { ticks.push_back(double(clock.nsecsElapsed()) / 1e6); });
    double playingAt = -1, endOfPlaylistAt = -1;
    QTimer watch; // when the file is first heard, and when the end-of-playlist line appears
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const double now = double(clock.nsecsElapsed()) / 1e6;
        if (playingAt < 0 && engine.Position() > 0)
            playingAt = now;
        if (endOfPlaylistAt < 0 && probe(*form).Text1->text() == QLatin1String("End of playlist"))
            endOfPlaylistAt = now;
    });

    const double cpu0 = processCpuSeconds();
    const long long switches0 = contextSwitches();
    clock.start();
    heartbeat.start();
    watch.start();
    probe(*form).List2->setCurrentRow(0);
    probe(*form).List2_DblClick();
    runFor(seconds * 1000);
    heartbeat.stop();
    const double cpu1 = processCpuSeconds();
    const long long switches1 = contextSwitches();

    double longest = 0;
    double longestAt = 0;
    double frozen = 0; // time inside gaps longer than 20 ms
    int over20 = 0;
    QStringList over10; // "start s: length ms" of every gap over 10 ms
    for (std::size_t i = 1; i < ticks.size(); ++i) {
        const double gap = ticks[i] - ticks[i - 1];
        if (gap > longest) {
            longest = gap;
            longestAt = ticks[i - 1];
        }
        if (gap > 20) {
            ++over20;
            frozen += gap;
        }
        if (gap > 10)
            over10 << QStringLiteral("%1 s: %2 ms")
                          .arg(ticks[i - 1] / 1000, 0, 'f', 2)
                          .arg(gap, 0, 'f', 1);
    }
    std::printf("over %d s after the double-click: %zu ticks, longest stall %.1f ms (at %.2f s), "
                "%d stalls over 20 ms, %.2f s in them\n",
                seconds, ticks.size(), longest, longestAt / 1000, over20, frozen / 1000);
    std::printf("  process CPU %.2f s, %.0f context switches per second (1 ms timer "
                "included)\n",
                cpu1 - cpu0, double(switches1 - switches0) / seconds);
    std::printf("  stalls over 10 ms: %lld%s%s\n", qlonglong(over10.size()),
                over10.isEmpty() ? "" : ", first ones at ",
                qPrintable(over10.mid(0, 12).join(QStringLiteral(", "))));
    if (playingAt >= 0)
        std::printf("  the playable file was heard from %.2f s\n", playingAt / 1000);
    else
        std::printf("  the playable file was never heard (its position stayed 0)\n");
    if (endOfPlaylistAt >= 0)
        std::printf("  end-of-playlist line at %.2f s\n", endOfPlaylistAt / 1000);
    else
        std::printf("  no end-of-playlist line\n");
    std::printf("  selected entry %d, status %d, track line: %s\n",
                probe(*form).List2->currentRow(), int(engine.PlayStatus()),
                qPrintable(probe(*form).Text1->text()));

    watch.stop();
    const double cpu2 = processCpuSeconds();
    const long long switches2 = contextSwitches();
    QElapsedTimer idle;
    idle.start();
    runFor(idleSeconds * 1000);
    const double idleWall = double(idle.nsecsElapsed()) / 1e9;
    std::printf("the %d s after that, no 1 ms timer: process CPU %.3f s (%.2f %% of one core), "
                "%.1f context switches per second\n",
                idleSeconds, processCpuSeconds() - cpu2,
                100 * (processCpuSeconds() - cpu2) / idleWall,
                double(contextSwitches() - switches2) / idleWall);
    form.reset();
    return 0;
}
