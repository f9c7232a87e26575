// The player's volume and the desktop's mixer, on a private PulseAudio server
// that restores streams' volumes as a desktop's does: the mixer's change of
// the player's stream becomes the engine's volume (and is told once), the
// engine's own changes reach the stream without being told back, and a
// stream opened again after the idle close keeps what the mixer set.
#include "engine/engine.h"
#include "engine/support/disk_output.h"
#include "engine/support/engine_options.h"
#include "engine/support/media_files.h"
#include "engine/support/output_checks.h"
#include "engine/support/sound_server.h"

#include <pulse/pulseaudio.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>

using namespace tarn::test;
using namespace std::chrono_literals;
using tarn::engine::Engine;

namespace {

const std::string longFile = fixture("tone440_cbr128_id3.mp3"); // 4 s

struct SinkInput {
    std::uint32_t index = PA_INVALID_INDEX;
    pa_cvolume volume{};
    bool corked = true;
};

// A second client of the server, as the desktop's mixer is: finds the
// player's stream and sets its volume. Blocking calls on its own main loop.
class Mixer {
public:
    Mixer() : loop_(pa_mainloop_new())
    {
        context_ = pa_context_new(pa_mainloop_get_api(loop_), "mixer");
        if (context_ == nullptr ||
            pa_context_connect(context_, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0)
            return;
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(context_);
            if (state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state))
                break;
            pa_mainloop_iterate(loop_, 1, nullptr);
        }
    }
    ~Mixer()
    {
        if (context_ != nullptr) {
            pa_context_disconnect(context_);
            pa_context_unref(context_);
        }
        pa_mainloop_free(loop_);
    }
    Mixer(const Mixer &) = delete;
    Mixer &operator=(const Mixer &) = delete;

    bool ready() const
    {
        return context_ != nullptr && pa_context_get_state(context_) == PA_CONTEXT_READY;
    }

    // The player's stream, if it has one.
    std::optional<SinkInput> player()
    {
        struct Found {
            std::optional<SinkInput> input;
        } found;
        auto each = [](pa_context *, const pa_sink_input_info *info, int eol, void *data) {
            const char *name = info != nullptr && eol == 0
                                   ? pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_NAME)
                                   : nullptr;
            if (name != nullptr && std::strcmp(name, "Tarn Player") == 0)
                static_cast<Found *>(data)->input =
                    SinkInput{info->index, info->volume, info->corked != 0};
        };
        wait(pa_context_get_sink_input_info_list(context_, each, &found));
        return found.input;
    }

    void setVolume(std::uint32_t index, const pa_cvolume &volume)
    {
        wait(pa_context_set_sink_input_volume(context_, index, &volume, nullptr, nullptr));
    }

private:
    void wait(pa_operation *op)
    {
        while (op != nullptr && pa_operation_get_state(op) == PA_OPERATION_RUNNING)
            pa_mainloop_iterate(loop_, 1, nullptr);
        if (op != nullptr)
            pa_operation_unref(op);
    }

    pa_mainloop *loop_;
    pa_context *context_ = nullptr;
};

pa_cvolume flat(pa_volume_t v)
{
    pa_cvolume volume;
    pa_cvolume_set(&volume, 2, v);
    return volume;
}

// The stream's volume as a percentage of full, as the mixer shows it.
double percent(const pa_cvolume &v)
{
    return 100.0 * pa_cvolume_max(&v) / PA_VOLUME_NORM;
}

// Where the mixer shows the engine's Volume `hundredthsOfDb` (its scale is cubic).
double mixerPercent(std::int32_t hundredthsOfDb)
{
    return 100.0 * std::cbrt(std::pow(10.0, hundredthsOfDb / 2000.0));
}

