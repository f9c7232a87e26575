// The engine's decoder thread: takes the owner's commands, keeps the ring
// full, reports end-of-stream and reopens a removed output device. See
// engine_state.h for the threads and locks.
#include "engine/engine_state.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <pthread.h>

namespace tarn::engine {

using namespace std::chrono_literals;

void Engine::Impl::decoderMain()
{
    pthread_setname_np(pthread_self(), "tarn-decoder"); // told apart in top and perf
    bool drained = false; // the source has given its last frames (into staging)
    for (;;) {
        Command cmd;
        {
            std::unique_lock lock(commandMutex);
            const auto busy = [&] {
                return quit || command.pending ||
                       (source && !sourceEnded && ring.writable() != nullptr) ||
                       endedGeneration.load() != reportedEnd || pauseWanted.load();
            };
            if (!busy()) {
                // Asleep until the owner posts, the output drains half the
                // ring or ends a file; the timeout only watches the device.
                decoderSleeping.store(true);
                const bool sounding = playing.load() && endedGeneration.load() != generation.load();
                wake.wait_for(lock, sounding ? 1s : 2s, busy);
                decoderSleeping.store(false);
            }
            if (quit)
                return;
            if (command.pending) {
                cmd = std::move(command);
                command = Command{};
                commandWaiting.store(false);
            }
        }
        if (cmd.pending) {
            if (cmd.newSource) {
                source = std::move(cmd.source); // the old file closes here, off the owner's thread
                sourceSerial = cmd.fileSerial;
                sourceEnded = source == nullptr;
                drained = false;
            }
            if (cmd.newFormat && source)
                source->setOutputFormat(cmd.format);
            if (cmd.seek && source) {
                source->seek(cmd.target);
                sourceEnded = false;
                drained = false;
            }
            writeGeneration = cmd.generation;
            staging.clear();
            stagingUsed = 0;
        }
        reportEndOfStream();
        pauseIdleDevice();
        watchDevice();

        // Fill free blocks until the ring is full, the file ends or a new
        // command arrives.
        while (source && !sourceEnded && !commandWaiting.load()) {
            AudioBlock *block = ring.writable();
            if (!block)
                break;
            const int channels = source->outputFormat().channels;
            block->generation = writeGeneration;
            block->channels = channels;
            block->frames = 0;
            block->firstFrame = stagingFrame;
            while (block->frames < ring.framesPerBlock()) {
                if (stagingUsed == staging.size()) {
                    if (drained)
                        break;
                    staging.clear();
                    stagingUsed = 0;
                    drained = !source->decode(staging, stagingFrame);
                    continue;
                }
                if (block->frames == 0)
                    block->firstFrame = stagingFrame;
                const int n = std::min<std::int64_t>(ring.framesPerBlock() - block->frames,
                                                     (staging.size() - stagingUsed) / channels);
                std::memcpy(block->samples.get() + std::size_t(block->frames) * channels,
                            staging.data() + stagingUsed, sizeof(float) * n * channels);
                block->frames += n;
                stagingUsed += std::size_t(n) * channels;
                stagingFrame += n;
            }
            block->last = drained && stagingUsed == staging.size();
            if (block->frames == 0)
                block->firstFrame = stagingFrame;
            if (block->last) {
                sourceEnded = true;
                const int rate = source->outputFormat().rate;
                decodedLengthUs.store(
                    Stamp::pack(sourceSerial, std::llround(double(stagingFrame) * 1e6 / rate)));
            }
            ring.publish();
        }
    }
}

void Engine::Impl::reportEndOfStream()
{
    const std::uint64_t ended = endedGeneration.load();
    if (ended == 0 || ended == reportedEnd)
        return;
    reportedEnd = ended;
    if (generation.load() != ended)
        return; // overtaken by setFileName(), Stop() or a seek
    std::lock_guard lock(endOfStreamMutex);
    if (!endOfStream)
        return;
    try {
        endOfStream(ended);
    } catch (...) {
        // The receiver's fault must not end the decoder thread.
    }
}

void Engine::Impl::pauseIdleDevice()
{
    if (!pauseWanted.exchange(false))
        return;
    // Under deviceMutex neither Play() nor a new generation can slip in
    // between the check and the pause.
    std::lock_guard lock(deviceMutex);
    if (!playing.load() || endedGeneration.load() == generation.load())
        device.setPaused(true); // nothing to play: spare the CPU
}

void Engine::Impl::watchDevice()
{
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDeviceCheck < 1s)
        return;
    lastDeviceCheck = now;
    std::lock_guard lock(deviceMutex);
    if (device.isOpen()) {
        if (!device.lost())
            return;
        // Unplugged, or the sound server went away: open the default device
        // again (the desktop may route it elsewhere now) in the same format,
        // now or, while that fails, at the next checks.
        device.close();
        deviceLost = true;
    } else if (!deviceLost) {
        return; // never opened, or closed on purpose
    }
    std::string error;
    if (device.open(&Impl::outputCallback, this, error)) {
        deviceLost = false;
        device.setPaused(!playing.load() || endedGeneration.load() == generation.load());
    }
    // else tried again at the next check, and by the owner's next Play()
}

} // namespace tarn::engine
