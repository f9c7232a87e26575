// The per-user settings store on QSettings, pointed at a temporary folder so
// the user's real settings are never touched.
#include "persist/qt_settings_store.h"
#include "persist/record_file.h"
#include "persist/support/file_size_limit.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace tarn;
using tarn::test::FileSizeLimit;

namespace {

const QString kApp = QStringLiteral("Tarn Player");
const QString kSection = QStringLiteral("Settings");

} // namespace

class SettingsStoreTest : public QObject {
    Q_OBJECT
    QTemporaryDir configHome_;

    QString storeFile() const
    {
        return configHome_.filePath(QStringLiteral("Tarn Player/Tarn Player.conf"));
    }
    QByteArray storeBytes() const
    {
        QFile f(storeFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(configHome_.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configHome_.path());
    }
    void init() { QFile::remove(storeFile()); }

    // Guards: a missing key read as empty text instead of the caller's default.
    void absentKeyGivesDefaultAsText()
    {
        QtSettingsStore store;
        QCOMPARE(store.getSetting(kApp, kSection, QStringLiteral("Vol"), 2500),
                 QStringLiteral("2500"));
        QCOMPARE(store.getSetting(kApp, kSection, QStringLiteral("SIZE"), 0), QStringLiteral("0"));
    }

    // Guards: values that do not survive to the next run, or land under other
    // names than application "Tarn Player", group "Settings", keys as given.
    void savedValuesSurviveAndAreStoredAsText()
    {
        {
            QtSettingsStore first;
            QVERIFY(
                first.saveSetting(kApp, kSection, QStringLiteral("Vol"), QStringLiteral("1000")));
            QVERIFY(first.saveSetting(kApp, kSection, QStringLiteral("REP"), QStringLiteral("0")));
            QVERIFY(first.saveSetting(kApp, kSection, QStringLiteral("SIZE"), QStringLiteral("1")));
        }
        QtSettingsStore next;
        QCOMPARE(next.getSetting(kApp, kSection, QStringLiteral("Vol"), 2500),
                 QStringLiteral("1000"));
        QCOMPARE(next.getSetting(kApp, kSection, QStringLiteral("REP"), 1), QStringLiteral("0"));
        QCOMPARE(next.getSetting(kApp, kSection, QStringLiteral("SIZE"), 0), QStringLiteral("1"));
        const QByteArray bytes = storeBytes();
        QVERIFY2(bytes.startsWith("[Settings]\n"), bytes.constData());
        QVERIFY(bytes.contains("\nVol=1000\n"));
        QVERIFY(bytes.contains("\nREP=0\n"));
        QVERIFY(bytes.contains("\nSIZE=1\n"));
    }

    // Guards: a hand-edited value that QSettings parses as a list silently
    // replaced by the default instead of being unreadable like other junk.
    void listValueIsNotTheDefault()
    {
        QVERIFY(QDir().mkpath(configHome_.filePath(QStringLiteral("Tarn Player"))));
        QFile f(storeFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Settings]\nVol=1, 2\n");
        f.close();
        QtSettingsStore store;
        QCOMPARE(toInt16(store.getSetting(kApp, kSection, QStringLiteral("Vol"), 2500)),
                 std::nullopt);
    }

    // Guards: a save that fails (full disk) reported as success or leaving a
    // damaged file that loses the values saved before.
    void failedSaveKeepsStoredValues()
    {
        QtSettingsStore store;
        QVERIFY(store.saveSetting(kApp, kSection, QStringLiteral("Vol"), QStringLiteral("700")));
        const QByteArray before = storeBytes();
        bool saved = true;
        {
            FileSizeLimit full(0);
            saved = store.saveSetting(kApp, kSection, QStringLiteral("Vol"), QStringLiteral("5"));
        }
        QVERIFY(!saved);
        QCOMPARE(storeBytes(), before);
        QVERIFY(before.contains("\nVol=700\n")); // what the next run reads
    }
};

QTEST_GUILESS_MAIN(SettingsStoreTest)
#include "test_settings_store.moc"
