// CRaster: palette access and the standard palettes.
#include <algorithm>
#include <cstring>

#include "image/raster.h"

namespace {

constexpr RGBQUAD Rgb(DWORD rgb) {
    return RGBQUAD{static_cast<BYTE>(rgb), static_cast<BYTE>(rgb >> 8), static_cast<BYTE>(rgb >> 16), 0};
}

// The 16 standard system colours, as 0xRRGGBB.
constexpr DWORD kSystemColors[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                     0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                     0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

// The fixed 8-bit palette: the 8 dark system colours, a 6x6x6 colour cube and two pale
// tints, a 20-step grey ramp from 0xF2F2F2 down, then cream, medium grey, grey and the
// seven bright system colours.
void FillDefault256(RGBQUAD* palette) {
    int n = 0;
    for (int i = 0; i < 8; ++i) palette[n++] = Rgb(kSystemColors[i]);
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                palette[n++] = RGBQUAD{static_cast<BYTE>(b * 51), static_cast<BYTE>(g * 51), static_cast<BYTE>(r * 51), 0};
    palette[n++] = Rgb(0xC0DCC0);
    palette[n++] = Rgb(0xA6CAF0);
    for (int i = 0; i < 20; ++i) palette[n++] = Rgb(0xF2F2F2 - static_cast<DWORD>(i) * 0x0C0C0C);
    palette[n++] = Rgb(0xFFFBF0);
    palette[n++] = Rgb(0xA0A0A4);
    for (int i = 8; i < 16; ++i) palette[n++] = Rgb(kSystemColors[i]);
}

}  // namespace

RGBQUAD* CRaster::GetPalette() const {
    if (!dib || header.biClrUsed == 0) return nullptr;
    return reinterpret_cast<RGBQUAD*>(dib + sizeof(BITMAPINFOHEADER));
}

RGBQUAD CRaster::GetPaletteColor(BYTE index) const {
    const RGBQUAD* palette = GetPalette();
    if (!palette || index >= header.biClrUsed) return RGBQUAD{0, 0, 0, 0};
    return palette[index];
}

bool CRaster::GetPaletteColor(BYTE index, BYTE* red, BYTE* green, BYTE* blue) const {
    const RGBQUAD* palette = GetPalette();
    if (!palette || index >= header.biClrUsed) return false;
    if (red) *red = palette[index].rgbRed;
    if (green) *green = palette[index].rgbGreen;
    if (blue) *blue = palette[index].rgbBlue;
    return true;
}

void CRaster::SetPaletteColor(BYTE index, BYTE red, BYTE green, BYTE blue) {
    SetPaletteColor(index, RGBQUAD{blue, green, red, 0});
}

void CRaster::SetPaletteColor(BYTE index, RGBQUAD color) {
    RGBQUAD* palette = GetPalette();
    if (!palette || index >= header.biClrUsed) return;
    palette[index] = color;
    InvalidateNearestCache();
}

void CRaster::SetPaletteColor(BYTE index, COLORREF color) {
    SetPaletteColor(index, static_cast<BYTE>(color), static_cast<BYTE>(color >> 8), static_cast<BYTE>(color >> 16));
}

void CRaster::SetPalette(const RGBQUAD* entries, DWORD count) {
    RGBQUAD* palette = GetPalette();
    if (!palette || !entries) return;
    std::memcpy(palette, entries, std::min(count, header.biClrUsed) * sizeof(RGBQUAD));
    InvalidateNearestCache();
}

void CRaster::SetPaletteRGB(const BYTE* red, const BYTE* green, const BYTE* blue, DWORD count) {
    RGBQUAD* palette = GetPalette();
    if (!palette || !red) return;
    if (!green) green = red;
    if (!blue) blue = red;
    const DWORD n = std::min(count, header.biClrUsed);
    for (DWORD i = 0; i < n; ++i) palette[i] = RGBQUAD{blue[i], green[i], red[i], 0};
    InvalidateNearestCache();
}

void CRaster::SetPaletteTriplets(const BYTE* bgr, DWORD count) {
    RGBQUAD* palette = GetPalette();
    if (!palette || !bgr) return;
    const DWORD n = std::min(count, header.biClrUsed);
    for (DWORD i = 0; i < n; ++i) palette[i] = RGBQUAD{bgr[i * 3], bgr[i * 3 + 1], bgr[i * 3 + 2], 0};
    InvalidateNearestCache();
}

void CRaster::SetGrayPalette() {
    RGBQUAD* palette = GetPalette();
    if (!palette || header.biClrUsed < 2) return;
    const DWORD step = 255 / (header.biClrUsed - 1);
    for (DWORD i = 0; i < header.biClrUsed; ++i) {
        const BYTE v = static_cast<BYTE>(i * step);
        palette[i] = RGBQUAD{v, v, v, 0};
    }
    InvalidateNearestCache();
}

bool CRaster::IsGrayScale() const {
    const RGBQUAD* palette = GetPalette();
    if (!palette) return false;
    for (DWORD i = 0; i < header.biClrUsed; ++i)
        if (palette[i].rgbBlue != i || palette[i].rgbGreen != i || palette[i].rgbRed != i) return false;
    return true;
}

void CRaster::SwapPaletteIndexes(BYTE a, BYTE b) {
    RGBQUAD* palette = GetPalette();
    if (!palette || a >= header.biClrUsed || b >= header.biClrUsed || a == b) return;
    std::swap(palette[a], palette[b]);
    const LONG w = header.biWidth, h = header.biHeight;
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x) {
            const BYTE i = ReadPixelIndex(x, y);
            if (i == a) WritePixelIndex(x, y, b);
            else if (i == b) WritePixelIndex(x, y, a);
        }
    InvalidateNearestCache();
}

