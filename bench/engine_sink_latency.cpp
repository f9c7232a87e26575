// Latency heard at a PulseAudio sink: from a request to the engine (Play,
// Pause, resume, seek, volume) at a known steady-clock time to the moment the
// sink plays the change, found in a recording of the sink's monitor.
//
//   bench_engine_sink_latency FILE [REPEATS] [RECORD_LATENCY_MS]
//   (bench/run.sh sinklatency makes FILE and a server; results: bench/README.md)
//
// FILE is a WAV at the sink's rate whose left channel is a tone and whose
// right channel rises steadily from 0.05 to 0.95 over the file: its level
// tells where in the file a sample comes from (the seek), and its ratio to the
// level just before a volume change tells the new gain. Nothing else plays on
// the server.
//
// When each recorded sample was heard: the recorder's own stream reports,
// through libpulse's timing information, which of its samples the sink plays
// at a given moment (the monitor's latency is the sink's, negated); that
// mapping, sampled every 50 ms through the run, puts every recorded sample
// on the steady clock. It is checked at the start against clicks written to
// a playback stream of this program, whose own timing says when they are
// heard. The recorder asks for RECORD_LATENCY_MS (default 2000) so that it
// never makes the sink run at a shorter latency than the engine asked for.
//
// Per round, each request 0.6 to 1.1 s after the one before: Play on the
// stopped, open file after 3.6 to 4.1 s of silence (longer than an idle
// output stays open) and, played 1.6 to 2.1 s and stopped, again after 0.6
// to 1.1 s; a new file and Play at once (a double-click); Pause; Play again
// (resume); volume down 10 dB and back; a seek. REPEATS rounds (default 12).
// A request is counted only where the recording had silence before a start
// and sound before any other change; the rest are reported as not found.
// For each Pause it also reports, without any clock, how far into the file
// the last sound heard lies beyond the position the engine gave at the
// request (the ramp's level tells).
#include "engine/engine.h"
#include "engine/engine_environment.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kClicks = 8; // per calibration

std::int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

double median(std::vector<double> v)
{
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double quantile(std::vector<double> v, double q)
{
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(q * double(v.size())))];
}

// Everything below is touched with the main loop's lock held.
struct Recorder {
    pa_threaded_mainloop *loop = nullptr;
    pa_context *context = nullptr;
    pa_stream *record = nullptr;
    pa_stream *clicks = nullptr; // the calibration's playback stream
    std::string sink;
    pa_sample_spec spec{};
    std::vector<float> samples; // interleaved stereo, from the recording's first frame
    // Steady time at which frame 0 is heard: rough readings from the stream's
    // timing, then the figure the clicks give.
    std::vector<std::int64_t> originNs;
    double originFitNs = 0, nsPerFrame = 0;
    std::vector<std::int64_t> expectedClickNs; // when each click is heard, by its stream
    std::size_t holes = 0;
    // Calibration: clicks written at these frames of the playback stream.
    std::int64_t clickWritten = 0; // frames written so far
    std::int64_t clickDue = -1;    // write a click at the next write (frame), or -1
    std::vector<std::int64_t> clickFrames;
    pa_usec_t sinkLatency = 0, sinkConfigured = 0;
    bool infoDone = false;

