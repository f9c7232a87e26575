// libmpg123 handles that read through a FileReader, so that the engine's
// CancelToken stops their reads and no named pipe or device is ever opened.
//
// THREADS
//   A handle and its stream are used by one thread at a time.
#pragma once

#include "engine/media_file.h"

#include <mpg123.h>

#include <memory>
#include <string>

namespace tarn::engine {

struct Mpg123Deleter {
    void operator()(mpg123_handle *h) const { mpg123_delete(h); }
};
using Mpg123Ptr = std::unique_ptr<mpg123_handle, Mpg123Deleter>;

// A file as libmpg123 reads it: a position, read and lseek.
class Mpg123Stream {
public:
    explicit Mpg123Stream(std::unique_ptr<FileReader> file) : file_(std::move(file)) {}
    Mpg123Stream(const Mpg123Stream &) = delete;
    Mpg123Stream &operator=(const Mpg123Stream &) = delete;

    // A handle with `flags` (MPG123_QUIET added) that reads this stream, which
    // must outlive it; null with `error` set when libmpg123 refuses.
    Mpg123Ptr open(long flags, std::string &error);

    FileReader &file() { return *file_; }
    // A read failed (or was cancelled) since the stream was opened.
    bool readFailed() const { return readFailed_; }

private:
    static mpg123_ssize_t read(void *self, void *into, size_t bytes);
    static off_t seek(void *self, off_t offset, int whence);

    std::unique_ptr<FileReader> file_;
    std::int64_t position_ = 0;
    bool readFailed_ = false;
};

} // namespace tarn::engine
