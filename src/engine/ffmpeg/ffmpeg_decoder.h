// Any audio file FFmpeg reads: demuxer, decoder and resampler, giving what
// Decoder promises (decoder.h) at any rate and channel count. MP3 encoder
// delay and padding are trimmed by FFmpeg.
//
// THREADS
//   As every Decoder (decoder.h).
#pragma once

#include "engine/decoder.h"
#include "engine/ffmpeg/demuxer.h"
#include "engine/ffmpeg/ffmpeg_ptr.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarn::engine {

class FfmpegDecoder final : public Decoder {
public:
    // As Decoder::open().
    static std::unique_ptr<Decoder> open(const std::string &path, AudioFormat format,
                                         CancelToken cancel, std::string &error);
    ~FfmpegDecoder() override;

    bool decode(std::vector<float> &out, std::int64_t &firstFrame) override;
    // Seeks to the key point at or before `seconds`, then drops what precedes it.
    void seek(double seconds) override;

private:
    explicit FfmpegDecoder(AudioFormat out) : Decoder(out) {}
    bool receiveFrame(); // next decoded frame into frame_; false at the end
    void resample(const AVFrame &frame, int skip, std::vector<float> &out);
    bool configureResampler(const AVFrame &frame);
    double frameTime(const AVFrame &frame) const;

    void noteReadEnd(int rc); // the demuxer stopped with `rc`: end or break?

    std::string path_;
    std::uintmax_t openSize_ = 0; // the file's size when it was opened
    CancelToken cancel_;
    FormatContextPtr format_;
    CodecContextPtr codec_;
    PacketPtr packet_;
    FramePtr frame_;
    ResamplerPtr resampler_;
    int stream_ = -1;
    AVRational timeBase_{1, 1};
    std::int64_t origin_ = AV_NOPTS_VALUE; // pts of the first audible sample
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
