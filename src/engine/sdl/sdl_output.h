// The SDL side of the output: the audio subsystem, shared by every engine of
// the process, and one engine's own device on the system's default output.
// Used where no PulseAudio server answers (ALSA-only systems) and by the
// tests through SDL's disk and dummy drivers.
//
// THREADS
//   SDL's audio subsystem is started and stopped, and devices are opened and
//   closed, under one process-wide mutex, so engines on different threads
//   can come and go. SDL calls the callback on its own thread with the
//   device's lock held; lock()/unlock() take that lock.
#pragma once

#include "engine/audio_output.h"

#include <SDL.h>

#include <atomic>
#include <memory>
#include <string>

namespace tarn::engine {

class SdlOutput final : public AudioOutput {
public:
    // Opens the default device, paused. The first open asks for stereo float
    // at the device's own rate (48 kHz when the driver does not tell it) and
    // takes what the device grants; with `previous` it insists on that format,
    // so audio already prepared for it stays valid. Null with `error` set.
    static std::unique_ptr<SdlOutput> open(RenderFn render, void *userdata,
                                           const OutputSpec *previous, std::string &error);
    ~SdlOutput() override { close(); }

    void close() override;
    bool lost() const override;
    void setPaused(bool paused) override;
    bool canFlush() const override { return false; }
    bool flush() override { return false; } // one short period: it plays out
    bool idleIsFree() const override { return false; }
    bool setGain(float) override { return false; }
    void lock() override { SDL_LockAudioDevice(id_); }
    void unlock() override { SDL_UnlockAudioDevice(id_); }
    const OutputSpec &spec() const override { return spec_; }
    std::uint8_t silence() const override { return silence_; }
    std::int64_t framesHanded() const override { return handed_.load(std::memory_order_acquire); }
    // One period while running; a paused device has played what it held.
    std::int64_t queuedFrames() const override { return paused_ ? 0 : bufferFrames_; }

private:
    SdlOutput() = default;
    static void SDLCALL callback(void *userdata, Uint8 *stream, int len);

    SDL_AudioDeviceID id_ = 0;
    bool subsystem_ = false; // holds a reference on SDL's audio subsystem
    RenderFn render_ = nullptr;
    void *userdata_ = nullptr;
    OutputSpec spec_;
    int bufferFrames_ = 0;
    std::uint8_t silence_ = 0;
    bool paused_ = true;                  // the engine's device mutex
    std::atomic<std::int64_t> handed_{0}; // written by the callback
};

} // namespace tarn::engine
