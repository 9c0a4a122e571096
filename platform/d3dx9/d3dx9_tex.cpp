// The D3DX texture and surface functions over the software device. Surface memory is reached
// through the device's control API in every pool, as D3DX reaches it on the platform through
// locks and staging copies.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/d3d9/control.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/d3dx9/dds.h"
#include "platform/d3dx9/image_files.h"
#include "platform/d3dx9/surface_copy.h"

namespace {

constexpr UINT kDefaultSize = 256;  // D3DX's size for a zero or default request

bool IsDxt(D3DFORMAT format) { return d3d9sw::DescribeFormat(format).compressed; }

bool IsDeviceColourFormat(D3DFORMAT format) {
    const d3d9sw::FormatInfo info = d3d9sw::DescribeFormat(format);
    return info.supported && !info.depth;
}

UINT NextPowerOfTwo(UINT value) {
    UINT power = 1;
    while (power < value && power < (1u << 31)) power <<= 1;
    return power;
}

// One side: the default size, powers of two, DXT blocks, the caps' limit.
UINT AdjustSide(UINT requested, bool powerOfTwo, bool dxt, DWORD maximum) {
    UINT size = (requested == 0 || requested >= D3DX_FROM_FILE) ? kDefaultSize : requested;
    if (maximum != 0 && size > maximum) size = maximum;
    if (dxt) size = (size + 3u) & ~3u;
    if (powerOfTwo) {
        size = NextPowerOfTwo(size);
        while (maximum != 0 && size > maximum && size > 1) size /= 2;
    }
    return size;
}

// Releases a COM reference at scope exit.
template <typename T>
struct Held {
    T* object = nullptr;
    Held() = default;
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() {
        if (object != nullptr) object->Release();
    }
};

// D3DX replaces a format the device cannot make textures of with the nearest one it can:
// keeping alpha when the format has it.
D3DFORMAT TextureFormatFor(IDirect3DDevice9* device, D3DFORMAT format, DWORD usage) {
    Held<IDirect3D9> direct3d;
    D3DDISPLAYMODE mode{};
    if (FAILED(device->GetDirect3D(&direct3d.object)) || FAILED(device->GetDisplayMode(0, &mode))) return format;
    auto supported = [&](D3DFORMAT candidate) {
        return SUCCEEDED(direct3d.object->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, mode.Format, usage,
                                                            D3DRTYPE_TEXTURE, candidate));
    };
    if (supported(format)) return format;
    static constexpr D3DFORMAT kWithAlpha[] = {D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4, D3DFMT_A1R5G5B5};
    static constexpr D3DFORMAT kOpaque[] = {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A8R8G8B8};
    if (d3d9sw::DescribeFormat(format).hasAlpha) {
        for (D3DFORMAT candidate : kWithAlpha)
            if (supported(candidate)) return candidate;
    } else {
        for (D3DFORMAT candidate : kOpaque)
            if (supported(candidate)) return candidate;
    }
    return format;  // nothing better: CreateTexture reports the failure
}

HRESULT SurfaceView(IDirect3DSurface9* surface, d3d9sw::SurfaceView* view) {
    if (surface == nullptr) return D3DERR_INVALIDCALL;
    *view = d3d9ctl::SurfaceMemory(surface);
    return view->bits == nullptr ? D3DERR_INVALIDCALL : D3D_OK;
}

// Fills every level after the first from the one before it.
HRESULT MakeMipLevels(IDirect3DTexture9* texture, DWORD mipFilter) {
    const DWORD levels = texture->GetLevelCount();
    if (mipFilter == D3DX_FILTER_NONE) return D3D_OK;
    const DWORD filter = mipFilter == D3DX_DEFAULT ? D3DX_FILTER_BOX : mipFilter;
    for (DWORD level = 1; level < levels; ++level) {
        Held<IDirect3DSurface9> upper, lower;
        HRESULT hr = texture->GetSurfaceLevel(level - 1, &upper.object);
        if (SUCCEEDED(hr)) hr = texture->GetSurfaceLevel(level, &lower.object);
        if (SUCCEEDED(hr)) hr = D3DXLoadSurfaceFromSurface(lower.object, nullptr, nullptr, upper.object, nullptr, nullptr, filter, 0);
        if (FAILED(hr)) return hr;
    }
    return D3D_OK;
}

HRESULT LoadDecoded(IDirect3DSurface9* destSurface, const RECT* destRect, d3dx::ImageBuffer& image,
                    const RECT* srcRect, DWORD filter, D3DCOLOR colorKey) {
    d3d9sw::SurfaceView dest;
    HRESULT hr = SurfaceView(destSurface, &dest);
    if (FAILED(hr)) return hr;
    hr = d3dx::CopySurfaceRect(dest, destRect, image.View(), srcRect, filter, colorKey);
    if (SUCCEEDED(hr)) d3d9ctl::MarkModified(destSurface);
    return hr;
}

}  // namespace

