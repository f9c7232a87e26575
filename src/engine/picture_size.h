// The size arithmetic of pictures, shared by the video decoder (the shape a
// picture shows at) and the window that shows it (the size to convert it
// to): done in floating point and clamped before it becomes an int, so a
// file's huge or zero sizes and odd pixel aspects give sizes that are
// bounded and never undefined.
#pragma once

#include <algorithm>
#include <cmath>

namespace tarn::engine {

struct PictureSize {
    int width = 0;
    int height = 0;
    bool operator==(const PictureSize &) const = default;
};

// No side of a picture's shape is taken as longer than this (a shape only
// gives the proportions; what is converted is fitted to a screen).
inline constexpr int kLongestPictureSide = 1 << 20;
// No picture is converted to more than this a side (a 16K screen's width).
inline constexpr int kLargestConvertedSide = 16384;

// The shape a `width` x `height` picture of pixel aspect `aspectNum`:
// `aspectDen` shows at: its width stretched by the aspect (1:1 when the
// aspect is not a positive one). 0 x 0 for an empty picture; otherwise each
// side is within 1 .. kLongestPictureSide.
inline PictureSize displayShape(int width, int height, int aspectNum, int aspectDen)
{
    if (width <= 0 || height <= 0)
        return {};
    const double aspect = aspectNum > 0 && aspectDen > 0 ? double(aspectNum) / aspectDen : 1.0;
    const auto side = [](double v) {
        return int(std::lround(std::clamp(v, 1.0, double(kLongestPictureSide))));
    };
    return {side(width * aspect), side(height)};
}

// The largest size of the shape `width` x `height` within `boundWidth` x
// `boundHeight`, larger or smaller than the shape (whole pixels, rounded
// down); each side at least 1. 0 x 0 when the shape or the bound is empty.
inline PictureSize fitPicture(int width, int height, int boundWidth, int boundHeight)
{
    if (width <= 0 || height <= 0 || boundWidth <= 0 || boundHeight <= 0)
        return {};
    // Products of two ints fit in 64 bits.
    const long long atFullHeight = (long long)boundHeight * width / height;
    if (atFullHeight <= boundWidth)
        return {int(std::max(atFullHeight, 1LL)), boundHeight};
    return {boundWidth, int(std::max((long long)boundWidth * height / width, 1LL))};
}

} // namespace tarn::engine
