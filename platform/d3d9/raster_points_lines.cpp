#include "platform/d3d9/raster_points_lines.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace d3d9sw {
namespace {

constexpr std::int64_t kHalf = kSubpixels / 2;

// A parameter t = num / den along a segment (den > 0), exact.
struct Fraction {
    std::int64_t num, den;
};
bool Less(const Fraction& a, const Fraction& b) { return a.num * b.den < b.num * a.den; }
bool Equal(const Fraction& a, const Fraction& b) { return a.num * b.den == b.num * a.den; }

// The part t of [0, 1] in which a point of the segment satisfies every constraint so far; each
// end is open or closed.
class Interval {
public:
    // Narrows to the t with value + slope * t <= limit (or < limit when `strict`).
    void Keep(std::int64_t value, std::int64_t slope, std::int64_t limit, bool strict) {
        if (slope == 0) {
            if (strict ? value >= limit : value > limit) empty_ = true;
            return;
        }
        if (slope > 0) {
            const Fraction bound{limit - value, slope};
            if (Less(bound, hi_) || (Equal(bound, hi_) && strict)) {
                hi_ = bound;
                hiOpen_ = strict;
            }
        } else {
            const Fraction bound{value - limit, -slope};
            if (Less(lo_, bound) || (Equal(bound, lo_) && strict)) {
                lo_ = bound;
                loOpen_ = strict;
            }
        }
    }
    bool Empty() const {
        if (empty_ || Less(hi_, lo_)) return true;
        return Equal(lo_, hi_) && (loOpen_ || hiOpen_);
    }

private:
    Fraction lo_{0, 1}, hi_{1, 1};
    bool loOpen_ = false, hiOpen_ = false, empty_ = false;
};

// The diamond of a pixel, relative to its centre in 1/256 pixel: the lower edges and the bottom
// corner are inside, the upper edges and the left and right corners outside, except that a
// y-major line owns the right corner.
struct Diamond {
    bool yMajor;

    bool Contains(std::int64_t x, std::int64_t y) const {
        if (yMajor && x == kHalf && y == 0) return true;
        return x + y <= kHalf && y - x <= kHalf && x - y < kHalf && -x - y < kHalf;
    }
    // Whether the segment from (sx, sy) along (dx, dy) meets the diamond.
    bool Meets(std::int64_t sx, std::int64_t sy, std::int64_t dx, std::int64_t dy) const {
        Interval t;
        t.Keep(sx + sy, dx + dy, kHalf, false);
        t.Keep(sy - sx, dy - dx, kHalf, false);
        t.Keep(sx - sy, dx - dy, kHalf, true);
        t.Keep(-sx - sy, -dx - dy, kHalf, true);
        if (!t.Empty()) return true;
        if (!yMajor) return false;
        // The right corner alone: on the segment's line and within its length.
        const std::int64_t rx = kHalf - sx, ry = -sy;
        if (rx * dy - ry * dx != 0) return false;
        const std::int64_t along = rx * dx + ry * dy;
        return along >= 0 && along <= dx * dx + dy * dy;
    }
};

void DrawPixel(std::int64_t x, std::int64_t y, const SpanStart& start, PixelPipeline& pipeline) {
    const RECT& clip = pipeline.Scissor();
    if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom) return;
    pipeline.DrawSpan(static_cast<int>(y), static_cast<int>(x), static_cast<int>(x + 1), start);
}

}  // namespace