HRESULT D3DXCreateTexture(IDirect3DDevice9* device, UINT width, UINT height, UINT mipLevels, DWORD usage,
                          D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture) {
    if (texture != nullptr) *texture = nullptr;
    if (device == nullptr || texture == nullptr) return D3DERR_INVALIDCALL;
    D3DCAPS9 caps{};
    HRESULT hr = device->GetDeviceCaps(&caps);
    if (FAILED(hr)) return hr;
    if (format == D3DFMT_UNKNOWN || format == D3DFMT_FROM_FILE) format = D3DFMT_A8R8G8B8;
    format = TextureFormatFor(device, format, usage);
    const bool conditional = (caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) && mipLevels == 1;
    const bool powerOfTwo = (caps.TextureCaps & D3DPTEXTURECAPS_POW2) && !conditional;
    width = AdjustSide(width, powerOfTwo, IsDxt(format), caps.MaxTextureWidth);
    height = AdjustSide(height, powerOfTwo, IsDxt(format), caps.MaxTextureHeight);
    if (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) width = height = std::max(width, height);
    UINT levels = 0;  // the full chain
    if (mipLevels != 0 && mipLevels != D3DX_DEFAULT) levels = std::min(mipLevels, d3dx::FullMipChain(width, height));
    return device->CreateTexture(width, height, levels, usage, format, pool, texture, nullptr);
}

HRESULT D3DXCreateTextureFromFileExW(IDirect3DDevice9* device, LPCWSTR srcFile, UINT width, UINT height,
                                     UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                     DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* sourceInfo,
                                     PALETTEENTRY* /*palette: no palettised formats*/, IDirect3DTexture9** texture) {
    if (texture != nullptr) *texture = nullptr;
    if (device == nullptr || srcFile == nullptr || texture == nullptr) return D3DERR_INVALIDCALL;
    std::vector<std::uint8_t> bytes;
    HRESULT hr = d3dx::ReadWholeFile(srcFile, &bytes);
    if (FAILED(hr)) return hr;
    d3dx::ImageBuffer image;
    D3DXIMAGE_INFO info{};
    hr = d3dx::DecodeImage(bytes.data(), bytes.size(), &image, &info);
    if (FAILED(hr)) return hr;
    auto side = [](UINT requested, UINT fromFile) {
        if (requested == 0 || requested == D3DX_DEFAULT) return NextPowerOfTwo(fromFile);
        if (requested == D3DX_DEFAULT_NONPOW2 || requested == D3DX_FROM_FILE) return fromFile;
        return requested;
    };
    if (format == D3DFMT_UNKNOWN || format == D3DFMT_FROM_FILE)
        format = IsDeviceColourFormat(info.Format) ? info.Format : D3DFMT_A8R8G8B8;
    if (mipLevels == D3DX_FROM_FILE) mipLevels = info.MipLevels;
    Held<IDirect3DTexture9> created;
    hr = D3DXCreateTexture(device, side(width, info.Width), side(height, info.Height), mipLevels, usage, format, pool,
                           &created.object);
    if (FAILED(hr)) return hr;
    {
        Held<IDirect3DSurface9> top;
        hr = created.object->GetSurfaceLevel(0, &top.object);
        if (SUCCEEDED(hr)) hr = LoadDecoded(top.object, nullptr, image, nullptr, filter, colorKey);
    }
    if (SUCCEEDED(hr)) hr = MakeMipLevels(created.object, mipFilter);
    if (FAILED(hr)) return hr;
    if (sourceInfo != nullptr) *sourceInfo = info;
    *texture = created.object;
    created.object = nullptr;
    return D3D_OK;
}

HRESULT D3DXGetImageInfoFromFileW(LPCWSTR srcFile, D3DXIMAGE_INFO* info) {
    if (srcFile == nullptr || info == nullptr) return D3DERR_INVALIDCALL;
    std::vector<std::uint8_t> bytes;
    const HRESULT hr = d3dx::ReadWholeFile(srcFile, &bytes);
    if (FAILED(hr)) return hr;
    if (bytes.empty()) return D3DXERR_INVALIDDATA;
    return d3dx::ReadImageInfo(bytes.data(), bytes.size(), info);
}

HRESULT D3DXGetImageInfoFromFileInMemory(LPCVOID srcData, UINT srcDataSize, D3DXIMAGE_INFO* info) {
    if (srcData == nullptr || srcDataSize == 0 || info == nullptr) return D3DERR_INVALIDCALL;
    return d3dx::ReadImageInfo(static_cast<const std::uint8_t*>(srcData), srcDataSize, info);
}

HRESULT D3DXLoadSurfaceFromFileW(IDirect3DSurface9* destSurface, const PALETTEENTRY* /*destPalette*/,
                                 const RECT* destRect, LPCWSTR srcFile, const RECT* srcRect, DWORD filter,
                                 D3DCOLOR colorKey, D3DXIMAGE_INFO* sourceInfo) {
    if (destSurface == nullptr || srcFile == nullptr) return D3DERR_INVALIDCALL;
    std::vector<std::uint8_t> bytes;
    const HRESULT hr = d3dx::ReadWholeFile(srcFile, &bytes);
    if (FAILED(hr)) return hr;
    if (bytes.empty()) return D3DXERR_INVALIDDATA;
    return D3DXLoadSurfaceFromFileInMemory(destSurface, nullptr, destRect, bytes.data(), static_cast<UINT>(bytes.size()),
                                           srcRect, filter, colorKey, sourceInfo);
}

