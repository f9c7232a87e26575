// Pictures: a file with a moving picture shows each picture at its time on
// the right clock (its sound, or a monotonic clock without sound), pause
// holds the picture, Stop shows the first one, late pictures are dropped
// rather than queued, and files without pictures cost no video thread.
#include "engine/engine.h"
#include "engine/support/disk_output.h"
#include "engine/support/engine_options.h"
#include "engine/support/media_files.h"
#include "engine/support/output_checks.h"
#include "engine/video_sink.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

using namespace tarn::test;
using namespace std::chrono_literals;
using tarn::engine::Engine;
namespace st = tarn::engine;

namespace {

constexpr double kFrame = 0.04; // the fixtures run at 25 pictures a second
constexpr int kPictures = 50;   // 2 s of them

// Keeps what the engine presents: each picture's time, and whether it came
// at the size asked for with something drawn in it.
class RecordingSink final : public st::VideoSink {
public:
    std::chrono::milliseconds delay{0}; // a slow window: each present() takes this long

    st::VideoFormat videoFormat(int width, int height) override
    {
        std::lock_guard lock(mutex_);
        source_ = {width, height};
        return {80, 60, st::PixelFormat::Rgb32};
    }
    void present(const st::VideoFrame &frame) override
    {
        bool drawn = false;
        for (int y = 0; y < frame.height && !drawn; ++y) {
            const auto *line =
                reinterpret_cast<const std::uint32_t *>(frame.data + y * frame.stride);
            drawn = std::any_of(line, line + frame.width,
                                [](std::uint32_t p) { return (p & 0xffffff) > 0x202020; });
        }
        {
            std::lock_guard lock(mutex_);
            times_.push_back(frame.time);
            wellFormed_ &= frame.width == 80 && frame.height == 60 && drawn;
        }
        std::this_thread::sleep_for(delay);
    }
    std::vector<double> times() const
    {
        std::lock_guard lock(mutex_);
        return times_;
    }
    double last() const
    {
        std::lock_guard lock(mutex_);
        return times_.empty() ? -1 : times_.back();
    }
    bool wellFormed() const
    {
        std::lock_guard lock(mutex_);
        return wellFormed_ && !times_.empty();
    }
    std::pair<int, int> source() const
    {
        std::lock_guard lock(mutex_);
        return source_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<double> times_;
    bool wellFormed_ = true;
    std::pair<int, int> source_;
};

// Threads of this process named by the engine's video thread.
int videoThreads()
{
    int n = 0;
    for (const auto &task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        std::getline(comm, name);
        n += name == "tarn-video";
    }
    return n;
}

// The same behaviour on either clock: every picture is shown or counted as
// dropped, in order, at times a picture apart, never far from the position
// the engine reports; the end comes once, after which nothing more is shown.
void playsOnItsClock(Checks &checks)
{
    struct Row {
        const char *file;
        bool sound;
    };
    for (const Row row : {Row{"video_only.avi", false}, Row{"video_tone440.avi", true}}) {
        const std::string name = row.file;
        RecordingSink sink;
        EndOfStreamWaiter ends;
        Engine engine(testEngineOptions());
        ends.attach(engine);
        engine.setVideoSink(&sink);
        checks.expect(openFile(engine, fixture(name)),
                      name + " did not open: " + engine.LastError());
        checks.expect(std::fabs(engine.Length() - 2.0) < 0.05,
                      fmt("%s: length %.3f s", row.file, engine.Length()));
        // Guards: a stopped file that shows nothing until Play.
        checks.expect(waitUntil([&] { return sink.last() == 0; }, 2s),
                      name + ": the first picture not shown before Play");
        engine.Play();
        double worstLag = 0;
        std::optional<std::uint64_t> end;
        const auto deadline = std::chrono::steady_clock::now() + 6s;
        while (!end && std::chrono::steady_clock::now() < deadline) {
            // The position read on both sides of the picture, so a pause of
            // this thread between the reads widens the bracket instead of
            // counting as lag.
            const double before = engine.Position();
            const double shown = sink.last();
            const double after = engine.Position();
            if (before > 0.2 && after < 1.8)
                worstLag = std::max({worstLag, before - shown - kFrame, shown - after});
            end = ends.wait(5ms);
        }
        // Guards: pictures decoded as fast as possible instead of on the clock
        // (up to the whole file ahead), or a picture clock that drifts from the
        // sound. The bound is wide on purpose: a loaded or sanitised machine
        // may hold the picture thread back for a few frames now and then.
        checks.expect(
            worstLag < 10 * kFrame,
            fmt("%s: the picture shown was %.3f s from the position", row.file, worstLag));
        checks.expect(end && isCurrentEnd(engine, *end), name + ": no end-of-stream");
        checks.expect(engine.PlayStatus() == tarn::PlayState::Stopped &&
                          engine.Position() == engine.Length(),
                      fmt("%s at the end: status %d, %.3f of %.3f s", row.file,
                          int(engine.PlayStatus()), engine.Position(), engine.Length()));
        std::this_thread::sleep_for(100ms);
        const std::vector<double> times = sink.times();
        const auto dropped = static_cast<int>(engine.droppedVideoFrames());
        const int shown = static_cast<int>(times.size());
        // Guards: pictures lost (neither shown nor counted) or shown twice.
        checks.expect(shown + dropped == kPictures,
                      fmt("%s: %d shown + %d dropped of %d", row.file, shown, dropped, kPictures));
        bool onTheGrid = true, ordered = true;
        for (std::size_t i = 1; i < times.size(); ++i) {
            onTheGrid &= std::fabs(times[i] / kFrame - std::round(times[i] / kFrame)) < 0.25;
            ordered &= times[i] > times[i - 1];
        }
        checks.expect(onTheGrid && ordered, name + ": picture times out of order or off the grid");
        checks.expect(!times.empty() && std::fabs(times.back() - (2.0 - kFrame)) < 0.001,
                      fmt("%s: the last picture shown is at %.3f s", row.file, sink.last()));
        // Guards: pictures converted to another size than the sink asked for, or blank.
        checks.expect(sink.wellFormed(), name + ": a picture not at 80 x 60, or blank");
        checks.expect(
            sink.source() == std::pair{160, 120},
            fmt("%s: source told as %d x %d", row.file, sink.source().first, sink.source().second));
    }
}

void pauseHoldsAndStopRewinds(Checks &checks)
{
    for (const char *file : {"video_only.avi", "video_tone440.avi"}) {
        const std::string name = file;
        RecordingSink sink;
        Engine engine(testEngineOptions());
        engine.setVideoSink(&sink);
        openFile(engine, fixture(name));
        engine.Play();
        checks.expect(waitUntil([&] { return sink.last() >= 0.5; }, 3s),
                      name + ": no picture past 0.5 s");
        engine.Pause();
        std::this_thread::sleep_for(100ms); // an SDL output fades out
        const std::size_t count = sink.times().size();
        const double position = engine.Position();
        std::this_thread::sleep_for(300ms);
        // Guards: pictures that keep coming while paused.
        checks.expect(sink.times().size() == count && engine.Position() == position,
                      fmt("%s: %zu pictures while paused", file, sink.times().size() - count));
        engine.Play();
        // Guards: resume that restarts the pictures from the beginning.
        checks.expect(
            waitUntil([&] { return sink.times().size() > count + 3; }, 3s) &&
                sink.times()[count] >= position - kFrame,
            fmt("%s: resumed at %.3f after pausing at %.3f", file, sink.last(), position));
        engine.Stop();
        // Guards: Stop that leaves the last picture up instead of the first.
        checks.expect(waitUntil([&] { return sink.last() == 0; }, 2s),
                      fmt("%s: after Stop the picture is at %.3f s", file, sink.last()));
        engine.setPosition(1.0);
        // Guards: a seek while stopped that shows nothing of where it went.
        checks.expect(waitUntil([&] { return std::fabs(sink.last() - 1.0) < kFrame / 2; }, 2s),
                      fmt("%s: after a seek to 1 s the picture is at %.3f s", file, sink.last()));
        checks.expect(engine.PlayStatus() == tarn::PlayState::Stopped,
                      name + ": a seek started playback");
    }
}

void latePicturesAreDropped(Checks &checks)
{
    RecordingSink sink;
    sink.delay = 100ms; // a window that takes 2.5 pictures' time for each
    EndOfStreamWaiter ends;
    Engine engine(testEngineOptions());
    ends.attach(engine);
    engine.setVideoSink(&sink);
    openFile(engine, fixture("video_only.avi"));
    engine.Play();
    const bool ended = ends.wait(5s).has_value();
    const auto dropped = static_cast<int>(engine.droppedVideoFrames());
    const int shown = static_cast<int>(sink.times().size());
    // Guards: late pictures queued up, so the picture lags ever further behind.
    checks.expect(
        ended && dropped >= kPictures / 4 && sink.last() >= 2.0 - 0.2,
        fmt("slow sink: %d dropped, %d shown, the last at %.3f s", dropped, shown, sink.last()));
}

void videoOnlyWhereWanted(Checks &checks)
{
    struct Row {
        const char *file;
        bool sink;
        bool opens;
        int threads;
        const char *error;
    };
    const std::string missing = fixture("missing/1016.avi");
    for (const Row row : {
             // Guards: video work for files without a picture.
             Row{"tone440_cbr128_id3.mp3", true, true, 0, ""},
             // Guards: video work for an engine that has nowhere to show it.
             Row{"video_tone440.avi", false, true, 0, ""},
             Row{"video_only.avi", false, false, 0, "the file holds no sound"},
             // The counterpart: a thread the check can see.
             Row{"video_only.avi", true, true, 1, ""},
             // Guards: a missing or unreadable video failing without a reason.
             Row{"missing/1016.avi", true, false, 0, "the file is not there"},
             Row{"text_renamed.mp3", true, false, 0, "not a video file this player can read"},
         }) {
        const std::string name = row.file;
        RecordingSink sink;
        Engine engine(testEngineOptions());
        if (row.sink)
            engine.setVideoSink(&sink);
        const bool opened = openFile(engine, fixture(name));
        engine.Play();
        std::this_thread::sleep_for(200ms);
        checks.expect(opened == row.opens && engine.LastError() == row.error,
                      name + ": opened " + std::to_string(opened) + ", reason '" +
                          engine.LastError() + "'");
        checks.expect(videoThreads() == row.threads,
                      fmt("%s: %d video threads", row.file, videoThreads()));
        engine.setFileName(fixture("tone1k_f32_48k_mono.wav"));
        // Guards: a video thread that outlives its file.
        checks.expect(waitUntil([] { return videoThreads() == 0; }, 2s),
                      name + ": video thread left after the next file");
    }
}

} // namespace

int main()
{
    setenv("SDL_AUDIODRIVER", "dummy", 1); // real time, no output kept
    Checks checks;
    playsOnItsClock(checks);
    pauseHoldsAndStopRewinds(checks);
    latePicturesAreDropped(checks);
    videoOnlyWhereWanted(checks);
    return checks.exitCode();
}
