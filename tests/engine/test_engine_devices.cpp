// The sound output: no device at all, several engines at once (as the main
// and visualisation windows hold), engines on different threads, and the
// format the device granted. SDL's dummy and disk drivers give a process one
// output device only, so several engines play on a private PulseAudio server.
#include "engine/engine.h"
#include "engine/support/disk_output.h"
#include "engine/support/engine_options.h"
#include "engine/support/media_files.h"
#include "engine/support/output_checks.h"
#include "engine/support/sound_server.h"

#include <cstdlib>
#include <optional>
#include <thread>

using namespace tarn::test;
using namespace std::chrono_literals;
using tarn::engine::Engine;

namespace {

const std::string shortFile = fixture("tone1k_f32_48k_mono.wav"); // 0.25 s
const std::string longFile = fixture("tone440_cbr128_id3.mp3");   // 4 s

void noSoundDevice(Checks &checks)
{
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EndOfStreamWaiter ends;
    Engine engine(testEngineOptions());
    ends.attach(engine);
    checks.expect(openFile(engine, shortFile), "file did not open without a device");
    for (int attempt = 0; attempt < 2; ++attempt) {
        engine.Play();
        // Guards: a crash, or "playing" reported with nothing to play on.
        checks.expect(waitUntil([&] { return !engine.LastError().empty(); }, 3s) &&
                          engine.PlayStatus() == tarn::PlayState::Stopped,
                      "no device: not stopped, or no reason given");
    }
    checks.expect(engine.outputSpec().rate == 0, "no device, yet an output format");
    // Guards: one failure to open the device poisoning the engine for good.
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    engine.Play();
    checks.expect(ends.wait(3s).has_value() && engine.LastError().empty(),
                  "device back: Play did not play: " + engine.LastError());
}

// With nothing to play the output closes after a few seconds, so an idle
// player costs the sound server nothing; the next Play opens it again.
void idleOutputCloses(Checks &checks)
{
    for (const bool deadFilesAfter : {false, true}) {
        const std::string name = deadFilesAfter ? "end, then missing files: " : "end: ";
        EndOfStreamWaiter ends;
        Engine engine(testEngineOptions());
        ends.attach(engine);
        openFile(engine, shortFile);
        engine.Play();
        checks.expect(ends.wait(3s).has_value(), name + "no end-of-stream");
        // As the window's advance over a playlist of missing entries does.
        for (int i = 0; deadFilesAfter && i < 5; ++i) {
            engine.setFileName("/nonexistent/" + std::to_string(i) + ".mp3");
            engine.Play();
            waitUntil([&] { return engine.openState() == Engine::OpenState::Failed; }, 3s);
        }
        // Guards: an output left running (or unpaused by Play on a file
        // that then failed to open), streaming silence for ever.
        checks.expect(waitUntil([&] { return !engine.outputOpen(); }, 6s),
                      name + "the output stayed open");
        openFile(engine, shortFile);
        engine.Play();
        checks.expect(ends.wait(3s).has_value(), name + "no end after the output reopened");
    }
}

void twoAtOnce(Checks &checks)
{
    EndOfStreamWaiter mainEnds, visualEnds;
    Engine main(testEngineOptions());
    mainEnds.attach(main);
    openFile(main, longFile);
    main.Play();
    {
        Engine visual(testEngineOptions());
        visualEnds.attach(visual);
        openFile(visual, shortFile);
        visual.Play();
        // Guards: the second engine taking over or failing to get a device.
        checks.expect(visualEnds.wait(3s).has_value(), "second engine: no end-of-stream");
        openFile(visual, longFile);
        visual.Play();
        std::this_thread::sleep_for(100ms);
        // destroyed while playing
    }
    const double before = main.Position();
    // Guards: closing one engine's device (or SDL's audio) stopping the other.
    checks.expect(waitUntil([&] { return main.Position() > before + 0.1; }, 2s),
                  "first engine stopped when the second went away");
    checks.expect(main.PlayStatus() == tarn::PlayState::Playing, "first engine no longer playing");
    checks.expect(!mainEnds.wait(10ms).has_value(), "first engine ended early");
}

void enginesOnTheirOwnThreads(Checks &checks)
{
    bool ended[3] = {};
    std::thread threads[3];
    for (int i = 0; i < 3; ++i)
        threads[i] = std::thread([&ended, i] {
            for (int round = 0; round < 3; ++round) {
                EndOfStreamWaiter ends;
                Engine engine(testEngineOptions());
                ends.attach(engine);
                openFile(engine, shortFile);
                engine.Play();
                ended[i] = ends.wait(3s).has_value();
                if (!ended[i])
                    return;
            }
        });
    for (std::thread &t : threads)
        t.join();
    // Guards: SDL's audio started or stopped by two threads at once.
    checks.expect(ended[0] && ended[1] && ended[2], "engines on three threads did not all play");
}

// The sound server goes away mid-track (killed) and comes back: the engine
// opens the default device again and plays on, through either output.
// Meanwhile the track still plays as far as the engine knows, and its
// position (which the desktop's media controls show) holds where the sound
// stopped.
void deviceComesBack(Checks &checks, PrivateSoundServer &server)
{
    for (const auto output : {tarn::engine::OutputChoice::Pulse, tarn::engine::OutputChoice::Sdl}) {
        const std::string name = output == tarn::engine::OutputChoice::Pulse ? "pulse: " : "sdl: ";
        tarn::engine::EngineOptions options = testEngineOptions();
        options.output.output = output;
        EndOfStreamWaiter ends;
        Engine engine(options);
        ends.attach(engine);
        openFile(engine, longFile);
        engine.Play();
        checks.expect(waitUntil([&] { return engine.Position() > 0.3; }, 3s),
                      name + "never reached 0.3 s");
        const double before = engine.Position();
        server.stop(true);
        // Longer than the engine takes to notice the loss and close the output.
        double lowest = before, held = -1;
        bool playing = true, holds = true;
        for (auto end = std::chrono::steady_clock::now() + 1500ms;
             std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(10ms)) {
            const bool closed = !engine.outputOpen();
            const double at = engine.Position();
            playing = playing && engine.PlayStatus() == tarn::PlayState::Playing;
            lowest = std::min(lowest, at);
            if (closed && held < 0)
                held = at;
            holds = holds && (held < 0 || at == held);
        }
        checks.expect(held >= 0, name + "the lost output was never closed");
        checks.expect(playing, name + "the status left Playing while the server was away");
        // Guards: the position falling back to the start of the track (0)
        // once the lost output was closed.
        checks.expect(lowest >= before - 0.01 && holds,
                      name + fmt("position while the server was away: from %.3f s, lowest "
                                 "%.3f s, %s at %.3f s once closed",
                                 before, lowest, holds ? "held" : "not held", held));
        if (!checks.expect(server.start(), name + "sound server did not restart"))
            return;
        // Guards: a removed device never reopened (playback frozen for good).
        checks.expect(
            waitUntil([&] { return engine.Position() > held + 0.3; }, 5s),
            name + fmt("no progress after the device came back (at %.3f s)", engine.Position()));
        checks.expect(ends.wait(8s).has_value(),
                      name + "no end-of-stream after the device came back");
    }
}

// The device opens at the sound server's own rate, so a 44.1 kHz file is
// resampled neither by the engine nor by the server.
void serverRate(Checks &checks)
{
    EndOfStreamWaiter ends;
    Engine engine(testEngineOptions());
    ends.attach(engine);
    // The output opens with the first file, before anything is decoded, so
    // both this file and the one prepared next come at the sink's rate.
    engine.setNextFileName(longFile);
    openFile(engine, shortFile);
    engine.Play();
    // Guards: the file's own audio dropped with the prepared one (silence, then the end).
    checks.expect(waitUntil([&] { return engine.Position() > 0.1; }, 3s),
                  "server rate: the file was never heard");
    checks.expect(ends.wait(4s).has_value(), "server rate: no end-of-stream");
    // Guards: 48 kHz asked of a 44.1 kHz sink (two resamplings of every CD-rate file).
    checks.expect(engine.outputSpec().rate == 44100,
                  fmt("the null sink runs at 44100 Hz, the device opened at %d Hz",
                      engine.outputSpec().rate));
}

void grantedFormat(Checks &checks)
{
    EndOfStreamWaiter ends;
    Engine engine(testEngineOptions());
    ends.attach(engine);
    checks.expect(engine.firstSampleLatencyNs() == -1, "latency before any Play");
    openFile(engine, shortFile);
    engine.Play();
    checks.expect(ends.wait(3s).has_value(), "no end-of-stream");
    const tarn::engine::OutputSpec spec = engine.outputSpec();
    // Guards: the output format not filled in from what the device granted.
    checks.expect(spec.rate == 48000 && spec.channels == 2 && spec.isFloat &&
                      spec.bytesPerSample == 4,
                  fmt("granted %d Hz, %d channels, float %d, %d bytes", spec.rate, spec.channels,
                      int(spec.isFloat), spec.bytesPerSample));
    checks.expect(engine.firstSampleLatencyNs() >= 0, "no first-sample time after playing");
}

} // namespace

int main()
{
    Checks checks;
    noSoundDevice(checks);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    grantedFormat(checks);
    idleOutputCloses(checks);
    {
        PrivateSoundServer server;
        if (checks.expect(server.running(),
                          "no private PulseAudio server (is pulseaudio installed?)")) {
            serverRate(checks);
            twoAtOnce(checks);
            enginesOnTheirOwnThreads(checks);
            deviceComesBack(checks, server);
        }
    }
    return checks.exitCode();
}
