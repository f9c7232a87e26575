// A picture control that draws an SVG stretched over its whole area. It is
// rendered once per size and scale factor into a pixmap of the screen's own
// pixels, so it stays sharp at any scale, and a repaint of the controls that
// lie on it (the display's time, once a second) only copies pixels. A
// picture that cannot be loaded draws nothing and leaves the window's
// background showing.
#pragma once

#include <QLabel>
#include <QPixmap>
#include <QSvgRenderer>

namespace tarn {

class SvgPicture : public QLabel {
    Q_OBJECT
public:
    SvgPicture(const QString &resource, QWidget *parent);

    bool isLoaded() const { return renderer_.isValid(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QSvgRenderer renderer_;
    QPixmap rendered_; // main thread; remade when the size or scale changes
};

} // namespace tarn
