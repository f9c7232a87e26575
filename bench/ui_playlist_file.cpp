// Save Playlist and Load Playlist with a full playlist (32767 entries).
//
//   build-x/bench/bench_ui_playlist_file [runs]      (results: bench/README.md)
//
// Measures, on the real main window with scripted dialogs and messages:
//   - the writer and the reader alone (bytes in memory),
//   - Save Playlist: the handler from the dialog's answer to the last message,
//   - Load Playlist into an empty, visible playlist: the handler, and the
//     longest stretch in which the window's event loop could not run (a 1 ms
//     heartbeat timer; the gap that holds the load includes the list's layout
//     and the first paint),
//   - for comparison, the same load with one addItem per entry.
// Runs offscreen unless QT_QPA_PLATFORM or DISPLAY says otherwise.
#include "../tests/fakes/fake_dialogs.h"
#include "../tests/fakes/fake_engine.h"
#include "../tests/fakes/fake_settings.h"
#include "fakes/form1_probe.h"
#include "main_window/form1.h"
#include "persist/playlist_file.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <vector>

using namespace tarn;

namespace {

constexpr int kEntries = Form1::kMaxEntries;

QString pathOf(int i)
{
    return QStringLiteral("/home/user/Music/Artist %1/Album %2/%3 - Track title number %3.mp3")
        .arg(i / 200)
        .arg(i / 12)
        .arg(i);
}

struct Window {
    test::FakeEngine engine;
    test::FakeDialogs dialogs;
    test::FakeMessages messages;
    test::FakeSettings settings;
    std::unique_ptr<Form1> form;

    explicit Window(const QString &folder)
    {
        settings.values.insert(test::FakeSettings::path(kProgramTitle, "Settings", "SIZE"), "1");
        form = std::make_unique<Form1>(
            Form1Services{engine, dialogs, messages, settings, folder, [] {}});
        form->show();
        QCoreApplication::processEvents();
    }
};

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// CPU time of this thread: unlike wall time, not inflated by other programs.
double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Stats {
    std::vector<double> wall;
    std::vector<double> cpu;
    // Times `action` by wall clock and thread CPU.
    void time(const std::function<void()> &action)
    {
        QElapsedTimer t;
        t.start();
        const double cpu0 = threadCpuMs();
        action();
        cpu.push_back(threadCpuMs() - cpu0);
        wall.push_back(msSince(t));
    }
    void print(const char *what) const
    {
        std::printf("%-46s wall median %7.1f ms  max %7.1f ms", what, median(wall),
                    *std::max_element(wall.begin(), wall.end()));
        if (!cpu.empty())
            std::printf("   cpu median %7.1f ms", median(cpu));
        std::printf("  (%zu runs)\n", wall.size());
    }
};

// Runs `action` from the event loop while a 1 ms heartbeat timer ticks;
// returns the longest gap between heartbeats (ms) in the 400 ms after it.
double longestStall(const std::function<void()> &action)
{
    QElapsedTimer clock;
    clock.start();
    double last = 0;
    double longest = 0;
    QTimer heartbeat;
    heartbeat.setInterval(1);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const double now = msSince(clock);
        longest = std::max(longest, now - last);
        last = now;
    });
    heartbeat.start();
    QTimer::singleShot(50, action);
    QEventLoop loop;
    QTimer::singleShot(450, &loop, &QEventLoop::quit);
    loop.exec();
    return longest;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    QTemporaryDir folder;
    const QString file = folder.filePath("full.TPL");

    QList<PlaylistEntry> entries;
    QStringList paths;
    QStringList names;
    for (int i = 0; i < kEntries; ++i) {
        paths << pathOf(i);
        names << fileNamePart(paths.last());
        entries.append({paths.last(), names.last()});
    }

    Stats write, read, save, loadHandler, loadStall, oneByOneStall;
    QByteArray bytes;
    for (int r = 0; r < runs; ++r) {
        write.time([&] { bytes = writePlaylist(entries).bytes; });
        PlaylistReadResult result;
        read.time([&] { result = readPlaylist(QByteArrayView(bytes), kEntries); });
        if (result.entries.size() != kEntries)
            qFatal("read back %lld entries", qlonglong(result.entries.size()));
    }
    std::printf("%d entries, %lld bytes\n", kEntries, qlonglong(bytes.size()));

    {
        Window w(folder.path());
        probe(*w.form).List1->addItems(paths);
        probe(*w.form).List2->addItems(names);
        for (int r = 0; r < runs; ++r) {
            w.dialogs.answers = {{file}};
            save.time([&] { probe(*w.form).Command8_Click(); });
            if (!w.messages.texts().last().startsWith("Saved your playlist"))
                qFatal("save failed: %s", qPrintable(w.messages.texts().last()));
        }
    }

    for (int r = 0; r < runs; ++r) {
        Window w(folder.path());
        loadStall.wall.push_back(longestStall([&] {
            w.dialogs.answers = {{file}};
            loadHandler.time([&] { probe(*w.form).Command9_Click(); });
        }));
        if (probe(*w.form).List2->count() != kEntries)
            qFatal("loaded %d entries", probe(*w.form).List2->count());
    }

    for (int r = 0; r < runs; ++r) {
        Window w(folder.path());
        oneByOneStall.wall.push_back(longestStall([&] {
            for (const PlaylistEntry &e : entries) {
                probe(*w.form).List1->addItem(e.path);
                probe(*w.form).List2->addItem(e.name);
            }
        }));
    }

    write.print("writePlaylist (bytes only)");
    read.print("readPlaylist (bytes only)");
    save.print("Save Playlist (Command8_Click, file written)");
    loadHandler.print("Load Playlist (Command9_Click)");
    loadStall.print("Load Playlist: longest event-loop stall");
    oneByOneStall.print("addItem per entry instead: longest stall");
    return 0;
}
