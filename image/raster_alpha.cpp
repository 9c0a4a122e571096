// CRaster: the alpha plane, transparency and alpha merging.
#include <cstdlib>
#include <cstring>

#include "image/checked_size.h"
#include "image/raster.h"
#include "image/raster_plane.h"

using lumi::image::PlaneByte;

bool CRaster::CreateAlpha() {
    const bool fresh = alpha == nullptr;
    if (!CreateAlphaForDecoder()) return false;
    if (fresh) std::memset(alpha, 255, PlaneBytes());
    return true;
}

bool CRaster::CreateAlphaForDecoder() {
    if (!dib) return false;
    if (alpha) return true;
    const std::size_t bytes = PlaneBytes();
    if (bytes > lumi::image::kMaxPixelBytes) return false;
    alpha = static_cast<BYTE*>(std::malloc(bytes));
    return alpha != nullptr;
}

void CRaster::DeleteAlpha() {
    if (info.shared_owner) return;  // the owner's plane
    std::free(alpha);
    alpha = nullptr;
}

void CRaster::FillAlpha(BYTE value) {
    if (alpha) std::memset(alpha, value, PlaneBytes());
}

void CRaster::InvertAlpha() {
    if (alpha) lumi::image::InvertPlane(alpha, *this);
}

bool CRaster::CopyAlphaFrom(const CRaster& image) {
    if (!dib || !image.alpha || image.GetWidth() != GetWidth() || image.GetHeight() != GetHeight()) return false;
    if (!CreateAlpha()) return false;
    std::memcpy(alpha, image.alpha, PlaneBytes());
    info.alpha_max = image.info.alpha_max;
    return true;
}

bool CRaster::SetAlphaFromGray(const CRaster& image) {
    if (!dib || !image.dib || image.GetBpp() != 8 || !image.IsGrayScale() || image.GetWidth() != GetWidth() ||
        image.GetHeight() != GetHeight())
        return false;
    if (!CreateAlpha()) return false;
    lumi::image::CopyRowsToPlane(image, alpha);
    return true;
}

void CRaster::SetAlphaAt(LONG x, LONG y, BYTE value) {
    if (BYTE* at = PlaneByte(alpha, *this, x, y)) *at = value;
}

BYTE CRaster::GetAlphaAt(LONG x, LONG y) const { return lumi::image::PlaneValue(alpha, *this, x, y); }

BYTE CRaster::ReadAlphaAt(LONG x, LONG y) const { return alpha[static_cast<std::size_t>(y) * GetWidth() + x]; }

BYTE* CRaster::GetAlphaPointer(LONG x, LONG y) const { return PlaneByte(alpha, *this, x, y); }

void CRaster::FlipAlpha() {
    if (alpha) lumi::image::FlipPlane(alpha, *this);
}

void CRaster::MirrorAlpha() {
    if (alpha) lumi::image::MirrorPlane(alpha, *this);
}

bool CRaster::MakeAlphaImage(CRaster& target) const { return lumi::image::MakePlaneImage(alpha, *this, target); }

bool CRaster::MakePaletteAlphaImage(CRaster& target) const {
    if (!GetPalette() || &target == this) return false;
    if (!target.Create(GetWidth(), GetHeight(), 8, info.type)) return false;
    target.SetGrayPalette();
    for (LONG y = 0; y < header.biHeight; ++y)
        for (LONG x = 0; x < header.biWidth; ++x)
            target.WritePixelIndex(x, y, GetPaletteColor(ReadPixelIndex(x, y)).rgbReserved);
    return true;
}

bool CRaster::ConvertTransparencyToAlpha() {
    if (!CreateAlpha()) return false;
    for (LONG y = 0; y < header.biHeight; ++y)
        for (LONG x = 0; x < header.biWidth; ++x)
            if (IsTransparent(x, y)) alpha[static_cast<std::size_t>(y) * GetWidth() + x] = 0;
    return true;
}

void CRaster::StripPaletteAlpha() {
    RGBQUAD* palette = GetPalette();
    if (!palette) return;
    for (DWORD i = 0; i < header.biClrUsed; ++i) palette[i].rgbReserved = 0;
    InvalidateNearestCache();
}

bool CRaster::HasPaletteAlpha() const {
    const RGBQUAD* palette = GetPalette();
    if (!palette) return false;
    for (DWORD i = 0; i < header.biClrUsed; ++i)
        if (palette[i].rgbReserved) return true;
    return false;
}

void CRaster::MergeAlpha() {
    const bool paletteAlpha = info.alpha_palette_enabled && GetPalette() != nullptr;
    if (!dib || info.shared_owner || (!alpha && !paletteAlpha)) return;
    const RGBQUAD bg = info.background_color;
    auto merged = [&](LONG x, LONG y) {
        const RGBQUAD c = GetPixelColor(x, y, false);
        int a = alpha ? ReadAlphaAt(x, y) * info.alpha_max / 255 : info.alpha_max;
        if (paletteAlpha) a = a * GetPaletteColor(ReadPixelIndex(x, y)).rgbReserved / 255;
        auto mix = [a](BYTE channel, BYTE back) { return static_cast<BYTE>((a * channel + back * (256 - a)) >> 8); };
        return RGBQUAD{mix(c.rgbBlue, bg.rgbBlue), mix(c.rgbGreen, bg.rgbGreen), mix(c.rgbRed, bg.rgbRed), 0};
    };
    if (header.biBitCount == 24) {
        for (LONG y = 0; y < header.biHeight; ++y)
            for (LONG x = 0; x < header.biWidth; ++x) WritePixelColor(x, y, merged(x, y));
        DeleteAlpha();
        return;
    }
    CRaster merge(info.type);
    // The merged picture keeps every setting of this one, its resolution included.
    merge.CopySettingFields(info);
    merge.SetDpiX(info.dpi_x);
    merge.SetDpiY(info.dpi_y);
    if (!merge.Create(GetWidth(), GetHeight(), 24, info.type)) {
        SetLastError(merge.GetLastError());
        return;
    }
    for (LONG y = 0; y < header.biHeight; ++y)
        for (LONG x = 0; x < header.biWidth; ++x) merge.WritePixelColor(x, y, merged(x, y));
    merge.CopySelectionFrom(*this);
    merge.info.alpha_palette_enabled = false;
    merge.layers = layers;
    merge.info.layer_count = info.layer_count;
    layers = nullptr;
    info.layer_count = 0;
    MoveFrom(merge, false);
}

bool CRaster::IsTransparent(LONG x, LONG y) const {
    if (!dib) return false;
    if (info.background_index >= 0) {
        if (header.biClrUsed) {
            if (GetPixelIndex(x, y) == info.background_index) return true;
        } else {
            const RGBQUAD c = GetPixelColor(x, y, false);
            if (std::memcmp(&c, &info.background_color, sizeof(c)) == 0) return true;
        }
    }
    return alpha && GetAlphaAt(x, y) == 0;
}
