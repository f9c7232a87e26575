// The engine's own decoders against FFmpeg's: the WAV reader gives the same
// samples for every PCM format and seeks to the same sample; hostile WAV
// headers open with a reason or play exactly what the file holds; libmpg123
// gives FFmpeg's lengths and samples for MP3 and seeks to the sample; ID3 tags
// are read without FFmpeg; and FFmpeg is mapped only once a file needs it.
#include "engine/codec_module.h"
#include "engine/decoder.h"
#include "engine/file_tags.h"
#include "engine/mp3_decoder.h"
#include "engine/support/disk_output.h"
#include "engine/support/media_files.h"
#include "engine/support/output_checks.h"
#include "engine/wav_decoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

using namespace tarn::test;
using namespace tarn::engine;

namespace {

struct Decoded {
    std::vector<float> samples; // interleaved at the asked channel count
    std::int64_t firstFrame = -1;
    std::string breakReason;
};

// Everything from where the decoder stands to its end.
Decoded decodeAll(Decoder &d)
{
    Decoded r;
    std::int64_t first = 0;
    for (int calls = 0; calls < 1'000'000; ++calls) {
        const std::size_t before = r.samples.size();
        const bool more = d.decode(r.samples, first);
        if (r.firstFrame < 0 && r.samples.size() > before)
            r.firstFrame = first;
        if (!more)
            break;
    }
    r.breakReason = d.breakReason();
    return r;
}

using Opener =
    std::function<std::unique_ptr<Decoder>(const std::string &, AudioFormat, std::string &)>;

std::unique_ptr<Decoder> viaFfmpeg(const std::string &path, AudioFormat format, std::string &error)
{
    CodecModule *module = codecModule(error);
    return module ? module->openAudio(path, format, {}, error) : nullptr;
}

template <typename Native>
std::unique_ptr<Decoder> viaNative(const std::string &path, AudioFormat format, std::string &error)
{
    auto file = std::make_unique<FileReader>();
    if (!file->open(path, {}, error))
        return nullptr;
    return Native::open(std::move(file), format, error);
}

// The largest difference between `a` from sample `at` on and `b`.
float maxDifference(const std::vector<float> &a, std::size_t at, const std::vector<float> &b)
{
    float worst = 0;
    for (std::size_t i = 0; i < b.size() && at + i < a.size(); ++i)
        worst = std::max(worst, std::fabs(a[at + i] - b[i]));
    return worst;
}

bool ffmpegMapped()
{
    std::ifstream maps("/proc/self/maps");
    std::stringstream text;
    text << maps.rdbuf();
    return text.str().find("libavcodec") != std::string::npos;
}

// ---- WAV files made here --------------------------------------------------

void put16(std::vector<char> &b, unsigned v)
{
    b.push_back(char(v));
    b.push_back(char(v >> 8));
}
void put32(std::vector<char> &b, std::uint32_t v)
{
    put16(b, v & 0xffff);
    put16(b, v >> 16);
}

struct Chunk {
    std::string id;
    std::vector<char> body;
    std::int64_t claimed = -1; // the size written, when it is not the body's
};

// A RIFF/WAVE file of `chunks`, each padded to an even size.
std::vector<char> riff(const std::vector<Chunk> &chunks)
{
    std::vector<char> b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    for (const Chunk &c : chunks) {
        b.insert(b.end(), c.id.begin(), c.id.end());
        put32(b, std::uint32_t(c.claimed >= 0 ? c.claimed : std::int64_t(c.body.size())));
        b.insert(b.end(), c.body.begin(), c.body.end());
        if (c.body.size() % 2)
            b.push_back(0);
    }
    const std::uint32_t size = std::uint32_t(b.size() - 8);
    std::memcpy(b.data() + 4, &size, 4);
    return b;
}

// A format chunk's body; `subformat` > 0 writes WAVE_FORMAT_EXTENSIBLE.
std::vector<char> fmtBody(int tag, int channels, int rate, int bits, int subformat = 0)
{
    std::vector<char> b;
    put16(b, subformat ? 0xfffe : tag);
    put16(b, channels);
    put32(b, rate);
    put32(b, std::uint32_t(rate * channels * bits / 8));
    put16(b, channels * bits / 8);
    put16(b, bits);
    if (subformat) {
        put16(b, 22);
        put16(b, bits);
        put32(b, channels == 1 ? 4 : 3); // front centre; front left and right
        put16(b, subformat);
        const unsigned char tail[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xaa, 0, 0x38, 0x9b, 0x71};
        b.insert(b.end(), tail, tail + 14);
    }
    return b;
}

// `frames` of a 440 Hz sine at 48 kHz, mono 16-bit, as the data chunk's body.
std::vector<char> sine16(int frames)
{
    std::vector<char> b;
    for (int i = 0; i < frames; ++i)
        put16(b, std::uint16_t(std::int16_t(std::lround(16000 * std::sin(i * 0.0576)))));
    return b;
}

// A sine in 64-bit floats, stereo with the channels in opposite phase.
std::vector<char> sineF64Stereo(int frames)
{
    std::vector<char> b;
    for (int i = 0; i < frames; ++i)
        for (double v : {0.5 * std::sin(i * 0.05), -0.5 * std::sin(i * 0.05)}) {
            char bytes[8];
            std::memcpy(bytes, &v, 8);
            b.insert(b.end(), bytes, bytes + 8);
        }
    return b;
}

// ---- the checks -----------------------------------------------------------

// Run first, before anything else in this process needs FFmpeg.
void ffmpegMappedOnlyWhenNeeded(Checks &checks)
{
    const std::pair<const char *, AudioFormat> native[] = {
        {"tone440_cbr128_id3.mp3", {44100, 2}},
        {"tone1k_vbr_mono.mp3", {44100, 2}},
        {"gap_a.wav", {48000, 2}},
        {"tone440_s32_22k_stereo.wav", {22050, 2}},
    };
    for (const auto &[name, format] : native) {
        std::string error;
        auto d = Decoder::open(fixture(name), format, {}, error);
        checks.expect(d && !decodeAll(*d).samples.empty(), std::string(name) + ": " + error);
    }
    const FileTags tags = readFileTags(fixture("tone440_cbr128_id3.mp3"));
    checks.expect(tags == FileTags{"Tarn Test Tone", "Tarn Player", ""},
                  "ID3v2 tags: \"" + tags.title + "\", \"" + tags.artist + "\"");
    checks.expect(readFileTags(fixture("gap_a.wav")) == FileTags{}, "tags in a WAV without any");
    // Guards: MP3 and WAV at the output's rate, or their tags, loading FFmpeg after all.
    checks.expect(!ffmpegMapped(), "FFmpeg is mapped after playing only MP3 and WAV");

    std::string error;
    auto wma = Decoder::open(fixture("tone440_wmav1.wma"), {44100, 2}, {}, error);
    const double seconds = wma ? decodeAll(*wma).samples.size() / 2 / 44100.0 : 0;
    // Guards: a file that needs the module failing, or playing other than before.
    checks.expect(std::fabs(seconds - 2.972) < 0.002, fmt("WMA played %.3f s: ", seconds) + error);
    checks.expect(ffmpegMapped(), "FFmpeg is not mapped after a WMA played");
}

struct SameAsFfmpeg {
    std::string name;
    std::string path;
    AudioFormat format;
    Opener native;
    float tolerance; // largest sample difference allowed
    double seekTo;   // seconds
    int lengthSlack; // frames the lengths may differ by
};

// Whole decodes and a seek, each compared with FFmpeg's decoder.
void sameAsFfmpeg(Checks &checks, const SameAsFfmpeg &c)
{
    std::string error;
    auto native = c.native(c.path, c.format, error);
    if (!checks.expect(native != nullptr, c.name + ": the native decoder refused it: " + error))
        return;
    auto reference = viaFfmpeg(c.path, c.format, error);
    if (!checks.expect(reference != nullptr, c.name + ": FFmpeg refused it: " + error))
        return;
    checks.expect(!native->hasVideo() && native->outputFormat() == c.format,
                  c.name + ": format or video flag wrong");
    const Decoded mine = decodeAll(*native), theirs = decodeAll(*reference);
    const std::int64_t frames = std::int64_t(mine.samples.size()) / c.format.channels;
    const std::int64_t expected = std::int64_t(theirs.samples.size()) / c.format.channels;
    // Guards: samples lost or added at either end (delay, padding, a last partial block).
    checks.expect(std::llabs(frames - expected) <= c.lengthSlack && mine.firstFrame == 0,
                  c.name + fmt(": %lld frames from %lld, FFmpeg %lld", (long long)frames,
                               (long long)mine.firstFrame, (long long)expected));
    // Guards: a length shown before the end that is further off than it was.
    checks.expect(std::fabs(native->estimatedLength() - reference->estimatedLength()) < 0.03,
                  c.name + fmt(": estimated %.3f s, FFmpeg %.3f s", native->estimatedLength(),
                               reference->estimatedLength()));
    // Guards: a wrong sample conversion, channel order or a shifted timeline.
    const float diff = maxDifference(mine.samples, 0, theirs.samples);
    checks.expect(diff <= c.tolerance, c.name + fmt(": samples differ by %g", double(diff)));
    checks.expect(mine.breakReason.empty(), c.name + ": break reason " + mine.breakReason);

    // Guards: a seek that lands off the sample asked for.
    native->seek(c.seekTo);
    const Decoded after = decodeAll(*native);
    const std::int64_t at = std::llround(c.seekTo * c.format.rate);
    checks.expect(after.firstFrame == at, c.name + fmt(": after a seek to frame %lld it gave %lld",
                                                       (long long)at, (long long)after.firstFrame));
    std::vector<float> head(after.samples.begin(),
                            after.samples.begin() +
                                std::min<std::size_t>(after.samples.size(), 8192));
    const float seekDiff = maxDifference(theirs.samples, std::size_t(at) * c.format.channels, head);
    checks.expect(!head.empty() && seekDiff <= c.tolerance,
                  c.name + fmt(": after the seek samples differ by %g", double(seekDiff)));

    // Guards: a seek past the real end (into what a lying header promises)
    // taken for the file's length.
    const double end = double(frames) / c.format.rate;
    native->seek((end + std::max(end, native->estimatedLength()) + 1) / 2);
    std::vector<float> none;
    std::int64_t endFrame = -1;
    const bool more = native->decode(none, endFrame);
    checks.expect(!more && none.empty() && std::llabs(endFrame - frames) <= 1152,
                  c.name + fmt(": a seek past the end ends at frame %lld of %lld",
                               (long long)endFrame, (long long)frames));
}

void wavSameAsFfmpeg(Checks &checks, const TempDir &dir)
{
    // Formats the fixtures lack: 64-bit float (stereo), plain (not extensible)
    // 32-bit float, and a stereo file whose channels differ.
    writeBytes(dir.file("f64.wav"),
               riff({{"fmt ", fmtBody(3, 2, 48000, 64)}, {"data", sineF64Stereo(12000)}}));
    std::vector<char> f32;
    for (int i = 0; i < 12000; ++i) {
        const float v = 0.25f * float(std::sin(i * 0.01));
        char bytes[4];
        std::memcpy(bytes, &v, 4);
        f32.insert(f32.end(), bytes, bytes + 4);
    }
    writeBytes(dir.file("f32.wav"), riff({{"fmt ", fmtBody(3, 1, 48000, 32)}, {"data", f32}}));
    writeBytes(dir.file("s16x.wav"),
               riff({{"fmt ", fmtBody(1, 1, 48000, 16, 1)}, {"data", sine16(9000)}}));
    // Every case is exact (the same conversion of every sample) and the
    // lengths agree to the frame.
    const struct {
        const char *name;
        std::string path;
        AudioFormat format;
        double seekTo;
    } cases[] = {
        {"u8 mono", fixture("tone440_u8_8k_mono.wav"), {8000, 2}, 1.2345},
        {"s16 mono", fixture("tone440_s16_16k_mono.wav"), {16000, 2}, 0.5001},
        {"s16 stereo", fixture("tone1k_s16_44k_stereo.wav"), {44100, 2}, 0.1},
        {"s24 mono extensible", fixture("tone1k_s24_96k_mono.wav"), {96000, 2}, 0.2},
        {"s32 stereo extensible", fixture("tone440_s32_22k_stereo.wav"), {22050, 2}, 0.0777},
        {"f32 mono extensible", fixture("tone1k_f32_48k_mono.wav"), {48000, 2}, 0.01},
        {"f32 mono plain", dir.file("f32.wav"), {48000, 2}, 0.1},
        {"f64 stereo", dir.file("f64.wav"), {48000, 2}, 0.2},
        {"s16 mono extensible", dir.file("s16x.wav"), {48000, 2}, 0.15},
        {"s16 mono to a mono output", fixture("gap_a.wav"), {48000, 1}, 0.3},
    };
    for (const auto &c : cases)
        sameAsFfmpeg(checks, {c.name, c.path, c.format, viaNative<WavDecoder>, 1e-6f, c.seekTo, 0});
}

void mp3SameAsFfmpeg(Checks &checks)
{
    // libmpg123 and FFmpeg round differently (3e-6 apart here); a shift by one
    // sample would differ by 0.03 on the 440 Hz tone, 0.07 on the 1 kHz one.
    const Opener mp3 = viaNative<Mp3Decoder>;
    const SameAsFfmpeg cases[] = {
        {"MP3 CBR, ID3v2", fixture("tone440_cbr128_id3.mp3"), {44100, 2}, mp3, 1e-5f, 1.2345, 0},
        {"MP3 VBR mono", fixture("tone1k_vbr_mono.mp3"), {44100, 2}, mp3, 1e-5f, 2.0001, 0},
        // FFmpeg also plays the last frame's first part, libmpg123 drops it.
        {"MP3 cut short", fixture("truncated.mp3"), {44100, 2}, mp3, 1e-5f, 0.75, 1152},
    };
    for (const SameAsFfmpeg &c : cases)
        sameAsFfmpeg(checks, c);
}

struct Hostile {
    const char *name;
    std::vector<char> bytes;
    int frames; // what plays (the first `frames` of sine16()); -1: does not open
};

// Every field of a WAV header is the file's word against the truth.
void hostileWav(Checks &checks, const TempDir &dir)
{
    const std::vector<char> fmt16 = fmtBody(1, 1, 48000, 16);
    const std::vector<char> data = sine16(4800);
    std::vector<char> zeroAlign = fmt16;
    zeroAlign[12] = zeroAlign[13] = 0;
    std::vector<char> zeroRate = fmt16;
    std::fill(zeroRate.begin() + 4, zeroRate.begin() + 8, 0);
    std::vector<char> zeroChannels = fmt16;
    zeroChannels[2] = zeroChannels[3] = 0;
    std::vector<char> hugeRate = fmt16; // 281 MHz: a resampler for it takes ~20 s and 600 MB
    hugeRate[4] = char(0x44), hugeRate[5] = char(0x9b), hugeRate[6] = char(0xcc),
    hugeRate[7] = 0x10;
    const std::vector<char> whole = riff({{"fmt ", fmt16}, {"data", data}});
    std::vector<char> oddTail = whole;
    oddTail.push_back(0x55); // half a frame

    const Hostile cases[] = {
        {"data size past the end", riff({{"fmt ", fmt16}, {"data", data, 0x7ffffff0}}), 4800},
        {"data size unknown", riff({{"fmt ", fmt16}, {"data", data, 0xffffffff}}), 4800},
        {"half a frame at the end", oddTail, 4800},
        {"odd-sized chunk before the data",
         riff({{"fmt ", fmt16}, {"LIST", {'a', 'b', 'c'}}, {"data", data}}), 4800},
        {"chunk after the data", riff({{"fmt ", fmt16}, {"data", data}, {"LIST", {'x', 'y'}}}),
         4800},
        {"cut inside the data", {whole.begin(), whole.end() - 1001}, 4299},
        {"cut inside the format chunk", {whole.begin(), whole.begin() + 26}, -1},
        {"no format chunk", riff({{"data", data}}), -1},
        {"zero block align", riff({{"fmt ", zeroAlign}, {"data", data}}), 4800},
        {"zero rate", riff({{"fmt ", zeroRate}, {"data", data}}), -1},
        {"zero channels", riff({{"fmt ", zeroChannels}, {"data", data}}), -1},
        {"rate of 281 MHz", riff({{"fmt ", hugeRate}, {"data", data}}), -1},
        {"format chunk of 4 bytes", riff({{"fmt ", {1, 0, 1, 0}}, {"data", data}}), -1},
        {"chunk size past the end before the data",
         riff({{"fmt ", fmt16}, {"JUNK", {0, 0}, 0xfffffff0}, {"data", data}}), -1},
    };
    int n = 0;
    for (const Hostile &c : cases) {
        const std::string path = dir.file("hostile" + std::to_string(n++) + ".wav");
        writeBytes(path, c.bytes);
        std::string error;
        auto d = Decoder::open(path, {48000, 1}, {}, error);
        if (c.frames < 0) {
            // Guards: a damaged header taken for sound, or a failure with no reason.
            checks.expect(!d && !error.empty(), std::string(c.name) + ": opened, or no reason");
            continue;
        }
        if (!checks.expect(d != nullptr, std::string(c.name) + ": did not open: " + error))
            continue;
        const Decoded got = decodeAll(*d);
        std::vector<float> expected(std::size_t(c.frames));
        for (int i = 0; i < c.frames; ++i)
            expected[i] = float(std::int16_t(std::uint8_t(data[2 * i]) |
                                             std::uint8_t(data[2 * i + 1]) << 8)) /
                          32768.0f;
        // Guards: the header's promise played as noise, or a chunk read as samples.
        checks.expect(
            got.samples.size() == expected.size() && maxDifference(got.samples, 0, expected) == 0,
            std::string(c.name) + fmt(": %zu frames, expected %d", got.samples.size(), c.frames));
    }
}

struct Tagged {
    const char *name;
    std::vector<char> bytes;
    FileTags expected;
};

void tagsWithoutFfmpeg(Checks &checks, const TempDir &dir)
{
    // An ID3v1 tag alone, in Latin-1: "Café" by "Bjørk".
    std::vector<char> v1 = readBytes(fixture("tone1k_vbr_mono.mp3"));
    char tag[128] = {'T', 'A', 'G'};
    std::memcpy(tag + 3, "Caf\xe9", 4);
    std::memcpy(tag + 33, "Bj\xf8rk", 5);
    v1.insert(v1.end(), tag, tag + 128);
    const auto text = [](const char *s) { return std::vector<char>(s, s + std::strlen(s) + 1); };
    // RIFF INFO: an odd-sized title (padded), Latin-1 and UTF-8 text.
    std::vector<char> info = {'I', 'N', 'F', 'O'};
    for (const Chunk &item : {Chunk{"INAM", text("Tone")}, Chunk{"IART", text("Bj\xf8rk")},
                              Chunk{"IPRD", text("Caf\xc3\xa9")}}) {
        const std::vector<char> one = riff({item});
        info.insert(info.end(), one.begin() + 12, one.end());
    }
    // An item whose size runs past its list, into the data chunk that follows.
    std::vector<char> overlong = {'I', 'N',  'F', 'O', 'I',  'N', 'A',
                                  'M', 0x10, 0,   0,   0x10, 'x', 'y'};
    const std::vector<char> fmt16 = fmtBody(1, 1, 48000, 16);
    const Tagged cases[] = {
        {"ID3v1 in Latin-1", v1, {"Caf\xc3\xa9", "Bj\xc3\xb8rk", ""}},
        {"RIFF INFO",
         riff({{"fmt ", fmt16}, {"LIST", info}, {"data", sine16(100)}}),
         {"Tone", "Bj\xc3\xb8rk", "Caf\xc3\xa9"}},
        {"RIFF INFO after the data",
         riff({{"fmt ", fmt16}, {"data", sine16(100)}, {"LIST", info}}),
         {"Tone", "Bj\xc3\xb8rk", "Caf\xc3\xa9"}},
        {"RIFF INFO item past its list",
         riff({{"fmt ", fmt16}, {"LIST", overlong}, {"data", sine16(100)}}),
         {"xy", "", ""}},
    };
    int n = 0;
    for (const Tagged &c : cases) {
        const std::string path = dir.file("tagged" + std::to_string(n++));
        writeBytes(path, c.bytes);
        const FileTags tags = readFileTags(path);
        // Guards: tags missed, read past their chunk, or Latin-1 passed on as broken UTF-8.
        checks.expect(tags == c.expected, std::string(c.name) + ": \"" + tags.title + "\", \"" +
                                              tags.artist + "\", \"" + tags.album + "\"");
    }
}

// Float WAV files with NaN and infinite samples (a damaged file), at a rate
// that takes them through FFmpeg's decoder and resampler, and at the
// output's rate, where the engine reads them itself.
void nonFiniteSamples(Checks &checks, const TempDir &dir)
{
    struct Case {
        const char *name;
        int bits;
        int rate;
    };
    const Case cases[] = {
        {"f32 through FFmpeg", 32, 44100},
        {"f64 through FFmpeg", 64, 44100},
        {"f32 read by the engine", 32, 48000},
    };
    constexpr int kFrames = 4410;
    for (const Case &c : cases) {
        std::vector<char> data;
        for (int i = 0; i < kFrames; ++i) {
            double v = 0.5 * std::sin(i * 0.05);
            if (i % 1000 == 999) // one of each, and NaN again
                v = std::array{std::nan(""), HUGE_VAL, -HUGE_VAL}[i / 1000 % 3];
            char bytes[8];
            const float f = float(v);
            c.bits == 32 ? std::memcpy(bytes, &f, 4) : std::memcpy(bytes, &v, 8);
            data.insert(data.end(), bytes, bytes + c.bits / 8);
        }
        const std::string path = dir.file(std::string(c.name) + ".wav");
        writeBytes(path, riff({{"fmt ", fmtBody(3, 1, c.rate, c.bits)}, {"data", data}}));
        std::string error;
        auto d = Decoder::open(path, {48000, 1}, {}, error);
        if (!checks.expect(d != nullptr, std::string(c.name) + ": did not open: " + error))
            continue;
        const Decoded got = decodeAll(*d);
        const auto finite = std::count_if(got.samples.begin(), got.samples.end(),
                                          [](float v) { return std::isfinite(v); });
        const auto heard = std::count_if(got.samples.begin(), got.samples.end(),
                                         [](float v) { return std::fabs(v) > 0.01f; });
        // Guards: NaN or infinity passed on towards the device.
        checks.expect(!got.samples.empty() && std::size_t(finite) == got.samples.size(),
                      std::string(c.name) + fmt(": %zu of %zu samples are not finite",
                                                got.samples.size() - finite, got.samples.size()));
        // Guards: the rest of the file silenced with the bad samples.
        checks.expect(heard > std::int64_t(got.samples.size() * 8 / 10),
                      std::string(c.name) +
                          fmt(": only %zd of %zu samples heard", heard, got.samples.size()));
    }
}

} // namespace

int main()
{
    Checks checks;
    TempDir dir;
    // First, while nothing in this process has needed FFmpeg.
    tagsWithoutFfmpeg(checks, dir);
    ffmpegMappedOnlyWhenNeeded(checks);
    wavSameAsFfmpeg(checks, dir);
    mp3SameAsFfmpeg(checks);
    hostileWav(checks, dir);
    nonFiniteSamples(checks, dir);
    return checks.exitCode();
}
