// Listening to what an Engine plays, with no sound card: SDL's "disk" audio
// driver writes every buffer the output callback fills to a raw file, in the
// format the device granted (Engine::outputSpec()). record() plays files
// through a fresh engine exactly as the player's automatic advance does and
// returns those samples as float; the functions below measure level,
// frequency and silences in them.
//
// Two speeds. Fast (SDL_DISKAUDIODELAY=0): the device thread spins about 250
// times faster than real time, so the engine writes silence whenever its
// decoder falls behind; removeUnderruns() takes those runs of exact zeros out
// again, which leaves the stream exactly as the engine handed it over. Real
// time (the driver's own delay of one buffer per period): the timeline of the
// file is the timeline a listener would hear, which is what gap measurements
// need.
//
// Everything here runs on the test's main thread, apart from the
// end-of-stream callback, which only hands its generation to EndOfStreamWaiter.
#pragma once

#include "engine/engine.h"
#include "engine/support/engine_options.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tarn::test {

// Full path of a file in the test media folder (TARN_FIXTURES).
std::string fixture(const std::string &name);

enum class Speed { Fast, RealTime };

// Has the engine play on SDL, and points SDL's disk driver at a fresh
// temporary file for the lifetime of this object. Construct it before the
// engine opens its device (its first Play()); the file is removed on
// destruction.
class DiskCapture {
public:
    explicit DiskCapture(Speed speed);
    ~DiskCapture();
    DiskCapture(const DiskCapture &) = delete;
    DiskCapture &operator=(const DiskCapture &) = delete;

    const std::string &path() const { return path_; }
    std::uintmax_t bytesWritten() const;
    // Whole file converted to float samples, interleaved as the device wrote them.
    std::vector<float> read(const engine::OutputSpec &spec) const;

private:
    std::string path_;
};

// Takes end-of-stream notices from the engine's thread and hands them to the
// thread that owns the engine. The callback shares the queue, so the waiter
// and the engine may be destroyed in either order.
class EndOfStreamWaiter {
public:
    void attach(engine::Engine &engine);
    // The next notice, or nothing when `timeout` passes first.
    std::optional<std::uint64_t> wait(std::chrono::milliseconds timeout);

private:
    struct Queue {
        std::mutex mutex; // guards notices
        std::condition_variable ready;
        std::deque<std::uint64_t> notices;
    };
    std::shared_ptr<Queue> queue_ = std::make_shared<Queue>();
};

// setFileName() and a wait for its open to finish; true when it opened.
bool openFile(engine::Engine &engine, const std::string &path);
// The end-of-stream notice `segment` belongs to the engine's current file.
bool isCurrentEnd(const engine::Engine &engine, std::uint64_t segment);

struct RecordOptions {
    std::int32_t volume = 0;
    Speed speed = Speed::Fast;
    std::chrono::milliseconds timeoutPerFile{10000};
    bool hintNext = true; // name the next file ahead, as the player does (gapless)
    engine::EngineOptions engine = testEngineOptions(); // the output is always SDL's disk driver
};

struct Recording {
    bool finished = false; // every file opened and its end-of-stream arrived
    std::string error;     // why not, when not
    engine::OutputSpec spec{};
    std::int64_t firstSampleLatencyNs = -1;
    std::vector<float> samples; // interleaved, spec.channels per frame

    std::size_t frames() const;
    std::vector<float> channel(int index) const;
    double seconds(std::size_t frames) const;
};

// Plays `paths` one after another through a new Engine on the disk driver: at
// each end-of-stream of the current file, setFileName(next), the hint for
// the one after, and Play().
// Returns once the last file ended (or failed, or timed out) and the device
// was closed.
Recording record(const std::vector<std::string> &paths, const RecordOptions &options = {});

// ---- analysis of one channel -------------------------------------------------

// Drops every run of at least `minFrames` exact zeros: the silence the engine
// writes when the fast disk device outruns its decoder.
std::vector<float> removeUnderruns(const std::vector<float> &x, std::size_t minFrames = 8);

struct Span {
    std::size_t begin = 0;
    std::size_t end = 0; // one past the last
    std::size_t size() const { return end - begin; }
};

// First to last sample whose magnitude exceeds `threshold`; empty if none.
Span soundingSpan(const std::vector<float> &x, float threshold);
// The middle `fraction` of `span`, away from fades at either end.
Span middleOf(Span span, double fraction);
// Runs of samples with magnitude below `threshold` inside `span`, in order.
std::vector<Span> quietRuns(const std::vector<float> &x, Span span, float threshold);

double rmsDb(const std::vector<float> &x, Span span); // dBFS of a full-scale square; -inf for zeros
float peak(const std::vector<float> &x, Span span);
// Frequency of a steady tone from its interpolated zero crossings (mean removed).
double zeroCrossingFrequency(const std::vector<float> &x, Span span, int rate);
// Share of the power of `span` that lies in the tone at `hz` (Goertzel); 1 for
// a pure tone, near 0 for noise or a different tone.
double tonePurity(const std::vector<float> &x, Span span, int rate, double hz);

// Silence at each advance in a recording of files that never go quiet
// themselves (gap_a.wav, gap_b.wav), each `fileSeconds` long.
struct AdvanceGaps {
    std::vector<double> seconds; // entry i: silence where file i gave way to file i + 1
    double heardSeconds = 0;     // sound between the first and last loud sample
};
AdvanceGaps advanceGaps(const Recording &rec, double fileSeconds, int advances, float quiet);

} // namespace tarn::test
