// The PulseAudio output against a private server's null sink. What the sink
// plays is recorded from its monitor, and every sample says where it
// belongs: the left channel is a tone, the right channel codes the sample's
// place on the output's timeline (framesHanded() when it was written) and
// which part of the session it belongs to (a new part after every pause or
// flush). So the recording shows exactly what was heard, and where.
//
// The monitor shows a rewind only as far as the sink had not yet passed it
// on: the first piece of every mix goes out at once. The sink here mixes
// float in eight channels, so a piece is 2046 frames (21 ms at 96 kHz), and
// checks of a rewind allow that much.
#include "engine/pulse/pulse_output.h"
#include "engine/support/monitor_recorder.h"
#include "engine/support/output_checks.h"
#include "engine/support/sound_server.h"

#include <atomic>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>

using namespace tarn::test;
using tarn::engine::AudioOutput;
using tarn::engine::OutputSpec;
using tarn::engine::PulseOutput;
using namespace std::chrono_literals;

namespace {

constexpr int kRate = 96000;
constexpr std::int64_t kPiece = 2046;        // what the monitor may show of a rewound mix
constexpr std::int64_t kPrompt = kRate / 50; // a change is heard within 20 ms ...
constexpr std::int64_t kEarly = kRate / 200; // ... and not 5 ms before the position said
constexpr double kCodeSpan = 1 << 20;        // positions repeat after 10.9 s
// The right channel: part p codes its places in band p % 3 of these.
constexpr double kBandBase = 0.22, kBandStep = 0.22, kBandWidth = 0.2;

// The audio render writes: all of it, or up to what a test "decoder" has
// published so far. Guarded by the output's lock (render runs under it).
struct Source {
    std::int64_t pos = 0; // timeline position of the next frame
    int part = 0;
    double phase = 0;
    std::int64_t published = LLONG_MAX;
    std::atomic<bool> closed{false};
    std::atomic<int> callsAfterClose{0};

    static int render(void *self, std::uint8_t *dest, int frames)
    {
        auto *s = static_cast<Source *>(self);
        if (s->closed.load())
            s->callsAfterClose.fetch_add(1);
        const int n = int(std::clamp<std::int64_t>(s->published - s->pos, 0, frames));
        auto *out = reinterpret_cast<float *>(dest);
        for (int i = 0; i < n; ++i, ++s->pos) {
            *out++ = 0.4f * float(std::cos(s->phase));
            s->phase += 2 * M_PI * 1000 / kRate;
            const double place = std::fmod(double(s->pos), kCodeSpan) / kCodeSpan;
            *out++ = float(kBandBase + kBandStep * (s->part % 3) + kBandWidth * place);
        }
        return n;
    }
};

// One recorded sample: the band of its part, whether it plays below full
// level (band and place are then unknown), and its place.
struct Heard {
    int band = -1; // -1: silence or below full level
    bool reduced = false;
    std::int64_t pos = -1;
};

Heard decode(float right)
{
    if (right >= float(kBandBase) - 0.001f) {
        const int band = std::clamp(int((right - kBandBase + 0.01) / kBandStep), 0, 2);
        const double place = (right - kBandBase - kBandStep * band) / kBandWidth;
        return {band, false, std::llround(place * kCodeSpan)};
    }
    if (right > 1e-4f)
        return {-1, true, -1};
    return {};
}

// Runs of samples that agree in band and level, in recording order.
struct Run {
    int band;
    bool reduced;
    std::int64_t first, last; // places, for full-level runs
    std::size_t begin, end;   // sample indices
};

std::vector<Run> runsOf(const std::vector<float> &rec, int &skips)
{
    std::vector<Run> runs;
    skips = 0;
    for (std::size_t i = 0; i + 1 < rec.size(); i += 2) {
        const Heard h = decode(rec[i + 1]);
        if (h.band == -1 && !h.reduced)
            continue;
        const std::size_t at = i / 2;
        Run *r = runs.empty() ? nullptr : &runs.back();
        if (r != nullptr && r->band == h.band && r->reduced == h.reduced && r->end == at) {
            // Guards: audio lost inside steady playback (a jump in place).
            if (!h.reduced && h.pos != r->last + 1)
                ++skips;
            r->last = h.pos;
            r->end = at + 1;
        } else {
            runs.push_back({h.band, h.reduced, h.pos, h.pos, at, at + 1});
        }
    }
    return runs;
}

// The output's heard position, read as one (render kept out).
std::int64_t heard(AudioOutput &out)
{
    out.lock();
    const std::int64_t h = out.framesHanded() - out.queuedFrames();
    out.unlock();
    return h;
}

struct Session {
    Source source;
    std::unique_ptr<PulseOutput> out;
    std::int64_t lastHeard = 0;
    int backwards = 0;
    std::int64_t newFrom = 0; // place of the first frame written after the last flush

