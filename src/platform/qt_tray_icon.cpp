#include "platform/tray_icon.h"

#include <QApplication>
#include <QGuiApplication>

#include <utility>

namespace tarn {

QtTrayIcon::QtTrayIcon(QString iconFile) : iconFile_(std::move(iconFile))
{
    singleClick_.setSingleShot(true);
    QObject::connect(&singleClick_, &QTimer::timeout, &icon_,
                     [this] { request(TrayRequest::Menu); });
    QObject::connect(&icon_, &QSystemTrayIcon::activated, &icon_,
                     [this](QSystemTrayIcon::ActivationReason reason) { activated(reason); });
}

void QtTrayIcon::start()
{
    if (started_)
        return;
    started_ = true;
    if (!iconFile_.isEmpty())
        icon_.setIcon(QIcon(iconFile_));
    for (const auto &step : std::exchange(waiting_, {}))
        step();
}

void QtTrayIcon::whenStarted(std::function<void()> step)
{
    if (started_)
        step();
    else
        waiting_.push_back(std::move(step));
}

void QtTrayIcon::setIconVisible(bool on)
{
    // On X11 Qt keeps a shown icon and puts it into a tray host that appears
    // later. Elsewhere (Wayland) it looks for a host once, at start: without
    // one the icon has nowhere to go, and Qt would only warn about it.
    whenStarted([this, on] {
        if (on && QGuiApplication::platformName() != QLatin1String("xcb") &&
            !QSystemTrayIcon::isSystemTrayAvailable())
            return;
        icon_.setVisible(on);
    });
}

void QtTrayIcon::showBalloon(const QString &title, const QString &text, int iconKind, int timeoutMs)
{
    QSystemTrayIcon::MessageIcon icon = QSystemTrayIcon::Information;
    switch (iconKind) {
    case kNoIcon:
        icon = QSystemTrayIcon::NoIcon;
        break;
    case kWarning:
        icon = QSystemTrayIcon::Warning;
        break;
    case kError:
        icon = QSystemTrayIcon::Critical;
        break;
    default:
        break;
    }
    whenStarted([=, this] { icon_.showMessage(title, text, icon, timeoutMs); });
}

bool QtTrayIcon::isHostAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTrayIcon::setRequestHandler(std::function<void(TrayRequest)> handler)
{
    handler_ = std::move(handler);
}

void QtTrayIcon::activated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Context:
        request(TrayRequest::Menu);
        break;
    case QSystemTrayIcon::Trigger:
        singleClick_.start(QApplication::doubleClickInterval());
        break;
    case QSystemTrayIcon::DoubleClick:
        singleClick_.stop(); // its first click opens no menu
        request(TrayRequest::Restore);
        break;
    case QSystemTrayIcon::MiddleClick:
        request(TrayRequest::Information);
        break;
    case QSystemTrayIcon::Unknown:
        break;
    }
}

void QtTrayIcon::request(TrayRequest what)
{
    if (handler_)
        handler_(what);
}

} // namespace tarn
