#include "platform/d3dx9/surface_copy.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "platform/d3dx9/d3dx9.h"

namespace d3dx {
namespace {

using d3d9sw::SurfaceView;

struct Area {
    int left, top, width, height;
};

bool IsColourFormat(D3DFORMAT format) {
    const d3d9sw::FormatInfo info = d3d9sw::DescribeFormat(format);
    return info.supported && !info.depth;
}

bool ResolveRect(const SurfaceView& view, const RECT* rect, Area* area) {
    if (rect == nullptr) {
        *area = {0, 0, view.width, view.height};
        return view.width > 0 && view.height > 0;
    }
    if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
        rect->right > view.width || rect->bottom > view.height)
        return false;
    *area = {rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top};
    return true;
}

// One source pixel's share in one destination pixel along an axis.
struct Tap {
    int index;
    float weight;
};
using AxisTaps = std::vector<std::vector<Tap>>;  // per destination index

AxisTaps LinearTaps(int from, int to) {
    AxisTaps taps(static_cast<std::size_t>(to));
    const double scale = static_cast<double>(from) / to;
    for (int i = 0; i < to; ++i) {
        const double centre = (i + 0.5) * scale - 0.5;
        const double first = std::floor(centre);
        const float fraction = static_cast<float>(centre - first);
        const int a = std::clamp(static_cast<int>(first), 0, from - 1);
        const int b = std::clamp(static_cast<int>(first) + 1, 0, from - 1);
        taps[static_cast<std::size_t>(i)] = {{a, 1.0f - fraction}, {b, fraction}};
    }
    return taps;
}

// Each destination pixel averages the source pixels its footprint covers, weighted by overlap.
AxisTaps BoxTaps(int from, int to) {
    AxisTaps taps(static_cast<std::size_t>(to));
    const double scale = static_cast<double>(from) / to;
    for (int i = 0; i < to; ++i) {
        const double begin = i * scale, end = (i + 1) * scale;
        auto& list = taps[static_cast<std::size_t>(i)];
        for (int s = static_cast<int>(std::floor(begin)); s < end && s < from; ++s) {
            const double overlap = std::min<double>(end, s + 1) - std::max<double>(begin, s);
            if (overlap > 0) list.push_back({s, static_cast<float>(overlap / scale)});
        }
    }
    return taps;
}

AxisTaps TapsFor(DWORD kind, int from, int to) {
    if (kind == D3DX_FILTER_LINEAR) return LinearTaps(from, to);
    if (kind == D3DX_FILTER_TRIANGLE && to > from) return LinearTaps(from, to);
    return BoxTaps(from, to);
}

std::vector<std::uint32_t> ReadArea(const SurfaceView& view, const Area& area) {
    std::vector<std::uint32_t> out(static_cast<std::size_t>(area.width) * static_cast<std::size_t>(area.height));
    const d3d9sw::FormatInfo info = d3d9sw::DescribeFormat(view.format);
    if (!info.compressed) {
        for (int y = 0; y < area.height; ++y)
            for (int x = 0; x < area.width; ++x)
                out[static_cast<std::size_t>(y) * area.width + x] = d3d9sw::ReadPixel(view, area.left + x, area.top + y);
        return out;
    }
    // Decode each block once rather than once per pixel.
    for (int by = area.top / 4; by * 4 < area.top + area.height; ++by) {
        for (int bx = area.left / 4; bx * 4 < area.left + area.width; ++bx) {
            std::uint32_t block[16];
            d3d9sw::DecodeDxtBlock(view.format, view.bits + static_cast<std::ptrdiff_t>(by) * view.pitch + bx * info.blockBytes,
                                   block);
            for (int j = 0; j < 4; ++j) {
                for (int i = 0; i < 4; ++i) {
                    const int x = bx * 4 + i - area.left, y = by * 4 + j - area.top;
                    if (x < 0 || y < 0 || x >= area.width || y >= area.height) continue;
                    out[static_cast<std::size_t>(y) * area.width + x] = block[j * 4 + i];
                }
            }
        }
    }
    return out;
}

std::vector<std::uint32_t> Resample(const std::vector<std::uint32_t>& src, int sw, int sh, int dw, int dh, DWORD kind) {
    std::vector<std::uint32_t> out(static_cast<std::size_t>(dw) * static_cast<std::size_t>(dh), 0);
    if (kind == D3DX_FILTER_NONE) {
        for (int y = 0; y < std::min(sh, dh); ++y)
            std::copy_n(&src[static_cast<std::size_t>(y) * sw], std::min(sw, dw), &out[static_cast<std::size_t>(y) * dw]);
        return out;
    }
    if (kind == D3DX_FILTER_POINT) {
        for (int y = 0; y < dh; ++y) {
            const int sy = static_cast<int>((2ll * y + 1) * sh / (2ll * dh));
            for (int x = 0; x < dw; ++x) {
                const int sx = static_cast<int>((2ll * x + 1) * sw / (2ll * dw));
                out[static_cast<std::size_t>(y) * dw + x] = src[static_cast<std::size_t>(sy) * sw + sx];
            }
        }
        return out;
    }
    // Separable: rows first into floats, then columns.
    const AxisTaps across = TapsFor(kind, sw, dw), down = TapsFor(kind, sh, dh);
    std::vector<float> rows(static_cast<std::size_t>(sh) * dw * 4);
    for (int y = 0; y < sh; ++y) {
        for (int x = 0; x < dw; ++x) {
            float sum[4] = {};
            for (const Tap& tap : across[static_cast<std::size_t>(x)]) {
                const std::uint32_t p = src[static_cast<std::size_t>(y) * sw + tap.index];
                for (int c = 0; c < 4; ++c) sum[c] += tap.weight * static_cast<float>((p >> (8 * c)) & 0xFF);
            }
            std::copy_n(sum, 4, &rows[(static_cast<std::size_t>(y) * dw + x) * 4]);
        }
    }
    for (int y = 0; y < dh; ++y) {
        for (int x = 0; x < dw; ++x) {
            float sum[4] = {};
            for (const Tap& tap : down[static_cast<std::size_t>(y)])
                for (int c = 0; c < 4; ++c) sum[c] += tap.weight * rows[(static_cast<std::size_t>(tap.index) * dw + x) * 4 + c];
            std::uint32_t p = 0;
            for (int c = 0; c < 4; ++c)
                p |= static_cast<std::uint32_t>(std::clamp(std::lround(sum[c]), 0l, 255l)) << (8 * c);
            out[static_cast<std::size_t>(y) * dw + x] = p;
        }
    }
    return out;
}

void WriteArea(const SurfaceView& view, const Area& area, const std::vector<std::uint32_t>& pixels) {
    const d3d9sw::FormatInfo info = d3d9sw::DescribeFormat(view.format);
    if (!info.compressed) {
        for (int y = 0; y < area.height; ++y)
            for (int x = 0; x < area.width; ++x)
                d3d9sw::WritePixel(view, area.left + x, area.top + y, pixels[static_cast<std::size_t>(y) * area.width + x]);
        return;
    }
    for (int by = area.top / 4; by * 4 < area.top + area.height; ++by) {
        for (int bx = area.left / 4; bx * 4 < area.left + area.width; ++bx) {
            std::uint8_t* blockBits = view.bits + static_cast<std::ptrdiff_t>(by) * view.pitch + bx * info.blockBytes;
            std::uint32_t old[16], block[16];
            d3d9sw::DecodeDxtBlock(view.format, blockBits, old);
            for (int j = 0; j < 4; ++j) {
                for (int i = 0; i < 4; ++i) {
                    // Pixels past the surface's edge repeat the edge so they do not skew the block's colours.
                    const int sx = std::min(bx * 4 + i, view.width - 1), sy = std::min(by * 4 + j, view.height - 1);
                    const int x = sx - area.left, y = sy - area.top;
                    if (x >= 0 && y >= 0 && x < area.width && y < area.height)
                        block[j * 4 + i] = pixels[static_cast<std::size_t>(y) * area.width + x];
                    else
                        block[j * 4 + i] = old[(sy - by * 4) * 4 + (sx - bx * 4)];
                }
            }
            d3d9sw::EncodeDxtBlock(view.format, block, blockBits);
        }
    }
}

bool BlockAligned(const SurfaceView& view, const Area& area) {
    if (!d3d9sw::DescribeFormat(view.format).compressed) return true;
    return area.left % 4 == 0 && area.top % 4 == 0 && (area.width % 4 == 0 || area.left + area.width == view.width) &&
           (area.height % 4 == 0 || area.top + area.height == view.height);
}

// Same format, same size, no key: the bytes move unchanged (and DXT blocks are not re-encoded).
void CopyRaw(const SurfaceView& dst, const Area& d, const SurfaceView& src, const Area& s) {
    const d3d9sw::FormatInfo info = d3d9sw::DescribeFormat(src.format);
    const bool blocks = info.compressed;
    const std::size_t rowBytes = d3d9sw::RowPitch(src.format, static_cast<unsigned>(s.width));
    const int rows = static_cast<int>(d3d9sw::RowCount(src.format, static_cast<unsigned>(s.height)));
    const std::size_t srcOffset = blocks ? static_cast<std::size_t>(s.left / 4) * info.blockBytes
                                         : static_cast<std::size_t>(s.left) * (info.bitsPerPixel / 8);
    const std::size_t dstOffset = blocks ? static_cast<std::size_t>(d.left / 4) * info.blockBytes
                                         : static_cast<std::size_t>(d.left) * (info.bitsPerPixel / 8);
    const int srcRow0 = blocks ? s.top / 4 : s.top, dstRow0 = blocks ? d.top / 4 : d.top;
    for (int row = 0; row < rows; ++row)
        std::memmove(dst.bits + static_cast<std::ptrdiff_t>(dstRow0 + row) * dst.pitch + dstOffset,
                     src.bits + static_cast<std::ptrdiff_t>(srcRow0 + row) * src.pitch + srcOffset, rowBytes);
}

}  // namespace

