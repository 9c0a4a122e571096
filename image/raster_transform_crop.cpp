// Cropping: an upright rectangle, and a rectangle turned by an angle.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "image/raster.h"
#include "image/raster_transform_support.h"

using lumi::image::detail::RowLoop;

bool CRaster::CropToRect(LONG left, LONG top, LONG right, LONG bottom, CRaster* destination) {
    if (!IsValid() || !CanReceive(destination)) return false;
    const LONG w = static_cast<LONG>(GetWidth()), h = static_cast<LONG>(GetHeight());
    left = std::clamp(left, 0, w);
    right = std::clamp(right, 0, w);
    // Top-down edges become stored rows: row h - top is one past the rectangle's top row.
    LONG upper = h - std::clamp(top, 0, h);
    LONG lower = h - std::clamp(bottom, 0, h);
    if (left > right) std::swap(left, right);
    if (lower > upper) std::swap(lower, upper);
    if (left == right || lower == upper) return false;

    const LONG newW = right - left, newH = upper - lower;
    CRaster picture;
    if (!CreateLike(picture, static_cast<DWORD>(newW), static_cast<DWORD>(newH), GetBpp())) return false;
    const bool withAlpha = HasAlpha();
    if (withAlpha && !picture.CreateAlpha()) return false;
    const WORD bpp = GetBpp();
    RowLoop loop(*this, newH);
    for (LONG y = 0; y < newH; ++y) {
        if (!loop.Next(y)) return HandOver(picture, destination);
        const LONG sy = lower + y;
        if (bpp >= 8) {
            std::memcpy(picture.GetBits(static_cast<DWORD>(y)),
                        GetBits(static_cast<DWORD>(sy)) + static_cast<std::size_t>(left) * bpp / 8,
                        static_cast<std::size_t>(newW) * bpp / 8);
        } else {
            for (LONG x = 0; x < newW; ++x) picture.WritePixelIndex(x, y, ReadPixelIndex(left + x, sy));
        }
        if (withAlpha) std::memcpy(picture.GetAlphaPointer(0, y), GetAlphaPointer(left, sy), newW);
    }
    loop.Finish();
    return HandOver(picture, destination);
}

bool CRaster::CropToRect(const RECT& rect, CRaster* destination) {
    return CropToRect(rect.left, rect.top, rect.right, rect.bottom, destination);
}

bool CRaster::CropAtAngle(LONG left, LONG top, LONG width, LONG height, float angleRadians, CRaster* destination) {
    if (!IsValid() || !CanReceive(destination) || !std::isfinite(angleRadians)) return false;
    if (std::fabs(angleRadians) < 0.0002f) {
        const long long r = static_cast<long long>(left) + width, b = static_cast<long long>(top) + height;
        return CropToRect(left, top, static_cast<LONG>(std::clamp<long long>(r, INT32_MIN, INT32_MAX)),
                          static_cast<LONG>(std::clamp<long long>(b, INT32_MIN, INT32_MAX)), destination);
    }
    if (width <= 0 || height <= 0) return false;
    // Top-down corners of the turned rectangle: its width runs along (cos, -sin) and its
    // height along (sin, cos), a counter-clockwise turn as the picture is seen.
    const double c = std::cos(static_cast<double>(angleRadians)), s = std::sin(static_cast<double>(angleRadians));
    const double xs[4] = {double(left), left + width * c, left + height * s, left + width * c + height * s};
    const double ys[4] = {double(top), top - width * s, top + height * c, top - width * s + height * c};
    const double w = GetWidth(), h = GetHeight();
    auto inside = [w, h](double x, double y) { return x >= 0 && x <= w && y >= 0 && y <= h; };
    if (!inside(xs[0], ys[0]) || !inside(xs[3], ys[3])) return false;

    // Whole pixels around the corners; a corner a rounding error past a pixel edge (a
    // quarter turn's cosine is not exactly 0) does not take in a whole extra column.
    constexpr double kSlack = 1e-3;
    const double minX = std::floor(*std::min_element(xs, xs + 4) + kSlack);
    const double maxX = std::ceil(*std::max_element(xs, xs + 4) - kSlack);
    const double minY = std::floor(*std::min_element(ys, ys + 4) + kSlack);
    const double maxY = std::ceil(*std::max_element(ys, ys + 4) - kSlack);
    CRaster box;
    if (!CropToRect(static_cast<LONG>(std::max(minX, 0.0)), static_cast<LONG>(std::max(minY, 0.0)),
                    static_cast<LONG>(std::min(maxX, w)), static_cast<LONG>(std::min(maxY, h)), &box))
        return false;
    bool upright = box.Rotate(static_cast<float>(-angleRadians * 57.29577951308232));
    if (upright) {
        const LONG cx = (static_cast<LONG>(box.GetWidth()) - width) / 2;
        const LONG cy = (static_cast<LONG>(box.GetHeight()) - height) / 2;
        upright = box.CropToRect(cx, cy, cx + width, cy + height);
    }
    if (!upright) {
        SetLastError(box.GetLastError());
        return false;
    }
    return HandOver(box, destination);
}
