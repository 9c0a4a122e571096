#pragma once
// What a codec may do to an image it decodes into that the image's public interface does not
// offer: allocate it without clearing what the decoder is about to write (CRaster's
// CreateForDecoder). For codecs that decode into an image of their own and move it into the
// caller's only when the whole decode succeeded.
#include "image/raster.h"

namespace lumi::image {

struct DecoderAccess {
    static BYTE* CreateForDecoder(CRaster& image, DWORD width, DWORD height, DWORD bpp, DWORD type) {
        return image.CreateForDecoder(width, height, bpp, type);
    }
};

}  // namespace lumi::image
