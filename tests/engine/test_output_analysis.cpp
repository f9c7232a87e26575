// The measuring tools of the output tests, on signals made here: an output
// test can only fail if these see the faults it looks for.
#include "engine/support/disk_output.h"
#include "engine/support/output_checks.h"

#include <cmath>
#include <numbers>

using namespace tarn::test;

namespace {

constexpr int rate = 48000;

std::vector<float> sine(double hz, double amplitude, double seconds, double offset = 0)
{
    std::vector<float> x(static_cast<std::size_t>(seconds * rate));
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] =
            static_cast<float>(offset + amplitude * std::sin(2 * std::numbers::pi * hz * i / rate));
    return x;
}

void checkToneMeasures(Checks &checks)
{
    struct Case {
        double hz, amplitude, expectDb;
    };
    // Guards: tools misreading level or pitch, so wrongly scaled or resampled output passes.
    for (const Case c : {Case{440, 0.5, -9.03}, Case{1000, 0.5 * std::pow(10, -12.5 / 20), -21.53},
                         Case{97.3, 1.0, -3.01}}) {
        const std::vector<float> x = sine(c.hz, c.amplitude, 0.5);
        const Span all{0, x.size()};
        checks.expect(std::fabs(rmsDb(x, all) - c.expectDb) < 0.02,
                      fmt("%.1f Hz: level %.3f dB", c.hz, rmsDb(x, all)));
        checks.expect(std::fabs(zeroCrossingFrequency(x, all, rate) - c.hz) < c.hz * 1e-4,
                      fmt("%.1f Hz: measured %.3f Hz", c.hz, zeroCrossingFrequency(x, all, rate)));
        checks.expect(tonePurity(x, all, rate, c.hz) > 0.995,
                      fmt("%.1f Hz: purity %.4f", c.hz, tonePurity(x, all, rate, c.hz)));
    }
}

void checkImpurityIsSeen(Checks &checks)
{
    // Guards: a purity measure that calls anything a clean tone.
    const std::vector<float> other = sine(1000, 0.5, 0.5);
    checks.expect(tonePurity(other, {0, other.size()}, rate, 440) < 0.01, "1 kHz taken for 440 Hz");
    std::vector<float> clipped = sine(440, 0.5, 0.5);
    for (float &v : clipped)
        v = v > 0 ? 0.5f : -0.5f; // a square wave: 81 % of its power is the fundamental
    const double purity = tonePurity(clipped, {0, clipped.size()}, rate, 440);
    checks.expect(purity < 0.9, fmt("square wave has purity %.3f", purity));
}

void checkGapsAndUnderruns(Checks &checks)
{
    // Guards: inserted silence going unseen, or underrun removal eating or leaving samples.
    std::vector<float> x(2400, 0.0f); // device started before the sound
    const std::vector<float> a = sine(500, 0.2, 1.0, 0.3);
    x.insert(x.end(), a.begin(), a.end());
    x.insert(x.end(), 480, 0.0f); // 10 ms gap
    x.insert(x.end(), a.begin(), a.end());
    x.insert(x.end(), 4800, 0.0f);
    const Span sounding = soundingSpan(x, 0.05f);
    checks.expect(sounding.begin == 2400 && sounding.size() == 2 * a.size() + 480,
                  fmt("sounding span %.0f + %.0f", static_cast<double>(sounding.begin),
                      static_cast<double>(sounding.size())));
    const std::vector<Span> runs = quietRuns(x, sounding, 0.05f);
    checks.expect(runs.size() == 1 && runs[0].size() == 480 && runs[0].begin == 2400 + a.size(),
                  fmt("%.0f quiet runs found, expected one of 480 samples",
                      static_cast<double>(runs.size())));
    checks.expect(removeUnderruns(x).size() == 2 * a.size(), "underrun silence left in");
    const std::vector<float> tone = sine(440, 0.5, 0.1);
    checks.expect(removeUnderruns(tone) == tone, "samples of a tone taken for underrun");
}

} // namespace

int main()
{
    Checks checks;
    checkToneMeasures(checks);
    checkImpurityIsSeen(checks);
    checkGapsAndUnderruns(checks);
    return checks.exitCode();
}
