#include "engine/support/media_files.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace tarn::test {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tarn-media-XXXXXX").string();
    if (mkdtemp(pattern.data()))
        path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    if (!path_.empty())
        std::filesystem::remove_all(path_, ignored);
}

std::vector<char> readBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::string &path, const std::vector<char> &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

namespace {
void put32(std::vector<char> &b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<char>(v >> (8 * i)));
}
void put16(std::vector<char> &b, std::uint16_t v)
{
    b.push_back(static_cast<char>(v));
    b.push_back(static_cast<char>(v >> 8));
}
} // namespace

void writeWav16(const std::string &path, int rate, const std::vector<std::int16_t> &samples)
{
    const auto frames = static_cast<std::uint32_t>(samples.size());
    std::vector<char> b;
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    put32(b, 36 + frames * 2);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(b, 16);
    put16(b, 1); // PCM
    put16(b, 1); // mono
    put32(b, static_cast<std::uint32_t>(rate));
    put32(b, static_cast<std::uint32_t>(rate) * 2);
    put16(b, 2);
    put16(b, 16);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put32(b, frames * 2);
    for (const std::int16_t v : samples)
        put16(b, static_cast<std::uint16_t>(v));
    writeBytes(path, b);
}

void writeRampWav(const std::string &path, int rate, double seconds)
{
    const auto frames = static_cast<std::size_t>(std::lround(rate * seconds));
    std::vector<std::int16_t> samples(frames);
    for (std::size_t i = 0; i < frames; ++i)
        samples[i] =
            static_cast<std::int16_t>(std::lround(rampValue(double(i) / rate, seconds) * 32767));
    writeWav16(path, rate, samples);
}

bool waitUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace tarn::test
