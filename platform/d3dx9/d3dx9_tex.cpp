// The D3DX texture and surface functions over the software device. Pixels are reached through
// the device as D3DX reaches them on the platform (surface_access.h); each exported function can
// be made to fail by a script (control.h), and calls between them inside the stand-in go to the
// unscripted implementations below.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/d3dx9/control.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/d3dx9/dds.h"
#include "platform/d3dx9/image_files.h"
#include "platform/d3dx9/surface_access.h"
#include "platform/d3dx9/surface_copy.h"

namespace {

using d3dxctl::Function;
using d3dx::SurfaceAccess;

constexpr UINT kDefaultSize = 256;  // D3DX's size for a zero or default request

bool IsDxt(D3DFORMAT format) { return d3d9sw::DescribeFormat(format).compressed; }

// Whether a format carries alpha, including the file formats the device has no surfaces of
// (a colour table may hold alpha too).
bool CarriesAlpha(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_P8:
    case D3DFMT_A8P8:
    case D3DFMT_A8L8:
    case D3DFMT_A4L4:
    case D3DFMT_A16B16G16R16:
    case D3DFMT_A32B32G32R32F: return true;
    default: return d3d9sw::DescribeFormat(format).hasAlpha;
    }
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

// Grows the shorter side until the longer is at most `ratio` times it.
void KeepAspectRatio(UINT* shorter, UINT longer, DWORD ratio, bool powerOfTwo) {
    if (ratio == 0 || static_cast<std::uint64_t>(*shorter) * ratio >= longer) return;
    *shorter = static_cast<UINT>((static_cast<std::uint64_t>(longer) + ratio - 1) / ratio);
    if (powerOfTwo) *shorter = NextPowerOfTwo(*shorter);
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
    if (CarriesAlpha(format)) {
        for (D3DFORMAT candidate : kWithAlpha)
            if (supported(candidate)) return candidate;
    } else {
        for (D3DFORMAT candidate : kOpaque)
            if (supported(candidate)) return candidate;
    }
    return format;  // nothing better: CreateTexture reports the failure
}

HRESULT CreateTexture(IDirect3DDevice9* device, UINT width, UINT height, UINT mipLevels, DWORD usage,
                      D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture) {
    if (texture != nullptr) *texture = nullptr;
    if (device == nullptr || texture == nullptr) return D3DERR_INVALIDCALL;
    D3DCAPS9 caps{};
    HRESULT hr = device->GetDeviceCaps(&caps);
    if (FAILED(hr)) return hr;
    if (format == D3DFMT_UNKNOWN || format == D3DFMT_FROM_FILE) format = D3DFMT_A8R8G8B8;
    format = TextureFormatFor(device, format, usage);
    const bool conditional = (caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) && mipLevels == 1 && !IsDxt(format);
    const bool powerOfTwo = (caps.TextureCaps & D3DPTEXTURECAPS_POW2) && !conditional;
    width = AdjustSide(width, powerOfTwo, IsDxt(format), caps.MaxTextureWidth);
    height = AdjustSide(height, powerOfTwo, IsDxt(format), caps.MaxTextureHeight);
    if (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) width = height = std::max(width, height);
    if (width < height) KeepAspectRatio(&width, height, caps.MaxTextureAspectRatio, powerOfTwo);
    else KeepAspectRatio(&height, width, caps.MaxTextureAspectRatio, powerOfTwo);
    UINT levels = 0;  // the full chain
    if (mipLevels != 0 && mipLevels != D3DX_DEFAULT) levels = std::min(mipLevels, d3dx::FullMipChain(width, height));
    return device->CreateTexture(width, height, levels, usage, format, pool, texture, nullptr);
}

// Copies between two surfaces' pixels, through the device; one surface may be both.
HRESULT CopySurface(IDirect3DSurface9* destSurface, const RECT* destRect, IDirect3DSurface9* srcSurface,
                    const RECT* srcRect, DWORD filter, D3DCOLOR colorKey) {
    if (destSurface == nullptr || srcSurface == nullptr) return D3DERR_INVALIDCALL;
    SurfaceAccess dest;
    HRESULT hr = dest.Open(destSurface, SurfaceAccess::Mode::kReadWrite);
    if (FAILED(hr)) return hr;
    if (destSurface == srcSurface) {
        // Overlapping rectangles of one surface: read from a copy.
        const d3d9sw::SurfaceView& view = dest.View();
        d3dx::ImageBuffer copy;
        if (!copy.Allocate(view.format, static_cast<unsigned>(view.width), static_cast<unsigned>(view.height)))
            return E_OUTOFMEMORY;
        hr = d3dx::CopySurfaceRect(copy.View(), nullptr, view, nullptr, D3DX_FILTER_NONE, 0);
        if (SUCCEEDED(hr)) hr = d3dx::CopySurfaceRect(view, destRect, copy.View(), srcRect, filter, colorKey);
    } else {
        SurfaceAccess source;
        hr = source.Open(srcSurface, SurfaceAccess::Mode::kRead);
        if (SUCCEEDED(hr)) hr = d3dx::CopySurfaceRect(dest.View(), destRect, source.View(), srcRect, filter, colorKey);
        if (SUCCEEDED(hr)) hr = source.Close();
    }
    if (SUCCEEDED(hr)) hr = dest.Close();
    return hr;
}

HRESULT LoadDecoded(IDirect3DSurface9* destSurface, const RECT* destRect, d3dx::ImageBuffer& image,
                    const RECT* srcRect, DWORD filter, D3DCOLOR colorKey) {
    SurfaceAccess dest;
    HRESULT hr = dest.Open(destSurface, SurfaceAccess::Mode::kReadWrite);
    if (SUCCEEDED(hr)) hr = d3dx::CopySurfaceRect(dest.View(), destRect, image.View(), srcRect, filter, colorKey);
    if (SUCCEEDED(hr)) hr = dest.Close();
    return hr;
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
        if (SUCCEEDED(hr)) hr = CopySurface(lower.object, nullptr, upper.object, nullptr, filter, 0);
        if (FAILED(hr)) return hr;
    }
    return D3D_OK;
}

