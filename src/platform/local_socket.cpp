#include "platform/local_socket.h"

#include <QDataStream>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tarn {

namespace {

// The listener's answer once it has a list and its sender is still there.
constexpr char kTaken = '+';

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool fail(QString *why, const QString &text)
{
    if (why)
        *why = text;
    return false;
}

// False when `path` does not fit a socket address.
bool toAddress(const QString &path, sockaddr_un &address)
{
    const QByteArray name = QFile::encodeName(path);
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || std::size_t(name.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
    return true;
}

UniqueFd newSocket(int flags)
{
    return UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | flags, 0));
}

// The user id of the process at the other end of a connected socket (for a
// listener: of the process that called listen()); false when unknown.
bool peerUser(int fd, uid_t &user)
{
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) < 0 ||
        size != sizeof credentials)
        return false;
    user = credentials.uid;
    return true;
}

bool sameUser(int fd)
{
    uid_t user = 0;
    return peerUser(fd, user) && user == ::geteuid();
}

// Waits for `events` on `fd` until the deadline of `timer`; false on time-out.
bool waitFor(int fd, short events, const QElapsedTimer &timer, int timeoutMs)
{
    for (;;) {
        const qint64 left = timeoutMs - timer.elapsed();
        if (left <= 0)
            return false;
        pollfd p{fd, events, 0};
        const int rc = ::poll(&p, 1, int(left));
        if (rc > 0)
            return true;
        if (rc == 0 || errno != EINTR)
            return false;
    }
}

// Writes all of `bytes` before the deadline of `timer`.
bool sendAll(int fd, const QByteArray &bytes, const QElapsedTimer &timer, int timeoutMs)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        if (!waitFor(fd, POLLOUT, timer, timeoutMs))
            return false;
        const ssize_t n = ::send(fd, bytes.constData() + sent, std::size_t(bytes.size() - sent),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno != EINTR && errno != EAGAIN)
            return false;
        sent += n > 0 ? n : 0;
    }
    return true;
}

QString seconds(int ms)
{
    return QString::number((ms + 999) / 1000);
}

} // namespace

bool ensurePrivateFolder(const QString &folder, QString *why)
{
    const QByteArray name = QFile::encodeName(folder);
    struct stat st {};
    if (::lstat(name.constData(), &st) < 0) {
        if (errno != ENOENT)
            return fail(why, QStringLiteral("%1: %2").arg(folder, errorText(errno)));
        if (::mkdir(name.constData(), 0700) < 0 && errno != EEXIST)
            return fail(why, QStringLiteral("cannot make %1: %2").arg(folder, errorText(errno)));
        // Checked as any other: made by someone else in the meantime, it may not do.
        if (::lstat(name.constData(), &st) < 0)
            return fail(why, QStringLiteral("%1: %2").arg(folder, errorText(errno)));
    }
    if (S_ISLNK(st.st_mode))
        return fail(why, QStringLiteral("%1 is a symbolic link").arg(folder));
    if (!S_ISDIR(st.st_mode))
        return fail(why, QStringLiteral("%1 is not a folder").arg(folder));
    if (st.st_uid != ::geteuid())
        return fail(
            why,
            QStringLiteral("%1 belongs to another user (user id %2)").arg(folder).arg(st.st_uid));
    const mode_t mode = st.st_mode & 07777;
    if ((mode & 077) != 0 || (mode & 0700) != 0700)
        return fail(why, QStringLiteral("%1 has mode %2, not 0700")
                             .arg(folder)
                             .arg(QString::number(mode, 8).rightJustified(4, QLatin1Char('0'))));
    return true;
}

QString lockPathFor(const QString &socketPath)
{
    const QLatin1String suffix(".socket");
    return (socketPath.endsWith(suffix) ? socketPath.chopped(suffix.size()) : socketPath) +
           QStringLiteral(".lock");
}

