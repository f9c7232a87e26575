// The SDL side of the output: the audio subsystem, shared by every engine of
// the process, and one engine's own device on the system's default output.
//
// THREADS
//   SDL's audio subsystem is started and stopped, and devices are opened and
//   closed, under one process-wide mutex, so engines on different threads
//   can come and go. An AudioDevice itself is not locked: its owner (the
//   engine) guards it with its device mutex. SDL calls the callback on its
//   own thread with the device's lock held; lock()/unlock() take that lock to
//   keep the callback out for a moment.
#pragma once

#include "engine/engine.h"

#include <SDL.h>

#include <string>

namespace tarn::engine {

// The most channels the engine writes; a device that wants more gets them
// from SDL's own conversion.
constexpr int kMaxOutputChannels = 8;

class AudioDevice {
public:
    AudioDevice() = default;
    ~AudioDevice() { close(); }
    AudioDevice(const AudioDevice &) = delete;
    AudioDevice &operator=(const AudioDevice &) = delete;

    // Opens the default device, paused. The first open asks for stereo float
    // at the device's own rate (48 kHz when the driver does not tell it) and
    // takes what the device grants; a reopen (after the device was
    // removed) insists on the format granted before, so audio already
    // prepared for it stays valid. Returns false with `error` set.
    bool open(SDL_AudioCallback callback, void *userdata, std::string &error);
    void close();
    bool isOpen() const { return id_ != 0; }
    // True when SDL has given up on the device (it was unplugged or the
    // sound server went away).
    bool lost() const;
    void setPaused(bool paused);
    void lock() { SDL_LockAudioDevice(id_); }
    void unlock() { SDL_UnlockAudioDevice(id_); }

    const OutputSpec &spec() const { return spec_; }
    int bufferFrames() const { return bufferFrames_; }
    std::uint8_t silence() const { return silence_; }

private:
    SDL_AudioDeviceID id_ = 0;
    bool subsystem_ = false; // this device holds a reference on SDL's audio subsystem
    OutputSpec spec_;
    SDL_AudioFormat format_ = 0;
    int bufferFrames_ = 0;
    std::uint8_t silence_ = 0;
};

} // namespace tarn::engine
