// The Options window: the mini player's opacity, 20 to 100 %, saved to
// Trans.ini and applied by the mini player at its next opening. Where the
// window system cannot make the strip see-through or keep it on top
// (Wayland), a note under the setting says so.
//
// The window holds its value for the whole run: 0 at first, then what
// Trans.ini held at the last opening or what the arrows set. Every opening
// after a close reads Trans.ini again; a missing or unreadable file leaves
// the held value. UI thread only.
#pragma once

#include "platform/message_boxes.h"

#include <QWidget>

#include <cstdint>

class QLabel;
class QPushButton;

namespace tarn {

class UpDown;

struct Form4Services {
    MessageBoxes &messages;
    QString appFolder; // where Trans.ini lives
    // False where the window system keeps the strip neither on top nor
    // see-through: the window then says so.
    bool stripOnTopAndOpacity = true;
};

class Form4 : public QWidget {
    Q_OBJECT
public:
    explicit Form4(Form4Services services);

    // Shows the window, loading it first unless it is shown already, in
    // which case it only comes forward.
    void open();

    void Form_Load();
    void UpDown1_Change();
    void Command1_Click(); // Save

    std::int16_t held() const { return held_; }

    QLabel *Label1 = nullptr;
    UpDown *UpDown1 = nullptr;
    QLabel *Label2 = nullptr;
    QPushButton *Command1 = nullptr;
    QLabel *windowSystemNote = nullptr; // only where the strip cannot follow the setting

private:
    void showHeld();

    Form4Services services_;
    std::int16_t held_ = 0;
};

} // namespace tarn
