// Buttons that open windows of their own. Each window exists once: a request
// while it is shown only brings it forward.
#include "main_window/form1.h"
#include "mini/form2.h"
#include "mini/form4.h"
#include "shell/bugs.h"
#include "shell/form3.h"
#include "shell/frm_about.h"
#include "widgets/bring_forward.h"
#include "widgets/window_layout.h"

namespace tarn {

// Mini Controls: the main window hides (its timers and engine go on) and the
// mini player takes its place, loaded afresh unless it is already shown. It
// unloads itself with its Back button or close box, showing this window.
void Form1::Command3_Click()
{
    hideMainWindow();
    if (!form2_) {
        form2_ =
            std::make_unique<Form2>(Form2Services{*this, services_.messages, services_.appFolder});
        connect(form2_.get(), &Form2::unloaded, this, [this, strip = form2_.get()] {
            if (form2_.get() == strip)
                form2_.release()->deleteLater();
        });
        form2_->Form_Load(); // its message box may run events, Command3_Click among them
    }
    bringForward(form2_.get());
}

// Visualizitions: the notice on every press, then the video window, loaded
// (and its video started) unless it is loaded already. It unloads itself with
// its Close button or close box; the music here plays on throughout.
void Form1::Command4_Click()
{
    services_.messages.show(
        QStringLiteral("Still in beta, Vis's are only a video at the moment, to be fixed."));
    showSingleWindow(form3_, [this] {
        auto *window = new Form3(services_.appFolder, services_.videoEngine(), this);
        window->Form_Load();
        return window;
    });
}

// Options: loaded on every opening after it was closed; the value it holds
// stays for the whole run.
void Form1::Command5_Click()
{
    if (!form4_)
        form4_ = std::make_unique<Form4>(
            Form4Services{services_.messages, services_.appFolder, services_.stripOnTopAndOpacity});
    form4_->open();
}

void Form1::Command6_Click()
{
    showSingleWindow(aboutBox_, [this] {
        return new FrmAbout({services_.messages, services_.shell.registry, services_.shell.programs,
                             [this] { showBugs(); }},
                            this);
    });
}

FrmAbout *Form1::aboutBox() const
{
    return aboutBox_;
}

Bugs *Form1::bugsWindow() const
{
    return bugsWindow_;
}

void Form1::showBugs()
{
    showSingleWindow(bugsWindow_, [this] { return new Bugs(services_.messages, this); });
}

} // namespace tarn
