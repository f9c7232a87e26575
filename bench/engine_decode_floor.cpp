// The floor for playing a file: demux, decode and resample it to the format
// the engine asks of the device (float32, 48 kHz, stereo) as fast as one
// thread can, with the same FFmpeg libraries and nothing else. Prints the CPU
// time this took and its share per minute of audio, to set the engine's
// real-time playback cost against.
//
//   bench_engine_decode_floor FILE [REPEATS]
#include "engine/ffmpeg/ffmpeg_ptr.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

using namespace tarn::engine;

constexpr int outRate = 48000;
constexpr int outChannels = 2;

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Decodes and resamples the whole file once; returns output frames, or -1.
long long decodeOnce(const char *path, std::vector<float> &out)
{
    AVFormatContext *raw = nullptr;
    int rc = avformat_open_input(&raw, path, nullptr, nullptr);
    if (rc < 0) {
        std::fprintf(stderr, "%s: %s\n", path, averrorText(rc).c_str());
        return -1;
    }
    FormatContextPtr format(raw);
    if ((rc = avformat_find_stream_info(format.get(), nullptr)) < 0) {
        std::fprintf(stderr, "%s: %s\n", path, averrorText(rc).c_str());
        return -1;
    }
    const AVCodec *codec = nullptr;
    const int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream < 0) {
        std::fprintf(stderr, "%s: no audio stream\n", path);
        return -1;
    }
    CodecContextPtr decoder(avcodec_alloc_context3(codec));
    if (!decoder ||
        avcodec_parameters_to_context(decoder.get(), format->streams[stream]->codecpar) < 0)
        return -1;
    decoder->thread_count = 1;
    if ((rc = avcodec_open2(decoder.get(), codec, nullptr)) < 0) {
        std::fprintf(stderr, "%s: %s\n", path, averrorText(rc).c_str());
        return -1;
    }
    AVChannelLayout outLayout = AV_CHANNEL_LAYOUT_STEREO;
    SwrContext *rawSwr = nullptr;
    if (swr_alloc_set_opts2(&rawSwr, &outLayout, AV_SAMPLE_FMT_FLT, outRate, &decoder->ch_layout,
                            decoder->sample_fmt, decoder->sample_rate, 0, nullptr) < 0)
        return -1;
    ResamplerPtr swr(rawSwr);
    if (swr_init(swr.get()) < 0)
        return -1;
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (!packet || !frame)
        return -1;

    long long frames = 0;
    const auto convert = [&](const uint8_t **in, int count) {
        const int room = swr_get_out_samples(swr.get(), count);
        if (room <= 0)
            return;
        out.resize(static_cast<std::size_t>(room) * outChannels);
        auto *dst = reinterpret_cast<uint8_t *>(out.data());
        const int made = swr_convert(swr.get(), &dst, room, in, count);
        if (made > 0)
            frames += made;
    };
    const auto drain = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
            convert(const_cast<const uint8_t **>(frame->extended_data), frame->nb_samples);
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        if (packet->stream_index == stream && avcodec_send_packet(decoder.get(), packet.get()) >= 0)
            drain();
        av_packet_unref(packet.get());
    }
    if (avcodec_send_packet(decoder.get(), nullptr) >= 0)
        drain();
    convert(nullptr, 0); // what the resampler still holds
    return frames;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [REPEATS]\n", argv[0]);
        return 2;
    }
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    av_log_set_level(AV_LOG_ERROR);
    std::vector<float> buffer;
    double best = 1e30;
    long long frames = 0;
    for (int i = 0; i < repeats; ++i) {
        const double before = cpuSeconds();
        frames = decodeOnce(argv[1], buffer);
        const double used = cpuSeconds() - before;
        if (frames < 0)
            return 1;
        best = std::min(best, used);
    }
    const double audioSeconds = static_cast<double>(frames) / outRate;
    std::printf("floor: %.3f s of audio, best of %d: %.4f CPU s, %.4f CPU s per minute of "
                "audio, %.0fx real time\n",
                audioSeconds, repeats, best, best * 60.0 / audioSeconds, audioSeconds / best);
    return 0;
}
