// Playlist files (.TPL): a count line, one "path+name" line per entry, "end".
//
//     " 2 "                    CR LF   count line: blank, decimal count, blank
//     "C:\Music\a.mp3+a.mp3"   CR LF   one line per entry: full path, "+", display name
//     "D:\Songs\b.wma+b.wma"   CR LF
//     "end"                    CR LF   end marker, lower case, compared byte for byte
//
// Written in UTF-8. Read line by line: a line that is not valid UTF-8 is taken
// as Windows-1252 (files written on Windows), LF alone ends a line as well as
// CR LF, the count line is skipped and nothing after "end" is read.
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

// Longest line the reader accepts, line end excluded. Longer lines mean the
// file is not a playlist; nothing this program writes comes near it.
inline constexpr qsizetype kPlaylistMaxLine = 32 * 1024;

// ---- Writer

struct PlaylistWriteResult {
    QByteArray bytes;  // the whole file; empty when `badEntry` >= 0
    int badEntry = -1; // first entry that cannot be stored as one line
    QString badReason; // why, for a message
};

// A path or name with a line break (or NUL) cannot be written as one line: it
// would come back as other entries, so the whole playlist is refused.
PlaylistWriteResult writePlaylist(const QList<PlaylistEntry> &entries);

// ---- Reader

enum class PlaylistRefusal {
    None,
    Binary,      // NUL byte: not a text file
    LineTooLong, // a line longer than kPlaylistMaxLine
    ReadError,   // the device failed; `error` holds its reason
};

struct PlaylistReadResult {
    QList<PlaylistEntry> entries; // empty whenever `refusal` is not None
    PlaylistRefusal refusal = PlaylistRefusal::None;
    qsizetype refusedLine = 0;   // 1-based line of a Binary / LineTooLong refusal
    QString error;               // device reason for ReadError
    bool endMarkerFound = false; // false: the file ended before "end"
    qsizetype leftOut = 0;       // entry lines past `room`, not in `entries`
};

// Reads until "end" or the end of the device. At most `room` entries are
// returned; the further entry lines are only counted in `leftOut`.
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
