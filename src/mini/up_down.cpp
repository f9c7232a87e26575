#include "mini/up_down.h"

#include <QKeyEvent>
#include <QPainter>
#include <QToolButton>

#include <algorithm>

namespace tarn {

UpDown::UpDown(int minimum, int maximum, QWidget *parent)
    : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this)), minimum_(minimum),
      maximum_(maximum), value_(minimum)
{
    setFocusPolicy(Qt::StrongFocus);
    for (auto [button, arrow, name, step] :
         {std::tuple{up_, Qt::UpArrow, "Up", 1}, std::tuple{down_, Qt::DownArrow, "Down", -1}}) {
        button->setArrowType(arrow);
        button->setObjectName(QString::fromLatin1(name));
        button->setAccessibleName(QString::fromLatin1(name));
        button->setFocusPolicy(Qt::NoFocus); // the control as a whole takes the focus
        button->setAutoRepeat(true);         // held down, it keeps stepping
        connect(button, &QToolButton::clicked, this, [this, step] { stepBy(step); });
    }
}

void UpDown::setValue(int value)
{
    value_ = value;
}

void UpDown::stepBy(int steps)
{
    const int stepped = std::clamp(value_ + steps, minimum_, maximum_);
    if (stepped == value_)
        return;
    value_ = stepped;
    emit changed(value_);
}

void UpDown::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Up)
        stepBy(1);
    else if (event->key() == Qt::Key_Down)
        stepBy(-1);
    else
        QWidget::keyPressEvent(event);
}

// The buttons fill the control inside a one-pixel edge, where the focus shows.
void UpDown::resizeEvent(QResizeEvent *event)
{
    const QRect inner = rect().adjusted(1, 1, -1, -1);
    const int half = inner.height() / 2;
    up_->setGeometry(inner.x(), inner.y(), inner.width(), half);
    down_->setGeometry(inner.x(), inner.y() + half, inner.width(), inner.height() - half);
    QWidget::resizeEvent(event);
}

void UpDown::focusInEvent(QFocusEvent *event)
{
    update();
    QWidget::focusInEvent(event);
}

void UpDown::focusOutEvent(QFocusEvent *event)
{
    update();
    QWidget::focusOutEvent(event);
}

void UpDown::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (!hasFocus())
        return;
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Highlight));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace tarn
