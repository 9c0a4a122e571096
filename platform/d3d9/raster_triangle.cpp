#include "platform/d3d9/raster_triangle.h"

#include <algorithm>
#include <cmath>

namespace d3d9sw {
namespace {

// Edge from vertex i to vertex j of a triangle wound clockwise on the screen: inside where
// dx * (Y - Yi) - dy * (X - Xi) > 0, or == 0 on a top or left edge.
struct Edge {
    std::int64_t xi, yi, dx, dy, bias;

    // Narrows [lo, hi] to the pixels of row `py` inside this edge; false when none are.
    bool Clip(std::int64_t py, std::int64_t& lo, std::int64_t& hi) const {
        const std::int64_t a = -kSubpixels * dy;
        const std::int64_t d = dx * (kSubpixels * py - yi) + dy * xi + bias;  // a * px + d >= 0
        if (a > 0) lo = std::max(lo, CeilDiv(-d, a));
        else if (a < 0) hi = std::min(hi, FloorDiv(d, -a));
        else if (d < 0) return false;
        return lo <= hi;
    }
};

}  // namespace

void DrawTriangle(const RasterVertex& a, const RasterVertex& b, const RasterVertex& c, PixelPipeline& pipeline) {
    const RasterVertex* v[3] = {&a, &b, &c};
    std::int64_t X[3], Y[3];
    for (int i = 0; i < 3; ++i) {
        X[i] = Snap(v[i]->x);
        Y[i] = Snap(v[i]->y);
    }
    const std::int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (Y[1] - Y[0]) * (X[2] - X[0]);
    if (area == 0) return;
    if (area < 0) {  // make the winding clockwise so that inside is positive for every edge
        std::swap(v[1], v[2]);
        std::swap(X[1], X[2]);
        std::swap(Y[1], Y[2]);
    }

    // Attribute planes over the snapped positions.
    const double x0 = static_cast<double>(X[0]) / kSubpixels, y0 = static_cast<double>(Y[0]) / kSubpixels;
    const double dx1 = static_cast<double>(X[1] - X[0]) / kSubpixels, dy1 = static_cast<double>(Y[1] - Y[0]) / kSubpixels;
    const double dx2 = static_cast<double>(X[2] - X[0]) / kSubpixels, dy2 = static_cast<double>(Y[2] - Y[0]) / kSubpixels;
    const double det = dx1 * dy2 - dx2 * dy1;
    double ddx[kAttributeCount], ddy[kAttributeCount];
    for (int k = 0; k < kAttributeCount; ++k) {
        const double da1 = static_cast<double>(v[1]->attr[k]) - v[0]->attr[k];
        const double da2 = static_cast<double>(v[2]->attr[k]) - v[0]->attr[k];
        ddx[k] = (da1 * dy2 - da2 * dy1) / det;
        ddy[k] = (da2 * dx1 - da1 * dx2) / det;
    }
    if (pipeline.FilterTextureWidth() > 0) {
        const double w = pipeline.FilterTextureWidth(), h = pipeline.FilterTextureHeight();
        pipeline.SelectFilter(std::max(std::hypot(ddx[kAttrU] * w, ddx[kAttrV] * h),
                                       std::hypot(ddy[kAttrU] * w, ddy[kAttrV] * h)));
    }

    Edge edges[3];
    for (int i = 0; i < 3; ++i) {
        const int j = (i + 1) % 3;
        const std::int64_t dx = X[j] - X[i], dy = Y[j] - Y[i];
        const bool topLeft = dy < 0 || (dy == 0 && dx > 0);
        edges[i] = {X[i], Y[i], dx, dy, topLeft ? 0 : -1};
    }
    const RECT& clip = pipeline.Scissor();
    const std::int64_t minY = std::min({Y[0], Y[1], Y[2]}), maxY = std::max({Y[0], Y[1], Y[2]});
    const std::int64_t top = std::max<std::int64_t>(CeilDiv(minY, kSubpixels), clip.top);
    const std::int64_t bottom = std::min<std::int64_t>(FloorDiv(maxY, kSubpixels), clip.bottom - 1);

    SpanStart start;
    for (int k = 0; k < kAttributeCount; ++k) start.step[k] = ddx[k];
    for (std::int64_t py = top; py <= bottom; ++py) {
        std::int64_t lo = clip.left, hi = clip.right - 1;
        if (!edges[0].Clip(py, lo, hi) || !edges[1].Clip(py, lo, hi) || !edges[2].Clip(py, lo, hi)) continue;
        const double ox = static_cast<double>(lo) - x0, oy = static_cast<double>(py) - y0;
        for (int k = 0; k < kAttributeCount; ++k) start.value[k] = v[0]->attr[k] + ddx[k] * ox + ddy[k] * oy;
        pipeline.DrawSpan(static_cast<int>(py), static_cast<int>(lo), static_cast<int>(hi + 1), start);
    }
}

}  // namespace d3d9sw
