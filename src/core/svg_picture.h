// A picture control that draws an SVG stretched over its whole area. The
// drawing is vector all the way to the screen, so it stays sharp at any
// scale factor. A picture that cannot be loaded draws nothing and leaves the
// window's background showing.
#pragma once

#include <QLabel>
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
};

} // namespace tarn
