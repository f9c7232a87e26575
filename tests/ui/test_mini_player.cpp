// The mini player: opacity, its load, its buttons, and how it stands in for
// the main window (on fakes, and on a real main window with a fake engine).
#include "controls/flag_files.h"
#include "fakes/data_rows.h"
#include "fakes/fake_main_window.h"
#include "fakes/form1_harness.h"
#include "fakes/form1_probe.h"
#include "fakes/test_files.h"
#include "mini/form2.h"
#include "persist/app_folder.h"
#include "widgets/hot_spot.h"
#include "widgets/svg_picture.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

using namespace tarn;
using namespace tarn::test;

namespace {

const QString kRefused = QStringLiteral("Percentage value must be between 20 - 100.");

int alphaOf(const QWidget &w)
{
    return qRound(w.windowOpacity() * 255);
}

// A strip on the fake main window, with a temporary application folder.
struct StripHarness {
    FakeMainWindow main;
    FakeMessages messages;
    QTemporaryDir appFolder;
    Form2 strip{Form2Services{main, messages, appFolder.path()}};
};

// The mini player a main window opened, if it is loaded.
Form2 *loadedStrip()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *strip = qobject_cast<Form2 *>(w); strip && strip->isVisible())
            return strip;
    return nullptr;
}

// A main window on fakes with two entries, entry 0 playing, its volume bar at
// `volume`; the engine's call log starts empty.
Form1 &playingWindow(Form1Harness &h, int volume = 2500)
{
    h.settings.values[FakeSettings::path(kProgramTitle, "Settings", "Vol")] =
        QString::number(volume);
    Form1 &f = h.create();
    for (const char *name : {"a.mp3", "b.mp3"}) {
        probe(f).List1->addItem(QStringLiteral("/m/") + QLatin1String(name));
        probe(f).List2->addItem(QLatin1String(name));
    }
    f.show();
    Form1Probe::setSelectedIndex(probe(f).List2, 0);
    probe(f).List2_DblClick();
    h.engine.settle();
    h.engine.calls.clear();
    return f;
}

} // namespace

class MiniPlayerTest : public QObject {
    Q_OBJECT
private slots:
    // Guards: a wrong opacity for a percentage (truncated instead of rounded,
    // a half rounded away from even, transparency taken for opacity), and a
    // percentage outside 20..100 applied or refused without the message.
    void transparent_data()
    {
        QTest::addColumn<int>("percent");
        QTest::addColumn<int>("alpha"); // -1: refused
        const QList<QPair<int, int>> rows{{20, 51},   {21, 54},  {25, 64},  {30, 76},  {50, 128},
                                          {60, 153},  {70, 178}, {75, 191}, {90, 230}, {99, 252},
                                          {100, 255}, {0, -1},   {19, -1},  {101, -1}, {150, -1}};
        for (const auto &[percent, alpha] : rows)
            row(qPrintable(QString::number(percent)), percent, alpha);
    }
    void transparent()
    {
        QFETCH(int, percent);
        QFETCH(int, alpha);
        StripHarness h;
        QWidget window;
        window.setWindowOpacity(0.5);
        const qreal before = window.windowOpacity();
        h.strip.Transparent(&window, percent);
        if (alpha < 0) {
            QCOMPARE(h.messages.shown.size(), 1);
            QCOMPARE(h.messages.shown[0].text, kRefused);
            QCOMPARE(h.messages.shown[0].icon, MessageIcon::Critical);
            QCOMPARE(h.messages.shown[0].title, QStringLiteral("Tarn Player"));
            QCOMPARE(window.windowOpacity(), before);
        } else {
            QVERIFY(h.messages.shown.isEmpty());
            QCOMPARE(alphaOf(window), alpha);
        }
    }

