#include "platform/qt_instance_channel.h"
#include "platform/local_socket.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace tarn {

namespace {

const QString kPath = QStringLiteral("/org/tarnplayer/TarnPlayer");
constexpr int kTimeoutMs = 5000;

const QString kInterface = QStringLiteral("org.tarnplayer.TarnPlayer");

QString display()
{
    return qEnvironmentVariable("DISPLAY", qEnvironmentVariable("WAYLAND_DISPLAY"));
}

// One player per display: a test or a check under its own X server (with the
// user's session bus) does not hand its files to the desktop's player.
QString serviceName()
{
    QString suffix = display();
    for (QChar &c : suffix)
        if (!(c.isLetterOrNumber() && c.unicode() < 128))
            c = QLatin1Char('_');
    return kInterface + QStringLiteral(".d") + suffix;
}

// One socket per user and display, in the user's runtime folder.
QString defaultSocketName()
{
    QString display = tarn::display();
    display.replace(QLatin1Char('/'), QLatin1Char('_'));
    // Read directly: Qt's own lookup warns on stderr when it is not set.
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::tempPath();
    return QDir(folder).filePath(
        QStringLiteral("tarn-player-%1-%2.socket").arg(::getuid()).arg(display));
}

} // namespace

QtInstanceChannel::QtInstanceChannel(QDBusConnection bus, QString socketName)
    : bus_(std::move(bus)), socketName_(std::move(socketName))
{
}

QtInstanceChannel::~QtInstanceChannel()
{
    if (onBus_) {
        bus_.unregisterObject(kPath);
        bus_.unregisterService(serviceName());
    }
}

bool QtInstanceChannel::claim(std::function<void(const QStringList &files)> received)
{
    received_ = std::move(received);
    if (!bus_.isConnected() || !bus_.interface())
        return claimSocket();
    if (!bus_.registerObject(kPath, this, QDBusConnection::ExportScriptableSlots))
        return false;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus_.interface()->registerService(serviceName(), QDBusConnectionInterface::DontQueueService,
                                          QDBusConnectionInterface::DontAllowReplacement);
    onBus_ = reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
    if (!onBus_)
        bus_.unregisterObject(kPath);
    return onBus_;
}

bool QtInstanceChannel::handOver(const QStringList &files)
{
    if (bus_.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(serviceName(), kPath, kInterface,
                                                           QStringLiteral("Open"));
        call << files;
        return bus_.call(call, QDBus::Block, kTimeoutMs).type() == QDBusMessage::ReplyMessage;
    }
    const UniqueFd socket = connectLocal(socketName());
    if (!socket.valid())
        return false;
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << files;
    return sendAll(socket, bytes, kTimeoutMs);
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

QString QtInstanceChannel::socketName()
{
    if (socketName_.isEmpty())
        socketName_ = defaultSocketName();
    return socketName_;
}

bool QtInstanceChannel::claimSocket()
{
    const QString name = socketName();
    // Listening replaces the socket of a running player, so ask first
    // whether one answers.
    if (connectLocal(name).valid())
        return false;
    server_ = LocalListener::listen(name, [this](const QByteArray &message) {
        QStringList files;
        QDataStream in(message);
        in >> files;
        if (in.status() == QDataStream::Ok)
            Open(files);
    });
    return server_ != nullptr;
}

} // namespace tarn