LocalName claimLocalName(const QString &socketPath)
{
    LocalName name;
    sockaddr_un address;
    if (!toAddress(socketPath, address)) {
        name.error = QStringLiteral("%1 is too long for a socket").arg(socketPath);
        return name;
    }
    if (!ensurePrivateFolder(QFileInfo(socketPath).absolutePath(), &name.error))
        return name;
    const QString lockPath = lockPathFor(socketPath);
    name.lock = UniqueFd(::open(QFile::encodeName(lockPath).constData(),
                                O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!name.lock.valid()) {
        name.error = QStringLiteral("%1: %2").arg(lockPath, errorText(errno));
        return name;
    }
    // Not blocking, so never interrupted. The lock goes with the process, so
    // a player that died leaves the name free.
    if (::flock(name.lock.get(), LOCK_EX | LOCK_NB) < 0) {
        if (errno == EWOULDBLOCK)
            name.taken = true;
        else
            name.error = QStringLiteral("%1: %2").arg(lockPath, errorText(errno));
        name.lock.reset();
        return name;
    }
    UniqueFd socket = newSocket(SOCK_NONBLOCK);
    if (!socket.valid()) {
        name.error = QStringLiteral("socket: %1").arg(errorText(errno));
        return name;
    }
    ::unlink(address.sun_path); // left by a player that died: the lock was free
    // Made with access for this user only (0600) from the start. The umask is
    // the process's: this runs before the player starts any thread of its own.
    const mode_t mask = ::umask(0177);
    const int bound =
        ::bind(socket.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address);
    ::umask(mask);
    if (bound < 0 || ::listen(socket.get(), 16) < 0) {
        name.error = QStringLiteral("%1: %2").arg(socketPath, errorText(errno));
        return name;
    }
    name.socket = std::move(socket);
    return name;
}

Sent sendFiles(const QString &socketPath, const QStringList &files, int timeoutMs, QString *why)
{
    QElapsedTimer timer;
    timer.start();
    sockaddr_un address;
    if (!toAddress(socketPath, address)) {
        fail(why, QStringLiteral("%1 is too long for a socket").arg(socketPath));
        return Sent::NotTaken;
    }
    if (!ensurePrivateFolder(QFileInfo(socketPath).absolutePath(), why))
        return Sent::NotTaken;
    // Not blocking: a listener that accepts nothing with a full queue makes
    // connect() fail (EAGAIN) instead of wait.
    const UniqueFd socket = newSocket(SOCK_NONBLOCK);
    if (!socket.valid()) {
        fail(why, QStringLiteral("socket: %1").arg(errorText(errno)));
        return Sent::NotTaken;
    }
    int rc;
    do
        rc = ::connect(socket.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address);
    while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        const int error = errno;
        fail(why, QStringLiteral("%1: %2").arg(socketPath, errorText(error)));
        return error == ENOENT || error == ECONNREFUSED || error == EAGAIN ? Sent::NoListener
                                                                           : Sent::NotTaken;
    }
    uid_t owner = 0;
    if (!peerUser(socket.get(), owner)) {
        fail(why,
             QStringLiteral("cannot tell who listens on %1: %2").arg(socketPath, errorText(errno)));
        return Sent::NotTaken;
    }
    if (owner != ::geteuid()) {
        fail(why,
             QStringLiteral("%1 is held by another user (user id %2)").arg(socketPath).arg(owner));
        return Sent::NotTaken;
    }
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << files;
    // A list cut short by the time-out is no list: the listener drops it.
    if (!sendAll(socket.get(), bytes, timer, timeoutMs)) {
        fail(why, QStringLiteral("the running player did not read the files within %1 s")
                      .arg(seconds(timeoutMs)));
        return Sent::NotTaken;
    }
    ::shutdown(socket.get(), SHUT_WR); // the end of the list
    if (!waitFor(socket.get(), POLLIN, timer, timeoutMs)) {
        fail(why, QStringLiteral("the running player did not answer within %1 s")
                      .arg(seconds(timeoutMs)));
        return Sent::NotTaken;
    }
    char answer = 0;
    ssize_t n;
    do
        n = ::recv(socket.get(), &answer, 1, 0);
    while (n < 0 && errno == EINTR);
    if (n == 1 && answer == kTaken)
        return Sent::Taken;
    fail(why, QStringLiteral("the running player did not take the files"));
    return Sent::NotTaken;
}

LocalListener::LocalListener(LocalName name, QString socketPath, Received received)
    : name_(std::move(name)), socketPath_(std::move(socketPath)), received_(std::move(received))
{
    notifier_ = std::make_unique<QSocketNotifier>(name_.socket.get(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &LocalListener::accept);
}

LocalListener::~LocalListener()
{
    // Still holding the lock: nobody else has bound a socket at the path.
    if (name_.socket.valid())
        ::unlink(QFile::encodeName(socketPath_).constData());
}

void LocalListener::accept()
{
    for (;;) {
        UniqueFd peer(
            ::accept4(name_.socket.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!peer.valid())
            return; // none waiting (EAGAIN), or the peer went away first
        if (!sameUser(peer.get())) {
            uid_t user = 0;
            peerUser(peer.get(), user);
            qWarning("Tarn Player: dropped a connection of user id %u to %s", unsigned(user),
                     qPrintable(socketPath_));
            continue; // closed unread
        }
        const int fd = peer.get();
        Connection &c = connections_[fd];
        c.socket = std::move(peer);
        c.notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        connect(c.notifier.get(), &QSocketNotifier::activated, this, [this, fd] { read(fd); });
    }
}

void LocalListener::read(int fd)
{
    const auto it = connections_.find(fd);
    if (it == connections_.end())
        return;
    Connection &c = it->second;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n > 0 && c.bytes.size() + n <= kMaxMessage) {
            c.bytes.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return; // more to come
        // The end of the list, or a connection that failed or sent too much.
        QStringList files;
        bool taken = false;
        if (n == 0) {
            QDataStream in(c.bytes);
            in >> files;
            // Answered first: a sender that gave up waiting has closed its
            // end, and then its files are not opened behind its back.
            taken = in.status() == QDataStream::Ok && in.atEnd() &&
                    ::send(fd, &kTaken, 1, MSG_NOSIGNAL | MSG_DONTWAIT) == 1;
        }
        c.notifier->setEnabled(false);
        // The notifier is inside its own signal: let it go from the event loop.
        c.notifier.release()->deleteLater();
        connections_.erase(it); // closes the socket
        if (taken)
            received_(files);
        return;
    }
}

} // namespace tarn
