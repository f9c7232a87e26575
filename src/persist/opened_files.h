// Files handed to the player from outside (command line, a second start,
// the desktop's media controls, a drop) turned into playlist entries:
// - an audio file (by its extension, see audio_formats.h) is one entry named
//   by its file name, as Add Multi names them;
// - a folder is searched, sub-folders too, for audio files, taken in natural
//   name order ("2 b.mp3" before "10 a.mp3"); hidden files and folders are
//   left out, and symbolic links to folders are not followed (no loops);
// - a playlist file (.TPL, .m3u, .m3u8) gives its entries, as Load Playlist
//   reads them;
// - anything else is skipped, with the reason.
//
// Plain functions; any thread may call them.
#pragma once

#include "persist/playlist_file.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace tarn {

struct SkippedFile {
    QString name;   // the file name as given
    QString reason; // in words for people
    bool operator==(const SkippedFile &) const = default;
};

struct OpenedFiles {
    QList<PlaylistEntry> entries;
    QList<SkippedFile> skipped;
    bool full = false; // `room` entries were taken and more were left out
};

// At most `room` entries; the rest is left out and `full` set.
OpenedFiles collectOpenedFiles(const QStringList &paths, qsizetype room);

} // namespace tarn
