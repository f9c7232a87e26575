// The tray icon and its popup menu: start-up puts the icon up with its
// balloon; the icon's requests and the popup's items show and hide the main
// window, open the About box and exit, and leave the playlist, playback and
// view alone; a window hidden into the tray never outlives the tray host.
#include "fakes/data_rows.h"
#include "fakes/form1_harness.h"
#include "fakes/form1_probe.h"
#include "mini/form2.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStyleHints>
#include <QTest>
#include <QTimer>

using namespace tarn;
using namespace tarn::test;

namespace {

const QString kStartBalloon =
    QStringLiteral("balloon=Tarn Player|Tarn Player is running, Click me for options.|1|4000");
const QString kInfoBalloon = QStringLiteral(
    "balloon=Tarn Player|Tarn Player is a free Media Player designed to be BLOAT free yet still "
    "have function.  WARNING, STILL IN BETA - V0.9|1|4000");

// A shown window in the full view, playing the second of two entries; the
// engine's and the tray's call logs start empty.
Form1 &playingWindow(Form1Harness &h)
{
    h.settings.values.insert(
        FakeSettings::path(kProgramTitle, QStringLiteral("Settings"), QStringLiteral("SIZE")),
        QStringLiteral("1"));
    Form1 &f = h.create();
    for (const char *name : {"a", "b"}) {
        probe(f).List1->addItem(QStringLiteral("/m/%1.mp3").arg(QLatin1String(name)));
        probe(f).List2->addItem(QStringLiteral("%1.mp3").arg(QLatin1String(name)));
    }
    Form1Probe::setSelectedIndex(probe(f).List2, 1);
    probe(f).List2_DblClick();
    h.engine.settle();
    f.show();
    h.engine.calls.clear();
    h.tray.calls.clear();
    return f;
}

// Playlist, playback and view in one comparable line.
QString playerState(const Form1Harness &h)
{
    Form1 &f = *h.form;
    QStringList out;
    for (const QListWidget *list : {probe(f).List1, probe(f).List2})
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
    // The mini player hands the engine the volume it has already.
    QStringList calls = h.engine.calls;
    calls.removeIf([](const QString &c) { return c.startsWith(QLatin1String("Volume=")); });
    out << QString::number(Form1Probe::selectedIndex(probe(f).List2))
        << calls.join(QLatin1Char(',')) << QString::number(h.engine.volume)
        << QString::number(int(h.engine.playStatus)) << QString::number(probe(f).playlistShown())
        << probe(f).Show_play->text() << QString::number(probe(f).Timer1->isActive());
    return out.join(QLatin1Char(' '));
}

// The mini player, if one is shown.
const Form2 *shownStrip()
{
    for (const QWidget *w : QApplication::topLevelWidgets())
        if (const auto *strip = qobject_cast<const Form2 *>(w); strip && strip->isVisible())
            return strip;
    return nullptr;
}

QStringList captions(const QMenu *menu)
{
    QStringList out;
    for (const QAction *action : menu->actions())
        out << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return out;
}

} // namespace

class TrayTest : public QObject {
    Q_OBJECT

private slots:
    // Guards: no icon or no balloon when the window starts in the compact
    // view, the balloon before the icon is up, a balloon text or time-out of
    // its own.
    void startUpPutsIconUpThenBalloon_data()
    {
        QTest::addColumn<QString>("size");
        row("compact view", "0");
        row("full view", "1");
    }
    void startUpPutsIconUpThenBalloon()
    {
        QFETCH(QString, size);
        Form1Harness h;
        h.settings.values.insert(
            FakeSettings::path(kProgramTitle, QStringLiteral("Settings"), QStringLiteral("SIZE")),
            size);
        h.create();
        QCOMPARE(h.tray.calls, QStringList({QStringLiteral("icon=1"), kStartBalloon}));
    }

    // Guards: a popup with other items or order, without its bold default,
    // away from the pointer, or a "Popup Menu" title in the menu bar.
    void menuRequestOpensPopupAtPointer_data()
    {
        QTest::addColumn<bool>("hidden");
        row("window shown", false);
        row("window hidden into the tray", true);
    }
    void menuRequestOpensPopupAtPointer()
    {
        QFETCH(bool, hidden);
        Form1Harness h;
        Form1 &f = playingWindow(h);
        if (hidden)
            probe(f).Hide1_Click();
        QCursor::setPos(200, 150);
        h.tray.request(TrayRequest::Menu);
        QVERIFY(probe(f).mnuPop->isVisible());
        QCOMPARE(probe(f).mnuPop->pos(), QPoint(200, 150));
        QCOMPARE(captions(probe(f).mnuPop), QStringList({"Show Tarn Player", "Hide Tarn Player",
                                                         "Mini Controls", "-", "About", "Exit"}));
        QCOMPARE(probe(f).mnuPop->defaultAction(), probe(f).control<QAction>("itmShowMainWindow"));
        QVERIFY(probe(f).control<QAction>("itmShowMainWindow")->font().bold());
        QVERIFY(!f.menuBar()->actions().contains(probe(f).mnuPop->menuAction()));
        QCOMPARE(f.isVisible(), !hidden); // opening the menu shows nothing
        probe(f).mnuPop->close();
    }

