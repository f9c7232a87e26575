// An up-down control: two small arrow buttons, one above the other, with no
// text of their own, that step a whole number by 1 within its limits. It does
// not wrap at a limit. A value set from outside the limits is kept as it is;
// the first step brings it to the nearest limit. The Up and Down keys step
// too when it has the focus.
#pragma once

#include <QWidget>

class QToolButton;

namespace tarn {

class UpDown : public QWidget {
    Q_OBJECT
public:
    UpDown(int minimum, int maximum, QWidget *parent = nullptr);

    int value() const { return value_; }
    void setValue(int value); // reports no change
    void stepBy(int steps);   // as the user's clicks; reports a change

    QToolButton *upButton() const { return up_; }
    QToolButton *downButton() const { return down_; }

signals:
    void changed(int value); // the user stepped it to a new value

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QToolButton *up_;
    QToolButton *down_;
    int minimum_;
    int maximum_;
    int value_;
};

} // namespace tarn