    static void contextState(pa_context *, void *self)
    {
        pa_threaded_mainloop_signal(static_cast<Recorder *>(self)->loop, 0);
    }
    static void streamState(pa_stream *, void *self)
    {
        pa_threaded_mainloop_signal(static_cast<Recorder *>(self)->loop, 0);
    }
    static void serverInfo(pa_context *, const pa_server_info *i, void *self)
    {
        auto *r = static_cast<Recorder *>(self);
        r->sink = i->default_sink_name ? i->default_sink_name : "";
        r->spec = i->sample_spec;
        r->infoDone = true;
        pa_threaded_mainloop_signal(r->loop, 0);
    }
    static void sinkInfo(pa_context *, const pa_sink_info *i, int eol, void *self)
    {
        auto *r = static_cast<Recorder *>(self);
        if (eol == 0 && i) {
            r->sinkLatency = i->latency;
            r->sinkConfigured = i->configured_latency;
            r->spec.rate = i->sample_spec.rate;
        }
        if (eol != 0) {
            r->infoDone = true;
            pa_threaded_mainloop_signal(r->loop, 0);
        }
    }
    static void readable(pa_stream *s, std::size_t, void *self)
    {
        auto *r = static_cast<Recorder *>(self);
        const void *data = nullptr;
        std::size_t bytes = 0;
        while (pa_stream_readable_size(s) > 0 && pa_stream_peek(s, &data, &bytes) == 0 &&
               bytes > 0) {
            const auto *f = static_cast<const float *>(data);
            if (f)
                r->samples.insert(r->samples.end(), f, f + bytes / sizeof(float));
            else { // a hole: nothing was recorded there
                r->samples.resize(r->samples.size() + bytes / sizeof(float), 0.0f);
                ++r->holes;
            }
            pa_stream_drop(s);
        }
        r->sampleOrigin();
    }
    static void writable(pa_stream *s, std::size_t bytes, void *self)
    {
        auto *r = static_cast<Recorder *>(self);
        const std::size_t frames = bytes / (2 * sizeof(float));
        std::vector<float> out(frames * 2, 0.0f);
        if (r->clickDue >= 0) {
            // 5 ms of a loud square wave at the start of this write.
            const std::size_t n = std::min<std::size_t>(frames, r->spec.rate / 200);
            for (std::size_t i = 0; i < n; ++i)
                out[2 * i] = out[2 * i + 1] = (i / 20) % 2 ? -0.8f : 0.8f;
            r->clickFrames.push_back(r->clickWritten);
            r->clickDue = -1;
        }
        pa_stream_write(s, out.data(), out.size() * sizeof(float), nullptr, 0, PA_SEEK_RELATIVE);
        r->clickWritten += std::int64_t(frames);
    }

    // The steady time at which the recording's frame 0 is (or was) heard,
    // from the stream's current timing.
    void sampleOrigin()
    {
        pa_usec_t t = 0;
        if (!record || pa_stream_get_time(record, &t) != 0)
            return;
        originNs.push_back(nowNs() - std::int64_t(t) * 1000);
    }

    bool wait(const auto &done, const char *what)
    {
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (!done()) {
            if (Clock::now() > deadline || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
                std::fprintf(stderr, "recorder: %s failed\n", what);
                return false;
            }
            pa_threaded_mainloop_wait(loop);
        }
        return true;
    }

