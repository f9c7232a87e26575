// Start-up restores volume, repeat and view; Exit (button, menu, close box)
// writes rep.ini, saves them and ends the program exactly once.
#include "fakes/data_rows.h"
#include "fakes/form1_harness.h"
#include "fakes/form1_probe.h"
#include "persist/app_folder.h"
#include "persist/qt_settings_store.h"
#include "persist/record_file.h"
#include "persist/support/file_size_limit.h"
#include "widgets/first_paint.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <memory>

using namespace tarn;
using namespace tarn::test;

namespace {

QString key(const char *name)
{
    return FakeSettings::path(QStringLiteral("Tarn Player"), QStringLiteral("Settings"),
                              QString::fromLatin1(name));
}

QByteArray fileBytes(const QString &folder, const char *name)
{
    QFile f(appFile(folder, QString::fromLatin1(name)));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The view as the user sees it: flag, caption and menu states agree.
void checkView(Form1 &f, bool full)
{
    QCOMPARE(probe(f).playlistShown(), full ? 1 : 0);
    QCOMPARE(probe(f).Show_play->text(),
             full ? QStringLiteral("Hide Playlist") : QStringLiteral("Show Playlist"));
    QCOMPARE(probe(f).Lst_Show->isEnabled(), !full);
    QCOMPARE(probe(f).Lst_Hide->isEnabled(), full);
}

} // namespace

class StartupExitTest : public QObject {
    Q_OBJECT
    QTemporaryDir configHome_;

private slots:
    void initTestCase()
    {
        // Nothing here may reach the user's real settings.
        QVERIFY(configHome_.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configHome_.path());
    }

    // Guards: a first run that starts silent, without repeat, or in the full view.
    void firstRunDefaults()
    {
        Form1Harness h;
        Form1 &f = h.create();
        QCOMPARE(probe(f).HScroll1->value(), 2500);
        QCOMPARE(probe(f).lbl_vol->text(), QStringLiteral("Volume 100 %"));
        QCOMPARE(h.engine.volume, 0);
        QVERIFY(probe(f).Check1->isChecked());
        checkView(f, false);
        QCOMPARE(probe(f).txtTime->text(), QStringLiteral(" "));
        QCOMPARE(probe(f).Label3->text(), QStringLiteral(" "));
        QVERIFY(!probe(f).Timer1->isActive());
        QCOMPARE(probe(f).Text1->text(), QStringLiteral("No Track"));
        QVERIFY(h.engine.fileName.isEmpty()); // nothing restores a playlist
    }

    // Guards: stored texts converted loosely (clamped volume, any non-zero as
    // repeat on), a bad value that stops the later steps, and an engine that
    // misses the volume when the bar did not move.
    void restoresStoredValues_data()
    {
        QTest::addColumn<QString>("vol");
        QTest::addColumn<QString>("rep");
        QTest::addColumn<QString>("size");
        QTest::addColumn<int>("bar");
        QTest::addColumn<bool>("repeat");
        QTest::addColumn<bool>("full");
        row("saved 1000/0/1", "1000", "0", "1", 1000, false, true);
        row("Vol 0 still reaches engine", "0", "1", "0", 0, true, false);
        row("Vol 3000 leaves bar at 0", "3000", "1", "1", 0, true, true);
        row("Vol -1 leaves bar at 0", "-1", "1", "0", 0, true, false);
        row("Vol 40000 leaves bar at 0", "40000", "1", "0", 0, true, false);
        row("Vol letters leave bar at 0", "loud", "1", "1", 0, true, true);
        row("REP 2 is off", "24", "2", "0", 24, false, false);
        row("REP letters are off", "2500", "yes", "0", 2500, false, false);
        row("SIZE 2 is full", "2500", "1", "2", 2500, true, true);
        row("SIZE letters are compact", "2500", "1", "big", 2500, true, false);
        row("SIZE 40000 is compact", "2500", "1", "40000", 2500, true, false);
        row("everything unreadable", "", "", "", 0, false, false);
    }
    void restoresStoredValues()
    {
        QFETCH(QString, vol);
        QFETCH(QString, rep);
        QFETCH(QString, size);
        QFETCH(int, bar);
        QFETCH(bool, repeat);
        QFETCH(bool, full);
        Form1Harness h;
        h.settings.values = {{key("Vol"), vol}, {key("REP"), rep}, {key("SIZE"), size}};
        Form1 &f = h.create();
        QCOMPARE(probe(f).HScroll1->value(), bar);
        QCOMPARE(h.engine.volume, bar - 2500);
        QCOMPARE(probe(f).lbl_vol->text(), QStringLiteral("Volume %1 %").arg(bar / 25));
        QCOMPARE(probe(f).Check1->isChecked(), repeat);
        checkView(f, full);
        QCOMPARE(probe(f).txtTime->text(), QStringLiteral(" "));
    }

