// Latency from Play() to the output callback that first hands a sample of the
// new file to the device (Engine::firstSampleLatencyNs()), on the output
// TARN_AUDIO_OUTPUT names (with SDL, on the driver SDL_AUDIODRIVER names).
// The first Play() also opens the device and is reported on its own; the
// rest are the cost of starting a file on an open device, as at every
// automatic advance.
//
//   bench_engine_latency FILE [REPEATS]
#include "engine/engine.h"
#include "engine/engine_environment.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [REPEATS]\n", argv[0]);
        return 2;
    }
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 30;
    tarn::engine::Engine engine(tarn::engine::applyEngineEnvironment(argv[0], ::getenv));
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> pause(20000, 120000); // µs
    std::vector<double> ms;
    double longestCall = 0;
    for (int i = 0; i <= repeats; ++i) {
        engine.setFileName(argv[1]);
        while (engine.openState() == tarn::engine::Engine::OpenState::Opening)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (engine.openState() != tarn::engine::Engine::OpenState::Open) {
            std::fprintf(stderr, "%s: %s\n", argv[1], engine.LastError().c_str());
            return 1;
        }
        const auto called = std::chrono::steady_clock::now();
        engine.Play();
        const std::chrono::duration<double, std::milli> callMs =
            std::chrono::steady_clock::now() - called;
        if (engine.PlayStatus() != tarn::PlayState::Playing) {
            std::fprintf(stderr, "Play: %s\n", engine.LastError().c_str());
            return 1;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        std::int64_t ns = -1;
        while ((ns = engine.firstSampleLatencyNs()) < 0 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        if (ns < 0) {
            std::fprintf(stderr, "no sample reached the device within 2 s\n");
            return 1;
        }
        if (i == 0) {
            std::printf("first Play (opens the device): the call took %.2f ms, first sample "
                        "%.2f ms after it\n",
                        callMs.count(), ns / 1e6);
        } else {
            ms.push_back(ns / 1e6);
            longestCall = std::max(longestCall, callMs.count());
        }
        // Let it play for a random while, so that the next Play() lands at a
        // random point of the device's period, as a user's click does.
        std::this_thread::sleep_for(std::chrono::microseconds(pause(rng)));
        engine.Stop();
    }
    std::sort(ms.begin(), ms.end());
    std::printf("Play to first sample, %d runs: median %.2f ms, p90 %.2f ms, max %.2f ms; "
                "longest Play() call %.2f ms\n",
                repeats, ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back(), longestCall);
    return 0;
}