    // Waits, reading the position every 10 ms as the engine's display does.
    void play(std::chrono::milliseconds time)
    {
        for (auto t = 0ms; t < time; t += 10ms) {
            const std::int64_t h = heard(*out);
            backwards += h < lastHeard;
            lastHeard = std::max(h, lastHeard);
            std::this_thread::sleep_for(10ms);
        }
    }

    // Flushes and starts a new part, whose audio the "decoder" first has to
    // find; returns the position heard at the flush.
    std::int64_t flush(Checks &checks, const char *what)
    {
        out->lock();
        const std::int64_t at = out->framesHanded() - out->queuedFrames();
        out->flush();
        ++source.part;
        newFrom = source.pos = source.published = out->framesHanded();
        out->unlock();
        // Guards: a flush that drops audio but not its count (the position
        // leaps ahead once the server reports again).
        checks.expect(
            source.pos - at >= 0 && source.pos - at <= kEarly,
            fmt("%s: %lld frames still counted as handed", what, (long long)(source.pos - at)));
        return at;
    }

    // The decoder hands over its audio in pieces, as the engine's does,
    // each followed by wantMore(); `all` then lets render have everything.
    void publish(int pieces, bool all)
    {
        for (int i = 0; i <= pieces; ++i) {
            std::this_thread::sleep_for(2ms); // decoding it
            out->lock();
            source.published = i < pieces || !all ? source.published + kRate / 100 : LLONG_MAX;
            out->unlock();
            out->wantMore();
        }
    }
};

enum class Action { PauseFlushPlay, Seek, SeekTwice, Gain };
struct Event {
    const char *name;
    Action action;
    float gain = 1;
};

void checkEventsHeardAtOnce(Checks &checks, PrivateSoundServer &server)
{
    const Event events[] = {
        {"pause and flush", Action::PauseFlushPlay}, {"a seek (flush while playing)", Action::Seek},
        {"two seeks in a row", Action::SeekTwice},   {"volume to a quarter", Action::Gain, 0.25f},
        {"volume back to full", Action::Gain, 1.0f},
    };
    struct Done {
        const Event *event;
        std::int64_t heardAt;         // the output's position when it happened
        std::int64_t newFrom;         // place of the first frame written after it
        int band;                     // of the audio written after it
        std::int64_t overtakenAt = 0; // two seeks: the position at the second
    };
    std::vector<Done> done;
    std::vector<float> rec;
    int backwards = 0;
    {
        MonitorRecorder recorder(server, kRate, 2, 250);
        Session s;
        std::string error;
        s.out = PulseOutput::open(&Source::render, &s.source, nullptr, error);
        if (!checks.expect(recorder.running() && s.out != nullptr, "cannot start: " + error))
            return;
        s.out->setGain(1);
        s.out->setPaused(false);
        s.play(800ms);
        for (int round = 0; round < 2; ++round) {
            for (const Event &e : events) {
                s.play(std::chrono::milliseconds(300 + 37 * round));
                std::int64_t at = 0, second = 0;
                switch (e.action) {
                case Action::PauseFlushPlay:
                    s.out->setPaused(true);
                    at = s.flush(checks, e.name);
                    s.publish(0, true);
                    s.play(200ms);
                    s.out->setPaused(false);
                    break;
                case Action::Seek:
                    at = s.flush(checks, e.name);
                    s.publish(8, true);
                    break;
                case Action::SeekTwice:
                    at = s.flush(checks, e.name);
                    s.publish(3, false);
                    second = s.flush(checks, e.name);
                    s.publish(8, true);
                    break;
                case Action::Gain:
                    at = heard(*s.out);
                    s.out->setGain(e.gain);
                    break;
                }
                done.push_back({&e, at, s.newFrom, s.source.part % 3, second});
            }
        }
        s.play(300ms);
        s.out->close();
        backwards = s.backwards;
        std::this_thread::sleep_for(500ms); // the monitor passes on what it held
        rec = recorder.stop();
    }
    int skips = 0;
    const std::vector<Run> runs = runsOf(rec, skips);
    // Guards: the start of the audio lost (a stream that starts empty).
    checks.expect(!runs.empty() && runs.front().first >= 0 && runs.front().first <= kPiece,
                  fmt("first sound recorded is frame %lld, expected 0",
                      runs.empty() ? -1LL : (long long)runs.front().first));
    checks.expect(skips == 0, fmt("%d jumps in steady playback", skips));
    // Guards: a position that moves backwards (a flush that subtracts too much).
    checks.expect(backwards == 0, fmt("the position moved back %d times", backwards));

    std::size_t at = 0; // the run where the previous event took effect
    for (const Done &d : done) {
        const bool gain = d.event->action == Action::Gain;
        // The run the change ends (last) and the run it starts (next).
        std::size_t next = at + 1;
        while (next < runs.size() &&
               !(gain ? runs[next].reduced != runs[at].reduced : runs[next].band != runs[at].band))
            ++next;
        if (!checks.expect(next < runs.size(), std::string(d.event->name) + ": not recorded"))
            return;
        std::size_t last = next - 1;
        while (last > at && runs[last].reduced)
            --last;
        // For a change to full level its first full sample tells where it
        // happened; otherwise the last sample before it.
        const bool up = gain && runs[at].reduced;
        const std::int64_t changedAt = up ? runs[next].first : runs[last].last + 1;
        // Guards: the server's buffer (or the sink's mix) played out after
        // a pause, seek or volume change; a position ahead of the sound.
        checks.expect(changedAt - d.heardAt >= -kEarly && changedAt - d.heardAt <= kPrompt + kPiece,
                      fmt("%s: heard %.1f ms after the position said", d.event->name,
                          double(changedAt - d.heardAt) * 1000 / kRate));
        if (!gain) {
            // A seek overtaken by another at once: what played of it before
            // the second, and what the sink had mixed of it then, may play.
            const Run &o = runs[next];
            if (d.event->action == Action::SeekTwice && next + 1 < runs.size() && !o.reduced &&
                o.band == (d.band + 2) % 3 && o.last + 1 - d.overtakenAt <= kPrompt + kPiece)
                ++next;
            // Guards: the start of the new audio lost; the audio of a seek
            // that was overtaken by another played for longer than that.
            checks.expect(runs[next].band == d.band && runs[next].first >= d.newFrom &&
                              runs[next].first <= d.newFrom + kPiece,
                          fmt("%s: then part %d from %.1f ms into it", d.event->name,
                              runs[next].band,
                              double(runs[next].first - d.newFrom) * 1000 / kRate));
        }
        if (gain && !up) {
            // Guards: a gain law other than amplitude (-12 dB for a quarter).
            auto rms = [&](const Run &r) {
                double sum = 0;
                const std::size_t from = r.end - std::min<std::size_t>(r.end - r.begin, kRate / 10);
                for (std::size_t i = from; i < r.end; ++i)
                    sum += double(rec[2 * i]) * rec[2 * i];
                return std::sqrt(sum / double(r.end - from));
            };
            const double db = 20 * std::log10(rms(runs[next]) / rms(runs[last]));
            checks.expect(std::fabs(db - 20 * std::log10(d.event->gain)) < 0.1,
                          fmt("%s: level changed by %.2f dB", d.event->name, db));
        }
        at = next;
    }
}

// Guards: audio lost when the decoder falls behind (pieces that each end an
// underrun), and the end never played when the audio stops.
void checkUnderrunLosesNothing(Checks &checks, PrivateSoundServer &server)
{
    std::vector<float> rec;
    std::int64_t total = 0;
    {
        MonitorRecorder recorder(server, kRate, 2, 250);
        Source source;
        source.published = kRate / 10;
        std::string error;
        auto out = PulseOutput::open(&Source::render, &source, nullptr, error);
        if (!checks.expect(recorder.running() && out != nullptr, "cannot start: " + error))
            return;
        out->setPaused(false);
        // A decoder that keeps 20 ms ahead of what render took, stalls for
        // 1.2 s (longer than the server's buffer) and stops after 3 s.
        const std::int64_t piece = kRate / 50;
        for (int step = 0; step < 300; ++step) {
            if (step == 100)
                std::this_thread::sleep_for(1200ms);
            out->lock();
            if (source.published < out->framesHanded() + piece)
                source.published += piece;
            out->unlock();
            out->wantMore();
            std::this_thread::sleep_for(10ms);
        }
        out->lock();
        total = source.published;
        out->unlock();
        std::this_thread::sleep_for(1500ms);
        // Guards: a position that never reaches the end once the audio
        // stops (the engine then never reports the end of the file).
        const std::int64_t left = out->framesHanded() - heard(*out);
        checks.expect(left == 0, fmt("%lld frames never heard, by the position", (long long)left));
        out->close();
        std::this_thread::sleep_for(500ms);
        rec = recorder.stop();
    }
    int skips = 0;
    const std::vector<Run> runs = runsOf(rec, skips);
    std::int64_t expected = 0, lost = 0;
    for (const Run &r : runs) {
        lost += std::llabs(r.first - expected);
        expected = r.last + 1;
    }
    // The monitor may show a piece less where playing starts again.
    checks.expect(skips == 0 && lost <= 2 * kPiece,
                  fmt("%lld frames lost around underruns (%d jumps)", (long long)lost, skips));
    checks.expect(expected == total,
                  fmt("played up to frame %lld of %lld", (long long)expected, (long long)total));
}

// Guards: opening at the server's default rate instead of the sink's, or
// not at the format a lost output had (audio prepared for it would play wrong).
void checkFormat(Checks &checks)
{
    const OutputSpec mono16{.rate = 44100, .channels = 1, .isFloat = false, .bytesPerSample = 2};
    struct Case {
        const char *name;
        const OutputSpec *previous;
        OutputSpec expected;
    };
    const Case cases[] = {
        {"first open",
         nullptr,
         {.rate = kRate, .channels = 2, .isFloat = true, .bytesPerSample = 4}},
        {"after a lost output", &mono16, mono16},
    };
    for (const Case &c : cases) {
        Source source;
        std::string error;
        auto out = PulseOutput::open(&Source::render, &source, c.previous, error);
        if (!checks.expect(out != nullptr, std::string(c.name) + ": " + error))
            continue;
        const OutputSpec &s = out->spec();
        checks.expect(
            s.rate == c.expected.rate && s.channels == c.expected.channels &&
                s.isFloat == c.expected.isFloat && s.bytesPerSample == c.expected.bytesPerSample,
            fmt("%s: %d Hz, %d channels, %d bytes", c.name, s.rate, s.channels, s.bytesPerSample));
    }
}

// Guards: a hang or crash at closing while render runs on both of its
// threads (the main loop's, and a decoder's through wantMore()); render
// called after close() returned.
void checkCloseWhileRendering(Checks &checks)
{
    for (int round = 0; round < 5; ++round) {
        Source source;
        source.published = 0;
        std::string error;
        auto out = PulseOutput::open(&Source::render, &source, nullptr, error);
        if (!checks.expect(out != nullptr, "cannot open: " + error))
            return;
        std::mutex deviceMutex; // the engine calls every member under one
        out->setPaused(false);
        std::atomic<bool> stop{false};
        std::thread decoder([&] {
            while (!stop.load()) {
                std::lock_guard lock(deviceMutex);
                out->lock();
                source.published += 64; // render always starves: wantMore() renders
                out->unlock();
                out->wantMore();
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50 + 20 * round));
        {
            std::lock_guard lock(deviceMutex);
            out->close();
            source.closed.store(true);
        }
        std::this_thread::sleep_for(20ms);
        stop.store(true);
        decoder.join();
        checks.expect(source.callsAfterClose.load() == 0,
                      fmt("render ran %d times after close()", source.callsAfterClose.load()));
    }
}

// Guards: openOutput() ignoring the program's own choice, or taking SDL
// while a PulseAudio server answers, also when SDL_AUDIODRIVER is set for
// games (SDL's own variable, which must not pick the output).
void checkFactoryChoice(Checks &checks)
{
    using tarn::engine::OutputChoice;
    struct Case {
        OutputChoice choice;
        const char *sdlDriver; // SDL_AUDIODRIVER
        bool pulse;
    };
    const Case cases[] = {
        {OutputChoice::Automatic, nullptr, true},    {OutputChoice::Automatic, "pulseaudio", true},
        {OutputChoice::Automatic, "pipewire", true}, {OutputChoice::Automatic, "dummy", true},
        {OutputChoice::Automatic, "alsa", true},     {OutputChoice::Sdl, nullptr, false},
        {OutputChoice::Sdl, "dummy", false},         {OutputChoice::Pulse, "dummy", true},
    };
    const char *kept = std::getenv("SDL_AUDIODRIVER");
    const std::optional<std::string> keptDriver =
        kept != nullptr ? std::optional<std::string>(kept) : std::nullopt;
    for (const Case &c : cases) {
        c.sdlDriver ? setenv("SDL_AUDIODRIVER", c.sdlDriver, 1) : unsetenv("SDL_AUDIODRIVER");
        Source source;
        std::string error;
        auto out = tarn::engine::openOutput(&Source::render, &source, nullptr, {},
                                            {.output = c.choice}, error);
        const bool isPulse = dynamic_cast<PulseOutput *>(out.get()) != nullptr;
        checks.expect(out != nullptr && isPulse == c.pulse,
                      fmt("output choice %d SDL_AUDIODRIVER=%s: %s", static_cast<int>(c.choice),
                          c.sdlDriver ? c.sdlDriver : "",
                          out ? (isPulse ? "PulseAudio" : "SDL") : error.c_str()));
    }
    keptDriver ? setenv("SDL_AUDIODRIVER", keptDriver->c_str(), 1) : unsetenv("SDL_AUDIODRIVER");
}

// Guards: a hang on a server that does not answer; a crash or a silent
// null without a reason when there is none; lost() missing a server that
// went away.
// Stop pressed before a new stream was first heard (a fresh sink starts
// late), then the next file played: the stream must start, although the
// server counts nothing of it as queued until it has played.
void checkStopBeforeFirstSound(Checks &checks)
{
    Session s;
    std::string error;
    s.out = PulseOutput::open(&Source::render, &s.source, nullptr, error);
    if (!checks.expect(s.out != nullptr, "cannot open: " + error))
        return;
    s.out->setPaused(false);
    std::this_thread::sleep_for(100ms);
    s.flush(checks, "stop"); // render has nothing from here on, as after Stop
    std::this_thread::sleep_for(200ms);
    s.out->setPaused(true); // the engine's pause once render fell silent
    s.flush(checks, "new file");
    s.out->setPaused(false);
    s.publish(3, true);
    // Guards: corked for good, waiting for a queue the server never reports.
    checks.expect(waitUntil([&] { return heard(*s.out) > s.newFrom + kRate / 2; }, 5s),
                  "stopped before the first sound: the next audio was never heard");
}

void checkServerTrouble(Checks &checks, PrivateSoundServer &server)
{
    {
        Source source;
        std::string error;
        auto out = PulseOutput::open(&Source::render, &source, nullptr, error);
        if (checks.expect(out != nullptr, "cannot open: " + error)) {
            out->setPaused(false);
            checks.expect(!out->lost(), "lost() with the server running");
            server.stop();
            checks.expect(waitUntil([&] { return out->lost(); }, 5s),
                          "lost() stays false after the server ended");
            out->close();
        }
    }
    struct Case {
        const char *name;
        void (*trouble)(PrivateSoundServer &);
    };
    const Case cases[] = {
        {"no server", [](PrivateSoundServer &s) { s.stop(); }},
        {"a server that does not answer",
         [](PrivateSoundServer &s) {
             s.start();
             s.freeze();
         }},
    };
    for (const Case &c : cases) {
        c.trouble(server);
        Source source;
        std::string error;
        auto out = PulseOutput::open(&Source::render, &source, nullptr, error);
        checks.expect(out == nullptr && !error.empty(),
                      fmt("%s: open %s", c.name, out ? "succeeded" : "gave no reason"));
    }
    server.thaw();
}

} // namespace

int main()
{
    Checks checks;
    {
        PrivateSoundServer server({.rate = kRate, .precise = true});
        if (checks.expect(server.running(),
                          "no private PulseAudio server (is pulseaudio installed?)")) {
            checkStopBeforeFirstSound(checks); // first: it needs a sink that never played
            checkFormat(checks);
            checkEventsHeardAtOnce(checks, server);
            checkUnderrunLosesNothing(checks, server);
            checkCloseWhileRendering(checks);
            checkFactoryChoice(checks);
            checkServerTrouble(checks, server);
        }
    }
    return checks.exitCode();
}
