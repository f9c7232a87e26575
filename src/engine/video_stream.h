// The picture side of one open file: a thread of its own that decodes the
// file's picture stream, waits for each picture's time on the clock, and
// hands it, converted, to the engine's video sink. Pictures whose time has
// passed are dropped (and counted), never queued up.
//
// THREADS
//   owner    writes VideoShared::control (the segment, the state and the
//            clock of a file without sound) and wakes the thread; sets the
//            sink.
//   decoder  the engine's decoder thread makes and destroys VideoStreams
//            (one per open file that has a picture and a sink to show it).
//   video    the stream's own thread: everything else here.
//
// LOCKS
//   VideoShared::mutex      control and the streams' quit flags.
//   VideoShared::sinkMutex  the sink pointer; held by the video thread while
//                           it calls the sink, by the owner while replacing it.
//   Both are taken with no other engine lock held, and no engine lock is
//   taken under them. The clock the stream reads (audioClock) takes the
//   engine's device mutex, with neither of these held.
//
// CLOCK
//   A file with sound: the time of the sample being heard (the engine's
//   position). A file without: a monotonic clock that the owner starts,
//   stops and sets through control. A new segment (open, Stop, seek) shows
//   the picture at its start at once, playing or not, so a stopped or
//   sought file shows where it stands.
#pragma once

#include "engine/codec_module.h"
#include "engine/video_sink.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace tarn::engine {

// What the owner tells the video thread.
struct VideoControl {
    std::uint64_t serial = 0;  // changes with every update
    std::uint64_t segment = 0; // the owner's segment: a new one shows the picture at `target`
    double target = 0;
    bool running = false;     // playing: the clock moves
    double clockSeconds = 0;  // the monotonic clock's reading at clockNs
    std::int64_t clockNs = 0; // steady clock, nanoseconds
};

inline std::int64_t steadyNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The monotonic clock of a file without sound, at steady time `nowNs`.
inline double monotonicSeconds(const VideoControl &c, std::int64_t nowNs)
{
    return c.running ? c.clockSeconds + double(nowNs - c.clockNs) * 1e-9 : c.clockSeconds;
}

// Shared by the owner and an engine's video streams; lives as long as the engine.
struct VideoShared {
    std::mutex mutex;
    std::condition_variable wake;
    VideoControl control;

    std::mutex sinkMutex;
    VideoSink *sink = nullptr;

    std::atomic<bool> wanted{false};       // a sink is set: pictures are decoded
    std::atomic<std::uint64_t> dropped{0}; // pictures dropped for being late
};

class VideoStream {
public:
    // The time of the sample of `segment` being heard, or `fallback` before
    // any was; runs on the video thread.
    using AudioClock = std::function<double(std::uint64_t segment, double fallback)>;
    // A file without sound played its last picture to its end at `seconds`.
    using EndReport = std::function<void(std::uint64_t segment, double seconds)>;

    // Starts the thread. With no audioClock the stream runs on the
    // monotonic clock and reports its end through `ended`.
    VideoStream(std::unique_ptr<PictureSource> pictures, VideoShared &shared, AudioClock audioClock,
                EndReport ended);
    ~VideoStream(); // stops the thread and waits for it
    VideoStream(const VideoStream &) = delete;
    VideoStream &operator=(const VideoStream &) = delete;

    double length() const { return pictures_->length(); }

private:
    void run();
    double clock(const VideoControl &c) const;
    void show(double time);

    std::unique_ptr<PictureSource> pictures_; // video thread
    VideoShared &shared_;
    AudioClock audioClock_;
    EndReport ended_;
    bool quit_ = false;  // under shared_.mutex
    std::thread thread_; // last: started once everything above exists
};

} // namespace tarn::engine
