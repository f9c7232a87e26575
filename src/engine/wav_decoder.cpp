#include "engine/wav_decoder.h"

#include "engine/riff_chunks.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tarn::engine {

namespace {

// Frames read and converted at a time.
constexpr std::int64_t kFramesPerRead = 4096;
// A data chunk whose size is unknown (a recorder that stopped before it wrote
// it) runs to the end of the file.
constexpr std::uint32_t kUnknownSize = 0xffffffffu;

constexpr int kFormatPcm = 1, kFormatFloat = 3, kFormatExtensible = 0xfffe;
// The fixed tail of the KSDATAFORMAT_SUBTYPE_PCM and _IEEE_FLOAT GUIDs.
constexpr unsigned char kSubtypeTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                            0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71};

std::uint16_t u16(const unsigned char *p)
{
    return std::uint16_t(p[0] | p[1] << 8);
}
std::uint32_t u32(const unsigned char *p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

float finite(float v)
{
    return std::isfinite(v) ? v : 0.0f;
}

} // namespace

WavDecoder::WavDecoder(std::unique_ptr<FileReader> file, AudioFormat out, const Layout &layout)
    : Decoder(out), file_(std::move(file)), layout_(layout)
{
}

bool WavDecoder::parseFormat(const unsigned char *fmt, std::size_t size, Layout &layout,
                             std::string &error)
{
    if (size < 16) {
        error = "its format header is cut short";
        return false;
    }
    int tag = u16(fmt);
    layout.channels = u16(fmt + 2);
    const std::uint32_t rate = u32(fmt + 4);
    layout.blockAlign = u16(fmt + 12);
    const int bits = u16(fmt + 14);
    if (tag == kFormatExtensible) {
        if (size < 40 || u16(fmt + 16) < 22 || std::memcmp(fmt + 26, kSubtypeTail, 14) != 0) {
            error = "its sound is not plain PCM";
            return false;
        }
        tag = u16(fmt + 24); // the subformat
    }
    if (layout.channels == 0 || rate == 0 || rate > 1'000'000) {
        error = "its format header is damaged";
        return false;
    }
    layout.rate = int(rate);
    if (tag == kFormatPcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32))
        layout.sample = bits == 8    ? Sample::U8
                        : bits == 16 ? Sample::S16
                        : bits == 24 ? Sample::S24
                                     : Sample::S32;
    else if (tag == kFormatFloat && (bits == 32 || bits == 64))
        layout.sample = bits == 32 ? Sample::F32 : Sample::F64;
    else {
        error = "its sound is not plain PCM";
        return false;
    }
    if (layout.blockAlign != layout.channels * bits / 8) {
        error = "its format header is damaged";
        return false;
    }
    return true;
}

std::unique_ptr<WavDecoder> WavDecoder::open(std::unique_ptr<FileReader> file, AudioFormat format,
                                             std::string &error)
{
    const std::int64_t fileSize = file->size();
    unsigned char head[12];
    if (file->read(head, sizeof head, 0) != 12 || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0) {
        error = "not a WAV file";
        return nullptr;
    }
    // The format chunk must come before the data chunk.
    Layout layout;
    bool haveFormat = false;
    std::int64_t dataOffset = -1, dataBytes = 0;
    walkRiffChunks(*file, 12, fileSize, [&](const RiffChunk &chunk) {
        if (chunk.is("fmt ") && !haveFormat) {
            unsigned char fmt[40] = {};
            const std::size_t want = std::min<std::size_t>(chunk.size, sizeof fmt);
            if (file->read(fmt, want, chunk.body) != std::int64_t(want)) {
                error = "its format header is cut short";
                return false;
            }
            haveFormat = parseFormat(fmt, chunk.size, layout, error);
            return haveFormat;
        }
        if (!chunk.is("data"))
            return true;
        if (haveFormat) {
            const std::int64_t held = fileSize - chunk.body;
            dataOffset = chunk.body;
            dataBytes = chunk.size == 0 || chunk.size == kUnknownSize
                            ? held
                            : std::min<std::int64_t>(chunk.size, held);
        }
        return false;
    });
    if (dataOffset >= 0) {
        if (layout.rate != format.rate || format.channels > 2 ||
            !(layout.channels == format.channels ||
              (layout.channels == 1 && format.channels == 2))) {
            error = "its rate or channels differ from the output's";
            return nullptr;
        }
        std::unique_ptr<WavDecoder> d(new WavDecoder(std::move(file), format, layout));
        d->dataOffset_ = dataOffset;
        d->frames_ = std::max<std::int64_t>(0, dataBytes) / layout.blockAlign;
        if (d->frames_ == 0) {
            error = "no sound could be decoded from the file";
            return nullptr;
        }
        d->estimatedLength_ = double(d->frames_) / layout.rate;
        return d;
    }
    if (!error.empty())
        return nullptr;
    if (file->cancelled())
        error = "opening the file was cancelled";
    else
        error = haveFormat ? "the file holds no sound data" : "its format header is missing";
    return nullptr;
}

