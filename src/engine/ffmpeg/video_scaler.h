// Converts decoded pictures to the size and pixel format a sink asks for,
// into a buffer of its own that is reused while the size stays.
//
// THREADS
//   Used by the engine's video thread only.
#pragma once

#include "engine/ffmpeg/ffmpeg_ptr.h"
#include "engine/video_sink.h"

#include <cstdint>
#include <vector>

namespace tarn::engine {

class VideoScaler {
public:
    // Converts `frame` to `format`; false when it cannot (the size is empty
    // or beyond kLargestConvertedSide, or the scaler refused the formats).
    bool convert(const AVFrame &frame, const VideoFormat &format);
    // The last picture converted, stamped with `time`.
    VideoFrame picture(double time) const;

private:
    ScalerPtr context_;
    std::vector<std::uint8_t> pixels_;
    int stride_ = 0;
    int width_ = 0;
    int height_ = 0;
};

} // namespace tarn::engine