// Every level of `source` (system memory) into the same level of `dest`, through the device.
HRESULT UploadLevels(IDirect3DTexture9* source, IDirect3DTexture9* dest) {
    Held<IDirect3DDevice9> device;
    HRESULT hr = dest->GetDevice(&device.object);
    for (DWORD level = 0; SUCCEEDED(hr) && level < dest->GetLevelCount(); ++level) {
        Held<IDirect3DSurface9> from, to;
        hr = source->GetSurfaceLevel(level, &from.object);
        if (SUCCEEDED(hr)) hr = dest->GetSurfaceLevel(level, &to.object);
        if (SUCCEEDED(hr)) hr = device.object->UpdateSurface(from.object, nullptr, to.object, nullptr);
    }
    return hr;
}

// The D3DX save functions write every file type except PPM and TGA.
bool Saveable(D3DXIMAGE_FILEFORMAT format) { return format != D3DXIFF_PPM && format != D3DXIFF_TGA; }

HRESULT SaveSurface(LPCWSTR destFile, D3DXIMAGE_FILEFORMAT destFormat, IDirect3DSurface9* srcSurface,
                    const RECT* srcRect) {
    if (destFile == nullptr || !Saveable(destFormat)) return D3DERR_INVALIDCALL;
    SurfaceAccess source;
    HRESULT hr = source.Open(srcSurface, SurfaceAccess::Mode::kRead);
    std::vector<std::uint8_t> bytes;
    if (SUCCEEDED(hr)) hr = d3dx::EncodeSurface(destFormat, source.View(), srcRect, &bytes);
    if (SUCCEEDED(hr)) hr = source.Close();
    if (FAILED(hr)) return hr;
    return d3dx::WriteWholeFile(destFile, bytes);
}

}  // namespace

HRESULT D3DXCreateTexture(IDirect3DDevice9* device, UINT width, UINT height, UINT mipLevels, DWORD usage,
                          D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture) {
    if (texture != nullptr) *texture = nullptr;
    HRESULT hr;
    if (d3dx::TakeScriptedFailure(Function::kCreateTexture, &hr)) return hr;
    return CreateTexture(device, width, height, mipLevels, usage, format, pool, texture);
}

