#include "engine/media_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tarn::engine {

namespace {
// A cancel is noticed between reads of at most this many bytes.
constexpr std::size_t kReadChunk = 256 * 1024;
} // namespace

bool checkMediaFile(const std::string &path, const char *kind, std::string &error,
                    std::uintmax_t &size)
{
    const std::string noun = std::string("a ") + kind + " file";
    size = 0;
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec) {
        if (ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory)
            error = "the file is not there";
        else if (ec == std::errc::permission_denied)
            error = "no permission to read the file";
        else
            error = "the file cannot be read (" + ec.message() + ")";
        return false;
    }
    if (!std::filesystem::is_regular_file(status)) {
        error = std::filesystem::is_directory(status) ? "it is a folder, not " + noun
                                                      : "it is not " + noun;
        return false;
    }
    const std::uintmax_t bytes = std::filesystem::file_size(path, ec);
    if (bytes == 0 && !ec) {
        error = "the file is empty";
        return false;
    }
    size = ec ? 0 : bytes;
    return true;
}

std::string cutShortReason(const std::string &path, std::uintmax_t openSize)
{
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec && openSize > 0 && size < openSize)
        return "the file was cut short while it played";
    return {};
}

UniqueFd openMediaFile(const std::string &path, const char *kind, std::string &error,
                       std::uintmax_t &size)
{
    // The check by name gives the reason in words for what is plainly wrong.
    if (!checkMediaFile(path, kind, error, size))
        return {};
    // O_NONBLOCK: should the name have become a pipe since the check, the
    // open does not wait for a writer (the fstat below then refuses it).
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0) {
        error = errno == EACCES
                    ? "no permission to read the file"
                    : std::string("the file cannot be read (") + std::strerror(errno) + ")";
        return {};
    }
    if (!S_ISREG(st.st_mode) || st.st_size <= 0) {
        error = std::string("it is not a ") + kind + " file";
        return {};
    }
    size = std::uintmax_t(st.st_size);
    return fd;
}

FileReader::~FileReader() = default;

bool FileReader::open(const std::string &path, CancelToken cancel, std::string &error)
{
    std::uintmax_t size = 0;
    fd_ = openMediaFile(path, "sound", error, size);
    if (!fd_)
        return false;
    size_ = std::int64_t(size);
    path_ = path;
    cancel_ = cancel;
    return true;
}

std::int64_t FileReader::read(void *into, std::size_t bytes, std::int64_t offset)
{
    auto *at = static_cast<unsigned char *>(into);
    std::size_t done = 0;
    while (done < bytes) {
        if (cancel_.cancelled()) {
            lastError_.clear();
            return -1;
        }
        const ssize_t n = ::pread(fd_.get(), at + done, std::min(bytes - done, kReadChunk),
                                  static_cast<off_t>(offset + std::int64_t(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            lastError_ = std::strerror(errno);
            return -1;
        }
        if (n == 0)
            break; // the end of the file
        done += std::size_t(n);
    }
    return std::int64_t(done);
}

} // namespace tarn::engine
