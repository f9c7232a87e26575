#include "shell/form3.h"

#include "persist/app_folder.h"
#include "platform/media_engine.h"
#include "platform/video_view.h"
#include "widgets/window_layout.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tarn {

namespace {

const QString kVideoFile = QStringLiteral("1016.avi");

// The video in the application folder, where a user may put one of their
// own; else the one that came with the program (installed beside its data,
// or next to the executable of a build).
QString videoPath(const QString &appFolder)
{
    const QString own = appFile(appFolder, kVideoFile);
    const QString shipped = appFile(resolveDataFolder(), kVideoFile);
    return !QFileInfo::exists(own) && QFileInfo::exists(shipped) ? shipped : own;
}

} // namespace

Form3::Form3(QString appFolder, std::unique_ptr<MediaEngine> engine, QWidget *parent)
    : QWidget(parent), appFolder_(std::move(appFolder)), mp_(std::move(engine))
{
    Q_ASSERT(mp_);
    setUpFixedWindow(*this, "Form3", QStringLiteral(" "), 4575, 3990); // a blank caption
    QPixmap blank(16, 16);                                             // and no icon
    blank.fill(Qt::transparent);
    setWindowIcon(QIcon(blank));

    MediaPlayer1 = place(new VideoView(this), "MediaPlayer1", 240, 0, 4215, 3135);
    Label1 = placeLabel(this, "Label1",
                        QStringLiteral("For full screen rightclick and select full screen"), 120,
                        3360, 2055, 495);
    Command1 =
        place(new QPushButton(QStringLiteral("Close"), this), "Command1", 2520, 3360, 1215, 495);
    setTabOrder(MediaPlayer1, Command1);

    mp_->setVideoSink(MediaPlayer1);
    mp_->setOpenedHandler([this](bool ok) { mp_Opened(ok); });
    connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);
}

Form3::~Form3()
{
    mp_->setVideoSink(nullptr); // the view goes after the engine; no picture reaches it
    mp_.reset();
#if defined(__GLIBC__)
    // The video's engine freed its decoder, frames and scaler, many megabytes
    // spread over the heap and its decoder thread's arena. glibc keeps such
    // freed pages mapped, so each opening of this window would leave the
    // player a little larger; hand them back to the system now.
    malloc_trim(0);
#endif
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
    event->accept(); // the window is deleted on close, and its engine with it
}

void Form3::changeEvent(QEvent *event)
{
    undoMinimise(this, event);
    QWidget::changeEvent(event);
}

} // namespace tarn
