#include "platform/d3d9/raster_points_lines.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace d3d9sw {
namespace {

// The pixel a vertex lights, after snapping to 1/256 pixel as triangles do.
std::int64_t PixelOf(float coordinate) {
    const std::int64_t snapped = std::llround(static_cast<double>(coordinate) * 256.0);
    return (snapped + 128) >> 8;
}

void DrawPixel(std::int64_t x, std::int64_t y, const SpanStart& start, PixelPipeline& pipeline) {
    const RECT& clip = pipeline.Scissor();
    if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom) return;
    pipeline.DrawSpan(static_cast<int>(y), static_cast<int>(x), static_cast<int>(x + 1), start);
}

}  // namespace

void DrawPoint(const RasterVertex& v, PixelPipeline& pipeline) {
    pipeline.SelectFilter(0.0);
    SpanStart start;
    for (int k = 0; k < kAttributeCount; ++k) start.value[k] = v.attr[k];
    DrawPixel(PixelOf(v.x), PixelOf(v.y), start, pipeline);
}

void DrawLine(const RasterVertex& a, const RasterVertex& b, bool lastPixel, PixelPipeline& pipeline) {
    pipeline.SelectFilter(0.0);
    const std::int64_t x0 = PixelOf(a.x), y0 = PixelOf(a.y), x1 = PixelOf(b.x), y1 = PixelOf(b.y);
    const std::int64_t dx = std::llabs(x1 - x0), dy = std::llabs(y1 - y0);
    const std::int64_t sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    const std::int64_t steps = std::max(dx, dy);
    SpanStart start;
    std::int64_t x = x0, y = y0, error = dx - dy;
    for (std::int64_t i = 0; i < steps || (i == steps && lastPixel); ++i) {
        const double t = steps == 0 ? 0.0 : static_cast<double>(i) / static_cast<double>(steps);
        for (int k = 0; k < kAttributeCount; ++k)
            start.value[k] = a.attr[k] + (static_cast<double>(b.attr[k]) - a.attr[k]) * t;
        DrawPixel(x, y, start, pipeline);
        const std::int64_t e2 = 2 * error;
        if (e2 > -dy) {
            error -= dy;
            x += sx;
        }
        if (e2 < dx) {
            error += dx;
            y += sy;
        }
    }
}

}  // namespace d3d9sw
