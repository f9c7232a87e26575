#include "engine/ffmpeg/video_decoder.h"
#include "engine/picture_size.h"

#include <algorithm>

namespace tarn::engine {

namespace {

// Damaged packets or pictures in a row after which the stream counts as ended.
constexpr int kMaxConsecutiveErrors = 500;
// Packets read without one picture before the stream counts as ended.
constexpr int kMaxPacketsPerPicture = 500;

} // namespace

std::unique_ptr<VideoDecoder> VideoDecoder::open(const std::string &path, CancelToken cancel,
                                                 std::string &error)
{
    std::unique_ptr<VideoDecoder> d(new VideoDecoder);
    d->cancel_ = cancel;
    std::uintmax_t size = 0;
    d->format_ = openContainer(path, d->cancel_, "video", error, size);
    if (!d->format_)
        return nullptr;
    d->stream_ = findVideoStream(*d->format_);
    if (d->stream_ < 0) {
        error = "the file holds no video";
        return nullptr;
    }
    AVStream *stream = d->format_->streams[d->stream_];
    const AVCodec *codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) {
        error = "its kind of video is not one this player can decode";
        return nullptr;
    }
    d->timeBase_ = stream->time_base;
    d->origin_ = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    const AVRational rate = av_guess_frame_rate(d->format_.get(), stream, nullptr);
    if (rate.num > 0 && rate.den > 0)
        d->frameDuration_ = av_q2d(av_inv_q(rate));
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        d->length_ = stream->duration * av_q2d(stream->time_base);
    else if (d->format_->duration != AV_NOPTS_VALUE && d->format_->duration > 0)
        d->length_ = d->format_->duration / double(AV_TIME_BASE);

    d->codec_ = openStreamDecoder(*d->format_, d->stream_, codec, "video", error);
    if (!d->codec_)
        return nullptr;
    if (!allocatePacketAndFrame(d->packet_, d->frame_, error))
        return nullptr;
    if (!d->receive()) {
        error = d->cancel_.cancelled() ? "opening the file was cancelled"
                                       : "no picture could be decoded from the file";
        return nullptr;
    }
    d->pending_ = true;
    const AVRational aspect =
        av_guess_sample_aspect_ratio(d->format_.get(), stream, d->frame_.get());
    const PictureSize shape =
        displayShape(d->frame_->width, d->frame_->height, aspect.num, aspect.den);
    d->displayWidth_ = shape.width;
    d->displayHeight_ = shape.height;
    return d;
}

double VideoDecoder::timeOf(const AVFrame &frame) const
{
    if (frame.best_effort_timestamp == AV_NOPTS_VALUE)
        return lastTime_ < 0 ? 0 : lastTime_ + frameDuration_;
    return (frame.best_effort_timestamp - origin_) * av_q2d(timeBase_);
}

bool VideoDecoder::receive()
{
    int readEnd = 0; // the end, a read error or a cancel: the pictures held are shown
    return decodeFrame(*format_, *codec_, *packet_, *frame_, stream_, draining_, readEnd,
                       kMaxConsecutiveErrors, kMaxPacketsPerPicture);
}

bool VideoDecoder::next(double &time)
{
    for (;;) {
        if (pending_)
            pending_ = false;
        else if (!receive()) // it drops the picture handed out before
            return false;
        time = timeOf(*frame_);
        if (skipUntil_ >= 0 && time + frameDuration_ <= skipUntil_ + 1e-6)
            continue; // ends before the seek target
        skipUntil_ = -1;
        lastTime_ = time;
        return true;
    }
}

void VideoDecoder::seek(double seconds)
{
    seconds = std::max(0.0, seconds);
    const std::int64_t ts = origin_ + static_cast<std::int64_t>(seconds / av_q2d(timeBase_));
    if (av_seek_frame(format_.get(), stream_, ts, AVSEEK_FLAG_BACKWARD) < 0)
        av_seek_frame(format_.get(), stream_, 0, AVSEEK_FLAG_BYTE | AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(codec_.get());
    av_frame_unref(frame_.get());
    pending_ = false;
    draining_ = false;
    lastTime_ = -1;
    skipUntil_ = seconds;
}

} // namespace tarn::engine
