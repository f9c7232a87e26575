// Record shapes, the first-number rule, atomic state-file writes and the
// choice of the application folder.
#include "fakes/data_rows.h"
#include "fakes/file_kinds.h"
#include "persist/app_folder.h"
#include "persist/record_file.h"
#include "persist/support/file_size_limit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

using namespace tarn;
using namespace tarn::test;

Q_DECLARE_METATYPE(std::optional<std::int16_t>)

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeRaw(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

const std::optional<std::int16_t> kFails = std::nullopt;
std::optional<std::int16_t> n(int v)
{
    return static_cast<std::int16_t>(v);
}

} // namespace

class RecordFileTest : public QObject {
    Q_OBJECT
private slots:
    // Guards: a wrong sign position, missing trailing blank or LF-only line end.
    void numberLineBytes_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QByteArray>("bytes");
        row("60", 60, QByteArray::fromHex("203630200d0a"));
        row("0", 0, QByteArray::fromHex("2030200d0a"));
        row("-5", -5, QByteArray::fromHex("2d35200d0a"));
        row("2500", 2500, QByteArray::fromHex("2032353030200d0a"));
        row("32767", 32767, QByteArray::fromHex("203332373637200d0a"));
        row("-32768", -32768, QByteArray::fromHex("2d3332373638200d0a"));
    }
    void numberLineBytes()
    {
        QFETCH(int, value);
        QFETCH(QByteArray, bytes);
        QCOMPARE(numberLine(static_cast<std::int16_t>(value)), bytes);
    }

    // Guards: a text line that gains a sign blank or loses its CR.
    void textLineBytes()
    {
        QCOMPARE(textLine("1"), QByteArray::fromHex("310d0a"));
        QCOMPARE(textLine("2"), QByteArray::fromHex("320d0a"));
        QCOMPARE(textLine(""), QByteArray::fromHex("0d0a"));
    }

    // Guards: a reader that misreads the item's end, treats junk as a failure,
    // takes white space other than blanks for part of a number, or accepts a
    // number that does not fit 16 bits (also one beyond a double's range).
    void firstNumberRule_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<std::optional<std::int16_t>>("expected");
        row("37 35, no line end", QByteArray::fromHex("3735"), n(75));
        row("number line 60", QByteArray::fromHex("203630200d0a"), n(60));
        row("number line -5", QByteArray("-5 \r\n"), n(-5));
        row("text line 1", QByteArray::fromHex("310d0a"), n(1));
        row("31 2C 30: comma ends item", QByteArray::fromHex("312c30"), n(1));
        row("tab before, LF only", QByteArray("\t7\n"), n(7));
        row("second item ignored", QByteArray(" 12 99\r\n"), n(12));
        row("letters", QByteArray("abc\r\n"), n(0));
        row("digits then letters", QByteArray("12abc"), n(0));
        row("nan is not a number", QByteArray("nan"), n(0));
        row("inf is not a number", QByteArray("inf"), n(0));
        row("empty item before comma", QByteArray(",5"), n(0));
        row("fraction rounds half to even", QByteArray("2.5"), n(2));
        row("fraction rounds up", QByteArray("3.5"), n(4));
        row("lowest", QByteArray("-32768"), n(-32768));
        row("empty file", QByteArray(), kFails);
        row("blanks only", QByteArray(" \r\n"), kFails);
        row("first line empty", QByteArray("\r\n5"), kFails);
        row("40000 out of range", QByteArray(" 40000 \r\n"), kFails);
        row("-32769 out of range", QByteArray("-32769"), kFails);
        row("32767.5 rounds out of range", QByteArray("32767.5"), kFails);
        row("1e400: beyond a double, out of range", QByteArray("1e400"), kFails);
        row("-1e400 likewise", QByteArray("-1e400\r\n"), kFails);
        row("1e-400: nearly 0", QByteArray("1e-400"), n(0));
        row("vertical tab is no blank", QByteArray("\v1\r\n"), n(0));
        row("form feed after the digit", QByteArray("1\f,0"), n(0));
    }
    void firstNumberRule()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(std::optional<std::int16_t>, expected);
        QCOMPARE(firstNumber(bytes), expected);
    }

    // Guards: a settings value converted loosely (clamped, truncated, or a
    // non-ASCII digit taken for a number).
    void settingConversion_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<std::int16_t>>("expected");
        row("2500", "2500", n(2500));
        row("blanks around", " 60 ", n(60));
        row("3000 converts; range is the caller's", "3000", n(3000));
        row("negative", "-1", n(-1));
        row("fraction", "1.5", n(2));
        row("letters", "abc", kFails);
        row("empty", "", kFails);
        row("40000", "40000", kFails);
        row("hex", "0x10", kFails);
        row("arabic-indic digits", QString::fromUtf8("\u0661\u0662"), kFails);
    }
    void settingConversion()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<std::int16_t>, expected);
        QCOMPARE(toInt16(text), expected);
    }

    // Guards: a written line that does not read back as the value written.
    void writeThenRead_data()
    {
        QTest::addColumn<int>("value");
        for (int v : {60, 0, -5, 2500, 32767, -32768})
            row(qPrintable(QString::number(v)), v);
    }
    void writeThenRead()
    {
        QFETCH(int, value);
        QTemporaryDir dir;
        QVERIFY(writeNumberLine(dir.path(), QStringLiteral("vol.ini"),
                                static_cast<std::int16_t>(value)));
        QCOMPARE(readAll(appFile(dir.path(), QStringLiteral("vol.ini"))),
                 numberLine(static_cast<std::int16_t>(value)));
        QCOMPARE(readFirstNumber(dir.path(), QStringLiteral("vol.ini")), n(value));
    }

    // Guards: a write that appends to or leaves the tail of an older, longer line.
    void writeReplacesLongerContent()
    {
        QTemporaryDir dir;
        const QString path = appFile(dir.path(), QStringLiteral("rep.ini"));
        writeRaw(path, QByteArray(" 32767 \r\n 5 \r\n"));
        QVERIFY(writeTextLine(dir.path(), QStringLiteral("rep.ini"), "1"));
        QCOMPARE(readAll(path), QByteArray::fromHex("310d0a"));
        QCOMPARE(readFirstNumber(dir.path(), QStringLiteral("rep.ini")), n(1));
    }

    // Guards, for each kind of thing at a state file's name and each of the
    // three state files: a reader that crashes or invents a value for a file
    // it cannot read, waits for ever on a pipe, takes a number from a file far
    // larger than one line or from a file a symbolic link points to; a writer
    // that writes through a link (overwriting any file the user can write),
    // creates a link's missing target, replaces a link, a folder, a pipe or a
    // large file that is not one of the player's, reports such a refusal as
    // success, or leaves its temporary file behind.
    void whatSitsAtTheName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("before"); // in the notation of fakes/file_kinds.h
        QTest::addColumn<std::optional<std::int16_t>>("read");
        QTest::addColumn<bool>("replaced");
        const struct {
            const char *what;
            QByteArray before;
            std::optional<std::int16_t> read;
            bool replaced;
        } kinds[] = {
            {"nothing", kMissingEntry, kFails, true},
            {"empty file", "", kFails, true},
            {"number line", " 7 \r\n", n(7), true},
            {"4 KiB file", " 60 \r\n" + QByteArray(4090, ' '), n(60), true},
            {"file over 4 KiB", " 60 \r\n" + QByteArray(4091, ' '), kFails, false},
            {"folder", kDirEntry, kFails, false},
            {"pipe", kFifoEntry, kFails, false},
            {"link to a text file", kLinkEntry + " 5 \r\nnotes\r\n", kFails, false},
            {"link to a 100 KB binary", kLinkEntry + binaryBytes(" 1 \r\n", 100 * 1024), kFails,
             false},
            {"link to a missing file", kDanglingEntry, kFails, false},
        };
        for (const QString name : {"vol.ini", "rep.ini", "Trans.ini"})
            for (const auto &kind : kinds)
                QTest::addRow("%s: %s", qPrintable(name), kind.what)
                    << name << kind.before << kind.read << kind.replaced;
    }
    void whatSitsAtTheName()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, before);
        QFETCH(std::optional<std::int16_t>, read);
        QFETCH(bool, replaced);
        QTemporaryDir dir;
        putAt(dir.path(), name, before);
        QCOMPARE(readFirstNumber(dir.path(), name), read);

        // What the player writes to each: the volume, Repeat, the opacity.
        QString reason;
        bool written = false;
        QByteArray line;
        if (name == "rep.ini") {
            written = writeTextLine(dir.path(), name, "2", &reason);
            line = textLine("2");
        } else {
            const std::int16_t value = name == "vol.ini" ? 2500 : 75;
            written = writeNumberLine(dir.path(), name, value, &reason);
            line = numberLine(value);
        }
        QCOMPARE(written, replaced);
        QCOMPARE(reason.isEmpty(), replaced);
        QCOMPARE(whatIsAt(dir.path(), name), replaced ? line : before);
        QStringList left =
            QDir(dir.path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        left.removeOne(QStringLiteral("targets"));
        QCOMPARE(left, QStringList{name}); // no temporary file left
    }

    // Guards: a write cut short by a full disk that leaves a half-written file,
    // reports success, or hides the system's reason.
    void failedWriteKeepsPreviousContent()
    {
        QTemporaryDir dir;
        const QString path = appFile(dir.path(), QStringLiteral("Trans.ini"));
        const QByteArray before = numberLine(60);
        writeRaw(path, before);
        QString reason;
        {
            FileSizeLimit full(2);
            QVERIFY(!writeNumberLine(dir.path(), QStringLiteral("Trans.ini"), 100, &reason));
        }
        QCOMPARE(reason, QString::fromLocal8Bit(std::strerror(EFBIG)));
        QCOMPARE(readAll(path), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("Trans.ini")}); // no temporary file left
    }

    // Guards: a write into a folder that is not there reported as success.
    void writeIntoMissingFolderFails()
    {
        QTemporaryDir dir;
        const QString missing = appFile(dir.path(), QStringLiteral("gone"));
        QString reason;
        QVERIFY(!writeTextLine(missing, QStringLiteral("rep.ini"), "2", &reason));
        QVERIFY(!reason.isEmpty());
        QVERIFY(!QFile::exists(appFile(missing, QStringLiteral("rep.ini"))));
    }

    // Guards: state files sent to a folder where nothing can be created.
    void appFolderFallsBackToDataFolder_data()
    {
        QTest::addColumn<bool>("usable");
        QTest::addColumn<QString>("candidate"); // relative to a temporary folder
        row("writable executable folder", true, "bin");
        row("missing folder", false, "nothing/here");
        row("a file, not a folder", false, "file");
    }
    void appFolderFallsBackToDataFolder()
    {
        QFETCH(bool, usable);
        QFETCH(QString, candidate);
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkdir(QStringLiteral("bin")));
        writeRaw(appFile(root.path(), QStringLiteral("file")), "x");
        const QString dataHome = appFile(root.path(), QStringLiteral("data"));
        const QByteArray savedDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome));

        const QString preferred = appFile(root.path(), candidate);
        const QString chosen = resolveAppFolder(preferred);
        qputenv("XDG_DATA_HOME", savedDataHome);

        if (usable) {
            QCOMPARE(chosen, preferred);
            QCOMPARE(QDir(preferred).entryList(QDir::Files | QDir::Hidden), QStringList());
        } else {
            QVERIFY2(chosen.startsWith(dataHome + QLatin1Char('/')), qPrintable(chosen));
            QVERIFY(QFileInfo(chosen).isDir());
            QVERIFY(writeNumberLine(chosen, QStringLiteral("vol.ini"), 1));
        }
    }
};

QTEST_GUILESS_MAIN(RecordFileTest)
#include "test_record_file.moc"