void mixerAndPlayerAgree(Checks &checks)
{
    Mixer mixer;
    if (!checks.expect(mixer.ready(), "the mixer cannot connect"))
        return;
    std::atomic<int> told{0}; // VolumeChanged events
    tarn::engine::EngineOptions options = testEngineOptions();
    options.output.output =
        tarn::engine::OutputChoice::Pulse; // the player's own PulseAudio output, not SDL's
    Engine engine(options);
    engine.setEventCallback([&](const tarn::engine::Event &e) {
        if (e.kind == tarn::engine::Event::Kind::VolumeChanged)
            told.fetch_add(1);
    });
    engine.setVolume(-600);
    if (!checks.expect(openFile(engine, longFile), "cannot open: " + engine.LastError()))
        return;
    engine.Play();
    std::optional<SinkInput> stream;
    const auto streamAt = [&](double expected) {
        return waitUntil(
            [&] {
                stream = mixer.player();
                return stream && std::fabs(percent(stream->volume) - expected) < 0.1;
            },
            5s);
    };
    // The player's stream once it plays: what the engine set as it opened
    // the output reached the server before the uncork.
    const auto playingStream = [&] {
        return waitUntil(
            [&] {
                stream = mixer.player();
                return stream && !stream->corked;
            },
            5s);
    };
    // Guards: the engine's volume lost at the open.
    const bool opened = playingStream();
    checks.expect(opened && std::fabs(percent(stream->volume) - mixerPercent(-600)) < 0.1,
                  fmt("engine at -6 dB: the stream is at %.1f %%, expected %.1f %%",
                      stream ? percent(stream->volume) : -1.0, mixerPercent(-600)));
    if (!stream)
        return;

    struct Step {
        const char *what;
        double percent;      // set in the mixer
        std::int32_t volume; // what the engine then says
    };
    const Step steps[] = {
        {"mixer to 50 %", 50, -1806},
        // Below the bar's range: the engine says its bottom, the stream keeps 30 %.
        {"mixer to 30 %", 30, -2500},
    };
    int expectedTold = 0;
    for (const Step &s : steps) {
        mixer.setVolume(stream->index, flat(pa_volume_t(s.percent * PA_VOLUME_NORM / 100)));
        ++expectedTold;
        // Guards: the mixer's change not followed (the player sets its own
        // volume back at its next change or open).
        checks.expect(waitUntil([&] { return told.load() == expectedTold; }, 5s) &&
                          engine.Volume() == s.volume,
                      fmt("%s: told %d times, Volume() %d, expected %d", s.what, told.load(),
                          engine.Volume(), s.volume));
    }

    // Idle: the output closes, and the next Play opens a new stream.
    engine.Pause();
    checks.expect(waitUntil([&] { return !engine.outputOpen(); }, 6s),
                  "paused: the output never closed");
    const std::uint32_t closed = stream->index;
    engine.Play();
    // Guards: the new stream set back to the player's own volume (100 % for a
    // bar at full), over what the mixer set and stream-restore kept.
    const bool reopened = playingStream();
    checks.expect(reopened && stream->index != closed &&
                      std::fabs(percent(stream->volume) - 30) < 0.1,
                  fmt("reopened: the stream is at %.1f %%, the mixer had set 30 %%",
                      stream ? percent(stream->volume) : -1.0));
    checks.expect(engine.Volume() == -2500, fmt("reopened: Volume() %d", engine.Volume()));

    // The engine's own change reaches the stream and is not told back: the
    // mixer's next change is the only one told.
    engine.setVolume(-1000);
    const bool followed = streamAt(mixerPercent(-1000));
    checks.expect(followed, fmt("engine at -10 dB: the stream is at %.1f %%, expected %.1f %%",
                                stream ? percent(stream->volume) : -1.0, mixerPercent(-1000)));
    if (!stream)
        return;
    mixer.setVolume(stream->index, flat(PA_VOLUME_NORM / 2));
    ++expectedTold;
    // Guards: the engine's own set reported as the mixer's (the bar would jump).
    const bool toldOnce = waitUntil([&] { return told.load() >= expectedTold; }, 5s);
    checks.expect(toldOnce && engine.Volume() == -1806 && told.load() == expectedTold,
                  fmt("own change then the mixer's: told %d times, expected %d; Volume() %d",
                      told.load(), expectedTold, engine.Volume()));
    engine.setEventCallback({});
}

} // namespace

int main()
{
    Checks checks;
    PrivateSoundServer server({.streamRestore = true});
    if (checks.expect(server.running(), "no private PulseAudio server (is pulseaudio installed?)"))
        mixerAndPlayerAgree(checks);
    return checks.exitCode();
}
