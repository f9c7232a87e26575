// MediaBus on the user's session bus, with Qt D-Bus. The object is served as
// a virtual object: this class answers introspection, the properties
// interface and the MPRIS methods itself, checks each call's signature, and
// hands the rest to the handler.
#pragma once

#include "platform/media_bus.h"

#include <QDBusConnection>

#include <memory>

namespace tarn {

class QtMediaBus final : public MediaBus {
public:
    // `player` is the last part of the bus name org.mpris.MediaPlayer2.<player>.
    explicit QtMediaBus(QString player, QDBusConnection bus = QDBusConnection::sessionBus());
    ~QtMediaBus() override; // gives the name and the object back

    bool publish(MediaBusHandler &handler) override;
    void propertiesChanged(const QString &interface, const QVariantMap &changed) override;
    void seeked(qlonglong positionUs) override;

private:
    class Object;
    QString serviceName_;
    QDBusConnection bus_;
    std::unique_ptr<Object> object_; // while published
};

} // namespace tarn
