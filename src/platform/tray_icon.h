// The notification-area (tray) icon as the windows see it: a switch that puts
// the icon there, balloon messages beside it, and three requests the user makes
// on it. Which gesture makes which request is the implementation's choice; the
// Qt one is documented below. Everything runs on the UI thread.
#pragma once

#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>

#include <functional>
#include <vector>

namespace tarn {

enum class TrayRequest {
    Menu,       // the user wants the popup menu
    Restore,    // the user wants the main window back
    Information // the user wants to know what the program is
};

class TrayIcon {
public:
    // Balloon icon kinds, as passed to showBalloon.
    static constexpr int kNoIcon = 0;
    static constexpr int kInformation = 1;
    static constexpr int kWarning = 2;
    static constexpr int kError = 3;

    virtual ~TrayIcon() = default;
    // The icon switch: on puts the icon into the notification area, now or as
    // soon as a tray host appears.
    virtual void setIconVisible(bool on) = 0;
    virtual void showBalloon(const QString &title, const QString &text, int iconKind,
                             int timeoutMs) = 0;
    // Whether a tray host shows the icon now. Without one nothing may hide
    // the main window into the tray.
    virtual bool isHostAvailable() const = 0;
    // Receives every request; an empty function drops them.
    virtual void setRequestHandler(std::function<void(TrayRequest)> handler) = 0;
};

// A tray that never has a host: the player without a notification area.
class NoTrayIcon final : public TrayIcon {
public:
    void setIconVisible(bool) override {}
    void showBalloon(const QString &, const QString &, int, int) override {}
    bool isHostAvailable() const override { return false; }
    void setRequestHandler(std::function<void(TrayRequest)>) override {}
};

// QSystemTrayIcon. Right click: menu. Left click: menu, once the double-click
// interval has passed without a second click (opening it at once would take
// the second click of a double click). Double click: restore. Middle click:
// information.
//
// The icon (drawn from `iconFile`) and what the windows ask of it wait for
// start(): the program calls it once its window is up, so that building the
// window does not wait for the icon's picture, the tray host or the
// balloon's artwork. Requests made before then are carried out in order.
//
// On X11 the icon goes into a tray host that appears later; on Wayland Qt
// uses a StatusNotifier host only when one runs as the program starts.
class QtTrayIcon final : public TrayIcon {
public:
    explicit QtTrayIcon(QString iconFile);
    void start();

    void setIconVisible(bool on) override;
    void showBalloon(const QString &title, const QString &text, int iconKind,
                     int timeoutMs) override;
    bool isHostAvailable() const override;
    void setRequestHandler(std::function<void(TrayRequest)> handler) override;

    // What the icon reports, as the tray host delivers it (tests call it too).
    void activated(QSystemTrayIcon::ActivationReason reason);

private:
    void request(TrayRequest what);
    void whenStarted(std::function<void()> step);

    QString iconFile_;
    bool started_ = false;
    std::vector<std::function<void()>> waiting_; // asked before start(), in order
    QSystemTrayIcon icon_;
    QTimer singleClick_; // runs from a left click until it counts as a single click
    std::function<void(TrayRequest)> handler_;
};

} // namespace tarn
