#include "mini/form4.h"

#include "mini/up_down.h"
#include "persist/app_folder.h"
#include "persist/record_file.h"
#include "widgets/bring_forward.h"
#include "widgets/design_place.h"

#include <QLabel>
#include <QPushButton>

namespace tarn {

namespace {

const QString kWaylandNote =
    QStringLiteral("On Wayland the desktop keeps the mini player neither on top nor "
                   "see-through; this setting applies in X11 sessions.");
constexpr int kNoteHeight = 480; // twips: two lines of the window's face

} // namespace

Form4::Form4(Form4Services services) : services_(std::move(services))
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Options"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(twipsToPixels(5205),
                 twipsToPixels(services_.stripOnTopAndOpacity ? 615 : 615 + kNoteHeight));

    Label1 = place(new QLabel(QStringLiteral("Transparency for mini player"), this), "Label1", 120,
                   120, 2175, 375);
    UpDown1 = place(new UpDown(20, 100, this), "UpDown1", 2400, 120, 255, 375);
    UpDown1->setValue(20);
    Label2 = place(new QLabel(QStringLiteral("Label2"), this), "Label2", 2760, 120, 975, 255);
    Command1 =
        place(new QPushButton(QStringLiteral("Save"), this), "Command1", 3960, 120, 1215, 375);
    // The design's label and button heights are made for its 8-point face.
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(8.25);
    setFont(font);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (!services_.stripOnTopAndOpacity) {
        windowSystemNote = place(new QLabel(kWaylandNote, this), "windowSystemNote", 120, 555, 4965,
                                 kNoteHeight - 60);
        windowSystemNote->setWordWrap(true);
        windowSystemNote->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    setTabOrder(UpDown1, Command1);
    UpDown1->setFocus();

    connect(UpDown1, &UpDown::changed, this, &Form4::UpDown1_Change);
    connect(Command1, &QPushButton::clicked, this, &Form4::Command1_Click);
}

void Form4::open()
{
    if (!isVisible())
        Form_Load();
    bringForward(this);
}

void Form4::Form_Load()
{
    if (const std::optional<std::int16_t> value =
            readFirstNumber(services_.appFolder, kOpacityFile))
        held_ = *value;
    showHeld();
    UpDown1->setValue(held_);
}

void Form4::UpDown1_Change()
{
    held_ = static_cast<std::int16_t>(UpDown1->value());
    showHeld();
}

// Says so when the file cannot be written; the window stays open either way.
void Form4::Command1_Click()
{
    QString reason;
    if (!writeNumberLine(services_.appFolder, kOpacityFile, held_, &reason))
        services_.messages.show(QStringLiteral("Could not save the mini player's opacity to ") +
                                    appFile(services_.appFolder, kOpacityFile) +
                                    QStringLiteral(":\n") + reason,
                                MessageIcon::Exclamation);
}

void Form4::showHeld()
{
    Label2->setText(QString::number(held_) + QLatin1Char('%'));
}

} // namespace tarn
