#include "engine/pulse/pulse_output.h"
#include "engine/pulse/pulse_support.h"

#include <algorithm>
#include <atomic>
#include <climits>

namespace tarn::engine {

namespace {

// Render gave no audio for this long: the decoder has none (the end of the
// file, or a stall); see PulseOutput::refilling_.
constexpr pa_usec_t kQuietUs = 100 * PA_USEC_PER_MSEC;

} // namespace

using pulse_detail::MainloopLock;
using pulse_detail::release;

void PulseOutput::writeCallback(pa_stream *, std::size_t bytes, void *self)
{
    auto *out = static_cast<PulseOutput *>(self);
    // A corked stream is asked to fill up after a flush (and right after
    // open); a paused output renders nothing, so setPaused(false) fills.
    if (!out->paused_)
        out->fill(bytes);
}

// ---- writing ---------------------------------------------------------------

int PulseOutput::renderSafely(void *dest, int frames)
{
    try {
        return render_(userdata_, static_cast<std::uint8_t *>(dest), frames);
    } catch (...) {
        return 0; // nothing may unwind through the library's C frames
    }
}

void PulseOutput::fill(std::size_t bytes)
{
    // Starving is set before render looks for audio and cleared only when
    // render had enough. Both this and wantMore()'s check are read-modify-
    // writes of it, so one reads the other's: either wantMore() sees it set
    // and writes again, or render sees what the decoder published before.
    starving_.exchange(true, std::memory_order_acq_rel);
    bool enough = true, wrote = false;
    while (bytes >= frameBytes_) {
        void *data = nullptr;
        std::size_t size = bytes;
        if (pa_stream_begin_write(stream_.get(), &data, &size) < 0 || data == nullptr) {
            enough = false; // the stream is going away; its state callback says so
            break;
        }
        const int frames = int(std::min<std::size_t>(size / frameBytes_, INT_MAX));
        const int got = frames > 0 ? std::clamp(renderSafely(data, frames), 0, frames) : 0;
        if (got == 0) {
            pa_stream_cancel_write(stream_.get()); // fails only for a stream that is gone
            enough = false;
            break;
        }
        if (draining_) // audio again after the end: gather it before playing
            startRefill();
        if (pa_stream_write(stream_.get(), data, std::size_t(got) * frameBytes_, nullptr, 0,
                            PA_SEEK_RELATIVE) < 0) {
            enough = false;
            break;
        }
        wrote = true;
        flushed_ = false;
        refillFrames_ += got;
        handed_.fetch_add(got, std::memory_order_release);
        bytes -= std::size_t(got) * frameBytes_;
        if (got < frames) {
            enough = false;
            break;
        }
    }
    if (enough)
        starving_.store(false, std::memory_order_release);
    if (wrote)
        lastWriteUs_ = pa_rtclock_now();
    if (refilling_) {
        // Not merely `enough`: just after a flush the request we filled may
        // be a stale remainder from before it. Not the server's latency
        // alone either: for a stream that ran dry, or never started, it
        // reads as nothing queued until the stream plays.
        if (refillFrames_ >= fullQueue_ || queuedLocked() >= fullQueue_)
            endRefill(false);
        else if (wrote)
            armRefillTimer();
    }
}

void PulseOutput::fillWhatIsWritable()
{
    if (!stream_ || paused_ || pa_stream_get_state(stream_.get()) != PA_STREAM_READY)
        return;
    const std::size_t writable = pa_stream_writable_size(stream_.get());
    if (writable != static_cast<std::size_t>(-1))
        fill(writable);
}

void PulseOutput::wantMore()
{
    // One locked instruction when render had enough (see fill()).
    bool starving = false;
    if (starving_.compare_exchange_strong(starving, false, std::memory_order_acq_rel,
                                          std::memory_order_acquire))
        return;
    MainloopLock lock(mainloop_.get());
    fillWhatIsWritable();
}

// ---- refilling -------------------------------------------------------------

void PulseOutput::startRefill()
{
    if (!refilling_)
        cork(true); // fails only when the connection is gone, which lost() reports
    refilling_ = true;
    refillFrames_ = 0;
    draining_ = false;
    dryUs_ = 0;
    armRefillTimer();
}

void PulseOutput::endRefill(bool drain)
{
    refilling_ = false;
    draining_ = drain;
    dryUs_ = 0;
    stopRefillTimer();
    cork(false);
}

void PulseOutput::stopRefillTimer()
{
    if (refillTimer_)
        pa_context_rttime_restart(context_.get(), refillTimer_.get(), PA_USEC_INVALID);
}

void PulseOutput::armRefillTimer()
{
    const pa_usec_t at = pa_rtclock_now() + kQuietUs;
    if (refillTimer_)
        pa_context_rttime_restart(context_.get(), refillTimer_.get(), at);
    else
        refillTimer_ = std::unique_ptr<pa_time_event, pulse_detail::TimeEventDeleter>(
            pa_context_rttime_new(context_.get(), at, &PulseOutput::refillTimerCallback, this),
            pulse_detail::TimeEventDeleter{pa_threaded_mainloop_get_api(mainloop_.get())});
    // Without the timer (out of memory) the next audio still ends the refill.
}

void PulseOutput::refillTimerCallback(pa_mainloop_api *, pa_time_event *, const struct timeval *,
                                      void *self)
{
    auto *out = static_cast<PulseOutput *>(self);
    // No audio for a while: play what there is (the end of the file, or all
    // a stalled decoder had); nothing at all stays corked until audio comes.
    if (out->refilling_ && (out->refillFrames_ > 0 || out->queuedLocked() > 0))
        out->endRefill(true);
}

void PulseOutput::underflowCallback(pa_stream *, void *self)
{
    auto *out = static_cast<PulseOutput *>(self);
    if (out->paused_ || out->refilling_ || out->flushed_)
        return; // the gap before the new audio is not the end of the audio
    const pa_usec_t now = pa_rtclock_now();
    // The server ran short: with a ring of seconds behind the stream that is
    // the end of the audio (nothing prepared after the last file), which
    // plays out. (Corking here to gather more would hold the last moments of
    // a track back until a timer fired.) All of it is in the sink's mix now. The library's clock
    // would stop short of it (at the stream's read position less the sink's latency, which the sink
    // keeps full of silence), so what is left is counted down from here.
    out->draining_ = true;
    if (out->dryUs_ == 0) {
        out->dryQueued_ = out->queuedLocked();
        out->dryUs_ = now;
    }
}

// ---- control ---------------------------------------------------------------

bool PulseOutput::cork(bool corked)
{
    return stream_ && release(pa_stream_cork(stream_.get(), corked ? 1 : 0, nullptr, nullptr));
}

void PulseOutput::setPaused(bool paused)
{
    MainloopLock lock(mainloop_.get());
    if (!stream_ || paused == paused_)
        return;
    paused_ = paused;
    if (paused) {
        refilling_ = draining_ = flushed_ = false;
        dryUs_ = 0;
        stopRefillTimer();
        cork(true); // fails only when the connection is gone, which lost() reports
        return;
    }
    // Still corked: top up what the server asked for meanwhile, and start
    // once it holds a full buffer (at once when it kept one).
    refilling_ = true;
    refillFrames_ = 0; // what the server kept counts through queuedLocked()
    armRefillTimer();
    fillWhatIsWritable();
}

bool PulseOutput::flush()
{
    MainloopLock lock(mainloop_.get());
    if (!stream_)
        return true;
    const std::int64_t dropped = queuedLocked();
    // The stream keeps running: the server drops its queue and mixes the new
    // audio as soon as it comes, after what the sink had already mixed of the
    // old (up to its latency, 15 ms with the default buffer). Corking first
    // made it worse: the sink then mixes a whole period of silence for the
    // corked stream, which an uncork does not take back, so the new audio
    // always came one period late. A seek overtaken by another at once may
    // likewise let what the sink mixed of it play. The decoder offers new
    // audio block by block as it comes, so the stream does not starve in
    // small pieces; if it comes late, the sink rewinds over the silence it
    // mixed meanwhile when it does.
    if (!paused_ && !refilling_) {
        draining_ = false; // whatever was playing out is gone
        dryUs_ = 0;
        flushed_ = true;
    }
    release(pa_stream_flush(stream_.get(), nullptr, nullptr));
    handed_.fetch_sub(dropped, std::memory_order_acq_rel);
    return true;
}

// ---- timeline --------------------------------------------------------------

std::int64_t PulseOutput::queuedLocked() const
{
    const std::int64_t handed = handed_.load(std::memory_order_acquire);
    // Without a latency figure (before the first timing update, and for a
    // round trip after a flush), assume nothing more was heard.
    std::int64_t queued = handed - heard_;
    pa_usec_t usec = 0;
    int negative = 0;
    if (dryUs_ != 0) {
        const auto played =
            std::int64_t((pa_rtclock_now() - dryUs_) * spec_.rate / PA_USEC_PER_SEC);
        queued = std::clamp<std::int64_t>(dryQueued_ - played, 0, handed - heard_);
    } else if (stream_ && pa_stream_get_latency(stream_.get(), &usec, &negative) == 0) {
        const auto frames = negative != 0 ? 0 : std::int64_t(usec * spec_.rate / PA_USEC_PER_SEC);
        // Never let what was heard move back (a flush that dropped less than
        // we subtracted, a late timing update).
        queued = std::clamp<std::int64_t>(frames, 0, handed - heard_);
    }
    heard_ = handed - queued;
    return queued;
}

std::int64_t PulseOutput::queuedFrames() const
{
    MainloopLock lock(mainloop_.get());
    return queuedLocked();
}

} // namespace tarn::engine