    // Guards: Exit reached one way but not another, rep.ini left unwritten or
    // unflushed, wrong saved texts, or the program ended twice (close box
    // arriving while Exit ends the program, a second Exit).
    void everyExitSavesAndEndsOnce_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("repeat");
        row("Exit button, repeat on", "button", true);
        row("Exit button, repeat off", "button", false);
        row("File menu Exit", "menu", false);
        row("close box, repeat on", "close", true);
        row("close box, repeat off", "close", false);
    }
    void everyExitSavesAndEndsOnce()
    {
        QFETCH(QString, how);
        QFETCH(bool, repeat);
        Form1Harness h;
        Form1 &f = h.create();
        f.show();
        probe(f).HScroll1->setValue(1234);
        probe(f).Check1->setChecked(repeat);
        probe(f).Show_play_Click();

        if (how == QLatin1String("button"))
            probe(f).control<QPushButton>("Command7")->click();
        else if (how == QLatin1String("menu"))
            probe(f).control<QAction>("Mnu_Exit")->trigger();
        else
            QVERIFY(f.close());

        QCOMPARE(fileBytes(h.appFolder.path(), "rep.ini"),
                 QByteArray::fromHex(repeat ? "310d0a" : "320d0a"));
        QCOMPARE(h.settings.values.value(key("Vol")), QStringLiteral("1234"));
        QCOMPARE(h.settings.values.value(key("REP")),
                 repeat ? QStringLiteral("1") : QStringLiteral("0"));
        QCOMPARE(h.settings.values.value(key("SIZE")), QStringLiteral("1"));
        QCOMPARE(h.endProgramCalls, 1);

        f.close();
        probe(f).Command7_Click();
        QCOMPARE(h.endProgramCalls, 1);
    }

    // Guards: ending the program closing the window again and re-entering Exit.
    void endingThatClosesTheWindowDoesNotRecurse()
    {
        Form1Harness h;
        int ends = 0;
        std::unique_ptr<Form1> form;
        form = std::make_unique<Form1>(
            Form1Services{h.engine, h.dialogs, h.messages, h.settings, h.appFolder.path(), [&] {
                              ++ends;
                              form->close();
                          }});
        form->show();
        form->close();
        QCOMPARE(ends, 1);
        QVERIFY(!form->isVisible());
    }

    // Guards: a folder that cannot be written (or a full disk) that stops Exit
    // before the settings are saved, ends nothing, or damages rep.ini; and a
    // failing settings store that keeps the program from ending.
    void exitSurvivesFailedWrites_data()
    {
        QTest::addColumn<QString>("failure");
        row("application folder missing", "folder");
        row("disk full", "disk");
        row("settings store fails", "store");
    }
    void exitSurvivesFailedWrites()
    {
        QFETCH(QString, failure);
        Form1Harness h;
        const QByteArray before = textLine("1");
        QVERIFY(writeTextLine(h.appFolder.path(), QStringLiteral("rep.ini"), "1"));
        const QString folder = failure == QLatin1String("folder")
                                   ? appFile(h.appFolder.path(), QStringLiteral("gone"))
                                   : h.appFolder.path();
        h.settings.failWrites = failure == QLatin1String("store");
        int ends = 0;
        Form1 f(
            Form1Services{h.engine, h.dialogs, h.messages, h.settings, folder, [&] { ++ends; }});
        probe(f).Check1->setChecked(false);
        probe(f).HScroll1->setValue(600);
        {
            std::optional<FileSizeLimit> full;
            if (failure == QLatin1String("disk"))
                full.emplace(0);
            probe(f).Command7_Click();
        }
        QCOMPARE(ends, 1);
        if (failure == QLatin1String("store")) {
            QCOMPARE(fileBytes(folder, "rep.ini"), textLine("2"));
            QVERIFY(h.settings.values.isEmpty());
        } else {
            QCOMPARE(fileBytes(h.appFolder.path(), "rep.ini"), before);
            QCOMPARE(h.settings.values.value(key("Vol")), QStringLiteral("600"));
            QCOMPARE(h.settings.values.value(key("REP")), QStringLiteral("0"));
            QCOMPARE(h.settings.values.value(key("SIZE")), QStringLiteral("0"));
        }
    }

