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
    const AdvanceGaps gaps = advanceGaps(rec, 1.0, transitions, 0.05f);
    std::vector<double> gapsMs;
    for (const double g : gaps.seconds)
        gapsMs.push_back(g * 1000);
    std::vector<double> sorted = gapsMs;
    std::sort(sorted.begin(), sorted.end());
    std::printf("gap at advance, %d transitions (ms):", transitions);
    for (const double g : gapsMs)
        std::printf(" %.1f", g);
    const std::size_t mid = sorted.size() / 2;
    const double median =
        sorted.size() % 2 != 0 ? sorted[mid] : (sorted[mid - 1] + sorted[mid]) / 2;
    std::printf("\ngap median %.1f ms, max %.1f ms (output %d Hz)\n", median, sorted.back(),
                rec.spec.rate);
    std::printf("sound heard %.4f s of %d.000 s\n", gaps.heardSeconds, transitions + 1);
    return 0;
}
