// The codec module's entry point: FFmpeg's decoders behind the interface of
// codec_module.h.
#include "engine/codec_module.h"
#include "engine/ffmpeg/demuxer.h"
#include "engine/ffmpeg/ffmpeg_decoder.h"
#include "engine/ffmpeg/video_decoder.h"
#include "engine/ffmpeg/video_scaler.h"
#include "engine/media_file.h"

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/log.h>
}

namespace tarn::engine {

namespace {

class FfmpegPictures final : public PictureSource {
public:
    explicit FfmpegPictures(std::unique_ptr<VideoDecoder> decoder) : decoder_(std::move(decoder)) {}
    bool next(double &time) override { return decoder_->next(time); }
    void seek(double seconds) override { decoder_->seek(seconds); }
    double frameDuration() const override { return decoder_->frameDuration(); }
    double length() const override { return decoder_->length(); }
    int displayWidth() const override { return decoder_->displayWidth(); }
    int displayHeight() const override { return decoder_->displayHeight(); }
    bool convert(const VideoFormat &format, VideoFrame &picture) override
    {
        if (!scaler_.convert(decoder_->frame(), format))
            return false;
        picture = scaler_.picture(0);
        return true;
    }

private:
    std::unique_ptr<VideoDecoder> decoder_;
    VideoScaler scaler_;
};

// The tag from the container, or else from the first stream that has it
// (Ogg and FLAC keep their comments with the stream).
std::string tag(const AVFormatContext &context, const char *key)
{
    if (const AVDictionaryEntry *e = av_dict_get(context.metadata, key, nullptr, 0))
        return e->value;
    for (unsigned i = 0; i < context.nb_streams; ++i)
        if (const AVDictionaryEntry *e = av_dict_get(context.streams[i]->metadata, key, nullptr, 0))
            return e->value;
    return {};
}

class FfmpegModule final : public CodecModule {
public:
    std::unique_ptr<Decoder> openAudio(const std::string &path, AudioFormat format,
                                       CancelToken cancel, std::string &error) override
    {
        return FfmpegDecoder::open(path, format, cancel, error);
    }
    std::unique_ptr<PictureSource> openVideo(const std::string &path, CancelToken cancel,
                                             std::string &error) override
    {
        auto decoder = VideoDecoder::open(path, cancel, error);
        return decoder ? std::make_unique<FfmpegPictures>(std::move(decoder)) : nullptr;
    }
    FileTags readTags(const std::string &path, CancelToken cancel) override
    {
        std::string error;
        std::uintmax_t size = 0;
        const FormatContextPtr context = openInput(path, cancel, "sound", error, size);
        if (!context)
            return {};
        return FileTags{tag(*context, "title"), tag(*context, "artist"), tag(*context, "album")};
    }
};

} // namespace

} // namespace tarn::engine

extern "C" __attribute__((visibility("default"))) tarn::engine::CodecModule *
tarn_codec_module(int version)
{
    static tarn::engine::FfmpegModule module;
    // FFmpeg's warnings (an open cancelled halfway, a damaged frame skipped)
    // are for its own developers; what a file's failure means reaches the
    // player as an error text. Its errors still go to stderr.
    static const bool quiet = (av_log_set_level(AV_LOG_ERROR), true);
    (void)quiet;
    return version == tarn::engine::kCodecModuleVersion ? &module : nullptr;
}
