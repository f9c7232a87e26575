#include "engine/riff_chunks.h"

#include <cstring>

namespace tarn::engine {

bool RiffChunk::is(const char *name) const
{
    return std::memcmp(id, name, 4) == 0;
}

void walkRiffChunks(FileReader &file, std::int64_t from, std::int64_t end,
                    const std::function<bool(const RiffChunk &)> &visit, int maxChunks)
{
    std::int64_t at = from;
    for (int n = 0; n < maxChunks && at + 8 <= end; ++n) {
        unsigned char header[8];
        if (file.read(header, sizeof header, at) != 8)
            return;
        RiffChunk chunk;
        std::memcpy(chunk.id, header, 4);
        chunk.size = std::uint32_t(header[4]) | std::uint32_t(header[5]) << 8 |
                     std::uint32_t(header[6]) << 16 | std::uint32_t(header[7]) << 24;
        chunk.body = at + 8;
        if (!visit(chunk))
            return;
        at = chunk.body + chunk.size + (chunk.size & 1);
    }
}

} // namespace tarn::engine