    bool start(int latencyMs)
    {
        loop = pa_threaded_mainloop_new();
        context = pa_context_new(pa_threaded_mainloop_get_api(loop), "tarn-bench-recorder");
        pa_context_set_state_callback(context, contextState, this);
        pa_threaded_mainloop_lock(loop);
        pa_threaded_mainloop_start(loop);
        bool ok =
            pa_context_connect(context, nullptr, PA_CONTEXT_NOFLAGS, nullptr) == 0 &&
            wait([&] { return pa_context_get_state(context) == PA_CONTEXT_READY; }, "connecting");
        if (ok) {
            infoDone = false;
            pa_operation_unref(pa_context_get_server_info(context, serverInfo, this));
            ok = wait([&] { return infoDone; }, "asking for the default sink");
        }
        if (ok) {
            infoDone = false;
            pa_operation_unref(
                pa_context_get_sink_info_by_name(context, sink.c_str(), sinkInfo, this));
            ok = wait([&] { return infoDone; }, "asking for the sink's rate");
        }
        if (ok) {
            spec.format = PA_SAMPLE_FLOAT32LE;
            spec.channels = 2;
            samples.reserve(std::size_t(spec.rate) * 2 * 240);
            record = pa_stream_new(context, "monitor", &spec, nullptr);
            pa_stream_set_state_callback(record, streamState, this);
            pa_stream_set_read_callback(record, readable, this);
            pa_buffer_attr attr{};
            attr.maxlength = std::uint32_t(-1);
            attr.fragsize = std::uint32_t(pa_usec_to_bytes(pa_usec_t(latencyMs) * 1000, &spec));
            const std::string monitor = sink + ".monitor";
            ok = pa_stream_connect_record(record, monitor.c_str(), &attr,
                                          pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY |
                                                            PA_STREAM_INTERPOLATE_TIMING |
                                                            PA_STREAM_AUTO_TIMING_UPDATE)) == 0 &&
                 wait([&] { return pa_stream_get_state(record) == PA_STREAM_READY; },
                      "recording the monitor");
        }
        pa_threaded_mainloop_unlock(loop);
        return ok;
    }

    // Plays `count` clicks through a playback stream of its own, each noted
    // in expectedClickNs with the time its stream's timing says it is heard.
    bool calibrate(int count)
    {
        pa_threaded_mainloop_lock(loop);
        clicks = pa_stream_new(context, "clicks", &spec, nullptr);
        pa_stream_set_state_callback(clicks, streamState, this);
        pa_stream_set_write_callback(clicks, writable, this);
        pa_buffer_attr attr{};
        attr.maxlength = std::uint32_t(-1);
        attr.tlength = std::uint32_t(pa_usec_to_bytes(200000, &spec));
        attr.prebuf = std::uint32_t(-1);
        attr.minreq = std::uint32_t(-1);
        attr.fragsize = std::uint32_t(-1);
        clickWritten = 0;
        clickFrames.clear();
        const bool ok =
            pa_stream_connect_playback(
                clicks, sink.c_str(), &attr,
                pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE),
                nullptr, nullptr) == 0 &&
            wait([&] { return pa_stream_get_state(clicks) == PA_STREAM_READY; }, "clicks");
        pa_threaded_mainloop_unlock(loop);
        if (!ok)
            return false;
        sleepMs(1000);
        for (int i = 0; i < count; ++i) {
            pa_threaded_mainloop_lock(loop);
            clickDue = 0;
            pa_threaded_mainloop_unlock(loop);
            sleepMs(400);
            // The click's frame less the frame being heard now, sampled a
            // few times while it waits to be heard.
            std::vector<double> at;
            for (int j = 0; j < 5; ++j) {
                pa_threaded_mainloop_lock(loop);
                pa_usec_t t = 0;
                if (clickFrames.size() == std::size_t(i + 1) && pa_stream_get_time(clicks, &t) == 0)
                    at.push_back(
                        double(nowNs()) +
                        (double(clickFrames[std::size_t(i)]) * 1e9 / spec.rate - double(t) * 1e3));
                pa_threaded_mainloop_unlock(loop);
                sleepMs(20);
            }
            if (!at.empty())
                expectedClickNs.push_back(std::int64_t(median(at)));
            poll();
            sleepMs(300);
        }
        pa_threaded_mainloop_lock(loop);
        pa_stream_disconnect(clicks);
        pa_stream_unref(clicks);
        clicks = nullptr;
        pa_threaded_mainloop_unlock(loop);
        return true;
    }

    // Puts the recording on the steady clock by the clicks: the sink plays
    // its frames one after another with no break, so heard time is a line
    // through the clicks' frames. (Not quite the nominal rate: a null sink
    // that works in small pieces runs a little fast, as it rounds each
    // piece's duration down to whole microseconds.) Returns each click's
    // distance from the line (ms), in order.
    std::vector<double> placeByClicks(const std::vector<float> &rec)
    {
        std::vector<std::pair<double, double>> points; // (frame, expected ns)
        for (const std::int64_t e : expectedClickNs) {
            // The stream's own timing is good to some tens of ms: enough to
            // tell the clicks, which are 700 ms apart, from one another.
            const std::int64_t from = std::max<std::int64_t>(0, frameAt(e - 300'000'000));
            const std::int64_t to =
                std::min<std::int64_t>(std::int64_t(rec.size() / 2), frameAt(e + 300'000'000));
            for (std::int64_t k = from; k < to; ++k) {
                if (std::fabs(rec[std::size_t(2 * k)]) > 0.4f) {
                    points.emplace_back(double(k), double(e));
                    break;
                }
            }
        }
        if (points.size() < 2)
            return {};
        double mk = 0, me = 0;
        for (const auto &[k, e] : points) {
            mk += k / double(points.size());
            me += e / double(points.size());
        }
        double skk = 0, ske = 0;
        for (const auto &[k, e] : points) {
            skk += (k - mk) * (k - mk);
            ske += (k - mk) * (e - me);
        }
        nsPerFrame = ske / skk;
        originFitNs = me - nsPerFrame * mk;
        std::vector<double> residualMs;
        for (const auto &[k, e] : points)
            residualMs.push_back((e - (originFitNs + nsPerFrame * k)) / 1e6);
        return residualMs;
    }

    void poll()
    {
        pa_threaded_mainloop_lock(loop);
        sampleOrigin();
        pa_threaded_mainloop_unlock(loop);
    }

    void readSinkLatency()
    {
        pa_threaded_mainloop_lock(loop);
        infoDone = false;
        pa_operation_unref(pa_context_get_sink_info_by_name(context, sink.c_str(), sinkInfo, this));
        wait([&] { return infoDone; }, "asking for the sink's latency");
        pa_threaded_mainloop_unlock(loop);
    }

    std::vector<float> copy()
    {
        pa_threaded_mainloop_lock(loop);
        std::vector<float> out = samples;
        pa_threaded_mainloop_unlock(loop);
        return out;
    }

    // Frame 0's heard time and the frames' spacing: from the clicks once
    // placeByClicks() ran, else from the stream's timing at the nominal rate.
    double origin() const
    {
        if (nsPerFrame > 0)
            return originFitNs;
        std::vector<double> o(originNs.begin(), originNs.end());
        return median(o);
    }
    double spacing() const { return nsPerFrame > 0 ? nsPerFrame : 1e9 / spec.rate; }
    std::int64_t heardNs(std::int64_t frame) const
    {
        return std::int64_t(origin() + double(frame) * spacing());
    }
    std::int64_t frameAt(std::int64_t ns) const
    {
        return std::int64_t(std::floor((double(ns) - origin()) / spacing()));
    }

    void stop()
    {
        pa_threaded_mainloop_lock(loop);
        sampleOrigin();
        pa_stream_disconnect(record);
        pa_stream_unref(record);
        pa_context_disconnect(context);
        pa_context_unref(context);
        pa_threaded_mainloop_unlock(loop);
        pa_threaded_mainloop_stop(loop);
        pa_threaded_mainloop_free(loop);
    }
};