HRESULT D3DXLoadSurfaceFromFileInMemory(IDirect3DSurface9* destSurface, const PALETTEENTRY* /*destPalette*/,
                                        const RECT* destRect, LPCVOID srcData, UINT srcDataSize, const RECT* srcRect,
                                        DWORD filter, D3DCOLOR colorKey, D3DXIMAGE_INFO* sourceInfo) {
    if (destSurface == nullptr || srcData == nullptr || srcDataSize == 0) return D3DERR_INVALIDCALL;
    d3dx::ImageBuffer image;
    D3DXIMAGE_INFO info{};
    HRESULT hr = d3dx::DecodeImage(static_cast<const std::uint8_t*>(srcData), srcDataSize, &image, &info);
    if (FAILED(hr)) return hr;
    hr = LoadDecoded(destSurface, destRect, image, srcRect, filter, colorKey);
    if (SUCCEEDED(hr) && sourceInfo != nullptr) *sourceInfo = info;
    return hr;
}

HRESULT D3DXLoadSurfaceFromSurface(IDirect3DSurface9* destSurface, const PALETTEENTRY* /*destPalette*/,
                                   const RECT* destRect, IDirect3DSurface9* srcSurface,
                                   const PALETTEENTRY* /*srcPalette*/, const RECT* srcRect, DWORD filter,
                                   D3DCOLOR colorKey) {
    d3d9sw::SurfaceView dest, source;
    HRESULT hr = SurfaceView(destSurface, &dest);
    if (SUCCEEDED(hr)) hr = SurfaceView(srcSurface, &source);
    if (FAILED(hr)) return hr;
    if (destSurface == srcSurface) {
        // Overlapping rectangles of one surface: read from a copy.
        d3dx::ImageBuffer copy;
        if (!copy.Allocate(source.format, static_cast<unsigned>(source.width), static_cast<unsigned>(source.height)))
            return E_OUTOFMEMORY;
        hr = d3dx::CopySurfaceRect(copy.View(), nullptr, source, nullptr, D3DX_FILTER_NONE, 0);
        if (SUCCEEDED(hr)) hr = d3dx::CopySurfaceRect(dest, destRect, copy.View(), srcRect, filter, colorKey);
    } else {
        hr = d3dx::CopySurfaceRect(dest, destRect, source, srcRect, filter, colorKey);
    }
    if (SUCCEEDED(hr)) d3d9ctl::MarkModified(destSurface);
    return hr;
}

HRESULT D3DXSaveSurfaceToFileW(LPCWSTR destFile, D3DXIMAGE_FILEFORMAT destFormat, IDirect3DSurface9* srcSurface,
                               const PALETTEENTRY* /*srcPalette*/, const RECT* srcRect) {
    if (destFile == nullptr) return D3DERR_INVALIDCALL;
    d3d9sw::SurfaceView source;
    HRESULT hr = SurfaceView(srcSurface, &source);
    if (FAILED(hr)) return hr;
    std::vector<std::uint8_t> bytes;
    hr = d3dx::EncodeSurface(destFormat, source, srcRect, &bytes);
    if (FAILED(hr)) return hr;
    return d3dx::WriteWholeFile(destFile, bytes);
}

HRESULT D3DXSaveTextureToFileW(LPCWSTR destFile, D3DXIMAGE_FILEFORMAT destFormat, IDirect3DBaseTexture9* srcTexture,
                               const PALETTEENTRY* /*srcPalette*/) {
    if (destFile == nullptr || srcTexture == nullptr) return D3DERR_INVALIDCALL;
    Held<IDirect3DTexture9> texture;
    if (FAILED(srcTexture->QueryInterface(IID_IDirect3DTexture9, reinterpret_cast<void**>(&texture.object))))
        return D3DERR_INVALIDCALL;  // cube and volume textures do not exist here
    const DWORD levels = destFormat == D3DXIFF_DDS ? texture.object->GetLevelCount() : 1;
    std::vector<Held<IDirect3DSurface9>> surfaces(levels);
    std::vector<d3d9sw::SurfaceView> views(levels);
    for (DWORD level = 0; level < levels; ++level) {
        HRESULT hr = texture.object->GetSurfaceLevel(level, &surfaces[level].object);
        if (SUCCEEDED(hr)) hr = SurfaceView(surfaces[level].object, &views[level]);
        if (FAILED(hr)) return hr;
    }
    if (levels == 0) return D3DERR_INVALIDCALL;
    if (destFormat != D3DXIFF_DDS)
        return D3DXSaveSurfaceToFileW(destFile, destFormat, surfaces[0].object, nullptr, nullptr);
    std::vector<std::uint8_t> bytes;
    const HRESULT hr = d3dx::EncodeDds(views, &bytes);
    if (FAILED(hr)) return hr;
    return d3dx::WriteWholeFile(destFile, bytes);
}
