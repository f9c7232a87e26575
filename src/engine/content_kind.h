// What a file holds, told by its first bytes (never by its name): which of
// the engine's own decoders may read it.
#pragma once

#include "engine/media_file.h"

namespace tarn::engine {

enum class ContentKind {
    Wav,   // a RIFF/WAVE file (its format is checked when it is opened)
    Mpeg,  // MPEG audio, layer 1 to 3, after any ID3v2 tags
    Other, // anything else: the codec module's business
};

// Reads the start of `file`; Other also when it cannot be read.
ContentKind sniffContent(FileReader &file);

} // namespace tarn::engine
