// The desktop's media controls (media keys, panel and lock-screen widgets,
// playerctl) as the player sees them: one object on the user's session bus
// under the MPRIS 2 name org.mpris.MediaPlayer2.<name>, path
// /org/mpris/MediaPlayer2, with the interfaces org.mpris.MediaPlayer2 and
// org.mpris.MediaPlayer2.Player.
//
// The bus side knows only the protocol: names, argument types, property
// reads and writes. What a call does and what a property holds is the
// handler's. UI thread only: calls reach the handler on the thread that
// published it, between other events.
#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

namespace tarn {

inline const QString kMprisRoot = QStringLiteral("org.mpris.MediaPlayer2");
inline const QString kMprisPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");

// What the bus asks of the player. Property values use the types the
// interfaces declare: bool, double, qlonglong (positions and lengths in
// microseconds), QString, QStringList, QVariantMap; a track id is a
// QDBusObjectPath, which the handler gives and takes as a path QString.
class MediaBusHandler {
public:
    virtual ~MediaBusHandler() = default;

    // Every property of `interface`, read now.
    virtual QVariantMap properties(const QString &interface) const = 0;
    // A write to a writable property (LoopStatus, Volume, Shuffle, Rate).
    // Returns false for a property that cannot be written or a value of the
    // wrong type.
    virtual bool setProperty(const QString &interface, const QString &name,
                             const QVariant &value) = 0;
    // A method call with its arguments, already checked against the method's
    // signature. Returns false for an unknown method.
    virtual bool call(const QString &interface, const QString &method,
                      const QVariantList &args) = 0;
};

class MediaBus {
public:
    virtual ~MediaBus() = default;

    // Registers the object and takes the bus name. False, with nothing left
    // behind, when there is no session bus or the name is taken.
    virtual bool publish(MediaBusHandler &handler) = 0;
    // org.freedesktop.DBus.Properties.PropertiesChanged for `interface`.
    virtual void propertiesChanged(const QString &interface, const QVariantMap &changed) = 0;
    // org.mpris.MediaPlayer2.Player.Seeked, the new position in microseconds.
    virtual void seeked(qlonglong positionUs) = 0;
};

} // namespace tarn
