// The engine's shared state and who may touch what.
//
// THREADS
//   owner    the thread that calls Engine's public members (the UI thread).
//   decoder  one thread per engine: adopts opened files (and closes old
//            ones), seeks, decodes into the ring, reports end-of-stream,
//            pauses the device once the output fell silent, reopens a
//            removed device.
//   output   SDL's callback thread: drains the ring, applies the volume,
//            fades out when playback stops, writes silence when there is
//            nothing to play; never blocks, never allocates, takes no engine
//            lock. Only the owner unpauses the device; only the decoder
//            pauses it.
//
// LOCKS (take in this order; never the other way round)
//   deviceMutex  the device (open, close, pause) and ring stale-dropping by
//                the owner; owner and decoder take it, each briefly (the
//                decoder also while reopening a removed device, the owner
//                while opening it at the first Play()).
//   SDL's device lock  held by SDL around each callback; the owner takes it
//                (under deviceMutex) to drop stale blocks.
//   commandMutex the command slot below; owner and decoder, briefly.
//   endOfStreamMutex  the end-of-stream callback; held by the decoder while
//                it runs the callback, by the owner while replacing it. Taken
//                with no other engine lock held.
//
// GENERATIONS
//   `generation` is bumped by every setFileName(), Stop(), seek and restart
//   (owner only). Blocks carry the generation they were decoded for; the
//   output drops any other. Heard positions and end-of-stream carry it too.
#pragma once

#include "engine/audio_device.h"
#include "engine/block_ring.h"
#include "engine/decoder.h"
#include "engine/engine.h"
#include "engine/sample_writer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tarn::engine {

// A 40-bit value tagged with the low 24 bits of a generation (or file
// serial), so both travel in one lock-free atomic. The tag repeats only after
// 16 million generations; the value covers 12 days at 1 MHz.
struct Stamp {
    static constexpr int kValueBits = 40;
    static std::uint64_t pack(std::uint64_t tag, std::int64_t value)
    {
        return (tag << kValueBits) |
               (std::uint64_t(value) & ((std::uint64_t{1} << kValueBits) - 1));
    }
    static bool matches(std::uint64_t stamp, std::uint64_t tag)
    {
        return (stamp >> kValueBits) == (tag & 0xFFFFFF);
    }
    static std::int64_t value(std::uint64_t stamp)
    {
        return std::int64_t(stamp & ((std::uint64_t{1} << kValueBits) - 1));
    }
};

inline std::int64_t steadyNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// What the owner asks of the decoder thread (guarded by commandMutex).
struct Command {
    bool pending = false;
    bool newSource = false; // adopt `source` (null: close the file)
    std::unique_ptr<Decoder> source;
    std::uint64_t fileSerial = 0; // of `source`
    bool seek = false;            // seek to `target` seconds
    double target = 0;
    bool newFormat = false; // resample to `format` from now on
    AudioFormat format;
    std::uint64_t generation = 0; // tag for everything decoded from now on
};

struct Engine::Impl {
    Impl();
    ~Impl();

    // ---- owner thread only ----
    std::string fileName;
    std::string lastError;
    bool hasFile = false;
    double estimatedLength = 0; // the container's idea, until the end is decoded
    double startSeconds = 0;    // where the current generation starts playing
    double resumeSeconds = 0;   // position at the last Play(): all before it was heard
    std::int32_t volume = 0;
    bool flag1017 = false;
    PlayState state = Stopped;
    std::uint64_t fileSerial = 0;
    AudioFormat format; // what the decoder resamples to (the device's, once open)

    // ---- written by the owner, read by the others ----
    std::atomic<std::uint64_t> generation{1};
    std::atomic<bool> playing{false}; // the output hands out audio only while set
    std::atomic<float> targetGain{1.0f};
    std::atomic<std::int64_t> playCalledNs{0};
    std::atomic<bool> latencyPending{false};
    std::atomic<bool> gainJump{false}; // set the gain afresh for the next audio:
    std::atomic<bool> fadeIn{false};   // from 0 (resuming mid-file) or at once (a fresh start)

    // ---- written by the output callback ----
    std::atomic<std::uint64_t> heard{0};           // Stamp(generation, frame after the last handed)
    std::atomic<std::uint64_t> endedGeneration{0}; // whose last sample was handed out
    std::atomic<std::int64_t> firstSampleLatencyNs{-1};
    // ---- written by the decoder thread ----
    std::atomic<std::uint64_t> decodedLengthUs{0}; // Stamp(fileSerial, exact length in µs)
    std::atomic<bool> decoderSleeping{false};
    // Set by the output callback when it fell silent with nothing to play:
    // the decoder thread then pauses the device (the owner never does, so
    // the sound can fade out first).
    std::atomic<bool> pauseWanted{false};

    // ---- device (deviceMutex); the callback reads spec only while running ----
    std::mutex deviceMutex;
    AudioDevice device;
    bool deviceLost = false; // removed while open: the decoder thread keeps trying to reopen it
    SampleWriter writer;     // output callback only (configured before the device runs)
    bool outputIdle = true;  // output callback only: silent with nothing to play

    // ---- command slot (commandMutex) ----
    std::mutex commandMutex;
    std::condition_variable wake; // decoder waits here; anyone notifies
    Command command;
    bool quit = false;
    std::atomic<bool> commandWaiting{false}; // mirrors command.pending for a cheap check

    // ---- end-of-stream callback (endOfStreamMutex) ----
    std::mutex endOfStreamMutex;
    EndOfStreamCallback endOfStream;

    // ---- decoder thread only ----
    std::unique_ptr<Decoder> source;
    std::uint64_t sourceSerial = 0;
    std::uint64_t writeGeneration = 0;
    bool sourceEnded = true;
    std::vector<float> staging;    // resampled frames not yet in the ring
    std::size_t stagingUsed = 0;   // samples of staging already copied
    std::int64_t stagingFrame = 0; // timeline index of staging's first unused frame
    std::uint64_t reportedEnd = 0;
    std::chrono::steady_clock::time_point lastDeviceCheck;

    BlockRing ring; // see block_ring.h for its two sides

    // Owner: starts a new generation; see engine.cpp.
    void restart(Command request);
    bool ensureDevice();
    void applyPause();
    int outputRate() const;

    // Decoder thread (decoder_thread.cpp).
    void decoderMain();
    void fillRing();
    void reportEndOfStream();
    void pauseIdleDevice();
    void watchDevice();

    // Output callback (output_callback.cpp).
    static void SDLCALL outputCallback(void *userdata, Uint8 *stream, int len);

    std::thread decoderThread; // last: started once everything above exists
};

} // namespace tarn::engine
