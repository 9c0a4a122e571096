// Canvas operations: borders, padding to a size, thumbnails.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "image/raster.h"
#include "image/raster_transform_support.h"

using lumi::image::detail::RowLoop;

bool CRaster::AddBorders(LONG left, LONG top, LONG right, LONG bottom, RGBQUAD canvas, CRaster* destination) {
    if (!IsValid() || !CanReceive(destination)) return false;
    if (left < 0 || top < 0 || right < 0 || bottom < 0) return false;
    const LONG w = static_cast<LONG>(GetWidth()), h = static_cast<LONG>(GetHeight());
    // 64-bit sums: a size past the 32-bit range must fail in Create, not wrap.
    const long long newW = static_cast<long long>(left) + w + right;
    const long long newH = static_cast<long long>(top) + h + bottom;
    CRaster picture;
    if (!CreateLike(picture, static_cast<DWORD>(std::min<long long>(newW, 0xFFFFFFFFll)),
                            static_cast<DWORD>(std::min<long long>(newH, 0xFFFFFFFFll)), GetBpp()))
        return false;
    const bool withAlpha = HasAlpha(), withSelection = HasSelection();
    if ((withAlpha && !picture.CreateAlpha()) || (withSelection && !picture.CreateSelection())) return false;

    const WORD bpp = GetBpp();
    const LONG outW = static_cast<LONG>(newW), outH = static_cast<LONG>(newH);
    const BYTE index = picture.FindNearestPaletteIndex(canvas);
    if (bpp == 8) {
        std::memset(picture.GetBits(), index, static_cast<std::size_t>(picture.GetRowStride()) * outH);
    } else if (bpp == 24) {
        for (LONG y = 0; y < outH; ++y) {
            BYTE* p = picture.GetBits(static_cast<DWORD>(y));
            for (LONG x = 0; x < outW; ++x, p += 3) {
                p[0] = canvas.rgbBlue;
                p[1] = canvas.rgbGreen;
                p[2] = canvas.rgbRed;
            }
        }
    } else {
        for (LONG y = 0; y < outH; ++y)
            for (LONG x = 0; x < outW; ++x) picture.WritePixelIndex(x, y, index);
    }
    if (withAlpha) picture.FillAlpha(canvas.rgbReserved);

    RowLoop loop(*this, h);
    for (LONG y = 0; y < h; ++y) {
        if (!loop.Next(y)) return HandOver(picture, destination);
        const LONG ny = y + bottom;
        if (bpp >= 8) {
            std::memcpy(picture.GetBits(static_cast<DWORD>(ny)) + static_cast<std::size_t>(left) * bpp / 8,
                        GetBits(static_cast<DWORD>(y)), static_cast<std::size_t>(w) * bpp / 8);
        } else {
            for (LONG x = 0; x < w; ++x) picture.WritePixelIndex(x + left, ny, ReadPixelIndex(x, y));
        }
        if (withAlpha) std::memcpy(picture.GetAlphaPointer(left, ny), GetAlphaPointer(0, y), w);
        if (withSelection) std::memcpy(picture.GetSelectionPointer(left, ny), GetSelectionPointer(0, y), w);
    }
    loop.Finish();
    if (withSelection) {
        RECT box = GetSelectionBox();
        if (box.left < box.right && box.bottom < box.top) {
            box.left += left;
            box.right += left;
            box.top += bottom;
            box.bottom += bottom;
        } else {
            box = RECT{outW, 0, 0, outH};  // still empty, for the new size
        }
        picture.info.selection_box = box;
    }
    return HandOver(picture, destination);
}

bool CRaster::PadToSize(LONG width, LONG height, RGBQUAD canvas, CRaster* destination) {
    if (!IsValid()) return false;
    const LONG dx = width - static_cast<LONG>(GetWidth());
    const LONG dy = height - static_cast<LONG>(GetHeight());
    if (dx < 0 || dy < 0) return false;
    return AddBorders(dx / 2, dy / 2, dx - dx / 2, dy - dy / 2, canvas, destination);
}

bool CRaster::MakeThumbnail(LONG width, LONG height, RGBQUAD canvas, CRaster* destination) {
    if (!IsValid() || width <= 0 || height <= 0) return false;
    if (!CanReceive(destination)) return false;
    // Built on a copy when it goes elsewhere, so that the source stays as it is.
    const bool elsewhere = destination && destination != this;
    CRaster copy;
    if (elsewhere && !SnapshotInto(copy)) return false;
    CRaster* target = elsewhere ? &copy : this;
    // A failure on the copy is reported by this image.
    auto failed = [&] {
        if (elsewhere) SetLastError(copy.GetLastError());
        return false;
    };
    const double w = target->GetWidth(), h = target->GetHeight();
    if (w > width || h > height) {
        const double ratio = static_cast<double>(width) / height;
        const double f = w < h * ratio ? height / h : width / w;
        // Rounded, so that a side scaled to the box's is not a pixel short of it.
        const LONG newW = std::clamp(static_cast<LONG>(std::floor(w * f + 0.5)), 1, width);
        const LONG newH = std::clamp(static_cast<LONG>(std::floor(h * f + 0.5)), 1, height);
        if (!target->Resample(newW, newH)) return failed();
    }
    if (!target->PadToSize(width, height, canvas)) return failed();
    return !elsewhere || HandOver(copy, destination);
}

