// Builds the main window's controls at their design positions (twips / 15 =
// pixels), its look (artwork, palette, fonts), keyboard order and menu bar.
#include "main_window/form1.h"
#include "widgets/design_place.h"
#include "widgets/first_paint.h"
#include "widgets/hot_spot.h"
#include "widgets/svg_picture.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>

// The artwork is compiled into the static UI library, whose resource
// initialiser no linker pulls in by itself; registering twice is harmless.
static void registerArtwork()
{
    Q_INIT_RESOURCE(resources);
}

namespace tarn {

namespace {

// Widens a label that the design made too narrow for the longest text the
// program puts into it, keeping its left edge.
void fitWidth(QLabel *label, const QString &longest)
{
    const int needed = label->fontMetrics().horizontalAdvance(longest) + 4;
    if (label->width() < needed)
        label->resize(needed, label->height());
}

// Dark client area to match the artwork. The olive labels carry their own
// colour; everything else takes light text on dark ground.
QPalette clientPalette()
{
    QPalette p;
    const QColor window(0x14, 0x16, 0x1b); // the background picture's lower edge
    const QColor text(0xdd, 0xe1, 0xe7);
    const QColor dimText(0x6e, 0x74, 0x7f);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, QColor(0x12, 0x14, 0x19));
    p.setColor(QPalette::AlternateBase, QColor(0x1a, 0x1d, 0x23));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x2b, 0x30, 0x39));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Light, QColor(0x3d, 0x43, 0x4f));
    p.setColor(QPalette::Midlight, QColor(0x33, 0x38, 0x42));
    p.setColor(QPalette::Mid, QColor(0x23, 0x27, 0x2e));
    p.setColor(QPalette::Dark, QColor(0x10, 0x12, 0x16));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, QColor(0x6f, 0x72, 0x12));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::PlaceholderText, dimText);
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, dimText);
    return p;
}

// "Arial" maps to a metric-compatible face through fontconfig.
QFont arial(qreal points, bool bold = false)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

} // namespace

void Form1::styleControls()
{
    Form1 &f = *this;
    // The design's sizes are made for a small 8-point face.
    f.client->setFont(arial(8.25));
    f.txtTime->setFont(arial(14.25, true));
    f.lbl_track->setFont(arial(9.75));

    // The labels over the background draw in olive.
    for (QLabel *label : {f.txtTime, f.Label3, f.lbl_track, f.lbl_vol}) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, QColor(128, 128, 0));
        label->setPalette(p);
    }
    // Longest texts: a length with three-digit minutes and the loudest volume.
    fitWidth(f.Label3, QStringLiteral("/  000:00"));
    fitWidth(f.lbl_vol, QStringLiteral("Volume 100 %"));

    // The three buttons whose procedures the menus also run sit on the
    // artwork: flat, with room for their captions in the small design sizes.
    for (QPushButton *button : {f.Command7, f.Command3, f.Show_play})
        button->setStyleSheet(QStringLiteral(
            "QPushButton { color: #dde1e7; background: rgba(255,255,255,18);"
            " border: 1px solid #4a5260; border-radius: 4px; padding: 0 2px; }"
            "QPushButton:hover { background: rgba(255,255,255,40); border-color: #a5a820; }"
            "QPushButton:pressed { background: rgba(0,0,0,90); }"));
}

