#include "shell/frm_about.h"
#include "platform/message_boxes.h"
#include "shell/program_facts.h"
#include "shell/sys_info.h"
#include "widgets/svg_picture.h"
#include "widgets/window_layout.h"

#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace tarn {

namespace {

// The client area's place on the screen, from the screen's top-left corner.
constexpr int kLeft = 2340;
constexpr int kTop = 1935;

} // namespace

FrmAbout::FrmAbout(AboutServices services, QWidget *parent)
    : QDialog(parent), services_(std::move(services))
{
    setUpFixedWindow(*this, "frmAbout", QStringLiteral("About MyApp"), 5730, 4155);
    // The client area (not the frame) goes to the fixed place.
    const QPoint origin = (parent ? parent->screen() : screen())->geometry().topLeft();
    setGeometry(QRect(origin + QPoint(twipsToPixels(kLeft), twipsToPixels(kTop)), size()));

    Image1 =
        place(new SvgPicture(QStringLiteral(":/art/logo.svg"), this), "Image1", 120, 240, 735, 735);
    lblTitle =
        placeLabel(this, "lblTitle", QStringLiteral("Application Title"), 1050, 240, 3885, 480);
    lblTitle->setFont(arialFont(14.25, true));
    lblVersion = placeLabel(this, "lblVersion", QStringLiteral("Version"), 1050, 780, 3885, 225);
    lblDescription = placeLabel(
        this, "lblDescription",
        QStringLiteral("A simple MP3 Player for you to listen to your music on with the lease "
                       "amount of fuss. It carries none of the bloat of the big, widely used "
                       "players: it starts at once and stays out of your way. There is no Video "
                       "support yet, this is in a pipe line."),
        1050, 1125, 3885, 1170);
    lblDisclaimer = placeLabel(this, "lblDisclaimer", QString(), 240, 2760, 3870, 1185);

    // Created in their tab order.
    cmdOK = place(new QPushButton(QStringLiteral("OK"), this), "cmdOK", 4365, 2745, 1260, 345);
    cmdSysInfo = place(new QPushButton(QStringLiteral("&System Info..."), this), "cmdSysInfo", 4380,
                       3195, 1245, 345);
    Command1 =
        place(new QPushButton(QStringLiteral("Bugs"), this), "Command1", 4320, 3600, 1245, 345);
    // Enter presses OK (the default button); Esc closes the dialog as OK does.
    cmdOK->setDefault(true);
    cmdOK->setFocus();

    connect(cmdOK, &QPushButton::clicked, this, &FrmAbout::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &FrmAbout::cmdSysInfo_Click);
    connect(Command1, &QPushButton::clicked, this, &FrmAbout::Command1_Click);

    Form_Load();
}

void FrmAbout::Form_Load()
{
    setWindowTitle(QStringLiteral("About ") + kProgramTitle);
    lblVersion->setText(QStringLiteral("Version ") + versionText());
    lblTitle->setText(kProgramTitle);
}

void FrmAbout::cmdOK_Click()
{
    close();
}

void FrmAbout::cmdSysInfo_Click()
{
    StartSysInfo(services_.registry, services_.programs, services_.messages);
}

void FrmAbout::Command1_Click()
{
    services_.showBugs();
}

void FrmAbout::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    // Line1: a grey line over a white one two pixels wide, which the eye
    // reads as a groove cut across the window.
    QPainter painter(this);
    const int right = twipsToPixels(5654);
    painter.fillRect(QRect(QPoint(twipsToPixels(105), twipsToPixels(2580)),
                           QPoint(right, twipsToPixels(2580) + 1)),
                     Qt::white);
    painter.fillRect(
        QRect(QPoint(twipsToPixels(90), twipsToPixels(2565)), QPoint(right, twipsToPixels(2565))),
        QColor(128, 128, 128));
}

} // namespace tarn
