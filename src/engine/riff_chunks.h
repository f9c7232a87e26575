// The chunks of a RIFF file (WAV): an id, a 32-bit size and the size's bytes,
// padded to an even count. Sizes are the file's word: the walk never leaves
// the range it is given and looks at a bounded number of chunks.
#pragma once

#include "engine/media_file.h"

#include <cstdint>
#include <functional>

namespace tarn::engine {

struct RiffChunk {
    char id[4] = {};
    std::uint32_t size = 0; // as the header says; may run past the file
    std::int64_t body = 0;  // offset of the first byte after the header
    bool is(const char *name) const;
};

// Calls `visit` for each chunk header that lies wholly in [from, end), in
// order, until it returns false; at most `maxChunks` of them.
void walkRiffChunks(FileReader &file, std::int64_t from, std::int64_t end,
                    const std::function<bool(const RiffChunk &)> &visit, int maxChunks = 1000);

} // namespace tarn::engine