void WavDecoder::convert(const unsigned char *from, std::size_t frames, float *to) const
{
    const std::size_t n = frames * std::size_t(layout_.channels);
    switch (layout_.sample) {
    case Sample::U8:
        for (std::size_t i = 0; i < n; ++i)
            to[i] = float(int(from[i]) - 0x80) * (1.0f / 128);
        break;
    case Sample::S16:
        for (std::size_t i = 0; i < n; ++i)
            to[i] = float(std::int16_t(u16(from + 2 * i))) * (1.0f / 32768);
        break;
    case Sample::S24:
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned char *p = from + 3 * i;
            const std::int32_t v = std::int32_t(
                std::uint32_t(p[0]) << 8 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 24);
            to[i] = float(v) * (1.0f / 2147483648.0f);
        }
        break;
    case Sample::S32:
        for (std::size_t i = 0; i < n; ++i)
            to[i] = float(std::int32_t(u32(from + 4 * i))) * (1.0f / 2147483648.0f);
        break;
    case Sample::F32:
        for (std::size_t i = 0; i < n; ++i) {
            float v;
            std::memcpy(&v, from + 4 * i, 4);
            to[i] = finite(v);
        }
        break;
    case Sample::F64:
        for (std::size_t i = 0; i < n; ++i) {
            double v;
            std::memcpy(&v, from + 8 * i, 8);
            to[i] = finite(float(v));
        }
        break;
    }
}

bool WavDecoder::decode(std::vector<float> &out, std::int64_t &firstFrame)
{
    firstFrame = position_;
    const std::int64_t want = std::min(kFramesPerRead, frames_ - position_);
    if (want <= 0)
        return false;
    raw_.resize(std::size_t(want * layout_.blockAlign));
    const std::int64_t got =
        file_->read(raw_.data(), raw_.size(), dataOffset_ + position_ * layout_.blockAlign);
    if (got < 0) {
        if (!file_->cancelled()) // cancelled: nobody listens any more
            breakReason_ = "the file could not be read to its end (" + file_->lastError() + ")";
        frames_ = position_;
        return false;
    }
    const std::int64_t frames = got / layout_.blockAlign;
    if (frames < want) { // the file shrank since it was opened
        breakReason_ = cutShortReason(file_->path(), std::uintmax_t(file_->size()));
        frames_ = position_ + frames;
    }
    if (frames == 0)
        return false;
    const std::size_t at = out.size();
    out.resize(at + std::size_t(frames) * std::size_t(out_.channels));
    float *to = out.data() + at;
    if (layout_.channels == out_.channels) {
        convert(raw_.data(), std::size_t(frames), to);
    } else { // mono on both speakers at full level, as the FFmpeg decoder plays it
        convert(raw_.data(), std::size_t(frames), to + frames);
        for (std::int64_t i = 0; i < frames; ++i)
            to[2 * i] = to[2 * i + 1] = to[frames + i];
    }
    position_ += frames;
    return true;
}

void WavDecoder::seek(double seconds)
{
    const double frame = std::round(std::max(0.0, seconds) * layout_.rate);
    position_ = std::min<std::int64_t>(frames_, std::int64_t(std::min(frame, 9e18)));
    breakReason_.clear();
}

} // namespace tarn::engine
