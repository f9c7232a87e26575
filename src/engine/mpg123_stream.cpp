#include "engine/mpg123_stream.h"

#include <cstdio>
#include <mutex>

namespace tarn::engine {

mpg123_ssize_t Mpg123Stream::read(void *self, void *into, size_t bytes)
{
    auto &s = *static_cast<Mpg123Stream *>(self);
    const std::int64_t got = s.file_->read(into, bytes, s.position_);
    if (got < 0) {
        s.readFailed_ = true;
        return -1;
    }
    s.position_ += got;
    return static_cast<mpg123_ssize_t>(got);
}

off_t Mpg123Stream::seek(void *self, off_t offset, int whence)
{
    auto &s = *static_cast<Mpg123Stream *>(self);
    std::int64_t to = offset;
    if (whence == SEEK_CUR)
        to += s.position_;
    else if (whence == SEEK_END)
        to += s.file_->size();
    else if (whence != SEEK_SET)
        return -1;
    if (to < 0)
        return -1;
    s.position_ = to;
    return static_cast<off_t>(to);
}

Mpg123Ptr Mpg123Stream::open(long flags, std::string &error)
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { mpg123_init(); });
    int rc = MPG123_OK;
    Mpg123Ptr handle(mpg123_new(nullptr, &rc));
    if (handle) {
        rc = mpg123_param(handle.get(), MPG123_FLAGS, flags | MPG123_QUIET, 0);
        if (rc == MPG123_OK)
            rc = mpg123_replace_reader_handle(handle.get(), &Mpg123Stream::read,
                                              &Mpg123Stream::seek, nullptr);
        if (rc == MPG123_OK)
            rc = mpg123_open_handle(handle.get(), this);
    }
    if (!handle || rc != MPG123_OK) {
        error = std::string("the MPEG decoder cannot start (") + mpg123_plain_strerror(rc) + ")";
        return nullptr;
    }
    return handle;
}

} // namespace tarn::engine