void DrawPoint(const RasterVertex& v, float size, bool sprite, PixelPipeline& pipeline) {
    const double texels = sprite && size > 0.0f ? pipeline.FilterTextureWidth() / static_cast<double>(size) : 0.0;
    pipeline.SelectFilter(texels);
    const std::int64_t half = std::llround(static_cast<double>(size) * kHalf);
    const std::int64_t x = Snap(v.x), y = Snap(v.y);
    const RECT& clip = pipeline.Scissor();
    // Left and top edges inside, right and bottom edges outside.
    const std::int64_t left = std::max<std::int64_t>(CeilDiv(x - half, kSubpixels), clip.left);
    const std::int64_t right = std::min<std::int64_t>(CeilDiv(x + half, kSubpixels), clip.right);
    const std::int64_t top = std::max<std::int64_t>(CeilDiv(y - half, kSubpixels), clip.top);
    const std::int64_t bottom = std::min<std::int64_t>(CeilDiv(y + half, kSubpixels), clip.bottom);
    if (left >= right) return;
    SpanStart start;
    for (int k = 0; k < kAttributeCount; ++k) start.value[k] = v.attr[k];
    // Across the square: from its edge to the pixel's centre (pixel centres lie on integers),
    // over its side.
    const double side = static_cast<double>(2 * half);
    auto across = [&](std::int64_t pixel, std::int64_t centre) {
        return static_cast<double>(pixel * kSubpixels - (centre - half)) / side;
    };
    if (sprite) {
        start.value[kAttrU] = across(left, x);
        start.step[kAttrU] = static_cast<double>(kSubpixels) / side;
    }
    for (std::int64_t row = top; row < bottom; ++row) {
        if (sprite) start.value[kAttrV] = across(row, y);
        pipeline.DrawSpan(static_cast<int>(row), static_cast<int>(left), static_cast<int>(right), start);
    }
}

void DrawLine(const RasterVertex& a, const RasterVertex& b, bool lastPixel, PixelPipeline& pipeline) {
    pipeline.SelectFilter(0.0);
    const std::int64_t sx = Snap(a.x), sy = Snap(a.y), ex = Snap(b.x), ey = Snap(b.y);
    const std::int64_t dx = ex - sx, dy = ey - sy;
    const bool yMajor = std::llabs(dy) > std::llabs(dx);
    const Diamond diamond{yMajor};
    // Walk the major axis pixel by pixel; in each column (or row) only the few pixels whose
    // diamonds the segment's part there can reach are tested.
    const std::int64_t major0 = yMajor ? sy : sx, majorDelta = yMajor ? dy : dx;
    const std::int64_t minor0 = yMajor ? sx : sy, minorDelta = yMajor ? dx : dy;
    const std::int64_t first = FloorDiv(std::min(major0, major0 + majorDelta) - kHalf, kSubpixels);
    const std::int64_t last = CeilDiv(std::max(major0, major0 + majorDelta) + kHalf, kSubpixels);
    auto minorAt = [&](std::int64_t major) {  // on the segment, major clamped to its extent
        if (majorDelta == 0) return static_cast<double>(minor0);
        const double t = std::clamp(static_cast<double>(major - major0) / static_cast<double>(majorDelta), 0.0, 1.0);
        return static_cast<double>(minor0) + t * static_cast<double>(minorDelta);
    };
    SpanStart start;
    for (std::int64_t p = first; p <= last; ++p) {
        const double m0 = minorAt(p * kSubpixels - kHalf), m1 = minorAt(p * kSubpixels + kHalf);
        const auto low = static_cast<std::int64_t>(std::floor((std::min(m0, m1) - kHalf) / kSubpixels));
        const auto high = static_cast<std::int64_t>(std::ceil((std::max(m0, m1) + kHalf) / kSubpixels));
        for (std::int64_t q = low; q <= high; ++q) {
            const std::int64_t px = yMajor ? q : p, py = yMajor ? p : q;
            const std::int64_t cx = px * kSubpixels, cy = py * kSubpixels;
            if (!diamond.Meets(sx - cx, sy - cy, dx, dy)) continue;
            if (!lastPixel && diamond.Contains(ex - cx, ey - cy)) continue;  // never left
            const double t = majorDelta == 0 ? 0.0
                                             : std::clamp(static_cast<double>(p * kSubpixels - major0) /
                                                              static_cast<double>(majorDelta),
                                                          0.0, 1.0);
            for (int k = 0; k < kAttributeCount; ++k)
                start.value[k] = a.attr[k] + (static_cast<double>(b.attr[k]) - a.attr[k]) * t;
            DrawPixel(px, py, start, pipeline);
        }
    }
}

}  // namespace d3d9sw
