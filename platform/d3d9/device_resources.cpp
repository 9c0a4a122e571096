// Resource creation and the copies between surfaces.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/d3d9/control_state.h"
#include "platform/d3d9/device.h"
#include "platform/d3d9/format_rules.h"

namespace d3d9sw {
namespace {

constexpr DWORD kTextureUsages = D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC;
constexpr DWORD kBufferUsages =
    D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC | D3DUSAGE_SOFTWAREPROCESSING | D3DUSAGE_DONOTCLIP | D3DUSAGE_POINTS;
constexpr UINT kMaxSurfaceSide = 16384;
constexpr UINT kFvf0x142VertexBytes = 24;

// The shape rules of D3DCAPS9::TextureCaps and MaxTextureAspectRatio for a texture of `levels`
// levels (the full chain already counted).
bool ShapeAllowed(const D3DCAPS9& caps, UINT width, UINT height, UINT levels, D3DFORMAT format) {
    if (!IsPowerOfTwo(width) || !IsPowerOfTwo(height)) {
        // Conditional support: one level, and no block-compressed format.
        if ((caps.TextureCaps & D3DPTEXTURECAPS_POW2) &&
            (!(caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) || levels != 1 ||
             DescribeFormat(format).compressed))
            return false;
    }
    if ((caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) && width != height) return false;
    const std::uint64_t longer = std::max(width, height), shorter = std::min(width, height);
    return caps.MaxTextureAspectRatio == 0 || longer <= shorter * caps.MaxTextureAspectRatio;
}

bool IsPool(D3DPOOL pool) { return pool == D3DPOOL_DEFAULT || pool == D3DPOOL_MANAGED || pool == D3DPOOL_SYSTEMMEM; }

bool MultiSampleOffered(const d3d9ctl::AdapterConfig& adapter, D3DMULTISAMPLE_TYPE type, DWORD quality) {
    if (type == D3DMULTISAMPLE_NONE) return quality == 0;
    const auto it = adapter.multiSample.find(type);
    return it != adapter.multiSample.end() && quality < it->second;
}

// Copies `rect` of `source` to `at` in `dest` (same format; both rectangles checked).
void CopyRect(const SurfaceView& source, const RECT& rect, const SurfaceView& dest, POINT at) {
    const FormatInfo info = DescribeFormat(source.format);
    std::size_t rowBytes;
    LONG rows, sourceRow, destRow;
    std::size_t sourceOffset, destOffset;
    if (info.compressed) {
        rowBytes = static_cast<std::size_t>((rect.right - rect.left + 3) / 4) * info.blockBytes;
        rows = (rect.bottom - rect.top + 3) / 4;
        sourceRow = rect.top / 4;
        destRow = at.y / 4;
        sourceOffset = static_cast<std::size_t>(rect.left / 4) * info.blockBytes;
        destOffset = static_cast<std::size_t>(at.x / 4) * info.blockBytes;
    } else {
        const std::size_t pixelBytes = info.bitsPerPixel / 8;
        rowBytes = static_cast<std::size_t>(rect.right - rect.left) * pixelBytes;
        rows = rect.bottom - rect.top;
        sourceRow = rect.top;
        destRow = at.y;
        sourceOffset = static_cast<std::size_t>(rect.left) * pixelBytes;
        destOffset = static_cast<std::size_t>(at.x) * pixelBytes;
    }
    for (LONG row = 0; row < rows; ++row) {
        std::memcpy(dest.bits + static_cast<std::ptrdiff_t>(destRow + row) * dest.pitch + destOffset,
                    source.bits + static_cast<std::ptrdiff_t>(sourceRow + row) * source.pitch + sourceOffset, rowBytes);
    }
}

}  // namespace

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DTexture9** texture, HANDLE* sharedHandle) {
    auto lock = LockApi();
    const ArgList args = Args(width, height, levels, usage, format, pool);
    auto done = [&](HRESULT hr) { return Logged("CreateTexture", args, hr); };
    if (texture != nullptr) *texture = nullptr;
    HRESULT hr;
    if (TakeScriptedFailure("CreateTexture", &hr)) return done(hr);
    if (texture == nullptr || sharedHandle != nullptr) return done(D3DERR_INVALIDCALL);
    if (pool == D3DPOOL_SCRATCH) return NotModelled("CreateTexture in D3DPOOL_SCRATCH");
    if (!IsPool(pool) || (usage & ~kTextureUsages) != 0) return done(D3DERR_INVALIDCALL);
    if (width == 0 || height == 0 || width > adapter_.caps.MaxTextureWidth || height > adapter_.caps.MaxTextureHeight)
        return done(D3DERR_INVALIDCALL);
    const bool renderTarget = (usage & D3DUSAGE_RENDERTARGET) != 0;
    const bool dynamic = (usage & D3DUSAGE_DYNAMIC) != 0;
    if (renderTarget && (pool != D3DPOOL_DEFAULT || dynamic)) return done(D3DERR_INVALIDCALL);
    if (dynamic && pool == D3DPOOL_MANAGED) return done(D3DERR_INVALIDCALL);
    if (dynamic && !(adapter_.caps.Caps2 & D3DCAPS2_DYNAMICTEXTURES)) return done(D3DERR_INVALIDCALL);
    const d3d9ctl::FormatSupport support = SupportOf(adapter_, format);
    if (!(renderTarget ? support.renderTarget : support.texture) || DescribeFormat(format).depth)
        return done(D3DERR_INVALIDCALL);
    const UINT fullChain = FullMipCount(width, height);
    if (levels == 0) levels = fullChain;
    if (levels > fullChain) return done(D3DERR_INVALIDCALL);
    if (!ShapeAllowed(adapter_.caps, width, height, levels, format)) return done(D3DERR_INVALIDCALL);

    std::uint64_t bytes = 0;
    for (UINT level = 0, w = width, h = height; level < levels; ++level, w = w > 1 ? w / 2 : 1, h = h > 1 ? h / 2 : 1)
        bytes += SurfaceBytes(format, w, h);
    if (pool == D3DPOOL_DEFAULT && FAILED(hr = ReserveVideoMemory(bytes))) return done(hr);

    auto* created = new Texture(this, width, height, levels, usage, format, pool);
    TrackResource(created, pool, bytes);
    *texture = created;
    return done(D3D_OK);
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                                   HANDLE* sharedHandle) {
    auto lock = LockApi();
    const ArgList args = Args(length, usage, fvf, pool);
    auto done = [&](HRESULT hr) { return Logged("CreateVertexBuffer", args, hr); };
    if (buffer != nullptr) *buffer = nullptr;
    HRESULT hr;
    if (TakeScriptedFailure("CreateVertexBuffer", &hr)) return done(hr);
    if (buffer == nullptr || sharedHandle != nullptr) return done(D3DERR_INVALIDCALL);
    if (!IsPool(pool) || (usage & ~kBufferUsages) != 0 || length == 0) return done(D3DERR_INVALIDCALL);
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return done(D3DERR_INVALIDCALL);
    if (fvf == (D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1) && length < kFvf0x142VertexBytes)
        return done(D3DERR_INVALIDCALL);
    if (pool == D3DPOOL_DEFAULT && FAILED(hr = ReserveVideoMemory(length))) return done(hr);

    const D3DVERTEXBUFFER_DESC desc{D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, usage, pool, length, fvf};
    auto* created = new VertexBuffer(this, desc);
    TrackResource(created, pool, length);
    *buffer = created;
    return done(D3D_OK);
}

