// Grey conversion and the photographic negative.
#include <array>
#include <cstring>

#include "image/raster.h"
#include "image/raster_transform_support.h"

using lumi::image::detail::RowLoop;

namespace {

BYTE Gray(RGBQUAD c) { return static_cast<BYTE>((306 * c.rgbRed + 601 * c.rgbGreen + 117 * c.rgbBlue) >> 10); }

// Grey of every palette entry, by index.
std::array<BYTE, 256> PaletteGrays(const CRaster& image) {
    std::array<BYTE, 256> grays{};
    for (DWORD i = 0; i < image.GetColorsUsed() && i < 256; ++i) grays[i] = Gray(image.GetPaletteColor(static_cast<BYTE>(i)));
    return grays;
}

}  // namespace

bool CRaster::ConvertToGray() {
    if (!IsValid()) return false;
    const LONG w = static_cast<LONG>(GetWidth()), h = static_cast<LONG>(GetHeight());
    RowLoop loop(*this, h);
    if (GetBpp() == 8) {
        // In place: indices become grey values and the palette the grey ramp.
        const std::array<BYTE, 256> grays = PaletteGrays(*this);
        for (LONG y = 0; y < h && loop.Next(y); ++y) {
            BYTE* row = GetBits(static_cast<DWORD>(y));
            for (LONG x = 0; x < w; ++x) row[x] = grays[row[x]];
        }
        loop.Finish();
        SetGrayPalette();
        SetImportantColors(0);
        if (HasBackgroundIndex()) SetBackgroundIndex(grays[static_cast<BYTE>(GetBackgroundIndex())]);
        return true;
    }
    if (!CanReceive(nullptr)) return false;
    CRaster picture;
    if (!CreateLike(picture, GetWidth(), GetHeight(), 8)) return false;
    picture.SetGrayPalette();
    if (HasSelection() && !picture.CopySelectionFrom(*this)) return false;
    if (HasAlpha() && !picture.CopyAlphaFrom(*this)) return false;
    if (GetBpp() == 24) {
        for (LONG y = 0; y < h && loop.Next(y); ++y) {
            const BYTE* in = GetBits(static_cast<DWORD>(y));
            BYTE* out = picture.GetBits(static_cast<DWORD>(y));
            for (LONG x = 0; x < w; ++x, in += 3) out[x] = Gray(RGBQUAD{in[0], in[1], in[2], 0});
        }
        if (HasBackgroundIndex()) picture.SetBackgroundIndex(Gray(GetBackgroundColor()));
    } else {
        const std::array<BYTE, 256> grays = PaletteGrays(*this);
        for (LONG y = 0; y < h && loop.Next(y); ++y) {
            BYTE* out = picture.GetBits(static_cast<DWORD>(y));
            for (LONG x = 0; x < w; ++x) out[x] = grays[ReadPixelIndex(x, y)];
        }
        if (HasBackgroundIndex()) picture.SetBackgroundIndex(grays[static_cast<BYTE>(GetBackgroundIndex())]);
    }
    loop.Finish();
    return HandOver(picture, nullptr);
}

bool CRaster::Invert() {
    if (!IsValid()) return false;
    const LONG w = static_cast<LONG>(GetWidth()), h = static_cast<LONG>(GetHeight());
    RowLoop loop(*this, h);
    if (GetBpp() == 24) {
        const bool selective = HasSelection();
        for (LONG y = 0; y < h && loop.Next(y); ++y) {
            BYTE* row = GetBits(static_cast<DWORD>(y));
            if (!selective) {
                for (DWORD i = 0; i < GetRowStride(); ++i) row[i] = static_cast<BYTE>(~row[i]);
                continue;
            }
            for (LONG x = 0; x < w; ++x)
                if (IsSelected(x, y))
                    for (int ch = 0; ch < 3; ++ch) row[x * 3 + ch] = static_cast<BYTE>(~row[x * 3 + ch]);
        }
        RGBQUAD& background = info.background_color;
        background.rgbBlue = static_cast<BYTE>(~background.rgbBlue);
        background.rgbGreen = static_cast<BYTE>(~background.rgbGreen);
        background.rgbRed = static_cast<BYTE>(~background.rgbRed);
        loop.Finish();
        return true;
    }
    if (!IsGrayScale()) {
        for (DWORD i = 0; i < GetColorsUsed(); ++i) {
            const RGBQUAD e = GetPaletteColor(static_cast<BYTE>(i));
            SetPaletteColor(static_cast<BYTE>(i), RGBQUAD{static_cast<BYTE>(~e.rgbBlue), static_cast<BYTE>(~e.rgbGreen),
                                                            static_cast<BYTE>(~e.rgbRed), e.rgbReserved});
        }
        SetProgress(100);
        return true;
    }
    // A grey ramp: the indices are the grey values, so they are complemented instead.
    const BYTE mask = static_cast<BYTE>(GetColorsUsed() - 1);
    for (LONG y = 0; y < h && loop.Next(y); ++y)
        for (LONG x = 0; x < w; ++x)
            if (IsSelected(x, y)) WritePixelIndex(x, y, static_cast<BYTE>(ReadPixelIndex(x, y) ^ mask));
    // The transparent index follows its pixels.
    if (HasBackgroundIndex()) SetBackgroundIndex(GetBackgroundIndex() ^ mask);
    loop.Finish();
    return true;
}
