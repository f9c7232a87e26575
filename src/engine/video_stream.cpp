#include "engine/video_stream.h"

#include <algorithm>
#include <pthread.h>

namespace tarn::engine {

namespace {
// Longest sleep while playing before the clock is read again: an audio
// clock may stall (an output that fell silent) or jump.
constexpr double kLongestWait = 0.5;
} // namespace

VideoStream::VideoStream(std::unique_ptr<PictureSource> pictures, VideoShared &shared,
                         AudioClock audioClock, EndReport ended)
    : pictures_(std::move(pictures)), shared_(shared), audioClock_(std::move(audioClock)),
      ended_(std::move(ended)), thread_(&VideoStream::run, this)
{
}

VideoStream::~VideoStream()
{
    {
        std::lock_guard lock(shared_.mutex);
        quit_ = true;
    }
    shared_.wake.notify_all();
    thread_.join();
}

double VideoStream::clock(const VideoControl &c) const
{
    return audioClock_ ? audioClock_(c.segment, c.target) : monotonicSeconds(c, steadyNowNs());
}

void VideoStream::show(double time)
{
    std::lock_guard lock(shared_.sinkMutex);
    if (!shared_.sink)
        return;
    const VideoFormat format =
        shared_.sink->videoFormat(pictures_->displayWidth(), pictures_->displayHeight());
    VideoFrame picture;
    if (pictures_->convert(format, picture)) {
        picture.time = time;
        shared_.sink->present(picture);
    }
}

void VideoStream::run()
{
    pthread_setname_np(pthread_self(), "tarn-video"); // told apart in top and in the tests
    std::uint64_t segment = 0;
    bool have = false;     // a decoded picture waits for its time
    bool drained = false;  // the stream has no more pictures
    bool first = false;    // the next picture is the first of its segment
    bool reported = false; // the end of a file without sound was reported
    double time = 0, end = 0;
    std::unique_lock lock(shared_.mutex);
    for (;;) {
        if (quit_)
            return;
        const VideoControl c = shared_.control;
        lock.unlock();
        if (c.segment != segment) {
            segment = c.segment;
            pictures_->seek(c.target);
            have = drained = reported = false;
            first = true;
            end = c.target;
        }
        if (!have && !drained) {
            have = pictures_->next(time);
            drained = !have;
            if (have)
                end = std::max(end, time + pictures_->frameDuration());
        }
        double wait = -1; // seconds to sleep unless the owner changes something; < 0: until then
        if (have && first) {
            show(time); // where a new segment starts, playing or not
            have = first = false;
            wait = 0;
        } else if (have) {
            const double now = clock(c);
            if (time + pictures_->frameDuration() <= now) {
                shared_.dropped.fetch_add(1, std::memory_order_relaxed); // its time has passed
                have = false;
                wait = 0;
            } else if (time <= now) {
                show(time);
                have = false;
                wait = 0;
            } else if (c.running) {
                wait = time - now;
            }
        } else if (drained && !audioClock_ && !reported) {
            // Without sound, the file ends when its last picture's time is over.
            const double now = clock(c);
            if (now >= end) {
                ended_(segment, end);
                reported = true;
            } else if (c.running) {
                wait = end - now;
            }
        }
        lock.lock();
        const auto changed = [&] { return quit_ || shared_.control.serial != c.serial; };
        if (wait < 0)
            shared_.wake.wait(lock, changed);
        else if (wait > 0)
            shared_.wake.wait_for(
                lock, std::chrono::duration<double>(std::clamp(wait, 0.001, kLongestWait)),
                changed);
    }
}

} // namespace tarn::engine
