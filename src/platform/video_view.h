// The surface the engine's pictures are shown on: paints the newest picture
// scaled to fit with its shape kept (black bars; the engine converts it to
// the view's size, never to more than its screen's), repaints only when a new
// picture came, and offers "Full Screen" on a right click (Esc or the same
// item leaves it). In place of the picture it can show a line of text, such
// as why the video cannot be played.
//
// THREADS
//   videoFormat() and present() run on the engine's video thread (see
//   engine/video_sink.h); everything else on the UI thread. The picture
//   passes between them under pictureMutex_. The engine must stop using the
//   view (Engine::setVideoSink(nullptr), or its end) before the view goes.
#pragma once

#include "engine/video_sink.h"

#include <QImage>
#include <QWidget>

#include <atomic>
#include <mutex>

class QAction;

namespace tarn {

class VideoView final : public QWidget, public engine::VideoSink {
    Q_OBJECT
public:
    explicit VideoView(QWidget *parent = nullptr);

    // Text shown in place of the picture; empty to show pictures again.
    void setMessage(const QString &text);
    QString message() const { return message_; }

    // Fills the screen with the picture, or puts it back in its window.
    void setFullScreen(bool on);
    QAction *fullScreenAction = nullptr; // the right-click menu's item

    QImage picture() const { return shown_; } // the newest picture taken for painting

    engine::VideoFormat videoFormat(int width, int height) override;
    void present(const engine::VideoFrame &frame) override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void takePicture();    // UI thread: the newest presented picture becomes shown_
    void noteScreenSize(); // UI thread
    QRect pictureRect() const;

    std::mutex pictureMutex_;
    QImage incoming_;                     // under pictureMutex_
    std::atomic<bool> takePosted_{false}; // a takePicture() is on its way
    std::atomic<int> areaWidth_{0};       // the view's size, for videoFormat()
    std::atomic<int> areaHeight_{0};
    std::atomic<int> screenWidth_{0}; // its screen's size, the most it ever shows
    std::atomic<int> screenHeight_{0};
    QImage shown_;      // UI thread
    QString message_;   // UI thread
    QRect normalPlace_; // UI thread: where the view sits in its window
};

} // namespace tarn
