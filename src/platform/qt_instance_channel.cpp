#include "platform/qt_instance_channel.h"
#include "platform/local_socket.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace tarn {

namespace {

const QString kPath = QStringLiteral("/org/tarnplayer/TarnPlayer");

const QString kInterface = QStringLiteral("org.tarnplayer.TarnPlayer");

} // namespace

QString QtInstanceChannel::defaultSocketName(QString display, const QString &runtimeFolder)
{
    display.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QString folder =
        !runtimeFolder.isEmpty() && QFileInfo(runtimeFolder).isDir()
            ? QDir(runtimeFolder).filePath(QStringLiteral("tarn-player"))
            : QDir(QDir::tempPath()).filePath(QStringLiteral("tarn-player-%1").arg(::geteuid()));
    return QDir(folder).filePath(QStringLiteral("display%1.socket").arg(display));
}

QtInstanceChannel::QtInstanceChannel(QString display, QString socketName, QDBusConnection bus)
    : bus_(std::move(bus)), display_(std::move(display)), socketName_(std::move(socketName))
{
}

// One player per display: a test or a check under its own X server (with the
// user's session bus) does not hand its files to the desktop's player.
QString QtInstanceChannel::serviceName() const
{
    QString suffix = display_;
    for (QChar &c : suffix)
        if (!(c.isLetterOrNumber() && c.unicode() < 128))
            c = QLatin1Char('_');
    return kInterface + QStringLiteral(".d") + suffix;
}

QtInstanceChannel::~QtInstanceChannel()
{
    if (onBus_) {
        bus_.unregisterObject(kPath);
        bus_.unregisterService(serviceName());
    }
}

InstanceChannel::Claim
QtInstanceChannel::claim(std::function<void(const QStringList &files)> received)
{
    received_ = std::move(received);
    error_.clear();
    if (!bus_.isConnected() || !bus_.interface())
        return claimSocket();
    if (!bus_.registerObject(kPath, this, QDBusConnection::ExportScriptableSlots)) {
        error_ = QStringLiteral("cannot offer %1 on the session bus").arg(kPath);
        return Claim::Unavailable;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus_.interface()->registerService(serviceName(), QDBusConnectionInterface::DontQueueService,
                                          QDBusConnectionInterface::DontAllowReplacement);
    onBus_ = reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
    if (onBus_)
        return Claim::Claimed;
    bus_.unregisterObject(kPath);
    if (reply.isValid()) // not registered, not queued: another process holds the name
        return Claim::Taken;
    error_ = QStringLiteral("cannot take the name %1 on the session bus: %2")
                 .arg(serviceName(), reply.error().message());
    return Claim::Unavailable;
}

InstanceChannel::HandOver QtInstanceChannel::handOver(const QStringList &files, int timeoutMs)
{
    error_.clear();
    if (bus_.isConnected())
        return handOverOnBus(files, timeoutMs);
    switch (sendFiles(socketName_, files, timeoutMs, &error_)) {
    case Sent::Taken:
        return HandOver::Taken;
    case Sent::NoListener:
        return HandOver::NoPlayer;
    case Sent::NotTaken:
        break;
    }
    return HandOver::NotTaken;
}

// One call, waited for as long as allowed: a call that timed out may still be
// answered later, so calling again could open the files twice.
InstanceChannel::HandOver QtInstanceChannel::handOverOnBus(const QStringList &files, int timeoutMs)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(serviceName(), kPath, kInterface, QStringLiteral("Open"));
    call << files;
    const QDBusMessage reply = bus_.call(call, QDBus::Block, timeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return HandOver::Taken;
    error_ =
        QStringLiteral("%1 did not take the files: %2").arg(serviceName(), reply.errorMessage());
    const QString name = reply.errorName();
    // The holder of the name has gone: nothing was delivered.
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return HandOver::NoPlayer;
    return HandOver::NotTaken;
}

// Answered at once; the files are taken from the event loop, so that a
// large folder does not keep the later start waiting for its reply.
void QtInstanceChannel::Open(const QStringList &files)
{
    QMetaObject::invokeMethod(
        this,
        [this, files] {
            if (received_)
                received_(files);
        },
        Qt::QueuedConnection);
}

InstanceChannel::Claim QtInstanceChannel::claimSocket()
{
    const QString path = socketName_;
    LocalName name = claimLocalName(path);
    if (name.taken)
        return Claim::Taken;
    if (!name.socket.valid()) {
        error_ = name.error;
        return Claim::Unavailable;
    }
    server_ = std::make_unique<LocalListener>(std::move(name), path,
                                              [this](const QStringList &files) { Open(files); });
    return Claim::Claimed;
}

} // namespace tarn
