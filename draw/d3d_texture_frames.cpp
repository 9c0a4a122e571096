// CD3DTexture: the frames of an animated texture and which one shows now.
#include <algorithm>

#include "core/exception.h"
#include "core/frame_clock.h"
#include "draw/d3d_texture.h"

void CD3DTexture::AddFrame(const tex_frame_t& frame) {
    if (frameCount_ >= frames_.capacity) frames_.Reserve(frames_.capacity > 0 ? frames_.capacity * 2 : 16);
    *frames_.Element(frameCount_++) = frame;
    totalDurationMs_ += frame.durationMs;
    loaded_ = 1;
}

void CD3DTexture::ClearFrames() {
    frameCount_ = 0;
    totalDurationMs_ = 0;
    currentFrame_ = 0;
    animationStartMs_ = 0;
}

// Frames follow their own durations: with delays 100, 300 the second frame shows three
// times as long as the first. Equal delays give equal shares.
const tex_frame_t& CD3DTexture::GetCurrentFrame() {
    if (frameCount_ <= 0) throw lumi::Exception("NOT ani");
    if (animationStartMs_ == 0) animationStartMs_ = g_FrameTimeMs;
    std::int32_t index = 0;
    if (totalDurationMs_ > 0) {
        const std::uint32_t elapsed = g_FrameTimeMs - animationStartMs_;
        std::int64_t position = elapsed % static_cast<std::uint32_t>(totalDurationMs_);
        for (; index < frameCount_ - 1; ++index) {
            const std::int32_t duration = frames_.Element(index)->durationMs;
            if (position < duration) break;
            position -= duration > 0 ? duration : 0;
        }
    }
    currentFrame_ = index;
    return *frames_.Element(index);
}

std::uint32_t CD3DTexture::PackFrames(const std::int32_t* widths, const std::int32_t* heights, std::int32_t count,
                                      RECT* rects) {
    constexpr std::int32_t kFirstSide = 32;
    constexpr std::int32_t kLargestSide = 256;
    for (std::int32_t side = kFirstSide; side <= kLargestSide; side *= 2) {
        std::int32_t x = 0;
        std::int32_t y = 0;
        std::int32_t lowest = 0;
        bool fits = true;
        for (std::int32_t i = 0; i < count && fits; ++i) {
            const std::int32_t width = std::max(widths[i], 0);
            const std::int32_t height = std::max(heights[i], 0);
            if (width > side) {
                fits = false;
                break;
            }
            if (x + width > side) {
                x = 0;
                y = lowest;
            }
            if (y + height > side) {
                fits = false;
                break;
            }
            rects[i] = RECT{x, y, x + width, y + height};
            lowest = std::max(lowest, y + height);
            x += width;
        }
        if (fits) return static_cast<std::uint32_t>(side);
    }
    return 0;
}
