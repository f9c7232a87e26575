// The engine's sound output: one interface, two implementations. PulseOutput
// talks to a PulseAudio server (PipeWire's PulseAudio service included) with
// the client library; SdlOutput covers everything else (ALSA-only systems,
// and SDL's disk and dummy drivers that the tests ask for). openOutput() picks.
// Each lives in a module of its own (libtarn-pulse.so, libtarn-sdl.so, found
// as module_loader.h says), so the program maps libpulse only when it plays
// and SDL, with the dozens of libraries it links, only when PulseAudio is
// not there.
//
// THREADS
//   The engine calls every member under its own device mutex, from the owner
//   thread or its decoder thread, never from inside render. render runs on
//   the output's own thread (SDL's audio thread, PulseAudio's main loop
//   thread) and must not block, allocate or call back into the output.
//   lock()/unlock() keep render out for a moment.
//
// TIMELINE
//   framesHanded() counts the frames handed to the device or server since
//   open: what render wrote, and the silence an output fed at a steady pace
//   adds after it; flush() subtracts what it dropped. queuedFrames() is how
//   many of those are not heard yet: the output's whole latency, server and
//   device included. So framesHanded() - queuedFrames() frames have been
//   heard, and both may be read at any moment without a jump backwards.
//   Read inside render, framesHanded() is the count before that call.
#pragma once

#include "engine/engine.h"
#include "engine/output_options.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tarn::engine {

// The most channels the engine writes; a device that wants more gets them
// from the output's own conversion.
constexpr int kMaxOutputChannels = 8;

class AudioOutput {
public:
    // Fills `dest` with up to `frames` frames in spec()'s format and returns
    // how many it wrote. An output that must be fed at a steady pace (SDL)
    // writes silence after them; one that can wait (PulseAudio) sends only
    // what was written and asks again after wantMore().
    using RenderFn = int (*)(void *userdata, std::uint8_t *dest, int frames);

    virtual ~AudioOutput() = default;

    // Closes the output; render is not running and never runs again once it
    // returns. The destructor closes too.
    virtual void close() = 0;
    // True when the device or the server went away; the engine then closes
    // this output and opens a new one.
    virtual bool lost() const = 0;

    // Paused: render is not called and the output costs no CPU and no
    // wake-ups (PulseAudio: the stream is corked). Unpausing plays what the
    // output still holds, then asks render for more.
    virtual void setPaused(bool paused) = 0;
    // True when flush() drops what the output holds (PulseAudio), so a
    // pause can silence it at once; false when it plays out (SDL).
    virtual bool canFlush() const = 0;
    // Drops what was handed over and not heard yet, so that the next audio
    // is heard at once. Returns false when the output cannot (SDL: what it
    // holds is one short period, which then plays out).
    virtual bool flush() = 0;
    // The decoder has new audio: an output that stopped asking because
    // render had nothing asks again now. Cheap when it needs nothing.
    virtual void wantMore() {}

    // True when a paused output costs nothing, so the engine may keep it
    // open while idle; false when the engine should close it after a while
    // without sound (SDL keeps a thread streaming silence to a paused device;
    // a corked PulseAudio stream keeps the sink at its short period).
    virtual bool idleIsFree() const = 0;

    // Applies `gain` (0 silence .. 1 full) in the output itself, taking
    // effect at once also for what it already holds. Returns false when it
    // cannot; the engine then scales the samples itself. An output whose
    // volume the desktop's mixer also sets (PulseAudio: the stream's own)
    // keeps the balance between channels the mixer gave it.
    virtual bool setGain(float gain) = 0;

    virtual void lock() = 0;
    virtual void unlock() = 0;

    // The format granted at open (rate 0 before); stays the same across
    // setPaused and flush.
    virtual const OutputSpec &spec() const = 0;
    virtual std::uint8_t silence() const = 0;      // the byte value of silence
    virtual std::int64_t framesHanded() const = 0; // any thread
    virtual std::int64_t queuedFrames() const = 0; // under the engine's device mutex
};

// The volume a new output opens at, and whom it tells when something other
// than the player changes it (the desktop's mixer changes a PulseAudio
// stream's volume; SDL has no such thing and never tells).
struct OutputVolume {
    float gain = 1; // as setGain() takes it
    // Runs on the output's own thread, never inside render, with the
    // output's lock held, and never after close() returned: the new gain
    // (above 1 where the mixer goes beyond full). It must not block or call
    // into the output. The output's own setGain() is never reported back.
    void (*changed)(void *userdata, float gain) = nullptr;
    void *userdata = nullptr;
};

// Opens the system's default output, paused: PulseAudio when a server
// answers (the default socket or PULSE_SERVER), else SDL. Only the program's
// own choice, `options.output`, forces one (the tests run both);
// SDL_AUDIODRIVER, set for other SDL programs, does not. `previous`,
// when given, is the sample format a lost output had: the new one must grant
// the same, so audio already prepared stays valid (SDL converts; PulseAudio
// takes any rate). Returns null with `error` set on failure. Never waits
// long: a server that does not answer within about a second counts as none.
// `volume`: see OutputVolume.
std::unique_ptr<AudioOutput> openOutput(AudioOutput::RenderFn render, void *userdata,
                                        const OutputSpec *previous, const OutputVolume &volume,
                                        const OutputOptions &options, std::string &error);

// Loads the module openOutput() tries first with `options`, so that the
// first Play does not wait for it. Any thread; does nothing the second time.
void preloadOutput(const OutputOptions &options);

// What an output module hands the engine.
class OutputModule {
public:
    // As openOutput(), for this module's kind of output.
    virtual std::unique_ptr<AudioOutput> open(AudioOutput::RenderFn render, void *userdata,
                                              const OutputSpec *previous,
                                              const OutputVolume &volume,
                                              const OutputOptions &options, std::string &error) = 0;

protected:
    ~OutputModule() = default; // lives as long as the process
};

// The modules' one exported function: their OutputModule, or null when
// `version` is not kOutputModuleVersion.
inline constexpr const char *kOutputModuleEntry = "tarn_output_module";
inline constexpr int kOutputModuleVersion = 3;

} // namespace tarn::engine

extern "C" tarn::engine::OutputModule *tarn_output_module(int version);
