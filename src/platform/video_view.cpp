#include "platform/video_view.h"

#include "engine/picture_size.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScreen>

#include <cstring>

namespace tarn {

VideoView::VideoView(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent); // every pixel is painted: no background first
    setFocusPolicy(Qt::StrongFocus);
    fullScreenAction = new QAction(QStringLiteral("Full Screen"), this);
    fullScreenAction->setCheckable(true);
    connect(fullScreenAction, &QAction::triggered, this, &VideoView::setFullScreen);
    noteScreenSize();
}

void VideoView::noteScreenSize()
{
    const QScreen *shownOn = screen();
    const QSize size = shownOn != nullptr ? shownOn->size() : QSize();
    screenWidth_.store(size.width());
    screenHeight_.store(size.height());
}

void VideoView::setMessage(const QString &text)
{
    message_ = text;
    update();
}

void VideoView::setFullScreen(bool on)
{
    if (on == isWindow())
        return;
    if (on) {
        normalPlace_ = geometry();
        setWindowFlags(windowFlags() | Qt::Window);
        showFullScreen();
        activateWindow();
        setFocus();
    } else {
        setWindowFlags(windowFlags() & ~Qt::Window);
        setGeometry(normalPlace_);
        show();
        setFocus();
    }
    fullScreenAction->setChecked(on);
}

// The picture fitted to the view, never beyond its screen (which full screen
// fills): a picture larger than that is never converted at its own size.
// Before the view was first laid out, the picture's own size within that.
engine::VideoFormat VideoView::videoFormat(int width, int height)
{
    QSize bound(screenWidth_.load(), screenHeight_.load());
    if (bound.isEmpty()) // no screen known
        bound = QSize(engine::kLargestConvertedSide, engine::kLargestConvertedSide);
    bound = bound.boundedTo(QSize(engine::kLargestConvertedSide, engine::kLargestConvertedSide));
    const QSize area(areaWidth_.load(), areaHeight_.load());
    if (!area.isEmpty())
        bound = bound.boundedTo(area);
    else if (width > 0 && height > 0 && width <= bound.width() && height <= bound.height())
        bound = QSize(width, height);
    const engine::PictureSize fitted =
        engine::fitPicture(width, height, bound.width(), bound.height());
    return {fitted.width, fitted.height, engine::PixelFormat::Rgb32};
}

void VideoView::present(const engine::VideoFrame &frame)
{
    {
        std::lock_guard lock(pictureMutex_);
        if (incoming_.width() != frame.width || incoming_.height() != frame.height)
            incoming_ = QImage(frame.width, frame.height, QImage::Format_RGB32);
        if (incoming_.isNull())
            return;
        for (int y = 0; y < frame.height; ++y)
            std::memcpy(incoming_.scanLine(y), frame.data + std::ptrdiff_t(y) * frame.stride,
                        std::size_t(frame.width) * 4);
    }
    if (!takePosted_.exchange(true))
        QMetaObject::invokeMethod(this, &VideoView::takePicture, Qt::QueuedConnection);
}

void VideoView::takePicture()
{
    takePosted_.store(false);
    {
        std::lock_guard lock(pictureMutex_);
        // The buffers change hands, so the next picture reuses the old one.
        std::swap(shown_, incoming_);
    }
    if (message_.isEmpty())
        update(pictureRect());
}

QRect VideoView::pictureRect() const
{
    if (shown_.isNull())
        return {};
    const QSize size = shown_.size().scaled(this->size(), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

void VideoView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!message_.isEmpty()) {
        painter.setPen(Qt::white);
        painter.drawText(rect().adjusted(6, 6, -6, -6), Qt::AlignCenter | Qt::TextWordWrap,
                         message_);
    } else if (!shown_.isNull()) {
        // Pictures come at the view's size; one made for another size (the
        // view was resized since) is scaled smoothly until the next comes.
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(pictureRect(), shown_);
    }
}

void VideoView::resizeEvent(QResizeEvent *event)
{
    noteScreenSize(); // full screen may be on another screen
    areaWidth_.store(width());
    areaHeight_.store(height());
    QWidget::resizeEvent(event);
}

void VideoView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    menu.addAction(fullScreenAction);
    menu.exec(event->globalPos());
}

void VideoView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && isWindow())
        setFullScreen(false);
    else
        QWidget::keyPressEvent(event);
}

} // namespace tarn
