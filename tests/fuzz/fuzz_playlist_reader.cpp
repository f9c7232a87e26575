// libFuzzer target for the playlist-file reader: any bytes must give a result
// that keeps its promises (no entries when refused, never more than the room),
// and whatever it read must survive being written and read again.
#include "persist/playlist_file.h"

#include <QBuffer>
#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The first byte picks the room left in the playlist, so the cap is fuzzed too.
    const qsizetype room = size > 0 ? data[0] % 8 : 0;
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const qsizetype r : {qsizetype(32767), room}) {
        const tarn::PlaylistReadResult read = tarn::readPlaylist(QByteArrayView(bytes), r);
        // The device reader (used on files) must agree with the memory reader.
        // QBuffer reads lines byte by byte, so only small inputs take this path.
        if (size <= 4096) {
            QByteArray copy = bytes;
            QBuffer device(&copy);
            device.open(QIODevice::ReadOnly);
            const tarn::PlaylistReadResult viaDevice = tarn::readPlaylist(device, r);
            check(viaDevice.entries == read.entries && viaDevice.refusal == read.refusal &&
                  viaDevice.refusedLine == read.refusedLine &&
                  viaDevice.endMarkerFound == read.endMarkerFound &&
                  viaDevice.leftOut == read.leftOut);
        }
        check(read.entries.size() <= r);
        if (read.refusal != tarn::PlaylistRefusal::None) {
            check(read.entries.isEmpty() && read.leftOut == 0 && read.refusedLine >= 1);
            continue;
        }
        check(read.leftOut == 0 || read.entries.size() == r);

        // What was read writes back as one line per entry, unless a line
        // break or overlong line came in through Windows-1252 decoding.
        const tarn::PlaylistWriteResult written = tarn::writePlaylist(read.entries);
        if (written.badEntry >= 0)
            continue;
        const tarn::PlaylistReadResult again =
            tarn::readPlaylist(QByteArrayView(written.bytes), 32767);
        check(again.refusal == tarn::PlaylistRefusal::None && again.endMarkerFound);
        check(again.entries.size() == read.entries.size());
        check(again.entries == read.entries);
    }
    return 0;
}
