#pragma once
// Internal to the image library: what every whole-image transform shares. A transform that
// builds a new picture makes it with CreateLike (so type, background, DPI and the other
// settings carry over), fills it row by row under a RowLoop (progress and cancel), and
// hands it over with HandOver into the caller's destination or into the image itself.
#include "image/raster.h"

namespace lumi::image::detail {

// Makes `picture` an image of width x height at bpp that carries the settings of `source`
// (not its planes, layers or frames). The palette is copied when both are palette images
// of the same depth. On failure the creation's message goes to source's error text.
bool CreateLike(CRaster& source, CRaster& picture, DWORD width, DWORD height, DWORD bpp);

// Moves `picture` into destination, or into `image` when destination is null or image
// itself. The image's layers stay with it; frames never move. Progress reached on `image`
// carries over. False (nothing moved) when the receiving image is a view.
bool HandOver(CRaster& image, CRaster& picture, CRaster* destination);

// Makes `copy` an independent copy of image's pixels, palette and planes, also when image
// is a view (whose plain copy would share the buffers being rewritten). False when the
// copy cannot be allocated.
bool SnapshotOf(CRaster& image, CRaster& copy);

// True when a picture could be handed over to destination (or image): not a view.
bool CanReceive(const CRaster& image, const CRaster* destination);

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
