// Media made at run time for the engine's behaviour tests: bad input derived
// from the good fixtures in a temporary folder, and WAV files whose samples
// tell the time they belong to, so where playback really is can be read off
// the output.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarn::test {

// A fresh temporary folder, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::vector<char> readBytes(const std::string &path);
void writeBytes(const std::string &path, const std::vector<char> &bytes);

// A mono 16-bit PCM WAV of `samples` at `rate`.
void writeWav16(const std::string &path, int rate, const std::vector<std::int16_t> &samples);

// A mono 16-bit PCM WAV of `seconds` at `rate` holding a slow rise: the
// sample at time t is rampValue(t, seconds).
void writeRampWav(const std::string &path, int rate, double seconds);
inline double rampValue(double t, double seconds)
{
    return 0.1 + 0.8 * t / seconds;
}
inline double rampTime(double value, double seconds)
{
    return (value - 0.1) / 0.8 * seconds;
}

// Polls `done` every millisecond until it holds or `timeout` passes.
bool waitUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout);

} // namespace tarn::test