void CRaster::TintPalette(RGBQUAD color, BYTE percent) {
    RGBQUAD* palette = GetPalette();
    if (!palette) return;
    const int p = std::min<int>(percent, 100);
    auto mix = [p](BYTE e, BYTE c) { return static_cast<BYTE>((e * (100 - p) + c * p) / 100); };
    for (DWORD i = 0; i < header.biClrUsed; ++i) {
        palette[i].rgbBlue = mix(palette[i].rgbBlue, color.rgbBlue);
        palette[i].rgbGreen = mix(palette[i].rgbGreen, color.rgbGreen);
        palette[i].rgbRed = mix(palette[i].rgbRed, color.rgbRed);
    }
    InvalidateNearestCache();
}

void CRaster::SetDefaultPalette() {
    RGBQUAD* palette = GetPalette();
    if (!palette) return;
    switch (header.biBitCount) {
        case 1:
            palette[0] = Rgb(0x000000);
            palette[1] = Rgb(0xFFFFFF);
            break;
        case 4:
            for (int i = 0; i < 16; ++i) palette[i] = Rgb(kSystemColors[i]);
            break;
        case 8: FillDefault256(palette); break;
        default: break;
    }
    InvalidateNearestCache();
}

void CRaster::SetImportantColors(DWORD count) {
    if (count == 0 || count > 256) {
        header.biClrImportant = 0;
    } else {
        const DWORD cap = header.biBitCount == 1 ? 2 : header.biBitCount == 4 ? 16 : 256;
        header.biClrImportant = std::min(count, cap);
    }
    if (dib) reinterpret_cast<BITMAPINFOHEADER*>(dib)->biClrImportant = header.biClrImportant;
    InvalidateNearestCache();
}

void CRaster::SwapRedBlue() {
    if (!dib) return;
    if (RGBQUAD* palette = GetPalette()) {
        for (DWORD i = 0; i < header.biClrUsed; ++i) std::swap(palette[i].rgbBlue, palette[i].rgbRed);
        InvalidateNearestCache();
        return;
    }
    if (header.biBitCount != 24) return;
    for (LONG y = 0; y < header.biHeight; ++y) {
        BYTE* p = info.pixels + static_cast<std::size_t>(y) * info.row_stride;
        for (LONG x = 0; x < header.biWidth; ++x, p += 3) std::swap(p[0], p[2]);
    }
}

bool CRaster::IsPaletteEqual(const CRaster& other, bool withFourthByte) const {
    const RGBQUAD* a = GetPalette();
    const RGBQUAD* b = other.GetPalette();
    if (!a || !b || header.biClrUsed != other.header.biClrUsed) return false;
    for (DWORD i = 0; i < header.biClrUsed; ++i) {
        if (a[i].rgbBlue != b[i].rgbBlue || a[i].rgbGreen != b[i].rgbGreen || a[i].rgbRed != b[i].rgbRed) return false;
        if (withFourthByte && a[i].rgbReserved != b[i].rgbReserved) return false;
    }
    return true;
}

BYTE CRaster::FindNearestPaletteIndex(RGBQUAD color) {
    const RGBQUAD* palette = GetPalette();
    if (!palette) return 0;
    const DWORD key = static_cast<DWORD>(color.rgbBlue) | (static_cast<DWORD>(color.rgbGreen) << 8) |
                      (static_cast<DWORD>(color.rgbRed) << 16);
    if (info.nearest_valid && info.nearest_color == key) return info.nearest_index;
    DWORD n = header.biClrImportant ? header.biClrImportant : header.biClrUsed;
    n = std::min(n, header.biClrUsed);
    long best = 200000;
    BYTE bestIndex = 0;
    for (DWORD i = 0; i < n; ++i) {
        const long db = static_cast<long>(palette[i].rgbBlue) - color.rgbBlue;
        const long dg = static_cast<long>(palette[i].rgbGreen) - color.rgbGreen;
        const long dr = static_cast<long>(palette[i].rgbRed) - color.rgbRed;
        const long d = db * db + dg * dg + dr * dr;
        if (d < best) {
            best = d;
            bestIndex = static_cast<BYTE>(i);
            if (d == 0) break;
        }
    }
    info.nearest_color = key;
    info.nearest_index = bestIndex;
    info.nearest_valid = true;
    return bestIndex;
}
