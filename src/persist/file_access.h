// How files are opened and replaced. Two kinds:
//  - files the user chose (a playlist picked in a dialog, a folder dropped on
//    the window): read with readSmallFile or openRegularFile, written with
//    writeFileAtomically. A symbolic link the user chose is followed, as in
//    any other program.
//  - the state and flag files of the application folder (vol.ini, rep.ini,
//    Trans.ini, back1.ini, stop1.ini, next2.ini): read with readFileInFolder,
//    written with replaceFileInFolder. Other programs may write these names,
//    so nothing at them is followed: only a regular file is read or replaced.
// Files are read only when they are regular files.
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

// readSmallFile for the file `name` directly in `folder`, without following a
// symbolic link at that name: a link (to a file or not) reads as NotAFile.
SmallFileRead readFileInFolder(const QString &folder, const QString &name, qint64 maxBytes);

// Puts `bytes` at `name` in `folder` in place of a regular file of at most
// maxBytes, or of nothing (the file is then created). Anything else at the
// name - a symbolic link, a folder, a pipe, a device, a larger file - is left
// as it is and the write fails: a link's target is never written and a link
// is never replaced. The bytes go to a new temporary file in the same folder
// (created exclusively, so never through a link) that is then renamed over
// the name, which replaces the name itself even should a link appear there
// meanwhile. A write that fails leaves the earlier file as it was and no
// temporary file behind. Returns the reason, or an empty string on success.
QString replaceFileInFolder(const QString &folder, const QString &name, QByteArrayView bytes,
                            qint64 maxBytes);

} // namespace tarn
