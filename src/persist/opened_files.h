// Files handed to the player from outside (command line, a second start,
// the desktop's media controls, a drop) turned into playlist entries:
// - an audio file (by its extension, see audio_formats.h) is one entry named
//   by its file name, as Add Multi names them;
// - a folder is searched, sub-folders too, for audio files. Each folder's
//   files and sub-folders are taken in natural name order ("2 b.mp3" before
//   "10 a.mp3"), a sub-folder where its name falls, so the whole reads as the
//   paths sorted; hidden files and folders are left out, symbolic links to
//   folders are not followed (no loops), and only regular files are taken (a
//   pipe is never opened). The search reads one folder at a time and stops
//   once the room is filled, after `maxVisited` directory entries, or when
//   cancelled;
// - a playlist file (.TPL, .m3u, .m3u8) gives its entries, as Load Playlist
//   reads them;
// - anything else is skipped, with the reason.
//
// Names that are not valid UTF-8 cannot be carried: Qt decodes them with
// U+FFFD in place of the bad bytes, and no file has that name then. A folder
// search counts them; a path given so is skipped with that reason.
//
// Plain functions; any thread may call them. A search in a hung folder blocks
// its caller: run it off the UI thread.
#pragma once

#include "persist/playlist_file.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

namespace tarn {

struct SkippedFile {
    QString name;   // the file name as given
    QString reason; // in words for people
    bool operator==(const SkippedFile &) const = default;
};

struct OpenedFiles {
    QList<PlaylistEntry> entries;
    QList<SkippedFile> skipped;
    bool full = false;           // `room` entries were taken and more were left out
    bool searchCut = false;      // a folder search read `maxVisited` entries and stopped there
    bool cancelled = false;      // stopped by the cancel flag; the rest was never looked at
    bool foldersStopped = false; // `stopFolders` said so: folders were read no further
    qsizetype notUtf8 = 0;       // files and folders left out of a search for their names
    qsizetype visited = 0;       // directory entries the folder searches read
};

// Directory entries a search reads at most, over all the folders of one call.
inline constexpr qsizetype kMaxVisitedEntries = 100'000;

struct CollectLimits {
    qsizetype room = 0; // entries at most; the rest is left out and `full` set
    qsizetype maxVisited = kMaxVisitedEntries;
    // Read between entries; once set, the collection stops at the next one.
    const std::atomic<bool> *cancel = nullptr;
    // Asked between directory entries; once true, no folder is read further,
    // while the files and playlists named are still taken.
    std::function<bool()> stopFolders;
    // Runs on the collecting thread before each directory entry is read.
    std::function<void()> visiting;
};

OpenedFiles collectOpenedFiles(const QStringList &paths, const CollectLimits &limits);

} // namespace tarn
