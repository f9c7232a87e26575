// Files handed to the player from outside: M3U lists, folders, playlists and
// what is skipped.
#include "fakes/data_rows.h"
#include "fakes/test_files.h"
#include "persist/m3u_file.h"
#include "persist/opened_files.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using tarn::test::row;
using namespace tarn;
using Entries = QList<PlaylistEntry>;

class OpenedFilesTest : public QObject {
    Q_OBJECT
private slots:
    void m3u_data()
    {
        QTest::addColumn<QString>("listName");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qsizetype>("room");
        QTest::addColumn<Entries>("expected");
        const Entries ab{{"/lists/a.mp3", "a.mp3"}, {"/lists/sub/b.mp3", "b.mp3"}};
        // Guards: a relative path taken against the current folder, not the list's.
        row("relative paths, LF and CR LF", "x.m3u", QByteArray("a.mp3\r\nsub/b.mp3\n"),
            qsizetype(9), ab);
        // Guards: #EXTINF titles lost, or kept for the wrong (later) entry.
        row("EXTINF titles, comments, blank lines", "x.m3u",
            QByteArray("#EXTM3U\n#EXTINF:123,Artist - Song\n/m/a.mp3\n\n# note\n/m/b.mp3\n"),
            qsizetype(9), Entries{{"/m/a.mp3", "Artist - Song"}, {"/m/b.mp3", "b.mp3"}});
        // Guards: a Windows list's byte 0xE9 read as an invalid UTF-8 character.
        row(".m3u in Windows-1252", "x.m3u", QByteArray("/m/caf\xe9.mp3\n"), qsizetype(9),
            Entries{{"/m/café.mp3", "café.mp3"}});
        row(".m3u8 in UTF-8 with a BOM", "x.m3u8",
            QByteArray("\xEF\xBB\xBF#EXTINF:1,Caf\xC3\xA9\n/m/a.mp3\n"), qsizetype(9),
            Entries{{"/m/a.mp3", "Café"}});
        // Guards: a web address added as a path the engine cannot open; a
        // file URL's %-escapes kept.
        row("URLs", "x.m3u",
            QByteArray("#EXTINF:1,Radio\nhttp://r.example/s\n"
                       "file:///m/a%20b.mp3\n"),
            qsizetype(9), Entries{{"/m/a b.mp3", "a b.mp3"}});
        row("backslashes of a Windows list", "x.m3u", QByteArray("sub\\b.mp3\n"), qsizetype(9),
            Entries{{"/lists/sub/b.mp3", "b.mp3"}});
        // Guards: a name starting with ":" taken for one of Qt's resources.
        row("colon names", "x.m3u", QByteArray(":a.mp3\n"), qsizetype(9),
            Entries{{"/lists/:a.mp3", ":a.mp3"}});
        // Guards: a line no file can be named by (NUL, a name over 255 bytes)
        // kept, making the whole playlist unsavable; a long title kept whole.
        row("impossible paths, long title", "x.m3u",
            QByteArray("/m/a" + QByteArray(1, '\0') + "b.mp3\nfile:///m/a%00b.mp3\n/m/" +
                       QByteArray(256, 'n') + "\n#EXTINF:1," + QByteArray(300, 't') +
                       "\n/m/ok.mp3\n"),
            qsizetype(9), Entries{{"/m/ok.mp3", QString(255, u't')}});
        // Guards: a huge list filling the playlist past its limit.
        row("room", "x.m3u", QByteArray("a.mp3\nsub/b.mp3\nc.mp3\n"), qsizetype(2), ab);
    }
    void m3u()
    {
        QFETCH(QString, listName);
        QFETCH(QByteArray, bytes);
        QFETCH(qsizetype, room);
        QFETCH(Entries, expected);
        QCOMPARE(readM3u(bytes, QStringLiteral("/lists/") + listName, room), expected);
    }

