#include "fakes/data_rows.h"
#include "fakes/form1_harness.h"
#include "fakes/form1_probe.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace tarn::test;
using tarn::MessageIcon;

namespace {

const QString kFilter = QStringLiteral("Tarn Player Playlist (*.TPL)");

void addEntries(tarn::Form1 &f, const QStringList &paths)
{
    for (const QString &path : paths) {
        probe(f).List1->addItem(path);
        probe(f).List2->addItem(QFileInfo(path).fileName());
    }
}

QStringList texts(const QListWidget *list)
{
    QStringList t;
    for (int i = 0; i < list->count(); ++i)
        t << list->item(i)->text();
    return t;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Runs Load Playlist on `file` and checks the lists stayed parallel.
void load(Form1Harness &h, const QString &file)
{
    h.dialogs.answers = {{file}};
    probe(*h.form).Command9_Click();
    QCOMPARE(probe(*h.form).List1->count(), probe(*h.form).List2->count());
}

} // namespace

class PlaylistCommandsTest : public QObject {
    Q_OBJECT
private slots:
    // Guards: wrong dialog texts, message order or wording, file bytes, selection.
    void saveThreeEntries()
    {
        Form1Harness h;
        tarn::Form1 &f = h.create();
        addEntries(f, {"/m/a.mp3", "/m/b.wma", "/m/c.wav"});
        const QString file = h.appFolder.filePath("list.TPL");
        h.dialogs.answers = {{file}};
        probe(f).Command8_Click();

        QCOMPARE(h.dialogs.calls.size(), 1);
        QCOMPARE(h.dialogs.calls[0].kind, QStringLiteral("save"));
        QCOMPARE(h.dialogs.calls[0].title, QStringLiteral("Save Playlist"));
        QCOMPARE(h.dialogs.calls[0].filter, kFilter);
        QCOMPARE(h.messages.texts(),
                 QStringList({"there are 3 Songs in your playlist", "Saving playlist",
                              "Saved your playlist :- " + file}));
        QCOMPARE(h.messages.shown[0].icon, MessageIcon::None);
        QCOMPARE(h.messages.shown[0].title, QStringLiteral("Tarn Player"));
        QCOMPARE(h.messages.shown[1].title, QStringLiteral("Tarn Player"));
        QCOMPARE(h.messages.shown[2].icon, MessageIcon::Information);
        QCOMPARE(h.messages.shown[2].title, QStringLiteral("Saved Playlist"));
        QCOMPARE(
            fileBytes(file),
            QByteArray(" 3 \r\n/m/a.mp3+a.mp3\r\n/m/b.wma+b.wma\r\n/m/c.wav+c.wav\r\nend\r\n"));
        QCOMPARE(tarn::Form1Probe::selectedIndex(probe(f).List2), 2);
        QCOMPARE(tarn::Form1Probe::selectedIndex(probe(f).List1), 2);
    }

    // Guards: the empty playlist's 10 bytes, or a selection appearing from nowhere.
    void saveEmptyPlaylistThenLoadIt()
    {
        Form1Harness h;
        tarn::Form1 &f = h.create();
        const QString file = h.appFolder.filePath("empty.TPL");
        h.dialogs.answers = {{file}};
        probe(f).Command8_Click();
        QCOMPARE(fileBytes(file), QByteArray(" 0 \r\nend\r\n"));
        QCOMPARE(h.messages.texts().first(), QStringLiteral("there are 0 Songs in your playlist"));
        QCOMPARE(tarn::Form1Probe::selectedIndex(probe(f).List2), -1);

        h.messages.shown.clear();
        load(h, file);
        QCOMPARE(probe(f).List1->count(), 0);
        QCOMPARE(h.messages.texts(), QStringList{"Playlist Imported"});
        QCOMPARE(h.dialogs.calls.last().kind, QStringLiteral("open"));
        QCOMPARE(h.dialogs.calls.last().title, QStringLiteral("Load Playlist"));
        QCOMPARE(h.dialogs.calls.last().filter, kFilter);
        QCOMPARE(h.messages.shown[0].icon, MessageIcon::None);
        QCOMPARE(h.messages.shown[0].title, QStringLiteral("Tarn Player"));
    }

