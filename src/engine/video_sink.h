// Where the engine's pictures go: a plain interface that a window implements
// (see Engine::setVideoSink).
//
// THREADS
//   Both members run on the engine's video thread, one call at a time, with
//   the engine's sink lock held: they must return promptly (copy the
//   picture, post a repaint) and never call back into the engine.
//   Engine::setVideoSink() waits for a call that is running, so once it
//   returns the old sink is not called again.
#pragma once

#include <cstdint>

namespace tarn::engine {

enum class PixelFormat {
    Rgb32, // 32 bits a pixel, 0xffRRGGBB in the machine's byte order
};

struct VideoFormat {
    int width = 0; // pixels; 0 or less: the picture is not shown
    int height = 0;
    PixelFormat pixels = PixelFormat::Rgb32;
};

struct VideoFrame {
    const std::uint8_t *data = nullptr; // valid only during present()
    int stride = 0;                     // bytes from one line to the next
    int width = 0;
    int height = 0;
    double time = 0; // the picture's presentation time, seconds from the start
};

class VideoSink {
public:
    virtual ~VideoSink() = default;
    // The size and pixel format to convert the next picture to, for a
    // picture that shows `width` x `height` (its pixel aspect applied).
    virtual VideoFormat videoFormat(int width, int height) = 0;
    // The picture, converted to what videoFormat() asked for, at its time.
    virtual void present(const VideoFrame &frame) = 0;
};

} // namespace tarn::engine
