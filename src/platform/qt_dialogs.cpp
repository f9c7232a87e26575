#include "platform/file_dialogs.h"
#include "platform/message_boxes.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>

namespace tarn {

namespace {

QWidget *dialogParent()
{
    return QApplication::activeWindow();
}

QFileDialog::Options dialogOptions()
{
    return QFileDialog::DontUseNativeDialog;
}

} // namespace

QString QtFileDialogs::getOpenFileName(const QString &title, const QString &filter)
{
    return QFileDialog::getOpenFileName(dialogParent(), title, QString(), filter, nullptr,
                                        dialogOptions());
}

QStringList QtFileDialogs::getOpenFileNames(const QString &title, const QString &filter)
{
    return QFileDialog::getOpenFileNames(dialogParent(), title, QString(), filter, nullptr,
                                         dialogOptions());
}

QString QtFileDialogs::getSaveFileName(const QString &title, const QString &filter)
{
    return QFileDialog::getSaveFileName(dialogParent(), title, QString(), filter, nullptr,
                                        dialogOptions());
}

void QtMessageBoxes::show(const QString &text, MessageIcon icon, const QString &title)
{
    QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
    switch (icon) {
    case MessageIcon::None:
        break;
    case MessageIcon::Information:
        qtIcon = QMessageBox::Information;
        break;
    case MessageIcon::Exclamation:
        qtIcon = QMessageBox::Warning;
        break;
    case MessageIcon::Critical:
        qtIcon = QMessageBox::Critical;
        break;
    }
    QMessageBox box(qtIcon, title, text, QMessageBox::Ok, dialogParent());
    // Texts carry file names, which may look like markup ("<b>party</b>.TPL",
    // an <img> tag): shown as they are, never interpreted.
    box.setTextFormat(Qt::PlainText);
    // A short text makes a box so narrow that the window manager cuts its
    // caption; keep room for it. Only a text narrower than that gets the
    // minimum: the box takes a label's minimum for the text's width, so a
    // longer text (or the icon, had it the minimum too) would be cut off.
    constexpr int kMinTextWidth = 220;
    auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
    if (label && label->sizeHint().width() < kMinTextWidth)
        label->setMinimumWidth(kMinTextWidth);
    box.exec();
}

} // namespace tarn
