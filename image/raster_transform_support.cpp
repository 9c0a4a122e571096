// What the whole-image transforms share: new pictures that carry the source's settings,
// and handing them over.
#include <cstring>
#include <utility>

#include "image/raster.h"

bool CRaster::CreateLike(CRaster& picture, DWORD width, DWORD height, DWORD bpp) {
    // The picture takes the whole settings record, then drops everything that describes
    // buffers it does not have: pointers, owner, parent, counts, the palette cache.
    picture.info = info;
    picture.info.row_stride = 0;
    picture.info.pixels = nullptr;
    picture.info.shared_owner = nullptr;
    picture.info.parent = nullptr;
    picture.info.layer_count = 0;
    picture.info.frame_count = 0;
    picture.info.nearest_valid = false;
    picture.header = header;
    picture.header.biWidth = 0;
    picture.header.biHeight = 0;
    picture.header.biClrUsed = 0;
    picture.header.biSizeImage = 0;
    if (!picture.Create(width, height, bpp, GetType())) {
        SetLastError(picture.GetLastError());
        return false;
    }
    picture.ClearSelection();  // an empty box sized to the new picture
    if (picture.GetBpp() == GetBpp() && GetPalette())
        picture.SetPalette(GetPalette(), GetColorsUsed());
    else
        picture.SetImportantColors(0);
    return true;
}

bool CRaster::SnapshotInto(CRaster& copy) {
    if (!CreateLike(copy, GetWidth(), GetHeight(), GetBpp())) return false;
    std::memcpy(copy.GetBits(), GetBits(), static_cast<std::size_t>(GetRowStride()) * GetHeight());
    const std::size_t plane = static_cast<std::size_t>(GetWidth()) * GetHeight();
    if (HasAlpha()) {
        if (!copy.CreateAlpha()) return false;
        std::memcpy(copy.GetAlphaPointer(), GetAlphaPointer(), plane);
    }
    if (HasSelection() && !copy.CopySelectionFrom(*this)) return false;
    return true;
}

bool CRaster::CopyInto(CRaster* destination) {
    if (!destination || destination == this) return true;
    // Not Copy: a copy of a view would be one more view, sharing the owner's pixels.
    CRaster copy;
    return SnapshotInto(copy) && HandOver(copy, destination);
}

bool CRaster::CanReceive(const CRaster* destination) const {
    return (destination ? *destination : *this).info.shared_owner == nullptr;
}

bool CRaster::HandOver(CRaster& picture, CRaster* destination) {
    CRaster& target = destination ? *destination : *this;
    if (target.info.shared_owner != nullptr) return false;
    picture.info.progress = GetProgress();
    if (&target == this) {
        // Layers are not transformed; they stay with the image they belong to.
        std::swap(picture.layers, layers);
        std::swap(picture.info.layer_count, info.layer_count);
    }
    return target.MoveFrom(picture, false);
}
