#include "engine/ffmpeg/ffmpeg_decoder.h"

#include "engine/media_file.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cmath>

namespace tarn::engine {

namespace {

// A file that yields this many damaged packets or frames in a row without one
// good frame is treated as ended, so garbage cannot keep the decoder busy.
constexpr int kMaxConsecutiveErrors = 500;
// Packets read at open before giving up on finding a decodable frame.
constexpr int kMaxPacketsToFirstFrame = 200;
// The highest rate any real recording uses (DXD, 8x 96 kHz). A damaged
// header can claim hundreds of MHz, and building a resampler for that takes
// tens of seconds and hundreds of megabytes.
constexpr int kMaxInputRate = 768000;

bool playableRate(int rate)
{
    return rate > 0 && rate <= kMaxInputRate;
}

// Seconds decoded and dropped before a seek target.
constexpr double kSeekPreroll = 0.3;

} // namespace

FfmpegDecoder::~FfmpegDecoder()
{
    av_channel_layout_uninit(&inLayout_);
}

std::unique_ptr<Decoder> FfmpegDecoder::open(const std::string &path, AudioFormat format,
                                             CancelToken cancel, std::string &error)
{
    std::unique_ptr<FfmpegDecoder> d(new FfmpegDecoder(format));
    d->path_ = path;
    d->cancel_ = cancel;
    d->format_ = openContainer(path, d->cancel_, "sound", error, d->openSize_);
    if (!d->format_)
        return nullptr;
    d->hasVideo_ = findVideoStream(*d->format_) >= 0;
    const AVCodec *codec = nullptr;
    int rc = av_find_best_stream(d->format_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (rc == AVERROR_DECODER_NOT_FOUND) {
        error = "its kind of sound is not one this player can decode";
        return nullptr;
    }
    if (rc < 0) {
        error = "the file holds no sound";
        return nullptr;
    }
    d->stream_ = rc;
    AVStream *stream = d->format_->streams[d->stream_];
    d->timeBase_ = stream->time_base;

    d->codec_ = openStreamDecoder(*d->format_, d->stream_, codec, "sound", error);
    if (!d->codec_)
        return nullptr;
    if (!allocatePacketAndFrame(d->packet_, d->frame_, error))
        return nullptr;

    // Decode the first frame now: some files open and then hold nothing
    // playable. Note the samples the demuxer asks the decoder to trim first
    // (MP3 encoder delay), which the container's duration still counts.
    std::int64_t trimmed = 0;
    int packets = 0;
    for (;;) {
        rc = avcodec_receive_frame(d->codec_.get(), d->frame_.get());
        if (rc == 0 && d->frame_->nb_samples > 0)
            break;
        if (rc == 0) {
            av_frame_unref(d->frame_.get());
            continue;
        }
        if (rc != AVERROR(EAGAIN) || d->draining_ || ++packets > kMaxPacketsToFirstFrame) {
            error = d->cancel_.cancelled() ? "opening the file was cancelled"
                                           : "no sound could be decoded from the file";
            return nullptr;
        }
        rc = av_read_frame(d->format_.get(), d->packet_.get());
        if (rc < 0) {
            d->draining_ = true;
            avcodec_send_packet(d->codec_.get(), nullptr);
            continue;
        }
        if (d->packet_->stream_index == d->stream_) {
            size_t size = 0;
            const uint8_t *skip =
                av_packet_get_side_data(d->packet_.get(), AV_PKT_DATA_SKIP_SAMPLES, &size);
            if (skip && size >= 4)
                trimmed += skip[0] | skip[1] << 8 | skip[2] << 16 | std::int64_t{skip[3]} << 24;
            avcodec_send_packet(d->codec_.get(), d->packet_.get()); // damaged: try the next
        }
        av_packet_unref(d->packet_.get());
    }
    d->framePending_ = true;
    d->origin_ = d->frame_->best_effort_timestamp;

    const int rate = d->codec_->sample_rate > 0 ? d->codec_->sample_rate : d->frame_->sample_rate;
    if (!playableRate(rate) || !playableRate(d->frame_->sample_rate)) {
        error = "its sample rate (" + std::to_string(rate) + " Hz) is not one a player can use";
        return nullptr;
    }
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        d->estimatedLength_ = stream->duration * av_q2d(stream->time_base);
    else if (d->format_->duration != AV_NOPTS_VALUE && d->format_->duration > 0)
        d->estimatedLength_ = d->format_->duration / double(AV_TIME_BASE);
    if (rate > 0)
        d->estimatedLength_ = std::max(0.0, d->estimatedLength_ - double(trimmed) / rate);
    return d;
}

double FfmpegDecoder::frameTime(const AVFrame &frame) const
{
    if (frame.best_effort_timestamp == AV_NOPTS_VALUE || origin_ == AV_NOPTS_VALUE)
        return -1;
    return (frame.best_effort_timestamp - origin_) * av_q2d(timeBase_);
}

bool FfmpegDecoder::receiveFrame()
{
    if (framePending_) {
        framePending_ = false;
        return true;
    }
    for (;;) {
        int readEnd = 0;
        const bool got = decodeFrame(*format_, *codec_, *packet_, *frame_, stream_, draining_,
                                     readEnd, kMaxConsecutiveErrors);
        if (readEnd != 0)
            noteReadEnd(readEnd); // the end of the file, or a read error: play out what is held
        if (!got)
            return false;
        if (frame_->nb_samples > 0)
            return true;
        av_frame_unref(frame_.get());
    }
}

void FfmpegDecoder::noteReadEnd(int rc)
{
    if (rc == AVERROR_EXIT)
        return; // cancelled: nobody listens any more
    if (rc != AVERROR_EOF) {
        breakReason_ = "the file could not be read to its end (" + averrorText(rc) + ")";
        return;
    }
    // Cut short on disk while it played: the read ends early, without an error.
    breakReason_ = cutShortReason(path_, openSize_);
}

bool FfmpegDecoder::configureResampler(const AVFrame &frame)
{
    if (resampler_ && frame.sample_rate == inRate_ && frame.format == inFormat_ &&
        av_channel_layout_compare(&frame.ch_layout, &inLayout_) == 0)
        return true;
    resampler_.reset();
    av_channel_layout_uninit(&inLayout_);
    if (!playableRate(frame.sample_rate))
        return false;
    if (av_channel_layout_copy(&inLayout_, &frame.ch_layout) < 0)
        return false;
    inRate_ = frame.sample_rate;
    inFormat_ = frame.format;

    AVChannelLayout in{};
    if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&in, frame.ch_layout.nb_channels);
    else if (av_channel_layout_copy(&in, &frame.ch_layout) < 0)
        return false;
    AVChannelLayout outLayout{};
    av_channel_layout_default(&outLayout, out_.channels);
    SwrContext *raw = nullptr;
    int rc = swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_FLT, out_.rate, &in,
                                 static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0,
                                 nullptr);
    resampler_.reset(raw);
    if (rc >= 0 && in.nb_channels == 1 && out_.channels >= 2) {
        // Mono plays at full level on the two front speakers, not 3 dB down.
        std::vector<double> matrix(out_.channels, 0.0);
        matrix[0] = matrix[1] = 1.0;
        rc = swr_set_matrix(raw, matrix.data(), 1);
    }
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&outLayout);
    if (rc >= 0)
        rc = swr_init(raw);
    if (rc < 0) {
        resampler_.reset();
        return false;
    }
    return true;
}

