// What decoding costs when it is spread over time the way playback spreads
// it: the engine's own Decoder decodes BURST seconds of audio, sleeps until
// that much real time has passed, and again, for SECONDS of audio; BURST 0
// decodes everything in one go. Prints the thread's CPU time, scaled to
// 180 s of audio so it compares with the floor.
//
// On a machine where a sleeping core slows down or loses its caches, the same
// work costs more CPU time in short bursts than in one go; this measures how
// much, without the output or any other thread.
//
//   bench_engine_decode_paced FILE BURST SECONDS
#include "engine/decoder.h"
#include "engine/engine_environment.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

namespace {

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s FILE BURST SECONDS\n", argv[0]);
        return 2;
    }
    using namespace tarn::engine;
    applyEngineEnvironment(argv[0], ::getenv); // the codec module's file
    const double burst = std::atof(argv[2]);
    const double total = std::atof(argv[3]);
    const AudioFormat format; // what the engine asks of a device by default
    std::string error;
    std::unique_ptr<Decoder> decoder = Decoder::open(argv[1], format, {}, error);
    if (!decoder) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
        return 1;
    }
    std::vector<float> out;
    out.reserve(std::size_t(format.rate) * format.channels);
    std::int64_t first = 0, frames = 0;
    double used = 0;
    bool ended = false;
    auto next = std::chrono::steady_clock::now();
    while (!ended && frames < total * format.rate) {
        const double before = threadCpuSeconds();
        const std::int64_t goal = frames + std::int64_t((burst > 0 ? burst : total) * format.rate);
        while (!ended && frames < goal) {
            out.clear();
            ended = !decoder->decode(out, first);
            frames += std::int64_t(out.size()) / format.channels;
        }
        used += threadCpuSeconds() - before;
        if (burst > 0) {
            next += std::chrono::microseconds(std::int64_t(burst * 1e6));
            std::this_thread::sleep_until(next);
        }
    }
    const double seconds = double(frames) / format.rate;
    std::printf("decode in %.3f s bursts: %.1f s of audio, %.4f CPU s, %.4f CPU s per 180 s\n",
                burst, seconds, used, used * 180 / seconds);
    return 0;
}
