// The bug-report window: how to report a fault, and notes on the program's
// known limits. Its "E:Mail" label acts as a link that shows the address to
// write to; nothing is sent from here. One at a time (Form1 keeps it).
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace tarn {

class MessageBoxes;

class Bugs : public QWidget {
    Q_OBJECT
public:
    Bugs(MessageBoxes &messages, QWidget *parent);

    void Form_Load();
    void Form_MouseMove();   // pointer over the window's own surface
    void Label3_MouseMove(); // pointer over the link
    void Label3_Click();
    void Command1_Click(); // Close

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr; // the link "E:Mail"
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label7 = nullptr;
    QPushButton *Command1 = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    void setLinkColour(const QColor &colour);

    MessageBoxes &messages_;
};

} // namespace tarn
