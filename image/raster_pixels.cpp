// CRaster: pixel access, drawing and construction from caller memory.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "image/mask_channel.h"
#include "image/raster.h"

using lumi::image::MaskChannel;

namespace {

int Luminance(BYTE red, BYTE green, BYTE blue) { return (red * 306 + green * 601 + blue * 117) >> 10; }

}  // namespace

BYTE* CRaster::PixelByte(LONG x, LONG y) const {
    return info.pixels + static_cast<std::size_t>(y) * info.row_stride + static_cast<std::size_t>(x) * header.biBitCount / 8;
}

bool CRaster::IsInside(LONG x, LONG y) const {
    return x >= 0 && y >= 0 && x < header.biWidth && y < header.biHeight;
}

BYTE CRaster::GetPixelIndex(LONG x, LONG y) const {
    if (!dib || header.biClrUsed == 0) return 0;
    if (!IsInside(x, y)) {
        if (info.background_index >= 0) return static_cast<BYTE>(info.background_index);
        return *info.pixels;
    }
    return ReadPixelIndex(x, y);
}

BYTE CRaster::ReadPixelIndex(LONG x, LONG y) const {
    const BYTE* row = info.pixels + static_cast<std::size_t>(y) * info.row_stride;
    switch (header.biBitCount) {
        case 8: return row[x];
        case 4: return static_cast<BYTE>((row[x >> 1] >> (4 - (x & 1) * 4)) & 0x0F);
        case 1: return static_cast<BYTE>((row[x >> 3] >> (7 - (x & 7))) & 0x01);
        default: return 0;
    }
}

void CRaster::WritePixelIndex(LONG x, LONG y, BYTE index) {
    BYTE* row = info.pixels + static_cast<std::size_t>(y) * info.row_stride;
    switch (header.biBitCount) {
        case 8: row[x] = index; break;
        case 4: {
            // Only the pixel's own nibble changes; the index is cut to 4 bits.
            const int shift = 4 - (x & 1) * 4;
            BYTE& b = row[x >> 1];
            b = static_cast<BYTE>((b & ~(0x0F << shift)) | ((index & 0x0F) << shift));
            break;
        }
        case 1: {
            const int shift = 7 - (x & 7);
            BYTE& b = row[x >> 3];
            b = static_cast<BYTE>((b & ~(1 << shift)) | ((index & 1) << shift));
            break;
        }
        default: break;
    }
}

void CRaster::SetPixelIndex(LONG x, LONG y, BYTE index) {
    if (!dib || header.biClrUsed == 0 || !IsInside(x, y)) return;
    WritePixelIndex(x, y, index);
}

RGBQUAD CRaster::GetPixelColor(LONG x, LONG y, bool withAlpha) const {
    if (dib && IsInside(x, y)) {
        RGBQUAD c;
        if (header.biClrUsed) {
            c = GetPaletteColor(ReadPixelIndex(x, y));
        } else {
            const BYTE* p = PixelByte(x, y);
            c = {p[0], p[1], p[2], info.background_color.rgbReserved};
        }
        if (withAlpha && alpha) c.rgbReserved = ReadAlphaAt(x, y);
        return c;
    }
    if (info.background_index >= 0) {
        if (header.biBitCount == 24) return info.background_color;
        return GetPaletteColor(static_cast<BYTE>(info.background_index));
    }
    if (dib) return GetPixelColor(0, 0, true);
    return info.background_color;
}

RGBQUAD CRaster::ReadPixelColor(LONG x, LONG y) const {
    RGBQUAD c;
    if (header.biClrUsed) {
        c = GetPaletteColor(ReadPixelIndex(x, y));
    } else {
        const BYTE* p = PixelByte(x, y);
        c = {p[0], p[1], p[2], 0};
    }
    c.rgbReserved = alpha ? ReadAlphaAt(x, y) : 0;
    return c;
}

void CRaster::SetPixelColor(LONG x, LONG y, RGBQUAD color, bool withAlpha) {
    if (!dib || !IsInside(x, y)) return;
    WritePixelColor(x, y, color, withAlpha);
}

void CRaster::SetPixelColor(LONG x, LONG y, COLORREF color) {
    const RGBQUAD c{static_cast<BYTE>(color >> 16), static_cast<BYTE>(color >> 8), static_cast<BYTE>(color), 0};
    SetPixelColor(x, y, c, false);
}

void CRaster::WritePixelColor(LONG x, LONG y, RGBQUAD color, bool withAlpha) {
    if (header.biClrUsed) {
        WritePixelIndex(x, y, FindNearestPaletteIndex(color));
    } else {
        BYTE* p = PixelByte(x, y);
        p[0] = color.rgbBlue;
        p[1] = color.rgbGreen;
        p[2] = color.rgbRed;
    }
    if (withAlpha && alpha) alpha[static_cast<std::size_t>(y) * GetWidth() + x] = color.rgbReserved;
}

BYTE CRaster::GetPixelGray(LONG x, LONG y) const {
    const RGBQUAD c = GetPixelColor(x, y, true);
    return static_cast<BYTE>(Luminance(c.rgbRed, c.rgbGreen, c.rgbBlue));
}

void CRaster::BlendPixel(LONG x, LONG y, RGBQUAD color, float blend, bool withAlpha) {
    if (!dib || !IsInside(x, y)) return;
    const int a = std::clamp(static_cast<int>(blend * 256.0f), 0, 256);
    const RGBQUAD old = GetPixelColor(x, y, withAlpha);
    auto mix = [a](BYTE o, BYTE n) { return static_cast<BYTE>((o * (256 - a) + n * a) >> 8); };
    const RGBQUAD out{mix(old.rgbBlue, color.rgbBlue), mix(old.rgbGreen, color.rgbGreen), mix(old.rgbRed, color.rgbRed),
                      mix(old.rgbReserved, color.rgbReserved)};
    WritePixelColor(x, y, out, withAlpha);
}

