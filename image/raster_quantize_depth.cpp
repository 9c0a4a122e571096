// Bit-depth changes: DecreaseBpp (nearest palette entry, optional error diffusion) and
// RaiseBpp (lossless).
#include <algorithm>
#include <vector>

#include "image/checked_size.h"
#include "image/raster.h"
#include "image/raster_transform_support.h"

using lumi::image::RoundBits;
using lumi::image::detail::RowLoop;

namespace {

// Blue, green, red of one row as ints, so that diffused errors can pass 0..255 before
// each addition is clamped.
using WorkRow = std::vector<int>;

void LoadRow(const CRaster& image, LONG y, WorkRow& row) {
    const LONG w = static_cast<LONG>(image.GetWidth());
    for (LONG x = 0; x < w; ++x) {
        const RGBQUAD c = image.GetPixelColor(x, y, false);
        row[x * 3] = c.rgbBlue;
        row[x * 3 + 1] = c.rgbGreen;
        row[x * 3 + 2] = c.rgbRed;
    }
}

void AddShare(WorkRow& row, LONG x, const int error[3], int weight) {
    for (int ch = 0; ch < 3; ++ch) row[x * 3 + ch] = std::clamp(row[x * 3 + ch] + error[ch] * weight / 16, 0, 255);
}

void QuantizeDiffused(const CRaster& image, CRaster& picture, RowLoop& loop) {
    const LONG w = static_cast<LONG>(image.GetWidth()), h = static_cast<LONG>(image.GetHeight());
    WorkRow current(static_cast<std::size_t>(w) * 3), next(static_cast<std::size_t>(w) * 3);
    LoadRow(image, 0, current);
    for (LONG y = 0; y < h; ++y) {
        if (!loop.Next(y)) return;
        const bool hasNext = y + 1 < h;
        if (hasNext) LoadRow(image, y + 1, next);
        for (LONG x = 0; x < w; ++x) {
            const RGBQUAD wanted{static_cast<BYTE>(current[x * 3]), static_cast<BYTE>(current[x * 3 + 1]),
                                 static_cast<BYTE>(current[x * 3 + 2]), 0};
            picture.WritePixelColor(x, y, wanted, false);
            const RGBQUAD stored = picture.GetPixelColor(x, y, false);
            const int error[3] = {wanted.rgbBlue - stored.rgbBlue, wanted.rgbGreen - stored.rgbGreen,
                                  wanted.rgbRed - stored.rgbRed};
            // The shares sum to 14/16 of the error, not all of it.
            if (x + 1 < w) AddShare(current, x + 1, error, 7);
            if (hasNext) {
                if (x > 0) AddShare(next, x - 1, error, 2);
                AddShare(next, x, error, 4);
                if (x + 1 < w) AddShare(next, x + 1, error, 1);
            }
        }
        current.swap(next);
    }
    loop.Finish();
}

}  // namespace

bool CRaster::DecreaseBpp(DWORD bits, bool errorDiffusion, const RGBQUAD* palette, DWORD importantColors) {
    if (!IsValid()) return false;
    const DWORD target = RoundBits(bits);
    if (target > GetBpp()) {
        SetLastError("DecreaseBpp: target BPP greater than source BPP");
        return false;
    }
    if (target == GetBpp()) {
        const DWORD own = GetImportantColors();
        if (importantColors == 0 || (own != 0 && own < importantColors)) return true;
    }
    if (!CanReceive(nullptr)) return false;
    CRaster picture;
    if (!CreateLike(picture, GetWidth(), GetHeight(), target)) return false;
    picture.SetImportantColors(importantColors);
    if (target < 24) {
        const DWORD size = 1u << target;
        if (palette) {
            // Entries past the caller's count stay black rather than keep the old palette.
            std::vector<RGBQUAD> entries(size, RGBQUAD{0, 0, 0, 0});
            const DWORD count = importantColors ? std::min(importantColors, size) : size;
            std::copy(palette, palette + count, entries.begin());
            picture.SetPalette(entries.data(), size);
        } else {
            picture.SetDefaultPalette();
        }
    }
    if (HasSelection() && !picture.CopySelectionFrom(*this)) return false;
    if (HasAlpha() && !picture.CopyAlphaFrom(*this)) return false;

    const LONG w = static_cast<LONG>(GetWidth()), h = static_cast<LONG>(GetHeight());
    RowLoop loop(*this, h);
    if (errorDiffusion) {
        QuantizeDiffused(*this, picture, loop);
    } else {
        for (LONG y = 0; y < h && loop.Next(y); ++y)
            for (LONG x = 0; x < w; ++x) picture.WritePixelColor(x, y, GetPixelColor(x, y, false), false);
        loop.Finish();
    }
    return HandOver(picture, nullptr);
}

bool CRaster::RaiseBpp(DWORD bits) {
    if (!IsValid() || (bits != 4 && bits != 8 && bits != 24)) return false;
    if (bits == GetBpp()) return true;
    if (bits < GetBpp()) return false;
    if (!CanReceive(nullptr)) return false;
    CRaster picture;
    if (!CreateLike(picture, GetWidth(), GetHeight(), bits)) return false;
    // Raising loses nothing: the planes come along at every depth.
    if (HasSelection() && !picture.CopySelectionFrom(*this)) return false;
    if (HasAlpha() && !picture.CopyAlphaFrom(*this)) return false;
    const LONG w = static_cast<LONG>(GetWidth()), h = static_cast<LONG>(GetHeight());
    RowLoop loop(*this, h);
    if (bits < 24) {
        picture.SetPalette(GetPalette(), GetColorsUsed());
        picture.SetImportantColors(GetImportantColors());
        for (LONG y = 0; y < h && loop.Next(y); ++y)
            for (LONG x = 0; x < w; ++x) picture.WritePixelIndex(x, y, ReadPixelIndex(x, y));
    } else {
        if (HasBackgroundIndex())
            picture.SetBackgroundColor(GetPaletteColor(static_cast<BYTE>(GetBackgroundIndex())));
        if (HasPaletteAlpha() && !HasAlpha() && !picture.CreateAlpha()) return false;
        for (LONG y = 0; y < h && loop.Next(y); ++y)
            for (LONG x = 0; x < w; ++x) picture.WritePixelColor(x, y, GetPixelColor(x, y, true), true);
    }
    loop.Finish();
    return HandOver(picture, nullptr);
}
