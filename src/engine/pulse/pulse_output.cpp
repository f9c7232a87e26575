#include "engine/pulse/pulse_output.h"
#include "engine/pulse/pulse_support.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>

namespace tarn::engine {

namespace {

constexpr pa_usec_t kOpenTimeoutUs = 1000 * PA_USEC_PER_MSEC;
// How long after a stream is ready PipeWire may still reset its volume (see
// VOLUME in pulse_output.h).
constexpr pa_usec_t kVolumeClaimUs = 3000 * PA_USEC_PER_MSEC;

struct ProplistDeleter {
    void operator()(pa_proplist *p) const { pa_proplist_free(p); }
};
using Proplist = std::unique_ptr<pa_proplist, ProplistDeleter>;

bool sampleFormat(const OutputSpec &s, pa_sample_format_t &format)
{
    if (s.isFloat && s.bytesPerSample == 4)
        format = PA_SAMPLE_FLOAT32NE;
    else if (!s.isFloat && s.bytesPerSample == 4)
        format = PA_SAMPLE_S32NE;
    else if (!s.isFloat && s.bytesPerSample == 2)
        format = PA_SAMPLE_S16NE;
    else if (!s.isFloat && s.bytesPerSample == 1)
        format = PA_SAMPLE_U8;
    else
        return false;
    return true;
}

// The engine writes FFmpeg's default layout for each channel count (which is
// also SDL's order); PulseAudio's own default map for 3 to 8 channels differs.
bool channelMap(int channels, pa_channel_map &map)
{
    using P = pa_channel_position_t;
    static constexpr P FL = PA_CHANNEL_POSITION_FRONT_LEFT, FR = PA_CHANNEL_POSITION_FRONT_RIGHT,
                       FC = PA_CHANNEL_POSITION_FRONT_CENTER, LFE = PA_CHANNEL_POSITION_LFE,
                       BL = PA_CHANNEL_POSITION_REAR_LEFT, BR = PA_CHANNEL_POSITION_REAR_RIGHT,
                       BC = PA_CHANNEL_POSITION_REAR_CENTER, SL = PA_CHANNEL_POSITION_SIDE_LEFT,
                       SR = PA_CHANNEL_POSITION_SIDE_RIGHT;
    static constexpr P layouts[kMaxOutputChannels][kMaxOutputChannels] = {
        {PA_CHANNEL_POSITION_MONO},
        {FL, FR},
        {FL, FR, LFE},
        {FL, FR, BL, BR},
        {FL, FR, FC, BL, BR},
        {FL, FR, FC, LFE, BL, BR},
        {FL, FR, FC, LFE, BC, SL, SR},
        {FL, FR, FC, LFE, BL, BR, SL, SR},
    };
    if (channels < 1 || channels > kMaxOutputChannels)
        return false;
    pa_channel_map_init(&map);
    map.channels = static_cast<std::uint8_t>(channels);
    std::copy_n(layouts[channels - 1], channels, map.map);
    return pa_channel_map_valid(&map) != 0;
}

std::uint32_t msToBytes(int ms, const pa_sample_spec &ss)
{
    return static_cast<std::uint32_t>(pa_usec_to_bytes(pa_usec_t(ms) * PA_USEC_PER_MSEC, &ss));
}
} // namespace

using pulse_detail::linearToVolume;
using pulse_detail::MainloopLock;
using pulse_detail::release;

void pulse_detail::MainloopDeleter::operator()(pa_threaded_mainloop *m) const
{
    pa_threaded_mainloop_free(m);
}

void pulse_detail::ContextDeleter::operator()(pa_context *c) const
{
    pa_context_unref(c);
}

void pulse_detail::StreamDeleter::operator()(pa_stream *s) const
{
    pa_stream_unref(s);
}

void pulse_detail::TimeEventDeleter::operator()(pa_time_event *e) const
{
    api->time_free(e);
}

// ---- opening ---------------------------------------------------------------

std::unique_ptr<PulseOutput> PulseOutput::open(RenderFn render, void *userdata,
                                               const OutputSpec *previous, std::string &error,
                                               const std::optional<PulseBuffer> &requested,
                                               const OutputVolume &volume)
{
    std::unique_ptr<PulseOutput> out(new PulseOutput(render, userdata, volume));
    if (!out->connect(error))
        return nullptr;
    MainloopLock lock(out->mainloop_.get());
    OutputSpec want{.rate = 0, .channels = 2, .isFloat = true, .bytesPerSample = 4};
    const bool keepFormat = previous != nullptr && previous->rate > 0;
    if (keepFormat)
        want = *previous;
    if (!out->describeServer(keepFormat ? nullptr : &want.rate, error))
        return nullptr;
    const PulseBuffer buffer =
        chooseBuffer(PulseServer{out->serverName_, out->serverRate_}, requested);
    if (!out->openStream(want, buffer, error))
        return nullptr;
    out->deadline_.reset(); // opened: a late deadline must not end anything
    return out;
}

bool PulseOutput::connect(std::string &error)
{
    mainloop_.reset(pa_threaded_mainloop_new());
    if (!mainloop_) {
        error = "PulseAudio: cannot create the client's main loop";
        return false;
    }
    pa_threaded_mainloop_set_name(mainloop_.get(), "tarn-pulse");
    pa_mainloop_api *api = pa_threaded_mainloop_get_api(mainloop_.get());
    Proplist props(pa_proplist_new());
    if (!props || pa_proplist_sets(props.get(), PA_PROP_APPLICATION_NAME, "Tarn Player") != 0 ||
        pa_proplist_sets(props.get(), PA_PROP_APPLICATION_ID, "tarn-player") != 0) {
        error = "PulseAudio: cannot describe the client";
        return false;
    }
    context_.reset(pa_context_new_with_proplist(api, "Tarn Player", props.get()));
    if (!context_) {
        error = "PulseAudio: cannot create a client context";
        return false;
    }
    pa_context_set_state_callback(context_.get(), &PulseOutput::contextStateCallback, this);
    // One deadline for the whole open: a server that accepts the connection
    // and then never answers must not hold the caller.
    deadline_ = std::unique_ptr<pa_time_event, pulse_detail::TimeEventDeleter>(
        pa_context_rttime_new(context_.get(), pa_rtclock_now() + kOpenTimeoutUs,
                              &PulseOutput::deadlineCallback, this),
        pulse_detail::TimeEventDeleter{api});
    if (!deadline_) {
        error = "PulseAudio: cannot set the connection deadline";
        return false;
    }
    if (pa_context_connect(context_.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        error = contextError("cannot connect to the sound server");
        return false;
    }
    if (pa_threaded_mainloop_start(mainloop_.get()) < 0) {
        error = "PulseAudio: cannot start the client's thread";
        return false;
    }
    threadRunning_ = true;
    MainloopLock lock(mainloop_.get());
    if (!waitUntil([&] { return pa_context_get_state(context_.get()) == PA_CONTEXT_READY; })) {
        error = contextError("no sound server answered");
        return false;
    }
    return true;
}

// What the server is (its name and default rate choose the buffer) and the
// default sink's own rate, so that files at that rate are not resampled
// anywhere; the server's default rate when the sink cannot be asked.
bool PulseOutput::describeServer(int *sinkRate, std::string &error)
{
    struct Answer {
        bool done = false;
        std::uint32_t rate = 0;
        char sink[256] = {}; // the default sink's name (no allocation in callbacks)
        char server[256] = {};
        pa_threaded_mainloop *mainloop = nullptr;
    } answer;
    answer.mainloop = mainloop_.get();
    auto serverInfo = [](pa_context *, const pa_server_info *info, void *data) {
        auto *a = static_cast<Answer *>(data);
        if (info != nullptr) {
            a->rate = info->sample_spec.rate;
            if (info->default_sink_name != nullptr)
                std::strncpy(a->sink, info->default_sink_name, sizeof a->sink - 1);
            if (info->server_name != nullptr)
                std::strncpy(a->server, info->server_name, sizeof a->server - 1);
        }
        a->done = true;
        pa_threaded_mainloop_signal(a->mainloop, 0);
    };
    auto sinkInfo = [](pa_context *, const pa_sink_info *info, int eol, void *data) {
        auto *a = static_cast<Answer *>(data);
        if (eol == 0 && info != nullptr)
            a->rate = info->sample_spec.rate;
        if (eol != 0) {
            a->done = true;
            pa_threaded_mainloop_signal(a->mainloop, 0);
        }
    };
    // Waits for one query; cancels it when the server does not answer, so
    // its callback cannot run after `answer` is gone.
    auto ask = [&](pa_operation *op) {
        if (op == nullptr)
            return false;
        const bool done = waitUntil([&] { return answer.done; });
        if (!done)
            pa_operation_cancel(op);
        pa_operation_unref(op);
        return done;
    };
    if (!ask(pa_context_get_server_info(context_.get(), serverInfo, &answer))) {
        error = contextError("the sound server did not describe itself");
        return false;
    }
    const auto validRate = [](std::uint32_t rate) {
        return rate > 0 && rate <= PA_RATE_MAX ? int(rate) : 48000;
    };
    serverName_ = answer.server;
    serverRate_ = validRate(answer.rate);
    if (sinkRate == nullptr)
        return true;
    if (answer.sink[0] != '\0') {
        answer.done = false;
        if (!ask(
                pa_context_get_sink_info_by_name(context_.get(), answer.sink, sinkInfo, &answer))) {
            error = contextError("the sound server did not describe its default output");
            return false;
        }
    }
    *sinkRate = validRate(answer.rate);
    return true;
}

bool PulseOutput::openStream(const OutputSpec &want, const PulseBuffer &buffer, std::string &error)
{
    pa_sample_spec ss{};
    pa_channel_map map{};
    if (!sampleFormat(want, ss.format) || !channelMap(want.channels, map) || want.rate <= 0) {
        error = "PulseAudio: the output format cannot be played";
        return false;
    }
    ss.rate = static_cast<std::uint32_t>(want.rate);
    ss.channels = static_cast<std::uint8_t>(want.channels);
    if (pa_sample_spec_valid(&ss) == 0) {
        error = "PulseAudio: the output format cannot be played";
        return false;
    }
    Proplist props(pa_proplist_new());
    if (!props || pa_proplist_sets(props.get(), PA_PROP_MEDIA_ROLE, "music") != 0) {
        error = "PulseAudio: cannot describe the stream";
        return false;
    }
    stream_.reset(pa_stream_new_with_proplist(context_.get(), "Playback", &ss, &map, props.get()));
    if (!stream_) {
        error = contextError("cannot create a stream");
        return false;
    }
    spec_ = want;
    frameBytes_ = pa_frame_size(&ss);
    pa_stream_set_state_callback(stream_.get(), &PulseOutput::streamStateCallback, this);
    pa_stream_set_write_callback(stream_.get(), &PulseOutput::writeCallback, this);
    pa_stream_set_underflow_callback(stream_.get(), &PulseOutput::underflowCallback, this);

    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = msToBytes(buffer.targetMs, ss);
    attr.prebuf = msToBytes(buffer.prebufMs, ss);
    attr.minreq = msToBytes(buffer.requestMs, ss);
    attr.fragsize = static_cast<std::uint32_t>(-1);
    auto flags = pa_stream_flags_t(PA_STREAM_START_CORKED | PA_STREAM_INTERPOLATE_TIMING |
                                   PA_STREAM_AUTO_TIMING_UPDATE);
    if (buffer.adjustLatency)
        flags = pa_stream_flags_t(flags | PA_STREAM_ADJUST_LATENCY);
    // The stream starts at the player's volume, which already holds what the
    // mixer last set: a volume given here is one the server's stream-restore
    // leaves alone, and no set after the open resets the mixer's choice.
    pa_cvolume_set(&ownVolume_, ss.channels, linearToVolume(volume_.gain));
    watchVolume();
    if (pa_stream_connect_playback(stream_.get(), nullptr, &attr, flags, &ownVolume_, nullptr) <
        0) {
        error = contextError("cannot open a playback stream");
        return false;
    }
    if (!waitUntil([&] { return pa_stream_get_state(stream_.get()) == PA_STREAM_READY; })) {
        error = contextError("the sound server did not open the stream");
        return false;
    }
    // The server asks for more once a request's worth has played.
    const pa_buffer_attr *granted = pa_stream_get_buffer_attr(stream_.get());
    if (granted == nullptr) {
        error = contextError("the sound server did not describe the stream");
        return false;
    }
    fullQueue_ = std::int64_t(granted->tlength - std::min(granted->minreq, granted->tlength)) /
                 std::int64_t(frameBytes_);
    if (isPipeWire(serverName_)) {
        volumeClaimedUntil_ = pa_rtclock_now() + kVolumeClaimUs;
        restoreVolume();
    }
    return true;
}

template <typename Done> bool PulseOutput::waitUntil(Done done)
{
    for (;;) {
        if (done())
            return true;
        if (deadlinePassed_ || lost_.load(std::memory_order_acquire))
            return false;
        pa_threaded_mainloop_wait(mainloop_.get());
    }
}

std::string PulseOutput::contextError(const char *what) const
{
    std::string text = std::string("PulseAudio: ") + what;
    if (deadlinePassed_)
        return text + " (no answer within a second)";
    const int code = context_ ? pa_context_errno(context_.get()) : PA_OK;
    if (code != PA_OK)
        text += std::string(" (") + pa_strerror(code) + ")";
    return text;
}

// ---- callbacks (main loop thread, lock held) -------------------------------

void PulseOutput::contextStateCallback(pa_context *c, void *self)
{
    auto *out = static_cast<PulseOutput *>(self);
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(c)))
        out->lost_.store(true, std::memory_order_release);
    pa_threaded_mainloop_signal(out->mainloop_.get(), 0);
}