enum class Kind { PlayAfterIdle, Play, OpenPlay, Pause, Resume, VolumeDown, VolumeUp, Seek };
const char *const kNames[] = {"Play, stopped 3.6 to 4.1 s",
                              "Play, stopped 0.6 to 1.1 s",
                              "new file + Play (a double-click)",
                              "Pause",
                              "Play after Pause (resume)",
                              "volume -10 dB",
                              "volume back to 0 dB",
                              "seek"};

struct Request {
    Kind kind;
    std::int64_t atNs;
    double target = 0;   // Seek: the right channel's level at the new position
    double position = 0; // Pause: the second of the file the engine said was heard
};

// What the recording says about one request: ms from the request to the
// sample where the change is heard, or NAN when it was not found.
struct Finder {
    const std::vector<float> &rec;
    const Recorder &clock;
    std::int64_t frames() const { return std::int64_t(rec.size() / 2); }
    float left(std::int64_t k) const { return rec[std::size_t(2 * k)]; }
    float right(std::int64_t k) const { return rec[std::size_t(2 * k + 1)]; }
    bool loud(std::int64_t k) const
    {
        return std::max(std::fabs(left(k)), std::fabs(right(k))) > 0.01f;
    }

    // Pause: how far the last sound after the request lies beyond the
    // position the engine gave at the request, in ms of the file, read from
    // the ramp's level: no clock is involved. NAN when it was not found.
    double pastPosition(const Request &r, std::int64_t untilNs, double length) const
    {
        const std::int64_t quiet = clock.spec.rate / 50; // 20 ms of silence ends the sound
        const std::int64_t end = std::min(frames(), clock.frameAt(untilNs));
        std::int64_t k = std::max<std::int64_t>(0, clock.frameAt(r.atNs - 30'000'000));
        for (std::int64_t run = 0; k < end && run < quiet; ++k)
            run = loud(k) ? 0 : run + 1;
        const std::int64_t last = k - quiet; // the last loud frame
        if (k >= end || last < 64)
            return NAN;
        double level = 0;
        for (std::int64_t i = last - 40; i < last - 8; ++i)
            level += right(i) / 32;
        return ((level - 0.05) / 0.9 * length - r.position) * 1000;
    }

    double measure(const Request &r, std::int64_t untilNs) const
    {
        const int rate = int(clock.spec.rate);
        const std::int64_t before = clock.frameAt(r.atNs - 30'000'000); // 30 ms before
        const std::int64_t end = std::min(frames(), clock.frameAt(untilNs));
        if (before < 0 || before >= end)
            return NAN;
        const auto ms = [&](std::int64_t k) { return double(clock.heardNs(k) - r.atNs) / 1e6; };
        // A change to what plays needs sound before it; a start needs silence.
        const bool starts = r.kind == Kind::PlayAfterIdle || r.kind == Kind::Play ||
                            r.kind == Kind::OpenPlay || r.kind == Kind::Resume;
        if (loud(before) == starts)
            return NAN;
        switch (r.kind) {
        case Kind::PlayAfterIdle:
        case Kind::Play:
        case Kind::OpenPlay:
        case Kind::Resume:
            for (std::int64_t k = before; k < end; ++k)
                if (loud(k))
                    return ms(k);
            return NAN;
        case Kind::Pause: {
            const std::int64_t quiet = rate / 50; // 20 ms of silence
            std::int64_t run = 0;
            for (std::int64_t k = before; k < end; ++k) {
                run = loud(k) ? 0 : run + 1;
                if (run == quiet)
                    return ms(k - quiet + 1);
            }
            return NAN;
        }
        case Kind::VolumeDown:
        case Kind::VolumeUp: {
            const double ref = right(before);
            const double g = std::pow(10.0, -1000 / 2000.0);
            const double mid =
                r.kind == Kind::VolumeDown ? ref * (1 + g) / 2 : ref * (1 + 1 / g) / 2;
            for (std::int64_t k = before; k < end; ++k)
                if (r.kind == Kind::VolumeDown ? right(k) < mid : right(k) > mid)
                    return ms(k);
            return NAN;
        }
        case Kind::Seek:
            for (std::int64_t k = before; k < end; ++k)
                if (std::fabs(right(k) - r.target) < 0.02)
                    return ms(k);
            return NAN;
        }
        return NAN;
    }
};

