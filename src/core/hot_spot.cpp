#include "core/hot_spot.h"

#include <QMouseEvent>

namespace tarn {

HotSpot::HotSpot(const QString &name, QWidget *parent) : QLabel(parent)
{
    setObjectName(name);
    setAttribute(Qt::WA_TranslucentBackground);
    setCursor(Qt::PointingHandCursor);
}

void HotSpot::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

} // namespace tarn