void FfmpegDecoder::resample(const AVFrame &frame, int skip, std::vector<float> &out)
{
    const int count = frame.nb_samples - skip;
    const int bytes = av_get_bytes_per_sample(static_cast<AVSampleFormat>(frame.format));
    const int channels = frame.ch_layout.nb_channels;
    const bool planar = av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame.format));
    // swr_convert() only reads the input; its signature predates const.
    const uint8_t **in =
        const_cast<const uint8_t **>(reinterpret_cast<const uint8_t *const *>(frame.extended_data));
    if (skip > 0) { // only the first frame after a seek starts part-way
        skipped_.resize(planar ? channels : 1);
        for (size_t i = 0; i < skipped_.size(); ++i)
            skipped_[i] =
                frame.extended_data[i] + std::size_t(skip) * bytes * (planar ? 1 : channels);
        in = skipped_.data();
    }

    const int room = swr_get_out_samples(resampler_.get(), count);
    if (room <= 0)
        return;
    const std::size_t at = out.size();
    out.resize(at + std::size_t(room) * out_.channels);
    uint8_t *dest = reinterpret_cast<uint8_t *>(out.data() + at);
    const int got = swr_convert(resampler_.get(), &dest, room, in, count);
    out.resize(at + std::size_t(std::max(got, 0)) * out_.channels);
}