HRESULT Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DIndexBuffer9** buffer, HANDLE* sharedHandle) {
    auto lock = LockApi();
    const ArgList args = Args(length, usage, format, pool);
    auto done = [&](HRESULT hr) { return Logged("CreateIndexBuffer", args, hr); };
    if (buffer != nullptr) *buffer = nullptr;
    HRESULT hr;
    if (TakeScriptedFailure("CreateIndexBuffer", &hr)) return done(hr);
    if (buffer == nullptr || sharedHandle != nullptr) return done(D3DERR_INVALIDCALL);
    if (!IsPool(pool) || (usage & ~kBufferUsages) != 0 || length < 2) return done(D3DERR_INVALIDCALL);
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return done(D3DERR_INVALIDCALL);
    if (format != D3DFMT_INDEX16 || !SupportOf(adapter_, format).indexBuffer) return done(D3DERR_INVALIDCALL);
    if (pool == D3DPOOL_DEFAULT && FAILED(hr = ReserveVideoMemory(length))) return done(hr);

    const D3DINDEXBUFFER_DESC desc{format, D3DRTYPE_INDEXBUFFER, usage, pool, length};
    auto* created = new IndexBuffer(this, desc);
    TrackResource(created, pool, length);
    *buffer = created;
    return done(D3D_OK);
}

