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
    // show as a long silence that no listener hears. Three advances, judged
    // by their median, so that one late wake-up on a loaded machine does not
    // decide the result.
    const std::vector<std::string> files = {fixture("gap_a.wav"), fixture("gap_b.wav"),
                                            fixture("gap_a.wav"), fixture("gap_b.wav")};
    const Recording rec = record(files, {.speed = Speed::RealTime});
    if (!checks.expect(rec.finished, rec.error))
        return;
    const AdvanceGaps gaps = advanceGaps(rec, 1.0, 3, quiet);
    std::vector<double> sorted = gaps.seconds;
    std::sort(sorted.begin(), sorted.end());
    // Guards: the device left idle while the next file opens and decodes.
    checks.expect(sorted[1] < maxGapSeconds,
                  fmt("silences at the advances %.1f, %.1f and %.1f ms", gaps.seconds[0] * 1000,
                      gaps.seconds[1] * 1000, gaps.seconds[2] * 1000));
    // Guards: the end of one file or the start of the next cut off (or doubled) at an advance.
    checks.expect(std::fabs(gaps.heardSeconds - 4.0) < 0.005,
                  fmt("%.4f s of sound for four files of 1.000 s", gaps.heardSeconds));
    // Guards: files played out of order, or one of them twice.
    const std::vector<float> left = rec.channel(0);
    const std::size_t start = soundingSpan(left, quiet).begin;
    const auto second = static_cast<std::size_t>(rec.spec.rate);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const double hz = i % 2 == 0 ? 500 : 750;
        const Span middle = middleOf({start + i * second, start + (i + 1) * second}, 0.6);
        checks.expect(tonePurity(left, middle, rec.spec.rate, hz) > 0.8 * gapToneShare,
                      fmt("file %.0f of the row is not the %.0f Hz one", i + 1.0, hz));
    }
}

void checkMixedFormatsInARow(Checks &checks)
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

} // namespace

int main()
{
    Checks checks;
    checkGapBetweenFiles(checks);
    checkMixedFormatsInARow(checks);
    return checks.exitCode();
}
