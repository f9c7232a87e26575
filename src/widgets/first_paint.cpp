#include "widgets/first_paint.h"

#include <QEvent>
#include <QTimer>

namespace tarn {

namespace {

// Lives as a child of the window, so nothing runs once the window is gone.
class FirstPaintWatch final : public QObject {
public:
    FirstPaintWatch(QWidget &window, std::function<void()> then, std::chrono::milliseconds latest)
        : QObject(&window), then_(std::move(then))
    {
        window.installEventFilter(this);
        latest_.setSingleShot(true);
        connect(&latest_, &QTimer::timeout, this, &FirstPaintWatch::run);
        latest_.start(latest);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // The paint itself comes first: run once the event loop is back.
        if (event->type() == QEvent::Paint && !queued_) {
            queued_ = true;
            QTimer::singleShot(0, this, &FirstPaintWatch::run);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void run()
    {
        if (!then_)
            return;
        parent()->removeEventFilter(this);
        latest_.stop();
        std::exchange(then_, {})();
        deleteLater();
    }

    std::function<void()> then_;
    QTimer latest_;
    bool queued_ = false;
};

} // namespace

void afterFirstPaint(QWidget &window, std::function<void()> then, std::chrono::milliseconds latest)
{
    new FirstPaintWatch(window, std::move(then), latest); // owned by the window
}

} // namespace tarn
