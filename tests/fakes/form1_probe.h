// The tests' way into a main window: the controls they look at and the
// handlers they run directly, which the window keeps to itself. A probe is
// made where it is used, `probe(form).List2`, and holds the window's own
// pointers (they never change once the window is built).
#pragma once

#include "main_window/form1.h"

namespace tarn {

class Form1Probe {
public:
    explicit Form1Probe(Form1 &form) : f_(form) {}

    // Handlers, as the controls and events named after them run them.
    void Command1_Click() { f_.Command1_Click(); }
    void Command11_Click() { f_.Command11_Click(); }
    void Command2_Click() { f_.Command2_Click(); }
    void Play1_Click() { f_.Play1_Click(); }
    void pause1_Click() { f_.pause1_Click(); }
    void stop1_Click() { f_.stop1_Click(); }
    void next1_Click() { f_.next1_Click(); }
    void Back1_Click() { f_.Back1_Click(); }
    void List1_DblClick() { f_.List1_DblClick(); }
    void List2_DblClick() { f_.List2_DblClick(); }
    void Timer1_Timer() { f_.Timer1_Timer(); }
    void trayWatch_Timer() { f_.trayWatch_Timer(); }
    void Show_play_Click() { f_.Show_play_Click(); }
    void Form_Load() { f_.Form_Load(); }
    void Command10_Click() { f_.Command10_Click(); }
    void Command7_Click() { f_.Command7_Click(); }
    void Command8_Click() { f_.Command8_Click(); }
    void Command9_Click() { f_.Command9_Click(); }
    void Command3_Click() { f_.Command3_Click(); }
    void Command5_Click() { f_.Command5_Click(); }
    void Command6_Click() { f_.Command6_Click(); }
    void Hide1_Click() { f_.Hide1_Click(); }
    void showBugs() { f_.showBugs(); }
    QString GetFiles(const QString &title) { return f_.GetFiles(title); }

    FileImport &fileImport() { return f_.fileImport(); } // tests hold a search through it
    FrmAbout *aboutBox() const { return f_.aboutBox(); }
    Bugs *bugsWindow() const { return f_.bugsWindow(); }
    std::int16_t playlistShown() const { return f_.playlistShown; } // 1 full view, 0 compact

    // The entry selected in a playlist list, -1 for none.
    static int selectedIndex(const QListWidget *list) { return Form1::selectedIndex(list); }
    static void setSelectedIndex(QListWidget *list, int index)
    {
        Form1::setSelectedIndex(list, index);
    }

    // Any control by its design name (its object name); null when there is none.
    template <typename Control = QWidget> Control *control(const char *name) const
    {
        return f_.findChild<Control *>(QLatin1String(name));
    }

private:
    Form1 &f_;

public:
    // The controls the tests look at most, by their design names (form1.h says
    // what each is).
    QListWidget *const List2 = f_.List2;
    QListWidget *const List1 = f_.List1;
    QLabel *const lbl_track = f_.lbl_track;
    QLineEdit *const Text1 = f_.Text1;
    QTimer *const Timer1 = f_.Timer1;
    QScrollBar *const HScroll1 = f_.HScroll1;
    QSlider *const Slider1 = f_.Slider1;
    QLabel *const Label3 = f_.Label3;
    QCheckBox *const Check1 = f_.Check1;
    QLabel *const txtTime = f_.txtTime;
    QPushButton *const Command1 = f_.Command1;
    QLabel *const lbl_vol = f_.lbl_vol;
    QPushButton *const Command4 = f_.Command4;
    QMenu *const mnuPop = f_.mnuPop;
    QAction *const Lst_Show = f_.Lst_Show;
    QLabel *const Image2 = f_.Image2;
    QPushButton *const Show_play = f_.Show_play;
    QAction *const Lst_Hide = f_.Lst_Hide;
    QLabel *const Image5 = f_.Image5;
    QLabel *const Label4 = f_.Label4;
    QLabel *const Image1 = f_.Image1;
    QWidget *const client = f_.client;
};

inline Form1Probe probe(Form1 &form)
{
    return Form1Probe(form);
}

} // namespace tarn
