#include "engine/ffmpeg/video_scaler.h"
#include "engine/picture_size.h"

namespace tarn::engine {

namespace {

AVPixelFormat ffmpegFormat(PixelFormat format)
{
    switch (format) {
    case PixelFormat::Rgb32:
        break;
    }
    return AV_PIX_FMT_RGB32; // native-endian 0xAARRGGBB
}

} // namespace

bool VideoScaler::convert(const AVFrame &frame, const VideoFormat &format)
{
    if (format.width <= 0 || format.height <= 0 || frame.width <= 0 || frame.height <= 0 ||
        format.width > kLargestConvertedSide || format.height > kLargestConvertedSide)
        return false;
    context_.reset(sws_getCachedContext(context_.release(), frame.width, frame.height,
                                        static_cast<AVPixelFormat>(frame.format), format.width,
                                        format.height, ffmpegFormat(format.pixels), SWS_BILINEAR,
                                        nullptr, nullptr, nullptr));
    if (!context_)
        return false;
    width_ = format.width;
    height_ = format.height;
    stride_ = width_ * 4;
    pixels_.resize(std::size_t(stride_) * height_); // allocates only when the size grows
    std::uint8_t *planes[4] = {pixels_.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {stride_, 0, 0, 0};
    return sws_scale(context_.get(), frame.data, frame.linesize, 0, frame.height, planes, strides) >
           0;
}

VideoFrame VideoScaler::picture(double time) const
{
    return VideoFrame{pixels_.data(), stride_, width_, height_, time};
}

} // namespace tarn::engine
