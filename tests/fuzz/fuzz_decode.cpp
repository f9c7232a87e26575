// libFuzzer target for the engine's open-and-decode path: the input is
// written to a file in a scratch folder, opened as the engine opens a
// playlist entry, decoded to no output for at most 10 s of sound, sought
// twice and decoded a little after each seek. A file that also holds a
// moving picture (or is named .avi) is opened by the video decoder too and
// a few pictures are decoded. The file is named by what its first bytes
// look like (.mp3, .wav, .wma, .avi), or by its size when they look like
// nothing, so a file under the wrong name is tried as well.
#include "engine/decoder.h"
#include "engine/video_decoder.h"
#include "scratch_folder.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace tarn::engine;

constexpr AudioFormat kFormat{48000, 2};
constexpr std::int64_t kMaxFrames = 10 * kFormat.rate; // 10 s of sound per input
constexpr int kMaxPictures = 60;

void check(bool ok)
{
    if (!ok)
        std::abort();
}

bool startsWith(const std::uint8_t *data, std::size_t size, const char *magic, std::size_t at = 0)
{
    const std::size_t n = std::strlen(magic);
    return size >= at + n && std::memcmp(data + at, magic, n) == 0;
}

const char *extensionFor(const std::uint8_t *data, std::size_t size)
{
    static const std::uint8_t asf[] = {0x30, 0x26, 0xb2, 0x75};
    if (startsWith(data, size, "RIFF") && startsWith(data, size, "WAVE", 8))
        return ".wav";
    if (startsWith(data, size, "RIFF") && startsWith(data, size, "AVI ", 8))
        return ".avi";
    if (size >= 4 && std::memcmp(data, asf, 4) == 0)
        return ".wma";
    if (startsWith(data, size, "ID3") || (size >= 2 && data[0] == 0xff && (data[1] & 0xe0) == 0xe0))
        return ".mp3";
    static const char *const any[] = {".mp3", ".wav", ".wma", ".avi"};
    return any[size % 4];
}

// Decodes up to `frames` output frames; checks what each call hands out.
// Returns the frames decoded.
std::int64_t decodeSome(Decoder &decoder, std::int64_t frames)
{
    std::vector<float> out;
    std::int64_t done = 0;
    std::int64_t expected = -1; // where the next call's frames start on the timeline
    while (done < frames) {
        out.clear();
        std::int64_t first = -1;
        const bool more = decoder.decode(out, first);
        check(out.size() % kFormat.channels == 0);
        check(!more || !out.empty());
        const std::int64_t got = std::int64_t(out.size()) / kFormat.channels;
        // The timeline runs on without gaps or overlaps between calls.
        check(expected < 0 || !more || first == expected);
        expected = first + got;
        done += got;
        if (!more)
            break;
    }
    return done;
}

void decodeVideo(const std::string &path)
{
    std::string error;
    std::unique_ptr<VideoDecoder> video = VideoDecoder::open(path, CancelToken{}, error);
    check(video != nullptr || !error.empty());
    if (!video)
        return;
    double time = 0;
    for (int i = 0; i < kMaxPictures && video->next(time); ++i)
        check(video->frame().width > 0 && video->frame().height > 0);
    video->seek(video->length() / 2);
    for (int i = 0; i < 5 && video->next(time); ++i)
        check(video->frame().width > 0 && video->frame().height > 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // FFmpeg's complaints about damaged input would bury the fuzzer's report.
    static const bool quiet = (av_log_set_level(AV_LOG_QUIET), true);
    (void)quiet;
    const char *extension = extensionFor(data, size);
    const std::string path = (tarn::fuzz::scratchFolder() / "input").string() + extension;
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char *>(data), std::streamsize(size));
        check(bool(file));
    }

    std::string error;
    std::unique_ptr<Decoder> decoder = Decoder::open(path, kFormat, CancelToken{}, error);
    check(decoder != nullptr || !error.empty()); // a failure always says why
    if (decoder) {
        check(decoder->outputFormat() == kFormat);
        check(std::isfinite(decoder->estimatedLength()) && decoder->estimatedLength() >= 0);
        const std::int64_t decoded = decodeSome(*decoder, kMaxFrames);
        // A seek into the middle, then one back to the start.
        const double length = std::min(decoder->estimatedLength(), 10.0);
        decoder->seek(length / 2);
        decodeSome(*decoder, kFormat.rate);
        decoder->seek(0);
        decodeSome(*decoder, std::min<std::int64_t>(decoded + 1, kFormat.rate / 2));
    }
    if (std::strcmp(extension, ".avi") == 0 || (decoder && decoder->hasVideo()))
        decodeVideo(path);
    return 0;
}
