#include "image/format_table.h"

#include "image/raster_bmp.h"
#include "image/raster_gif.h"
#include "image/raster_jna.h"
#include "image/raster_jpg.h"
#include "image/raster_png.h"
#include "image/raster_tga.h"

namespace lumi::image {

namespace {

// One entry per format. Codecs still to come have only their type id.
const CodecEntry kCodecs[] = {
    MakeCodecEntry<CRasterBMP>(kRasterTypeBmp),
    [] {
        CodecEntry gif = MakeCodecEntry<CRasterGIF>(kRasterTypeGif);
        gif.encode_animation = [](CRaster& codec, CRasterFile* file, CRaster** images, int count) {
            return static_cast<CRasterGIF&>(codec).Encode(file, images, count, false);
        };
        return gif;
    }(),
    MakeCodecEntry<CRasterJPG>(kRasterTypeJpg),
    MakeCodecEntry<CRasterPNG>(kRasterTypePng),
    MakeCodecEntry<CRasterTGA>(kRasterTypeTga),
    MakeCodecEntry<CRasterJNA>(kRasterTypeJna),
};

}  // namespace

std::span<const CodecEntry> DefaultCodecs() { return kCodecs; }

}  // namespace lumi::image