    // Guards: an event or item that does not show, hide, inform or open
    // the mini player or the About box as it says, or that touches the
    // playlist, playback or view on the way (Hide twice, Show on a shown
    // window); a separator that does something.
    void requestsAndItems_data()
    {
        QTest::addColumn<bool>("startHidden");
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<QStringList>("trayCalls");
        QTest::addColumn<QString>("opened"); // the window the action opens, if any
        const QStringList none;
        row("restore request brings the window back", true, "restore", true, none, "");
        row("restore request on a shown window", false, "restore", true, none, "");
        row("Show brings the window back", true, "show", true, none, "");
        row("Show on a shown window", false, "show", true, none, "");
        row("Hide hides", false, "hide", false, none, "");
        row("Hide twice", true, "hide", false, none, "");
        row("information request", false, "info", true, QStringList{kInfoBalloon}, "");
        row("Mini Controls", false, "mini", false, none, "strip");
        row("About, window stays hidden", true, "about", false, none, "about");
        row("separator", false, "separator", true, none, "");
    }
    void requestsAndItems()
    {
        QFETCH(bool, startHidden);
        QFETCH(QString, action);
        QFETCH(bool, visible);
        QFETCH(QStringList, trayCalls);
        QFETCH(QString, opened);
        Form1Harness h;
        Form1 &f = playingWindow(h);
        if (startHidden)
            probe(f).control<QAction>("Hide1")->trigger();
        const QString before = playerState(h);

        if (action == "restore")
            h.tray.request(TrayRequest::Restore);
        else if (action == "info")
            h.tray.request(TrayRequest::Information);
        else
            f.findChild<QAction *>(action == "show"    ? "itmShowMainWindow"
                                   : action == "hide"  ? "Hide1"
                                   : action == "mini"  ? "pop_Mini"
                                   : action == "about" ? "cmd_About"
                                                       : "Sep2")
                ->trigger();

        QCOMPARE(f.isVisible(), visible);
        QCOMPARE(h.tray.calls, trayCalls);
        QCOMPARE(probe(f).aboutBox() != nullptr, opened == "about");
        QCOMPARE(shownStrip() != nullptr, opened == "strip");
        QCOMPARE(playerState(h), before);
        QCOMPARE(h.endProgramCalls, 0);
    }

    // Guards: Exit from the popup that ends the run with the window hidden,
    // or that no longer saves the settings.
    void popupExitShowsWindowThenExits_data()
    {
        QTest::addColumn<bool>("hidden");
        row("window hidden into the tray", true);
        row("window shown", false);
    }
    void popupExitShowsWindowThenExits()
    {
        QFETCH(bool, hidden);
        Form1Harness h;
        Form1 &f = playingWindow(h);
        bool visibleAtEnd = false;
        h.onEndProgram = [&] { visibleAtEnd = f.isVisible(); };
        if (hidden)
            probe(f).Hide1_Click();
        probe(f).control<QAction>("Cmd_Exit")->trigger();
        QVERIFY(visibleAtEnd);
        QCOMPARE(h.endProgramCalls, 1);
        QCOMPARE(h.settings.values.value(FakeSettings::path(
                     kProgramTitle, QStringLiteral("Settings"), QStringLiteral("SIZE"))),
                 QStringLiteral("1"));
    }

    // Guards: a window hidden into a tray whose host has gone (or that never
    // had one) and so can never be brought back.
    void windowNeverLostWithoutTrayHost_data()
    {
        QTest::addColumn<bool>("hostAtHide");
        QTest::addColumn<bool>("hostLater");
        QTest::addColumn<bool>("visible");
        row("host stays: window stays hidden", true, true, false);
        row("host goes: window comes back", true, false, true);
        row("no host: Hide leaves the window shown", false, false, true);
    }
    void windowNeverLostWithoutTrayHost()
    {
        QFETCH(bool, hostAtHide);
        QFETCH(bool, hostLater);
        QFETCH(bool, visible);
        Form1Harness h;
        Form1 &f = playingWindow(h);
        h.tray.hostAvailable = hostAtHide;
        probe(f).Hide1_Click();
        QCOMPARE(f.isVisible(), !hostAtHide);
        h.tray.hostAvailable = hostLater;
        if (probe(f).control<QTimer>("trayWatch")->isActive())
            probe(f).trayWatch_Timer();
        QCOMPARE(f.isVisible(), visible);
        QCOMPARE(probe(f).control<QTimer>("trayWatch")->isActive(),
                 !visible); // no watching a shown window
    }

    // Guards: a double click whose first click opens the menu (the menu then
    // takes the second click and the window never comes back), or a gesture
    // that makes no request or the wrong one.
    void qtTrayGestures_data()
    {
        QTest::addColumn<QList<int>>("reasons");
        QTest::addColumn<QList<int>>("requests");
        const int menu = int(TrayRequest::Menu);
        row("right click", QList<int>{QSystemTrayIcon::Context}, QList<int>{menu});
        row("left click", QList<int>{QSystemTrayIcon::Trigger}, QList<int>{menu});
        row("double click", QList<int>{QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick},
            QList<int>{int(TrayRequest::Restore)});
        row("middle click", QList<int>{QSystemTrayIcon::MiddleClick},
            QList<int>{int(TrayRequest::Information)});
    }
    void qtTrayGestures()
    {
        QFETCH(QList<int>, reasons);
        QFETCH(QList<int>, requests);
        QApplication::styleHints()->setMouseDoubleClickInterval(20);
        QtTrayIcon tray{QString()};
        QList<int> made;
        tray.setRequestHandler([&](TrayRequest r) { made << int(r); });
        for (const int reason : reasons)
            tray.activated(QSystemTrayIcon::ActivationReason(reason));
        QTest::qWait(150); // well past the double-click interval
        QCOMPARE(made, requests);
    }
};

QTEST_MAIN(TrayTest)
#include "test_tray.moc"
