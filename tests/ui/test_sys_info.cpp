// Reading the registry values that name the system information tool, and
// starting it or saying it is unavailable.
#include "fakes/data_rows.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_shell.h"
#include "shell/sys_info.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tarn;
using namespace tarn::test;

namespace {

const QString kToolKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString kFolderKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
const QString kUnavailable = QStringLiteral("System Information Is Unavailable At This Time");

} // namespace

class SysInfoTest : public QObject {
    Q_OBJECT

private slots:
    // Guards: keys opened with more than read access (refused to ordinary
    // users), a key left open, a stray NUL kept or a real last character
    // dropped, zero bytes taken as a value, a 32-bit number joined from
    // hexadecimal digits (0x0A01 as 161) or read as signed.
    void getKeyValue_data()
    {
        QTest::addColumn<QString>("query"); // key/value asked for
        QTest::addColumn<uint>("type");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("read");
        QTest::addColumn<QString>("keyVal");
        const uint text = Registry::kString;
        const uint number = Registry::kNumber32;
        row("string with its NUL", "K/V", text, QByteArray("C:\\a b\\x.exe", 13), true,
            "C:\\a b\\x.exe");
        row("string without NUL", "K/V", text, QByteArray("abc"), true, "abc");
        row("only one of two NULs goes", "K/V", text, QByteArray("ab\0\0", 4), true,
            QString::fromLatin1("ab\0", 3));
        row("empty string", "K/V", text, QByteArray("", 1), true, "");
        row("zero bytes", "K/V", text, QByteArray(), false, "");
        row("number 0x0A01", "K/V", number, QByteArray("\x01\x0a\x00\x00", 4), true, "2561");
        row("number with every bit set", "K/V", number, QByteArray("\xff\xff\xff\xff", 4), true,
            "4294967295");
        row("number of two bytes", "K/V", number, QByteArray("\x01\x0a", 2), false, "");
        row("other type leaves KeyVal", "K/V", 3u, QByteArray("\x01", 1), true, "before");
        row("longer than the buffer", "K/V", text, QByteArray(1025, 'a'), false, "");
        row("missing key", "X/V", text, QByteArray("abc"), false, "");
        row("missing value", "K/X", text, QByteArray("abc"), false, "");
    }
    void getKeyValue()
    {
        QFETCH(QString, query);
        QFETCH(uint, type);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, read);
        QFETCH(QString, keyVal);
        FakeRegistry registry;
        registry.keys[QStringLiteral("K")][QStringLiteral("V")] = {type, bytes};
        QString value = QStringLiteral("before");
        QCOMPARE(GetKeyValue(registry, Registry::kLocalMachine, query.section('/', 0, 0),
                             query.section('/', 1), value),
                 read);
        QCOMPARE(value, keyVal);
        QCOMPARE(registry.openKeys, 0);
        QCOMPARE(registry.badCloses, 0);
    }

    // Guards: the existence test run on the first value, a tool started from
    // a folder without MSINFO32.EXE, an empty path handed to the system, a
    // failed start that stays silent, a second look-up skipped.
    void startSysInfo_data()
    {
        QTest::addColumn<QVariant>("path");   // bytes of "PATH"; invalid: absent
        QTest::addColumn<bool>("folder");     // "MSINFO" names a folder
        QTest::addColumn<bool>("exe");        // which holds MSINFO32.EXE
        QTest::addColumn<bool>("startsOk");   // the system starts what it is given
        QTest::addColumn<QString>("started"); // "<folder>" stands for the folder
        QTest::addColumn<bool>("message");
        const QVariant absent;
        const QVariant tool(QByteArray("/nowhere/msinfo", 16));
        const QString exe = QStringLiteral("<folder>/MSINFO32.EXE");
        row("PATH: started without the existence test", tool, false, false, true, "/nowhere/msinfo",
            false);
        row("PATH wins over the folder", tool, true, true, true, "/nowhere/msinfo", false);
        row("folder with MSINFO32.EXE", absent, true, true, true, exe, false);
        row("folder without MSINFO32.EXE", absent, true, false, true, "", true);
        row("nothing in the registry", absent, false, false, true, "", true);
        row("empty PATH starts nothing", QVariant(QByteArray("", 1)), true, true, true, "", true);
        row("zero-byte PATH: the folder is asked", QVariant(QByteArray()), true, true, true, exe,
            false);
        row("the tool fails to start", tool, false, false, false, "/nowhere/msinfo", true);
    }
    void startSysInfo()
    {
        QFETCH(QVariant, path);
        QFETCH(bool, folder);
        QFETCH(bool, exe);
        QFETCH(bool, startsOk);
        QFETCH(QString, started);
        QFETCH(bool, message);
        QTemporaryDir dir;
        FakeRegistry registry;
        if (path.isValid())
            registry.keys[kToolKey][QStringLiteral("PATH")] = {Registry::kString,
                                                               path.toByteArray()};
        if (folder)
            registry.keys[kFolderKey][QStringLiteral("MSINFO")] = {
                Registry::kString, dir.path().toLocal8Bit() + QByteArray(1, '\0')};
        if (exe) {
            QFile file(dir.filePath(QStringLiteral("MSINFO32.EXE")));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        FakeProgramStarter programs;
        programs.succeeds = startsOk;
        FakeMessages messages;

        StartSysInfo(registry, programs, messages);

        started.replace(QStringLiteral("<folder>"), dir.path());
        QCOMPARE(programs.started, started.isEmpty() ? QStringList() : QStringList{started});
        QCOMPARE(messages.texts(), message ? QStringList{kUnavailable} : QStringList());
        if (message) {
            QCOMPARE(messages.shown[0].title, kProgramTitle);
            QCOMPARE(messages.shown[0].icon, MessageIcon::None);
        }
        QCOMPARE(registry.openKeys, 0);
    }
};

QTEST_MAIN(SysInfoTest)
#include "test_sys_info.moc"
