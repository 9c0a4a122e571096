// Quarter and half turns.
#include <algorithm>
#include <cstring>

#include "image/raster_transform.h"
#include "image/raster_transform_access.h"
#include "image/raster_transform_support.h"

namespace lumi::image {

namespace {

constexpr LONG kTile = 64;  // pixels a side: keeps both the read and the write rows in cache

enum class Quarter { Left, Right };

// The source position of destination pixel (x, y); W and H are the source's size.
struct QuarterMap {
    Quarter turn;
    LONG sourceWidth, sourceHeight;
    void operator()(LONG x, LONG y, LONG& sx, LONG& sy) const {
        if (turn == Quarter::Left) {
            sx = y;
            sy = sourceHeight - 1 - x;
        } else {
            sx = sourceWidth - 1 - y;
            sy = x;
        }
    }
};

void TurnPlane(const BYTE* source, BYTE* target, const QuarterMap& map, LONG newW, LONG newH) {
    const std::size_t sourceWidth = static_cast<std::size_t>(map.sourceWidth);
    for (LONG y = 0; y < newH; ++y)
        for (LONG x = 0; x < newW; ++x) {
            LONG sx, sy;
            map(x, y, sx, sy);
            target[static_cast<std::size_t>(y) * newW + x] = source[static_cast<std::size_t>(sy) * sourceWidth + sx];
        }
}

// The selection box as the turn moves it; an empty box stays empty for the new size.
RECT TurnBox(const RECT& box, Quarter turn, LONG sourceWidth, LONG sourceHeight) {
    if (turn == Quarter::Left)
        return RECT{sourceHeight - box.top, box.right, sourceHeight - box.bottom, box.left};
    return RECT{box.bottom, sourceWidth - box.left, box.top, sourceWidth - box.right};
}

bool TurnQuarter(CRaster& image, CRaster* destination, Quarter turn) {
    if (!image.IsValid() || !detail::CanReceive(image, destination)) return false;
    const LONG w = static_cast<LONG>(image.GetWidth()), h = static_cast<LONG>(image.GetHeight());
    const LONG newW = h, newH = w;
    CRaster picture;
    if (!detail::CreateLike(image, picture, static_cast<DWORD>(newW), static_cast<DWORD>(newH), image.GetBpp()))
        return false;
    if (image.HasAlpha() && !picture.CreateAlpha()) return false;
    if (image.HasSelection() && !picture.CreateSelection()) return false;

    const QuarterMap map{turn, w, h};
    const WORD bpp = image.GetBpp();
    detail::RowLoop loop(image, newH);
    bool finished = true;
    for (LONG y0 = 0; y0 < newH && finished; y0 += kTile) {
        if (!loop.Next(y0)) {
            finished = false;
            break;
        }
        const LONG y1 = std::min(newH, y0 + kTile);
        for (LONG x0 = 0; x0 < newW; x0 += kTile) {
            const LONG x1 = std::min(newW, x0 + kTile);
            for (LONG y = y0; y < y1; ++y) {
                BYTE* out = picture.GetBits(static_cast<DWORD>(y));
                for (LONG x = x0; x < x1; ++x) {
                    LONG sx, sy;
                    map(x, y, sx, sy);
                    if (bpp == 24) {
                        std::memcpy(out + static_cast<std::size_t>(x) * 3,
                                    image.GetBits(static_cast<DWORD>(sy)) + static_cast<std::size_t>(sx) * 3, 3);
                    } else if (bpp == 8) {
                        out[x] = image.GetBits(static_cast<DWORD>(sy))[sx];
                    } else if (bpp == 1) {
                        // The new rows start cleared: only set bits are written.
                        if (image.ReadPixelIndex(sx, sy)) out[x >> 3] |= static_cast<BYTE>(0x80 >> (x & 7));
                    } else {
                        picture.WritePixelIndex(x, y, image.ReadPixelIndex(sx, sy));
                    }
                }
            }
        }
    }
    if (finished) loop.Finish();
    if (image.HasAlpha()) TurnPlane(image.GetAlphaPointer(), picture.GetAlphaPointer(), map, newW, newH);
    if (image.HasSelection()) {
        TurnPlane(image.GetSelectionPointer(), picture.GetSelectionPointer(), map, newW, newH);
        detail::RasterAccess::Info(picture).selection_box = TurnBox(image.GetSelectionBox(), turn, w, h);
    }
    return detail::HandOver(image, picture, destination);
}

}  // namespace

bool TurnLeft(CRaster& image, CRaster* destination) { return TurnQuarter(image, destination, Quarter::Left); }

bool TurnRight(CRaster& image, CRaster* destination) { return TurnQuarter(image, destination, Quarter::Right); }

bool Turn180(CRaster& image, CRaster* destination) {
    if (!image.IsValid() || !detail::CanReceive(image, destination)) return false;
    const LONG w = static_cast<LONG>(image.GetWidth()), h = static_cast<LONG>(image.GetHeight());
    CRaster picture;
    if (!detail::CreateLike(image, picture, static_cast<DWORD>(w), static_cast<DWORD>(h), image.GetBpp())) return false;
    const bool withAlpha = image.HasAlpha();
    if (withAlpha && !picture.CreateAlpha()) return false;
    const bool palette = image.IsIndexed();
    detail::RowLoop loop(image, h);
    for (LONG y = 0; y < h; ++y) {
        if (!loop.Next(y)) return detail::HandOver(image, picture, destination);
        for (LONG x = 0; x < w; ++x) {
            if (palette)
                picture.SetPixelIndex(w - 1 - x, h - 1 - y, image.ReadPixelIndex(x, y));
            else
                picture.SetPixelColor(w - 1 - x, h - 1 - y, image.GetPixelColor(x, y, true), withAlpha);
        }
        if (withAlpha && palette)
            for (LONG x = 0; x < w; ++x) picture.SetAlphaAt(w - 1 - x, h - 1 - y, image.ReadAlphaAt(x, y));
    }
    loop.Finish();
    return detail::HandOver(image, picture, destination);
}

}  // namespace lumi::image
