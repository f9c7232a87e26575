// Tarn Player playback engine: one file at a time, decoded by the engine's own
// WAV reader, libmpg123 or (loaded when a file needs it) FFmpeg, see
// decoder.h; its sound played through PulseAudio (or SDL2 where there is no
// PulseAudio server) on the system's default output, its pictures (when a
// video sink is set) handed to that sink.
//
// EVENT MODEL
//   The engine raises three events through the callback given to
//   setEventCallback(), which runs on an engine thread (never wait there, never
//   call back into the engine: only post the event to the owner's thread):
//   - Opened: the open started by setFileName() finished; openState() and
//     LastError() tell how. Carries that open's ticket.
//   - PlayFailed: Play() found no sound output; LastError() says why and
//     PlayStatus() is Stopped. Carries the current file's ticket.
//   - EndOfStream: the last sample of the current file was heard. Carries the
//     segment it ends.
//   - VolumeChanged: something other than setVolume() changed the volume (the
//     desktop's mixer moved the player's stream); Volume() tells the new one.
//     Belongs to no file: isCurrent() holds for it.
//   On the owner's thread, isCurrent(event) tells whether the event still
//   belongs to the current file: an open replaced by a later setFileName(), or
//   an end overtaken by setFileName(), Stop() or a seek, is to be dropped.
//   Once setEventCallback() returns, the previous callback is neither running
//   nor called again.
//
// THREADS
//   All public members are called from one thread (the owner's, normally the
//   UI thread) and return at once: files are opened, read and closed on the
//   engine's decoder thread, which fills a bounded ring buffer that the
//   output's own thread drains. Several Engine instances may live at once,
//   each with its own output stream. The decoder thread opens the output
//   with the first file (to decode straight to its format) and at a Play()
//   that finds none; it is paused when nothing plays and closed after a few
//   seconds without sound. A removed device is reopened as soon as there is
//   one.
//
// GAPLESS ADVANCE
//   setNextFileName() names the file that will follow. The decoder opens it
//   ahead and writes it into the ring right after the current file, so the
//   output runs from one into the other without a break. EndOfStream still
//   comes for the current file; setFileName() with the same path then takes
//   the file that already plays over, without a restart, and Play() goes on.
//   Any other setFileName() switches at once, as always.
//
// STATES
//   setFileName() leaves the file stopped at 0 (Play() before the open
//   finished plays as soon as it did). After a natural end, PlayStatus() is Stopped
//   and Position() is Length(); a seek then moves the position without
//   playing, and Play() starts from there (from 0 after the end itself).
//   Length() is 0 until the open finished, then the container's figure less
//   the samples the decoder trims, exact once the decoder reached the end.
//
// SEGMENTS
//   Every setFileName(), Stop(), seek and resume after a flushed pause starts
//   a new segment; so does the step into the next file. Audio, positions and
//   end-of-stream notices of an older segment are dropped.
//
// ERRORS
//   Nothing throws across this interface. A file that cannot be played leaves
//   the engine empty (Length() 0, PlayStatus() Stopped, openState() Failed) and
//   LastError() gives the reason in words for people. A file that breaks off
//   while it plays (a read error, or cut short on disk) ends there with
//   LastError() saying so. An output that cannot be opened makes Play() a
//   no-op apart from LastError(); the next Play() tries again.
//
// VIDEO
//   With a sink set (setVideoSink), a file that has a moving picture is also
//   decoded on a video thread of its own, converted to the size and pixel
//   format the sink asks for, and handed to it at each picture's time:
//   the position of the sound being heard, or for a file without sound a
//   monotonic clock (Play, Pause, Stop and seeks drive it as they drive the
//   sound, and EndOfStream comes when its last picture's time is over).
//   Pause holds the picture; Stop and a seek show the picture where the file
//   now stands. Late pictures are dropped (droppedVideoFrames()). Without a
//   sink, or for a file without a picture, no video thread runs and nothing
//   is allocated for video; a file without sound then cannot be played.
//
// PATHS
//   UTF-8 encoded file system paths.
//
// UNITS
//   Position and length in seconds. Volume in hundredths of a decibel, 0 the
//   loudest: gain = 10^(Volume / 2000); -2500 and below is silence.
#pragma once

