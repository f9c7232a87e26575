#include "core/svg_picture.h"

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
    QPainter painter(this);
    renderer_.render(&painter, QRectF(rect()));
}

} // namespace tarn
