// Silence at the automatic advance, as a listener would hear it: plays the
// given files (each loud from its first sample to its last, never below 0.1
// in magnitude) one after another through one engine on SDL's disk driver in
// real time, and measures every run of silence between them in the device's
// output. Where a file ends within the device's period decides how much of
// that period is left silent, so the files should differ in length.
//
//   bench_engine_gap FILE...        (bench/run.sh gap makes such files)
#include "engine/support/disk_output.h"

#include <algorithm>
#include <cstdio>

using namespace tarn::test;

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FILE FILE...\n", argv[0]);
        return 2;
    }
    const std::vector<std::string> files(argv + 1, argv + argc);
    const Recording rec = record(files, {.speed = Speed::RealTime});
    if (!rec.finished) {
        std::fprintf(stderr, "%s\n", rec.error.c_str());
        return 1;
    }
    const std::vector<float> left = rec.channel(0);
    const Span sounding = soundingSpan(left, 0.05f);
    std::vector<double> gapsMs;
    for (const Span &run : quietRuns(left, sounding, 0.05f))
        gapsMs.push_back(rec.seconds(run.size()) * 1000);
    const std::size_t advances = files.size() - 1;
    std::printf("%zu advances, %zu with a gap (ms):", advances, gapsMs.size());
    for (const double g : gapsMs)
        std::printf(" %.1f", g);
    gapsMs.resize(std::max(gapsMs.size(), advances), 0.0); // advances with no gap at all
    std::sort(gapsMs.begin(), gapsMs.end());
    const std::size_t mid = gapsMs.size() / 2;
    const double median =
        gapsMs.size() % 2 != 0 ? gapsMs[mid] : (gapsMs[mid - 1] + gapsMs[mid]) / 2;
    std::printf("\ngap median %.1f ms, max %.1f ms (output %d Hz)\n", median, gapsMs.back(),
                rec.spec.rate);
    return 0;
}
