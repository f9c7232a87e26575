// Writes float frames to the device's sample format with the volume applied,
// moving the gain linearly towards its target so volume changes do not click.
//
// THREADS: the output callback only; no allocation, no locks.
#pragma once

#include "engine/engine.h"

#include <cstdint>

namespace tarn::engine {

// Gain for a Volume in hundredths of a decibel; exactly 0 at -2500 and below.
float gainForVolume(std::int32_t hundredthsOfDb);

class SampleWriter {
public:
    // Ramps take this long from silence to full gain.
    static constexpr double kRampSeconds = 0.010;

    void configure(const OutputSpec &spec);
    // Writes `frames` frames of `channels`-sample float input at `dest`,
    // which must hold frames * spec.channels samples.
    void write(const float *in, int frames, float target, std::uint8_t *dest);
    // Starts at `gain` with no ramp: for the first samples after silence,
    // where there is nothing to click against.
    void jumpTo(float gain) { gain_ = gain; }

private:
    OutputSpec spec_;
    float gain_ = 1.0f;
    float step_ = 1.0f; // largest gain change per frame
};

} // namespace tarn::engine
