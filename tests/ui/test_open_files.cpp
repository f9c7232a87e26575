// Files given to the player from outside: the command line, and files,
// folders and playlists dropped on the playlist or on the mini player.
#include "desktop/command_line.h"
#include "desktop/mpris_player.h"
#include "fakes/data_rows.h"
#include "fakes/fake_main_window.h"
#include "fakes/fake_media_bus.h"
#include "fakes/form1_harness.h"
#include "fakes/form1_probe.h"
#include "fakes/test_files.h"
#include "mini/form2.h"

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

using namespace tarn;
using namespace tarn::test;

Q_DECLARE_METATYPE(CommandLine::Action)

namespace {

// A drag of `urls` entering `target` and dropped there, as the window system
// delivers them. Returns whether the drop was accepted.
bool dragAndDrop(QWidget *target, const QList<QUrl> &urls)
{
    QMimeData mime;
    mime.setUrls(urls);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

QStringList shownNames(Form1 &f)
{
    QStringList names;
    for (int i = 0; i < probe(f).List2->count(); ++i)
        names << probe(f).List2->item(i)->text();
    return names;
}

// Holds a folder search at its first directory entry, as a hung disk would,
// until released; tells when the search has let go of everything it held.
class SearchHold {
public:
    SearchHold() = default;
    SearchHold(const SearchHold &) = delete;
    SearchHold &operator=(const SearchHold &) = delete;
    // A test that failed half-way must not leave a search waiting on a hold
    // that is gone.
    ~SearchHold()
    {
        release();
        waitEnded();
    }

    // For FileImport::setVisitHook. Its copies keep the hold's end alive;
    // `ended()` once the last one is gone.
    std::function<void()> hook()
    {
        auto alive = std::make_shared<Alive>(this);
        return [this, alive] { entry(); };
    }
    bool waitHeld()
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kSafety, [this] { return entries_ > 0; });
    }
    void release()
    {
        const std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    bool waitEnded()
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kSafety, [this] { return ended_; });
    }
    bool held() const
    {
        const std::lock_guard lock(mutex_);
        return entries_ > 0 && !released_;
    }
    int entries() const
    {
        const std::lock_guard lock(mutex_);
        return entries_;
    }
    std::thread::id thread() const
    {
        const std::lock_guard lock(mutex_);
        return thread_;
    }

private:
    // Only against a hang of the test itself: a search on the window's own
    // thread would wait here for a release that cannot come.
    static constexpr std::chrono::seconds kSafety{20};
    struct Alive {
        explicit Alive(SearchHold *h) : hold(h) {}
        Alive(const Alive &) = delete;
        Alive &operator=(const Alive &) = delete;
        SearchHold *hold;
        ~Alive()
        {
            const std::lock_guard lock(hold->mutex_);
            hold->ended_ = true;
            hold->changed_.notify_all();
        }
    };
    void entry()
    {
        std::unique_lock lock(mutex_);
        ++entries_;
        thread_ = std::this_thread::get_id();
        changed_.notify_all();
        changed_.wait_for(lock, kSafety, [this] { return released_; });
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int entries_ = 0;
    bool released_ = false;
    bool ended_ = false;
    std::thread::id thread_;
};

// A folder "a" of three audio files and a file "b.mp3" beside it.
void makeTree(const QTemporaryDir &dir)
{
    QDir root(dir.path());
    QVERIFY(root.mkpath("a"));
    for (const char *name : {"a/1.mp3", "a/2.mp3", "a/10.mp3", "b.mp3"})
        writeFile(root.filePath(name), "x");
}

} // namespace

