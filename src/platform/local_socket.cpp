#include "platform/local_socket.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tarn {

UniqueFd &UniqueFd::operator=(UniqueFd &&other) noexcept
{
    if (this != &other) {
        reset();
        fd_ = other.release();
    }
    return *this;
}

int UniqueFd::release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void UniqueFd::reset()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

namespace {

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

} // namespace

UniqueFd connectLocal(const QString &path)
{
    sockaddr_un address;
    if (!toAddress(path, address))
        return {};
    UniqueFd socket = newSocket(0);
    if (!socket.valid())
        return {};
    int rc;
    do
        rc = ::connect(socket.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address);
    while (rc < 0 && errno == EINTR);
    return rc == 0 ? std::move(socket) : UniqueFd();
}

bool sendAll(const UniqueFd &socket, const QByteArray &bytes, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        if (!waitFor(socket.get(), POLLOUT, timer, timeoutMs))
            return false;
        const ssize_t n = ::send(socket.get(), bytes.constData() + sent,
                                 std::size_t(bytes.size() - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno != EINTR && errno != EAGAIN)
            return false;
        sent += n > 0 ? n : 0;
    }
    // What is written stays for the reader after the close, as with a pipe.
    return true;
}

std::unique_ptr<LocalListener> LocalListener::listen(const QString &path, Received received)
{
    sockaddr_un address;
    if (!toAddress(path, address))
        return nullptr;
    UniqueFd socket = newSocket(SOCK_NONBLOCK);
    if (!socket.valid())
        return nullptr;
    ::unlink(address.sun_path); // left by a player that died
    // Made with access for this user only (0600) from the start. The umask is
    // the process's: this runs before the player starts any thread of its own.
    const mode_t mask = ::umask(0177);
    const int bound =
        ::bind(socket.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address);
    ::umask(mask);
    if (bound < 0 || ::listen(socket.get(), 16) < 0)
        return nullptr;
    return std::make_unique<LocalListener>(Key{}, std::move(socket), std::move(received));
}

LocalListener::LocalListener(Key, UniqueFd socket, Received received)
    : socket_(std::move(socket)), received_(std::move(received))
{
    notifier_ = std::make_unique<QSocketNotifier>(socket_.get(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &LocalListener::accept);
}

LocalListener::~LocalListener() = default;

void LocalListener::accept()
{
    for (;;) {
        UniqueFd peer(::accept4(socket_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!peer.valid())
            return; // none waiting (EAGAIN), or the peer went away first
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
        // The end of the message, or a connection that failed or sent too much.
        const QByteArray message = n == 0 ? std::move(c.bytes) : QByteArray();
        c.notifier->setEnabled(false);
        // The notifier is inside its own signal: let it go from the event loop.
        c.notifier.release()->deleteLater();
        connections_.erase(it); // closes the socket, which tells the sender it was taken
        if (n == 0)
            received_(message);
        return;
    }
}

} // namespace tarn
