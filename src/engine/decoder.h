// One open audio file, giving interleaved 32-bit float frames at the output's
// rate and channel count, with a timeline in output frames that starts at 0
// with the first audible sample (MP3 encoder delay and padding trimmed).
//
// Decoder::open() picks the decoder by the file's content: PCM WAV and MPEG
// audio at the output's rate are read by small decoders of the engine's own
// (wav_decoder.h, mp3_decoder.h); everything else, and whatever those cannot
// take, goes to the FFmpeg decoder of the codec module (codec_module.h),
// which is loaded the first time a file needs it and resamples.
//
// THREADS
//   A Decoder is used by one thread at a time (the engine's decoder thread)
//   and holds no lock. Its reads can be cancelled from any thread through the
//   CancelToken given at open: a read that hangs (a dead network mount)
//   returns as soon as the token says so.
#pragma once

#include "engine/cancel_token.h"

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
    // Opens `path` (a regular, non-empty file: a named pipe or a device would
    // block for as long as nothing writes to it) and decodes its first audio,
    // so a file that opens but holds nothing playable fails here. On failure
    // returns null and sets `error` to the reason in words for people.
    static std::unique_ptr<Decoder> open(const std::string &path, AudioFormat format,
                                         CancelToken cancel, std::string &error);
    virtual ~Decoder() = default;
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;

    // The length the file announces, less the samples the decoder trims at
    // the start; the exact length is known only when decode() reaches the end.
    double estimatedLength() const { return estimatedLength_; }

    AudioFormat outputFormat() const { return out_; }

    // The file also holds a moving picture (a cover image does not count).
    bool hasVideo() const { return hasVideo_; }

    // Appends at least one frame to `out` and sets `firstFrame` to the
    // timeline index of the first one; returns false, having appended the
    // decoder's tail if any, when the file has no more audio. Damaged data is
    // skipped; a read error ends the file early, and breakReason() says so.
    virtual bool decode(std::vector<float> &out, std::int64_t &firstFrame) = 0;

    // Why the file ended before its real end (a read error, or the file was
    // cut short on disk while it played); empty after a natural end.
    const std::string &breakReason() const { return breakReason_; }

    // Makes the next decode() start at `seconds`, to the sample.
    virtual void seek(double seconds) = 0;

protected:
    explicit Decoder(AudioFormat out) : out_(out) {}

    AudioFormat out_;
    double estimatedLength_ = 0;
    bool hasVideo_ = false;
    std::string breakReason_;
};

} // namespace tarn::engine
