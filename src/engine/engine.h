// Tarn Player playback engine: one audio file at a time, decoded with FFmpeg
// and played through SDL2 on the system's default output device.
//
// EVENT MODEL
//   The engine raises one event: end-of-stream, once per natural end of the
//   current file, after the last sample of that file was handed to the output.
//   It is reported through the callback given to setEndOfStreamCallback(),
//   which runs on the engine's decoder thread (never the caller's) and must
//   only post the notice elsewhere: it must not call back into the engine nor
//   wait for the owner thread. No engine lock that an owner call could wait
//   on is held while it runs, and once setEndOfStreamCallback() returns the
//   previous callback is neither running nor called again. The notice carries
//   the generation it belongs to; a receiver on the UI thread checks it with
//   isCurrentGeneration() before acting, so a notice that was overtaken by
//   setFileName(), Stop() or a seek is dropped.
//
// THREADS
//   All public members are called from one thread (the owner's, normally the
//   UI thread). Internally one decoder thread fills a bounded ring buffer and
//   SDL's callback thread drains it; the owner never waits on either beyond
//   opening a file. Several Engine instances may live at once, each with its
//   own output stream. The output device opens on the first Play() and stays
//   open (paused while not playing) until the engine is destroyed; when it is
//   removed, the engine reopens the default device as soon as there is one.
//
// STATES
//   setFileName() leaves the file stopped at 0. After a natural end,
//   PlayStatus() is 0 and Position() is Length(); Play() then starts the file
//   again from 0. Length() starts as the container's figure less the samples
//   the decoder trims, and becomes exact once the decoder reaches the end
//   (a file cut short may end long before its header says).
//
// GENERATIONS
//   Every setFileName(), Stop() and seek starts a new generation. Audio,
//   positions and end-of-stream notices of an older generation are dropped.
//
// ERRORS
//   Nothing throws across this interface. A file that cannot be opened leaves
//   the engine empty (Length() 0, PlayStatus() 0) and setFileName() returns
//   false; LastError() gives the reason as text. An output device that cannot
//   be opened makes Play() a no-op apart from LastError(); the next Play()
//   tries again.
//
// PATHS
//   UTF-8 encoded file system paths.
//
// UNITS
//   Position and length in seconds. Volume in hundredths of a decibel, 0 the
//   loudest: gain = 10^(Volume / 2000); -2500 and below is silence.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tarn::engine {

enum PlayState : int { Stopped = 0, Paused = 1, Playing = 2 };

// The sample format the output device granted (all zero before the first
// successful Play()). Samples are interleaved, in the machine's byte order.
struct OutputSpec {
    int rate = 0;           // frames per second
    int channels = 0;       // samples per frame
    bool isFloat = false;   // 32-bit float when true, signed/unsigned integer otherwise
    int bytesPerSample = 0; // 1, 2 or 4
};

class Engine {
public:
    using EndOfStreamCallback = std::function<void(std::uint64_t generation)>;

    Engine();
    ~Engine();
    Engine(const Engine &) = delete;
    Engine &operator=(const Engine &) = delete;

    // Closes the current file and opens `path`, leaving it stopped at 0 with
    // Length() known. Returns false (engine empty, LastError() set) when the
    // file cannot be played.
    bool setFileName(const std::string &path);
    // The path last set, whether or not it opened.
    const std::string &FileName() const;

    void Play();  // start, or resume after Pause(); opens the device the first time
    void Pause(); // hold, keeping the position
    void Stop();  // halt and rewind to 0

    double Position() const;          // seconds of the sample being heard now
    void setPosition(double seconds); // seek (clamped to 0..Length())
    double Length() const;            // seconds; 0 with no file

    void setVolume(std::int32_t hundredthsOfDb);
    std::int32_t Volume() const;

    int PlayStatus() const; // PlayState

    void setFlag1017(bool on); // stored; no audible effect
    bool flag1017() const;

    // Reason the last setFileName() or Play() failed; empty after a success.
    std::string LastError() const;

    void setEndOfStreamCallback(EndOfStreamCallback callback);
    bool isCurrentGeneration(std::uint64_t generation) const;

    // For checks and benchmarks.
    OutputSpec outputSpec() const;
    // Nanoseconds from the last Play() to the output callback that first
    // handed a sample of the current generation to the device; -1 until then.
    std::int64_t firstSampleLatencyNs() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Sets up the process's sound output before any thread starts (it writes an
// environment variable). Under PulseAudio, SDL asks for a stream buffer of one
// 21 ms period, and the client then wakes about 300 times a second; this asks
// the PulseAudio client library for 120 ms instead, unless the user chose a
// value in PULSE_LATENCY_MSEC. The engine still hands over 21 ms at a time, so
// Play() and the step from one file to the next stay as quick; only what is
// already handed over (pause, volume) reaches the ear up to 120 ms later.
void configureProcessAudio();

} // namespace tarn::engine
