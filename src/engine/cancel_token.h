// A way to stop a file's reads from another thread: the engine hands one to
// every decoder it opens, and bumps the counter it watches (or sets quit)
// when nobody wants that file any more.
#pragma once

#include <atomic>
#include <cstdint>

namespace tarn::engine {

// Cancels the reads of a file once *current no longer equals `mine`, or *quit
// is set. A file opened ahead of need gives two more ways: its reads also go
// on once *current equals `later` (the owner has taken the file over), and
// they end when *hint moves away from `hintMine` while *opening is set (the
// owner named another file while this one was still opening). Once opened, a
// file the output may already be playing is never cancelled by a new name.
// The atomics must outlive whatever reads with the token.
struct CancelToken {
    const std::atomic<std::uint64_t> *current = nullptr;
    std::uint64_t mine = 0;
    const std::atomic<bool> *quit = nullptr;
    std::uint64_t later = 0; // 0: none
    const std::atomic<bool> *opening = nullptr;
    const std::atomic<std::uint64_t> *hint = nullptr;
    std::uint64_t hintMine = 0;

    bool cancelled() const
    {
        if (quit && quit->load(std::memory_order_relaxed))
            return true;
        if (current) {
            const std::uint64_t wanted = current->load(std::memory_order_relaxed);
            if (wanted != mine && (later == 0 || wanted != later))
                return true;
        }
        return opening && opening->load(std::memory_order_relaxed) && hint &&
               hint->load(std::memory_order_relaxed) != hintMine;
    }
};

} // namespace tarn::engine
