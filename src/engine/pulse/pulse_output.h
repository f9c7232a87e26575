// The PulseAudio side of the output: one playback stream on the server's
// default sink through the client library's asynchronous API. Pause, seek
// and volume are heard at once because the server corks, flushes and re-mixes
// what it holds (the sink rewinds; PipeWire: one period of its graph later,
// whatever the buffer); how much it holds is chooseBuffer()'s choice.
//
// THREADS
//   A pa_threaded_mainloop owns the connection: every libpulse callback runs
//   on its thread with the main loop's lock held, and so does render, except
//   when wantMore() writes: render then runs on the caller's thread, with the
//   lock held too. Each member takes that lock itself (it is recursive, so
//   members also work while the engine holds lock()); none may be called
//   from inside render (the library aborts when its own thread locks).
//   Guarded by the main loop's lock: the playing states, heard_, the volume
//   states and every libpulse object. Atomic, read without it: handed_,
//   starving_, lost_.
//   Read framesHanded() and queuedFrames() under lock() to get a pair that
//   belongs together: a write between them moves one and not the other.
//
// BUFFER
//   The server asks for audio whenever its buffer has room for a request's
//   worth; render fills what it can. When render has less, the stream is
//   starving and wantMore() writes the new audio at once instead of waiting
//   for the server's next request. A stream starts only from a full buffer
//   (see refilling_): after unpausing, and when it ran short while audio
//   still came in; when render has nothing for a while (the end of a file)
//   what is queued plays out. A flush while playing keeps the stream
//   running: the new audio follows what the sink has already mixed, with
//   no fresh period of silence before it (see flush()).
//
// VOLUME
//   The player's volume is the stream's own, as the desktop's mixer shows
//   it: the stream opens at the engine's gain (so the server's stream-restore
//   leaves it alone, and flat volumes never see a louder stream than the
//   player's) and setGain() sets it on the server, heard within the sink's
//   lead. The stream watches its own sink input: a volume that is not the
//   last one the player set (the mixer moved it) is handed to
//   OutputVolume::changed. While a set of ours is on its way, what the
//   server says may be an older set of ours, so it is asked again once our
//   sets are done. On PipeWire a new stream does not keep the volume it
//   asked for: it plays at full volume, and the reset may come a moment
//   after the stream is ready, later under load. So there the volume is set
//   again once the stream is ready, and in its first seconds full volume is
//   taken for that reset and set back, not passed on as the mixer's (any
//   other volume is the mixer's).
#pragma once

#include "engine/audio_output.h"
#include "engine/output_options.h"
#include "engine/pulse/pulse_buffer.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <pulse/def.h>
#include <pulse/volume.h>

struct pa_context;
struct pa_proplist;
struct pa_sink_input_info;
struct pa_stream;
struct pa_threaded_mainloop;
struct pa_time_event;
struct pa_mainloop_api;
struct timeval;

namespace tarn::engine {

namespace pulse_detail {
struct MainloopDeleter {
    void operator()(pa_threaded_mainloop *m) const;
};
struct ContextDeleter {
    void operator()(pa_context *c) const;
};
struct StreamDeleter {
    void operator()(pa_stream *s) const;
};
struct TimeEventDeleter {
    pa_mainloop_api *api = nullptr; // of the main loop the event belongs to
    void operator()(pa_time_event *e) const;
};
} // namespace pulse_detail

class PulseOutput final : public AudioOutput {
public:
    // Connects to the default server (or PULSE_SERVER) and opens a stream on
    // the default sink, corked. Format: `previous` when given (so audio
    // already prepared stays valid), else stereo 32-bit float at the default
    // sink's rate. Waits about a second at most: a server that does not
    // answer by then counts as none. Null with `error` set on failure.
    // The buffer is chooseBuffer()'s for this server, given `requested`
    // (TARN_PULSE_BUFFER_MS). The stream starts at `volume.gain`.
    static std::unique_ptr<PulseOutput>
    open(RenderFn render, void *userdata, const OutputSpec *previous, std::string &error,
         const std::optional<PulseBuffer> &requested = std::nullopt,
         const OutputVolume &volume = OutputVolume{});
    ~PulseOutput() override { close(); }
    PulseOutput(const PulseOutput &) = delete;
    PulseOutput &operator=(const PulseOutput &) = delete;

    void close() override;
    bool lost() const override { return lost_.load(std::memory_order_acquire); }
    void setPaused(bool paused) override;
    bool canFlush() const override { return true; }
    bool flush() override;
    void wantMore() override;
    // A corked stream costs the player nothing, but while it stays connected
    // the sink keeps the short period it asked for (a null sink then still
    // wakes 50 times a second): the engine closes it after a few idle seconds.
    bool idleIsFree() const override { return false; }
    bool setGain(float gain) override;
    void lock() override;
    void unlock() override;
    const OutputSpec &spec() const override { return spec_; }
    std::uint8_t silence() const override { return 0; }
    std::int64_t framesHanded() const override { return handed_.load(std::memory_order_acquire); }
    std::int64_t queuedFrames() const override;

