// Playlist files (.TPL): a count line, one "path+name" line per entry, "end".
//
//     " 2 "                    CR LF   count line: blank, decimal count, blank
//     "C:\Music\a.mp3+a.mp3"   CR LF   one line per entry: full path, "+", display name
//     "D:\Songs\b.wma+b.wma"   CR LF
//     "end"                    CR LF   end marker, lower case, compared byte for byte
//
// Written in UTF-8. Read line by line: a line that is not valid UTF-8 is taken
// as Windows-1252 (files written on Windows), LF alone ends a line as well as
// CR LF, the count line is skipped and nothing after "end" is read. A file
// that starts with a byte-order mark is read as what the mark says: UTF-16
// (little or big endian, as Notepad saves "Unicode") or UTF-8.
//
// The reader stops as soon as the playlist is full, refuses a line longer than
// a path and a name can be and a file larger than any playlist can be, so an
// arbitrary file costs neither much time nor much memory.
//
// No dialogs and no widgets here: the writer turns entries into bytes, the
// reader turns bytes into entries plus what went wrong. Plain functions; any
// thread may call them on its own data.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

class QIODevice;

namespace tarn {

struct PlaylistEntry {
    QString path; // full path, as the file dialog returned it
    QString name; // display name
    friend bool operator==(const PlaylistEntry &, const PlaylistEntry &) = default;
};

// The most entries a playlist holds.
inline constexpr qsizetype kPlaylistMaxEntries = 32767;

// Longest path (PATH_MAX, its terminating NUL included) and longest file name
// (NAME_MAX) of the file system, in bytes.
inline constexpr qsizetype kMaxPathBytes = 4096;
inline constexpr qsizetype kMaxNameBytes = 255;

// Longest entry line, in UTF-8 bytes without the line end: a path, "+" and a
// display name, with some slack. Longer lines mean the file is not a
// playlist; the writer refuses entries that would not read back.
inline constexpr qsizetype kPlaylistMaxLine = kMaxPathBytes + 1 + kMaxNameBytes + 32;

// Largest file a playlist can be: a full playlist of longest lines, with room
// for the count line and "end". A UTF-16 file takes two bytes for each UTF-8
// byte at most, and its byte-order mark. Larger files are refused unread.
inline constexpr qint64 kPlaylistMaxFileSize =
    qint64(kPlaylistMaxEntries + 2) * (kPlaylistMaxLine + 2);
inline constexpr qint64 kPlaylistMaxUtf16FileSize = 2 * kPlaylistMaxFileSize + 2;

// ---- Writer

struct PlaylistWriteResult {
    QByteArray bytes;  // the whole file; empty when `badEntry` >= 0
    int badEntry = -1; // first entry that cannot be stored as one line
    QString badReason; // why, for a message
};

// A path or name with a line break (or NUL) cannot be written as one line: it
// would come back as other entries, so the whole playlist is refused. A
// display name that would make its line split elsewhere when read (a "+" in
// a title beside a "+" in the path) is written as the path's file name, so
// the path comes back as it was.
PlaylistWriteResult writePlaylist(const QList<PlaylistEntry> &entries);

// ---- Reader

enum class PlaylistRefusal {
    None,
    Binary,      // NUL byte: not a text file
    LineTooLong, // a line longer than kPlaylistMaxLine
    TooLarge,    // more bytes than kPlaylistMaxFileSize (or its UTF-16 size)
    ReadError,   // the device failed; `error` holds its reason
};

struct PlaylistReadResult {
    QList<PlaylistEntry> entries; // empty whenever `refusal` is not None
    PlaylistRefusal refusal = PlaylistRefusal::None;
    qsizetype refusedLine = 0;   // 1-based line of a Binary / LineTooLong refusal
    QString error;               // device reason for ReadError
    bool endMarkerFound = false; // false: the file ended before "end" (or was not read to it)
    bool stoppedFull = false;    // `room` entries were read and another entry line followed;
                                 // the rest of the file was not read
};

// Reads until "end", the end of the device, or, once `room` entries are read,
// the next entry line. A device with a size (a file) that is larger than a
// playlist can be is refused before anything is read. At most one chunk past
// the last line looked at is read, so the device's position is not defined
// afterwards.
PlaylistReadResult readPlaylist(QIODevice &in, qsizetype room);
PlaylistReadResult readPlaylist(QByteArrayView bytes, qsizetype room);

// Splits one entry line into path and display name (exposed for tests).
// The display names this program and Add make are file names, so the line is
// cut at the "+" after which the rest equals the file-name part of what
// stands before it; this keeps a "+" inside a path intact. When no "+" fits
// that way, the line is cut at its first "+" and the name ends at the next
// "+", as files from the original program expect. A line without "+" is a
// path whose display name is its file-name part.
PlaylistEntry splitEntryLine(const QString &line);

// The part of `path` after its last "/" (or, with no "/", its last "\").
QString fileNamePart(const QString &path);

} // namespace tarn
