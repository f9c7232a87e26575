// The flag files: the writers' bytes and the main window's poll over them.
#include "controls/flag_files.h"
#include "fakes/data_rows.h"
#include "fakes/fake_main_window.h"
#include "fakes/file_kinds.h"
#include "persist/app_folder.h"
#include "persist/record_file.h"
#include "persist/support/file_size_limit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

using namespace tarn;
using namespace tarn::test;

using Files = QMap<QString, QByteArray>; // name -> what sits there (fakes/file_kinds.h)
Q_DECLARE_METATYPE(Files)

namespace {

const QByteArray kZero = QByteArray::fromHex("2030200d0a");
const QStringList kFlags{kBackFlag, kStopFlag, kNextFlag};

// What sits at each flag file's name now.
Files contents(const QString &folder)
{
    Files files;
    for (const QString &name : kFlags)
        files[name] = whatIsAt(folder, name);
    return files;
}

Files allZero()
{
    return {{kBackFlag, kZero}, {kStopFlag, kZero}, {kNextFlag, kZero}};
}

} // namespace

class FlagFilesTest : public QObject {
    Q_OBJECT
private slots:
    // Guards: a flag read by anything but its first number, actions in the
    // wrong order, a flag left set (acted on again) or a file left missing,
    // a folder or pipe that is opened (a pipe blocks the window for ever) or
    // replaced, a symbolic link followed (the poll "clearing" whatever file
    // the link points to, or creating its missing target) or replaced, an
    // oversized file read or overwritten, and a failing action that stops
    // the poll.
    void pollActsAndClears_data()
    {
        QTest::addColumn<Files>("before");
        QTest::addColumn<QString>("throwing"); // the action that fails, if any
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<Files>("after");
        const auto with = [](const QString &name, const QByteArray &bytes) {
            Files f = allZero();
            f[name] = bytes;
            return f;
        };
        row("no files: created, no action", Files{}, "", QStringList{}, allZero());
        row("back holds 2", Files{{kBackFlag, " 2 \r\n"}}, "", QStringList{}, allZero());
        row("next: the single byte 31", Files{{kNextFlag, "1"}}, "", QStringList{"next"},
            allZero());
        row("next: number line 1", Files{{kNextFlag, " 1 \r\n"}}, "", QStringList{"next"},
            allZero());
        row("stop: 1,0", Files{{kStopFlag, "1,0\r\n"}}, "", QStringList{"stop"}, allZero());
        row("empty back", Files{{kBackFlag, ""}}, "", QStringList{}, allZero());
        row("all set: back, stop, next in this order",
            Files{{kNextFlag, "1\r\n"}, {kStopFlag, " 1 \r\n"}, {kBackFlag, " 1 \r\n"}}, "",
            QStringList{"back", "stop", "next"}, allZero());
        row("a failing back: the rest still runs",
            Files{{kBackFlag, " 1 \r\n"}, {kNextFlag, "1\r\n"}}, "back",
            QStringList{"back", "next"}, allZero());
        row("a folder named next2.ini", Files{{kNextFlag, kDirEntry}}, "", QStringList{},
            with(kNextFlag, kDirEntry));
        row("a pipe named next2.ini", Files{{kNextFlag, kFifoEntry}}, "", QStringList{},
            with(kNextFlag, kFifoEntry));
        const QByteArray big = "1\r\n" + QByteArray(5000, ' ');
        row("next2.ini of 5 KiB starting with 1", Files{{kNextFlag, big}}, "", QStringList{},
            with(kNextFlag, big));
        const QByteArray notes = kLinkEntry + "1\r\nshopping: milk\r\n";
        row("next2.ini a link to a text file starting with 1", Files{{kNextFlag, notes}}, "",
            QStringList{}, with(kNextFlag, notes));
        const QByteArray binary = kLinkEntry + binaryBytes(" 1 \r\n", 100 * 1024);
        row("stop1.ini a link to a 100 KB binary", Files{{kStopFlag, binary}}, "", QStringList{},
            with(kStopFlag, binary));
        row("back1.ini a link to a missing file", Files{{kBackFlag, kDanglingEntry}}, "",
            QStringList{}, with(kBackFlag, kDanglingEntry));
    }
    void pollActsAndClears()
    {
        QFETCH(Files, before);
        QFETCH(QString, throwing);
        QFETCH(QStringList, actions);
        QFETCH(Files, after);
        QTemporaryDir dir;
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            putAt(dir.path(), it.key(), it.value());
        FakeMainWindow main;
        main.during = [&](const QString &call) {
            if (call == throwing)
                throw std::runtime_error("no such entry");
        };
        FlagPoll poll;
        poll.tick(dir.path(), main);
        QCOMPARE(main.calls, actions);
        QCOMPARE(contents(dir.path()), after);
        poll.tick(dir.path(), main);
        QCOMPARE(main.calls, actions); // nothing twice
    }

