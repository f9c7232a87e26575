#include "engine/sample_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace tarn::engine {

float gainForVolume(std::int32_t hundredthsOfDb)
{
    if (hundredthsOfDb <= kSilentVolume)
        return 0.0f;
    return static_cast<float>(std::pow(10.0, std::min(hundredthsOfDb, 0) / 2000.0));
}

std::int32_t volumeForGain(float gain)
{
    if (!(gain > 0))
        return kSilentVolume;
    const double hundredths = std::round(2000.0 * std::log10(double(gain)));
    return static_cast<std::int32_t>(std::clamp(hundredths, double(kSilentVolume), 0.0));
}

void SampleWriter::configure(const OutputSpec &spec)
{
    spec_ = spec;
    step_ = spec.rate > 0 ? static_cast<float>(1.0 / (kRampSeconds * spec.rate)) : 1.0f;
    tailFrames_ = std::max(1, static_cast<int>(kTailSeconds * spec.rate));
}

namespace {

// Clamps to [-1, 1], and makes silence of what is not a finite number (a
// damaged file's float samples: NaN or infinity would reach a float device
// as they are, and an integer conversion of them is undefined). Written as
// selects so that the loops below vectorise (std::clamp's NaN handling keeps
// the compiler from using min/max).
inline float clip(float x)
{
    x = std::fabs(x) <= std::numeric_limits<float>::max() ? x : 0.0f;
    x = x < -1.0f ? -1.0f : x;
    return x > 1.0f ? 1.0f : x;
}

template <typename T, typename Convert>
void store(const float *in, std::size_t count, int channels, float &gain, float target, float step,
           std::uint8_t *dest, Convert convert)
{
    T *out = reinterpret_cast<T *>(dest);
    std::size_t i = 0;
    for (; i < count && gain != target; i += channels) { // the ramp, frame by frame
        gain = gain < target ? std::min(target, gain + step) : std::max(target, gain - step);
        for (int c = 0; c < channels; ++c)
            out[i + c] = convert(clip(in[i + c] * gain));
    }
    const float g = gain; // steady: one loop the compiler can vectorise
    for (; i < count; ++i)
        out[i] = convert(clip(in[i] * g));
}

} // namespace

void SampleWriter::convert(const float *in, int frames, float &gain, float target,
                           std::uint8_t *dest)
{
    const std::size_t count = std::size_t(frames) * spec_.channels;
    const int ch = spec_.channels;
    if (spec_.isFloat) {
        store<float>(in, count, ch, gain, target, step_, dest, [](float x) { return x; });
    } else if (spec_.bytesPerSample == 4) {
        store<std::int32_t>(in, count, ch, gain, target, step_, dest, [](float x) {
            return static_cast<std::int32_t>(std::lrint(std::min(x * 2147483648.0, 2147483647.0)));
        });
    } else if (spec_.bytesPerSample == 2) {
        store<std::int16_t>(in, count, ch, gain, target, step_, dest, [](float x) {
            return static_cast<std::int16_t>(std::lrint(x * 32767.0f));
        });
    } else if (spec_.bytesPerSample == 1) { // unsigned: the device never gets signed 8-bit
        store<std::uint8_t>(in, count, ch, gain, target, step_, dest, [](float x) {
            return static_cast<std::uint8_t>(std::lrint(x * 127.0f) + 128);
        });
    }
}

void SampleWriter::write(const float *in, int frames, float target, std::uint8_t *dest)
{
    if (frames <= 0)
        return;
    convert(in, frames, gain_, target, dest);
    const float *lastIn = in + std::size_t(frames - 1) * spec_.channels;
    for (int c = 0; c < spec_.channels; ++c)
        last_[c] = clip(lastIn[c] * gain_);
    tailLeft_ = tailFrames_;
}

int SampleWriter::writeTail(int frames, std::uint8_t *dest)
{
    constexpr int kChunk = 64;
    float fall[kChunk * kMaxOutputChannels];
    const int ch = spec_.channels;
    const int frameBytes = spec_.channels * spec_.bytesPerSample;
    int written = 0;
    while (written < frames && tailLeft_ > 0) {
        const int n = std::min({kChunk, frames - written, tailLeft_});
        for (int i = 0; i < n; ++i) {
            const float share = float(tailLeft_ - 1 - i) / float(tailFrames_);
            for (int c = 0; c < ch; ++c)
                fall[i * ch + c] = last_[c] * share;
        }
        float unity = 1.0f;
        convert(fall, n, unity, 1.0f, dest + std::size_t(written) * frameBytes);
        tailLeft_ -= n;
        written += n;
    }
    return written;
}

} // namespace tarn::engine
