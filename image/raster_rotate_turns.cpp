// Quarter and half turns.
#include <algorithm>
#include <cstring>

#include "image/raster.h"
#include "image/raster_transform_support.h"

using lumi::image::detail::RowLoop;

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

}  // namespace

bool CRaster::TurnQuarter(CRaster* destination, bool clockwise) {
    if (!IsValid() || !CanReceive(destination)) return false;
    const Quarter turn = clockwise ? Quarter::Right : Quarter::Left;
    const LONG w = static_cast<LONG>(GetWidth()), h = static_cast<LONG>(GetHeight());
    const LONG newW = h, newH = w;
    CRaster picture;
    if (!CreateLike(picture, static_cast<DWORD>(newW), static_cast<DWORD>(newH), GetBpp())) return false;
    if (HasAlpha() && !picture.CreateAlpha()) return false;
    if (HasSelection() && !picture.CreateSelection()) return false;

    const QuarterMap map{turn, w, h};
    const WORD bpp = GetBpp();
    RowLoop loop(*this, newH);
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
                                    GetBits(static_cast<DWORD>(sy)) + static_cast<std::size_t>(sx) * 3, 3);
                    } else if (bpp == 8) {
                        out[x] = GetBits(static_cast<DWORD>(sy))[sx];
                    } else if (bpp == 1) {
                        // The new rows start cleared: only set bits are written.
                        if (ReadPixelIndex(sx, sy)) out[x >> 3] |= static_cast<BYTE>(0x80 >> (x & 7));
                    } else {
                        picture.WritePixelIndex(x, y, ReadPixelIndex(sx, sy));
                    }
                }
            }
        }
    }
    if (finished) loop.Finish();
    if (HasAlpha()) TurnPlane(GetAlphaPointer(), picture.GetAlphaPointer(), map, newW, newH);
    if (HasSelection()) {
        TurnPlane(GetSelectionPointer(), picture.GetSelectionPointer(), map, newW, newH);
        picture.info.selection_box = TurnBox(GetSelectionBox(), turn, w, h);
    }
    return HandOver(picture, destination);
}

bool CRaster::TurnLeft(CRaster* destination) { return TurnQuarter(destination, false); }

bool CRaster::TurnRight(CRaster* destination) { return TurnQuarter(destination, true); }

bool CRaster::Turn180(CRaster* destination) {
    if (!IsValid() || !CanReceive(destination)) return false;
    const LONG w = static_cast<LONG>(GetWidth()), h = static_cast<LONG>(GetHeight());
    CRaster picture;
    if (!CreateLike(picture, static_cast<DWORD>(w), static_cast<DWORD>(h), GetBpp())) return false;
    const bool withAlpha = HasAlpha();
    if (withAlpha && !picture.CreateAlpha()) return false;
    const bool palette = IsIndexed();
    RowLoop loop(*this, h);
    for (LONG y = 0; y < h; ++y) {
        if (!loop.Next(y)) return HandOver(picture, destination);
        for (LONG x = 0; x < w; ++x) {
            if (palette)
                picture.SetPixelIndex(w - 1 - x, h - 1 - y, ReadPixelIndex(x, y));
            else
                picture.SetPixelColor(w - 1 - x, h - 1 - y, GetPixelColor(x, y, true), withAlpha);
        }
        if (withAlpha && palette)
            for (LONG x = 0; x < w; ++x) picture.SetAlphaAt(w - 1 - x, h - 1 - y, ReadAlphaAt(x, y));
    }
    loop.Finish();
    return HandOver(picture, destination);
}