void PulseOutput::streamStateCallback(pa_stream *s, void *self)
{
    auto *out = static_cast<PulseOutput *>(self);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(s)))
        out->lost_.store(true, std::memory_order_release);
    pa_threaded_mainloop_signal(out->mainloop_.get(), 0);
}

void PulseOutput::deadlineCallback(pa_mainloop_api *, pa_time_event *, const struct timeval *,
                                   void *self)
{
    auto *out = static_cast<PulseOutput *>(self);
    out->deadlinePassed_ = true;
    pa_threaded_mainloop_signal(out->mainloop_.get(), 0);
}

void PulseOutput::lock()
{
    if (mainloop_)
        pa_threaded_mainloop_lock(mainloop_.get());
}

void PulseOutput::unlock()
{
    if (mainloop_)
        pa_threaded_mainloop_unlock(mainloop_.get());
}

PulseOutput::Granted PulseOutput::granted() const
{
    MainloopLock lock(mainloop_.get());
    Granted g;
    if (!stream_ || frameBytes_ == 0)
        return g;
    if (const pa_buffer_attr *a = pa_stream_get_buffer_attr(stream_.get())) {
        g.target = a->tlength / frameBytes_;
        g.request = a->minreq / frameBytes_;
        g.prebuf = a->prebuf / frameBytes_;
    }
    if (const pa_timing_info *t = pa_stream_get_timing_info(stream_.get()))
        g.sinkLatency = std::int64_t(t->configured_sink_usec * spec_.rate / PA_USEC_PER_SEC);
    return g;
}

