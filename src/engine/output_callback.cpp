// The render function, on the output's thread: hands the current segments'
// blocks to the output with the volume applied, drops stale ones, runs from
// the end of one file into the next one prepared after it, records what it
// handed, and when there is nothing to play lets the sound fall away. It
// takes no lock and allocates nothing; it only wakes the decoder thread when
// that one sleeps.
#include "engine/engine_state.h"

#include <algorithm>

namespace tarn::engine {

int Engine::Impl::render(void *userdata, std::uint8_t *dest, int wanted)
{
    Impl &d = *static_cast<Impl *>(userdata);
    // The output is not swapped while it runs render (see engine_state.h).
    const AudioOutput &out = *d.output;
    const OutputSpec &spec = out.spec();
    const int frameBytes = spec.channels * spec.bytesPerSample;
    const std::int64_t total0 = out.framesHanded();
    int done = 0;
    bool ended = false;
    const std::uint64_t minSegment = d.minSegment.load(std::memory_order_acquire);
    const bool playing = d.playing.load(std::memory_order_acquire);
    MarkSnapshot marks = d.marks.read(); // this thread is its only writer
    bool marked = false;
    if (playing) {
        const float target = d.targetGain.load(std::memory_order_relaxed);
        if (d.gainJump.load(std::memory_order_relaxed) && d.gainJump.exchange(false))
            d.writer.jumpTo(d.fadeIn.load() ? 0.0f : target);
        while (done < wanted) {
            AudioBlock *b = d.ring.readable();
            if (!b)
                break; // underrun: nothing more now
            if (b->segment < minSegment || d.isCancelled(b->segment) ||
                b->channels != spec.channels) {
                d.ring.pop();
                continue;
            }
            const int n = std::min(b->frames - d.ring.consumed, wanted - done);
            if (n > 0) {
                d.writer.write(b->samples.get() + std::size_t(d.ring.consumed) * b->channels, n,
                               target, dest + std::size_t(done) * frameBytes);
                d.ring.consumed += n;
                done += n;
                if (marks.current.segment != b->segment) {
                    marks.previous = marks.current;
                    marks.current.segment = b->segment;
                }
                marks.current.frame = b->firstFrame + d.ring.consumed;
                marks.current.total = total0 + done;
                marked = true;
                d.atEnd = false;
                if (d.latencyPending.load(std::memory_order_relaxed) &&
                    d.latencyPending.exchange(false))
                    d.firstSampleLatencyNs.store(steadyNowNs() - d.playCalledNs.load());
            }
            if (d.ring.consumed >= b->frames) {
                if (b->last) {
                    if (marks.current.segment != b->segment) { // an empty last block
                        marks.previous = marks.current;
                        marks.current = {b->segment, b->firstFrame, total0 + done};
                    }
                    marks.endBefore = marks.end;
                    marks.end = {b->segment, b->firstFrame + b->frames, total0 + done};
                    marked = true;
                    ended = true;
                    d.atEnd = true;
                }
                d.ring.pop(); // and on into the next file, when one follows
            }
        }
    }
    // Stopped or paused: the last sound falls away. At the end of a file or
    // on an underrun the audio itself decides: what follows is silence.
    if (!playing)
        done += d.writer.writeTail(wanted - done, dest + std::size_t(done) * frameBytes);
    else if (done < wanted)
        d.writer.dropTail();
    if (marked)
        d.marks.publish(marks);

    const bool idle = d.writer.quiet() && (!playing || (d.atEnd && d.ring.readable() == nullptr));
    const bool fellIdle = idle && !d.outputIdle;
    d.outputIdle = idle;
    if (fellIdle)
        d.pauseWanted.store(true);
    if (ended)
        d.endHanded.store(true);
    if (d.decoderSleeping.load() && (ended || fellIdle || d.ring.filled() <= d.ring.capacity() / 2))
        d.wake.notify_one();
    return done;
}

} // namespace tarn::engine
