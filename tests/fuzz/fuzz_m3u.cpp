// libFuzzer target for the M3U reader: any bytes give entries that keep its
// promises (never more than the room, a smaller room reads a prefix, every
// path absolute and clean, paths and names no longer than a file system
// allows), and the paths of a playlist loaded from an M3U list survive Save
// Playlist and Load Playlist. The first byte picks the room and whether
// the list is an .m3u or an .m3u8 file.
#include "persist/m3u_file.h"
#include "persist/playlist_file.h"

#include <QByteArray>
#include <QDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

using namespace tarn;

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const qsizetype room = data[0] % 8;
    const QString list = data[0] & 8 ? QStringLiteral("/home/u/Music/lists/mix.m3u8")
                                     : QStringLiteral("/home/u/Music/lists/mix.m3u");
    const QByteArrayView bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    const QList<PlaylistEntry> all = readM3u(bytes, list, kPlaylistMaxEntries);
    const QList<PlaylistEntry> some = readM3u(bytes, list, room);
    check(some.size() <= room && some == all.first(std::min(room, all.size())));

    bool lineBreak = false; // a Linux file name may hold one; a .TPL line cannot
    for (const PlaylistEntry &entry : all) {
        check(entry.path.startsWith(QLatin1Char('/')) && QDir::cleanPath(entry.path) == entry.path);
        check(!entry.path.contains(QChar(0)) && !entry.name.contains(QChar(0)));
        check(entry.path.toUtf8().size() < kMaxPathBytes);
        check(entry.name.toUtf8().size() <= kMaxNameBytes);
        lineBreak = lineBreak || entry.path.contains(QLatin1Char('\n')) ||
                    entry.name.contains(QLatin1Char('\n'));
    }

    // Save Playlist, then Load Playlist.
    const PlaylistWriteResult written = writePlaylist(all);
    check(lineBreak || written.badEntry < 0);
    if (written.badEntry >= 0)
        return 0;
    const PlaylistReadResult again =
        readPlaylist(QByteArrayView(written.bytes), kPlaylistMaxEntries);
    check(again.refusal == PlaylistRefusal::None && again.endMarkerFound);
    // Every path comes back; a title that the line could not hold without
    // being mistaken for part of the path comes back as the file name.
    check(again.entries.size() == all.size());
    for (qsizetype i = 0; i < all.size(); ++i) {
        check(again.entries[i].path == all[i].path);
        check(again.entries[i].name == all[i].name ||
              again.entries[i].name == fileNamePart(all[i].path));
    }
    return 0;
}