// Keyboard order: the controls a user sees, top to bottom, then the hidden
// Text1/Text2 (they pass the focus on to the playlist) right before the
// playlist, then the hidden Command10. The three buttons the menus stand for
// take no focus; neither do the hidden path list (arrow keys there would
// change the current entry out of sight) and the hidden option button.
void Form1::buildTabOrder()
{
    Form1 &f = *this;
    for (QWidget *w :
         std::initializer_list<QWidget *>{f.Command3, f.Command7, f.Show_play, f.List1, f.optRES})
        w->setFocusPolicy(Qt::NoFocus);
    f.HScroll1->setFocusPolicy(Qt::StrongFocus); // the volume bar takes arrow keys

    const QList<QWidget *> order{f.Slider1,   f.Check1,   f.HScroll1, f.Command8, f.Command9,
                                 f.Command11, f.Command1, f.Command2, f.Command4, f.Command5,
                                 f.Command6,  f.Text1,    f.Text2,    f.List2,    f.Command10};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void Form1::buildLayout()
{
    registerArtwork();

    client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setAutoFillBackground(true);
    client->setPalette(clientPalette());
    setCentralWidget(client);
    QWidget *c = client;

    Image5 = place(new SvgPicture(QStringLiteral(":/art/background.svg"), c), "Image5", 0, 0, 7920,
                   2970);
    Command7 = place(new QPushButton(QStringLiteral("Exit"), c), "Command7", 6840, 0, 375, 375);
    txtTime = place(new QLabel(c), "txtTime", 600, 480, 1350, 285);
    Label3 = place(new QLabel(c), "Label3", 600, 840, 480, 195);
    Command3 = place(new QPushButton(QStringLiteral("Mini Controls"), c), "Command3", 4320, 840,
                     1335, 375);
    Show_play = place(new QPushButton(QStringLiteral("Show Playlist"), c), "Show_play", 5640, 840,
                      1215, 375);
    lbl_track = place(new QLabel(c), "lbl_track", 240, 1440, 7455, 255);
    Slider1 = place(new QSlider(Qt::Horizontal, c), "Slider1", 120, 1800, 6375, 495);
    Slider1->setMinimum(0);
    Image2 = place(new SvgPicture(QStringLiteral(":/art/transport.svg"), c), "Image2", 120, 2400,
                   2775, 495);
    Back1 = place(new HotSpot(QStringLiteral("Back1"), QStringLiteral("Back"), c), "Back1", 120,
                  2400, 495, 495);
    Play1 = place(new HotSpot(QStringLiteral("Play1"), QStringLiteral("Play"), c), "Play1", 720,
                  2400, 495, 495);
    pause1 = place(new HotSpot(QStringLiteral("pause1"), QStringLiteral("Pause"), c), "pause1",
                   1320, 2400, 495, 495);
    stop1 = place(new HotSpot(QStringLiteral("stop1"), QStringLiteral("Stop"), c), "stop1", 1800,
                  2400, 495, 495);
    next1 = place(new HotSpot(QStringLiteral("next1"), QStringLiteral("Next"), c), "next1", 2400,
                  2400, 495, 495);
    lbl_vol = place(new QLabel(c), "lbl_vol", 6360, 2520, 975, 255);
    Image1 = place(new SvgPicture(QStringLiteral(":/art/speaker.svg"), c), "Image1", 7200, 2760,
                   480, 480);
    Check1 = place(new QCheckBox(QStringLiteral("Repeat"), c), "Check1", 120, 3000, 855, 255);
    HScroll1 = place(new QScrollBar(Qt::Horizontal, c), "HScroll1", 960, 3000, 6255, 255);
    HScroll1->setRange(0, kVolumeSteps);
    HScroll1->setSingleStep(1);
    HScroll1->setPageStep(1);
    HScroll1->setTracking(false); // the change is handled when a drag ends
    Command8 = place(new QPushButton(QStringLiteral("Save Playlist"), c), "Command8", 120, 3360,
                     1455, 255);
    Command9 = place(new QPushButton(QStringLiteral("Load Playlist"), c), "Command9", 1560, 3360,
                     1575, 255);
    Command11 =
        place(new QPushButton(QStringLiteral("Add Multi"), c), "Command11", 3120, 3360, 1455, 255);
    Command1 = place(new QPushButton(QStringLiteral("Add"), c), "Command1", 120, 3720, 1455, 255);
    Command2 =
        place(new QPushButton(QStringLiteral("Remove"), c), "Command2", 1560, 3720, 1575, 255);
    Command4 = place(new QPushButton(QStringLiteral("Visualizitions"), c), "Command4", 3120, 3720,
                     1575, 255);
    Command5 =
        place(new QPushButton(QStringLiteral("Options"), c), "Command5", 4680, 3720, 1575, 255);
    Command6 =
        place(new QPushButton(QStringLiteral("About"), c), "Command6", 6240, 3720, 1575, 255);
    List2 = place(new QListWidget(c), "List2", 120, 4080, 7695, 2565);
    List1 = place(new QListWidget(c), "List1", 8520, 5280, 7695, 2565);
    Frame1 =
        place(new QGroupBox(QStringLiteral("Now Playing..."), c), "Frame1", 8760, 3360, 7815, 615);
    Text1 = place(new QLineEdit(QStringLiteral("No Track"), Frame1), "Text1", 120, 240, 7575, 285);
    Text2 = place(new QLineEdit(QStringLiteral("Text1"), c), "Text2", 8640, 4080, 1455, 285);
    Label4 = place(new QLabel(c), "Label4", 8880, 120, 1215, 495);
    Command10 =
        place(new QPushButton(QStringLiteral("Command10"), c), "Command10", 9000, 720, 1215, 495);
    optRES = place(new QRadioButton(QStringLiteral("Option1"), c), "optRES", 8400, 2640, 1215, 495);
    optRES->setChecked(true);

    // Every playlist row is one line in one font. Uniform rows spare the lists
    // from measuring each text: a full playlist of 32767 entries then lays out
    // in a few milliseconds instead of holding the window for half a second.
    // Names wider than the list end in "..." (a list box has no sideways scroll).
    for (QListWidget *list : {List1, List2}) {
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setUniformItemSizes(true);
    }
    // File names and paths are shown as they are, never read as markup.
    for (QLabel *label : {txtTime, Label3, lbl_track, lbl_vol, Label4})
        label->setTextFormat(Qt::PlainText);

    styleControls();
    buildTabOrder();
    setTrackLine(QStringLiteral("Now Playing:"));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kFirstTickMs);
    Timer1->setTimerType(Qt::PreciseTimer); // a coarse one may fire 5 % (50 ms) late
    tmr_chk = new QTimer(this);
    tmr_chk->setObjectName(QStringLiteral("tmr_chk"));
    tmr_chk->setInterval(500);

    setWindowTitle(kProgramTitle);
    // Drawing the icon at the sizes a window manager wants would hold up the
    // window's first appearance.
    afterFirstPaint(*this, [this] { setWindowIcon(QIcon(QStringLiteral(":/art/tarn.svg"))); });
    // A fixed tool window: title and close box only, no task-bar entry. Its
    // size follows the view (applyView).
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
}

void Form1::setTrackLine(const QString &line)
{
    trackLine_ = line;
    lbl_track->setToolTip(line);
    elideTrackLine();
}

// A long file name or reason would be cut off at the label's edge with no
// sign that more follows; "…" says so, and the tooltip has the whole line.
void Form1::elideTrackLine()
{
    const int width = lbl_track->contentsRect().width();
    lbl_track->setText(lbl_track->fontMetrics().elidedText(trackLine_, Qt::ElideRight, width));
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

    buildPopup();

    // The window is created in the compact view; start-up then restores the
    // saved one.
    applyView(false);
}

} // namespace tarn