#include "engine/output_options.h"
#include "engine/play_state.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tarn::engine {

class VideoSink;

// The sample format the output device granted (all zero before an
// output first opened). Samples are interleaved, in the machine's byte order.
struct OutputSpec {
    int rate = 0;           // frames per second
    int channels = 0;       // samples per frame
    bool isFloat = false;   // 32-bit float when true, signed/unsigned integer otherwise
    int bytesPerSample = 0; // 1, 2 or 4
};

struct Event {
    enum class Kind { Opened, PlayFailed, EndOfStream, VolumeChanged };
    Kind kind = Kind::Opened;
    std::uint64_t id = 0; // Opened, PlayFailed: the file's ticket; EndOfStream: the segment
};

// Tuning for tests and benchmarks; the defaults are what the player uses.
struct EngineOptions {
    int ringBlocks = 192; // of 1024 frames: about 4 s at 48 kHz
    // Load the sound output's library as the engine starts, on its own thread,
    // so that the first Play does not wait for it. A program whose window is
    // still being built turns this off and calls preloadOutput() once the
    // window is up: both loading libraries at once makes the window wait.
    bool preloadOutput = true;
    // Which output, and the PulseAudio buffer (engine_environment.h reads
    // the user's choice from the environment).
    OutputOptions output = {};
};

class Engine {
public:
    enum class OpenState { None, Opening, Open, Failed };
    using EventCallback = std::function<void(const Event &)>;

    explicit Engine(EngineOptions options = {});
    ~Engine();
    Engine(const Engine &) = delete;
    Engine &operator=(const Engine &) = delete;

    // Starts opening `path` and returns at once; the Opened event follows.
    void setFileName(const std::string &path);
    // The path last set, whether or not it opened.
    const std::string &FileName() const;
    OpenState openState() const;

    // The file to follow the current one at its natural end; empty for none.
    void setNextFileName(const std::string &path);

    // Loads the sound output's library now, on the engine's thread, and
    // returns at once. Without it the first Play loads it (and waits).
    void preloadOutput();

    void Play();  // start, or resume after Pause(); PlayFailed follows when there is no output
    void Pause(); // hold, keeping the position
    void Stop();  // halt and rewind to 0

    double Position() const;          // seconds of the sample being heard now
    void setPosition(double seconds); // seek (clamped to 0..Length())
    double Length() const;            // seconds; 0 with no file

    // The volume is the output's own where it has one (the PulseAudio
    // stream's, which the desktop's mixer shows and may change: see the
    // VolumeChanged event); each output opened starts at the volume last set
    // by either. Volume() reads a mixer's setting beyond -2500 .. 0 as that
    // end, while the output keeps the mixer's own.
    void setVolume(std::int32_t hundredthsOfDb);
    std::int32_t Volume() const;

    PlayState PlayStatus() const;

    void setFlag1017(bool on); // stored; no audible effect
    bool flag1017() const;

    // Why the file cannot be played, broke off, or Play() found no output;
    // empty otherwise.
    std::string LastError() const;

    void setEventCallback(EventCallback callback);
    bool isCurrent(const Event &event) const;

    // Where the pictures of files opened from now on go; null for nowhere.
    // Once it returns, the previous sink is neither running nor called
    // again. The sink must outlive its use.
    void setVideoSink(VideoSink *sink);
    // Pictures dropped because their time had passed, since the engine was made.
    std::uint64_t droppedVideoFrames() const;

    // For checks and benchmarks.
    OutputSpec outputSpec() const;
    // Nanoseconds from the last Play() to the output callback that first
    // handed a sample of the current segment to the output; -1 until then.
    std::int64_t firstSampleLatencyNs() const;
    bool outputOpen() const; // an output is open (playing or paused)

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace tarn::engine
