// Silence at the automatic advance, as a listener would hear it: plays
// gap_a.wav and gap_b.wav (1.000 s each, never below 0.1 in magnitude)
// alternately through one engine on SDL's disk driver in real time and
// measures every run of silence between them in the device's output.
//
//   bench_engine_gap [TRANSITIONS]      (TARN_FIXTURES names the media folder)
#include "engine/support/disk_output.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace tarn::test;

int main(int argc, char **argv)
{
    const int transitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    std::vector<std::string> files;
    for (int i = 0; i <= transitions; ++i)
        files.push_back(fixture(i % 2 == 0 ? "gap_a.wav" : "gap_b.wav"));
    const Recording rec = record(files, {.speed = Speed::RealTime});
    if (!rec.finished) {
        std::fprintf(stderr, "%s\n", rec.error.c_str());
        return 1;
    }
    const std::vector<float> left = rec.channel(0);
    const Span sounding = soundingSpan(left, 0.05f);
    std::vector<double> gapsMs(static_cast<std::size_t>(transitions), 0.0);
    // Each transition falls near a whole second of sound; the silence
    // inserted there is the quiet run nearest to it (none: no gap).
    std::size_t inserted = 0;
    for (const Span &run : quietRuns(left, sounding, 0.05f)) {
        const double at = rec.seconds(run.begin - sounding.begin - inserted);
        const auto index = static_cast<long>(at + 0.5) - 1;
        if (index >= 0 && index < transitions)
            gapsMs[static_cast<std::size_t>(index)] += rec.seconds(run.size()) * 1000;
        inserted += run.size();
    }
    std::vector<double> sorted = gapsMs;
    std::sort(sorted.begin(), sorted.end());
    std::printf("gap at advance, %d transitions (ms):", transitions);
    for (const double g : gapsMs)
        std::printf(" %.1f", g);
    std::printf("\ngap median %.1f ms, max %.1f ms (output %d Hz)\n", sorted[sorted.size() / 2],
                sorted.back(), rec.spec.rate);
    const double heard = rec.seconds(sounding.size() - inserted);
    std::printf("sound heard %.4f s of %d.000 s\n", heard, transitions + 1);
    return 0;
}
