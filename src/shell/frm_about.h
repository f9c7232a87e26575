// The About box: title, version, a short description, and buttons that close
// it, start the system's information tool and open the bug-report window.
// Modeless; one at a time (Form1 keeps it).
#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;

namespace tarn {

class MessageBoxes;
class ProgramStarter;
class Registry;
class SvgPicture;

struct AboutServices {
    MessageBoxes &messages;
    Registry &registry;
    ProgramStarter &programs;
    std::function<void()> showBugs; // shows the bug-report window
};

class FrmAbout : public QDialog {
    Q_OBJECT
public:
    FrmAbout(AboutServices services, QWidget *parent);

    void Form_Load(); // sets the captions; runs once, when the window is made
    void cmdOK_Click();
    void cmdSysInfo_Click();
    void Command1_Click(); // Bugs

    SvgPicture *Image1 = nullptr;
    QLabel *lblTitle = nullptr;
    QLabel *lblVersion = nullptr;
    QLabel *lblDescription = nullptr;
    QLabel *lblDisclaimer = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdSysInfo = nullptr;
    QPushButton *Command1 = nullptr;

protected:
    void paintEvent(QPaintEvent *event) override; // the etched separator Line1

private:
    AboutServices services_;
};

} // namespace tarn
