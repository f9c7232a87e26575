#include "shell/bugs.h"
#include "platform/message_boxes.h"
#include "shell/program_facts.h"
#include "widgets/window_layout.h"

#include <QMouseEvent>
#include <QPushButton>

namespace tarn {

Bugs::Bugs(MessageBoxes &messages, QWidget *parent) : QWidget(parent), messages_(messages)
{
    setUpFixedWindow(*this, "Bugs", QStringLiteral("Bugs"), 4680, 5730);

    // Created in their tab order.
    Label1 = placeLabel(this, "Label1", QStringLiteral("Bugs"), 120, 120, 4455, 615);
    Label1->setFont(arialFont(18, true));
    Label2 = placeLabel(
        this, "Label2",
        QStringLiteral("If you find a bug please E-mail me the Bug information including, your "
                       "system information, Windows Build Number, Processor, Memory, What you was "
                       "trying to play, What apps you had open at the time, Crash Number and if "
                       "possable, a print screen at the time of the error."),
        120, 960, 4455, 975);
    Label3 = placeLabel(this, "Label3", QStringLiteral("E:Mail"), 120, 2040, 1215, 255);
    Label3->setCursor(Qt::PointingHandCursor);
    setLinkColour(QColor(0, 0, 192)); // until the window has loaded
    Label4 = placeLabel(this, "Label4", QStringLiteral("Known Bugs"), 120, 2640, 4455, 615);
    QFont heading = arialFont(14.25);
    heading.setItalic(true);
    heading.setUnderline(true);
    Label4->setFont(heading);
    Label5 = placeLabel(this, "Label5",
                        QStringLiteral("The playlist is kept only in the playlist files you "
                                       "save. A file the decoder cannot read is skipped."),
                        120, 3360, 4455, 855);
    Label6 = placeLabel(this, "Label6", QStringLiteral("Skins will be added by version 1.2"), 120,
                        4320, 4455, 495);
    Label7 = placeLabel(this, "Label7",
                        QStringLiteral("Next major Update will be V2 which will support more "
                                       "extentions and i plan to fix 90% of the bugs by then."),
                        120, 4680, 4455, 495);
    Command1 =
        place(new QPushButton(QStringLiteral("Close"), this), "Command1", 3240, 5280, 1215, 375);

    // Moves without a button held reach the window and the link.
    setMouseTracking(true);
    Label3->setMouseTracking(true);
    Label3->installEventFilter(this);
    connect(Command1, &QPushButton::clicked, this, &Bugs::Command1_Click);

    Form_Load();
}

void Bugs::Form_Load()
{
    setLinkColour(QColor(0, 0, 255));
}

void Bugs::Form_MouseMove()
{
    setLinkColour(QColor(0, 0, 255));
}

void Bugs::Label3_MouseMove()
{
    setLinkColour(QColor(255, 0, 0));
}

void Bugs::Label3_Click()
{
    messages_.show(QStringLiteral("Email me at ") + kReportAddress +
                       QStringLiteral(" with the subject TPlayer BUG."),
                   MessageIcon::Information, QStringLiteral("E-mail"));
}

void Bugs::Command1_Click()
{
    close();
}

bool Bugs::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != Label3)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseMove:
        Label3_MouseMove();
        return true;
    case QEvent::MouseButtonPress:
        return true; // the link keeps the press, so the release comes back to it
    case QEvent::MouseButtonRelease: {
        // A click: the left button let go over the link it was pressed on.
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton &&
            Label3->rect().contains(mouse->position().toPoint()))
            Label3_Click();
        return true;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void Bugs::mouseMoveEvent(QMouseEvent *event)
{
    // The labels and the button keep the moves over them to themselves (they
    // do not track the pointer), so these are moves over the window's own
    // surface.
    Form_MouseMove();
    QWidget::mouseMoveEvent(event);
}

void Bugs::setLinkColour(const QColor &colour)
{
    QPalette palette = Label3->palette();
    palette.setColor(QPalette::WindowText, colour);
    Label3->setPalette(palette);
}

} // namespace tarn
