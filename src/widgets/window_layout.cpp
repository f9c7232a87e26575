#include "widgets/window_layout.h"

#include <QIcon>
#include <QPalette>

namespace tarn {

QLabel *placeLabel(QWidget *parent, const char *name, const QString &text, int left, int top,
                   int width, int height)
{
    auto *label = place(new QLabel(text, parent), name, left, top, width, height);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QFont arialFont(qreal points, bool bold)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

void setUpFixedWindow(QWidget &window, const char *name, const QString &caption, int width,
                      int height)
{
    window.setObjectName(QString::fromLatin1(name));
    window.setWindowTitle(caption);
    window.setWindowIcon(QIcon(QStringLiteral(":/art/program.svg")));
    window.setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint);
    window.setFixedSize(twipsToPixels(width), twipsToPixels(height));
    // The design's texts are black on a dialog's grey, whatever the desktop's
    // colours: a dark theme would leave them unreadable.
    window.setPalette(QPalette(QColor(0xf0, 0xf0, 0xf0)));
    window.setAutoFillBackground(true);
    window.setFont(arialFont(8.25));
}

} // namespace tarn
