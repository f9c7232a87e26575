// The instance channel's fallback when there is no session bus: a stream
// socket in the file system (AF_UNIX) on which a later start writes its list
// of files, closes its side and waits for the running player's one-byte
// answer that it took them. Plain POSIX calls and a QSocketNotifier, so the
// player does not load Qt's network library (and the Kerberos chain it
// links) for a channel that carries a few paths.
//
// WHO MAY USE IT
//   The socket lives in a folder only this user can enter (mode 0700, owned
//   by this user, not a symbolic link; see ensurePrivateFolder). Both ends
//   also ask the kernel who the other end is (SO_PEERCRED): the listener drops
//   a connection of another user unread, and a sender hands nothing to a
//   listener of another user.
//
// WHO OWNS THE NAME
//   A lock file beside the socket (NAME.lock for NAME.socket), held with
//   flock() for the listener's life. Only the holder unlinks and binds the
//   socket, so two starts at the same moment cannot both listen, and the
//   socket of a player that died is replaced only once nobody holds the lock.
//
// THREADS
//   LocalListener: the thread that made it (its notifiers run there; the UI
//   thread in the player). The free functions are plain POSIX calls, safe on
//   any thread.
#pragma once

#include "engine/unique_fd.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>

class QSocketNotifier;

namespace tarn {

// True when `folder` is a folder only this user can enter: not a symbolic
// link, owned by this user, no access at all for group and others. A missing
// folder is made so (mkdir 0700; its parent must exist). Otherwise false,
// with the reason in `why`; nothing is changed in a folder that exists.
bool ensurePrivateFolder(const QString &folder, QString *why);

// The lock file that owns the socket name `socketPath`.
QString lockPathFor(const QString &socketPath);

// The socket name, when this process could take it.
struct LocalName {
    UniqueFd lock;      // held with flock() while the name is ours
    UniqueFd socket;    // bound and listening; non-blocking
    bool taken = false; // another process holds the name
    QString error;      // why neither (an unsafe folder, a path too long, ...)
};
// Takes the name `socketPath`: checks its folder, takes the lock and, holding
// it, replaces whatever file is at the path with a listening socket.
LocalName claimLocalName(const QString &socketPath);

// What became of a list handed over with sendFiles().
enum class Sent {
    Taken,      // the listener answered that it took the files
    NoListener, // nobody listens (yet, or any more): nothing was delivered
    NotTaken,   // a listener was there but did not take them; see `why`
};
// Connects to `socketPath`, writes `files` and waits up to `timeoutMs` in all
// for the listener's answer.
Sent sendFiles(const QString &socketPath, const QStringList &files, int timeoutMs, QString *why);

// Listens on a claimed name and hands each list of files that a connection of
// this user sends to `received`, once the sender has been told it was taken.
class LocalListener final : public QObject {
public:
    using Received = std::function<void(const QStringList &files)>;
    LocalListener(LocalName name, QString socketPath, Received received);
    // Removes the socket, then lets the name go.
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
    LocalName name_;
    QString socketPath_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::map<int, Connection> connections_; // by descriptor
    Received received_;
};

} // namespace tarn
