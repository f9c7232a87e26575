// Play, Pause, Stop and Position as the windows use them, in real time on
// SDL's dummy driver: pause holds, stop rewinds, the position follows what
// was played and never runs ahead of the clock.
#include "engine/engine.h"
#include "engine/support/disk_output.h"
#include "engine/support/engine_options.h"
#include "engine/support/media_files.h"
#include "engine/support/output_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <thread>

using namespace tarn::test;
using namespace std::chrono_literals;
using tarn::engine::Engine;

namespace {

void pauseHolds(Checks &checks)
{
    Engine engine(testEngineOptions());
    openFile(engine, fixture("tone440_cbr128_id3.mp3"));
    engine.Play();
    checks.expect(engine.PlayStatus() == tarn::PlayState::Playing, "PlayStatus 2 after Play");
    checks.expect(waitUntil([&] { return engine.Position() > 0.2; }, 3s),
                  "position never passed 0.2 s");
    engine.Pause();
    const double held = engine.Position();
    std::this_thread::sleep_for(150ms);
    // Guards: pause that keeps the output running, or a position that drifts while paused.
    checks.expect(engine.Position() == held,
                  fmt("paused at %.3f s, then %.3f s", held, engine.Position()));
    checks.expect(engine.PlayStatus() == tarn::PlayState::Paused, "PlayStatus 1 while paused");
    engine.Play();
    // Guards: resume that restarts the file instead of continuing.
    checks.expect(engine.Position() >= held,
                  fmt("resumed at %.3f s, paused at %.3f s", engine.Position(), held));
    checks.expect(waitUntil([&] { return engine.Position() > held + 0.05; }, 3s),
                  "no progress after resume");
}

void stopRewinds(Checks &checks)
{
    Engine engine(testEngineOptions());
    openFile(engine, fixture("tone440_cbr128_id3.mp3"));
    engine.Play();
    checks.expect(waitUntil([&] { return engine.Position() > 0.2; }, 3s),
                  "position never passed 0.2 s");
    engine.Stop();
    // Guards: Stop that only pauses, or audio of before the Stop counted afterwards.
    checks.expect(
        engine.Position() == 0 && engine.PlayStatus() == tarn::PlayState::Stopped,
        fmt("after Stop: position %.3f, status %d", engine.Position(), int(engine.PlayStatus())));
    std::this_thread::sleep_for(100ms);
    checks.expect(engine.Position() == 0, fmt("stopped, yet position %.3f", engine.Position()));
    engine.Play();
    checks.expect(engine.Position() < 0.1,
                  fmt("Play after Stop started at %.3f s", engine.Position()));
}

void positionFollowsTheClock(Checks &checks)
{
    Engine engine(testEngineOptions());
    openFile(engine, fixture("tone440_s16_16k_mono.wav"));
    const auto start = std::chrono::steady_clock::now();
    engine.Play();
    double last = 0;
    bool ahead = false, backwards = false;
    while (engine.PlayStatus() == tarn::PlayState::Playing &&
           std::chrono::steady_clock::now() - start < 3s) {
        const double p = engine.Position();
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        // SDL's dummy device sleeps 21 ms per 21.33 ms buffer: it runs 1.6 % fast.
        ahead |= p > elapsed * 1.02 + 0.010;
        backwards |= p < last;
        last = p;
        std::this_thread::sleep_for(5ms);
    }
    // Guards: position counted from what was decoded instead of what was heard.
    checks.expect(!ahead, "position ran ahead of the time since Play");
    checks.expect(!backwards, "position went backwards while playing");
    checks.expect(engine.PlayStatus() == tarn::PlayState::Stopped,
                  "1 s file still playing after 3 s");
}

void playAfterTheEndStartsAgain(Checks &checks)
{
    EndOfStreamWaiter ends;
    Engine engine(testEngineOptions());
    ends.attach(engine);
    openFile(engine, fixture("tone1k_f32_48k_mono.wav"));
    engine.Play();
    checks.expect(ends.wait(3s).has_value(), "no end-of-stream");
    engine.Play();
    // Guards: Play after the end doing nothing (the user's Play button dead).
    checks.expect(engine.PlayStatus() == tarn::PlayState::Playing && engine.Position() < 0.1,
                  fmt("Play after the end: status %d at %.3f s", int(engine.PlayStatus()),
                      engine.Position()));
    checks.expect(ends.wait(3s).has_value(), "no end-of-stream for the second play");

    // An ended file is stopped: a seek moves the position and plays nothing.
    engine.setPosition(0.1);
    std::this_thread::sleep_for(300ms); // longer than the rest of the file
    // Guards: a seek after the end that starts playback and ends it a second time.
    checks.expect(engine.PlayStatus() == tarn::PlayState::Stopped && !ends.wait(0ms).has_value(),
                  fmt("seek after the end: status %d", int(engine.PlayStatus())));
    checks.expect(std::fabs(engine.Position() - 0.1) < 0.01,
                  fmt("seek after the end: position %.3f", engine.Position()));
    engine.Play();
    checks.expect(ends.wait(3s).has_value(), "Play after a seek past the end: no end-of-stream");
}

void seekKeepsTheState(Checks &checks)
{
    Engine engine(testEngineOptions());
    openFile(engine, fixture("tone440_cbr128_id3.mp3"));
    engine.setPosition(1.5);
    // Guards: a seek while stopped lost, or starting playback by itself.
    checks.expect(
        engine.Position() == 1.5 && engine.PlayStatus() == tarn::PlayState::Stopped,
        fmt("seek while stopped: %.3f s, status %d", engine.Position(), int(engine.PlayStatus())));
    engine.Play();
    checks.expect(engine.Position() >= 1.5,
                  fmt("played from %.3f s after seeking to 1.5 s", engine.Position()));
    engine.Pause();
    engine.setPosition(3.0);
    std::this_thread::sleep_for(50ms);
    checks.expect(
        engine.Position() == 3.0 && engine.PlayStatus() == tarn::PlayState::Paused,
        fmt("seek while paused: %.3f s, status %d", engine.Position(), int(engine.PlayStatus())));
    engine.setPosition(99);
    checks.expect(engine.Position() <= engine.Length(),
                  "seek past the end not clamped to the length");
    engine.setPosition(-5);
    checks.expect(engine.Position() == 0, "seek before the start not clamped to 0");
}

// Pause, resume and Stop in the middle of a loud tone: the sound falls away
// and comes back in a few milliseconds, never in one step (a click).
void noClicks(Checks &checks)
{
    float largestStep = 0;
    {
        DiskCapture capture(Speed::RealTime);
        tarn::engine::OutputSpec spec;
        {
            Engine engine(testEngineOptions());
            openFile(engine, fixture("tone440_cbr128_id3.mp3"));
            engine.Play();
            waitUntil([&] { return engine.Position() > 0.2; }, 3s);
            engine.Pause();
            std::this_thread::sleep_for(60ms);
            engine.Play();
            waitUntil([&] { return engine.Position() > 0.4; }, 3s);
            engine.Play(); // the user presses Play again while it plays
            std::this_thread::sleep_for(60ms);
            engine.Stop();
            std::this_thread::sleep_for(60ms);
            spec = engine.outputSpec();
        }
        const std::vector<float> x = capture.read(spec);
        const std::size_t ch = std::size_t(std::max(spec.channels, 1));
        for (std::size_t i = ch; i < x.size(); ++i)
            largestStep = std::max(largestStep, std::fabs(x[i] - x[i - ch]));
    }
    // The tone itself moves at most 0.03 between samples at 48 kHz.
    // Guards: output cut or started mid-wave on Pause, resume and Stop.
    checks.expect(largestStep < 0.04, fmt("a step of %.3f in the output", largestStep));
}

void nothingLoaded(Checks &checks)
{
    Engine engine(testEngineOptions());
    engine.Play();
    // Guards: a Play with no file reported as playing, or crashing.
    checks.expect(engine.PlayStatus() == tarn::PlayState::Stopped && !engine.LastError().empty(),
                  "Play with no file: stopped, with a reason");
    engine.Pause();
    engine.Stop();
    engine.setPosition(3);
    checks.expect(engine.Position() == 0 && engine.Length() == 0, "no file: position and length 0");
    engine.setVolume(-1250);
    checks.expect(engine.Volume() == -1250, "volume not kept");
    engine.setFlag1017(true);
    checks.expect(engine.flag1017(), "flag 1017 not kept");
}

} // namespace

int main()
{
    setenv("SDL_AUDIODRIVER", "dummy", 1); // real time, no output kept
    Checks checks;
    pauseHolds(checks);
    stopRewinds(checks);
    positionFollowsTheClock(checks);
    playAfterTheEndStartsAgain(checks);
    seekKeepsTheState(checks);
    nothingLoaded(checks);
    noClicks(checks);
    return checks.exitCode();
}
