// InstanceChannel on the session bus (the name org.tarnplayer.TarnPlayer.d<display>,
// method Open(as) on /org/tarnplayer/TarnPlayer), or, with no session bus,
// on a local socket in the user's runtime folder named for the display.
#pragma once

#include "platform/instance_channel.h"

#include <QDBusConnection>
#include <QObject>

#include <memory>

namespace tarn {

class LocalListener;

class QtInstanceChannel final : public QObject, public InstanceChannel {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tarnplayer.TarnPlayer")
public:
    // `socketName` is the local socket's full path, used when `bus` is not
    // connected; empty for the default one of this user and display.
    explicit QtInstanceChannel(QDBusConnection bus = QDBusConnection::sessionBus(),
                               QString socketName = {});
    ~QtInstanceChannel() override;

    bool claim(std::function<void(const QStringList &files)> received) override;
    bool handOver(const QStringList &files) override;

public slots:
    Q_SCRIPTABLE void Open(const QStringList &files); // from a later start, over the bus

private:
    QString socketName();
    bool claimSocket();

    QDBusConnection bus_;
    QString socketName_;
    bool onBus_ = false;
    std::unique_ptr<LocalListener> server_;
    std::function<void(const QStringList &)> received_;
};

} // namespace tarn
