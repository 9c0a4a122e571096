#pragma once
// Colour-depth changes and tone operations: fewer or more bits per pixel, grey, negative,
// and dithering to black and white.
//
// Every operation returns false at once for an image without pixels. A new picture (of
// another depth) replaces the image, carrying its settings (type, DPI, ...), never its
// frames; the image keeps its layers; a view cannot be replaced (false). When creating
// it fails, its message is left in GetLastError() and the image is unchanged. Progress
// (0..100) and the escape word work as for the other transforms: a cancelled operation
// still hands over what it built and returns true.
#include "image/raster.h"

namespace lumi::image {

// Reduces to 1, 4 or 8 bits (other values round up as CRaster::Create does). Colours map
// to the nearest entry of `palette` (importantColors entries, or all 1 << bits when
// importantColors is 0; the caller provides that many) or, without one, of the standard
// palette. errorDiffusion spreads each pixel's error to the neighbours still to come
// (7/16 right; 2/16, 4/16, 1/16 on the next row up). A target deeper than the image
// fails with "DecreaseBpp: target BPP greater than source BPP"; the same depth with
// importantColors 0 (or more than the image already limits itself to) changes nothing.
bool DecreaseBpp(CRaster& image, DWORD bits, bool errorDiffusion, const RGBQUAD* palette = nullptr,
                 DWORD importantColors = 0);
// Raises to 4, 8 or 24 bits without loss; the same depth changes nothing, a shallower
// one or another value fails. At 24 bits palette alpha becomes an alpha plane.
bool RaiseBpp(CRaster& image, DWORD bits);
// An 8-bit image with a grey ramp palette: grey = (306 red + 601 green + 117 blue) >> 10.
bool ConvertToGray(CRaster& image);
// Photographic negative (of the selection, when there is one).
bool Invert(CRaster& image);
// Grey, then 1 bit (index 0 black, 1 white). Methods: 0 (and any value outside 1..7)
// Floyd-Steinberg; 1 ordered 4x4; 2 Stucki; 3 Jarvis-Judice-Ninke; 4 Sierra; 5 Burkes;
// 6 Stevenson-Arce; 7 ordered 16x16.
bool DitherToMono(CRaster& image, int method = 0);

}  // namespace lumi::image
