#pragma once
// Internal to the image library: the work the alpha plane and the selection plane share. Both
// are width x height bytes of their image, without row padding, bottom row first.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "image/raster.h"

namespace lumi::image {

// The byte of (x, y), or null without a plane or outside the image. Byte: BYTE or const BYTE.
template <class Byte>
Byte* PlaneByte(Byte* plane, const CRaster& image, LONG x, LONG y) {
    if (!plane || !image.IsInside(x, y)) return nullptr;
    return plane + static_cast<std::size_t>(y) * image.GetWidth() + x;
}

// The value at (x, y); 0 without a plane or outside the image.
inline BYTE PlaneValue(const BYTE* plane, const CRaster& image, LONG x, LONG y) {
    const BYTE* at = PlaneByte(plane, image, x, y);
    return at ? *at : 0;
}

// Upside down; the image has at least one row.
inline void FlipPlane(BYTE* plane, const CRaster& image) {
    const std::size_t w = image.GetWidth();
    for (DWORD top = 0, bottom = image.GetHeight() - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(plane + top * w, plane + top * w + w, plane + bottom * w);
}

inline void MirrorPlane(BYTE* plane, const CRaster& image) {
    const std::size_t w = image.GetWidth();
    for (DWORD y = 0; y < image.GetHeight(); ++y) std::reverse(plane + y * w, plane + y * w + w);
}

// Every value v becomes 255 - v.
inline void InvertPlane(BYTE* plane, const CRaster& image) {
    const std::size_t n = static_cast<std::size_t>(image.GetWidth()) * image.GetHeight();
    for (std::size_t i = 0; i < n; ++i) plane[i] = static_cast<BYTE>(255 - plane[i]);
}

// Makes target (another image) an 8-bit grey image of the plane of source; false without a
// plane or when target cannot be created.
inline bool MakePlaneImage(const BYTE* plane, const CRaster& source, CRaster& target) {
    if (!plane || &target == &source) return false;
    const DWORD w = source.GetWidth();
    if (!target.Create(w, source.GetHeight(), 8, source.GetType())) return false;
    target.SetGrayPalette();
    for (DWORD y = 0; y < target.GetHeight(); ++y) std::memcpy(target.GetBits(y), plane + static_cast<std::size_t>(y) * w, w);
    return true;
}

// Copies the rows of an 8-bit image of the plane's size into the plane.
inline void CopyRowsToPlane(const CRaster& image, BYTE* plane) {
    const DWORD w = image.GetWidth();
    for (DWORD y = 0; y < image.GetHeight(); ++y) std::memcpy(plane + static_cast<std::size_t>(y) * w, image.GetBits(y), w);
}

}  // namespace lumi::image
