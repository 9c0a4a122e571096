#pragma once
// Internal to the image library: what every whole-image transform shares besides the
// CRaster members CreateLike and HandOver. A transform that builds a new picture fills it
// row by row under a RowLoop (progress and cancel); coordinates computed in floating point
// reach the pixel accessors through TruncateCoordinate and SizeFromDouble.
#include "image/raster.h"

namespace lumi::image::detail {

// Progress and cancel of a loop over rows (or bands): Next(row) stores row x 100 / rows
// as the image's progress and tells whether to go on (the escape word is 0). Finish
// stores 100 when the loop ran to its end.
class RowLoop {
public:
    RowLoop(CRaster& image, long long rows) : image_(image), rows_(rows > 0 ? rows : 1) {}
    bool Next(long long row) {
        image_.SetProgress(static_cast<LONG>(row * 100 / rows_));
        return image_.GetEscape() == 0;
    }
    void Finish() {
        if (image_.GetEscape() == 0) image_.SetProgress(100);
    }

private:
    CRaster& image_;
    long long rows_;
};

// Truncates toward zero into a pixel coordinate. Values beyond the coordinate range (and
// NaN) become a position far outside every image instead of an undefined conversion.
inline LONG TruncateCoordinate(double v) {
    constexpr double kLimit = 1073741824.0;  // 2^30: far outside, still safe to offset
    if (!(v > -kLimit)) return static_cast<LONG>(-kLimit);
    if (v >= kLimit) return static_cast<LONG>(kLimit);
    return static_cast<LONG>(v);
}

// A size computed in floating point, as a DWORD for CRaster::Create: values beyond the
// 32-bit range saturate, so that Create reports them as too large.
inline DWORD SizeFromDouble(double v) {
    if (!(v > 0.0)) return 0;
    if (v >= 4294967295.0) return 0xFFFFFFFFu;
    return static_cast<DWORD>(v);
}

}  // namespace lumi::image::detail