HRESULT D3DXCreateTextureFromFileExW(IDirect3DDevice9* device, LPCWSTR srcFile, UINT width, UINT height,
                                     UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                     DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* sourceInfo,
                                     PALETTEENTRY* /*palette: no palettised formats*/, IDirect3DTexture9** texture) {
    if (texture != nullptr) *texture = nullptr;
    HRESULT hr;
    if (d3dx::TakeScriptedFailure(Function::kCreateTextureFromFileEx, &hr)) return hr;
    if (device == nullptr || srcFile == nullptr || texture == nullptr) return D3DERR_INVALIDCALL;
    std::vector<std::uint8_t> bytes;
    hr = d3dx::ReadWholeFile(srcFile, &bytes);
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
    // D3DX_FROM_FILE and D3DFMT_FROM_FILE are taken exactly: the device refuses what it cannot
    // make. Otherwise the request is adjusted to the device, the file's format included.
    const bool exact = width == D3DX_FROM_FILE || height == D3DX_FROM_FILE || mipLevels == D3DX_FROM_FILE ||
                       format == D3DFMT_FROM_FILE;
    if (format == D3DFMT_UNKNOWN || format == D3DFMT_FROM_FILE) format = info.Format;
    if (mipLevels == D3DX_FROM_FILE) mipLevels = info.MipLevels;
    width = side(width, info.Width);
    height = side(height, info.Height);
    // A DEFAULT-pool texture that cannot be locked is loaded in system memory and uploaded.
    const bool staged = pool == D3DPOOL_DEFAULT && !(usage & D3DUSAGE_DYNAMIC);
    Held<IDirect3DTexture9> created, loading;
    if (exact) {
        hr = device->CreateTexture(width, height, mipLevels == D3DX_DEFAULT ? 0 : mipLevels, usage, format, pool,
                                   &created.object, nullptr);
    } else {
        hr = CreateTexture(device, width, height, mipLevels, usage, format, pool, &created.object);
    }
    if (FAILED(hr)) return hr;
    IDirect3DTexture9* filled = created.object;
    if (staged) {
        D3DSURFACE_DESC desc{};
        hr = created.object->GetLevelDesc(0, &desc);
        if (SUCCEEDED(hr))
            hr = device->CreateTexture(desc.Width, desc.Height, created.object->GetLevelCount(), 0, desc.Format,
                                       D3DPOOL_SYSTEMMEM, &loading.object, nullptr);
        if (FAILED(hr)) return hr;
        filled = loading.object;
    }
    {
        Held<IDirect3DSurface9> top;
        hr = filled->GetSurfaceLevel(0, &top.object);
        if (SUCCEEDED(hr)) hr = LoadDecoded(top.object, nullptr, image, nullptr, filter, colorKey);
    }
    if (SUCCEEDED(hr)) hr = MakeMipLevels(filled, mipFilter);
    if (SUCCEEDED(hr) && staged) hr = UploadLevels(loading.object, created.object);
    if (FAILED(hr)) return hr;
    if (sourceInfo != nullptr) *sourceInfo = info;
    *texture = created.object;
    created.object = nullptr;
    return D3D_OK;
}

HRESULT D3DXGetImageInfoFromFileW(LPCWSTR srcFile, D3DXIMAGE_INFO* info) {
    HRESULT hr;
    if (d3dx::TakeScriptedFailure(Function::kGetImageInfoFromFile, &hr)) return hr;
    if (srcFile == nullptr || info == nullptr) return D3DERR_INVALIDCALL;
    std::vector<std::uint8_t> bytes;
    hr = d3dx::ReadWholeFile(srcFile, &bytes);
    if (FAILED(hr)) return hr;
    if (bytes.empty()) return D3DXERR_INVALIDDATA;
    return d3dx::ReadImageInfo(bytes.data(), bytes.size(), info);
}

HRESULT D3DXGetImageInfoFromFileInMemory(LPCVOID srcData, UINT srcDataSize, D3DXIMAGE_INFO* info) {
    HRESULT hr;
    if (d3dx::TakeScriptedFailure(Function::kGetImageInfoFromFileInMemory, &hr)) return hr;
    if (srcData == nullptr || srcDataSize == 0 || info == nullptr) return D3DERR_INVALIDCALL;
    return d3dx::ReadImageInfo(static_cast<const std::uint8_t*>(srcData), srcDataSize, info);
}

namespace {

HRESULT LoadSurfaceFromMemory(IDirect3DSurface9* destSurface, const RECT* destRect, LPCVOID srcData,
                              UINT srcDataSize, const RECT* srcRect, DWORD filter, D3DCOLOR colorKey,
                              D3DXIMAGE_INFO* sourceInfo) {
    if (destSurface == nullptr || srcData == nullptr || srcDataSize == 0) return D3DERR_INVALIDCALL;
    d3dx::ImageBuffer image;
    D3DXIMAGE_INFO info{};
    HRESULT hr = d3dx::DecodeImage(static_cast<const std::uint8_t*>(srcData), srcDataSize, &image, &info);
    if (FAILED(hr)) return hr;
    hr = LoadDecoded(destSurface, destRect, image, srcRect, filter, colorKey);
    if (SUCCEEDED(hr) && sourceInfo != nullptr) *sourceInfo = info;
    return hr;
}

}  // namespace

