// A transparent label that acts as a button: a click on it is the press of
// the transport symbol painted beneath it.
#pragma once

#include <QLabel>

namespace tarn {

class HotSpot : public QLabel {
    Q_OBJECT
public:
    explicit HotSpot(const QString &name, QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};

} // namespace tarn
