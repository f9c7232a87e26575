// libFuzzer target for the playlist-file reader: any bytes must give a result
// that keeps its promises (no entries when refused, never more than the room,
// a smaller room reads a prefix), and whatever it read must survive being
// written and read again, also when the file is converted to UTF-16.
#include "persist/playlist_file.h"

#include <QByteArray>
#include <QStringEncoder>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

using tarn::PlaylistRefusal;

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// The writer's UTF-8 bytes as a UTF-16 file with its byte-order mark.
QByteArray asUtf16(const QByteArray &utf8, QStringEncoder::Encoding encoding)
{
    QStringEncoder encode(encoding, QStringEncoder::Flag::WriteBom);
    return encode(QString::fromUtf8(utf8));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The first byte picks the room left in the playlist, so the cap is fuzzed too.
    const qsizetype room = size > 0 ? data[0] % 8 : 0;
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));

    const tarn::PlaylistReadResult all = tarn::readPlaylist(QByteArrayView(bytes), 32767);
    const tarn::PlaylistReadResult some = tarn::readPlaylist(QByteArrayView(bytes), room);
    for (const tarn::PlaylistReadResult *read : {&all, &some}) {
        if (read->refusal != PlaylistRefusal::None)
            check(read->entries.isEmpty() && !read->stoppedFull && read->refusedLine >= 1);
        if (read->stoppedFull)
            check(!read->endMarkerFound);
    }
    check(!all.stoppedFull);
    check(some.entries.size() <= room && (!some.stoppedFull || some.entries.size() == room));
    // Stopping early never refuses what the whole read accepts, and keeps its start.
    if (all.refusal == PlaylistRefusal::None) {
        check(some.refusal == PlaylistRefusal::None);
        check(some.entries == all.entries.first(some.entries.size()));
        check(some.stoppedFull == (all.entries.size() > room));
    }
    if (all.refusal != PlaylistRefusal::None)
        return 0;

    // What was read writes back as one line per entry, unless a line break or
    // an overlong line came in through Windows-1252 decoding.
    const tarn::PlaylistWriteResult written = tarn::writePlaylist(all.entries);
    if (written.badEntry >= 0)
        return 0;
    for (const QByteArray &file : {written.bytes, asUtf16(written.bytes, QStringEncoder::Utf16LE),
                                   asUtf16(written.bytes, QStringEncoder::Utf16BE)}) {
        const tarn::PlaylistReadResult again = tarn::readPlaylist(QByteArrayView(file), 32767);
        check(again.refusal == PlaylistRefusal::None && again.endMarkerFound);
        check(again.entries == all.entries);
    }
    return 0;
}