class OpenFilesTest : public QObject {
    Q_OBJECT
private slots:
    // Guards: relative paths or file URLs passed on unresolved; an option
    // taken for a file (or a file after "--" for an option); --help and
    // --version starting the player.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<CommandLine::Action>("action");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("textStart");
        using A = CommandLine::Action;
        row("no arguments", QStringList{}, A::Run, QStringList{}, "");
        row("paths and URLs",
            QStringList{"a.mp3", "../b/c.wav", "/abs/d.mp3", "file:///m/e%20f.mp3"}, A::Run,
            QStringList{"/home/u/a.mp3", "/home/b/c.wav", "/abs/d.mp3", "/m/e f.mp3"}, "");
        row("-- then a dash name", QStringList{"--", "-x.mp3", "--help"}, A::Run,
            QStringList{"/home/u/-x.mp3", "/home/u/--help"}, "");
        row("--help", QStringList{"a.mp3", "--help"}, A::Print, QStringList{},
            "Usage: tarn-player");
        row("-v", QStringList{"-v"}, A::Print, QStringList{}, "Tarn Player 9.9");
        row("unknown option", QStringList{"--shuffle"}, A::Fail, QStringList{},
            "tarn-player: unknown option --shuffle");
    }
    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(CommandLine::Action, action);
        QFETCH(QStringList, files);
        QFETCH(QString, textStart);
        const CommandLine c = parseCommandLine(args, "/home/u", "Tarn Player 9.9");
        QCOMPARE(c.action, action);
        QCOMPARE(c.files, files);
        QCOMPARE(c.text.left(textStart.size()), textStart);
    }

    // Guards: drops refused, or taken from other programs' web links;
    // dropped files replacing the playlist or starting to play; a folder or
    // playlist added as one entry; a missing file skipped without a word.
    void dropOnPlaylist_data()
    {
        QTest::addColumn<QStringList>("dropped");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("trackLine");
        const QString noLine = "Now Playing:";
        row("files", QStringList{"music/b.mp3", "music/a.WAV"}, true,
            QStringList{"old.mp3", "b.mp3", "a.WAV"}, noLine);
        row("folder", QStringList{"music"}, true, QStringList{"old.mp3", "a.WAV", "b.mp3", "c.mp3"},
            noLine);
        row(".TPL", QStringList{"list.TPL"}, true, QStringList{"old.mp3", "from list"}, noLine);
        row("missing file", QStringList{"gone.mp3", "music/b.mp3"}, true,
            QStringList{"old.mp3", "b.mp3"},
            "Now Playing : gone.mp3 cannot be played: no such file");
        row("web link", QStringList{"https://example.org/a.mp3"}, false, QStringList{"old.mp3"},
            noLine);
    }
    void dropOnPlaylist()
    {
        QFETCH(QStringList, dropped);
        QFETCH(bool, accepted);
        QFETCH(QStringList, names);
        QFETCH(QString, trackLine);
        QTemporaryDir dir;
        QDir root(dir.path());
        QVERIFY(root.mkpath("music/sub"));
        for (const char *name : {"music/b.mp3", "music/a.WAV", "music/sub/c.mp3"})
            writeFile(root.filePath(name), "x");
        writeFile(root.filePath("list.TPL"), " 1 \r\n/m/l.mp3+from list\r\nend\r\n");

        Form1Harness h;
        Form1 &f = h.create();
        probe(f).List1->addItem("/m/old.mp3");
        probe(f).List2->addItem("old.mp3");
        h.engine.calls.clear();
        QList<QUrl> urls;
        for (const QString &d : dropped)
            urls << (d.contains("://") ? QUrl(d) : QUrl::fromLocalFile(root.filePath(d)));

        QCOMPARE(dragAndDrop(probe(f).List2->viewport(), urls), accepted);
        QCoreApplication::processEvents();
        QVERIFY(h.importsDone());
        QStringList shown;
        for (int i = 0; i < probe(f).List2->count(); ++i)
            shown << probe(f).List2->item(i)->text();
        QCOMPARE(shown, names);
        QCOMPARE(probe(f).List1->count(), probe(f).List2->count());
        QCOMPARE(h.engine.playerCalls(), QStringList{});
        QCOMPARE(probe(f).lbl_track->toolTip().isEmpty() ? probe(f).lbl_track->text()
                                                         : probe(f).lbl_track->toolTip(),
                 trackLine);
    }

    // Guards: the strip refusing drops or handing them on as files to play.
    void dropOnStrip()
    {
        FakeMainWindow main;
        FakeMessages messages;
        QTemporaryDir appFolder;
        Form2 strip{Form2Services{main, messages, appFolder.path()}};
        QVERIFY(dragAndDrop(&strip,
                            {QUrl::fromLocalFile("/m/a.mp3"), QUrl::fromLocalFile("/m/folder")}));
        QTRY_COMPARE(main.calls, QStringList{"open=/m/a.mp3|/m/folder"});
    }

    // Guards: files opened with the player not played, the playlist
    // replaced instead of appended to, or the wrong entry played.
    void openedFilesPlayTheFirst()
    {
        Form1Harness h;
        Form1 &f = h.create();
        probe(f).List1->addItem("/m/old.mp3");
        probe(f).List2->addItem("old.mp3");
        const QString fixtures = qEnvironmentVariable("TARN_FIXTURES");
        f.openFiles({fixtures + "/missing.mp3", fixtures + "/tone440_u8_8k_mono.wav",
                     fixtures + "/tone440_wmav1.wma"},
                    true);
        QVERIFY(h.importsDone());
        h.engine.settle();
        QCOMPARE(probe(f).List2->count(), 3);
        QCOMPARE(Form1Probe::selectedIndex(probe(f).List2), 1);
        QCOMPARE(h.engine.fileName, fixtures + "/tone440_u8_8k_mono.wav");
        QCOMPARE(h.engine.playStatus, PlayState::Playing);
        QCOMPARE(f.windowTitle(), h.engine.fileName);
    }

    // Guards: a message box for each request of another program on a full
    // playlist (each box's event loop takes the next request and opens the
    // next box, until the stack runs out; one box alone holds the caller's
    // D-Bus reply until someone clicks), and nothing saying why nothing was
    // added.
    void fullPlaylistFromOutside_data()
    {
        QTest::addColumn<QString>("source");
        row("command line, second start", "openFiles");
        row("OpenUri", "OpenUri");
        row("drop", "drop");
    }
    void fullPlaylistFromOutside()
    {
        QFETCH(QString, source);
        Form1Harness h;
        Form1 &f = h.create();
        QStringList paths, names;
        for (int i = 0; i < Form1::kMaxEntries; ++i) {
            names << QStringLiteral("%1.mp3").arg(i);
            paths << "/m/" + names.last();
        }
        probe(f).List1->addItems(paths);
        probe(f).List2->addItems(names);
        FakeMediaBus bus;
        MprisPlayer mpris(f, bus);
        QVERIFY(mpris.start());
        h.engine.calls.clear();
        const QString file = qEnvironmentVariable("TARN_FIXTURES") + "/tone440_u8_8k_mono.wav";

        for (int i = 0; i < 20; ++i) {
            if (source == "openFiles")
                f.openFiles({file}, true);
            else if (source == "OpenUri")
                QVERIFY(
                    mpris.call(kMprisPlayer, "OpenUri", {QUrl::fromLocalFile(file).toString()}));
            else
                QVERIFY(dragAndDrop(probe(f).List2->viewport(), {QUrl::fromLocalFile(file)}));
        }
        QCoreApplication::processEvents(); // a drop is taken from the event loop
        QVERIFY(h.importsDone());
        QCOMPARE(h.messages.texts(), QStringList{});
        QCOMPARE(probe(f).List2->count(), Form1::kMaxEntries);
        QCOMPARE(probe(f).lbl_track->toolTip(),
                 QStringLiteral("Now Playing : The playlist is full (32767 entries)."));
        QCOMPARE(h.engine.playerCalls(), QStringList{});
    }

    // Guards: a folder search on the window's thread (a large or hung folder
    // freezes the window and holds the caller's D-Bus reply); requests
    // appended out of the order they came in; a folder search that a newer
    // request does not stop (one client's file:/// walks the whole disk while
    // the user's own request waits), or that takes the newer request's files
    // with it.
    void searchLeavesTheWindowAnswering_data()
    {
        QTest::addColumn<QStringList>("first");  // the held request's paths
        QTest::addColumn<QStringList>("second"); // a request made while it is held
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<bool>("stopped"); // the track line says a folder search stopped
        row("a file after a folder", QStringList{"a"}, QStringList{"b.mp3"}, QStringList{"b.mp3"},
            true);
        row("a file named after the folder, then a file", QStringList{"a", "b.mp3"},
            QStringList{"a/1.mp3"}, QStringList{"b.mp3", "1.mp3"}, true);
        row("a folder after a file", QStringList{"b.mp3"}, QStringList{"a"},
            QStringList{"b.mp3", "1.mp3", "2.mp3", "10.mp3"}, false);
    }
    void searchLeavesTheWindowAnswering()
    {
        QFETCH(QStringList, first);
        QFETCH(QStringList, second);
        QFETCH(QStringList, names);
        QFETCH(bool, stopped);
        QTemporaryDir dir;
        makeTree(dir);
        Form1Harness h;
        Form1 &f = h.create();
        SearchHold hold;
        const auto inDir = [&dir](QStringList paths) {
            for (QString &path : paths)
                path = dir.filePath(path);
            return paths;
        };
        probe(f).fileImport().setVisitHook(hold.hook());
        f.openFiles(inDir(first), false);
        // Held in its folder, or done with a request of files alone.
        QTRY_VERIFY(hold.entries() > 0 || !probe(f).fileImport().busy());
        f.openFiles(inDir(second), false);
        probe(f).fileImport().setVisitHook({});
        QVERIFY(hold.waitHeld());
        QVERIFY(hold.thread() != std::this_thread::get_id());
        const int before = probe(f).List2->count();

        // The window's event loop runs on while the search is held.
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
        timer.start(1);
        QVERIFY(QTest::qWaitFor([&ticks] { return ticks >= 3; }));
        QCOMPARE(probe(f).List2->count(), before);

        hold.release();
        QVERIFY(h.importsDone());
        QCOMPARE(shownNames(f), names);
        QCOMPARE(
            probe(f).lbl_track->toolTip().contains("A newer request stopped the folder search"),
            stopped);
        QVERIFY(hold.waitEnded());
    }

    // Guards: Exit or the window's end waiting for a search stuck in a hung
    // folder (the program could not end), and a search going on, or its
    // entries arriving, after Exit.
    void exitLeavesTheSearch_data()
    {
        QTest::addColumn<bool>("exit"); // Exit; otherwise the window is destroyed
        row("Exit", true);
        row("window gone", false);
    }
    void exitLeavesTheSearch()
    {
        QFETCH(bool, exit);
        QTemporaryDir dir;
        makeTree(dir);
        Form1Harness h;
        Form1 &f = h.create();
        SearchHold hold;
        probe(f).fileImport().setVisitHook(hold.hook());
        f.openFiles({dir.path()}, true);
        probe(f).fileImport().setVisitHook({}); // the search holds the only copy now
        QVERIFY(hold.waitHeld());

        if (exit)
            probe(f).Command7_Click();
        else
            h.form.reset();
        QVERIFY(hold.held()); // returned without waiting for the search
        QCOMPARE(h.endProgramCalls, exit ? 1 : 0);

        hold.release();
        QVERIFY(hold.waitEnded());
        QCoreApplication::processEvents();
        QCOMPARE(hold.entries(), 1); // stopped at the entry it was held before
        if (exit)
            QCOMPARE(probe(f).List2->count(), 0);
    }

    // Guards: names that are not UTF-8 (Latin-1 names of old disks and
    // archives) left out of a folder or a file URL without a word.
    void namesNotUtf8_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("line");
        row("folder", "folder",
            "Now Playing : 1 file or folder whose name is not valid UTF-8 was left out");
        row("OpenUri", "OpenUri",
            "Now Playing : caf\uFFFD.ogg cannot be played: its name is not valid UTF-8");
    }
    void namesNotUtf8()
    {
        QFETCH(QString, source);
        QFETCH(QString, line);
        QTemporaryDir dir;
        const RemovedAtEnd remove(dir.path());
        const QByteArray name = QFile::encodeName(dir.path()) + "/caf\xe9.ogg";
        const int fd = ::open(name.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        QVERIFY(fd >= 0);
        ::close(fd);
        writeFile(dir.filePath("ok.mp3"), "x");
        Form1Harness h;
        Form1 &f = h.create();
        FakeMediaBus bus;
        MprisPlayer mpris(f, bus);
        QVERIFY(mpris.start());

        if (source == "folder")
            f.openFiles({dir.path()}, false);
        else
            QVERIFY(mpris.call(kMprisPlayer, "OpenUri",
                               {"file://" + QString::fromLatin1(name.toPercentEncoding("/"))}));
        QVERIFY(h.importsDone());
        QCOMPARE(probe(f).lbl_track->toolTip(), line);
        QCOMPARE(shownNames(f), source == "folder" ? QStringList{"ok.mp3"} : QStringList{});
    }
};

QTEST_MAIN(OpenFilesTest)
#include "test_open_files.moc"