namespace {

// FFmpeg's float decoders pass a damaged file's NaN and infinite samples on,
// and the resampler spreads a NaN over its filter's length: silence instead.
void silenceNonFinite(std::vector<float> &out, std::size_t from)
{
    for (std::size_t i = from; i < out.size(); ++i)
        out[i] = std::isfinite(out[i]) ? out[i] : 0.0f;
}

} // namespace

bool FfmpegDecoder::decode(std::vector<float> &out, std::int64_t &firstFrame)
{
    firstFrame = nextFrame_;
    const std::size_t start = out.size();
    while (out.size() == start) {
        if (!receiveFrame()) {
            if (seekTarget_ >= 0 && droppedUntil_ >= 0) {
                // Sought past the real end (the header promised more): the
                // file ends where its last frame did, not at the target.
                nextFrame_ = std::llround(droppedUntil_ * out_.rate);
                firstFrame = nextFrame_;
            }
            if (resampler_) { // the resampler's tail
                const int room = swr_get_out_samples(resampler_.get(), 0);
                if (room > 0) {
                    out.resize(start + std::size_t(room) * out_.channels);
                    uint8_t *dest = reinterpret_cast<uint8_t *>(out.data() + start);
                    const int got = swr_convert(resampler_.get(), &dest, room, nullptr, 0);
                    out.resize(start + std::size_t(std::max(got, 0)) * out_.channels);
                }
            }
            silenceNonFinite(out, start);
            nextFrame_ += (out.size() - start) / out_.channels;
            return false;
        }
        int skip = 0;
        if (seekTarget_ >= 0) {
            const double t = frameTime(*frame_);
            if (t >= 0 && frame_->sample_rate > 0) {
                const double drop = std::round((seekTarget_ - t) * frame_->sample_rate);
                if (drop >= frame_->nb_samples) {
                    droppedUntil_ = t + double(frame_->nb_samples) / frame_->sample_rate;
                    av_frame_unref(frame_.get());
                    continue; // wholly before the target
                }
                skip = static_cast<int>(std::max(0.0, drop));
                nextFrame_ = std::llround((t + double(skip) / frame_->sample_rate) * out_.rate);
            } else {
                nextFrame_ = std::llround(seekTarget_ * out_.rate);
            }
            firstFrame = nextFrame_;
            seekTarget_ = -1;
        }
        if (configureResampler(*frame_))
            resample(*frame_, skip, out);
        av_frame_unref(frame_.get());
    }
    silenceNonFinite(out, start);
    nextFrame_ += (out.size() - start) / out_.channels;
    return true;
}

void FfmpegDecoder::seek(double seconds)
{
    seconds = std::max(0.0, seconds);
    const std::int64_t base = origin_ == AV_NOPTS_VALUE ? 0 : origin_;
    // Start decoding a little early: an MP3 frame may draw on the bytes of
    // up to several frames before it (the bit reservoir), and without them
    // the decoder gives silence for the first ~150 ms after a seek.
    const double from = std::max(0.0, seconds - kSeekPreroll);
    const std::int64_t ts = base + std::llround(from / av_q2d(timeBase_));
    if (av_seek_frame(format_.get(), stream_, ts, AVSEEK_FLAG_BACKWARD) < 0 &&
        avformat_seek_file(format_.get(), stream_, INT64_MIN, ts, ts, 0) < 0) {
        // Not seekable at all: rewind by bytes and decode forward to the target.
        av_seek_frame(format_.get(), stream_, 0, AVSEEK_FLAG_BYTE | AVSEEK_FLAG_BACKWARD);
    }
    avcodec_flush_buffers(codec_.get());
    av_frame_unref(frame_.get());
    framePending_ = false;
    draining_ = false;
    resampler_.reset();
    seekTarget_ = seconds;
    droppedUntil_ = -1;
    breakReason_.clear();
    nextFrame_ = std::llround(seconds * out_.rate);
}

} // namespace tarn::engine
