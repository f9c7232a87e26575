// A session bus that records what the player announces: each
// PropertiesChanged as "Interface: Key=value, ..." (keys sorted, Metadata as
// its title) and each Seeked as "Seeked=<microseconds>". `available` false
// acts as no bus, or a name that is taken.
#pragma once

#include "platform/media_bus.h"

#include <QStringList>

namespace tarn::test {

class FakeMediaBus final : public MediaBus {
public:
    bool available = true;
    MediaBusHandler *handler = nullptr;
    QStringList signals_;

    bool publish(MediaBusHandler &h) override
    {
        if (!available)
            return false;
        handler = &h;
        return true;
    }
    void propertiesChanged(const QString &interface, const QVariantMap &changed) override
    {
        QStringList parts;
        for (auto it = changed.cbegin(); it != changed.cend(); ++it) {
            const QVariant v = it.key() == QLatin1String("Metadata")
                                   ? it.value().toMap().value(QStringLiteral("xesam:title"))
                                   : it.value();
            parts << it.key() + QLatin1Char('=') + v.toString();
        }
        signals_ << interface.section(QLatin1Char('.'), -1) + QStringLiteral(": ") +
                        parts.join(QStringLiteral(", "));
    }
    void seeked(qlonglong positionUs) override
    {
        signals_ << QStringLiteral("Seeked=") + QString::number(positionUs);
    }
};

} // namespace tarn::test
