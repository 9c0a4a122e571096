#include "platform/d3dx9/dds.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace d3dx {
namespace {

constexpr std::uint32_t kMagic = MAKEFOURCC('D', 'D', 'S', ' ');
constexpr std::size_t kHeaderBytes = 4 + 124;  // magic and DDS_HEADER

// DDS_HEADER flags
constexpr std::uint32_t kCaps = 0x1, kHeight = 0x2, kWidth = 0x4, kPitch = 0x8, kPixelFormat = 0x1000,
                        kMipMapCount = 0x20000, kLinearSize = 0x80000;
// DDS_PIXELFORMAT flags
constexpr std::uint32_t kAlphaPixels = 0x1, kAlphaOnly = 0x2, kFourCC = 0x4, kRgb = 0x40, kLuminance = 0x20000;
// Caps
constexpr std::uint32_t kComplex = 0x8, kTexture = 0x1000, kMipMap = 0x400000;
constexpr std::uint32_t kCubeMap = 0x200, kVolume = 0x200000;

struct PixelLayout {
    D3DFORMAT format;
    std::uint32_t flags, bits, r, g, b, a;
};
constexpr PixelLayout kLayouts[] = {
    {D3DFMT_A8R8G8B8, kRgb | kAlphaPixels, 32, 0xff0000, 0xff00, 0xff, 0xff000000u},
    {D3DFMT_X8R8G8B8, kRgb, 32, 0xff0000, 0xff00, 0xff, 0},
    {D3DFMT_R5G6B5, kRgb, 16, 0xf800, 0x7e0, 0x1f, 0},
    {D3DFMT_A1R5G5B5, kRgb | kAlphaPixels, 16, 0x7c00, 0x3e0, 0x1f, 0x8000},
    {D3DFMT_X1R5G5B5, kRgb, 16, 0x7c00, 0x3e0, 0x1f, 0},
    {D3DFMT_A4R4G4B4, kRgb | kAlphaPixels, 16, 0xf00, 0xf0, 0xf, 0xf000},
    {D3DFMT_A8, kAlphaOnly, 8, 0, 0, 0, 0xff},
    {D3DFMT_L8, kLuminance, 8, 0xff, 0, 0, 0},
};

std::uint32_t Load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
void Put32(std::vector<std::uint8_t>* out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

D3DFORMAT FormatOf(const std::uint8_t* pf) {
    const std::uint32_t flags = Load32(pf + 4);
    if (flags & kFourCC) {
        const std::uint32_t fourCC = Load32(pf + 8);
        if (fourCC == D3DFMT_DXT1 || fourCC == D3DFMT_DXT3 || fourCC == D3DFMT_DXT5) return static_cast<D3DFORMAT>(fourCC);
        return D3DFMT_UNKNOWN;
    }
    const std::uint32_t bits = Load32(pf + 12), r = Load32(pf + 16), g = Load32(pf + 20), b = Load32(pf + 24),
                        a = (flags & (kAlphaPixels | kAlphaOnly)) ? Load32(pf + 28) : 0;
    for (const PixelLayout& layout : kLayouts)
        if (layout.bits == bits && layout.r == r && layout.g == g && layout.b == b && layout.a == a) return layout.format;
    return D3DFMT_UNKNOWN;
}

struct Header {
    D3DFORMAT format;
    unsigned width, height, levels;
};

HRESULT ParseHeader(const std::uint8_t* data, std::size_t size, Header* header) {
    if (data == nullptr || size < kHeaderBytes || Load32(data) != kMagic) return D3DXERR_INVALIDDATA;
    const std::uint8_t* h = data + 4;
    const std::uint32_t flags = Load32(h + 4);
    if (Load32(h) != 124 || Load32(h + 72) != 32) return D3DXERR_INVALIDDATA;
    if ((flags & (kHeight | kWidth)) != (kHeight | kWidth)) return D3DXERR_INVALIDDATA;
    if (Load32(h + 108) & (kCubeMap | kVolume)) return D3DXERR_INVALIDDATA;
    const std::uint32_t height = Load32(h + 8), width = Load32(h + 12);
    if (width == 0 || height == 0 || width > kMaxImageDimension || height > kMaxImageDimension)
        return D3DXERR_INVALIDDATA;
    const D3DFORMAT format = FormatOf(h + 72);
    if (format == D3DFMT_UNKNOWN) return D3DXERR_INVALIDDATA;
    std::uint32_t levels = (flags & kMipMapCount) ? Load32(h + 24) : 1;
    if (levels == 0) levels = 1;
    if (levels > FullMipChain(width, height)) return D3DXERR_INVALIDDATA;
    // Every declared level must be in the file.
    std::size_t needed = kHeaderBytes;
    for (unsigned level = 0; level < levels; ++level) {
        const std::size_t bytes = d3d9sw::SurfaceBytes(format, std::max(1u, width >> level), std::max(1u, height >> level));
        if (bytes == 0 || (level == 0 && bytes > kMaxImageBytes)) return D3DXERR_INVALIDDATA;
        needed += bytes;
        if (needed > size) return D3DXERR_INVALIDDATA;
    }
    *header = {format, width, height, levels};
    return D3D_OK;
}

void FillInfo(const Header& header, D3DXIMAGE_INFO* info) {
    if (info == nullptr) return;
    *info = {header.width, header.height, 1, header.levels, header.format, D3DRTYPE_TEXTURE, D3DXIFF_DDS};
}

}  // namespace

bool LooksLikeDds(const std::uint8_t* data, std::size_t size) {
    return data != nullptr && size >= 4 && Load32(data) == kMagic;
}

HRESULT ReadDdsInfo(const std::uint8_t* data, std::size_t size, D3DXIMAGE_INFO* info) {
    Header header{};
    const HRESULT hr = ParseHeader(data, size, &header);
    if (SUCCEEDED(hr)) FillInfo(header, info);
    return hr;
}

HRESULT DecodeDds(const std::uint8_t* data, std::size_t size, ImageBuffer* image, D3DXIMAGE_INFO* info) {
    Header header{};
    const HRESULT hr = ParseHeader(data, size, &header);
    if (FAILED(hr)) return hr;
    if (!image->Allocate(header.format, header.width, header.height)) return E_OUTOFMEMORY;
    std::memcpy(image->bits.data(), data + kHeaderBytes, image->bits.size());
    FillInfo(header, info);
    return D3D_OK;
}

HRESULT EncodeDds(const std::vector<d3d9sw::SurfaceView>& levels, std::vector<std::uint8_t>* out) {
    if (levels.empty()) return D3DERR_INVALIDCALL;
    const d3d9sw::SurfaceView& top = levels.front();
    const d3d9sw::FormatInfo info = d3d9sw::DescribeFormat(top.format);
    const PixelLayout* layout = nullptr;
    for (const PixelLayout& candidate : kLayouts)
        if (candidate.format == top.format) layout = &candidate;
    if (layout == nullptr && !info.compressed) return D3DERR_INVALIDCALL;
    if (top.width <= 0 || top.height <= 0) return D3DERR_INVALIDCALL;
    const unsigned width = static_cast<unsigned>(top.width), height = static_cast<unsigned>(top.height);
    try {
        out->clear();
        Put32(out, kMagic);
        const bool mips = levels.size() > 1;
        Put32(out, 124);
        Put32(out, kCaps | kHeight | kWidth | kPixelFormat | (info.compressed ? kLinearSize : kPitch) |
                       (mips ? kMipMapCount : 0));
        Put32(out, height);
        Put32(out, width);
        Put32(out, static_cast<std::uint32_t>(info.compressed ? d3d9sw::SurfaceBytes(top.format, width, height)
                                                              : d3d9sw::RowPitch(top.format, width)));
        Put32(out, 0);  // depth
        Put32(out, static_cast<std::uint32_t>(levels.size()));
        for (int i = 0; i < 11; ++i) Put32(out, 0);
        Put32(out, 32);
        if (info.compressed) {
            Put32(out, kFourCC);
            Put32(out, top.format);
            for (int i = 0; i < 5; ++i) Put32(out, 0);
        } else {
            Put32(out, layout->flags);
            Put32(out, 0);
            Put32(out, layout->bits);
            Put32(out, layout->r);
            Put32(out, layout->g);
            Put32(out, layout->b);
            Put32(out, layout->a);
        }
        Put32(out, kTexture | (mips ? kComplex | kMipMap : 0));
        for (int i = 0; i < 4; ++i) Put32(out, 0);
        for (const d3d9sw::SurfaceView& level : levels) {
            if (level.format != top.format || level.width <= 0 || level.height <= 0) return D3DERR_INVALIDCALL;
            const std::size_t rowBytes = d3d9sw::RowPitch(level.format, static_cast<unsigned>(level.width));
            const unsigned rows = d3d9sw::RowCount(level.format, static_cast<unsigned>(level.height));
            for (unsigned row = 0; row < rows; ++row) {
                const std::uint8_t* bits = level.bits + static_cast<std::ptrdiff_t>(row) * level.pitch;
                out->insert(out->end(), bits, bits + rowBytes);
            }
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

}  // namespace d3dx
