// The checks every decoder makes before it reads a file, and the plain file
// reader of the engine's own decoders.
//
// THREADS
//   Any thread; a FileReader is used by one thread at a time. Its reads can
//   be cancelled from any thread through its CancelToken.
#pragma once

#include "engine/cancel_token.h"
#include "engine/unique_fd.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarn::engine {

// True when `path` is a regular, non-empty file: a named pipe or a device
// would block for as long as nothing writes to it. Otherwise false with
// `error` set to the reason in words for people; `kind` ("sound", "video")
// names what the caller looks for. `size` gets the file's size when known (0
// otherwise).
bool checkMediaFile(const std::string &path, const char *kind, std::string &error,
                    std::uintmax_t &size);

// Opens `path` for reading when it is what checkMediaFile() accepts, checked
// on the open descriptor itself: the name may have become something else
// since any check by name (a named pipe would block whoever opened it for as
// long as nothing writes to it). Never waits for a writer. Read the file
// through this descriptor (or /proc/self/fd/N), never by its name again.
// Invalid with `error` set on failure; `size` gets the file's size.
UniqueFd openMediaFile(const std::string &path, const char *kind, std::string &error,
                       std::uintmax_t &size);

// For a file whose reads ended early without an error: why, when it was cut
// short on disk while it played (its size fell below `openSize`); empty
// otherwise. A file deleted meanwhile is still read whole through the open
// handle: that is a natural end.
std::string cutShortReason(const std::string &path, std::uintmax_t openSize);

// An open regular file, read at given offsets.
class FileReader {
public:
    FileReader() = default;
    ~FileReader();
    FileReader(const FileReader &) = delete;
    FileReader &operator=(const FileReader &) = delete;

    // Opens `path` for reading, checked as checkMediaFile() does. On failure
    // false with `error` set.
    bool open(const std::string &path, CancelToken cancel, std::string &error);

    // Up to `bytes` bytes at `offset` (fewer only at the end of the file);
    // -1 on a read error or a cancel (lastError() tells which).
    std::int64_t read(void *into, std::size_t bytes, std::int64_t offset);

    std::int64_t size() const { return size_; } // when it was opened
    const std::string &path() const { return path_; }
    bool cancelled() const { return cancel_.cancelled(); }
    // The system's text for the last read error; empty after a cancel.
    const std::string &lastError() const { return lastError_; }

private:
    UniqueFd fd_;
    std::int64_t size_ = 0;
    std::string path_;
    CancelToken cancel_;
    std::string lastError_;
};

} // namespace tarn::engine
