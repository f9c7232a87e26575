// Seeking lands on the sample asked for: read off the output of files whose
// samples tell their own time, and off how much of a tone remains to play.
#include "engine/engine.h"
#include "engine/support/disk_output.h"
#include "engine/support/engine_options.h"
#include "engine/support/media_files.h"
#include "engine/support/output_checks.h"

#include <cmath>
#include <functional>

using namespace tarn::test;
using namespace std::chrono_literals;
using tarn::engine::Engine;

namespace {

constexpr double kRampSeconds = 4.0;

struct Played {
    bool ended = false;      // end-of-stream arrived
    int rate = 0;            // of the output
    std::vector<float> left; // channel 0, underrun silence (exact zeros) taken out
};

// Plays `path` to its end through a new engine on the disk driver: `before`
// runs ahead of Play(), `during` right after it. The engine is gone (its
// device closed) before the output is read: a paused device on the fast disk
// driver still writes silence.
Played playThrough(const std::string &path, Speed speed,
                   const std::function<void(Engine &)> &before,
                   const std::function<void(Engine &)> &during = {})
{
    DiskCapture capture(speed);
    Played out;
    tarn::engine::OutputSpec spec;
    {
        EndOfStreamWaiter ends;
        Engine engine(testEngineOptions());
        ends.attach(engine);
        openFile(engine, path);
        before(engine);
        engine.Play();
        if (during)
            during(engine);
        out.ended = ends.wait(10s).has_value();
        spec = engine.outputSpec();
    }
    out.rate = spec.rate;
    const std::vector<float> all = capture.read(spec);
    for (std::size_t i = 0; spec.channels > 0 && i < all.size(); i += spec.channels)
        if (all[i] != 0.0f)
            out.left.push_back(all[i]);
    return out;
}

// Seek while stopped, then play to the end: the first sample out is the
// target's, for a file at the output's rate and one that is resampled.
void seekLandsOnTheSample(Checks &checks, const TempDir &dir, int rate, double target)
{
    const std::string path = dir.file("ramp" + std::to_string(rate) + ".wav");
    writeRampWav(path, rate, kRampSeconds);
    const Played p = playThrough(path, Speed::Fast, [&](Engine &e) { e.setPosition(target); });
    const std::string what = fmt("%d Hz, seek to %.3f s: ", rate, target);
    if (!checks.expect(p.ended, what + "no end-of-stream"))
        return;
    const std::vector<float> &x = p.left;
    const int outRate = p.rate;
    // Read past the first 10 ms: playback that starts mid-file ramps in.
    const std::size_t probe = std::size_t(outRate) / 50;
    if (!checks.expect(x.size() > probe, what + "nothing played"))
        return;
    const double landed = rampTime(x[probe], kRampSeconds) - double(probe) / outRate;
    // Guards: a seek that lands on the key point before the target, or that
    // drops whole packets past it.
    checks.expect(std::fabs(landed - target) < 0.005, what + fmt("landed at %.4f s", landed));
    // Guards: samples lost or repeated between the seek point and the end.
    const double played = double(x.size()) / outRate;
    checks.expect(std::fabs(played - (kRampSeconds - target)) < 0.005,
                  what + fmt("played %.4f s, %.4f s remained", played, kRampSeconds - target));
}

struct CodecCase {
    const char *file;
    double decodes;
};

// Compressed formats: after a seek, exactly the rest of the file plays.
void seekInCompressedFile(Checks &checks, const CodecCase &c, double target)
{
    const std::string what = fmt("%s, seek to %.2f s: ", c.file, target);
    const Played p = playThrough(fixture(c.file), Speed::Fast, [&](Engine &e) {
        e.setPosition(target);
        checks.expect(e.Position() == target, what + fmt("position %.4f", e.Position()));
    });
    if (!checks.expect(p.ended, what + "no end-of-stream"))
        return;
    const Span sounding = soundingSpan(p.left, 0.01f);
    // Guards: silence after the seek point (MP3 decoded without its bit
    // reservoir), which the span of sound leaves out.
    const double played = double(sounding.size()) / p.rate;
    // Guards: seeking to a key point only (up to a second off in these formats).
    checks.expect(std::fabs(played - (c.decodes - target)) < 0.050,
                  what + fmt("played %.4f s, %.4f s remained", played, c.decodes - target));
}

// Seek while playing: from the seek on, only audio of the new place sounds.
void seekWhilePlaying(Checks &checks, const TempDir &dir)
{
    const std::string path = dir.file("ramp-live.wav");
    writeRampWav(path, 48000, kRampSeconds);
    const Played p = playThrough(
        path, Speed::RealTime, [](Engine &) {},
        [&](Engine &e) {
            checks.expect(waitUntil([&] { return e.Position() > 0.3; }, 3s), "never reached 0.3 s");
            e.setPosition(3.0);
        });
    if (!checks.expect(p.ended, "live seek: no end-of-stream"))
        return;
    const std::vector<float> &x = p.left;
    std::vector<std::size_t> jumps;
    for (std::size_t i = 1; i < x.size(); ++i)
        if (std::fabs(x[i] - x[i - 1]) > 0.01f)
            jumps.push_back(i);
    // Guards: audio of before the seek (still in the buffers) played after it.
    if (!checks.expect(jumps.size() == 1, fmt("live seek: %zu jumps in the output", jumps.size())))
        return;
    const double landed = rampTime(x[jumps[0]], kRampSeconds);
    checks.expect(std::fabs(landed - 3.0) < 0.005, fmt("live seek landed at %.4f s", landed));
}

// Two seeks in a row, before the decoder caught up: the last one counts.
void lastSeekWins(Checks &checks, const TempDir &dir)
{
    const std::string path = dir.file("ramp-twice.wav");
    writeRampWav(path, 48000, kRampSeconds);
    const Played p = playThrough(path, Speed::Fast, [](Engine &e) {
        e.setPosition(1.0);
        e.setPosition(3.5);
    });
    if (!checks.expect(p.ended, "double seek: no end-of-stream"))
        return;
    const std::vector<float> &x = p.left;
    const std::size_t probe = std::size_t(p.rate) / 50; // past the ramp-in
    checks.expect(x.size() > probe && std::fabs(rampTime(x[probe], kRampSeconds) -
                                                double(probe) / p.rate - 3.5) < 0.005,
                  "double seek: did not start at the second target");
}

} // namespace

int main()
{
    Checks checks;
    TempDir dir;
    for (int rate : {48000, 44100})
        for (double target : {0.0, 0.37, 1.5, 3.9})
            seekLandsOnTheSample(checks, dir, rate, target);
    const CodecCase codecs[] = {{"tone440_cbr128_id3.mp3", 4.000},
                                {"tone1k_vbr_mono.mp3", 3.000},
                                {"tone440_wmav1.wma", 2.972},
                                {"tone1k_wmav2_mono.wma", 2.972}};
    for (const CodecCase &c : codecs)
        for (double target : {0.0, 0.5, 1.7, 2.5})
            seekInCompressedFile(checks, c, target);
    seekWhilePlaying(checks, dir);
    lastSeekWins(checks, dir);
    return checks.exitCode();
}
