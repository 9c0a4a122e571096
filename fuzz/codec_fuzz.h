#pragma once
// The shared body of the single-format decoder fuzz targets: probe the header, cap the
// size, decode, walk every pixel, then write the image back in its own format and decode
// that again, which must give the same pixels.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "image/raster.h"

namespace lumi::fuzz {

inline constexpr std::uint64_t kMaxFuzzPixels = 1u << 16;

[[noreturn]] inline void Fail() { __builtin_trap(); }

// What a reader of the image sees at (x, y): colour, and opacity from transparency, the
// alpha plane or palette alpha. Files may say the same thing in different ways (a one-entry
// tRNS or a longer one that ends in opaque entries), so the representation may differ.
inline RGBQUAD Seen(const CRaster& image, LONG x, LONG y) {
    RGBQUAD c = image.GetPixelColor(x, y, false);
    if (image.IsTransparent(x, y))
        c.rgbReserved = 0;
    else if (image.HasAlpha())
        c.rgbReserved = image.GetAlphaAt(x, y);
    else if (!(image.IsIndexed() && image.GetAlphaPaletteEnabled()))
        c.rgbReserved = 255;
    return c;
}

inline bool SamePixels(const CRaster& a, const CRaster& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) return false;
    for (LONG y = 0; y < static_cast<LONG>(a.GetHeight()); ++y)
        for (LONG x = 0; x < static_cast<LONG>(a.GetWidth()); ++x) {
            const RGBQUAD p = Seen(a, x, y), q = Seen(b, x, y);
            if (std::memcmp(&p, &q, sizeof(p)) != 0) return false;
        }
    return true;
}

inline int FuzzDecoder(const std::uint8_t* data, std::size_t size, DWORD type) {
    if (size > (1u << 20)) return 0;
    BYTE* bytes = const_cast<BYTE*>(data);
    CRaster probe;
    probe.RequestHeaderOnly();
    if (probe.Decode(bytes, static_cast<DWORD>(size), type) &&
        static_cast<std::uint64_t>(probe.GetWidth()) * probe.GetHeight() > kMaxFuzzPixels)
        return 0;

    CRaster image;
    if (!image.Decode(bytes, static_cast<DWORD>(size), type)) {
        if (image.GetLastError()[0] == '\0' || image.IsValid()) Fail();
        return 0;
    }
    if (image.GetType() != type || !image.IsValid()) Fail();
    const DWORD palette = image.GetColorsUsed() * 4;
    if (image.GetSize() != 40 + palette + image.GetRowStride() * image.GetHeight()) Fail();
    unsigned sum = 0;
    for (LONG y = 0; y < static_cast<LONG>(image.GetHeight()); ++y)
        for (LONG x = 0; x < static_cast<LONG>(image.GetWidth()); ++x)
            sum += image.GetPixelColor(x, y, true).rgbRed + image.IsTransparent(x, y);
    (void)sum;

    BYTE* encoded = nullptr;
    long encodedSize = 0;
    if (!image.Encode(encoded, encodedSize, type)) Fail();
    CRaster again;
    const bool decoded = again.Decode(encoded, static_cast<DWORD>(encodedSize), type);
    std::free(encoded);
    if (!decoded || !SamePixels(image, again)) Fail();
    return 0;
}

}  // namespace lumi::fuzz
