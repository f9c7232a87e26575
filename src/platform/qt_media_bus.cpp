#include "platform/qt_media_bus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>

namespace tarn {

namespace {

const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kTrackIdKey = QStringLiteral("mpris:trackid");

// The two interfaces as introspection shows them; Qt adds the standard ones.
const char kIntrospection[] = R"(
  <interface name="org.mpris.MediaPlayer2">
    <method name="Raise"/>
    <method name="Quit"/>
    <property name="CanQuit" type="b" access="read"/>
    <property name="CanRaise" type="b" access="read"/>
    <property name="HasTrackList" type="b" access="read"/>
    <property name="Identity" type="s" access="read"/>
    <property name="DesktopEntry" type="s" access="read"/>
    <property name="SupportedUriSchemes" type="as" access="read"/>
    <property name="SupportedMimeTypes" type="as" access="read"/>
  </interface>
  <interface name="org.mpris.MediaPlayer2.Player">
    <method name="Next"/>
    <method name="Previous"/>
    <method name="Pause"/>
    <method name="PlayPause"/>
    <method name="Stop"/>
    <method name="Play"/>
    <method name="Seek"><arg direction="in" name="Offset" type="x"/></method>
    <method name="SetPosition">
      <arg direction="in" name="TrackId" type="o"/>
      <arg direction="in" name="Position" type="x"/>
    </method>
    <method name="OpenUri"><arg direction="in" name="Uri" type="s"/></method>
    <signal name="Seeked"><arg name="Position" type="x"/></signal>
    <property name="PlaybackStatus" type="s" access="read"/>
    <property name="LoopStatus" type="s" access="readwrite"/>
    <property name="Rate" type="d" access="readwrite"/>
    <property name="Shuffle" type="b" access="readwrite"/>
    <property name="Metadata" type="a{sv}" access="read"/>
    <property name="Volume" type="d" access="readwrite"/>
    <property name="Position" type="x" access="read"/>
    <property name="MinimumRate" type="d" access="read"/>
    <property name="MaximumRate" type="d" access="read"/>
    <property name="CanGoNext" type="b" access="read"/>
    <property name="CanGoPrevious" type="b" access="read"/>
    <property name="CanPlay" type="b" access="read"/>
    <property name="CanPause" type="b" access="read"/>
    <property name="CanSeek" type="b" access="read"/>
    <property name="CanControl" type="b" access="read"/>
  </interface>
)";

// Argument signature of each method.
QString methodSignature(const QString &interface, const QString &method)
{
    if (interface == kMprisPlayer) {
        if (method == QLatin1String("Seek"))
            return QStringLiteral("x");
        if (method == QLatin1String("SetPosition"))
            return QStringLiteral("ox");
        if (method == QLatin1String("OpenUri"))
            return QStringLiteral("s");
    }
    return {};
}

// The track id goes on the bus as an object path.
QVariantMap withTrackIdPath(QVariantMap properties)
{
    const auto metadata = properties.find(QStringLiteral("Metadata"));
    if (metadata != properties.end()) {
        QVariantMap map = metadata->toMap();
        if (map.contains(kTrackIdKey))
            map[kTrackIdKey] = QVariant::fromValue(QDBusObjectPath(map[kTrackIdKey].toString()));
        *metadata = map;
    }
    return properties;
}

// A variant or an object path from the bus as the handler takes it.
QVariant fromBus(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<QDBusVariant>())
        return fromBus(value.value<QDBusVariant>().variant());
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value;
}

} // namespace

class QtMediaBus::Object final : public QDBusVirtualObject {
public:
    explicit Object(MediaBusHandler &handler) : handler_(handler) {}

    QString introspect(const QString &) const override { return QString::fromUtf8(kIntrospection); }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &bus) override
    {
        const QDBusMessage reply = answer(message);
        if (message.isReplyRequired())
            bus.send(reply);
        return true;
    }

private:
    QDBusMessage answer(const QDBusMessage &message)
    {
        const QString interface = message.interface();
        const QString member = message.member();
        QVariantList args;
        for (const QVariant &arg : message.arguments())
            args << fromBus(arg);
        if (interface == kPropertiesInterface)
            return answerProperties(message, member, args);
        if (interface != kMprisRoot && interface != kMprisPlayer)
            return message.createErrorReply(QDBusError::UnknownInterface, interface);
        if (message.signature() != methodSignature(interface, member))
            return message.createErrorReply(QDBusError::InvalidSignature, member);
        if (!handler_.call(interface, member, args))
            return message.createErrorReply(QDBusError::UnknownMethod, member);
        return message.createReply();
    }

    QDBusMessage answerProperties(const QDBusMessage &message, const QString &member,
                                  const QVariantList &args)
    {
        const QString interface = args.value(0).toString();
        if (interface != kMprisRoot && interface != kMprisPlayer)
            return message.createErrorReply(QDBusError::UnknownInterface, interface);
        if (member == QLatin1String("GetAll") && message.signature() == QLatin1String("s"))
            return message.createReply(withTrackIdPath(handler_.properties(interface)));
        if (member == QLatin1String("Get") && message.signature() == QLatin1String("ss")) {
            const QVariantMap all = withTrackIdPath(handler_.properties(interface));
            const QString name = args.value(1).toString();
            if (!all.contains(name))
                return message.createErrorReply(QDBusError::UnknownProperty, name);
            return message.createReply(QVariant::fromValue(QDBusVariant(all.value(name))));
        }
        if (member == QLatin1String("Set") && message.signature() == QLatin1String("ssv")) {
            if (!handler_.setProperty(interface, args.value(1).toString(), args.value(2)))
                return message.createErrorReply(QDBusError::PropertyReadOnly,
                                                args.value(1).toString());
            return message.createReply();
        }
        return message.createErrorReply(QDBusError::UnknownMethod, member);
    }

    MediaBusHandler &handler_;
};

QtMediaBus::QtMediaBus(QString player, QDBusConnection bus)
    : serviceName_(kMprisRoot + QLatin1Char('.') + player), bus_(std::move(bus))
{
}

QtMediaBus::~QtMediaBus()
{
    if (!object_)
        return;
    bus_.unregisterObject(kObjectPath);
    bus_.unregisterService(serviceName_);
}

bool QtMediaBus::publish(MediaBusHandler &handler)
{
    if (object_ || !bus_.isConnected() || !bus_.interface())
        return false;
    auto object = std::make_unique<Object>(handler);
    if (!bus_.registerVirtualObject(kObjectPath, object.get()))
        return false;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus_.interface()->registerService(serviceName_, QDBusConnectionInterface::DontQueueService,
                                          QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        bus_.unregisterObject(kObjectPath);
        return false;
    }
    object_ = std::move(object);
    return true;
}

void QtMediaBus::propertiesChanged(const QString &interface, const QVariantMap &changed)
{
    if (!object_ || changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(kObjectPath, kPropertiesInterface,
                                                     QStringLiteral("PropertiesChanged"));
    signal << interface << withTrackIdPath(changed) << QStringList();
    bus_.send(signal);
}

void QtMediaBus::seeked(qlonglong positionUs)
{
    if (!object_)
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(kObjectPath, kMprisPlayer, QStringLiteral("Seeked"));
    signal << positionUs;
    bus_.send(signal);
}

} // namespace tarn
