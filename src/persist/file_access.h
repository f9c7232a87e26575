// How the program's own files are opened and replaced: every write goes
// through writeFileAtomically, and files are read only when they are regular
// files.
//
// Plain functions, no state; any thread may call them on its own files.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>

class QFile;

namespace tarn {

// Replaces `fileName` with `bytes` once all of them are written: a write that
// fails (read-only folder, full disk) leaves an earlier file of that name as
// it was. Returns the system's reason, or an empty string on success.
QString writeFileAtomically(const QString &fileName, QByteArrayView bytes);

// Opens `file` for reading. A pipe, a device or a socket is refused before it
// is opened: opening or reading one could block the window or never end.
// Returns the reason, or an empty string when the file is open.
QString openRegularFile(QFile &file);

// A small file read whole, or why it was not. Only a regular file of at most
// the given size is read: a folder, a pipe, a device or a socket is never
// opened for reading (reading a pipe can wait for ever), and a larger file is
// not read at all. The identity fields tell one version of a file from the
// next even when the bytes stay the same: a replacement changes the inode, a
// rewrite in place the modification time (unless it falls in the same clock
// tick, when the two versions cannot be told apart).
struct SmallFileRead {
    enum class Status { Read, Missing, NotAFile, TooLarge, Unreadable };
    Status status = Status::Missing;
    QByteArray bytes; // the content, when Read
    std::uint64_t device = 0, inode = 0;
    std::int64_t modifiedNs = 0;

    bool operator==(const SmallFileRead &) const = default;
};

SmallFileRead readSmallFile(const QString &fileName, qint64 maxBytes);

} // namespace tarn
