// PCM WAV files (RIFF/WAVE with integer samples of 8 to 32 bits or IEEE
// floats of 32 or 64, WAVE_FORMAT_EXTENSIBLE included) at the output's rate,
// mono or with the output's channels, read with no library: the samples only
// need converting to float. Every header field is checked before it is used:
// a file that promises more data than it holds plays what it holds.
//
// THREADS
//   As every Decoder (decoder.h).
#pragma once

#include "engine/decoder.h"
#include "engine/media_file.h"

#include <memory>

namespace tarn::engine {

class WavDecoder final : public Decoder {
public:
    // Takes `file` (a RIFF/WAVE file) when it holds PCM sound at `format`'s
    // rate, mono or with `format`'s channels (one or two); otherwise null with
    // `error` set to why.
    static std::unique_ptr<WavDecoder> open(std::unique_ptr<FileReader> file, AudioFormat format,
                                            std::string &error);

    bool decode(std::vector<float> &out, std::int64_t &firstFrame) override;
    void seek(double seconds) override;

private:
    enum class Sample { U8, S16, S24, S32, F32, F64 };
    struct Layout {
        Sample sample = Sample::S16;
        int channels = 0;
        int rate = 0;
        int blockAlign = 0; // bytes of one frame
    };
    WavDecoder(std::unique_ptr<FileReader> file, AudioFormat out, const Layout &layout);
    static bool parseFormat(const unsigned char *fmt, std::size_t size, Layout &layout,
                            std::string &error);
    void convert(const unsigned char *from, std::size_t frames, float *to) const;

    std::unique_ptr<FileReader> file_;
    Layout layout_;
    std::int64_t dataOffset_ = 0;
    std::int64_t frames_ = 0;   // whole frames of the data chunk that the file holds
    std::int64_t position_ = 0; // the next frame to read
    std::vector<unsigned char> raw_;
};

} // namespace tarn::engine
