// Controls are placed at their design positions, given in twips: 15 twips are
// one pixel at 96 dpi.
#pragma once

#include <QString>
#include <QWidget>

namespace tarn {

constexpr int twipsToPixels(int twips)
{
    return twips / 15;
}

// Names `widget` and puts it at its design rectangle (twips) in its parent.
template <typename W>
W *place(W *widget, const char *name, int left, int top, int width, int height)
{
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                        twipsToPixels(height));
    return widget;
}

} // namespace tarn
