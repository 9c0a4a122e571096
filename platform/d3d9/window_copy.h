#pragma once
// What Present shows: a rectangle of a back buffer copied into a window's pixels (0xAARRGGBB),
// stretched to the destination rectangle by nearest sample as a blit with point filtering does,
// clipped to the window and to the back buffer. Pixels of a format without alpha come out
// opaque. Holds pointers only: the view and the window's pixels must outlive it.
#include <cstdint>

#include "platform/d3d9/pixel_format.h"
#include "platform/d3d9/raster_rows.h"

namespace d3d9sw {

class WindowCopy {
public:
    // `source` lies within the view; `dest` is in window pixels and may reach outside the window.
    // `avx2`: as DrawState::avx2.
    WindowCopy(const SurfaceView& from, const RECT& source, const RECT& dest, std::uint32_t* pixels, int width,
               int height, bool avx2);

    // The window's rows top..bottom-1 that the destination covers.
    void CopyWindowRows(LONG top, LONG bottom) const;
    // Whether each back-buffer row lands on one window row (a destination as high as the
    // source), so that the copy can follow bands of the back buffer's rows.
    bool RowForRow() const { return destHeight_ == sourceHeight_; }
    // For RowForRow: what the back buffer's rows top..bottom-1 show in the window.
    void CopyBufferRows(int top, int bottom) const;

    // The window's pixels the copy writes.
    const RECT& Visible() const { return visible_; }
    std::int64_t VisibleArea() const {
        return std::int64_t{visible_.right - visible_.left} * (visible_.bottom - visible_.top);
    }

private:
    SurfaceView from_;
    RECT source_, dest_, visible_;
    std::uint32_t* pixels_;
    int width_;
    const RowKernels& kernels_;
    long long sourceWidth_, sourceHeight_, destWidth_, destHeight_;
    bool wholeRows_;          // rows of one width in a 32-bit format: copied, not sampled
    std::uint32_t alphaOr_;   // forces alpha where the format has none
};

}  // namespace d3d9sw
