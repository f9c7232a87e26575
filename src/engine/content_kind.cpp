#include "engine/content_kind.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tarn::engine {

namespace {

// How far past the tags the first MPEG frame may start (some encoders pad).
constexpr std::size_t kSyncWindow = 8192;
// Longest MPEG audio frame (layer 2, 384 kbit/s at 32 kHz, padded), rounded up.
constexpr std::size_t kMaxFrame = 1800;
// ID3v2 tags skipped one after another before giving up.
constexpr int kMaxTags = 4;

// Bytes of the MPEG audio frame whose header starts at `h`, or 0 when those
// four bytes are not a frame header this player's MPEG decoder takes (free
// bit rates among them).
std::size_t mpegFrameBytes(const unsigned char *h, int &rate)
{
    if (h[0] != 0xff || (h[1] & 0xe0) != 0xe0)
        return 0;
    const int version = (h[1] >> 3) & 3; // 0: 2.5, 2: 2, 3: 1
    const int layer = 4 - ((h[1] >> 1) & 3);
    const int bitrateIndex = h[2] >> 4;
    const int rateIndex = (h[2] >> 2) & 3;
    if (version == 1 || layer == 4 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return 0;
    static constexpr int kbps[5][14] = {
        {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448}, // 1, layer 1
        {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},    // 1, layer 2
        {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},     // 1, layer 3
        {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},    // 2, layer 1
        {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},         // 2, layers 2, 3
    };
    static constexpr int rates[3] = {44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    const int table = mpeg1 ? layer - 1 : (layer == 1 ? 3 : 4);
    const int bitrate = kbps[table][bitrateIndex - 1] * 1000;
    rate = rates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const int padding = (h[2] >> 1) & 1;
    if (layer == 1)
        return std::size_t((12 * bitrate / rate + padding) * 4);
    const int perSlot = (layer == 3 && !mpeg1) ? 72 : 144;
    return std::size_t(perSlot * bitrate / rate + padding);
}

// Two frame headers in a row (or one frame that ends the file) with the same
// version, layer and rate: MPEG audio, not a chance pair of bytes.
bool mpegAt(const std::vector<unsigned char> &buf, std::size_t at, bool endsFile)
{
    int rate = 0, nextRate = 0;
    const std::size_t bytes = mpegFrameBytes(&buf[at], rate);
    if (bytes == 0)
        return false;
    if (at + bytes + 4 > buf.size())
        return endsFile && at + bytes == buf.size();
    const unsigned char *next = &buf[at + bytes];
    return mpegFrameBytes(next, nextRate) > 0 && nextRate == rate &&
           (next[1] & 0xfe) == (buf[at + 1] & 0xfe);
}

} // namespace

ContentKind sniffContent(FileReader &file)
{
    std::array<unsigned char, 12> head{};
    if (file.read(head.data(), head.size(), 0) < 12)
        return ContentKind::Other;
    if (std::memcmp(head.data(), "RIFF", 4) == 0 && std::memcmp(head.data() + 8, "WAVE", 4) == 0)
        return ContentKind::Wav;

    // ID3v2 tags: "ID3", version, flags, then a 28-bit size in four 7-bit bytes.
    std::int64_t at = 0;
    for (int i = 0; i < kMaxTags; ++i) {
        unsigned char tag[10];
        if (file.read(tag, sizeof tag, at) < 10 || std::memcmp(tag, "ID3", 3) != 0)
            break;
        if (tag[3] == 0xff || tag[4] == 0xff || ((tag[6] | tag[7] | tag[8] | tag[9]) & 0x80))
            return ContentKind::Other;
        const std::int64_t size = std::int64_t(tag[6]) << 21 | tag[7] << 14 | tag[8] << 7 | tag[9];
        at += 10 + size + ((tag[5] & 0x10) ? 10 : 0); // a footer repeats the header
    }
    std::vector<unsigned char> buf(kSyncWindow + 2 * kMaxFrame);
    const std::int64_t got = file.read(buf.data(), buf.size(), at);
    if (got < 4)
        return ContentKind::Other;
    buf.resize(std::size_t(got));
    const bool endsFile = at + got >= file.size();
    // Without a tag the file itself must start with a frame.
    const std::size_t last = at == 0 ? 0 : kSyncWindow;
    for (std::size_t i = 0; i + 4 <= buf.size() && i <= last; ++i) {
        if (buf[i] == 0xff && mpegAt(buf, i, endsFile))
            return ContentKind::Mpeg;
    }
    return ContentKind::Other;
}

} // namespace tarn::engine
