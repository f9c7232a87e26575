// Builds the main window's controls at their design positions (twips / 15 =
// pixels) and its menu bar.
#include "core/form1.h"
#include "core/hot_spot.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>

namespace tarn {

namespace {

template <typename W>
W *place(W *widget, const char *name, int left, int top, int width, int height)
{
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(Form1::twips(left), Form1::twips(top), Form1::twips(width),
                        Form1::twips(height));
    return widget;
}

} // namespace

void Form1::buildLayout()
{
    client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    QWidget *c = client;

    Image5 = place(new QLabel(c), "Image5", 0, 0, 7920, 2970);
    Image5->setScaledContents(true);
    Command7 = place(new QPushButton(QStringLiteral("Exit"), c), "Command7", 6840, 0, 375, 375);
    txtTime = place(new QLabel(c), "txtTime", 600, 480, 1350, 285);
    Label3 = place(new QLabel(c), "Label3", 600, 840, 480, 195);
    Command3 = place(new QPushButton(QStringLiteral("Mini Controls"), c), "Command3", 4320, 840,
                     1335, 375);
    Show_play = place(new QPushButton(QStringLiteral("Show Playlist"), c), "Show_play", 5640, 840,
                      1215, 375);
    lbl_track = place(new QLabel(QStringLiteral("Now Playing:"), c), "lbl_track", 240, 1440, 7455,
                      255);
    Slider1 = place(new QSlider(Qt::Horizontal, c), "Slider1", 120, 1800, 6375, 495);
    Slider1->setMinimum(0);
    Image2 = place(new QLabel(c), "Image2", 120, 2400, 2775, 495);
    Image2->setScaledContents(true);
    Back1 = place(new HotSpot(QStringLiteral("Back1"), c), "Back1", 120, 2400, 495, 495);
    Play1 = place(new HotSpot(QStringLiteral("Play1"), c), "Play1", 720, 2400, 495, 495);
    pause1 = place(new HotSpot(QStringLiteral("pause1"), c), "pause1", 1320, 2400, 495, 495);
    stop1 = place(new HotSpot(QStringLiteral("stop1"), c), "stop1", 1800, 2400, 495, 495);
    next1 = place(new HotSpot(QStringLiteral("next1"), c), "next1", 2400, 2400, 495, 495);
    lbl_vol = place(new QLabel(c), "lbl_vol", 6360, 2520, 975, 255);
    Image1 = place(new QLabel(c), "Image1", 7200, 2760, 480, 480);
    Check1 = place(new QCheckBox(QStringLiteral("Repeat"), c), "Check1", 120, 3000, 855, 255);
    HScroll1 = place(new QScrollBar(Qt::Horizontal, c), "HScroll1", 960, 3000, 6255, 255);
    HScroll1->setRange(0, 2500);
    HScroll1->setSingleStep(1);
    HScroll1->setPageStep(1);
    HScroll1->setTracking(false); // the change is handled when a drag ends
    Command8 = place(new QPushButton(QStringLiteral("Save Playlist"), c), "Command8", 120, 3360,
                     1455, 255);
    Command9 = place(new QPushButton(QStringLiteral("Load Playlist"), c), "Command9", 1560, 3360,
                     1575, 255);
    Command11 = place(new QPushButton(QStringLiteral("Add Multi"), c), "Command11", 3120, 3360,
                      1455, 255);
    Command1 = place(new QPushButton(QStringLiteral("Add"), c), "Command1", 120, 3720, 1455, 255);
    Command2 = place(new QPushButton(QStringLiteral("Remove"), c), "Command2", 1560, 3720, 1575,
                     255);
    Command4 = place(new QPushButton(QStringLiteral("Visualizitions"), c), "Command4", 3120, 3720,
                     1575, 255);
    Command5 = place(new QPushButton(QStringLiteral("Options"), c), "Command5", 4680, 3720, 1575,
                     255);
    Command6 = place(new QPushButton(QStringLiteral("About"), c), "Command6", 6240, 3720, 1575,
                     255);
    List2 = place(new QListWidget(c), "List2", 120, 4080, 7695, 2565);
    List1 = place(new QListWidget(c), "List1", 8520, 5280, 7695, 2565);
    Frame1 = place(new QGroupBox(QStringLiteral("Now Playing..."), c), "Frame1", 8760, 3360, 7815,
                   615);
    Text1 = place(new QLineEdit(QStringLiteral("No Track"), Frame1), "Text1", 120, 240, 7575, 285);
    Text2 = place(new QLineEdit(QStringLiteral("Text1"), c), "Text2", 8640, 4080, 1455, 285);
    Label4 = place(new QLabel(c), "Label4", 8880, 120, 1215, 495);
    Command10 = place(new QPushButton(QStringLiteral("Command10"), c), "Command10", 9000, 720,
                      1215, 495);
    optRES = place(new QRadioButton(QStringLiteral("Option1"), c), "optRES", 8400, 2640, 1215, 495);
    optRES->setChecked(true);

    for (QListWidget *list : {List1, List2})
        list->setSelectionMode(QAbstractItemView::SingleSelection);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(50);
    tmr_chk = new QTimer(this);
    tmr_chk->setObjectName(QStringLiteral("tmr_chk"));
    tmr_chk->setInterval(500);

    setWindowTitle(kProgramTitle);
    // The client area is 7875 twips wide; the height is set by the view.
    setFixedSize(twips(7875), twips(7560));
}

void Form1::buildMenus()
{
    File = menuBar()->addMenu(QStringLiteral("&File"));
    File->setObjectName(QStringLiteral("File"));
    Mnu_Add = File->addAction(QStringLiteral("&Add File"));
    Mnu_Add->setObjectName(QStringLiteral("Mnu_Add"));
    Mnu_Add->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    Mnu_Rem = File->addAction(QStringLiteral("&Remove File"));
    Mnu_Rem->setObjectName(QStringLiteral("Mnu_Rem"));
    Mnu_Rem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    Mnu_Exit = File->addAction(QStringLiteral("E&xit"));
    Mnu_Exit->setObjectName(QStringLiteral("Mnu_Exit"));

    Mnu_View = menuBar()->addMenu(QStringLiteral("&View"));
    Mnu_View->setObjectName(QStringLiteral("Mnu_View"));
    Lst_Show = Mnu_View->addAction(QStringLiteral("&Show Play List"));
    Lst_Show->setObjectName(QStringLiteral("Lst_Show"));
    Lst_Show->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    Lst_Hide = Mnu_View->addAction(QStringLiteral("&Hide Play List"));
    Lst_Hide->setObjectName(QStringLiteral("Lst_Hide"));
    Lst_Hide->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    Sep1 = Mnu_View->addSeparator();
    Sep1->setObjectName(QStringLiteral("Sep1"));
    Ctl_Mini = Mnu_View->addAction(QStringLiteral("&Mini Controls"));
    Ctl_Mini->setObjectName(QStringLiteral("Ctl_Mini"));
    Ctl_Mini->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));

    mnuPop = new QMenu(QStringLiteral("Popup Menu"), this);
    mnuPop->setObjectName(QStringLiteral("mnuPop"));
}

} // namespace tarn