    // Guards: key-coloured pixels drawn instead of cut out, or the cut taking
    // other pixels with them.
    void keyColourIsCutOut()
    {
        StripHarness h;
        QWidget window;
        window.resize(40, 10);
        QWidget hole(&window);
        hole.setGeometry(10, 2, 5, 5);
        hole.setAutoFillBackground(true);
        hole.setPalette(QPalette(QColor(255, 0, 255)));
        QWidget nearly(&window);
        nearly.setGeometry(20, 2, 5, 5);
        nearly.setAutoFillBackground(true);
        nearly.setPalette(QPalette(QColor(254, 0, 255)));
        h.strip.Transparent(&window, 60);
        const QRegion shape = window.mask();
        QVERIFY(!shape.intersects(QRect(10, 2, 5, 5)));
        const QRegion expected = QRegion(0, 0, 40, 10) - QRect(10, 2, 5, 5);
        QVERIFY((shape ^ expected).isEmpty()); // the near-magenta square stays
    }

    // Guards: an unreadable, missing or out-of-range Trans.ini stopping the
    // strip or showing the message for anything but a readable percentage
    // outside 20..100; a pipe in its place hanging the load.
    void loadReadsOpacity_data()
    {
        QTest::addColumn<QByteArray>("transIni"); // "<none>", "<fifo>" or the bytes
        QTest::addColumn<int>("alpha");
        QTest::addColumn<int>("messages");
        row("60", QByteArray(" 60 \r\n"), 153, 0);
        row("0", QByteArray(" 0 \r\n"), 255, 1);
        row("letters read as 0", QByteArray("abc\r\n"), 255, 1);
        row("missing", QByteArray("<none>"), 255, 0);
        row("40000 does not fit", QByteArray(" 40000 \r\n"), 255, 0);
        row("a pipe", QByteArray("<fifo>"), 255, 0);
    }
    void loadReadsOpacity()
    {
        QFETCH(QByteArray, transIni);
        QFETCH(int, alpha);
        QFETCH(int, messages);
        StripHarness h;
        const QString path = appFile(h.appFolder.path(), QStringLiteral("Trans.ini"));
        if (transIni == "<fifo>")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (transIni != "<none>")
            writeFile(path, transIni);
        h.strip.Form_Load();
        QCOMPARE(alphaOf(h.strip), alpha);
        QCOMPARE(h.messages.shown.size(), messages);
    }

    // Guards: a strip that can be resized or maximised, takes a task-bar
    // entry, is not kept on top, stays minimised out of reach, has a hot spot
    // off its symbol or unnamed, or shows a track text that does not follow
    // the main window's.
    void stripWindow()
    {
        StripHarness h;
        Form2 &s = h.strip;
        QCOMPARE(s.windowTitle(), QStringLiteral("Rude Re3"));
        QCOMPARE(s.size(), QSize(642, 17));
        QCOMPARE(s.minimumSize(), s.maximumSize());
        const Qt::WindowFlags flags = s.windowFlags();
        QVERIFY((flags & Qt::WindowType_Mask) == Qt::Tool);
        QVERIFY(flags & Qt::WindowStaysOnTopHint);
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        for (QLabel *picture : {s.Image2, s.Image1})
            QVERIFY(qobject_cast<SvgPicture *>(picture)->isLoaded());
        const QStringList words{"Back", "Play", "Pause", "Stop", "Next"};
        const QList<HotSpot *> spots{s.Back2, s.Play2, s.pause2, s.stop2, s.next2};
        for (int i = 0; i < spots.size(); ++i) {
            QCOMPARE(spots[i]->geometry(), QRect(24 * i, 0, 17, 17));
            QVERIFY(s.Image2->geometry().contains(spots[i]->geometry()));
            QCOMPARE(spots[i]->toolTip(), words[i]);
            QCOMPARE(spots[i]->accessibleName(), words[i]);
        }
        QCOMPARE(s.HScroll1->maximum(), 2500);
        QCOMPARE(s.Label2->text(), QStringLiteral("Label2"));
        QVERIFY(s.Timer2->isActive());
        QCOMPARE(s.Timer2->interval(), 100);
        h.main.trackText = QStringLiteral("<b>song</b>.mp3 - 03:00");
        s.Timer2_Timer();
        QCOMPARE(s.Label2->text(), h.main.trackText);
        QCOMPARE(s.Label2->textFormat(), Qt::PlainText);
        s.show();
        QVERIFY(QTest::qWaitForWindowExposed(&s));
        s.setWindowState(Qt::WindowMinimized);
        QTRY_VERIFY(!s.isMinimized());
    }

