// Files given to the player from outside: the command line, and files,
// folders and playlists dropped on the playlist or on the mini player.
#include "desktop/command_line.h"
#include "fakes/fake_main_window.h"
#include "fakes/form1_harness.h"
#include "fakes/test_files.h"
#include "mini/form2.h"

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QTest>
#include <QUrl>

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
        QTest::newRow("no arguments") << QStringList{} << A::Run << QStringList{} << "";
        QTest::newRow("paths and URLs")
            << QStringList{"a.mp3", "../b/c.wav", "/abs/d.mp3", "file:///m/e%20f.mp3"} << A::Run
            << QStringList{"/home/u/a.mp3", "/home/b/c.wav", "/abs/d.mp3", "/m/e f.mp3"} << "";
        QTest::newRow("-- then a dash name")
            << QStringList{"--", "-x.mp3", "--help"} << A::Run
            << QStringList{"/home/u/-x.mp3", "/home/u/--help"} << "";
        QTest::newRow("--help") << QStringList{"a.mp3", "--help"} << A::Print << QStringList{}
                                << "Usage: tarn-player";
        QTest::newRow("-v") << QStringList{"-v"} << A::Print << QStringList{} << "Tarn Player 9.9";
        QTest::newRow("unknown option") << QStringList{"--shuffle"} << A::Fail << QStringList{}
                                        << "tarn-player: unknown option --shuffle";
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
        QTest::newRow("files") << QStringList{"music/b.mp3", "music/a.WAV"} << true
                               << QStringList{"old.mp3", "b.mp3", "a.WAV"} << noLine;
        QTest::newRow("folder") << QStringList{"music"} << true
                                << QStringList{"old.mp3", "a.WAV", "b.mp3", "c.mp3"} << noLine;
        QTest::newRow(".TPL") << QStringList{"list.TPL"} << true
                              << QStringList{"old.mp3", "from list"} << noLine;
        QTest::newRow("missing file")
            << QStringList{"gone.mp3", "music/b.mp3"} << true << QStringList{"old.mp3", "b.mp3"}
            << "Now Playing : gone.mp3 cannot be played: no such file";
        QTest::newRow("web link") << QStringList{"https://example.org/a.mp3"} << false
                                  << QStringList{"old.mp3"} << noLine;
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
        f.List1->addItem("/m/old.mp3");
        f.List2->addItem("old.mp3");
        h.engine.calls.clear();
        QList<QUrl> urls;
        for (const QString &d : dropped)
            urls << (d.contains("://") ? QUrl(d) : QUrl::fromLocalFile(root.filePath(d)));

        QCOMPARE(dragAndDrop(f.List2->viewport(), urls), accepted);
        QCoreApplication::processEvents();
        QStringList shown;
        for (int i = 0; i < f.List2->count(); ++i)
            shown << f.List2->item(i)->text();
        QCOMPARE(shown, names);
        QCOMPARE(f.List1->count(), f.List2->count());
        QCOMPARE(h.engine.playerCalls(), QStringList{});
        QCOMPARE(f.lbl_track->toolTip().isEmpty() ? f.lbl_track->text() : f.lbl_track->toolTip(),
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
        f.List1->addItem("/m/old.mp3");
        f.List2->addItem("old.mp3");
        const QString fixtures = qEnvironmentVariable("TARN_FIXTURES");
        f.openFiles({fixtures + "/missing.mp3", fixtures + "/tone440_u8_8k_mono.wav",
                     fixtures + "/tone440_wmav1.wma"},
                    true);
        h.engine.settle();
        QCOMPARE(f.List2->count(), 3);
        QCOMPARE(Form1::selectedIndex(f.List2), 1);
        QCOMPARE(h.engine.fileName, fixtures + "/tone440_u8_8k_mono.wav");
        QCOMPARE(h.engine.playStatus, 2);
        QCOMPARE(f.windowTitle(), h.engine.fileName);
    }
};

QTEST_MAIN(OpenFilesTest)
#include "test_open_files.moc"
