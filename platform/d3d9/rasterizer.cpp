#include "platform/d3d9/rasterizer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace d3d9sw {
namespace {

constexpr UINT kVertexBytes = 24;  // FVF 0x142: x, y, z, diffuse, u, v

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
    if (perPrimitive == 0 || call.vertices == nullptr || call.vertexStride < kVertexBytes) return D3DERR_INVALIDCALL;
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

HRESULT ValidateState(const DrawState& state) {
    if (state.renderStates == nullptr || state.stageStates == nullptr || state.samplerStates == nullptr)
        return D3DERR_INVALIDCALL;
    if (state.target.bits == nullptr || !IsColorTarget(state.target.format)) return D3DERR_INVALIDCALL;
    if (state.depth.bits != nullptr && !IsDepthFormat(state.depth.format)) return D3DERR_INVALIDCALL;
    return D3D_OK;
}

}  // namespace

HRESULT Rasterize(const DrawState& state, const DrawCall& call) {
    HRESULT hr = ValidateCall(call);
    if (FAILED(hr)) return hr;
    hr = ValidateState(state);
    if (FAILED(hr)) return hr;
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
    for (LONG y = r.top; y < r.bottom; ++y) {
        std::uint8_t* row = depth.bits + static_cast<std::ptrdiff_t>(y) * depth.pitch;
        if (depth.format == D3DFMT_D16 || depth.format == D3DFMT_D16_LOCKABLE) {
            const auto value = static_cast<std::uint16_t>(std::lround(clamped * 65535.0));
            for (LONG x = r.left; x < r.right; ++x) std::memcpy(row + 2 * x, &value, 2);
        } else if (depth.format == D3DFMT_D24S8 || depth.format == D3DFMT_D24X8) {
            // Depth in the high 24 bits; the stencil byte is kept.
            const auto value = static_cast<std::uint32_t>(std::lround(clamped * 16777215.0)) << 8;
            for (LONG x = r.left; x < r.right; ++x) {
                std::uint32_t word;
                std::memcpy(&word, row + 4 * x, 4);
                word = value | (word & 0xFFu);
                std::memcpy(row + 4 * x, &word, 4);
            }
        }
    }
}

}  // namespace d3d9sw
