// libFuzzer target for the engine's open-and-decode path: the input is
// written to a file in a scratch folder, opened through Decoder::open() as
// the engine opens a playlist entry, decoded to no output for at most 10 s of
// sound, sought twice and decoded a little after each seek. It is opened at
// two output formats: 48 kHz stereo, and 44.1 kHz mono or stereo, so that
// decoders that take only files at the output's rate (the engine's own WAV
// and MP3 decoders) and the resampling FFmpeg decoder both get it. A file
// named .avi is opened by the video decoder too, and a few pictures are
// decoded (and converted, where the codec module does that).
// The file is named by what its first bytes look like (.mp3, .wav, .wma,
// .avi), or by its size when they look like nothing.
#include "engine/decoder.h"
#include "engine/engine_environment.h"
#include "scratch_folder.h"

// The video decoder: in the codec module once the engine loads FFmpeg as a
// module, in the engine itself before.
#if __has_include("engine/codec_module.h")
#include "engine/codec_module.h"
#define TARN_FUZZ_CODEC_MODULE 1
#else
#include "engine/video_decoder.h"
#endif

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

// The codec module's file (TARN_CODEC_MODULE), read as a program's main()
// reads it, before the first input.
[[maybe_unused]] const bool kEnvironmentRead = (applyEngineEnvironment("fuzz_decode", ::getenv), true);

constexpr double kMaxSeconds = 10; // of sound per open
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

// Decodes up to `frames` output frames, checking what each call hands out;
// returns the frames decoded.
std::int64_t decodeSome(Decoder &decoder, std::int64_t frames)
{
    const int channels = decoder.outputFormat().channels;
    std::vector<float> out;
    std::int64_t done = 0;
    std::int64_t expected = -1; // where the next call's frames start on the timeline
    while (done < frames) {
        out.clear();
        std::int64_t first = -1;
        const bool more = decoder.decode(out, first);
        check(out.size() % channels == 0);
        check(!more || !out.empty());
        const std::int64_t got = std::int64_t(out.size()) / channels;
        // The timeline runs on without gaps or overlaps between calls.
        check(expected < 0 || !more || first == expected);
        expected = first + got;
        done += got;
        if (!more)
            break;
    }
    return done;
}

void decodeAudio(const std::string &path, AudioFormat format)
{
    std::string error;
    std::unique_ptr<Decoder> decoder = Decoder::open(path, format, CancelToken{}, error);
    check(decoder != nullptr || !error.empty()); // a failure always says why
    if (!decoder)
        return;
    check(decoder->outputFormat() == format);
    check(std::isfinite(decoder->estimatedLength()) && decoder->estimatedLength() >= 0);
    const std::int64_t decoded = decodeSome(*decoder, std::int64_t(kMaxSeconds * format.rate));
    // A seek into the middle, then one back to the start.
    decoder->seek(std::min(decoder->estimatedLength(), kMaxSeconds) / 2);
    decodeSome(*decoder, format.rate);
    decoder->seek(0);
    decodeSome(*decoder, std::min<std::int64_t>(decoded + 1, format.rate / 2));
}

#ifdef TARN_FUZZ_CODEC_MODULE
void decodeVideo(const std::string &path)
{
    std::string error;
    CodecModule *module = codecModule(error);
    check(module != nullptr); // the build's own module: its absence is a broken build
    std::unique_ptr<PictureSource> video = module->openVideo(path, CancelToken{}, error);
    check(video != nullptr || !error.empty());
    if (!video)
        return;
    const VideoFormat format{160, 120, PixelFormat::Rgb32};
    double time = 0;
    VideoFrame picture;
    for (int i = 0; i < kMaxPictures && video->next(time); ++i)
        if (i < 3 && video->convert(format, picture))
            check(picture.data && picture.width == format.width && picture.height == format.height);
    video->seek(video->length() / 2);
    for (int i = 0; i < 5 && video->next(time); ++i) {
    }
}
#else
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
    for (int i = 0; i < 5 && video->next(time); ++i) {
    }
}
#endif

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
    decodeAudio(path, AudioFormat{48000, 2});
    decodeAudio(path, AudioFormat{44100, 1 + int(size & 1)});
    if (std::strcmp(extension, ".avi") == 0)
        decodeVideo(path);
    return 0;
}
