// The mini player: a thin strip, always on top and partly see-through, that
// stands in for the hidden main window. Play, Pause and the volume act on the
// main window at once; Back, Stop and Next are written to the flag files and
// carried out by the main window's next poll; the strip shows the main
// window's current-track text, copied ten times a second.
//
// Loaded afresh on every opening: the load reads the opacity from Trans.ini
// and takes the main window's volume. Its Back button and its close box
// unload it and show the main window. UI thread only.
#pragma once

#include "platform/message_boxes.h"

#include <QWidget>

#include <cstdint>

class QLabel;
class QPushButton;
class QScrollBar;
class QTimer;

namespace tarn {

class HotSpot;
class MainWindowControls;

struct Form2Services {
    MainWindowControls &main;
    MessageBoxes &messages;
    QString appFolder; // where Trans.ini and the flag files live
};

class Form2 : public QWidget {
    Q_OBJECT
public:
    explicit Form2(Form2Services services);

    // Reads Trans.ini and applies it, puts the window on top and takes the
    // main window's volume. A missing or unreadable Trans.ini, or one whose
    // number does not fit 16 bits, leaves the strip fully opaque.
    void Form_Load();

    // Makes `window` `percent` % opaque (20..100); pixels of exactly magenta
    // are cut out of its shape. Any other percentage is refused with a
    // message and changes nothing.
    void Transparent(QWidget *window, std::int32_t percent);

    void Back2_Click();
    void Play2_Click();
    void pause2_Click();
    void stop2_Click();
    void next2_Click();
    void Command1_Click(); // Back to the main window
    void HScroll1_Change();
    void Timer2_Timer();

    // Controls, named as the design names them.
    QLabel *Image2 = nullptr;
    HotSpot *Back2 = nullptr;
    HotSpot *Play2 = nullptr;
    HotSpot *pause2 = nullptr;
    HotSpot *stop2 = nullptr;
    HotSpot *next2 = nullptr;
    QPushButton *Command1 = nullptr;
    QScrollBar *HScroll1 = nullptr;
    QLabel *Image1 = nullptr;
    QLabel *Label2 = nullptr;
    QTimer *Timer2 = nullptr;

signals:
    // The strip was closed and has shown the main window; its owner may
    // delete it.
    void unloaded();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool event(QEvent *event) override; // files dropped on the strip are appended

private:
    void buildLayout();
    void wire();

    Form2Services services_;
    bool unloaded_ = false;
};

} // namespace tarn