    // Guards: paths with blanks, "+" or non-ASCII letters not surviving a save.
    void saveThenLoadRestoresEntries()
    {
        const QStringList paths{"/home/u/My Music/a b.mp3", "/m/Rock + Roll/A+B.mp3",
                                QString::fromUtf8("/m/Ærøskøbing/日本語 ü.wav"), "/m/a.mp3",
                                "/m/a.mp3"};
        Form1Harness saver;
        addEntries(saver.create(), paths);
        const QString file = saver.appFolder.filePath("round.TPL");
        saver.dialogs.answers = {{file}};
        probe(*saver.form).Command8_Click();

        Form1Harness loader;
        loader.create();
        load(loader, file);
        QCOMPARE(texts(probe(*loader.form).List1), texts(probe(*saver.form).List1));
        QCOMPARE(texts(probe(*loader.form).List2), texts(probe(*saver.form).List2));
    }

    // Guards: Load clearing, reordering or reselecting the existing playlist.
    void loadAppendsAndKeepsSelection()
    {
        Form1Harness h;
        tarn::Form1 &f = h.create();
        addEntries(f, {"/old/x.mp3", "/old/y.mp3"});
        tarn::Form1Probe::setSelectedIndex(probe(f).List1, 1);
        tarn::Form1Probe::setSelectedIndex(probe(f).List2, 1);
        const QString file = h.appFolder.filePath("two.TPL");
        QVERIFY(
            writeFile(file, " 2 \r\nC:\\Music\\a.mp3+a.mp3\r\nD:\\Songs\\b.wma+b.wma\r\nend\r\n"));
        const qsizetype engineCalls = h.engine.calls.size();
        load(h, file);
        load(h, file);
        QCOMPARE(texts(probe(f).List1),
                 QStringList({"/old/x.mp3", "/old/y.mp3", "C:\\Music\\a.mp3", "D:\\Songs\\b.wma",
                              "C:\\Music\\a.mp3", "D:\\Songs\\b.wma"}));
        QCOMPARE(texts(probe(f).List2),
                 QStringList({"x.mp3", "y.mp3", "a.mp3", "b.wma", "a.mp3", "b.wma"}));
        QCOMPARE(tarn::Form1Probe::selectedIndex(probe(f).List2), 1);
        QCOMPARE(h.engine.calls.size(), engineCalls);
    }

