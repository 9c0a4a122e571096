#pragma once
// Internal to the image library: the parts of CRaster that the whole-image transforms need
// beyond its public interface (the settings record, the header, the layer array and the
// error text). The transforms are free functions over CRaster; this is the one place that
// reaches past its public interface, through pointers to the protected members.
#include "image/raster.h"

namespace lumi::image::detail {

class RasterAccess : private CRaster {
public:
    static raster_info_t& Info(CRaster& image) { return image.*(&RasterAccess::info); }
    static const raster_info_t& Info(const CRaster& image) { return image.*(&RasterAccess::info); }
    static BITMAPINFOHEADER& Header(CRaster& image) { return image.*(&RasterAccess::header); }
    static const BITMAPINFOHEADER& Header(const CRaster& image) { return image.*(&RasterAccess::header); }
    static CRaster**& Layers(CRaster& image) { return image.*(&RasterAccess::layers); }
    static void SetError(CRaster& image, const char* message) { (image.*(&RasterAccess::SetLastError))(message); }
    static bool IsView(const CRaster& image) { return Info(image).shared_owner != nullptr; }
};

}  // namespace lumi::image::detail