    // Guards: a button that acts on the wrong thing: Play or Pause going
    // through a file (half a second late), Back, Stop or Next acting at once
    // or writing other bytes than the poll and other programs expect, the
    // volume bar moved by more than 1 per click, "Back" leaving the main
    // window hidden.
    void buttons_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");
        row("Back2", "Back2", QStringList{}, kBackFlag, QByteArray::fromHex("2031200d0a"));
        row("Play2", "Play2", QStringList{"play"}, "", QByteArray());
        row("pause2", "pause2", QStringList{"pause"}, "", QByteArray());
        row("stop2", "stop2", QStringList{}, kStopFlag, QByteArray::fromHex("2031200d0a"));
        row("next2", "next2", QStringList{}, kNextFlag, QByteArray::fromHex("310d0a"));
        row("volume arrow", "HScroll1", QStringList{"volume=1001"}, "", QByteArray());
        row("Back to the main window", "Command1", QStringList{"show"}, "", QByteArray());
    }
    void buttons()
    {
        QFETCH(QString, control);
        QFETCH(QStringList, calls);
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        StripHarness h;
        h.main.volume = 1000;
        h.strip.Form_Load();
        h.strip.show();
        QVERIFY(QTest::qWaitForWindowExposed(&h.strip));
        h.main.calls.clear(); // the load's volume
        QSignalSpy unloaded(&h.strip, &Form2::unloaded);
        auto *widget = h.strip.findChild<QWidget *>(control);
        QVERIFY(widget);
        // The right end of the volume bar is its right arrow.
        const QPoint at = control == "HScroll1" ? QPoint(widget->width() - 3, widget->height() / 2)
                                                : widget->rect().center();
        QTest::mouseClick(widget, Qt::LeftButton, {}, at);
        QCOMPARE(h.main.calls, calls);
        for (const QString &flag : {kBackFlag, kStopFlag, kNextFlag})
            QCOMPARE(fileBytes(appFile(h.appFolder.path(), flag)),
                     flag == file ? bytes : QByteArray("<missing>"));
        QCOMPARE(!h.strip.isVisible(), control == "Command1");
        QCOMPARE(unloaded.count(), control == "Command1" ? 1 : 0);
    }

    // Guards: the strip's volume out of step with the main window's bar: not
    // taken at the load, the engine not set or set twice for one move, the
    // main window's change handling run when nothing changed, or its label
    // not following the strip.
    void volumeFollowsMainWindow_data()
    {
        QTest::addColumn<int>("mainBar");
        QTest::addColumn<int>("miniTo"); // -1: left alone
        QTest::addColumn<QStringList>("engineCalls");
        QTest::addColumn<QString>("mainLabel");
        row("main bar 1250", 1250, -1, QStringList{"Volume=-1250"}, "Volume 50 %");
        row("main bar 0: nothing runs", 0, -1, QStringList{}, "Volume 0 %");
        row("strip to 2500", 1250, 2500, QStringList{"Volume=-1250", "Volume=0"}, "Volume 100 %");
    }
    void volumeFollowsMainWindow()
    {
        QFETCH(int, mainBar);
        QFETCH(int, miniTo);
        QFETCH(QStringList, engineCalls);
        QFETCH(QString, mainLabel);
        Form1Harness h;
        Form1 &f = playingWindow(h, mainBar);
        probe(f).Command3_Click();
        Form2 *strip = loadedStrip();
        QVERIFY(strip);
        QCOMPARE(strip->HScroll1->value(), mainBar);
        if (miniTo >= 0)
            strip->HScroll1->setValue(miniTo);
        QCOMPARE(h.engine.calls, engineCalls);
        QCOMPARE(probe(f).HScroll1->value(), miniTo >= 0 ? miniTo : mainBar);
        QCOMPARE(probe(f).lbl_vol->text(), mainLabel);
    }

    // Guards: Mini Controls stopping or pausing the track, loading the strip
    // again on a second request, the Back button or the close box leaving the
    // main window hidden or changed, a strip that is not loaded afresh after
    // it was closed, and Exit showing the main window while the strip is up.
    void standsInForTheMainWindow_data()
    {
        QTest::addColumn<QString>("how");
        row("Back button", "back");
        row("close box", "close");
        row("Exit", "exit");
    }
    void standsInForTheMainWindow()
    {
        QFETCH(QString, how);
        Form1Harness h;
        writeFile(appFile(h.appFolder.path(), QStringLiteral("Trans.ini")), " 0 \r\n");
        Form1 &f = playingWindow(h);
        const QString title = f.windowTitle();
        probe(f).control<QAction>("Ctl_Mini")->trigger();
        Form2 *strip = loadedStrip();
        QVERIFY(strip);
        QVERIFY(!f.isVisible());
        QCOMPARE(h.messages.texts(), QStringList{kRefused}); // loaded once
        probe(f).Command3_Click();
        QCOMPARE(loadedStrip(), strip);
        QCOMPARE(h.messages.shown.size(), 1); // only brought forward
        QVERIFY(!f.isVisible());

        if (how == "exit") {
            probe(f).Command7_Click();
            QCOMPARE(h.endProgramCalls, 1);
            QVERIFY(!f.isVisible());
            return;
        }
        if (how == "back")
            QTest::mouseClick(strip->Command1, Qt::LeftButton);
        else
            strip->close();
        QVERIFY(!loadedStrip());
        QVERIFY(f.isVisible());
        QCOMPARE(h.engine.PlayStatus(), PlayState::Playing);
        QCOMPARE(h.engine.playerCalls(), QStringList{"Volume=0"}); // the strip's load
        QCOMPARE(Form1Probe::selectedIndex(probe(f).List2), 0);
        QCOMPARE(f.windowTitle(), title);
        probe(f).Command3_Click();
        QVERIFY(loadedStrip());
        QCOMPARE(h.messages.shown.size(), 2); // loaded afresh
    }

    // Guards: the hidden main window not obeying the strip: Pause and Play not
    // reaching its engine or leaving its display stopped, Next not carried out
    // by its poll while it is hidden, the track text not copied.
    void drivesTheHiddenMainWindow()
    {
        Form1Harness h;
        Form1 &f = playingWindow(h);
        QCOMPARE(probe(f).control<QTimer>("tmr_chk")->interval(), 500);
        probe(f).Command3_Click();
        Form2 *strip = loadedStrip();
        QVERIFY(strip);
        QTest::mouseClick(strip->pause2, Qt::LeftButton, {}, strip->pause2->rect().center());
        QCOMPARE(h.engine.PlayStatus(), PlayState::Paused);
        probe(f).Timer1_Timer(); // a tick while paused stops the display timer
        QTest::mouseClick(strip->Play2, Qt::LeftButton, {}, strip->Play2->rect().center());
        QCOMPARE(h.engine.PlayStatus(), PlayState::Playing);
        QVERIFY(probe(f).Timer1->isActive());

        QTest::mouseClick(strip->next2, Qt::LeftButton, {}, strip->next2->rect().center());
        QVERIFY(probe(f).control<QTimer>("tmr_chk")->isActive());
        QTRY_COMPARE(Form1Probe::selectedIndex(probe(f).List2), 1); // at the next poll
        h.engine.settle();
        QVERIFY(!f.isVisible());
        strip->Timer2_Timer();
        QCOMPARE(strip->Label2->text(), probe(f).Text1->text());
        QVERIFY(probe(f).Text1->text().startsWith(QStringLiteral("b.mp3")));
    }
};

QTEST_MAIN(MiniPlayerTest)
#include "test_mini_player.moc"