    void loadReportsProblems_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("added");
        QTest::addColumn<QString>("message");
        row("no end marker", QByteArray(" 2 \r\n/m/a.mp3+a.mp3\r\n/m/b.mp3+b.mp3\r\n"), 2,
            "Playlist Imported\n\nThe file ended early, without its \"end\" line; the 2 "
            "entries before that were loaded.");
        row("binary", QByteArray(" 1 \r\n/m/a.mp3+a.mp3\r\n\x01\x02\0\x03", 25), 0,
            "%1 is not a playlist file: line 3 holds binary data.");
        row("long line",
            QByteArray(" 1 \r\n/m/a.mp3+a.mp3\r\n" + QByteArray(40000, 'x') + "\r\nend\r\n"), 0,
            "%1 is not a playlist file: line 3 is longer than a file path and a name can be.");
    }
    // Guards: a truncated or binary file loaded silently, or half-loaded.
    void loadReportsProblems()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, added);
        QFETCH(QString, message);
        Form1Harness h;
        tarn::Form1 &f = h.create();
        addEntries(f, {"/old/x.mp3"});
        const QString file = h.appFolder.filePath("p.TPL");
        QVERIFY(writeFile(file, bytes));
        load(h, file);
        QCOMPARE(probe(f).List1->count(), 1 + added);
        QCOMPARE(h.messages.texts(),
                 QStringList{message.contains("%1") ? message.arg(file) : message});
    }

    // Guards: the playlist growing past 32767 entries or the overflow going unmentioned.
    void loadStopsAtTheEntryLimit()
    {
        Form1Harness h;
        tarn::Form1 &f = h.create();
        QStringList many;
        for (int i = 0; i < tarn::Form1::kMaxEntries - 2; ++i)
            many << QStringLiteral("/m/%1.mp3").arg(i);
        probe(f).List1->addItems(many);
        probe(f).List2->addItems(many);
        const QString file = h.appFolder.filePath("five.TPL");
        QVERIFY(writeFile(file, " 5 \r\n/a+a\r\n/b+b\r\n/c+c\r\n/d+d\r\n/e+e\r\nend\r\n"));
        load(h, file);
        QCOMPARE(probe(f).List1->count(), tarn::Form1::kMaxEntries);
        QCOMPARE(probe(f).List2->item(tarn::Form1::kMaxEntries - 1)->text(), QStringLiteral("b"));
        QCOMPARE(h.messages.texts(),
                 QStringList{"Playlist Imported\n\nThe playlist holds at most 32767 entries: 2 "
                             "entries of the file were loaded, the rest were left out."});
        h.messages.shown.clear();
        load(h, file);
        QCOMPARE(probe(f).List1->count(), tarn::Form1::kMaxEntries);
        QVERIFY(h.messages.texts().first().contains("0 entries of the file were loaded"));
    }

    // Guards: a cancelled dialog writing, adding or saying anything.
    void cancelDoesNothing()
    {
        Form1Harness h;
        tarn::Form1 &f = h.create();
        addEntries(f, {"/m/a.mp3"});
        probe(f).Command8_Click(); // no answer queued: cancelled
        probe(f).Command9_Click();
        QCOMPARE(h.dialogs.calls.size(), 2);
        QVERIFY(h.messages.shown.isEmpty());
        QCOMPARE(probe(f).List1->count(), 1);
        QCOMPARE(tarn::Form1Probe::selectedIndex(probe(f).List2), -1);
        QCOMPARE(QDir(h.appFolder.path()).entryList(QDir::Files), QStringList());
    }

    // Guards: "Saved your playlist" shown for a file that was never written.
    void saveToUncreatableFileSaysWhy()
    {
        Form1Harness h;
        tarn::Form1 &f = h.create();
        addEntries(f, {"/m/a.mp3"});
        const QString notADir = h.appFolder.filePath("plain");
        QVERIFY(writeFile(notADir, "x"));
        const QString file = notADir + "/list.TPL";
        h.dialogs.answers = {{file}};
        probe(f).Command8_Click();
        QCOMPARE(h.messages.shown.size(), 3);
        const QString last = h.messages.shown.last().text;
        QVERIFY2(last.startsWith("Could not save the playlist to " + file + ":\n"),
                 qPrintable(last));
        QVERIFY(last.size() > ("Could not save the playlist to " + file + ":\n").size());
        QCOMPARE(h.messages.shown.last().icon, MessageIcon::Exclamation);
        QCOMPARE(tarn::Form1Probe::selectedIndex(probe(f).List2), -1);
    }

    // Guards: a save that fails half-way destroying the earlier file of that name.
    void failedSaveKeepsEarlierFile()
    {
        Form1Harness h;
        tarn::Form1 &f = h.create();
        QStringList many;
        for (int i = 0; i < 200; ++i)
            many << QStringLiteral("/m/%1.mp3").arg(i);
        addEntries(f, many);
        const QString file = h.appFolder.filePath("keep.TPL");
        const QByteArray earlier(" 0 \r\nend\r\n");
        QVERIFY(writeFile(file, earlier));

        // Files may grow to 1 KiB only, so the write fails (EFBIG) as on a full disk.
        rlimit old{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        h.dialogs.answers = {{file}};
        probe(f).Command8_Click();
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);

        QCOMPARE(fileBytes(file), earlier);
        const QString said = h.messages.texts().last();
        QVERIFY2(said.startsWith("Could not save the playlist to " + file + ":\n") &&
                     !said.endsWith("Unknown error"),
                 qPrintable(said));
        QCOMPARE(QDir(h.appFolder.path()).entryList(QDir::Files), QStringList{"keep.TPL"});
    }

    // Guards: an entry with a line break saved as extra, wrong entries.
    void saveRefusesEntryWithLineBreak()
    {
        Form1Harness h;
        tarn::Form1 &f = h.create();
        addEntries(f, {"/m/a.mp3", "/m/two\nlines.mp3"});
        const QString file = h.appFolder.filePath("bad.TPL");
        h.dialogs.answers = {{file}};
        probe(f).Command8_Click();
        QVERIFY(!QFile::exists(file));
        QVERIFY(h.messages.texts().last().startsWith("The playlist was not saved: entry 2"));
    }

    void loadUnreadableFileSaysWhy_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        row("missing", "missing.TPL", "No such file or directory");
        row("pipe", "fifo.TPL", "it is not a regular file");
        row("folder", "folder.TPL", "");
    }
    // Guards: a crash, a frozen window on a pipe, or a silent failure to open.
    void loadUnreadableFileSaysWhy()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        Form1Harness h;
        tarn::Form1 &f = h.create();
        const QString file = h.appFolder.filePath(name);
        if (name.startsWith("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        if (name.startsWith("folder"))
            QVERIFY(QDir().mkdir(file));
        load(h, file);
        QCOMPARE(probe(f).List1->count(), 0);
        QCOMPARE(h.messages.shown.size(), 1);
        const QString text = h.messages.shown[0].text;
        QVERIFY2(text.startsWith("Could not open " + file + ":\n"), qPrintable(text));
        QVERIFY2(text.endsWith(reason) && text.size() > ("Could not open " + file + ":\n").size(),
                 qPrintable(text));
    }
};

QTEST_MAIN(PlaylistCommandsTest)
#include "test_playlist_commands.moc"
