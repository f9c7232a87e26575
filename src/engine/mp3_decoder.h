// MPEG audio files (MP3, and layers 1 and 2), with or without ID3 tags, at
// the output's rate, decoded by libmpg123 to float: gapless (the encoder's
// delay and padding that the LAME/Xing header names are trimmed), seeking to
// the sample, damaged frames skipped.
//
// THREADS
//   As every Decoder (decoder.h).
#pragma once

#include "engine/decoder.h"
#include "engine/mpg123_stream.h"

namespace tarn::engine {

class Mp3Decoder final : public Decoder {
public:
    // Takes `file` (MPEG audio) when it decodes at `format`'s rate (mono or
    // stereo files for a stereo output, mono ones for a mono output);
    // otherwise null with `error` set to why.
    static std::unique_ptr<Mp3Decoder> open(std::unique_ptr<FileReader> file, AudioFormat format,
                                            std::string &error);

    bool decode(std::vector<float> &out, std::int64_t &firstFrame) override;
    void seek(double seconds) override;

private:
    Mp3Decoder(std::unique_ptr<FileReader> file, AudioFormat out)
        : Decoder(out), stream_(std::move(file))
    {
    }
    bool readSome(std::vector<float> &out); // false once the file gave its last frame
    void noteEnd(int rc);                   // the decoder stopped with `rc`: end or break?

    Mpg123Stream stream_;
    Mpg123Ptr handle_;           // after stream_: reads it until it is gone
    std::vector<float> pending_; // decoded at open, handed out first
    std::int64_t nextFrame_ = 0;
    bool ended_ = false;
};

} // namespace tarn::engine
