// A transparent label that acts as a button: a click on it is the press of
// the transport symbol painted beneath it. It shows a pointing hand, a soft
// ring while the pointer is over it and a darker one while it is held down,
// and carries its action's word as tooltip and accessible name.
#pragma once

#include <QLabel>

namespace tarn {

class HotSpot : public QLabel {
    Q_OBJECT
public:
    // `name` is the control's object name, `action` the word shown to users
    // ("Play").
    HotSpot(const QString &name, const QString &action, QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool pressed_ = false;
};

} // namespace tarn