HRESULT Device::CreateRenderTarget(UINT, UINT, D3DFORMAT, D3DMULTISAMPLE_TYPE, DWORD, BOOL, IDirect3DSurface9** surface,
                                   HANDLE*) {
    auto lock = LockApi();
    if (surface != nullptr) *surface = nullptr;
    return NotModelled("CreateRenderTarget");  // render targets are textures with D3DUSAGE_RENDERTARGET
}

HRESULT Device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                          DWORD multiSampleQuality, BOOL discard, IDirect3DSurface9** surface,
                                          HANDLE* sharedHandle) {
    auto lock = LockApi();
    const ArgList args = Args(width, height, format, multiSample, multiSampleQuality, discard);
    auto done = [&](HRESULT hr) { return Logged("CreateDepthStencilSurface", args, hr); };
    if (surface != nullptr) *surface = nullptr;
    HRESULT hr;
    if (TakeScriptedFailure("CreateDepthStencilSurface", &hr)) return done(hr);
    if (surface == nullptr || sharedHandle != nullptr) return done(D3DERR_INVALIDCALL);
    if (width == 0 || height == 0 || width > kMaxSurfaceSide || height > kMaxSurfaceSide) return done(D3DERR_INVALIDCALL);
    if (!SupportOf(adapter_, format).depthStencil) return done(D3DERR_INVALIDCALL);
    if (discard && IsLockableDepth(format)) return done(D3DERR_INVALIDCALL);
    if (!MultiSampleOffered(adapter_, multiSample, multiSampleQuality)) return done(D3DERR_INVALIDCALL);
    const std::uint64_t bytes = SurfaceBytes(format, width, height);
    if (FAILED(hr = ReserveVideoMemory(bytes))) return done(hr);

    D3DSURFACE_DESC desc{format, D3DRTYPE_SURFACE, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT, multiSample,
                         multiSampleQuality, width, height};
    Surface::Options options;
    options.lockable = IsLockableDepth(format);
    auto* created = new Surface(this, nullptr, nullptr, desc, options);
    TrackResource(created, D3DPOOL_DEFAULT, bytes);
    *surface = created;
    return done(D3D_OK);
}

HRESULT Device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                            IDirect3DSurface9** surface, HANDLE* sharedHandle) {
    auto lock = LockApi();
    const ArgList args = Args(width, height, format, pool);
    auto done = [&](HRESULT hr) { return Logged("CreateOffscreenPlainSurface", args, hr); };
    if (surface != nullptr) *surface = nullptr;
    HRESULT hr;
    if (TakeScriptedFailure("CreateOffscreenPlainSurface", &hr)) return done(hr);
    if (surface == nullptr || sharedHandle != nullptr) return done(D3DERR_INVALIDCALL);
    if (pool == D3DPOOL_SCRATCH) return NotModelled("CreateOffscreenPlainSurface in D3DPOOL_SCRATCH");
    if (pool != D3DPOOL_DEFAULT && pool != D3DPOOL_SYSTEMMEM) return done(D3DERR_INVALIDCALL);
    if (width == 0 || height == 0 || width > kMaxSurfaceSide || height > kMaxSurfaceSide) return done(D3DERR_INVALIDCALL);
    const d3d9ctl::FormatSupport support = SupportOf(adapter_, format);
    if (!(support.surface || support.texture) || DescribeFormat(format).depth) return done(D3DERR_INVALIDCALL);
    const std::uint64_t bytes = SurfaceBytes(format, width, height);
    if (pool == D3DPOOL_DEFAULT && FAILED(hr = ReserveVideoMemory(bytes))) return done(hr);

    D3DSURFACE_DESC desc{format, D3DRTYPE_SURFACE, 0, pool, D3DMULTISAMPLE_NONE, 0, width, height};
    auto* created = new Surface(this, nullptr, nullptr, desc, Surface::Options{});
    TrackResource(created, pool, bytes);
    *surface = created;
    return done(D3D_OK);
}

