#include "mini/form2.h"

#include "controls/flag_files.h"
#include "controls/main_window_controls.h"
#include "persist/record_file.h"
#include "widgets/bring_forward.h"
#include "widgets/design_place.h"
#include "widgets/file_drop.h"
#include "widgets/hot_spot.h"
#include "widgets/svg_picture.h"

#include <QBitmap>
#include <QCloseEvent>
#include <QImage>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace tarn {

namespace {

constexpr QRgb kKeyColour = qRgb(255, 0, 255);

// percent x 255 / 100, an exact half to the even neighbour.
int opacityAlpha(std::int32_t percent)
{
    return static_cast<int>(std::nearbyint(static_cast<double>(percent * 255) * 0.01));
}

// Cuts the pixels of exactly the key colour out of the window's shape, as the
// window looks now. A window without them keeps its plain rectangle.
void cutOutKeyColour(QWidget *window)
{
    QImage image(window->size(), QImage::Format_RGB32);
    window->render(&image);
    bool hasKey = false;
    for (int y = 0; y < image.height() && !hasKey; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        hasKey = std::find(line, line + image.width(), kKeyColour) != line + image.width();
    }
    if (hasKey)
        window->setMask(QBitmap::fromImage(image.createMaskFromColor(kKeyColour, Qt::MaskInColor)));
    else
        window->clearMask();
}

QPalette stripPalette()
{
    QPalette p;
    p.setColor(QPalette::Window, QColor(0x0a, 0x0b, 0x0e)); // the transport artwork's ground
    // The artwork's accent: bright enough to read through the see-through strip.
    p.setColor(QPalette::WindowText, QColor(0xc9, 0xcc, 0x45));
    p.setColor(QPalette::Button, QColor(0x2b, 0x30, 0x39));
    p.setColor(QPalette::ButtonText, QColor(0xdd, 0xe1, 0xe7));
    p.setColor(QPalette::Base, QColor(0x12, 0x14, 0x19));
    p.setColor(QPalette::Light, QColor(0x3d, 0x43, 0x4f));
    p.setColor(QPalette::Mid, QColor(0x23, 0x27, 0x2e));
    p.setColor(QPalette::Dark, QColor(0x10, 0x12, 0x16));
    p.setColor(QPalette::Highlight, QColor(0x6f, 0x72, 0x12));
    return p;
}

} // namespace

Form2::Form2(Form2Services services) : services_(std::move(services))
{
    setObjectName(QStringLiteral("Form2"));
    buildLayout();
    wire();
    setAcceptDrops(true);
}

bool Form2::event(QEvent *event)
{
    if (!isDragEvent(event))
        return QWidget::event(event);
    if (const QStringList paths = takeFileDrop(event); !paths.isEmpty())
        QTimer::singleShot(0, this, [this, paths] { services_.main.openFiles(paths, false); });
    return true;
}

void Form2::buildLayout()
{
    setWindowTitle(QStringLiteral("Rude Re3"));
    // A fixed tool window: title and close box only, no task-bar entry, on top.
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(twipsToPixels(9630), twipsToPixels(255));
    setAutoFillBackground(true);
    setPalette(stripPalette());
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(8.25);
    setFont(font);

    Image2 = place(new SvgPicture(QStringLiteral(":/art/mini_transport.svg"), this), "Image2", 0, 0,
                   1695, 255);
    const auto spot = [this](const char *name, const char *action, int left) {
        return place(new HotSpot(QString::fromLatin1(name), QString::fromLatin1(action), this),
                     name, left, 0, 255, 255);
    };
    Back2 = spot("Back2", "Back", 0);
    Play2 = spot("Play2", "Play", 360);
    pause2 = spot("pause2", "Pause", 720);
    stop2 = spot("stop2", "Stop", 1080);
    next2 = spot("next2", "Next", 1440);
    Command1 = place(new QPushButton(QStringLiteral("Back"), this), "Command1", 1680, 0, 615, 255);
    Command1->setStyleSheet(QStringLiteral(
        "QPushButton { color: #dde1e7; background: #2b3039; border: 1px solid #4a5260;"
        " border-radius: 3px; padding: 0; }"
        "QPushButton:hover { border-color: #a5a820; }"
        "QPushButton:pressed { background: #14161b; }"));
    HScroll1 = place(new QScrollBar(Qt::Horizontal, this), "HScroll1", 2280, 0, 2175, 255);
    HScroll1->setRange(0, kVolumeSteps);
    HScroll1->setSingleStep(1);
    HScroll1->setPageStep(1);
    HScroll1->setTracking(false); // a drag counts when it ends
    HScroll1->setFocusPolicy(Qt::StrongFocus);
    Image1 = place(new SvgPicture(QStringLiteral(":/art/wedge.svg"), this), "Image1", 4440, 0, 1200,
                   255);
    Label2 = place(new QLabel(QStringLiteral("Label2"), this), "Label2", 5640, 0, 4095, 255);
    Label2->setTextFormat(Qt::PlainText); // file names are never read as markup

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(100);
}

void Form2::wire()
{
    connect(Back2, &HotSpot::clicked, this, &Form2::Back2_Click);
    connect(Play2, &HotSpot::clicked, this, &Form2::Play2_Click);
    connect(pause2, &HotSpot::clicked, this, &Form2::pause2_Click);
    connect(stop2, &HotSpot::clicked, this, &Form2::stop2_Click);
    connect(next2, &HotSpot::clicked, this, &Form2::next2_Click);
    connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    connect(HScroll1, &QScrollBar::valueChanged, this, &Form2::HScroll1_Change);
    connect(Timer2, &QTimer::timeout, this, &Form2::Timer2_Timer);
    Timer2->start();
}

void Form2::Form_Load()
{
    if (const std::optional<std::int16_t> percent =
            readFirstNumber(services_.appFolder, kOpacityFile))
        Transparent(this, *percent);
    // On top through the window's stays-on-top flag.
    // Runs HScroll1_Change only when this moves the bar.
    HScroll1->setValue(services_.main.volumePosition());
}

void Form2::Transparent(QWidget *window, std::int32_t percent)
{
    if (percent < 20 || percent > 100) {
        services_.messages.show(QStringLiteral("Percentage value must be between 20 - 100."),
                                MessageIcon::Critical);
        return;
    }
    window->setWindowOpacity(opacityAlpha(percent) / 255.0);
    cutOutKeyColour(window);
}

// A request that cannot be written (a read-only folder) is dropped unseen.
void Form2::Back2_Click()
{
    setBackFlag(services_.appFolder);
}
void Form2::Play2_Click()
{
    services_.main.play();
}
void Form2::pause2_Click()
{
    services_.main.pause();
}
void Form2::stop2_Click()
{
    setStopFlag(services_.appFolder);
}
void Form2::next2_Click()
{
    set_next_flag(services_.appFolder);
}

void Form2::Command1_Click()
{
    close();
}

void Form2::HScroll1_Change()
{
    services_.main.setVolumePosition(HScroll1->value());
}

void Form2::Timer2_Timer()
{
    const QString text = services_.main.currentTrackText();
    if (Label2->text() != text)
        Label2->setText(text);
}

void Form2::changeEvent(QEvent *event)
{
    undoMinimise(this, event);
    QWidget::changeEvent(event);
}

// The close box and Back alike: the strip goes and the main window comes back.
void Form2::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (unloaded_)
        return;
    unloaded_ = true;
    Timer2->stop();
    services_.main.showMainWindow();
    emit unloaded();
}

} // namespace tarn