HRESULT D3DXLoadSurfaceFromFileW(IDirect3DSurface9* destSurface, const PALETTEENTRY* /*destPalette*/,
                                 const RECT* destRect, LPCWSTR srcFile, const RECT* srcRect, DWORD filter,
                                 D3DCOLOR colorKey, D3DXIMAGE_INFO* sourceInfo) {
    HRESULT hr;
    if (d3dx::TakeScriptedFailure(Function::kLoadSurfaceFromFile, &hr)) return hr;
    if (destSurface == nullptr || srcFile == nullptr) return D3DERR_INVALIDCALL;
    std::vector<std::uint8_t> bytes;
    hr = d3dx::ReadWholeFile(srcFile, &bytes);
    if (FAILED(hr)) return hr;
    if (bytes.empty()) return D3DXERR_INVALIDDATA;
    return LoadSurfaceFromMemory(destSurface, destRect, bytes.data(), static_cast<UINT>(bytes.size()), srcRect, filter,
                                 colorKey, sourceInfo);
}

HRESULT D3DXLoadSurfaceFromFileInMemory(IDirect3DSurface9* destSurface, const PALETTEENTRY* /*destPalette*/,
                                        const RECT* destRect, LPCVOID srcData, UINT srcDataSize, const RECT* srcRect,
                                        DWORD filter, D3DCOLOR colorKey, D3DXIMAGE_INFO* sourceInfo) {
    HRESULT hr;
    if (d3dx::TakeScriptedFailure(Function::kLoadSurfaceFromFileInMemory, &hr)) return hr;
    return LoadSurfaceFromMemory(destSurface, destRect, srcData, srcDataSize, srcRect, filter, colorKey, sourceInfo);
}

HRESULT D3DXLoadSurfaceFromSurface(IDirect3DSurface9* destSurface, const PALETTEENTRY* /*destPalette*/,
                                   const RECT* destRect, IDirect3DSurface9* srcSurface,
                                   const PALETTEENTRY* /*srcPalette*/, const RECT* srcRect, DWORD filter,
                                   D3DCOLOR colorKey) {
    HRESULT hr;
    if (d3dx::TakeScriptedFailure(Function::kLoadSurfaceFromSurface, &hr)) return hr;
    return CopySurface(destSurface, destRect, srcSurface, srcRect, filter, colorKey);
}

HRESULT D3DXSaveSurfaceToFileW(LPCWSTR destFile, D3DXIMAGE_FILEFORMAT destFormat, IDirect3DSurface9* srcSurface,
                               const PALETTEENTRY* /*srcPalette*/, const RECT* srcRect) {
    HRESULT hr;
    if (d3dx::TakeScriptedFailure(Function::kSaveSurfaceToFile, &hr)) return hr;
    return SaveSurface(destFile, destFormat, srcSurface, srcRect);
}

HRESULT D3DXSaveTextureToFileW(LPCWSTR destFile, D3DXIMAGE_FILEFORMAT destFormat, IDirect3DBaseTexture9* srcTexture,
                               const PALETTEENTRY* /*srcPalette*/) {
    HRESULT hr;
    if (d3dx::TakeScriptedFailure(Function::kSaveTextureToFile, &hr)) return hr;
    if (destFile == nullptr || srcTexture == nullptr || !Saveable(destFormat)) return D3DERR_INVALIDCALL;
    Held<IDirect3DTexture9> texture;
    if (FAILED(srcTexture->QueryInterface(IID_IDirect3DTexture9, reinterpret_cast<void**>(&texture.object))))
        return D3DERR_INVALIDCALL;  // cube and volume textures do not exist here
    const DWORD levels = destFormat == D3DXIFF_DDS ? texture.object->GetLevelCount() : 1;
    if (levels == 0) return D3DERR_INVALIDCALL;
    std::vector<Held<IDirect3DSurface9>> surfaces(levels);
    for (DWORD level = 0; level < levels; ++level) {
        hr = texture.object->GetSurfaceLevel(level, &surfaces[level].object);
        if (FAILED(hr)) return hr;
    }
    if (destFormat != D3DXIFF_DDS) return SaveSurface(destFile, destFormat, surfaces[0].object, nullptr);
    std::vector<std::unique_ptr<SurfaceAccess>> access;
    std::vector<d3d9sw::SurfaceView> views;
    for (DWORD level = 0; level < levels; ++level) {
        access.push_back(std::make_unique<SurfaceAccess>());
        hr = access.back()->Open(surfaces[level].object, SurfaceAccess::Mode::kRead);
        if (FAILED(hr)) return hr;
        views.push_back(access.back()->View());
    }
    std::vector<std::uint8_t> bytes;
    hr = d3dx::EncodeDds(views, &bytes);
    for (auto& level : access)
        if (const HRESULT closed = level->Close(); SUCCEEDED(hr)) hr = closed;
    if (FAILED(hr)) return hr;
    return d3dx::WriteWholeFile(destFile, bytes);
}
