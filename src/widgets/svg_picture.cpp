#include "widgets/svg_picture.h"

#include <QPaintEvent>
#include <QPainter>

namespace tarn {

SvgPicture::SvgPicture(const QString &resource, QWidget *parent)
    : QLabel(parent), renderer_(resource)
{
    renderer_.setAspectRatioMode(Qt::IgnoreAspectRatio); // stretched, as the design has it
}

void SvgPicture::paintEvent(QPaintEvent *event)
{
    if (!renderer_.isValid()) {
        QLabel::paintEvent(event);
        return;
    }
    const qreal scale = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * scale).toSize();
    if (pixels.isEmpty())
        return;
    if (rendered_.size() != pixels || rendered_.devicePixelRatio() != scale) {
        rendered_ = QPixmap(pixels);
        rendered_.fill(Qt::transparent);
        rendered_.setDevicePixelRatio(scale);
        QPainter painter(&rendered_);
        renderer_.render(&painter, QRectF(rect()));
    }
    // The source rectangle is in the pixmap's own (device) pixels.
    const QRectF area(event->rect());
    QPainter painter(this);
    painter.drawPixmap(area, rendered_, QRectF(area.topLeft() * scale, area.size() * scale));
}

} // namespace tarn
