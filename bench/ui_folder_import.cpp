// The window while a large folder is opened from outside (a second start,
// OpenUri, a drop): its longest stall.
//
//   bench_ui_folder_import [RUNS] [AUDIO_FILES] [OTHER_FILES]
//   (results: bench/README.md)
//
// Makes two trees in a temporary folder: AUDIO_FILES (default 40000, more
// than a playlist holds) empty .mp3 files in folders of 100, and OTHER_FILES
// (default 120000, more than a search reads) .jpg files in folders of 400
// with one .mp3 in each. Then, on the real main window (full view, fake
// engine, scripted dialogs and messages), each of these RUNS times:
//   room   the first tree opened into an empty playlist (fills it);
//   bound  the second tree opened into an empty playlist (the search stops
//          at its bound);
//   full   the first tree opened into the full playlist.
// A 1 ms timer ticks on the window's event loop from the request until the
// entries are in and 300 ms after; the longest gap between ticks is the
// longest time the window could not react or paint. For comparison, the same
// search run on the calling thread: what the window would stall for if it
// searched on its own thread. Runs offscreen unless QT_QPA_PLATFORM or
// DISPLAY says otherwise.
#include "../tests/fakes/fake_dialogs.h"
#include "../tests/fakes/fake_engine.h"
#include "../tests/fakes/fake_settings.h"
#include "fakes/form1_probe.h"
#include "main_window/form1.h"
#include "persist/file_import.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace tarn;

namespace {

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// `count` empty files named NUMBER.EXTENSION, `perFolder` to a folder, and
// `audioPerFolder` of each folder's files named .mp3 instead.
void makeTree(const QString &root, int count, int perFolder, const char *extension,
              int audioPerFolder)
{
    for (int i = 0; i < count; ++i) {
        const QString folder = QStringLiteral("%1/d%2").arg(root).arg(i / perFolder);
        if (i % perFolder == 0 && !QDir().mkpath(folder))
            qFatal("cannot make %s", qPrintable(folder));
        const bool audio = i % perFolder < audioPerFolder;
        const QByteArray name = QFile::encodeName(
            QStringLiteral("%1/%2.%3").arg(folder).arg(i).arg(audio ? "mp3" : extension));
        const int fd = ::open(name.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        if (fd < 0)
            qFatal("cannot make %s", name.constData());
        ::close(fd);
    }
}

struct Stalls {
    double longest = 0; // ms
    double at = 0;      // ms after the request, where the longest began
    int over20 = 0;
};

Stalls stallsOf(const std::vector<double> &ticks)
{
    Stalls s;
    for (std::size_t i = 1; i < ticks.size(); ++i) {
        const double gap = ticks[i] - ticks[i - 1];
        if (gap > s.longest) {
            s.longest = gap;
            s.at = ticks[i - 1];
        }
        s.over20 += gap > 20;
    }
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int audioFiles = argc > 2 ? std::max(1, std::atoi(argv[2])) : 40000;
    const int otherFiles = argc > 3 ? std::max(1, std::atoi(argv[3])) : 120000;

    QTemporaryDir folder;
    const QString roomTree = folder.filePath(QStringLiteral("room"));
    const QString boundTree = folder.filePath(QStringLiteral("bound"));
    QElapsedTimer making;
    making.start();
    makeTree(roomTree, audioFiles, 100, "mp3", 100);
    makeTree(boundTree, otherFiles, 400, "jpg", 1);
    std::printf("trees: %d audio files; %d files of which 1 in 400 audio (%.1f s to make)\n",
                audioFiles, otherFiles, double(making.elapsed()) / 1000);

    for (const auto &[name, tree] : {std::pair{"room", roomTree}, std::pair{"bound", boundTree}}) {
        QElapsedTimer inline_;
        inline_.start();
        CollectLimits limits;
        limits.room = Form1::kMaxEntries;
        const OpenedFiles opened = collectOpenedFiles({tree}, limits);
        std::printf("%-5s the search alone, on the calling thread: %.1f ms, %lld entries, %lld "
                    "read%s\n",
                    name, double(inline_.nsecsElapsed()) / 1e6, qlonglong(opened.entries.size()),
                    qlonglong(opened.visited), opened.searchCut ? ", cut at the bound" : "");
    }

    test::FakeEngine engine;
    test::FakeDialogs dialogs;
    test::FakeMessages messages;
    test::FakeSettings settings;
    settings.values.insert(test::FakeSettings::path(kProgramTitle, "Settings", "SIZE"), "1");
    for (int run = 1; run <= runs; ++run) {
        for (const char *scenario : {"room", "bound", "full"}) {
            auto form = std::make_unique<Form1>(
                Form1Services{engine, dialogs, messages, settings, folder.path(), [] {}});
            form->show();
            if (std::strcmp(scenario, "full") == 0) {
                QStringList paths;
                for (int i = 0; i < Form1::kMaxEntries; ++i)
                    paths << QStringLiteral("/m/%1.mp3").arg(i);
                probe(*form).List1->addItems(paths);
                probe(*form).List2->addItems(paths);
            }
            runFor(300);

            QElapsedTimer clock;
            std::vector<double> ticks;
            ticks.reserve(100000);
            QTimer heartbeat;
            heartbeat.setTimerType(Qt::PreciseTimer);
            heartbeat.setInterval(1);
            QObject::connect(&heartbeat, &QTimer::timeout,
                             [&] { ticks.push_back(double(clock.nsecsElapsed()) / 1e6); });
            clock.start();
            heartbeat.start();
            form->openFiles({std::strcmp(scenario, "bound") == 0 ? boundTree : roomTree}, false);
            const double requestMs = double(clock.nsecsElapsed()) / 1e6;
            while (probe(*form).fileImport().busy())
                runFor(1);
            const double doneMs = double(clock.nsecsElapsed()) / 1e6;
            runFor(300);
            heartbeat.stop();
            const Stalls stalls = stallsOf(ticks);
            std::printf("run %d %-5s longest stall %.1f ms (at %.0f ms), %d over 20 ms; request "
                        "returned in "
                        "%.2f ms, entries in after %.0f ms; %d entries; %zu messages; line: %s\n",
                        run, scenario, stalls.longest, stalls.at, stalls.over20, requestMs, doneMs,
                        probe(*form).List2->count(), std::size_t(messages.shown.size()),
                        qPrintable(probe(*form).lbl_track->toolTip()));
        }
    }
    return 0;
}
