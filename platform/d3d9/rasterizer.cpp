#include "platform/d3d9/rasterizer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/d3d9/raster_geometry.h"
#include "platform/d3d9/raster_pipeline.h"
#include "platform/d3d9/raster_points_lines.h"
#include "platform/d3d9/raster_triangle.h"

namespace d3d9sw {
namespace {


unsigned VerticesPerPrimitive(D3DPRIMITIVETYPE type) {
    switch (type) {
    case D3DPT_POINTLIST: return 1;
    case D3DPT_LINELIST: return 2;
    case D3DPT_TRIANGLELIST: return 3;
    default: return 0;
    }
}

bool IsColorTarget(D3DFORMAT format) {
    return format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8 || format == D3DFMT_R5G6B5 ||
           format == D3DFMT_A4R4G4B4;
}

bool IsDepthFormat(D3DFORMAT format) {
    return format == D3DFMT_D16 || format == D3DFMT_D16_LOCKABLE || format == D3DFMT_D24S8 ||
           format == D3DFMT_D24X8;
}

// The part of `rect` inside the surface, or an empty rectangle.
RECT ClipToSurface(const SurfaceView& view, const RECT& rect) {
    RECT r{std::max<LONG>(rect.left, 0), std::max<LONG>(rect.top, 0), std::min<LONG>(rect.right, view.width),
           std::min<LONG>(rect.bottom, view.height)};
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

// Checks the geometry against the supplied data before anything is drawn, as the debug runtime
// would: every referenced vertex must lie inside the stream.
HRESULT ValidateCall(const DrawCall& call) {
    const unsigned perPrimitive = VerticesPerPrimitive(call.type);
    const UINT vertexBytes = VertexBytesOf(call.fvf);
    if (perPrimitive == 0 || call.vertices == nullptr || vertexBytes == 0 || call.vertexStride < vertexBytes)
        return D3DERR_INVALIDCALL;
    if (call.fvf == kFvfPointSize && call.type != D3DPT_POINTLIST) return D3DERR_INVALIDCALL;
    const std::uint64_t used = static_cast<std::uint64_t>(call.primitiveCount) * perPrimitive;
    if (call.indices == nullptr) {
        return used <= call.vertexCount ? D3D_OK : D3DERR_INVALIDCALL;
    }
    if (used > call.indexCount) return D3DERR_INVALIDCALL;
    for (std::uint64_t i = 0; i < used; ++i) {
        const std::int64_t vertex = static_cast<std::int64_t>(call.indices[i]) + call.baseVertex;
        if (vertex < 0 || vertex >= static_cast<std::int64_t>(call.vertexCount)) return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

constexpr DWORD kMaxViewportExtent = 32768;  // keeps the fixed-point edge maths in 64 bits

HRESULT ValidateState(const DrawState& state) {
    if (state.renderStates == nullptr || state.stageStates == nullptr || state.samplerStates == nullptr)
        return D3DERR_INVALIDCALL;
    if (state.target.bits == nullptr || !IsColorTarget(state.target.format)) return D3DERR_INVALIDCALL;
    if (state.depth.bits != nullptr && !IsDepthFormat(state.depth.format)) return D3DERR_INVALIDCALL;
    const D3DVIEWPORT9& vp = state.viewport;
    if (vp.X > kMaxViewportExtent || vp.Y > kMaxViewportExtent || vp.Width > kMaxViewportExtent ||
        vp.Height > kMaxViewportExtent)
        return D3DERR_INVALIDCALL;
    if (!(vp.MinZ >= 0.0f && vp.MinZ <= 1.0f && vp.MaxZ >= 0.0f && vp.MaxZ <= 1.0f)) return D3DERR_INVALIDCALL;
    return D3D_OK;
}

// The vertex record of the n-th vertex the primitives use.
const std::uint8_t* VertexRecord(const DrawCall& call, std::uint64_t n) {
    const std::int64_t index = call.indices ? static_cast<std::int64_t>(call.indices[n]) + call.baseVertex
                                            : static_cast<std::int64_t>(n);
    return call.vertices + static_cast<std::size_t>(index) * call.vertexStride;
}

void DrawTriangles(const DrawCall& call, DWORD cullMode, PixelPipeline& pipeline) {
    const D3DVIEWPORT9& viewport = pipeline.Viewport();
    for (UINT prim = 0; prim < call.primitiveCount; ++prim) {
        RasterVertex v[3];
        for (int i = 0; i < 3; ++i) v[i] = ReadVertex(VertexRecord(call, 3ull * prim + i));
        if (!IsFinite(v[0]) || !IsFinite(v[1]) || !IsFinite(v[2])) continue;
        // Flat shading takes the first vertex's colour.
        if (pipeline.FlatShading())
            for (int i = 1; i < 3; ++i) std::copy_n(v[0].attr + kAttrB, 4, v[i].attr + kAttrB);
        RasterVertex mapped[3] = {v[0], v[1], v[2]};
        for (RasterVertex& m : mapped) MapToViewport(m, viewport);
        if (IsCulled(cullMode, ScreenArea(mapped[0], mapped[1], mapped[2]))) continue;
        if (InsideClipVolume(v[0]) && InsideClipVolume(v[1]) && InsideClipVolume(v[2])) {
            DrawTriangle(mapped[0], mapped[1], mapped[2], pipeline);
            continue;
        }
        RasterVertex polygon[9];
        const int count = ClipPolygon(v, 3, polygon);
        for (int i = 0; i < count; ++i) MapToViewport(polygon[i], viewport);
        for (int i = 1; i + 1 < count; ++i) DrawTriangle(polygon[0], polygon[i], polygon[i + 1], pipeline);
    }
}

void DrawLines(const DrawCall& call, bool lastPixel, PixelPipeline& pipeline) {
    for (UINT prim = 0; prim < call.primitiveCount; ++prim) {
        RasterVertex a = ReadVertex(VertexRecord(call, 2ull * prim));
        RasterVertex b = ReadVertex(VertexRecord(call, 2ull * prim + 1));
        if (pipeline.FlatShading()) std::copy_n(a.attr + kAttrB, 4, b.attr + kAttrB);
        if (!IsFinite(a) || !IsFinite(b) || !ClipSegment(a, b)) continue;
        MapToViewport(a, pipeline.Viewport());
        MapToViewport(b, pipeline.Viewport());
        DrawLine(a, b, lastPixel, pipeline);
    }
}

float FloatState(const DWORD* renderStates, D3DRENDERSTATETYPE state) {
    float value;
    std::memcpy(&value, &renderStates[state], sizeof value);
    return value;
}

// D3DRS_POINTSIZE within D3DRS_POINTSIZE_MIN and D3DRS_POINTSIZE_MAX; nothing wider than the
// largest viewport, and 0 for a size that is not a number.
float PointSize(const DWORD* renderStates, float size) {
    constexpr float kLargest = 65536.0f;
    size = std::max(size, FloatState(renderStates, D3DRS_POINTSIZE_MIN));
    size = std::min(size, FloatState(renderStates, D3DRS_POINTSIZE_MAX));
    return size >= 0.0f ? std::min(size, kLargest) : 0.0f;
}

void DrawPoints(const DrawCall& call, const DWORD* renderStates, PixelPipeline& pipeline) {
    const bool sprites = renderStates[D3DRS_POINTSPRITEENABLE] != FALSE;
    for (UINT prim = 0; prim < call.primitiveCount; ++prim) {
        const std::uint8_t* record = VertexRecord(call, prim);
        float size = FloatState(renderStates, D3DRS_POINTSIZE);
        RasterVertex v = call.fvf == kFvfPointSize ? ReadSizedPoint(record, &size) : ReadVertex(record);
        if (!IsFinite(v) || !InsideClipVolume(v) || !std::isfinite(size)) continue;
        MapToViewport(v, pipeline.Viewport());
        DrawPoint(v, PointSize(renderStates, size), sprites, pipeline);
    }
}

}  // namespace

UINT VertexBytesOf(DWORD fvf) {
    if (fvf == kFvfTextured) return 24;
    if (fvf == kFvfPointSize) return 20;
    return 0;
}

HRESULT Rasterize(const DrawState& state, const DrawCall& call) {
    HRESULT hr = ValidateCall(call);
    if (FAILED(hr)) return hr;
    hr = ValidateState(state);
    if (FAILED(hr)) return hr;
    PixelPipeline pipeline;
    hr = pipeline.Configure(state, call.type);
    if (FAILED(hr)) return hr;
    switch (call.type) {
    case D3DPT_POINTLIST: DrawPoints(call, state.renderStates, pipeline); break;
    case D3DPT_LINELIST: DrawLines(call, state.renderStates[D3DRS_LASTPIXEL] != FALSE, pipeline); break;
    default: DrawTriangles(call, state.renderStates[D3DRS_CULLMODE], pipeline); break;
    }
    return D3D_OK;
}

void ClearColor(const SurfaceView& target, const RECT& rect, D3DCOLOR argb) {
    const RECT r = ClipToSurface(target, rect);
    if (r.left == r.right || r.top == r.bottom || target.bits == nullptr) return;
    // Fill the first row through the format's writer, then copy it down.
    for (LONG x = r.left; x < r.right; ++x) WritePixel(target, x, r.top, argb);
    const std::size_t bytesPerPixel = DescribeFormat(target.format).bitsPerPixel / 8;
    const std::size_t rowBytes = static_cast<std::size_t>(r.right - r.left) * bytesPerPixel;
    const std::uint8_t* first = target.bits + static_cast<std::ptrdiff_t>(r.top) * target.pitch + r.left * bytesPerPixel;
    for (LONG y = r.top + 1; y < r.bottom; ++y)
        std::memcpy(target.bits + static_cast<std::ptrdiff_t>(y) * target.pitch + r.left * bytesPerPixel, first, rowBytes);
}

void ClearDepth(const SurfaceView& depth, const RECT& rect, float z) {
    const RECT r = ClipToSurface(depth, rect);
    if (r.left == r.right || r.top == r.bottom || depth.bits == nullptr) return;
    const double clamped = std::clamp(static_cast<double>(z), 0.0, 1.0);
    const bool is16 = depth.format == D3DFMT_D16 || depth.format == D3DFMT_D16_LOCKABLE;
    if (!is16 && depth.format != D3DFMT_D24S8 && depth.format != D3DFMT_D24X8) return;
    const std::size_t bytes = is16 ? 2 : 4;
    const std::size_t rowBytes = static_cast<std::size_t>(r.right - r.left) * bytes;
    if (is16) {
        const auto value = static_cast<std::uint16_t>(std::lround(clamped * 65535.0));
        std::uint8_t* first = depth.bits + static_cast<std::ptrdiff_t>(r.top) * depth.pitch + r.left * bytes;
        for (LONG x = 0; x < r.right - r.left; ++x) std::memcpy(first + 2 * x, &value, 2);
        for (LONG y = r.top + 1; y < r.bottom; ++y)
            std::memcpy(depth.bits + static_cast<std::ptrdiff_t>(y) * depth.pitch + r.left * bytes, first, rowBytes);
        return;
    }
    // Depth in the high 24 bits; the stencil byte of each pixel is kept.
    const auto value = static_cast<std::uint32_t>(std::lround(clamped * 16777215.0)) << 8;
    for (LONG y = r.top; y < r.bottom; ++y) {
        std::uint8_t* row = depth.bits + static_cast<std::ptrdiff_t>(y) * depth.pitch;
        for (LONG x = r.left; x < r.right; ++x) {
            std::uint32_t word;
            std::memcpy(&word, row + 4 * x, 4);
            word = value | (word & 0xFFu);
            std::memcpy(row + 4 * x, &word, 4);
        }
    }
}

}  // namespace d3d9sw
