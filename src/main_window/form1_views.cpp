// The compact and full views and the menu items.
#include "main_window/form1.h"
#include "widgets/bring_forward.h"

#include <QAction>
#include <QEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>

#include <algorithm>

namespace tarn {

namespace {

// Client-area heights below the menu bar. The compact view ends where the
// button rows begin; the full view is the design's client area, which holds
// both button rows and the whole playlist.
constexpr int kCompactClientHeight = Form1::twips(3360);
constexpr int kFullClientHeight = Form1::twips(6780);

} // namespace

void Form1::applyView(bool full)
{
    // What lies below the compact view's edge is hidden there, not just cut
    // off, so the keyboard never lands on a control nobody can see. Text1 and
    // Text2 pass the focus on to the playlist, so they leave the tab order
    // with it.
    for (QWidget *w :
         std::initializer_list<QWidget *>{Command8, Command9, Command11, Command1, Command2,
                                          Command4, Command5, Command6, List2})
        w->setVisible(full);
    for (QLineEdit *text : {Text1, Text2})
        text->setFocusPolicy(full ? Qt::StrongFocus : Qt::NoFocus);

    // The menu bar's height depends on the platform's font and style; a
    // menu bar drawn by the desktop outside the window takes none.
    const int width = twips(7875);
    const int menuHeight =
        menuBar()->isNativeMenuBar() ? 0 : std::max(0, menuBar()->heightForWidth(width));
    setFixedSize(width, menuHeight + (full ? kFullClientHeight : kCompactClientHeight));

    Show_play->setText(full ? QStringLiteral("Hide Playlist") : QStringLiteral("Show Playlist"));
    Lst_Show->setEnabled(!full);
    Lst_Hide->setEnabled(full);
    playlistShown = full ? 1 : 0;
}

void Form1::changeEvent(QEvent *event)
{
    undoMinimise(this, event);
    QMainWindow::changeEvent(event);
}

void Form1::Show_play_Click()
{
    applyView(playlistShown != 1);
}
void Form1::Mnu_Add_Click()
{
    Command1_Click();
}
void Form1::Mnu_Rem_Click()
{
    Command2_Click();
}
void Form1::Mnu_Exit_Click()
{
    Command7_Click();
}
void Form1::Lst_Show_Click()
{
    Show_play_Click();
}
void Form1::Lst_Hide_Click()
{
    Show_play_Click();
}
void Form1::Ctl_Mini_Click()
{
    Command3_Click();
}

} // namespace tarn
