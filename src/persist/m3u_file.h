// M3U playlists (.m3u, .m3u8), as other players and the file manager write
// them: one path or file:// URL per line, lines starting with "#" are
// comments except "#EXTINF:<seconds>,<title>", whose title names the entry
// on the next path line. A relative path is taken against the list's own
// folder. An .m3u8 file is UTF-8; an .m3u line is UTF-8 when it is valid
// UTF-8 and Windows-1252 otherwise. Entries that are web addresses are left
// out (the engine plays files), and so are paths no file can have (a NUL
// in them, longer than a path or a file name can be). A title longer than
// a file name can be is cut to that length.
//
// Plain functions; any thread may call them on its own data.
#pragma once

#include "persist/playlist_file.h"

#include <QByteArrayView>
#include <QString>

namespace tarn {

// True for the names this reader is for (.m3u, .m3u8, any case).
bool isM3uFileName(const QString &fileName);

// The entries of `bytes`, read from the list `listPath`, at most `room` of
// them. A display name is the #EXTINF title, or the file name.
QList<PlaylistEntry> readM3u(QByteArrayView bytes, const QString &listPath, qsizetype room);

} // namespace tarn
