// The instance channel's fallback when there is no session bus: a stream
// socket in the file system (AF_UNIX) on which a later start writes its
// files and closes. Plain POSIX calls and a QSocketNotifier, so the player
// does not load Qt's network library (and the Kerberos chain it links) for
// a channel that carries a few paths.
//
// THREADS
//   UI thread only: the listener's notifiers run on the thread that made it.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <memory>

class QSocketNotifier;

namespace tarn {

// An open file descriptor, closed with its owner.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd &&other) noexcept : fd_(other.release()) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept;
    ~UniqueFd() { reset(); }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();
    void reset();

private:
    int fd_ = -1;
};

// Connects to the socket at `path`; invalid when nobody listens there.
UniqueFd connectLocal(const QString &path);

// Writes `bytes` to a connected socket within `timeoutMs`; the reader takes
// them as one message once the socket is closed.
bool sendAll(const UniqueFd &socket, const QByteArray &bytes, int timeoutMs);

// Listens at `path`, reachable by this user only, and hands each message (a
// connection's bytes up to its end) to `received`. A file left at `path`
// (the socket of a player that died) is replaced; ask first whether one
// answers there.
class LocalListener final : public QObject {
public:
    using Received = std::function<void(const QByteArray &message)>;
    // Null when the socket cannot be made (a path too long for a socket
    // address, a folder that cannot be written).
    static std::unique_ptr<LocalListener> listen(const QString &path, Received received);

    // Only listen() makes one.
    class Key {
        friend class LocalListener;
        Key() = default;
    };
    LocalListener(Key, UniqueFd socket, Received received);
    ~LocalListener() override;

private:
    void accept();
    void read(int fd);

    // A message larger than this is not a list of files: the connection is dropped.
    static constexpr qsizetype kMaxMessage = 64 * 1024 * 1024;

    struct Connection {
        UniqueFd socket;
        std::unique_ptr<QSocketNotifier> notifier;
        QByteArray bytes;
    };
    UniqueFd socket_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::map<int, Connection> connections_; // by descriptor
    Received received_;
};

} // namespace tarn
