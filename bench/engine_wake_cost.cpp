// What the machine charges a thread for sleeping and waking: a thread sleeps
// PERIOD microseconds COUNT times and reports its CPU time per wake-up. The
// output thread of any audio program wakes once per device period, so this
// cost times the wake-ups per second is a floor under its CPU use.
//
//   bench_engine_wake_cost PERIOD_US COUNT
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PERIOD_US COUNT\n", argv[0]);
        return 2;
    }
    const int periodUs = std::max(1, std::atoi(argv[1]));
    const int count = std::max(1, std::atoi(argv[2]));
    timespec t0{}, t1{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t0);
    for (int i = 0; i < count; ++i)
        std::this_thread::sleep_for(std::chrono::microseconds(periodUs));
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t1);
    const double cpu = double(t1.tv_sec - t0.tv_sec) + double(t1.tv_nsec - t0.tv_nsec) * 1e-9;
    std::printf("sleep %d us x %d: %.1f us CPU per wake-up, %.3f CPU s per 180 s at this rate\n",
                periodUs, count, cpu / count * 1e6, cpu / count * 180e6 / periodUs);
    return 0;
}
