// Distortions in place: shear and the radial family.
#include <algorithm>
#include <cmath>

#include "image/raster.h"
#include "image/raster_transform_support.h"

namespace {

using lumi::image::detail::RowLoop;
using lumi::image::detail::TruncateCoordinate;

// The pixels to visit: the selection box with a selection plane, else the whole image.
RECT WorkArea(const CRaster& image) {
    const LONG w = static_cast<LONG>(image.GetWidth()), h = static_cast<LONG>(image.GetHeight());
    if (!image.HasSelection()) return RECT{0, h, w, 0};
    const RECT box = image.GetSelectionBox();
    return RECT{std::clamp(box.left, 0, w), std::clamp(box.top, 0, h), std::clamp(box.right, 0, w),
                std::clamp(box.bottom, 0, h)};
}

// Writes into image the colour and alpha of `source` at the truncated position.
void CopyTruncated(CRaster& image, const CRaster& source, LONG x, LONG y, double sx, double sy) {
    const LONG px = TruncateCoordinate(sx), py = TruncateCoordinate(sy);
    if (image.IsIndexed())
        image.WritePixelIndex(x, y, source.GetPixelIndex(px, py));
    else
        image.WritePixelColor(x, y, source.GetPixelColor(px, py, false), false);
    image.SetAlphaAt(x, y, source.GetAlphaAt(px, py));
}

}  // namespace

bool CRaster::Shear(float xGain, float yGain, LONG xPivot, LONG yPivot, bool interpolate) {
    if (!IsValid()) return false;
    CRaster source;  // pixels, selection and alpha as they were
    if (!SnapshotInto(source)) return false;
    const RECT area = WorkArea(*this);
    RowLoop loop(*this, area.top - area.bottom);
    for (LONG y = area.bottom; y < area.top; ++y) {
        if (!loop.Next(y - area.bottom)) return true;
        for (LONG x = area.left; x < area.right; ++x) {
            if (!source.IsSelected(x, y)) continue;
            const double xs = x + static_cast<double>(y - yPivot) * xGain;
            const double ys = y + static_cast<double>(x - xPivot) * yGain;
            if (interpolate) {
                const RGBQUAD c = source.SampleInterpolated(static_cast<float>(xs), static_cast<float>(ys),
                                                            kInterpolateBilinear, kOverflowBackground);
                WritePixelColor(x, y, c, true);
            } else {
                CopyTruncated(*this, source, x, y, xs, ys);
            }
        }
    }
    loop.Finish();
    return true;
}

bool CRaster::RadialTransform(int kind, LONG radius, float factor) {
    if (!IsValid()) return false;
    CRaster source;
    if (!SnapshotInto(source)) return false;
    const double w = GetWidth(), h = GetHeight();
    const double cx = w / 2, cy = h / 2;
    const RECT area = WorkArea(*this);
    double r = radius;
    if (radius == 0) {
        // The farthest corner of the work area, so that every pixel in it is reached.
        const double dx = std::max(std::fabs(area.left - cx), std::fabs(area.right - cx));
        const double dy = std::max(std::fabs(area.bottom - cy), std::fabs(area.top - cy));
        r = std::sqrt(dx * dx + dy * dy);
    }
    const double turn = factor == 0.0f ? 1.0 : factor;
    RowLoop loop(*this, area.top - area.bottom);
    for (LONG y = area.bottom; y < area.top; ++y) {
        if (!loop.Next(y - area.bottom)) return true;
        for (LONG x = area.left; x < area.right; ++x) {
            if (!source.IsSelected(x, y)) continue;
            // Angles as the picture is seen: dy grows upwards from the centre.
            const double dx = x - cx, dy = cy - y;
            const double d = std::sqrt(dx * dx + dy * dy);
            double sx = -1.0, sy = -1.0;
            if (d < r) {
                double a = std::atan2(dy, dx), nd = d;
                switch (kind) {
                    case 0: nd = d * d / r; break;
                    case 1: nd = std::sqrt(d * r); break;
                    case 2: a += d / turn; break;
                    default: break;
                }
                if (kind >= 0 && kind <= 2) {
                    sx = cx + std::cos(a) * nd;
                    sy = cy - std::sin(a) * nd;
                } else if (kind == 3) {
                    sx = std::fabs(a * w / 6.2831852);
                    sy = std::fabs(h * d / r);
                } else {
                    sx = x + (x % 32) - 16;
                    sy = y;
                }
            }
            CopyTruncated(*this, source, x, y, sx, sy);
        }
    }
    loop.Finish();
    return true;
}
