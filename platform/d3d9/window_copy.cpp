#include "platform/d3d9/window_copy.h"

#include <algorithm>

namespace d3d9sw {

WindowCopy::WindowCopy(const SurfaceView& from, const RECT& source, const RECT& dest, std::uint32_t* pixels, int width,
                       int height, bool avx2)
    : from_(from), source_(source), dest_(dest), pixels_(pixels), width_(width), kernels_(SelectRowKernels(avx2)) {
    visible_ = RECT{std::max<LONG>(dest.left, 0), std::max<LONG>(dest.top, 0), std::min<LONG>(dest.right, width),
                    std::min<LONG>(dest.bottom, height)};
    if (visible_.left >= visible_.right || visible_.top >= visible_.bottom) visible_ = RECT{0, 0, 0, 0};
    sourceWidth_ = source.right - source.left;
    sourceHeight_ = source.bottom - source.top;
    destWidth_ = static_cast<long long>(dest.right) - dest.left;
    destHeight_ = static_cast<long long>(dest.bottom) - dest.top;
    wholeRows_ = sourceWidth_ == destWidth_ && (from.format == D3DFMT_X8R8G8B8 || from.format == D3DFMT_A8R8G8B8);
    alphaOr_ = from.format == D3DFMT_X8R8G8B8 ? 0xFF000000u : 0u;  // ReadPixel's X8 rule
}

void WindowCopy::CopyWindowRows(LONG top, LONG bottom) const {
    top = std::max(top, visible_.top);
    bottom = std::min(bottom, visible_.bottom);
    for (LONG y = top; y < bottom; ++y) {
        const long long sy = source_.top + (static_cast<long long>(y) - dest_.top) * sourceHeight_ / destHeight_;
        if (sy < 0 || sy >= from_.height) continue;
        std::uint32_t* row = pixels_ + static_cast<std::ptrdiff_t>(y) * width_;
        if (wholeRows_) {
            // Source columns of the visible part, clipped to the back buffer.
            const long long offset = source_.left - static_cast<long long>(dest_.left);
            const LONG left = static_cast<LONG>(std::max<long long>(visible_.left, -offset));
            const LONG right = static_cast<LONG>(std::min<long long>(visible_.right, from_.width - offset));
            const std::uint8_t* line = from_.bits + static_cast<std::ptrdiff_t>(sy) * from_.pitch;
            if (right > left) kernels_.copyPixelsOr(row + left, line + 4 * (left + offset), right - left, alphaOr_);
            continue;
        }
        for (LONG x = visible_.left; x < visible_.right; ++x) {
            const long long sx = source_.left + (static_cast<long long>(x) - dest_.left) * sourceWidth_ / destWidth_;
            if (sx < 0 || sx >= from_.width) continue;
            row[x] = ReadPixel(from_, static_cast<int>(sx), static_cast<int>(sy));
        }
    }
}

void WindowCopy::CopyBufferRows(int top, int bottom) const {
    const long long shift = static_cast<long long>(dest_.top) - source_.top;
    const long long first = std::max<long long>(top, source_.top) + shift;
    const long long last = std::min<long long>(bottom, source_.bottom) + shift;
    if (first < last)
        CopyWindowRows(static_cast<LONG>(std::clamp<long long>(first, visible_.top, visible_.bottom)),
                       static_cast<LONG>(std::clamp<long long>(last, visible_.top, visible_.bottom)));
}

}  // namespace d3d9sw