void CRaster::Clear(BYTE value) {
    if (!dib) return;
    if (header.biBitCount == 4) value = static_cast<BYTE>((value & 0x0F) * 17);
    if (header.biBitCount == 1 && value) value = 255;
    std::memset(info.pixels, value, header.biSizeImage);
}

void CRaster::DrawLine(LONG x1, LONG x2, LONG y1, LONG y2, RGBQUAD color) {
    if (!dib) return;
    // Bresenham in 64 bits so that far-away end points cannot overflow the error term.
    long long x = x1, y = y1;
    const long long dx = std::llabs(static_cast<long long>(x2) - x1), sx = x1 < x2 ? 1 : -1;
    const long long dy = -std::llabs(static_cast<long long>(y2) - y1), sy = y1 < y2 ? 1 : -1;
    long long err = dx + dy;
    const long long w = header.biWidth, h = header.biHeight;
    for (;;) {
        if (x >= 0 && y >= 0 && x < w && y < h) WritePixelColor(static_cast<LONG>(x), static_cast<LONG>(y), color);
        if (x == x2 && y == y2) break;
        const long long e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

bool CRaster::CreateFromBuffer(const BYTE* buffer, DWORD width, DWORD height, DWORD bits, DWORD bytesPerRow,
                               bool flip) {
    if (!buffer) return false;
    std::vector<const BYTE*> rows;
    try {
        rows.resize(height);
    } catch (...) {
        return false;
    }
    for (DWORD i = 0; i < height; ++i) rows[i] = buffer + static_cast<std::size_t>(i) * bytesPerRow;
    return CreateFromRows(rows.data(), width, height, bits, bytesPerRow, flip);
}

bool CRaster::CreateFromRows(const BYTE* const* rows, DWORD width, DWORD height, DWORD bits, DWORD bytesPerRow,
                             bool flip) {
    if (!rows || (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)) return false;
    if (!Create(width, height, bits == 32 ? 24 : bits, info.type)) return false;
    if (bits < 24) SetGrayPalette();
    if (bits == 32 && !CreateAlpha()) return false;
    const DWORD pixelsPerRow = std::min(width, bytesPerRow / 4);
    for (DWORD y = 0; y < height; ++y) {
        const BYTE* src = rows[flip ? height - 1 - y : y];
        if (!src) continue;
        BYTE* dst = info.pixels + static_cast<std::size_t>(y) * info.row_stride;
        if (bits == 32) {
            // Blue, green, red, alpha per source pixel: the fourth byte goes to the plane.
            BYTE* a = alpha + static_cast<std::size_t>(y) * width;
            for (DWORD x = 0; x < pixelsPerRow; ++x) {
                dst[x * 3] = src[x * 4];
                dst[x * 3 + 1] = src[x * 4 + 1];
                dst[x * 3 + 2] = src[x * 4 + 2];
                a[x] = src[x * 4 + 3];
            }
        } else {
            std::memcpy(dst, src, std::min(info.row_stride, bytesPerRow));
        }
    }
    return true;
}

void CRaster::ExpandBitfields(DWORD bits, const BYTE* source, DWORD redMask, DWORD greenMask, DWORD blueMask) {
    if (!dib || !source || header.biBitCount != 24) return;
    const DWORD width = GetWidth();
    const DWORD height = GetHeight();
    if (bits == 16) {
        const MaskChannel red(redMask & 0xFFFF), green(greenMask & 0xFFFF), blue(blueMask & 0xFFFF);
        const std::size_t sourceStride = static_cast<std::size_t>((width + 1) / 2) * 4;
        // Backwards, because the source may be this image's own pixel area: every write lands
        // at or after the bytes it was read from, never on bytes still to be read.
        for (DWORD y = height; y-- > 0;) {
            const BYTE* srow = source + y * sourceStride;
            BYTE* drow = info.pixels + static_cast<std::size_t>(y) * info.row_stride;
            for (DWORD x = width; x-- > 0;) {
                const DWORD w = static_cast<DWORD>(srow[x * 2]) | (static_cast<DWORD>(srow[x * 2 + 1]) << 8);
                drow[x * 3] = blue.Extract(w);
                drow[x * 3 + 1] = green.Extract(w);
                drow[x * 3 + 2] = red.Extract(w);
            }
        }
    } else if (bits == 32) {
        const MaskChannel red(redMask), green(greenMask), blue(blueMask);
        const std::size_t sourceStride = static_cast<std::size_t>(width) * 4;
        // Forwards: 32-bit rows are wider than 24-bit ones, so a shared buffer is read ahead.
        for (DWORD y = 0; y < height; ++y) {
            const BYTE* srow = source + y * sourceStride;
            BYTE* drow = info.pixels + static_cast<std::size_t>(y) * info.row_stride;
            for (DWORD x = 0; x < width; ++x) {
                const BYTE* q = srow + x * 4;
                const DWORD w = static_cast<DWORD>(q[0]) | (static_cast<DWORD>(q[1]) << 8) |
                                (static_cast<DWORD>(q[2]) << 16) | (static_cast<DWORD>(q[3]) << 24);
                drow[x * 3] = blue.Extract(w);
                drow[x * 3 + 1] = green.Extract(w);
                drow[x * 3 + 2] = red.Extract(w);
            }
        }
    }
}

int CRaster::CompareLuminance(const void* a, const void* b) {
    const BYTE* ca = static_cast<const BYTE*>(a);
    const BYTE* cb = static_cast<const BYTE*>(b);
    return Luminance(cb[2], cb[1], cb[0]) - Luminance(ca[2], ca[1], ca[0]);
}
