// What a damaged file's samples make of the output: NaN and infinite float
// samples reach the device as silence, in every sample format, while the
// volume ramps and after it, and in the fall to silence that follows them.
#include "engine/sample_writer.h"
#include "engine/support/output_checks.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

using namespace tarn::test;
using tarn::engine::OutputSpec;
using tarn::engine::SampleWriter;

namespace {

// Sample `i` of `out`, written in `spec`'s format, as a float.
float sampleAt(const OutputSpec &spec, const std::vector<std::uint8_t> &out, std::size_t i)
{
    const std::uint8_t *at = out.data() + i * spec.bytesPerSample;
    if (spec.isFloat) {
        float v;
        std::memcpy(&v, at, 4);
        return v;
    }
    switch (spec.bytesPerSample) {
    case 4: {
        std::int32_t v;
        std::memcpy(&v, at, 4);
        return float(v / 2147483648.0);
    }
    case 2: {
        std::int16_t v;
        std::memcpy(&v, at, 2);
        return v / 32768.0f;
    }
    default:
        return (int(*at) - 128) / 128.0f;
    }
}

void nonFiniteIsSilence(Checks &checks)
{
    const OutputSpec specs[] = {
        {48000, 2, true, 4}, {48000, 2, false, 4}, {48000, 2, false, 2}, {48000, 2, false, 1}};
    const float bad[] = {std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity()};
    constexpr int kFrames = 64;
    for (const OutputSpec &spec : specs)
        for (const float value : bad)
            for (const float startGain : {1.0f, 0.0f}) { // steady, and ramping up
                const std::string name =
                    fmt("%s%d, sample %f, gain from %.0f",
                        spec.isFloat               ? "float"
                        : spec.bytesPerSample == 1 ? "uint"
                                                   : "int",
                        spec.bytesPerSample * 8, double(value), double(startGain));
                SampleWriter writer;
                writer.configure(spec);
                writer.jumpTo(startGain);
                // Every sample of the left channel is the bad one; the right is a quiet tone.
                std::vector<float> in(kFrames * 2);
                for (int i = 0; i < kFrames; ++i) {
                    in[2 * i] = value;
                    in[2 * i + 1] = 0.25f;
                }
                std::vector<std::uint8_t> out(std::size_t(kFrames) * 2 * spec.bytesPerSample);
                writer.write(in.data(), kFrames, 1.0f, out.data());
                std::vector<std::uint8_t> tail(out.size());
                const int fell = writer.writeTail(kFrames, tail.data());
                bool silent = true, toneKept = false;
                for (int i = 0; i < kFrames; ++i) {
                    silent = silent && std::fabs(sampleAt(spec, out, 2 * i)) < 0.01f;
                    toneKept = toneKept || sampleAt(spec, out, 2 * i + 1) > 0.02f;
                }
                for (int i = 0; i < fell; ++i)
                    silent = silent && std::fabs(sampleAt(spec, tail, 2 * i)) < 0.01f;
                // Guards: NaN or infinity handed to a float device, full scale
                // for infinity, or the undefined conversion of either to integers.
                checks.expect(silent, name + ": the bad channel is not silence");
                // Guards: the good channel silenced with the bad one.
                checks.expect(toneKept, name + ": the other channel lost its sound");
            }
}

} // namespace

int main()
{
    Checks checks;
    nonFiniteIsSilence(checks);
    return checks.exitCode();
}