bool waitOpen(tarn::engine::Engine &engine)
{
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (engine.Length() <= 0 && engine.LastError().empty() && Clock::now() < deadline)
        sleepMs(1);
    return engine.Length() > 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [REPEATS] [RECORD_LATENCY_MS]\n", argv[0]);
        return 2;
    }
    const tarn::engine::EngineOptions options =
        tarn::engine::applyEngineEnvironment(argv[0], ::getenv);
    const std::string file = argv[1];
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 12;
    const int recordLatencyMs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 2000;

    Recorder recorder;
    if (!recorder.start(recordLatencyMs))
        return 1;
    std::printf("sink %s at %u Hz; recording its monitor\n", recorder.sink.c_str(),
                recorder.spec.rate);

    sleepMs(2500); // the recording covers the first Play
    tarn::engine::Engine engine(options);
    // Returns a bool in older engines; the outcome is read from Length().
    (void)engine.setFileName(file);
    if (!waitOpen(engine)) {
        std::fprintf(stderr, "%s: %s\n", file.c_str(), engine.LastError().c_str());
        return 1;
    }
    const double length = engine.Length();
    const auto level = [&](double seconds) { return 0.05 + 0.9 * seconds / length; };

    // The first Play opens the output; the sink then settles at the latency
    // the engine's stream asked for.
    const std::int64_t firstPlayNs = nowNs();
    engine.Play();
    std::vector<Request> requests;
    sleepMs(3000);
    engine.Stop();
    sleepMs(2000);

    if (!recorder.calibrate(kClicks))
        return 1;

    std::mt19937 rng(20261207);
    // Long enough for the previous request to be heard before the next.
    std::uniform_int_distribution<int> wait(600, 1100);
    const auto idle = [&](int ms) {
        for (const auto end = Clock::now() + std::chrono::milliseconds(ms); Clock::now() < end;) {
            recorder.poll();
            sleepMs(50);
        }
    };
    const auto request = [&](Kind kind, auto action, double target = 0) {
        requests.push_back({kind, nowNs(), target});
        action();
    };
    for (int i = 0; i < repeats; ++i) {
        // Stopped longer than an output stays open without sound, then not.
        idle(3000 + wait(rng));
        request(Kind::PlayAfterIdle, [&] { engine.Play(); });
        idle(1000 + wait(rng));
        engine.Stop();
        idle(wait(rng));
        request(Kind::Play, [&] { engine.Play(); });
        idle(wait(rng));
        engine.Stop();
        idle(wait(rng));
        request(Kind::OpenPlay, [&] {
            (void)engine.setFileName(file);
            engine.Play();
        });
        idle(wait(rng));
        const double heard = engine.Position();
        request(Kind::Pause, [&] { engine.Pause(); });
        requests.back().position = heard;
        idle(wait(rng));
        request(Kind::Resume, [&] { engine.Play(); });
        idle(wait(rng));
        request(Kind::VolumeDown, [&] { engine.setVolume(-1000); });
        idle(wait(rng));
        request(Kind::VolumeUp, [&] { engine.setVolume(0); });
        idle(wait(rng));
        if (i == 0)
            recorder.readSinkLatency(); // while the engine's stream plays
        const double to = length * 0.6 + 0.5 * (i % 20);
        request(
            Kind::Seek, [&] { engine.setPosition(to); }, level(to));
        idle(wait(rng));
        engine.Stop();
    }
    idle(1000);
    if (!recorder.calibrate(kClicks)) // again: the origin must not have moved
        return 1;
    idle(3000); // the last click reaches the recording
    const std::vector<float> rec = recorder.copy();
    recorder.stop();

    std::vector<double> rough(recorder.originNs.begin(), recorder.originNs.end());
    const double roughOrigin = recorder.origin();
    const std::vector<double> clicks = recorder.placeByClicks(rec);
    if (clicks.size() != 2 * kClicks) {
        std::fprintf(stderr, "found %zu of %d clicks in the recording\n", clicks.size(),
                     2 * kClicks);
        return 1;
    }
    std::printf("recording placed on the clock by %zu clicks (%d before the runs, %d after): "
                "each within %+.2f .. %+.2f ms of the line; the sink's clock runs %+.0f ppm "
                "off; %zu holes in the recording\n",
                clicks.size(), kClicks, kClicks, *std::min_element(clicks.begin(), clicks.end()),
                *std::max_element(clicks.begin(), clicks.end()),
                (1e9 / recorder.spec.rate / recorder.spacing() - 1) * 1e6, recorder.holes);
    std::printf("(the monitor stream's own timing put frame 0 %+.1f ms off, its readings "
                "spread p10 %+.1f .. p90 %+.1f ms)\n",
                (roughOrigin - recorder.origin()) / 1e6, (quantile(rough, 0.1) - roughOrigin) / 1e6,
                (quantile(rough, 0.9) - roughOrigin) / 1e6);
    std::printf("sink latency while the engine plays: %.1f ms (configured %.1f ms); the "
                "recorder asked for %d ms\n",
                double(recorder.sinkLatency) / 1e3, double(recorder.sinkConfigured) / 1e3,
                recordLatencyMs);

    // For a closer look: the recording (raw float stereo) and each request
    // as "kind frame" at the frame heard at the request's moment.
    if (const char *dump = std::getenv("TARN_BENCH_DUMP")) {
        if (FILE *f = std::fopen((std::string(dump) + ".raw").c_str(), "wb")) {
            std::fwrite(rec.data(), sizeof(float), rec.size(), f);
            std::fclose(f);
        }
        if (FILE *f = std::fopen((std::string(dump) + ".txt").c_str(), "w")) {
            std::fprintf(f, "first %lld\n", (long long)recorder.frameAt(firstPlayNs));
            for (const Request &r : requests)
                std::fprintf(f, "%d %lld\n", int(r.kind), (long long)recorder.frameAt(r.atNs));
            std::fclose(f);
        }
    }
    const Finder finder{rec, recorder};
    {
        const double first = finder.measure({Kind::Play, firstPlayNs}, firstPlayNs + 3'000'000'000);
        std::printf("first Play (opens the output): first sound after %.1f ms\n", first);
    }
    std::vector<double> past;
    std::map<Kind, std::vector<double>> found;
    std::map<Kind, int> missed;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const std::int64_t until =
            i + 1 < requests.size() ? requests[i + 1].atNs : requests[i].atNs + 2'000'000'000;
        const double ms = finder.measure(requests[i], until);
        if (requests[i].kind == Kind::Pause)
            if (const double p = finder.pastPosition(requests[i], until, length); !std::isnan(p))
                past.push_back(p);
        if (std::isnan(ms))
            ++missed[requests[i].kind];
        else
            found[requests[i].kind].push_back(ms);
    }
    std::printf("%-34s %5s %8s %8s %8s %8s\n", "request heard after (ms)", "runs", "median", "min",
                "p90", "max");
    for (int k = 0; k <= int(Kind::Seek); ++k) {
        const Kind kind = Kind(k);
        const std::vector<double> &v = found[kind];
        std::printf("%-34s %5zu %8.1f %8.1f %8.1f %8.1f", kNames[k], v.size(), median(v),
                    v.empty() ? NAN : *std::min_element(v.begin(), v.end()), quantile(v, 0.9),
                    v.empty() ? NAN : *std::max_element(v.begin(), v.end()));
        if (missed[kind] > 0)
            std::printf("   (%d not found in the recording)", missed[kind]);
        std::printf("\n");
    }
    // A check that needs no clock: a sink that plays out what it had mixed
    // ahead shows it here as sound from beyond the paused position.
    std::printf("Pause: the last sound lies %.1f ms (median; max %.1f, %zu pauses) beyond the "
                "position the engine gave at the request, by the ramp\n",
                median(past), past.empty() ? NAN : *std::max_element(past.begin(), past.end()),
                past.size());
    return 0;
}
