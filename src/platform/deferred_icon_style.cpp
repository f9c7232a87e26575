#include "platform/deferred_icon_style.h"

#include <QIconEngine>
#include <QPainter>
#include <QPointer>

namespace tarn {

namespace {

// Stands for one of a style's standard icons and asks the style for it at
// the first question that needs the picture.
class DeferredIconEngine final : public QIconEngine {
public:
    DeferredIconEngine(QStyle *style, QStyle::StandardPixmap which) : style_(style), which_(which)
    {
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override
    {
        return icon().pixmap(size, scale, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return icon().availableSizes(mode, state);
    }
    bool isNull() override { return icon().isNull(); }
    QIconEngine *clone() const override { return new DeferredIconEngine(style_, which_); }

private:
    const QIcon &icon()
    {
        if (!read_ && style_) {
            icon_ = style_->standardIcon(which_);
            read_ = true;
        }
        return icon_;
    }

    QPointer<QStyle> style_; // the style the proxy stands in front of
    QStyle::StandardPixmap which_;
    bool read_ = false;
    QIcon icon_;
};

} // namespace

QIcon DeferredIconStyle::standardIcon(StandardPixmap which, const QStyleOption *option,
                                      const QWidget *widget) const
{
    if (which == SP_ToolBarHorizontalExtensionButton || which == SP_ToolBarVerticalExtensionButton)
        return QIcon(new DeferredIconEngine(baseStyle(), which));
    return QProxyStyle::standardIcon(which, option, widget);
}

} // namespace tarn