HRESULT CopySurfaceRect(const SurfaceView& dst, const RECT* dstRect, const SurfaceView& src, const RECT* srcRect,
                        DWORD filter, DWORD colorKey) {
    if (dst.bits == nullptr || src.bits == nullptr || !IsColourFormat(dst.format) || !IsColourFormat(src.format))
        return D3DERR_INVALIDCALL;
    const DWORD kind = filter == D3DX_DEFAULT ? D3DX_FILTER_TRIANGLE : (filter & 0xFF);
    if (kind < D3DX_FILTER_NONE || kind > D3DX_FILTER_BOX) return D3DERR_INVALIDCALL;
    Area d{}, s{};
    if (!ResolveRect(dst, dstRect, &d) || !ResolveRect(src, srcRect, &s)) return D3DERR_INVALIDCALL;
    if (kind == D3DX_FILTER_NONE) {
        // Source pixels beyond the destination are never read (a large scratch surface into a small texture).
        s.width = std::min(s.width, d.width);
        s.height = std::min(s.height, d.height);
    }

    if (dst.format == src.format && d.width == s.width && d.height == s.height && colorKey == 0 &&
        BlockAligned(dst, d) && BlockAligned(src, s)) {
        CopyRaw(dst, d, src, s);
        return D3D_OK;
    }
    try {
        std::vector<std::uint32_t> pixels = ReadArea(src, s);
        if (colorKey != 0)
            std::replace(pixels.begin(), pixels.end(), static_cast<std::uint32_t>(colorKey), std::uint32_t{0});
        if (d.width != s.width || d.height != s.height) pixels = Resample(pixels, s.width, s.height, d.width, d.height, kind);
        WriteArea(dst, d, pixels);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

}  // namespace d3dx
