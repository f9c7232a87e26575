// The visualisation window: plays the video 1016.avi from the application
// folder in an engine of its own (made for each loading and handed over),
// beside the main window's music. It neither reads nor drives the main
// window's engine; the video has no sound of its own to mix in.
//
// Loaded on its first showing (and again after it was closed): the load
// starts the video from the beginning. "Close" and the close box stop it and
// unload the window, and the engine ends with it. At the end of the video
// the last picture stays up. A video that cannot be played leaves a line
// saying so, with the file's path and the reason, where the picture would
// be. UI thread only.
#pragma once

#include <QWidget>

#include <memory>

class QLabel;
class QPushButton;

namespace tarn {

class MediaEngine;
class VideoView;

class Form3 : public QWidget {
    Q_OBJECT
public:
    // `engine`: the window's own, not null; it plays into MediaPlayer1.
    Form3(QString appFolder, std::unique_ptr<MediaEngine> engine, QWidget *parent = nullptr);
    ~Form3() override;

    void Form_Load();      // sets the video as the engine's file and plays it
    void Command1_Click(); // Close

    MediaEngine &engine(); // MediaPlayer1's engine, for checks

    VideoView *MediaPlayer1 = nullptr; // the picture of the window's own engine
    QLabel *Label1 = nullptr;
    QPushButton *Command1 = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void mp_Opened(bool ok);

    QString appFolder_;
    // Goes before the view it paints into (a child, deleted by QWidget later).
    std::unique_ptr<MediaEngine> mp_;
};

} // namespace tarn
