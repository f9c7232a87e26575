// The automatic advance at the output: at end-of-stream the next file is set
// and played, and the listener hears the two back to back, nothing lost.
#include "engine/support/disk_output.h"
#include "engine/support/output_checks.h"

#include <algorithm>
#include <cmath>

using namespace tarn::test;

namespace {

constexpr double maxGapSeconds = 0.030;
// Every sample of gap_a.wav and gap_b.wav is at least 0.1 in magnitude.
constexpr float quiet = 0.05f;
// Their power: 0.3^2 of offset and 0.2^2 / 2 of tone, so the tone's share is 0.18.
constexpr double gapToneShare = 0.02 / 0.11;

void checkGapBetweenFiles(Checks &checks)
{
    // Real time: on the fast disk device the time the advance takes would
    // show as a long silence that no listener hears.
    const Recording rec =
        record({fixture("gap_a.wav"), fixture("gap_b.wav")}, {.speed = Speed::RealTime});
    if (!checks.expect(rec.finished, rec.error))
        return;
    const std::vector<float> left = rec.channel(0);
    const Span sounding = soundingSpan(left, quiet);
    const std::vector<Span> gaps = quietRuns(left, sounding, quiet);
    std::size_t longest = 0, total = 0;
    for (const Span &g : gaps) {
        longest = std::max(longest, g.size());
        total += g.size();
    }
    // Guards: the device left idle while the next file opens and decodes.
    checks.expect(rec.seconds(longest) < maxGapSeconds,
                  fmt("silence of %.1f ms between the files", rec.seconds(longest) * 1000));
    // Guards: the end of the first file or the start of the second cut off
    // (or doubled) at the advance.
    const double heard = rec.seconds(sounding.size() - total);
    checks.expect(std::fabs(heard - 2.0) < 0.005,
                  fmt("%.4f s of sound for two files of 1.000 s", heard));
    // Guards: the files played in the wrong order, or one of them twice.
    const std::size_t half = sounding.size() / 2;
    const Span first = middleOf({sounding.begin, sounding.begin + half}, 0.8);
    const Span second = middleOf({sounding.begin + half, sounding.end}, 0.8);
    checks.expect(tonePurity(left, first, rec.spec.rate, 500) > 0.8 * gapToneShare,
                  "first second is not gap_a's 500 Hz");
    checks.expect(tonePurity(left, second, rec.spec.rate, 750) > 0.8 * gapToneShare,
                  "second second is not gap_b's 750 Hz");
}

void checkMixedFormatsInARow(Checks &checks)
{
    // Guards: a change of rate, channels or codec at the advance dropping or
    // repeating buffered audio, or leaving the old file's resampler state in.
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

} // namespace

int main()
{
    Checks checks;
    checkGapBetweenFiles(checks);
    checkMixedFormatsInARow(checks);
    return checks.exitCode();
}
