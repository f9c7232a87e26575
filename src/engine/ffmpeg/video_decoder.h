// One open video file's picture stream: demuxer and decoder, giving decoded
// pictures with their presentation times in seconds from the stream's start.
//
// THREADS
//   Used by one thread at a time (the engine's video thread, opened on its
//   decoder thread) and holds no lock. Reads are cancelled through the
//   CancelToken given at open.
#pragma once

#include "engine/ffmpeg/demuxer.h"
#include "engine/ffmpeg/ffmpeg_ptr.h"

#include <memory>
#include <string>

namespace tarn::engine {

class VideoDecoder {
public:
    // Opens the first moving-picture stream of `path` and decodes its first
    // picture, so a file that opens but shows nothing fails here. On failure
    // returns null with `error` set to the reason in words for people.
    static std::unique_ptr<VideoDecoder> open(const std::string &path, CancelToken cancel,
                                              std::string &error);
    VideoDecoder(const VideoDecoder &) = delete;
    VideoDecoder &operator=(const VideoDecoder &) = delete;

    // The next picture into frame(), and its time; false at the end of the
    // stream (or when a read failed or was cancelled). After seek(t) the
    // first picture is the one showing at t.
    bool next(double &time);
    const AVFrame &frame() const { return *frame_; }

    // The next picture comes from `seconds`: seeks to the key picture at or
    // before it, then skips what ends before it.
    void seek(double seconds);

    double frameDuration() const { return frameDuration_; }
    double length() const { return length_; } // the container's figure
    // The picture's shape with its pixel aspect applied.
    int displayWidth() const { return displayWidth_; }
    int displayHeight() const { return displayHeight_; }

private:
    VideoDecoder() = default;
    bool receive(); // next decoded picture into frame_; false at the end
    double timeOf(const AVFrame &frame) const;

    CancelToken cancel_; // before format_: the context's reads ask it
    FormatContextPtr format_;
    CodecContextPtr codec_;
    PacketPtr packet_;
    FramePtr frame_;
    int stream_ = -1;
    AVRational timeBase_{1, 1};
    std::int64_t origin_ = 0; // the stream's start, in timeBase_
    double frameDuration_ = 0.04;
    double length_ = 0;
    int displayWidth_ = 0, displayHeight_ = 0;
    bool pending_ = false;  // frame_ holds the picture open() decoded
    bool draining_ = false; // the demuxer is done; the decoder gives what it holds
    double skipUntil_ = -1; // after a seek: pictures that end before this are skipped
    double lastTime_ = -1;  // of the last picture handed out, for ones without a time
};

} // namespace tarn::engine
