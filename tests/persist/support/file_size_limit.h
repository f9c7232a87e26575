// Simulates a full disk for the current process: while a FileSizeLimit lives,
// no file may grow past `bytes` and such a write fails with EFBIG. Unlike a
// read-only folder this also stops root, so the tests behave the same for
// every user.
#pragma once

#include <csignal>
#include <sys/resource.h>

namespace tarn::test {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, SIG_IGN); // fail the write instead of ending the process
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved_); }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit saved_{};
};

} // namespace tarn::test
