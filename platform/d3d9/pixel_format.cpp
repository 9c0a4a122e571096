#include "platform/d3d9/pixel_format.h"

#include <algorithm>
#include <cstring>
#include <limits>

// The encoder is private to this file so that other users of stb_dxt link their own copy.
#define STB_DXT_STATIC
#define STB_DXT_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include <stb/stb_dxt.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace d3d9sw {
namespace {

std::uint32_t Expand5(std::uint32_t v) { return (v << 3) | (v >> 2); }
std::uint32_t Expand6(std::uint32_t v) { return (v << 2) | (v >> 4); }
std::uint32_t Expand4(std::uint32_t v) { return v * 17; }
// Rounds an 8-bit channel to `bits` bits.
std::uint32_t Narrow(std::uint32_t v, unsigned bits) {
    const std::uint32_t max = (1u << bits) - 1;
    return (v * max + 127) / 255;
}

std::uint32_t Argb(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

std::uint32_t Rgb565ToArgb(std::uint32_t c) {
    return Argb(0xFF, Expand5((c >> 11) & 31), Expand6((c >> 5) & 63), Expand5(c & 31));
}

std::uint16_t Load16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
std::uint32_t Load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
void Store16(std::uint8_t* p, std::uint16_t v) { std::memcpy(p, &v, 2); }
void Store32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

// One pixel of the colour half of a DXT block. `allowTransparent` selects DXT1's three-colour
// mode when the first endpoint is not greater than the second; DXT2-5 always use four colours.
std::uint32_t DecodeColorTexel(const std::uint8_t* block, bool allowTransparent, int pixel) {
    const std::uint32_t c0 = Load16(block), c1 = Load16(block + 2);
    const unsigned index = (Load32(block + 4) >> (2 * pixel)) & 3;
    const std::uint32_t e0 = Rgb565ToArgb(c0), e1 = Rgb565ToArgb(c1);
    if (index < 2) return index == 0 ? e0 : e1;
    auto mix = [&](unsigned w0, unsigned w1, unsigned div) {
        std::uint32_t result = 0xFF000000u;
        for (int shift = 0; shift <= 16; shift += 8) {
            const std::uint32_t a = (e0 >> shift) & 0xFF, b = (e1 >> shift) & 0xFF;
            result |= ((a * w0 + b * w1 + div / 2) / div) << shift;
        }
        return result;
    };
    if (c0 > c1 || !allowTransparent) return index == 2 ? mix(2, 1, 3) : mix(1, 2, 3);
    return index == 2 ? mix(1, 1, 2) : 0;  // index 3: transparent black
}

// One alpha value of a DXT5 block: two endpoints and six (or four plus 0 and 255) between.
std::uint32_t DecodeDxt5Alpha(const std::uint8_t* block, int pixel) {
    const std::uint32_t a0 = block[0], a1 = block[1];
    std::uint64_t bits = 0;
    for (int i = 0; i < 6; ++i) bits |= static_cast<std::uint64_t>(block[2 + i]) << (8 * i);
    const unsigned index = (bits >> (3 * pixel)) & 7;
    if (index < 2) return index == 0 ? a0 : a1;
    if (a0 > a1) return ((8 - index) * a0 + (index - 1) * a1 + 3) / 7;
    if (index >= 6) return index == 6 ? 0 : 255;
    return ((6 - index) * a0 + (index - 1) * a1 + 2) / 5;
}

std::uint32_t DecodeDxtTexel(D3DFORMAT format, const std::uint8_t* block, int pixel) {
    if (format == D3DFMT_DXT1) return DecodeColorTexel(block, true, pixel);
    const std::uint32_t rgb = DecodeColorTexel(block + 8, false, pixel) & 0x00FFFFFFu;
    const std::uint32_t alpha =
        format == D3DFMT_DXT3 ? Expand4((block[pixel / 2] >> (4 * (pixel % 2))) & 15) : DecodeDxt5Alpha(block, pixel);
    return rgb | (alpha << 24);
}

bool IsDxt(D3DFORMAT format) {
    return format == D3DFMT_DXT1 || format == D3DFMT_DXT3 || format == D3DFMT_DXT5;
}

}  // namespace

FormatInfo DescribeFormat(D3DFORMAT format) {
    //                  supported compressed depth alpha bpp block
    switch (format) {
    case D3DFMT_A8R8G8B8: return {true, false, false, true, 32, 0};
    case D3DFMT_X8R8G8B8: return {true, false, false, false, 32, 0};
    case D3DFMT_R5G6B5: return {true, false, false, false, 16, 0};
    case D3DFMT_X1R5G5B5: return {true, false, false, false, 16, 0};
    case D3DFMT_A1R5G5B5: return {true, false, false, true, 16, 0};
    case D3DFMT_A4R4G4B4: return {true, false, false, true, 16, 0};
    case D3DFMT_A8: return {true, false, false, true, 8, 0};
    case D3DFMT_L8: return {true, false, false, false, 8, 0};
    case D3DFMT_DXT1: return {true, true, false, true, 0, 8};
    case D3DFMT_DXT3: return {true, true, false, true, 0, 16};
    case D3DFMT_DXT5: return {true, true, false, true, 0, 16};
    case D3DFMT_D16:
    case D3DFMT_D16_LOCKABLE: return {true, false, true, false, 16, 0};
    case D3DFMT_D24S8:
    case D3DFMT_D24X8: return {true, false, true, false, 32, 0};
    default: return {false, false, false, false, 0, 0};
    }
}

std::size_t RowPitch(D3DFORMAT format, unsigned width) {
    const FormatInfo info = DescribeFormat(format);
    if (!info.supported) return 0;
    if (info.compressed) return static_cast<std::size_t>((width + 3u) / 4u) * info.blockBytes;
    return static_cast<std::size_t>(width) * (info.bitsPerPixel / 8);
}

unsigned RowCount(D3DFORMAT format, unsigned height) {
    const FormatInfo info = DescribeFormat(format);
    if (!info.supported) return 0;
    return info.compressed ? (height + 3u) / 4u : height;
}

std::size_t SurfaceBytes(D3DFORMAT format, unsigned width, unsigned height) {
    const std::size_t pitch = RowPitch(format, width);
    const std::size_t rows = RowCount(format, height);
    if (pitch == 0 || rows == 0) return 0;
    if (pitch > std::numeric_limits<std::size_t>::max() / rows) return 0;
    return pitch * rows;
}

std::uint32_t ReadPixel(const SurfaceView& view, int x, int y) {
    if (IsDxt(view.format)) {
        const FormatInfo info = DescribeFormat(view.format);
        const std::uint8_t* block = view.bits + static_cast<std::ptrdiff_t>(y / 4) * view.pitch +
                                    static_cast<std::ptrdiff_t>(x / 4) * info.blockBytes;
        return DecodeDxtTexel(view.format, block, (y % 4) * 4 + (x % 4));
    }
    const std::uint8_t* row = view.bits + static_cast<std::ptrdiff_t>(y) * view.pitch;
    switch (view.format) {
    case D3DFMT_A8R8G8B8: return Load32(row + 4 * x);
    case D3DFMT_X8R8G8B8: return Load32(row + 4 * x) | 0xFF000000u;
    case D3DFMT_R5G6B5: return Rgb565ToArgb(Load16(row + 2 * x));
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5: {
        const std::uint32_t c = Load16(row + 2 * x);
        const std::uint32_t a = (view.format == D3DFMT_X1R5G5B5 || (c & 0x8000)) ? 0xFF : 0;
        return Argb(a, Expand5((c >> 10) & 31), Expand5((c >> 5) & 31), Expand5(c & 31));
    }
    case D3DFMT_A4R4G4B4: {
        const std::uint32_t c = Load16(row + 2 * x);
        return Argb(Expand4(c >> 12), Expand4((c >> 8) & 15), Expand4((c >> 4) & 15), Expand4(c & 15));
    }
    case D3DFMT_A8: return static_cast<std::uint32_t>(row[x]) << 24;
    case D3DFMT_L8: return Argb(0xFF, row[x], row[x], row[x]);
    case D3DFMT_D16:
    case D3DFMT_D16_LOCKABLE: {
        const std::uint64_t d = Load16(row + 2 * x);
        return static_cast<std::uint32_t>((d * 0xFFFFFFu + 0x7FFFu) / 0xFFFFu);
    }
    case D3DFMT_D24S8:
    case D3DFMT_D24X8: return Load32(row + 4 * x) >> 8;
    default: return 0;
    }
}

void WritePixel(const SurfaceView& view, int x, int y, std::uint32_t argb) {
    std::uint8_t* row = view.bits + static_cast<std::ptrdiff_t>(y) * view.pitch;
    const std::uint32_t a = argb >> 24, r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    switch (view.format) {
    case D3DFMT_A8R8G8B8: Store32(row + 4 * x, argb); break;
    case D3DFMT_X8R8G8B8: Store32(row + 4 * x, argb | 0xFF000000u); break;
    case D3DFMT_R5G6B5:
        Store16(row + 2 * x, static_cast<std::uint16_t>((Narrow(r, 5) << 11) | (Narrow(g, 6) << 5) | Narrow(b, 5)));
        break;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5: {
        const std::uint32_t top = (view.format == D3DFMT_X1R5G5B5 || a >= 128) ? 0x8000 : 0;
        Store16(row + 2 * x, static_cast<std::uint16_t>(top | (Narrow(r, 5) << 10) | (Narrow(g, 5) << 5) | Narrow(b, 5)));
        break;
    }
    case D3DFMT_A4R4G4B4:
        Store16(row + 2 * x, static_cast<std::uint16_t>((Narrow(a, 4) << 12) | (Narrow(r, 4) << 8) |
                                                        (Narrow(g, 4) << 4) | Narrow(b, 4)));
        break;
    case D3DFMT_A8: row[x] = static_cast<std::uint8_t>(a); break;
    // Luminance with the Rec. 709 weights (54 + 183 + 19 = 256).
    case D3DFMT_L8: row[x] = static_cast<std::uint8_t>((r * 54 + g * 183 + b * 19 + 128) >> 8); break;
    default: break;  // DXT and depth surfaces are not written pixel by pixel
    }
}

void DecodeDxtBlock(D3DFORMAT format, const std::uint8_t* block, std::uint32_t out[16]) {
    for (int i = 0; i < 16; ++i) out[i] = DecodeDxtTexel(format, block, i);
}

void EncodeDxtBlock(D3DFORMAT format, const std::uint32_t in[16], std::uint8_t* block) {
    unsigned char rgba[64];
    bool anyTransparent = false;
    for (int i = 0; i < 16; ++i) {
        rgba[4 * i + 0] = static_cast<unsigned char>(in[i] >> 16);
        rgba[4 * i + 1] = static_cast<unsigned char>(in[i] >> 8);
        rgba[4 * i + 2] = static_cast<unsigned char>(in[i]);
        rgba[4 * i + 3] = static_cast<unsigned char>(in[i] >> 24);
        anyTransparent = anyTransparent || (in[i] >> 24) < 128;
    }
    if (format == D3DFMT_DXT5) {
        stb_compress_dxt_block(block, rgba, 1, STB_DXT_HIGHQUAL);
        return;
    }
    std::uint8_t* colour = format == D3DFMT_DXT3 ? block + 8 : block;
    stb_compress_dxt_block(colour, rgba, 0, STB_DXT_HIGHQUAL);
    if (format == D3DFMT_DXT3) {
        std::memset(block, 0, 8);
        for (int i = 0; i < 16; ++i)
            block[i / 2] |= static_cast<std::uint8_t>(Narrow(in[i] >> 24, 4) << (4 * (i % 2)));
        return;
    }
    if (!anyTransparent) {
        // Equal endpoints read as three-colour mode, where index 3 is transparent: point those
        // pixels at the (identical) first endpoint instead.
        if (Load16(colour) == Load16(colour + 2)) {
            std::uint32_t indices = Load32(colour + 4);
            for (int i = 0; i < 16; ++i)
                if (((indices >> (2 * i)) & 3) == 3) indices &= ~(3u << (2 * i));
            Store32(colour + 4, indices);
        }
        return;
    }
    // One-bit alpha: switch to three-colour mode (first endpoint <= second), map the two
    // interpolated colours to the midpoint and transparent pixels to index 3.
    std::uint16_t c0 = Load16(colour), c1 = Load16(colour + 2);
    std::uint32_t indices = Load32(colour + 4);
    bool swapped = false;
    if (c0 > c1) {
        std::swap(c0, c1);
        swapped = true;
    }
    std::uint32_t remapped = 0;
    for (int i = 0; i < 16; ++i) {
        std::uint32_t index = (indices >> (2 * i)) & 3;
        if ((in[i] >> 24) < 128) {
            index = 3;
        } else if (index >= 2) {
            index = 2;
        } else if (swapped) {
            index ^= 1;
        }
        remapped |= index << (2 * i);
    }
    Store16(colour, c0);
    Store16(colour + 2, c1);
    Store32(colour + 4, remapped);
}

}  // namespace d3d9sw
