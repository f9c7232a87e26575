// End-of-stream: once per natural end, only for the file, generation and
// place that is current, and a callback that can be detached safely while
// the engine runs.
#include "engine/engine.h"
#include "engine/support/disk_output.h"
#include "engine/support/engine_options.h"
#include "engine/support/media_files.h"
#include "engine/support/output_checks.h"

#include <atomic>
#include <cstdlib>
#include <thread>

using namespace tarn::test;
using namespace std::chrono_literals;
using tarn::engine::Engine;

namespace {

const std::string shortFile = fixture("tone1k_f32_48k_mono.wav");   // 0.25 s
const std::string otherFile = fixture("tone1k_s16_44k_stereo.wav"); // 0.25 s

void onceAndCurrent(Checks &checks)
{
    EndOfStreamWaiter ends;
    Engine engine(testEngineOptions());
    ends.attach(engine);
    openFile(engine, shortFile);
    engine.Play();
    const auto end = ends.wait(3s);
    if (!checks.expect(end.has_value(), "no end-of-stream"))
        return;
    checks.expect(isCurrentEnd(engine, *end), "the notice of a natural end is not current");
    // Guards: the end reported again while the device plays out silence.
    checks.expect(!ends.wait(400ms).has_value(), "a second end-of-stream for one end");
}

void staleNotices(Checks &checks)
{
    EndOfStreamWaiter ends;
    Engine engine(testEngineOptions());
    ends.attach(engine);

    // A file replaced before its end never ends; nor one stopped before its
    // end. Each is heard first, so an end would be due if it were not dropped.
    const auto sounding = [&] { return waitUntil([&] { return engine.Position() > 0.05; }, 2s); };
    openFile(engine, shortFile);
    engine.Play();
    checks.expect(sounding(), "the first file never sounded");
    openFile(engine, otherFile);
    checks.expect(!ends.wait(500ms).has_value(), "end-of-stream for a file replaced while playing");

    engine.Play();
    checks.expect(sounding(), "the second file never sounded");
    engine.Stop();
    checks.expect(!ends.wait(500ms).has_value(), "end-of-stream after Stop");

    // A notice that arrives after the file moved on is no longer current,
    // so the windows drop it (they may receive it late, from their queue).
    struct Step {
        const char *what;
        void (*act)(Engine &);
    };
    const Step steps[] = {
        {"setFileName", [](Engine &e) { openFile(e, shortFile); }},
        {"Stop", [](Engine &e) { e.Stop(); }},
        {"a seek away from the end", [](Engine &e) { e.setPosition(0.1); }},
    };
    for (const Step &step : steps) {
        openFile(engine, otherFile);
        engine.Play();
        const auto end = ends.wait(3s);
        if (!checks.expect(end.has_value(), std::string("no end before ") + step.what))
            continue;
        step.act(engine);
        // Guards: the player advancing twice, or advancing after the user moved on.
        checks.expect(!isCurrentEnd(engine, *end),
                      std::string("end-of-stream still current after ") + step.what);
    }

    // After a seek away from the end, playing on ends once more, with a new notice.
    openFile(engine, otherFile);
    engine.Play();
    const auto first = ends.wait(3s);
    engine.setPosition(0.1);
    engine.Play();
    const auto second = ends.wait(3s);
    checks.expect(first && second && *first != *second && isCurrentEnd(engine, *second),
                  "seek back after the end: no fresh end-of-stream");
}

void seekToTheEndEnds(Checks &checks)
{
    EndOfStreamWaiter ends;
    Engine engine(testEngineOptions());
    ends.attach(engine);
    openFile(engine, fixture("tone440_cbr128_id3.mp3"));
    engine.Play();
    engine.setPosition(engine.Length());
    // Guards: a seek to the very end leaving the player stuck, neither playing nor advancing.
    const auto end = ends.wait(3s);
    checks.expect(end && isCurrentEnd(engine, *end), "seek to the end: no end-of-stream");
}

void advanceChain(Checks &checks)
{
    EndOfStreamWaiter ends;
    Engine engine(testEngineOptions());
    ends.attach(engine);
    const std::string files[] = {shortFile, otherFile, shortFile, otherFile, shortFile};
    int notices = 0;
    for (std::size_t i = 0; i < std::size(files); ++i) {
        // Named ahead, as the player does: the next file runs on without a gap.
        engine.setNextFileName(i + 1 < std::size(files) ? files[i + 1] : "");
        openFile(engine, files[i]);
        engine.Play();
        engine.setFlag1017(true);
        const auto end = ends.wait(3s);
        notices += end && isCurrentEnd(engine, *end);
    }
    // Guards: an end lost or doubled across an automatic advance.
    checks.expect(notices == 5, fmt("%d current ends for 5 files", notices));
    checks.expect(!ends.wait(300ms).has_value(), "an extra end-of-stream after the last file");
}

// The windows detach the callback in their destructor: from the moment
// setEventCallback() returns, the old one must not run.
void detachWhileRunning(Checks &checks)
{
    std::atomic<int> calls{0};
    std::atomic<bool> running{false};
    bool runningAtDetach = false, calledAfterDetach = false;
    for (int round = 0; round < 6; ++round) {
        Engine engine(testEngineOptions());
        engine.setEventCallback([&](const tarn::engine::Event &) {
            running = true;
            std::this_thread::sleep_for(20ms); // widen the window
            ++calls;
            running = false;
        });
        openFile(engine, shortFile);
        engine.Play();
        // Detach around the end: sometimes before, sometimes during the call.
        std::this_thread::sleep_for(std::chrono::milliseconds(220 + 10 * round));
        engine.setEventCallback({});
        runningAtDetach |= running.load();
        const int atDetach = calls.load();
        std::this_thread::sleep_for(150ms);
        calledAfterDetach |= calls.load() != atDetach;
    }
    // Guards: a callback into a destroyed window (use after free in the adapter).
    checks.expect(!runningAtDetach, "old callback still running after detaching");
    checks.expect(!calledAfterDetach, "old callback called after detaching");
}

// A slow receiver must not hold up the owner's calls.
void slowCallbackBlocksNobody(Checks &checks)
{
    std::atomic<bool> inside{false}, release{false};
    Engine engine(testEngineOptions());
    engine.setEventCallback([&](const tarn::engine::Event &e) {
        if (e.kind != tarn::engine::Event::Kind::EndOfStream)
            return;
        inside = true;
        while (!release)
            std::this_thread::sleep_for(1ms);
        inside = false;
    });
    openFile(engine, shortFile);
    engine.Play();
    if (!checks.expect(waitUntil([&] { return inside.load(); }, 3s), "callback never ran"))
        return;
    engine.setFileName(otherFile);
    engine.Play();
    engine.Pause();
    engine.setPosition(0.1);
    engine.Stop();
    (void)engine.Position();
    // Guards: an owner call that waits for the callback (deadlock with a
    // receiver that waits for the owner).
    checks.expect(inside.load(), "owner calls waited for the end-of-stream callback");
    release = true;
    waitUntil([&] { return !inside.load(); }, 3s);
}

} // namespace

int main()
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    Checks checks;
    onceAndCurrent(checks);
    staleNotices(checks);
    seekToTheEndEnds(checks);
    advanceChain(checks);
    detachWhileRunning(checks);
    slowCallbackBlocksNobody(checks);
    return checks.exitCode();
}
