// What the whole-image transforms share: new pictures that carry the source's settings,
// and handing them over.
#include "image/raster_transform_support.h"

#include <cstring>
#include <utility>

#include "image/raster_transform_access.h"

namespace lumi::image::detail {

bool CreateLike(CRaster& source, CRaster& picture, DWORD width, DWORD height, DWORD bpp) {
    // The picture takes the whole settings record, then drops everything that describes
    // buffers it does not have: pointers, owner, parent, counts, the palette cache.
    raster_info_t& info = RasterAccess::Info(picture);
    info = RasterAccess::Info(source);
    info.row_stride = 0;
    info.pixels = nullptr;
    info.shared_owner = nullptr;
    info.parent = nullptr;
    info.layer_count = 0;
    info.frame_count = 0;
    info.nearest_valid = false;
    BITMAPINFOHEADER& header = RasterAccess::Header(picture);
    header = RasterAccess::Header(source);
    header.biWidth = 0;
    header.biHeight = 0;
    header.biClrUsed = 0;
    header.biSizeImage = 0;
    if (!picture.Create(width, height, bpp, source.GetType())) {
        RasterAccess::SetError(source, picture.GetLastError());
        return false;
    }
    picture.ClearSelection();  // an empty box sized to the new picture
    if (picture.GetBpp() == source.GetBpp() && source.GetPalette())
        picture.SetPalette(source.GetPalette(), source.GetColorsUsed());
    else
        picture.SetImportantColors(0);
    return true;
}

bool SnapshotOf(CRaster& image, CRaster& copy) {
    if (!CreateLike(image, copy, image.GetWidth(), image.GetHeight(), image.GetBpp())) return false;
    std::memcpy(copy.GetBits(), image.GetBits(), static_cast<std::size_t>(image.GetRowStride()) * image.GetHeight());
    const std::size_t plane = static_cast<std::size_t>(image.GetWidth()) * image.GetHeight();
    if (image.HasAlpha()) {
        if (!copy.CreateAlpha()) return false;
        std::memcpy(copy.GetAlphaPointer(), image.GetAlphaPointer(), plane);
    }
    if (image.HasSelection() && !copy.CopySelectionFrom(image)) return false;
    return true;
}

bool CanReceive(const CRaster& image, const CRaster* destination) {
    return !RasterAccess::IsView(destination ? *destination : image);
}

bool HandOver(CRaster& image, CRaster& picture, CRaster* destination) {
    CRaster& target = destination ? *destination : image;
    if (RasterAccess::IsView(target)) return false;
    RasterAccess::Info(picture).progress = image.GetProgress();
    if (&target == &image) {
        // Layers are not transformed; they stay with the image they belong to.
        std::swap(RasterAccess::Layers(picture), RasterAccess::Layers(image));
        std::swap(RasterAccess::Info(picture).layer_count, RasterAccess::Info(image).layer_count);
    }
    return target.MoveFrom(picture, false);
}

}  // namespace lumi::image::detail
