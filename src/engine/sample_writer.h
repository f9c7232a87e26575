// Writes float frames to the device's sample format with the volume applied,
// moving the gain linearly towards its target so volume changes do not click,
// and lets the sound fall to zero in a few milliseconds when playback is
// interrupted (pause, stop, another file) instead of dropping to silence at once.
//
// THREADS: the output callback only; no allocation, no locks.
#pragma once

#include "engine/audio_output.h"
#include "engine/engine.h"

#include <cstdint>

namespace tarn::engine {

// The quietest Volume, in hundredths of a decibel: it and anything below is silence.
inline constexpr std::int32_t kSilentVolume = -2500;

// Gain for a Volume in hundredths of a decibel; exactly 0 at kSilentVolume and below.
float gainForVolume(std::int32_t hundredthsOfDb);
// The Volume of a gain, within kSilentVolume (silence, and anything quieter)
// .. 0 (full, and anything louder).
std::int32_t volumeForGain(float gain);

class SampleWriter {
public:
    // Ramps take this long from silence to full gain.
    static constexpr double kRampSeconds = 0.010;

    void configure(const OutputSpec &spec);
    // Writes `frames` frames of `channels`-sample float input at `dest`,
    // which must hold frames * spec.channels samples.
    void write(const float *in, int frames, float target, std::uint8_t *dest);
    // Sets the gain at once, e.g. to 0 to ramp in from silence.
    void jumpTo(float gain) { gain_ = gain; }

    // Falls from the last frame written to zero over kTailSeconds.
    static constexpr double kTailSeconds = 0.005;
    // Writes up to `frames` frames of that fall; returns how many it wrote.
    int writeTail(int frames, std::uint8_t *dest);
    bool quiet() const { return tailLeft_ == 0; } // the fall is over
    void dropTail() { tailLeft_ = 0; }

private:
    void convert(const float *in, int frames, float &gain, float target, std::uint8_t *dest);

    OutputSpec spec_;
    float gain_ = 1.0f;
    float step_ = 1.0f;                   // largest gain change per frame
    float last_[kMaxOutputChannels] = {}; // the last frame written, volume applied
    int tailFrames_ = 0;                  // length of the fall
    int tailLeft_ = 0;                    // frames of it still to write
};

} // namespace tarn::engine
