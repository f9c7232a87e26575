// InstanceChannel on the session bus (the name org.tarnplayer.TarnPlayer.d<display>,
// method Open(as) on /org/tarnplayer/TarnPlayer), or, with no session bus,
// on a local socket (see local_socket.h) in a folder of this user's own,
// named for the display.
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
    // `display` names the display this player serves (one player per
    // display); `socketName` is the local socket's full path, used when
    // `bus` is not connected (defaultSocketName()).
    QtInstanceChannel(QString display, QString socketName,
                      QDBusConnection bus = QDBusConnection::sessionBus());
    ~QtInstanceChannel() override;

    Claim claim(std::function<void(const QStringList &files)> received) override;
    HandOver handOver(const QStringList &files, int timeoutMs) override;
    QString error() const override { return error_; }

    // The socket of this user and display: display<DISPLAY>.socket in
    // `runtimeFolder`/tarn-player (XDG_RUNTIME_DIR), or, without a runtime
    // folder, in /tmp/tarn-player-UID (the temporary folder of $TMPDIR).
    static QString defaultSocketName(QString display, const QString &runtimeFolder);

public slots:
    Q_SCRIPTABLE void Open(const QStringList &files); // from a later start, over the bus

private:
    QString serviceName() const;
    Claim claimSocket();
    HandOver handOverOnBus(const QStringList &files, int timeoutMs);

    QDBusConnection bus_;
    QString display_;
    QString socketName_;
    bool onBus_ = false;
    std::unique_ptr<LocalListener> server_;
    std::function<void(const QStringList &)> received_;
    QString error_;
};

} // namespace tarn
