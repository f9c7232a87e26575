#include "widgets/hot_spot.h"

#include <QMouseEvent>
#include <QPainter>

namespace tarn {

HotSpot::HotSpot(const QString &name, const QString &action, QWidget *parent) : QLabel(parent)
{
    setObjectName(name);
    setCursor(Qt::PointingHandCursor);
    setToolTip(action);
    setAccessibleName(action);
    setAttribute(Qt::WA_Hover);
}

void HotSpot::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        pressed_ = true;
        update();
    }
    QLabel::mousePressEvent(event);
}

void HotSpot::mouseReleaseEvent(QMouseEvent *event)
{
    // Like a button: the click counts only when released over the spot.
    const bool wasPressed = pressed_;
    if (event->button() == Qt::LeftButton) {
        pressed_ = false;
        update();
    }
    if (wasPressed && event->button() == Qt::LeftButton &&
        rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

void HotSpot::enterEvent(QEnterEvent *event)
{
    update();
    QLabel::enterEvent(event);
}

void HotSpot::leaveEvent(QEvent *event)
{
    update();
    QLabel::leaveEvent(event);
}

void HotSpot::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    if (!underMouse() && !pressed_)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(pressed_ ? QColor(0, 0, 0, 90) : QColor(255, 255, 255, 40));
    painter.drawEllipse(QRectF(rect()).adjusted(2.5, 2.5, -2.5, -2.5));
}

} // namespace tarn
