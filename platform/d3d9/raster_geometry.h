#pragma once
// Vertex set-up: reading FVF 0x142 vertices, clipping in clip space (-1 <= x, y <= 1,
// 0 <= z <= 1, w = 1 as the identity transforms leave it), culling, and the viewport mapping
// X = (x + 1) / 2 * Width + X, Y = (1 - y) / 2 * Height + Y, Z = MinZ + z * (MaxZ - MinZ).
#include <cstdint>

#include "platform/d3d9/d3d9_types.h"
#include "platform/d3d9/raster_types.h"

namespace d3d9sw {

// Reads one {x, y, z, diffuse, u, v} record (unaligned memory allowed).
RasterVertex ReadVertex(const std::uint8_t* record);
// Reads one {x, y, z, size, diffuse} record: the size into `size`, u and v 0.
RasterVertex ReadSizedPoint(const std::uint8_t* record, float* size);

bool InsideClipVolume(const RasterVertex& v);
// False when a position or texture coordinate is NaN or infinite: such primitives are dropped.
bool IsFinite(const RasterVertex& v);

// Clips a convex polygon of `count` vertices to the clip volume. `out` needs room for
// count + 6 vertices; returns the number written (0 when nothing is left).
int ClipPolygon(const RasterVertex* in, int count, RasterVertex* out);

// Clips a segment to the clip volume in place; false when nothing is left.
bool ClipSegment(RasterVertex& a, RasterVertex& b);

// A clip-space x or y in pixels.
inline float ViewportX(float x, const D3DVIEWPORT9& vp) {
    return static_cast<float>((static_cast<double>(x) + 1.0) * 0.5 * vp.Width + vp.X);
}
inline float ViewportY(float y, const D3DVIEWPORT9& vp) {
    return static_cast<float>((1.0 - static_cast<double>(y)) * 0.5 * vp.Height + vp.Y);
}
// A clip-space z as viewport depth.
inline float ViewportZ(float z, const D3DVIEWPORT9& vp) {
    return static_cast<float>(vp.MinZ + static_cast<double>(z) * (vp.MaxZ - vp.MinZ));
}

// Maps a clip-space vertex to pixels and viewport depth.
inline void MapToViewport(RasterVertex& v, const D3DVIEWPORT9& vp) {
    v.x = ViewportX(v.x, vp);
    v.y = ViewportY(v.y, vp);
    v.attr[kAttrZ] = ViewportZ(v.attr[kAttrZ], vp);
}

// Twice the signed screen area of a mapped triangle (of anything with pixel positions x and
// y): positive when it winds clockwise on the screen (y down), negative when
// counter-clockwise, 0 when degenerate.
template <class Vertex>
inline double ScreenArea(const Vertex& a, const Vertex& b, const Vertex& c) {
    return (static_cast<double>(b.x) - a.x) * (static_cast<double>(c.y) - a.y) -
           (static_cast<double>(b.y) - a.y) * (static_cast<double>(c.x) - a.x);
}

// Whether CULLMODE removes a triangle of the given screen area (NONE keeps both windings).
inline bool IsCulled(DWORD cullMode, double screenArea) {
    if (cullMode == D3DCULL_CW) return screenArea > 0.0;
    if (cullMode == D3DCULL_CCW) return screenArea < 0.0;
    return false;
}

}  // namespace d3d9sw
