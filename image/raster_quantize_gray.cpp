// Grey conversion and the photographic negative.
#include <array>
#include <cstring>

#include "image/raster_quantize.h"
#include "image/raster_transform_access.h"
#include "image/raster_transform_support.h"

namespace lumi::image {

namespace {

BYTE Gray(RGBQUAD c) { return static_cast<BYTE>((306 * c.rgbRed + 601 * c.rgbGreen + 117 * c.rgbBlue) >> 10); }

// Grey of every palette entry, by index.
std::array<BYTE, 256> PaletteGrays(const CRaster& image) {
    std::array<BYTE, 256> grays{};
    for (DWORD i = 0; i < image.GetColorsUsed() && i < 256; ++i) grays[i] = Gray(image.GetPaletteColor(static_cast<BYTE>(i)));
    return grays;
}

}  // namespace

bool ConvertToGray(CRaster& image) {
    if (!image.IsValid()) return false;
    const LONG w = static_cast<LONG>(image.GetWidth()), h = static_cast<LONG>(image.GetHeight());
    detail::RowLoop loop(image, h);
    if (image.GetBpp() == 8) {
        // In place: indices become grey values and the palette the grey ramp.
        const std::array<BYTE, 256> grays = PaletteGrays(image);
        for (LONG y = 0; y < h && loop.Next(y); ++y) {
            BYTE* row = image.GetBits(static_cast<DWORD>(y));
            for (LONG x = 0; x < w; ++x) row[x] = grays[row[x]];
        }
        loop.Finish();
        image.SetGrayPalette();
        image.SetImportantColors(0);
        if (image.HasBackgroundIndex()) image.SetBackgroundIndex(grays[static_cast<BYTE>(image.GetBackgroundIndex())]);
        return true;
    }
    if (!detail::CanReceive(image, nullptr)) return false;
    CRaster picture;
    if (!detail::CreateLike(image, picture, image.GetWidth(), image.GetHeight(), 8)) return false;
    picture.SetGrayPalette();
    if (image.HasSelection() && !picture.CopySelectionFrom(image)) return false;
    if (image.HasAlpha() && !picture.CopyAlphaFrom(image)) return false;
    if (image.GetBpp() == 24) {
        for (LONG y = 0; y < h && loop.Next(y); ++y) {
            const BYTE* in = image.GetBits(static_cast<DWORD>(y));
            BYTE* out = picture.GetBits(static_cast<DWORD>(y));
            for (LONG x = 0; x < w; ++x, in += 3) out[x] = Gray(RGBQUAD{in[0], in[1], in[2], 0});
        }
        if (image.HasBackgroundIndex()) picture.SetBackgroundIndex(Gray(image.GetBackgroundColor()));
    } else {
        const std::array<BYTE, 256> grays = PaletteGrays(image);
        for (LONG y = 0; y < h && loop.Next(y); ++y) {
            BYTE* out = picture.GetBits(static_cast<DWORD>(y));
            for (LONG x = 0; x < w; ++x) out[x] = grays[image.ReadPixelIndex(x, y)];
        }
        if (image.HasBackgroundIndex()) picture.SetBackgroundIndex(grays[static_cast<BYTE>(image.GetBackgroundIndex())]);
    }
    loop.Finish();
    return detail::HandOver(image, picture, nullptr);
}

bool Invert(CRaster& image) {
    if (!image.IsValid()) return false;
    const LONG w = static_cast<LONG>(image.GetWidth()), h = static_cast<LONG>(image.GetHeight());
    detail::RowLoop loop(image, h);
    if (image.GetBpp() == 24) {
        const bool selective = image.HasSelection();
        for (LONG y = 0; y < h && loop.Next(y); ++y) {
            BYTE* row = image.GetBits(static_cast<DWORD>(y));
            if (!selective) {
                for (DWORD i = 0; i < image.GetRowStride(); ++i) row[i] = static_cast<BYTE>(~row[i]);
                continue;
            }
            for (LONG x = 0; x < w; ++x)
                if (image.IsSelected(x, y))
                    for (int ch = 0; ch < 3; ++ch) row[x * 3 + ch] = static_cast<BYTE>(~row[x * 3 + ch]);
        }
        RGBQUAD& background = detail::RasterAccess::Info(image).background_color;
        background.rgbBlue = static_cast<BYTE>(~background.rgbBlue);
        background.rgbGreen = static_cast<BYTE>(~background.rgbGreen);
        background.rgbRed = static_cast<BYTE>(~background.rgbRed);
        loop.Finish();
        return true;
    }
    if (!image.IsGrayScale()) {
        for (DWORD i = 0; i < image.GetColorsUsed(); ++i) {
            const RGBQUAD e = image.GetPaletteColor(static_cast<BYTE>(i));
            image.SetPaletteColor(static_cast<BYTE>(i), RGBQUAD{static_cast<BYTE>(~e.rgbBlue), static_cast<BYTE>(~e.rgbGreen),
                                                            static_cast<BYTE>(~e.rgbRed), e.rgbReserved});
        }
        image.SetProgress(100);
        return true;
    }
    // A grey ramp: the indices are the grey values, so they are complemented instead.
    const BYTE mask = static_cast<BYTE>(image.GetColorsUsed() - 1);
    for (LONG y = 0; y < h && loop.Next(y); ++y)
        for (LONG x = 0; x < w; ++x)
            if (image.IsSelected(x, y)) image.WritePixelIndex(x, y, static_cast<BYTE>(image.ReadPixelIndex(x, y) ^ mask));
    // The transparent index follows its pixels.
    if (image.HasBackgroundIndex()) image.SetBackgroundIndex(image.GetBackgroundIndex() ^ mask);
    loop.Finish();
    return true;
}

}  // namespace lumi::image
