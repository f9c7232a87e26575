// The automatic advance at the output: the next file, named ahead, follows the
// current one sample for sample; a hint that changes at the last moment plays
// the right file; a change of format at the joint loses nothing; and real
// tracks (longer than the ring) play whole, one after another, in the steady
// state of a decoder that sleeps on a full ring.
#include "engine/support/disk_output.h"
#include "engine/support/engine_options.h"
#include "engine/support/media_files.h"
#include "engine/support/output_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

using namespace tarn::test;
using namespace std::chrono_literals;
using tarn::engine::Engine;

namespace {

constexpr int kRate = 48000; // the disk driver's rate: WAV samples reach it unchanged
constexpr double kHz = 997, kAmplitude = 0.5;

std::vector<std::int16_t> sine(std::size_t frames)
{
    std::vector<std::int16_t> s(frames);
    for (std::size_t i = 0; i < frames; ++i)
        s[i] = static_cast<std::int16_t>(std::lround(
            32767 * kAmplitude * std::sin(2 * std::numbers::pi * kHz * double(i) / kRate + 0.7)));
    return s;
}

bool encodeMp3(const std::string &wav, const std::string &mp3)
{
    const std::string cmd =
        "ffmpeg -nostdin -v error -y -i '" + wav + "' -c:a libmp3lame -b:a 192k '" + mp3 + "'";
    return std::system(cmd.c_str()) == 0;
}

// One continuous sine cut at an arbitrary sample into two files.
void gaplessJoints(Checks &checks, const TempDir &dir)
{
    // 0.8 s, cut about 0.44 s in where the sine is near its crest, so that
    // silence or a lost stretch at the joint makes a jump.
    const std::size_t total = 38400;
    const std::vector<std::int16_t> whole = sine(total);
    std::size_t cut = 21011;
    while (std::abs(whole[cut]) < 0.45 * 32767)
        ++cut;
    writeWav16(dir.file("a.wav"), kRate, {whole.begin(), whole.begin() + cut});
    writeWav16(dir.file("b.wav"), kRate, {whole.begin() + cut, whole.end()});
    const bool mp3 = encodeMp3(dir.file("a.wav"), dir.file("a.mp3")) &&
                     encodeMp3(dir.file("b.wav"), dir.file("b.mp3"));
    checks.expect(mp3, "ffmpeg could not make the MP3 halves");
    const double normalStep = 2 * std::numbers::pi * kHz / kRate * kAmplitude;
    for (const char *ext : {"wav", "mp3"}) {
        const std::string name = ext;
        if (name == "mp3" && !mp3)
            continue;
        const Recording rec =
            record({dir.file(std::string("a.") + ext), dir.file(std::string("b.") + ext)},
                   {.speed = Speed::RealTime});
        if (!checks.expect(rec.finished, name + ": " + rec.error))
            continue;
        const std::vector<float> x = rec.channel(0);
        const Span heard = soundingSpan(x, 0.01f);

        // Guards: silence or a lost or doubled stretch at the joint.
        checks.expect(std::llabs(std::int64_t(heard.size()) - std::int64_t(total)) <= 48,
                      fmt("%s: %zu frames heard of %zu", ext, heard.size(), total));
        const std::vector<Span> quiet = quietRuns(x, heard, 0.005f);
        checks.expect(
            std::all_of(quiet.begin(), quiet.end(), [](const Span &s) { return s.size() <= 2; }),
            name + ": a run of silence inside the sine");
        // Guards: a click at the joint (a jump the sine itself never makes),
        // looked for 10 ms either side of it. Halves encoded apart each start
        // and end with the codec's own small error, so an MP3 joint may step
        // up to twice the sine's step; silence there steps 6 times as far.
        float step = 0;
        for (std::size_t i = heard.begin + cut - 480; i < heard.begin + cut + 480 && i < x.size();
             ++i)
            step = std::max(step, std::fabs(x[i] - x[i - 1]));
        checks.expect(step < normalStep * (name == "wav" ? 1.001 : 2.0) + 0.01,
                      fmt("%s: largest step %.4f, the sine's own %.4f", ext, step, normalStep));
        if (name == "wav") {
            // Sample for sample what the two files hold, across the joint.
            std::size_t wrong = 0;
            for (std::size_t i = 0; i < total && heard.begin + i < x.size(); ++i)
                wrong += std::fabs(x[heard.begin + i] - whole[i] / 32768.0f) > 1e-5f;
            checks.expect(wrong == 0, fmt("wav: %zu samples differ from the cut sine", wrong));
        }
    }
}

// The playlist changes just before the end: the new next file plays, never
// the one named before.
void hintChangedAtTheLastMoment(Checks &checks)
{
    const std::string a = fixture("gap_a.wav"), b = fixture("gap_b.wav"); // 500, 750 Hz
    const std::string c = fixture("tone1k_f32_48k_mono.wav");             // 1 kHz
    DiskCapture capture(Speed::RealTime);
    tarn::engine::OutputSpec spec;
    {
        EndOfStreamWaiter ends;
        Engine engine(testEngineOptions());
        ends.attach(engine);
        engine.setNextFileName(b);
        openFile(engine, a);
        engine.Play();
        checks.expect(waitUntil([&] { return engine.Position() > engine.Length() - 0.12; }, 3s),
                      "hint: the first file never neared its end");
        engine.setNextFileName(c);
        const auto end = ends.wait(3s);
        checks.expect(end && isCurrentEnd(engine, *end), "hint: no end-of-stream for the first");
        engine.setNextFileName("");
        openFile(engine, c);
        engine.Play();
        checks.expect(ends.wait(3s).has_value(), "hint: no end-of-stream for the right file");
        spec = engine.outputSpec();
    }
    const std::vector<float> all = capture.read(spec);
    std::vector<float> x;
    for (std::size_t i = 0; i < all.size(); i += std::size_t(std::max(spec.channels, 1)))
        x.push_back(all[i]);
    const std::size_t window = spec.rate / 50; // 20 ms
    double worstB = 0, bestC = 0;
    for (std::size_t at = 0; at + window <= x.size(); at += window / 2) {
        worstB = std::max(worstB, tonePurity(x, {at, at + window}, spec.rate, 750));
        bestC = std::max(bestC, tonePurity(x, {at, at + window}, spec.rate, 1000));
    }
    // Guards: the stale hint's file heard after the playlist changed.
    checks.expect(worstB < 0.09,
                  fmt("the file no longer next was heard (750 Hz share %.2f)", worstB));
    checks.expect(bestC > 0.8, fmt("the file now next was not heard (1 kHz share %.2f)", bestC));
}

void mixedFormatsInARow(Checks &checks)
{
    // Guards: a change of rate, channels or codec at an advance dropping or repeating audio.
    const std::vector<std::string> files = {"tone1k_vbr_mono.mp3", "tone440_u8_8k_mono.wav",
                                            "tone1k_wmav2_mono.wma", "tone1k_s24_96k_mono.wav"};
    const double expected = 3.000 + 2.000 + 2.972 + 0.250;
    std::vector<std::string> paths;
    for (const std::string &f : files)
        paths.push_back(fixture(f));
    const Recording rec = record(paths);
    if (!checks.expect(rec.finished, rec.error))
        return;
    for (int c = 0; c < rec.spec.channels; ++c) {
        const std::vector<float> heard = removeUnderruns(rec.channel(c));
        const double seconds = static_cast<double>(heard.size()) / rec.spec.rate;
        checks.expect(std::fabs(seconds - expected) < 0.020,
                      fmt("channel %d: played %.4f s of %.4f s", c, seconds, expected));
    }
}

// Three 5 s tracks through a ring of 8 blocks in real time: the decoder sleeps
// on a full ring and is woken as the output drains it, over and over, and each
// track after the first is opened ahead, taken over at the advance and read on
// long after the file following it was named.
void longTracksThroughASmallRing(Checks &checks, const TempDir &dir)
{
    const double seconds = 5;
    const int tracks = 3;
    std::vector<std::string> paths;
    for (int i = 0; i < tracks; ++i) {
        paths.push_back(dir.file(fmt("ramp%d.wav", i)));
        writeRampWav(paths.back(), kRate, seconds);
    }
    const Recording rec = record(
        paths, {.speed = Speed::RealTime, .timeoutPerFile = 15s, .engine = {.ringBlocks = 8}});
    if (!checks.expect(rec.finished, "small ring: " + rec.error))
        return;
    const std::vector<float> x = rec.channel(0);
    const Span heard = soundingSpan(x, 0.05f);
    // Guards: underruns (the decoder not woken in time), blocks lost or
    // doubled, or a track taken over at the advance cut short.
    checks.expect(
        std::fabs(rec.seconds(heard.size()) - tracks * seconds) < 0.005,
        fmt("small ring: %.4f s heard of %.1f s", rec.seconds(heard.size()), tracks * seconds));
    checks.expect(quietRuns(x, heard, 0.05f).empty(), "small ring: silence inside the tracks");
    // Each ramp rises smoothly; the only jumps are the joints, where the next
    // ramp starts again from its bottom, one full track apart.
    std::vector<std::size_t> jumps;
    for (std::size_t i = heard.begin + 1; i < heard.end; ++i)
        if (std::fabs(x[i] - x[i - 1]) > 1e-4f)
            jumps.push_back(i - heard.begin);
    const auto trackFrames = static_cast<std::size_t>(kRate * seconds);
    bool atJoints = jumps.size() == std::size_t(tracks - 1);
    for (std::size_t j = 0; atJoints && j < jumps.size(); ++j)
        atJoints = jumps[j] == (j + 1) * trackFrames;
    checks.expect(atJoints, fmt("small ring: %zu jumps in the ramps, the first at frame %zu",
                                jumps.size(), jumps.empty() ? std::size_t(0) : jumps[0]));
}

} // namespace

int main()
{
    Checks checks;
    TempDir dir;
    gaplessJoints(checks, dir);
    hintChangedAtTheLastMoment(checks);
    mixedFormatsInARow(checks);
    longTracksThroughASmallRing(checks, dir);
    return checks.exitCode();
}