// ---- closing ---------------------------------------------------------------

void PulseOutput::close()
{
    if (!mainloop_)
        return;
    starving_.store(false, std::memory_order_relaxed);
    {
        MainloopLock lock(threadRunning_ ? mainloop_.get() : nullptr);
        deadline_.reset();
        refillTimer_.reset();
        if (stream_) {
            // No callback of ours may run from here on.
            pa_stream_set_write_callback(stream_.get(), nullptr, nullptr);
            pa_stream_set_underflow_callback(stream_.get(), nullptr, nullptr);
            pa_stream_set_state_callback(stream_.get(), nullptr, nullptr);
            if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_.get())))
                pa_stream_disconnect(stream_.get()); // the connection ends next anyway
        }
        if (context_) {
            pa_context_set_state_callback(context_.get(), nullptr, nullptr);
            // Queries and sets still on their way are cancelled with the
            // connection, before their callbacks could run.
            pa_context_set_subscribe_callback(context_.get(), nullptr, nullptr);
            if (PA_CONTEXT_IS_GOOD(pa_context_get_state(context_.get())))
                pa_context_disconnect(context_.get());
        }
    }
    if (threadRunning_)
        pa_threaded_mainloop_stop(mainloop_.get()); // joins the thread
    threadRunning_ = false;
    stream_.reset();
    context_.reset();
    mainloop_.reset();
}

} // namespace tarn::engine
