// A way to stop a file's reads from another thread: the engine hands one to
// every decoder it opens, and bumps the counter it watches (or sets quit)
// when nobody wants that file any more.
#pragma once

#include <atomic>
#include <cstdint>

namespace tarn::engine {

// Cancels the reads of a file once *current no longer equals `mine`, or *quit
// is set. The atomics must outlive whatever reads with the token.
struct CancelToken {
    const std::atomic<std::uint64_t> *current = nullptr;
    std::uint64_t mine = 0;
    const std::atomic<bool> *quit = nullptr;
    bool cancelled() const
    {
        return (quit && quit->load(std::memory_order_relaxed)) ||
               (current && current->load(std::memory_order_relaxed) != mine);
    }
};

} // namespace tarn::engine
