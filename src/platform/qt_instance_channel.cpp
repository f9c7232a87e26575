#include "platform/qt_instance_channel.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

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
    QLocalSocket socket;
    socket.connectToServer(socketName());
    if (!socket.waitForConnected(kTimeoutMs))
        return false;
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << files;
    socket.write(bytes);
    if (!socket.waitForBytesWritten(kTimeoutMs))
        return false;
    socket.disconnectFromServer();
    return socket.state() == QLocalSocket::UnconnectedState ||
           socket.waitForDisconnected(kTimeoutMs);
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
    // Listening would replace the socket of a running player (the socket is
    // made aside and renamed into place), so ask first whether one answers.
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(kTimeoutMs))
        return false;
    QLocalServer::removeServer(name); // left by a player that died
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name)) {
        server_.reset();
        return false;
    }
    connect(server_.get(), &QLocalServer::newConnection, this,
            &QtInstanceChannel::acceptConnection);
    return true;
}

void QtInstanceChannel::acceptConnection()
{
    while (QLocalSocket *socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // The sender closes when it has written everything.
        connect(socket, &QLocalSocket::readChannelFinished, this, [this, socket] {
            QStringList files;
            QDataStream in(socket->readAll());
            in >> files;
            if (in.status() == QDataStream::Ok)
                Open(files);
        });
    }
}

} // namespace tarn
