// Title, artist and album from an audio file's tags: ID3 of MPEG audio read
// with libmpg123, RIFF INFO of WAV read here, everything else (ASF, Vorbis comments, ...)
// through the codec module. Reads the file's header only (and an ID3v1 tag
// at its end). Any thread; no state.
#pragma once

#include "engine/cancel_token.h"

#include <string>

namespace tarn::engine {

struct FileTags {
    std::string title; // UTF-8; empty when the file has no such tag
    std::string artist;
    std::string album;
    bool operator==(const FileTags &) const = default;
};

// Empty fields for tags the file does not have, and for a file that cannot
// be read. Only regular files are read (a named pipe put at the path would
// block the reader); a read ends with what it has when `cancel` says so.
FileTags readFileTags(const std::string &path, CancelToken cancel = {});

} // namespace tarn::engine
