#include "engine/ffmpeg/demuxer.h"

#include "engine/media_file.h"

namespace tarn::engine {

namespace {

int interruptCallback(void *opaque)
{
    return static_cast<const CancelToken *>(opaque)->cancelled() ? 1 : 0;
}

} // namespace

FormatContextPtr openInput(const std::string &path, const CancelToken &cancel, const char *kind,
                           std::string &error, std::uintmax_t &size)
{
    const std::string noun = std::string("a ") + kind + " file";
    const UniqueFd file = openMediaFile(path, kind, error, size);
    if (!file)
        return nullptr;
    const AVIOInterruptCB interrupt{&interruptCallback, const_cast<CancelToken *>(&cancel)};
    // FFmpeg reads the file that was checked, through its descriptor's name
    // (FFmpeg's own descriptor then holds it), not whatever the path names by now.
    const std::string checked = "/proc/self/fd/" + std::to_string(file.get());
    AVIOContext *io = nullptr;
    int rc = avio_open2(&io, checked.c_str(), AVIO_FLAG_READ, &interrupt, nullptr);
    if (rc < 0) {
        error = rc == AVERROR_EXIT ? "opening the file was cancelled"
                                   : "the file cannot be read (" + averrorText(rc) + ")";
        return nullptr;
    }
    AVFormatContext *raw = avformat_alloc_context();
    if (!raw) {
        avio_closep(&io);
        error = "out of memory";
        return nullptr;
    }
    raw->interrupt_callback = interrupt;
    raw->pb = io;
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    // The path still names the file for FFmpeg's guess of its format by its
    // extension. The context is freed on failure, the I/O context is ours.
    rc = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (rc < 0)
        avio_closep(&io);
    if (rc == AVERROR_EXIT) {
        error = "opening the file was cancelled";
        return nullptr;
    }
    if (rc == AVERROR_INVALIDDATA || rc == AVERROR(EINVAL)) {
        error = "not " + noun + " this player can read";
        return nullptr;
    }
    if (rc == AVERROR(EACCES)) {
        error = "no permission to read the file";
        return nullptr;
    }
    if (rc < 0) {
        error = "the file cannot be read (" + averrorText(rc) + ")";
        return nullptr;
    }
    return FormatContextPtr(raw);
}

FormatContextPtr openContainer(const std::string &path, const CancelToken &cancel, const char *kind,
                               std::string &error, std::uintmax_t &size)
{
    FormatContextPtr format = openInput(path, cancel, kind, error, size);
    if (!format)
        return nullptr;
    if (avformat_find_stream_info(format.get(), nullptr) < 0) {
        if (cancel.cancelled()) {
            error = "opening the file was cancelled";
            return nullptr;
        }
        const std::string noun = std::string("a ") + kind + " file";
        error = "not " + noun + " this player can read";
        return nullptr;
    }
    return format;
}

CodecContextPtr openStreamDecoder(AVFormatContext &format, int stream, const AVCodec *codec,
                                  const char *kind, std::string &error)
{
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        if (static_cast<int>(i) != stream)
            format.streams[i]->discard = AVDISCARD_ALL;
    }
    CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) {
        error = "out of memory";
        return nullptr;
    }
    const AVStream &s = *format.streams[stream];
    int rc = avcodec_parameters_to_context(context.get(), s.codecpar);
    if (rc >= 0) {
        context->thread_count = 1;
        context->pkt_timebase = s.time_base;
        rc = avcodec_open2(context.get(), codec, nullptr);
    }
    if (rc < 0) {
        error = std::string("its ") + kind + " cannot be decoded (" + averrorText(rc) + ")";
        return nullptr;
    }
    return context;
}

bool allocatePacketAndFrame(PacketPtr &packet, FramePtr &frame, std::string &error)
{
    packet.reset(av_packet_alloc());
    frame.reset(av_frame_alloc());
    if (packet && frame)
        return true;
    error = "out of memory";
    return false;
}

bool decodeFrame(AVFormatContext &format, AVCodecContext &codec, AVPacket &packet, AVFrame &frame,
                 int stream, bool &draining, int &readEnd, int maxErrors, int maxPackets)
{
    int errors = 0;
    int packets = 0;
    for (;;) {
        int rc = avcodec_receive_frame(&codec, &frame);
        if (rc == 0)
            return true;
        if (rc == AVERROR_EOF)
            return false;
        if (rc != AVERROR(EAGAIN)) {
            if (++errors > maxErrors)
                return false;
            continue;
        }
        if (draining || (maxPackets > 0 && ++packets > maxPackets))
            return false; // nothing more will come
        rc = av_read_frame(&format, &packet);
        if (rc < 0) {
            readEnd = rc;
            draining = true;
            avcodec_send_packet(&codec, nullptr);
            continue;
        }
        if (packet.stream_index == stream) {
            rc = avcodec_send_packet(&codec, &packet);
            if (rc < 0 && rc != AVERROR(EAGAIN) && ++errors > maxErrors) {
                av_packet_unref(&packet);
                return false;
            }
        }
        av_packet_unref(&packet);
    }
}

int findVideoStream(const AVFormatContext &format)
{
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVStream &s = *format.streams[i];
        if (s.codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(s.disposition & AV_DISPOSITION_ATTACHED_PIC))
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace tarn::engine
