// CRaster: the selection plane and its bounding box.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/checked_size.h"
#include "image/raster.h"
#include "image/raster_plane.h"

using lumi::image::PlaneByte;

namespace {

// Moves the edges low and high of a box to where a flip (or mirror) of an extent of that
// size puts them.
void ReflectEdges(LONG& low, LONG& high, LONG extent) {
    const LONG reflectedLow = extent - high;
    high = extent - low;
    low = reflectedLow;
}

}  // namespace

void CRaster::ResetSelectionBox() {
    // An empty box ready to grow: left and bottom take minima, right and top maxima.
    info.selection_box = RECT{header.biWidth, 0, 0, header.biHeight};
}

void CRaster::GrowSelectionBox(LONG x, LONG y) {
    RECT& box = info.selection_box;
    box.left = std::clamp(std::min(box.left, x), 0, header.biWidth);
    box.bottom = std::clamp(std::min(box.bottom, y), 0, header.biHeight);
    box.right = std::clamp(std::max(box.right, x + 1), 0, header.biWidth);
    box.top = std::clamp(std::max(box.top, y + 1), 0, header.biHeight);
}

bool CRaster::CreateSelection() {
    if (!dib) return false;
    const std::size_t bytes = PlaneBytes();
    if (bytes > lumi::image::kMaxPixelBytes) return false;
    if (!selection) selection = static_cast<BYTE*>(std::calloc(bytes, 1));
    else std::memset(selection, 0, bytes);
    ResetSelectionBox();
    return selection != nullptr;
}

void CRaster::ClearSelection() {
    if (!info.shared_owner) std::free(selection);
    selection = nullptr;
    ResetSelectionBox();
}

bool CRaster::FillSelection(BYTE value) {
    if (!selection && !CreateSelection()) return false;
    std::memset(selection, value, PlaneBytes());
    if (value) info.selection_box = RECT{0, header.biHeight, header.biWidth, 0};
    else ResetSelectionBox();
    return true;
}

bool CRaster::IsSelected(LONG x, LONG y) const {
    if (!selection) return true;
    return IsInside(x, y) && selection[static_cast<std::size_t>(y) * GetWidth() + x] != 0;
}

bool CRaster::AddRectToSelection(RECT rect, BYTE level) {
    if (!selection && !CreateSelection()) return false;
    const LONG x0 = std::clamp(std::min(rect.left, rect.right), 0, header.biWidth);
    const LONG x1 = std::clamp(std::max(rect.left, rect.right), 0, header.biWidth);
    const LONG y0 = std::clamp(std::min(rect.top, rect.bottom), 0, header.biHeight);
    const LONG y1 = std::clamp(std::max(rect.top, rect.bottom), 0, header.biHeight);
    if (x0 >= x1 || y0 >= y1) return true;
    for (LONG y = y0; y < y1; ++y) std::memset(selection + static_cast<std::size_t>(y) * GetWidth() + x0, level, x1 - x0);
    GrowSelectionBox(x0, y0);
    GrowSelectionBox(x1 - 1, y1 - 1);
    return true;
}

bool CRaster::AddEllipseToSelection(RECT rect, BYTE level) {
    const double rx = (static_cast<double>(rect.right) - rect.left) / 2.0;
    const double ry = (static_cast<double>(rect.top) - rect.bottom) / 2.0;
    if (static_cast<LONG>(rx) == 0 || static_cast<LONG>(ry) == 0) return false;
    if (!selection && !CreateSelection()) return false;
    const double cx = rect.left + rx, cy = rect.bottom + ry;
    const double ax = rx < 0 ? -rx : rx, ay = ry < 0 ? -ry : ry;
    const LONG x0 = std::clamp(static_cast<LONG>(cx - ax), 0, header.biWidth);
    const LONG x1 = std::clamp(static_cast<LONG>(cx + ax) + 1, 0, header.biWidth);
    const LONG y0 = std::clamp(static_cast<LONG>(cy - ay), 0, header.biHeight);
    const LONG y1 = std::clamp(static_cast<LONG>(cy + ay) + 1, 0, header.biHeight);
    for (LONG y = y0; y < y1; ++y)
        for (LONG x = x0; x < x1; ++x) {
            const double dx = (x - cx) / ax, dy = (y - cy) / ay;
            if (dx * dx + dy * dy <= 1.0) {
                selection[static_cast<std::size_t>(y) * GetWidth() + x] = level;
                GrowSelectionBox(x, y);
            }
        }
    return true;
}

