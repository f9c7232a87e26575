// The application's style: the desktop's own, except that the menu bar's
// overflow arrows are read only when one is drawn. Every menu bar asks for
// them as it is made; reading them loads the icon theme and every image
// format plugin, which would hold up the first window for an arrow that a
// menu bar as wide as its menus never shows.
#pragma once

#include <QProxyStyle>

namespace tarn {

class DeferredIconStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    QIcon standardIcon(StandardPixmap which, const QStyleOption *option = nullptr,
                       const QWidget *widget = nullptr) const override;
};

} // namespace tarn