    // What the server granted, in frames, for measurements: the stream's
    // target length and minimum request, and the sink latency it configured.
    struct Granted {
        std::int64_t target = 0;
        std::int64_t request = 0;
        std::int64_t prebuf = 0;
        std::int64_t sinkLatency = 0;
    };
    Granted granted() const;

private:
    PulseOutput(RenderFn render, void *userdata, const OutputVolume &volume)
        : render_(render), userdata_(userdata), volume_(volume)
    {
    }
    bool connect(std::string &error);
    // Asks the server what it is (onPipeWire_, graphRate_) and, with
    // `sinkRate` given, the default sink's rate.
    bool describeServer(int *sinkRate, std::string &error);
    bool openStream(const OutputSpec &want, const PulseBuffer &buffer, std::string &error);
    // Waits on the main loop (lock held) until `done` holds, the connection
    // fails or the open deadline passes; true when `done` holds.
    template <typename Done> bool waitUntil(Done done);
    std::string contextError(const char *what) const;

    void fill(std::size_t bytes); // lock held, not paused
    void fillWhatIsWritable();    // lock held
    int renderSafely(void *dest, int frames);
    bool cork(bool corked);                    // lock held
    void startRefill();                        // lock held
    void endRefill(bool drain);                // lock held
    void armRefillTimer();                     // lock held: ends a refill after a quiet spell
    void stopRefillTimer();                    // lock held
    std::int64_t queuedLocked() const;         // lock held
    void restoreVolume();                      // lock held: set ownVolume_ on the server again
    void watchVolume();                        // lock held: follow the mixer's changes
    void askVolume();                          // lock held: what the server has now
    void noteVolume(const pa_cvolume &volume); // lock held

    static void contextStateCallback(pa_context *c, void *self);
    static void streamStateCallback(pa_stream *s, void *self);
    static void writeCallback(pa_stream *s, std::size_t bytes, void *self);
    static void underflowCallback(pa_stream *s, void *self);
    static void refillTimerCallback(pa_mainloop_api *api, pa_time_event *e,
                                    const struct timeval *tv, void *self);
    static void subscribeCallback(pa_context *c, pa_subscription_event_type_t type,
                                  std::uint32_t index, void *self);
    static void sinkInputCallback(pa_context *c, const pa_sink_input_info *info, int eol,
                                  void *self);
    static void volumeSetCallback(pa_context *c, int success, void *self);
    static void deadlineCallback(pa_mainloop_api *api, pa_time_event *e, const struct timeval *tv,
                                 void *self);

    RenderFn render_;
    void *userdata_;
    OutputVolume volume_; // the gain to open at, and whom to tell of the mixer's changes
    OutputSpec spec_;
    std::string serverName_; // as the server calls itself
    int serverRate_ = 0;     // its default rate (the graph's on PipeWire)
    std::size_t frameBytes_ = 0;
    std::int64_t fullQueue_ = 0; // frames queued when the server has all it asks for
    bool threadRunning_ = false; // the owner's thread only (open and close)

    std::unique_ptr<pa_threaded_mainloop, pulse_detail::MainloopDeleter> mainloop_;
    std::unique_ptr<pa_context, pulse_detail::ContextDeleter> context_;
    std::unique_ptr<pa_stream, pulse_detail::StreamDeleter> stream_;
    std::unique_ptr<pa_time_event, pulse_detail::TimeEventDeleter> deadline_; // only while opening
    std::unique_ptr<pa_time_event, pulse_detail::TimeEventDeleter> refillTimer_;

    // Playing states, guarded by the main loop's lock. A stream that plays
    // from a queue shorter than what the sink mixes ahead, fed in small
    // pieces, loses audio: each piece ends an underrun, the server rewinds
    // the sink, and some of what it had mixed is dropped (measured: 30 to
    // 50 ms a piece). So the stream starts only from a full buffer.
    bool paused_ = true;             // the engine paused: corked
    bool refilling_ = false;         // playing, corked until the server holds a full buffer:
                                     // after unpausing, when it ran short
    bool draining_ = false;          // render had no audio for a while (the end of a file):
                                     // what is queued plays out; new audio refills first
    bool flushed_ = false;           // flushed while playing, no new audio written yet: an
                                     // underrun now is the gap before it, not the end
    std::int64_t refillFrames_ = 0;  // written since the refill began
    std::uint64_t lastWriteUs_ = 0;  // when render last gave audio (pa_rtclock_now)
    std::uint64_t dryUs_ = 0;        // draining: when the stream ran dry (0: not yet) ...
    std::int64_t dryQueued_ = 0;     // ... and what was left to hear then
    bool deadlinePassed_ = false;    // main loop lock
    mutable std::int64_t heard_ = 0; // main loop lock: the last handed - queued given out
    // Volume states, guarded by the main loop's lock.
    pa_cvolume ownVolume_{};           // the stream's volume as last set: by us, or by the mixer
    int setsPending_ = 0;              // sets of ours the server has not confirmed yet
    bool askingVolume_ = false;        // a sink input query is on its way ...
    bool askAgain_ = false;            // ... and another one is due after it
    pa_usec_t volumeClaimedUntil_ = 0; // PipeWire: until then, other volumes are set back
    std::atomic<std::int64_t> handed_{0};
    std::atomic<bool> starving_{false}; // render had less than the server asked for
    std::atomic<bool> lost_{false};     // the connection or the stream failed
};

} // namespace tarn::engine