    // Guards: folders not searched below their top level, taken in plain
    // (10 before 2) order, hidden or non-audio files added; a playlist given
    // as a file added as an entry instead of read; a missing or non-audio
    // file added silently; the playlist limit overrun.
    void collect_data()
    {
        QTest::addColumn<QStringList>("given");
        QTest::addColumn<qsizetype>("room");
        QTest::addColumn<QStringList>("expectedNames");
        QTest::addColumn<QStringList>("expectedSkipped");
        QTest::addColumn<bool>("full");
        QTest::addColumn<qsizetype>("notUtf8");
        const QStringList folderOrder{"1 a.mp3", "2 b.WAV", "10 c.wma", "3 d.mp3"};
        row("folder, natural order, recursive", QStringList{"music"}, qsizetype(99), folderOrder,
            QStringList{}, false, qsizetype(0));
        row("files, lists and what is skipped",
            QStringList{"music/2 b.WAV", "gone.mp3", "notes.txt", "list.TPL", "list.m3u"},
            qsizetype(99), QStringList{"2 b.WAV", "tpl entry", "m3u entry"},
            QStringList{"gone.mp3: no such file", "notes.txt: not an audio file"}, false,
            qsizetype(0));
        row("room", QStringList{"music", "list.TPL"}, qsizetype(3), folderOrder.mid(0, 3),
            QStringList{}, true, qsizetype(0));
        // Guards: names that are not UTF-8 vanishing without a word (Qt
        // decodes them to a name no file has), or given so (a command line, a
        // file URL: U+FFFD in place of the byte) called missing.
        row("names not UTF-8", QStringList{"latin1", QString::fromLocal8Bit("latin1/caf\xe9.mp3")},
            qsizetype(99), QStringList{"ok.mp3"},
            QStringList{"caf\uFFFD.mp3: its name is not valid UTF-8"}, false, qsizetype(2));
    }
    void collect()
    {
        QFETCH(QStringList, given);
        QFETCH(qsizetype, room);
        QFETCH(QStringList, expectedNames);
        QFETCH(QStringList, expectedSkipped);
        QFETCH(bool, full);
        QFETCH(qsizetype, notUtf8);

        QTemporaryDir dir;
        QDir root(dir.path());
        for (const char *sub : {"music/sub", "music/.hidden"})
            QVERIFY(root.mkpath(QLatin1String(sub)));
        for (const char *name :
             {"music/2 b.WAV", "music/10 c.wma", "music/1 a.mp3", "music/sub/3 d.mp3",
              "music/cover.jpg", "music/.hidden/h.mp3", "music/.x.mp3", "notes.txt"})
            test::writeFile(root.filePath(QLatin1String(name)), "x");
        test::writeFile(root.filePath("list.TPL"), " 1 \r\n/m/t.mp3+tpl entry\r\nend\r\n");
        test::writeFile(root.filePath("list.m3u"), "#EXTINF:1,m3u entry\n/m/u.mp3\n");
        // Latin-1 names, as old disks and archives hold them: a file, a
        // folder (with a file in it), and a non-audio file, which is not counted.
        const test::RemovedAtEnd remove(root.filePath("latin1"));
        const QByteArray latin1 = QFile::encodeName(root.filePath("latin1"));
        QVERIFY(::mkdir(latin1.constData(), 0700) == 0);
        QVERIFY(::mkdir((latin1 + "/d\xe9").constData(), 0700) == 0);
        for (const QByteArray &name : {latin1 + "/caf\xe9.mp3", latin1 + "/d\xe9/a.mp3",
                                       latin1 + "/caf\xe9.txt", latin1 + "/ok.mp3"}) {
            const int fd = ::open(name.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
            QVERIFY(fd >= 0);
            ::close(fd);
        }

        QStringList paths;
        for (const QString &g : given)
            paths << root.filePath(g);
        CollectLimits limits;
        limits.room = room;
        const OpenedFiles opened = collectOpenedFiles(paths, limits);
        QStringList names;
        for (const PlaylistEntry &e : opened.entries) {
            names << e.name;
            QVERIFY2(QDir::isAbsolutePath(e.path), qPrintable(e.path));
        }
        QStringList skipped;
        for (const SkippedFile &s : opened.skipped)
            skipped << s.name + QStringLiteral(": ") + s.reason;
        QCOMPARE(names, expectedNames);
        QCOMPARE(skipped, expectedSkipped);
        QCOMPARE(opened.full, full);
        QCOMPARE(opened.notUtf8, notUtf8);
    }

    // Guards: a folder search that reads the whole tree before the room is
    // applied; one without a bound on what it reads; one that cannot be
    // stopped between entries. The tree: five folders of four files each.
    void searchStops_data()
    {
        QTest::addColumn<qsizetype>("room");
        QTest::addColumn<qsizetype>("maxVisited");
        QTest::addColumn<int>("cancelAt"); // the entry before which the cancel flag is set; 0 never
        QTest::addColumn<QStringList>("expectedNames");
        QTest::addColumn<qsizetype>("visited");
        QTest::addColumn<QString>("stop"); // full, cut or cancelled
        const QStringList first{"f1/1.mp3", "f1/2.mp3", "f1/3.mp3", "f1/4.mp3"};
        row("room filled", qsizetype(3), kMaxVisitedEntries, 0, first.mid(0, 3), qsizetype(5 + 4),
            "full");
        row("bound reached", qsizetype(99), qsizetype(5 + 4), 0, first, qsizetype(5 + 4), "cut");
        row("cancelled", qsizetype(99), kMaxVisitedEntries, 8, QStringList{}, qsizetype(7),
            "cancelled");
    }
    void searchStops()
    {
        QFETCH(qsizetype, room);
        QFETCH(qsizetype, maxVisited);
        QFETCH(int, cancelAt);
        QFETCH(QStringList, expectedNames);
        QFETCH(qsizetype, visited);
        QFETCH(QString, stop);
        QTemporaryDir dir;
        QDir root(dir.path());
        for (int folder = 1; folder <= 5; ++folder)
            for (int file = 1; file <= 4; ++file) {
                const QString name = QStringLiteral("f%1/%2.mp3").arg(folder).arg(file);
                QVERIFY(root.mkpath(QFileInfo(name).path()));
                test::writeFile(root.filePath(name), "x");
            }

        std::atomic<bool> cancel{false};
        int entries = 0;
        CollectLimits limits;
        limits.room = room;
        limits.maxVisited = maxVisited;
        limits.cancel = &cancel;
        limits.visiting = [&] {
            if (++entries == cancelAt)
                cancel = true;
        };
        const OpenedFiles opened = collectOpenedFiles({dir.path()}, limits);
        QStringList names;
        for (const PlaylistEntry &e : opened.entries)
            names << root.relativeFilePath(e.path);
        QCOMPARE(names, expectedNames);
        QCOMPARE(opened.visited, visited);
        QCOMPARE(opened.full, stop == "full");
        QCOMPARE(opened.searchCut, stop == "cut");
        QCOMPARE(opened.cancelled, stop == "cancelled");
        // Nothing is read once the search has stopped.
        QCOMPARE(entries, stop == "cancelled" ? cancelAt : visited);
    }
};

QTEST_GUILESS_MAIN(OpenedFilesTest)
#include "test_opened_files.moc"
