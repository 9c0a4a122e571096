#include "platform/d3d9/raster_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace d3d9sw {
namespace {

// The six clip planes as signed distances (inside >= 0).
double PlaneDistance(const RasterVertex& v, int plane) {
    switch (plane) {
    case 0: return 1.0 + v.x;
    case 1: return 1.0 - v.x;
    case 2: return 1.0 + v.y;
    case 3: return 1.0 - v.y;
    case 4: return v.attr[kAttrZ];
    default: return 1.0 - v.attr[kAttrZ];
    }
}

RasterVertex Lerp(const RasterVertex& a, const RasterVertex& b, double t) {
    auto mix = [t](float from, float to) {
        return static_cast<float>(from + (static_cast<double>(to) - from) * t);  // differences in double
    };
    RasterVertex r;
    r.x = mix(a.x, b.x);
    r.y = mix(a.y, b.y);
    for (int k = 0; k < kAttributeCount; ++k) r.attr[k] = mix(a.attr[k], b.attr[k]);
    return r;
}

// Clipped vertices lie on or inside the volume up to rounding; far-away inputs can make that
// rounding large, so positions are pinned to the volume.
void PinToVolume(RasterVertex& v) {
    v.x = std::clamp(v.x, -1.0f, 1.0f);
    v.y = std::clamp(v.y, -1.0f, 1.0f);
    v.attr[kAttrZ] = std::clamp(v.attr[kAttrZ], 0.0f, 1.0f);
}

RasterVertex VertexOf(const float (&xyz)[3], std::uint32_t diffuse, float u, float v) {
    RasterVertex vertex;
    vertex.x = xyz[0];
    vertex.y = xyz[1];
    vertex.attr[kAttrZ] = xyz[2];
    vertex.attr[kAttrB] = static_cast<float>(diffuse & 0xFF);
    vertex.attr[kAttrG] = static_cast<float>((diffuse >> 8) & 0xFF);
    vertex.attr[kAttrR] = static_cast<float>((diffuse >> 16) & 0xFF);
    vertex.attr[kAttrA] = static_cast<float>(diffuse >> 24);
    vertex.attr[kAttrU] = u;
    vertex.attr[kAttrV] = v;
    return vertex;
}

}  // namespace

RasterVertex ReadVertex(const std::uint8_t* record) {
    float xyz[3], uv[2];
    std::uint32_t diffuse;
    std::memcpy(xyz, record, 12);
    std::memcpy(&diffuse, record + 12, 4);
    std::memcpy(uv, record + 16, 8);
    return VertexOf(xyz, diffuse, uv[0], uv[1]);
}

RasterVertex ReadSizedPoint(const std::uint8_t* record, float* size) {
    float xyz[3];
    std::uint32_t diffuse;
    std::memcpy(xyz, record, 12);
    std::memcpy(size, record + 12, 4);
    std::memcpy(&diffuse, record + 16, 4);
    return VertexOf(xyz, diffuse, 0.0f, 0.0f);
}

bool InsideClipVolume(const RasterVertex& v) {
    for (int plane = 0; plane < 6; ++plane)
        if (!(PlaneDistance(v, plane) >= 0.0)) return false;  // NaN counts as outside
    return true;
}

bool IsFinite(const RasterVertex& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.attr[kAttrZ]) && std::isfinite(v.attr[kAttrU]) &&
           std::isfinite(v.attr[kAttrV]);
}

int ClipPolygon(const RasterVertex* in, int count, RasterVertex* out) {
    RasterVertex buffer[2][12];
    const RasterVertex* src = in;
    int n = count;
    for (int plane = 0; plane < 6; ++plane) {
        RasterVertex* dst = buffer[plane % 2];
        int m = 0;
        for (int i = 0; i < n; ++i) {
            const RasterVertex& a = src[i];
            const RasterVertex& b = src[(i + 1) % n];
            const double da = PlaneDistance(a, plane), db = PlaneDistance(b, plane);
            const bool aIn = da >= 0.0, bIn = db >= 0.0;
            if (aIn) dst[m++] = a;
            if (aIn != bIn && (da - db) != 0.0) dst[m++] = Lerp(a, b, da / (da - db));
        }
        n = m;
        src = dst;
        if (n < 3) return 0;
    }
    for (int i = 0; i < n; ++i) {
        out[i] = src[i];
        PinToVolume(out[i]);
    }
    return n;
}

bool ClipSegment(RasterVertex& a, RasterVertex& b) {
    double t0 = 0.0, t1 = 1.0;
    for (int plane = 0; plane < 6; ++plane) {
        const double da = PlaneDistance(a, plane), db = PlaneDistance(b, plane);
        if (!(da >= 0.0) && !(db >= 0.0)) return false;
        if (da < 0.0) t0 = std::max(t0, da / (da - db));
        else if (db < 0.0) t1 = std::min(t1, da / (da - db));
    }
    if (t0 > t1) return false;
    const RasterVertex start = a, end = b;
    if (t0 > 0.0) a = Lerp(start, end, t0);
    if (t1 < 1.0) b = Lerp(start, end, t1);
    PinToVolume(a);
    PinToVolume(b);
    return true;
}

}  // namespace d3d9sw
