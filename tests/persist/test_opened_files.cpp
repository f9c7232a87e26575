// Files handed to the player from outside: M3U lists, folders, playlists and
// what is skipped.
#include "fakes/test_files.h"
#include "persist/m3u_file.h"
#include "persist/opened_files.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

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
        QTest::newRow("relative paths, LF and CR LF")
            << "x.m3u" << QByteArray("a.mp3\r\nsub/b.mp3\n") << qsizetype(9) << ab;
        // Guards: #EXTINF titles lost, or kept for the wrong (later) entry.
        QTest::newRow("EXTINF titles, comments, blank lines")
            << "x.m3u"
            << QByteArray("#EXTM3U\n#EXTINF:123,Artist - Song\n/m/a.mp3\n\n# note\n/m/b.mp3\n")
            << qsizetype(9) << Entries{{"/m/a.mp3", "Artist - Song"}, {"/m/b.mp3", "b.mp3"}};
        // Guards: a Windows list's byte 0xE9 read as an invalid UTF-8 character.
        QTest::newRow(".m3u in Windows-1252")
            << "x.m3u" << QByteArray("/m/caf\xe9.mp3\n") << qsizetype(9)
            << Entries{{"/m/café.mp3", "café.mp3"}};
        QTest::newRow(".m3u8 in UTF-8 with a BOM")
            << "x.m3u8" << QByteArray("\xEF\xBB\xBF#EXTINF:1,Caf\xC3\xA9\n/m/a.mp3\n")
            << qsizetype(9) << Entries{{"/m/a.mp3", "Café"}};
        // Guards: a web address added as a path the engine cannot open; a
        // file URL's %-escapes kept.
        QTest::newRow("URLs") << "x.m3u"
                              << QByteArray("#EXTINF:1,Radio\nhttp://r.example/s\n"
                                            "file:///m/a%20b.mp3\n")
                              << qsizetype(9) << Entries{{"/m/a b.mp3", "a b.mp3"}};
        QTest::newRow("backslashes of a Windows list")
            << "x.m3u" << QByteArray("sub\\b.mp3\n") << qsizetype(9)
            << Entries{{"/lists/sub/b.mp3", "b.mp3"}};
        // Guards: a name starting with ":" taken for one of Qt's resources.
        QTest::newRow("colon names") << "x.m3u" << QByteArray(":a.mp3\n") << qsizetype(9)
                                     << Entries{{"/lists/:a.mp3", ":a.mp3"}};
        // Guards: a line no file can be named by (NUL, a name over 255 bytes)
        // kept, making the whole playlist unsavable; a long title kept whole.
        QTest::newRow("impossible paths, long title")
            << "x.m3u"
            << QByteArray("/m/a" + QByteArray(1, '\0') + "b.mp3\nfile:///m/a%00b.mp3\n/m/" +
                          QByteArray(256, 'n') + "\n#EXTINF:1," + QByteArray(300, 't') +
                          "\n/m/ok.mp3\n")
            << qsizetype(9) << Entries{{"/m/ok.mp3", QString(255, u't')}};
        // Guards: a huge list filling the playlist past its limit.
        QTest::newRow("room") << "x.m3u" << QByteArray("a.mp3\nsub/b.mp3\nc.mp3\n") << qsizetype(2)
                              << ab;
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
        const QStringList folderOrder{"1 a.mp3", "2 b.WAV", "10 c.wma", "3 d.mp3"};
        QTest::newRow("folder, natural order, recursive")
            << QStringList{"music"} << qsizetype(99) << folderOrder << QStringList{} << false;
        QTest::newRow("files, lists and what is skipped")
            << QStringList{"music/2 b.WAV", "gone.mp3", "notes.txt", "list.TPL", "list.m3u"}
            << qsizetype(99) << QStringList{"2 b.WAV", "tpl entry", "m3u entry"}
            << QStringList{"gone.mp3: no such file", "notes.txt: not an audio file"} << false;
        QTest::newRow("room") << QStringList{"music", "list.TPL"} << qsizetype(3)
                              << folderOrder.mid(0, 3) << QStringList{} << true;
    }
    void collect()
    {
        QFETCH(QStringList, given);
        QFETCH(qsizetype, room);
        QFETCH(QStringList, expectedNames);
        QFETCH(QStringList, expectedSkipped);
        QFETCH(bool, full);

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

        QStringList paths;
        for (const QString &g : given)
            paths << root.filePath(g);
        const OpenedFiles opened = collectOpenedFiles(paths, room);
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
    }
};

QTEST_GUILESS_MAIN(OpenedFilesTest)
#include "test_opened_files.moc"