bool CRaster::AddPolygonToSelection(const POINT* points, int count, BYTE level) {
    if (!points || count < 3) return false;
    if (!selection && !CreateSelection()) return false;
    LONG minY = points[0].y, maxY = points[0].y;
    for (int i = 1; i < count; ++i) {
        minY = std::min(minY, points[i].y);
        maxY = std::max(maxY, points[i].y);
    }
    auto mark = [&](long long x, long long y) {
        if (x < 0 || y < 0 || x >= header.biWidth || y >= header.biHeight) return;
        selection[static_cast<std::size_t>(y) * GetWidth() + static_cast<std::size_t>(x)] = level;
        GrowSelectionBox(static_cast<LONG>(x), static_cast<LONG>(y));
    };
    // The outline itself, then the interior row by row by the even-odd rule at pixel
    // centres; this marks exactly the enclosed pixels without a fill that could leak
    // where the outline leaves the image.
    for (int i = 0; i < count; ++i) {
        const POINT a = points[i], b = points[(i + 1) % count];
        long long x = a.x, y = a.y;
        const long long dx = std::llabs(static_cast<long long>(b.x) - a.x), sx = a.x < b.x ? 1 : -1;
        const long long dy = -std::llabs(static_cast<long long>(b.y) - a.y), sy = a.y < b.y ? 1 : -1;
        long long err = dx + dy;
        for (;;) {
            mark(x, y);
            if (x == b.x && y == b.y) break;
            const long long e2 = 2 * err;
            if (e2 >= dy) { err += dy; x += sx; }
            if (e2 <= dx) { err += dx; y += sy; }
        }
    }
    const LONG y0 = std::max<LONG>(minY, 0), y1 = std::min<LONG>(maxY, header.biHeight - 1);
    std::vector<double> crossings;
    for (LONG y = y0; y <= y1; ++y) {
        crossings.clear();
        for (int i = 0; i < count; ++i) {
            const POINT a = points[i], b = points[(i + 1) % count];
            if ((a.y <= y) == (b.y <= y)) continue;  // half-open: each vertex counted once
            crossings.push_back(a.x + (static_cast<double>(y) - a.y) * (static_cast<double>(b.x) - a.x) /
                                          (static_cast<double>(b.y) - a.y));
        }
        std::sort(crossings.begin(), crossings.end());
        for (std::size_t k = 0; k + 1 < crossings.size(); k += 2) {
            const double from = std::max(std::ceil(crossings[k]), 0.0);
            const double to = std::min(std::floor(crossings[k + 1]), static_cast<double>(header.biWidth - 1));
            for (double x = from; x <= to; ++x) mark(static_cast<long long>(x), y);
        }
    }
    return true;
}

bool CRaster::AddColorToSelection(RGBQUAD color, BYTE level) {
    if (!selection && !CreateSelection()) return false;
    for (LONG y = 0; y < header.biHeight; ++y)
        for (LONG x = 0; x < header.biWidth; ++x) {
            const RGBQUAD c = GetPixelColor(x, y, false);
            if (c.rgbBlue == color.rgbBlue && c.rgbGreen == color.rgbGreen && c.rgbRed == color.rgbRed) {
                selection[static_cast<std::size_t>(y) * GetWidth() + x] = level;
                GrowSelectionBox(x, y);
            }
        }
    return true;
}

bool CRaster::AddPixelToSelection(LONG x, LONG y, BYTE level) {
    if (!IsInside(x, y)) return false;
    if (!selection && !CreateSelection()) return false;
    selection[static_cast<std::size_t>(y) * GetWidth() + x] = level;
    GrowSelectionBox(x, y);
    return true;
}

bool CRaster::InvertSelection() {
    if (!selection) return false;
    lumi::image::InvertPlane(selection, *this);
    return RecomputeSelectionBox();
}

bool CRaster::CopySelectionFrom(const CRaster& image) {
    if (&image == this || !image.selection || image.GetWidth() != GetWidth() || image.GetHeight() != GetHeight())
        return false;
    if (!selection && !CreateSelection()) return false;
    std::memcpy(selection, image.selection, PlaneBytes());
    info.selection_box = image.info.selection_box;
    return true;
}

bool CRaster::SelectionSet(const CRaster& grayImage) {
    if (grayImage.GetWidth() != GetWidth() || grayImage.GetHeight() != GetHeight() || grayImage.GetBpp() != 8 ||
        !grayImage.IsGrayScale()) {
        SetLastError("CRaster::SelectionSet: wrong width or height, or image is not gray scale");
        return false;
    }
    if ((!selection && !CreateSelection()) || !grayImage.info.pixels) {
        SetLastError("CRaster::SelectionSet: null pointer");
        return false;
    }
    lumi::image::CopyRowsToPlane(grayImage, selection);
    RecomputeSelectionBox();
    return true;
}

bool CRaster::MakeSelectionImage(CRaster& target) const { return lumi::image::MakePlaneImage(selection, *this, target); }

void CRaster::SetSelectionAt(LONG x, LONG y, BYTE level) {
    if (BYTE* at = PlaneByte(selection, *this, x, y)) *at = level;
}

BYTE CRaster::GetSelectionAt(LONG x, LONG y) const { return lumi::image::PlaneValue(selection, *this, x, y); }

BYTE* CRaster::GetSelectionPointer(LONG x, LONG y) const { return PlaneByte(selection, *this, x, y); }

// An empty box stays as it is.
void CRaster::FlipSelection() {
    if (!selection) return;
    lumi::image::FlipPlane(selection, *this);
    RECT& box = info.selection_box;
    if (box.left < box.right && box.bottom < box.top) ReflectEdges(box.bottom, box.top, header.biHeight);
}

void CRaster::MirrorSelection() {
    if (!selection) return;
    lumi::image::MirrorPlane(selection, *this);
    RECT& box = info.selection_box;
    if (box.left < box.right && box.bottom < box.top) ReflectEdges(box.left, box.right, header.biWidth);
}

bool CRaster::RecomputeSelectionBox() {
    if (!selection) return false;
    ResetSelectionBox();
    for (LONG y = 0; y < header.biHeight; ++y) {
        const BYTE* row = selection + static_cast<std::size_t>(y) * GetWidth();
        for (LONG x = 0; x < header.biWidth; ++x)
            if (row[x]) GrowSelectionBox(x, y);
    }
    return true;
}

bool CRaster::BuildSelectionRegion(std::vector<RECT>& region) const {
    region.clear();
    if (!selection) return false;
    for (LONG y = 0; y < header.biHeight; ++y) {
        const BYTE* row = selection + static_cast<std::size_t>(y) * GetWidth();
        for (LONG x = 0; x < header.biWidth;) {
            if (!row[x]) {
                ++x;
                continue;
            }
            const LONG start = x;
            while (x < header.biWidth && row[x]) ++x;
            region.push_back(RECT{start, y + 1, x, y});
        }
    }
    return true;
}