    // Guards: values that do not come back through the real store in the next
    // run (texts the reader cannot convert, wrong keys).
    void nextRunRestoresThroughRealStore()
    {
        QtSettingsStore store;
        Form1Harness h;
        int ends = 0;
        auto services = [&] {
            return Form1Services{h.engine, h.dialogs,          h.messages,
                                 store,    h.appFolder.path(), [&] { ++ends; }};
        };
        {
            Form1 first(services());
            probe(first).HScroll1->setValue(875);
            probe(first).Check1->setChecked(false);
            probe(first).Lst_Show->trigger();
            probe(first).Command7_Click();
        }
        Form1 next(services());
        QCOMPARE(probe(next).HScroll1->value(), 875);
        QCOMPARE(probe(next).lbl_vol->text(), QStringLiteral("Volume 35 %"));
        QVERIFY(!probe(next).Check1->isChecked());
        checkView(next, true);
        QCOMPARE(ends, 1);
    }

    // Guards: the engine calling into a window that is gone (an end of track
    // or an open finishing after it closed), and a new window not hearing it.
    void windowsComeAndGoOnOneEngine()
    {
        Form1Harness h;
        h.engine.lengthOnOpen = 60;
        Form1 &first = h.create();
        probe(first).List1->addItem(QStringLiteral("/m/a.mp3"));
        probe(first).List2->addItem(QStringLiteral("a.mp3"));
        Form1Probe::setSelectedIndex(probe(first).List2, 0);
        probe(first).List2_DblClick(); // its open is still under way
        QVERIFY(h.engine.endOfStream && h.engine.opened);
        h.form.reset();
        QVERIFY(!h.engine.endOfStream);
        QVERIFY(!h.engine.opened);
        h.engine.settle();
        h.engine.finishTrack();

        Form1 &second = h.create();
        probe(second).List1->addItem(QStringLiteral("/m/b.mp3"));
        probe(second).List2->addItem(QStringLiteral("b.mp3"));
        h.engine.finishTrack(); // nothing selected: the advance starts at entry 0
        h.engine.settle();
        QCOMPARE(h.engine.fileName, QStringLiteral("/m/b.mp3"));
        QCOMPARE(second.windowTitle(), QStringLiteral("/m/b.mp3"));
    }

    // Guards: vol.ini written in the wrong shape or not replaced on a second press.
    // What waits for the window's first paint runs once: after that paint,
    // or after the time limit for a window that is never shown, and never
    // once the window is gone.
    void workAfterFirstPaintRunsOnce_data()
    {
        QTest::addColumn<bool>("shown");
        QTest::addColumn<bool>("destroyed");
        QTest::addColumn<int>("runs");
        row("shown and painted", true, false, 1);
        row("never shown: the time limit", false, false, 1);
        row("destroyed first", false, true, 0);
    }
    void workAfterFirstPaintRunsOnce()
    {
        QFETCH(bool, shown);
        QFETCH(bool, destroyed);
        QFETCH(int, runs);
        auto window = std::make_unique<QWidget>();
        int ran = 0;
        bool paintedFirst = false;
        // A limit the shown window's paint comes well before.
        afterFirstPaint(
            *window,
            [&] {
                ++ran;
                paintedFirst = window && window->isVisible();
            },
            shown ? std::chrono::milliseconds(60000) : std::chrono::milliseconds(100));
        if (shown) {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
            QTRY_COMPARE(ran, 1);
            QVERIFY(paintedFirst);
            window->repaint(); // a later paint runs nothing again
        }
        if (destroyed)
            window.reset();
        QTest::qWait(300);
        QCOMPARE(ran, runs);
    }

    void command10WritesVolumeFile()
    {
        Form1Harness h;
        Form1 &f = h.create();
        probe(f).control<QPushButton>("Command10")->click();
        QCOMPARE(fileBytes(h.appFolder.path(), "vol.ini"), QByteArray::fromHex("2032353030200d0a"));
        probe(f).HScroll1->setValue(0);
        probe(f).Command10_Click();
        QCOMPARE(fileBytes(h.appFolder.path(), "vol.ini"), QByteArray::fromHex("2030200d0a"));
        QCOMPARE(h.endProgramCalls, 0);
    }
};

QTEST_MAIN(StartupExitTest)
#include "test_startup_exit.moc"