    // Guards: writers that write other bytes than the poll and other programs
    // expect, several clicks between two polls giving several actions, and
    // clicks acted on in the order clicked instead of back, stop, next.
    void writersSetFlags_data()
    {
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<QStringList>("actions");
        row("back", QStringList{"back"}, QStringList{"back"});
        row("stop three times", QStringList{"stop", "stop", "stop"}, QStringList{"stop"});
        row("next then back", QStringList{"next", "back"}, QStringList{"back", "next"});
    }
    void writersSetFlags()
    {
        QFETCH(QStringList, clicks);
        QFETCH(QStringList, actions);
        QTemporaryDir dir;
        const QMap<QString, QPair<bool (*)(const QString &), QByteArray>> writers{
            {"back", {&setBackFlag, QByteArray::fromHex("2031200d0a")}},
            {"stop", {&setStopFlag, QByteArray::fromHex("2031200d0a")}},
            {"next", {&set_next_flag, QByteArray::fromHex("310d0a")}},
        };
        const QMap<QString, QString> files{
            {"back", kBackFlag}, {"stop", kStopFlag}, {"next", kNextFlag}};
        for (const QString &click : clicks) {
            QVERIFY(writers[click].first(dir.path()));
            QCOMPARE(contents(dir.path())[files[click]], writers[click].second);
        }
        FakeMainWindow main;
        FlagPoll().tick(dir.path(), main);
        QCOMPARE(main.calls, actions);
        QCOMPARE(contents(dir.path()), allZero());
    }

    // Guards: a request written by another program while the poll acts on the
    // previous one being erased by the poll's clearing.
    void requestDuringPollSurvives_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("action");
        row("back", kBackFlag, "back");
        row("stop", kStopFlag, "stop");
        row("next", kNextFlag, "next");
    }
    void requestDuringPollSurvives()
    {
        QFETCH(QString, file);
        QFETCH(QString, action);
        QTemporaryDir dir;
        putAt(dir.path(), file, "1\r\n");
        FakeMainWindow main;
        bool written = false;
        main.during = [&](const QString &) {
            if (!std::exchange(written, true))
                putAt(dir.path(), file, " 1 \r\n"); // the second request
        };
        FlagPoll poll;
        poll.tick(dir.path(), main);
        QCOMPARE(contents(dir.path())[file], QByteArray(" 1 \r\n"));
        poll.tick(dir.path(), main);
        QCOMPARE(main.calls, QStringList({action, action}));
        QCOMPARE(contents(dir.path()), allZero());
    }

    // Guards: an idle poll that rewrites the files (disk writes twice a
    // second for ever).
    void idlePollWritesNothing()
    {
        QTemporaryDir dir;
        FakeMainWindow main;
        FlagPoll poll;
        poll.tick(dir.path(), main);
        QList<SmallFileRead> before;
        for (const QString &name : kFlags)
            before << readStateFile(dir.path(), name);
        poll.tick(dir.path(), main);
        poll.tick(dir.path(), main);
        for (int i = 0; i < kFlags.size(); ++i)
            QVERIFY2(readStateFile(dir.path(), kFlags[i]) == before[i], qPrintable(kFlags[i]));
        QVERIFY(main.calls.isEmpty());
    }

    // Guards: a writer that crashes or claims success when nothing can be
    // written, and a flag that cannot be cleared skipping a track at every
    // poll instead of once.
    void unwritableFolder()
    {
        QTemporaryDir dir;
        putAt(dir.path(), kNextFlag, "1\r\n");
        FakeMainWindow main;
        FlagPoll poll;
        {
            FileSizeLimit full(2); // nothing longer than 2 bytes can be written
            QVERIFY(!setBackFlag(dir.path()));
            QVERIFY(!set_next_flag(dir.path()));
            for (int i = 0; i < 3; ++i)
                poll.tick(dir.path(), main);
            QCOMPARE(contents(dir.path())[kNextFlag], QByteArray("1\r\n"));
        }
        QCOMPARE(main.calls, QStringList{"next"});
        poll.tick(dir.path(), main); // writable again: cleared, not run again
        QCOMPARE(main.calls, QStringList{"next"});
        QCOMPARE(contents(dir.path()), allZero());
        putAt(dir.path(), kNextFlag, "1\r\n");
        poll.tick(dir.path(), main);
        QCOMPARE(main.calls, QStringList({"next", "next"}));
    }
};

QTEST_GUILESS_MAIN(FlagFilesTest)
#include "test_flag_files.moc"
