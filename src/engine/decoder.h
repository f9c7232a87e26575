// One open audio file: demuxer, decoder and resampler, giving interleaved
// 32-bit float frames at the output's rate and channel count, with a timeline
// in output frames that starts at 0 with the first audible sample (MP3
// encoder delay and padding already trimmed by FFmpeg).
//
// THREADS
//   A Decoder is used by one thread at a time (the engine's decoder thread)
//   and holds no lock. Its reads can be cancelled from any thread through the
//   CancelToken given at open: a read that hangs (a dead network mount)
//   returns as soon as the token says so.
#pragma once

#include "engine/demuxer.h"
#include "engine/ffmpeg_ptr.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarn::engine {

struct AudioFormat {
    int rate = 48000;
    int channels = 2;
    bool operator==(const AudioFormat &) const = default;
};

class Decoder {
public:
    // Opens `path` and decodes its first audio frame, so a file that opens but
    // holds nothing playable fails here. On failure returns null and sets
    // `error` to the reason in words for people.
    static std::unique_ptr<Decoder> open(const std::string &path, AudioFormat format,
                                         CancelToken cancel, std::string &error);
    ~Decoder();
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;

    // Container's length less the samples the decoder will trim at the start;
    // the exact length is known only when decode() reaches the end.
    double estimatedLength() const { return estimatedLength_; }

    AudioFormat outputFormat() const { return out_; }

    // The file also holds a moving picture (a cover image does not count).
    bool hasVideo() const { return hasVideo_; }

    // Appends at least one frame to `out` and sets `firstFrame` to the
    // timeline index of the first one; returns false, having appended the
    // resampler's tail if any, when the file has no more audio. Damaged data is
    // skipped; a read error ends the file early, and breakReason() says so.
    bool decode(std::vector<float> &out, std::int64_t &firstFrame);

    // Why the file ended before its real end (a read error, or the file was
    // cut short on disk while it played); empty after a natural end.
    const std::string &breakReason() const { return breakReason_; }

    // Makes the next decode() start at `seconds` (to the sample): seeks to the
    // key point at or before it, then drops what precedes it.
    void seek(double seconds);

private:
    Decoder() = default;
    bool receiveFrame(); // next decoded frame into frame_; false at the end
    void resample(const AVFrame &frame, int skip, std::vector<float> &out);
    bool configureResampler(const AVFrame &frame);
    double frameTime(const AVFrame &frame) const;

    void noteReadEnd(int rc); // the demuxer stopped with `rc`: end or break?

    std::string path_;
    std::uintmax_t openSize_ = 0; // the file's size when it was opened
    CancelToken cancel_;
    std::string breakReason_;
    FormatContextPtr format_;
    CodecContextPtr codec_;
    PacketPtr packet_;
    FramePtr frame_;
    ResamplerPtr resampler_;
    int stream_ = -1;
    AVRational timeBase_{1, 1};
    std::int64_t origin_ = AV_NOPTS_VALUE; // pts of the first audible sample
    double estimatedLength_ = 0;
    bool hasVideo_ = false;
    AudioFormat out_;
    // The input format resampler_ was made for.
    int inRate_ = 0, inFormat_ = -1;
    AVChannelLayout inLayout_{};
    bool framePending_ = false; // frame_ holds a decoded frame not yet handed out
    bool draining_ = false;     // the demuxer is done; the decoder gives what it holds
    double seekTarget_ = -1;    // >= 0: drop samples before this time
    double droppedUntil_ = -1;  // end of the last frame dropped before seekTarget_
    std::int64_t nextFrame_ = 0;
    std::vector<const uint8_t *> skipped_; // planes of a frame that starts part-way
};

} // namespace tarn::engine
