// The main window's tray icon: its set-up at the end of start-up, its three
// requests, and the popup menu that shows and hides the window, opens the
// mini player and the About box, and exits.
#include "main_window/form1.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QTimer>

namespace tarn {

namespace {

const QString kBalloonTitle = QStringLiteral("Tarn Player");
constexpr int kBalloonTimeoutMs = 4000;
// How often a window hidden into the tray checks that the tray is still there.
constexpr int kTrayWatchMs = 1000;

} // namespace

void Form1::buildPopup()
{
    mnuPop = new QMenu(QStringLiteral("Popup Menu"), this);
    mnuPop->setObjectName(QStringLiteral("mnuPop"));
    const auto item = [this](const char *name, const QString &caption) {
        QAction *action = mnuPop->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    itmShowMainWindow = item("itmShowMainWindow", QStringLiteral("Show Tarn Player"));
    Hide1 = item("Hide1", QStringLiteral("Hide Tarn Player"));
    pop_Mini = item("pop_Mini", QStringLiteral("Mini Controls"));
    Sep2 = mnuPop->addSeparator();
    Sep2->setObjectName(QStringLiteral("Sep2"));
    cmd_About = item("cmd_About", QStringLiteral("About"));
    Cmd_Exit = item("Cmd_Exit", QStringLiteral("Exit"));

    trayWatch = new QTimer(this);
    trayWatch->setObjectName(QStringLiteral("trayWatch"));
    trayWatch->setInterval(kTrayWatchMs);
}

void Form1::setUpTray()
{
    TrayIcon1.setIconVisible(true);
    TrayIcon1.showBalloon(kBalloonTitle,
                          QStringLiteral("Tarn Player is running, Click me for options."),
                          TrayIcon::kInformation, kBalloonTimeoutMs);
}

void Form1::TrayIcon1_MenuRequest()
{
    PopupMenu(mnuPop, itmShowMainWindow);
}

void Form1::TrayIcon1_RestoreRequest()
{
    showMainWindow();
    trayWatch->stop();
}

void Form1::TrayIcon1_InfoRequest()
{
    TrayIcon1.showBalloon(kBalloonTitle,
                          QStringLiteral("Tarn Player is a free Media Player designed to be BLOAT "
                                         "free yet still have function.  WARNING, STILL IN BETA - "
                                         "V0.9"),
                          TrayIcon::kInformation, kBalloonTimeoutMs);
}

void Form1::PopupMenu(QMenu *menu, QAction *defaultItem)
{
    // Styles draw the default item bold; the item's own font makes sure.
    menu->setDefaultAction(defaultItem);
    QFont bold = defaultItem->font();
    bold.setBold(true);
    defaultItem->setFont(bold);
    menu->popup(QCursor::pos());
}

void Form1::itmShowMainWindow_Click()
{
    TrayIcon1_RestoreRequest();
}

void Form1::Hide1_Click()
{
    // Without a tray host the window could not be brought back; and a window
    // already hidden (by the mini player) stays as it is.
    if (!isVisible() || !TrayIcon1.isHostAvailable())
        return;
    hideMainWindow();
    trayWatch->start();
}

void Form1::trayWatch_Timer()
{
    if (isVisible())
        trayWatch->stop(); // shown again by other means
    else if (!TrayIcon1.isHostAvailable())
        TrayIcon1_RestoreRequest();
}

void Form1::pop_Mini_Click()
{
    Command3_Click();
}

void Form1::cmd_About_Click()
{
    Command6_Click();
}

void Form1::Cmd_Exit_Click()
{
    itmShowMainWindow_Click();
    Command7_Click();
}

} // namespace tarn
