// Lock-free single-producer single-consumer ring of fixed-size blocks of
// interleaved float audio, the only path from the decoder thread to the
// output callback.
//
// THREADS
//   Producer side (writable(), publish()): the engine's decoder thread only.
//   Consumer side (readable(), consumed, pop()): the output callback only,
//   or the owner thread while it holds the output device's lock (which keeps
//   the callback out), to drop stale blocks while the device is paused.
//   A block's fields are written by the producer before publish() and read by
//   the consumer after readable(); the indices' release/acquire order makes
//   that safe.
#pragma once

#include <atomic>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tarn::engine {

struct AudioBlock {
    std::uint64_t segment = 0;   // the stretch of audio this belongs to
    std::int64_t firstFrame = 0; // timeline index of the block's first frame
    int frames = 0;              // frames held (may be 0 in a last block)
    int channels = 0;
    bool last = false; // the file ends after this block
    std::unique_ptr<float[]> samples;
};

class BlockRing {
public:
    // Storage is left untouched until written, so room for channels the
    // output does not have never becomes resident memory.
    BlockRing(std::size_t blocks, int framesPerBlock, int maxChannels)
        : blocks_(blocks), framesPerBlock_(framesPerBlock), maxChannels_(maxChannels)
    {
        for (auto &b : blocks_)
            b.samples =
                std::make_unique_for_overwrite<float[]>(std::size_t(framesPerBlock) * maxChannels);
    }

    int framesPerBlock() const { return framesPerBlock_; }
    int maxChannels() const { return maxChannels_; }
    std::size_t capacity() const { return blocks_.size(); }
    std::size_t filled() const
    {
        return tail_.load(std::memory_order_acquire) - head_.load(std::memory_order_acquire);
    }

    // Producer: the block to fill next, or null while the ring is full.
    AudioBlock *writable()
    {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        if (tail - head_.load(std::memory_order_acquire) >= blocks_.size())
            return nullptr;
        return &blocks_[tail % blocks_.size()];
    }
    void publish() { tail_.fetch_add(1, std::memory_order_release); }

    // Consumer: the oldest published block, or null when empty.
    AudioBlock *readable()
    {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire))
            return nullptr;
        return &blocks_[head % blocks_.size()];
    }
    void pop()
    {
        consumed = 0;
        head_.fetch_add(1, std::memory_order_release);
    }

    int consumed = 0; // consumer only: frames of the readable() block already handed out

private:
    std::vector<AudioBlock> blocks_;
    const int framesPerBlock_;
    const int maxChannels_;
    std::atomic<std::size_t> head_{0}; // next block to read; written by the consumer
    std::atomic<std::size_t> tail_{0}; // next block to write; written by the producer
};

} // namespace tarn::engine