HRESULT Device::UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* destination,
                              const POINT* destPoint) {
    auto lock = LockApi();
    const ArgList args = Args(source, sourceRect, destination, destPoint);
    auto done = [&](HRESULT hr) { return Logged("UpdateSurface", args, hr); };
    HRESULT hr;
    if (TakeScriptedFailure("UpdateSurface", &hr)) return done(hr);
    Surface* from = Surface::From(source);
    Surface* to = Surface::From(destination);
    if (from == nullptr || to == nullptr || from == to || from->OwnerDevice() != this || to->OwnerDevice() != this)
        return done(D3DERR_INVALIDCALL);
    const D3DSURFACE_DESC& fromDesc = from->Desc();
    const D3DSURFACE_DESC& toDesc = to->Desc();
    if (fromDesc.Pool != D3DPOOL_SYSTEMMEM || toDesc.Pool != D3DPOOL_DEFAULT || fromDesc.Format != toDesc.Format)
        return done(D3DERR_INVALIDCALL);
    if ((fromDesc.Usage | toDesc.Usage) & D3DUSAGE_DEPTHSTENCIL) return done(D3DERR_INVALIDCALL);
    if (toDesc.MultiSampleType != D3DMULTISAMPLE_NONE || from->IsLocked() || to->IsLocked())
        return done(D3DERR_INVALIDCALL);
    const RECT rect = sourceRect != nullptr ? *sourceRect
                                            : RECT{0, 0, static_cast<LONG>(fromDesc.Width), static_cast<LONG>(fromDesc.Height)};
    const POINT at = destPoint != nullptr ? *destPoint : POINT{0, 0};
    if (!LockRectValid(fromDesc, rect) || at.x < 0 || at.y < 0 || static_cast<UINT>(at.x) >= toDesc.Width ||
        static_cast<UINT>(at.y) >= toDesc.Height)
        return done(D3DERR_INVALIDCALL);
    // Both extents are below 2^14 now, so the destination rectangle cannot overflow.
    const RECT target{at.x, at.y, at.x + (rect.right - rect.left), at.y + (rect.bottom - rect.top)};
    if (!LockRectValid(toDesc, target)) return done(D3DERR_INVALIDCALL);
    CopyRect(from->View(), rect, to->View(), at);
    return done(D3D_OK);
}

HRESULT Device::UpdateTexture(IDirect3DBaseTexture9*, IDirect3DBaseTexture9*) {
    auto lock = LockApi();
    return NotModelled("UpdateTexture");
}

HRESULT Device::GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* destination) {
    auto lock = LockApi();
    const ArgList args = Args(renderTarget, destination);
    auto done = [&](HRESULT hr) { return Logged("GetRenderTargetData", args, hr); };
    HRESULT hr;
    if (TakeScriptedFailure("GetRenderTargetData", &hr)) return done(hr);
    Surface* from = Surface::From(renderTarget);
    Surface* to = Surface::From(destination);
    if (from == nullptr || to == nullptr || from->OwnerDevice() != this || to->OwnerDevice() != this)
        return done(D3DERR_INVALIDCALL);
    const D3DSURFACE_DESC& fromDesc = from->Desc();
    const D3DSURFACE_DESC& toDesc = to->Desc();
    if (!(fromDesc.Usage & D3DUSAGE_RENDERTARGET) || fromDesc.MultiSampleType != D3DMULTISAMPLE_NONE ||
        toDesc.Pool != D3DPOOL_SYSTEMMEM || fromDesc.Format != toDesc.Format || fromDesc.Width != toDesc.Width ||
        fromDesc.Height != toDesc.Height || from->IsLocked() || to->IsLocked())
        return done(D3DERR_INVALIDCALL);
    CopyRect(from->View(), RECT{0, 0, static_cast<LONG>(fromDesc.Width), static_cast<LONG>(fromDesc.Height)}, to->View(),
             POINT{0, 0});
    return done(D3D_OK);
}

HRESULT Device::ColorFill(IDirect3DSurface9*, const RECT*, D3DCOLOR) {
    auto lock = LockApi();
    return NotModelled("ColorFill");
}

HRESULT Device::CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) {
    auto lock = LockApi();
    auto done = [&](HRESULT hr) { return Logged("CreatePixelShader", "", hr); };
    if (shader != nullptr) *shader = nullptr;
    HRESULT hr;
    if (TakeScriptedFailure("CreatePixelShader", &hr)) return done(hr);
    if (function == nullptr || shader == nullptr) return done(D3DERR_INVALIDCALL);
    // The version token must be a pixel shader the caps offer.
    const DWORD version = function[0];
    if ((version & 0xFFFF0000u) != 0xFFFF0000u || (version & 0xFFFFu) > (adapter_.caps.PixelShaderVersion & 0xFFFFu))
        return done(D3DERR_INVALIDCALL);
    std::string error;
    std::unique_ptr<PixelShaderProgram> program = PixelShaderProgram::Parse(function, &error);
    if (program == nullptr) return done(D3DERR_INVALIDCALL);
    *shader = new DevicePixelShader(this, std::move(program));
    return done(D3D_OK);
}

}  // namespace d3d9sw
