#include "shell/form3.h"

#include "core/bring_forward.h"
#include "core/design_place.h"
#include "persist/app_folder.h"
#include "platform/engine_adapter.h"
#include "platform/video_view.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace tarn {

namespace {

const QString kVideoFile = QStringLiteral("1016.avi");

// The video in the application folder; an installed program, whose folder
// is not writable, has it in its data folder instead.
QString videoPath(const QString &appFolder)
{
    const QString own = appFile(appFolder, kVideoFile);
    const QString installed = QCoreApplication::applicationDirPath() +
                              QStringLiteral("/../share/tarn-player/") + kVideoFile;
    return !QFileInfo::exists(own) && QFileInfo::exists(installed)
               ? QFileInfo(installed).canonicalFilePath()
               : own;
}

} // namespace

Form3::Form3(QString appFolder)
    : appFolder_(std::move(appFolder)), mp_(std::make_unique<EngineAdapter>())
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral(" ")); // a blank: the title bar shows no text
    // A fixed tool window: a small title bar with the close box only, no
    // task-bar entry, and no icon.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    setWindowIcon(QIcon(blank));
    setFixedSize(twipsToPixels(4575), twipsToPixels(3990));

    MediaPlayer1 = place(new VideoView(this), "MediaPlayer1", 240, 0, 4215, 3135);
    Label1 =
        place(new QLabel(QStringLiteral("For full screen rightclick and select full screen"), this),
              "Label1", 120, 3360, 2055, 495);
    Command1 =
        place(new QPushButton(QStringLiteral("Close"), this), "Command1", 2520, 3360, 1215, 495);
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(8.25); // the design's label and button heights are made for it
    setFont(font);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTabOrder(MediaPlayer1, Command1);

    mp_->engine().setVideoSink(MediaPlayer1);
    mp_->setOpenedHandler([this](bool ok) { mp_Opened(ok); });
    connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);
}

Form3::~Form3()
{
    mp_->engine().setVideoSink(nullptr); // the view goes after the engine; no picture reaches it
}

MediaEngine &Form3::engine()
{
    return *mp_;
}

void Form3::Form_Load()
{
    mp_->setFileName(videoPath(appFolder_));
    mp_->Play();
}

void Form3::mp_Opened(bool ok)
{
    MediaPlayer1->setMessage(ok ? QString()
                                : QStringLiteral("The video file could not be played: ") +
                                      mp_->FileName() + QStringLiteral(" (") + mp_->LastError() +
                                      QLatin1Char(')'));
}

void Form3::Command1_Click()
{
    close();
}

void Form3::closeEvent(QCloseEvent *event)
{
    mp_->Stop();
    event->accept();
    emit unloaded();
}

void Form3::changeEvent(QEvent *event)
{
    undoMinimise(this, event);
    QWidget::changeEvent(event);
}

} // namespace tarn
