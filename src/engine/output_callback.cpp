// The output callback, on SDL's audio thread: hands the current generation's
// blocks to the device with the volume applied, drops stale ones, and when
// there is nothing to play lets the sound fall away, then writes silence. It takes no lock and
// allocates nothing; it only wakes the decoder thread when that one sleeps.
#include "engine/engine_state.h"

#include <algorithm>
#include <cstring>

namespace tarn::engine {

void SDLCALL Engine::Impl::outputCallback(void *userdata, Uint8 *stream, int len)
{
    Impl &d = *static_cast<Impl *>(userdata);
    const OutputSpec &spec = d.device.spec();
    const int frameBytes = spec.channels * spec.bytesPerSample;
    const int wanted = frameBytes > 0 ? len / frameBytes : 0;
    int done = 0;
    bool ended = false;
    const std::uint64_t gen = d.generation.load(std::memory_order_acquire);
    const bool playing = d.playing.load(std::memory_order_acquire);
    if (playing) {
        const float target = d.targetGain.load(std::memory_order_relaxed);
        if (d.gainJump.load(std::memory_order_relaxed) && d.gainJump.exchange(false))
            d.writer.jumpTo(d.fadeIn.load() ? 0.0f : target);
        while (done < wanted) {
            AudioBlock *b = d.ring.readable();
            if (!b)
                break; // underrun: silence below, not counted as heard
            if (b->generation != gen || b->channels != spec.channels) {
                d.ring.pop();
                continue;
            }
            const int n = std::min(b->frames - d.ring.consumed, wanted - done);
            if (n > 0) {
                d.writer.write(b->samples.get() + std::size_t(d.ring.consumed) * b->channels, n,
                               target, stream + std::size_t(done) * frameBytes);
                d.ring.consumed += n;
                done += n;
                d.heard.store(Stamp::pack(gen, b->firstFrame + d.ring.consumed),
                              std::memory_order_release);
                if (d.latencyPending.load(std::memory_order_relaxed) &&
                    d.latencyPending.exchange(false))
                    d.firstSampleLatencyNs.store(steadyNowNs() - d.playCalledNs.load());
            }
            if (d.ring.consumed >= b->frames) {
                const bool last = b->last;
                if (last)
                    d.heard.store(Stamp::pack(gen, b->firstFrame + b->frames));
                d.ring.pop();
                if (last) {
                    d.endedGeneration.store(gen);
                    ended = true;
                    break;
                }
            }
        }
    }
    // Stopped or paused: the last sound falls away, then silence. At the end
    // of a file or on an underrun the audio itself decides: plain silence.
    if (!playing)
        done += d.writer.writeTail(wanted - done, stream + std::size_t(done) * frameBytes);
    else if (done < wanted)
        d.writer.dropTail();
    const std::size_t written = std::size_t(done) * frameBytes;
    std::memset(stream + written, d.device.silence(), std::size_t(len) - written);

    const bool idle = d.writer.quiet() && (!playing || d.endedGeneration.load() == gen);
    const bool fellIdle = idle && !d.outputIdle;
    d.outputIdle = idle;
    if (fellIdle)
        d.pauseWanted.store(true);
    if (d.decoderSleeping.load() && (ended || fellIdle || d.ring.filled() <= d.ring.capacity() / 2))
        d.wake.notify_one();
}

} // namespace tarn::engine
