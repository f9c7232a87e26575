// Owning pointers for the FFmpeg objects the engine uses, so every exit path
// frees them.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>

namespace tarn::engine {

struct FormatContextCloser {
    void operator()(AVFormatContext *c) const
    {
        // An input read through an I/O context of the caller's own
        // (AVFMT_FLAG_CUSTOM_IO, see openContainer) leaves closing that to it.
        AVIOContext *io = c != nullptr && (c->flags & AVFMT_FLAG_CUSTOM_IO) ? c->pb : nullptr;
        avformat_close_input(&c);
        avio_closep(&io);
    }
};
struct CodecContextFreer {
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct PacketFreer {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct FrameFreer {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct ResamplerFreer {
    void operator()(SwrContext *s) const { swr_free(&s); }
};
struct ScalerFreer {
    void operator()(SwsContext *s) const { sws_freeContext(s); }
};

using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextCloser>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerFreer>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFreer>;

// FFmpeg's text for an error code.
inline std::string averrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(code, text, sizeof text) < 0)
        return "error " + std::to_string(code);
    return text;
}

} // namespace tarn::engine
