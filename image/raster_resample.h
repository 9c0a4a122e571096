#pragma once
// Resizing an image and the sub-pixel sampler that resizing and rotation share.
//
// Positions are in pixel units of the stored rows: (x, y) counts x from the left and y
// from the bottom row, and a whole-number position is the centre of that pixel. Colours
// are RGBQUAD (blue, green, red, fourth byte); the fourth byte carries alpha only when
// the image has an alpha plane, else it is 0.
//
// Every operation returns false at once for an image without pixels. Operations that
// build a new picture leave it in `destination` when one is given (the image itself is
// then unchanged), else they replace the image; an image that is a view of another
// cannot be replaced (false). A new picture carries the source's settings (type,
// background, DPI, ...), never its frames; the image keeps its layers. When creating the
// new picture fails, its message is left in the image's GetLastError() and the image is
// unchanged. Long operations report progress (0..100) through GetProgress and stop when
// the escape word is set; the part built so far is still handed over and the result is
// true.
#include "image/raster.h"

namespace lumi::image {

// Interpolation methods. Any value outside 1..18 samples as kInterpolateBilinear.
enum : int {
    kInterpolateNearest = 1,
    kInterpolateBilinear = 2,
    kInterpolateBSpline = 3,
    kInterpolateCubic = 4,
    kInterpolateCubicParam = 5,  // parameter -0.5
    kInterpolateLanczos = 6,     // 12 x 12 neighbours, radius 6
    kInterpolateBox = 7,
    kInterpolateHermite = 8,
    kInterpolateHamming = 9,
    kInterpolateSinc = 10,
    kInterpolateBlackman = 11,
    kInterpolateBessel = 12,
    kInterpolateGaussian = 13,
    kInterpolateQuadratic = 14,
    kInterpolateMitchell = 15,
    kInterpolateCatmullRom = 16,
    kInterpolateHanning = 17,
    kInterpolatePower = 18,  // power 2
};

// What a position outside the image yields. Any other value acts as kOverflowColor.
enum : int {
    kOverflowColor = 1,       // the replacement colour, or white with fourth byte 0
    kOverflowBackground = 2,  // the background colour (palette entry of the background index)
    kOverflowTransparent = 3, // with alpha plane: replacement (or white) with alpha 0
    kOverflowWrap = 4,
    kOverflowRepeat = 5,
    kOverflowMirror = 6,
};

// ---- sampler -----------------------------------------------------------------------

// Colour at a sub-pixel position. replacement may be null (white).
RGBQUAD SampleInterpolated(const CRaster& image, float x, float y, int method, int overflow,
                           const RGBQUAD* replacement = nullptr);
// Average colour of the areaWidth x areaHeight rectangle centred on (x, y); with both
// sizes at most 1 it is SampleInterpolated. No replacement colour: kOverflowColor is white.
RGBQUAD SampleArea(const CRaster& image, float x, float y, float areaWidth, float areaHeight, int method,
                   int overflow);
// Colour of a whole pixel; outside positions resolved by the overflow method.
RGBQUAD SamplePixel(const CRaster& image, LONG x, LONG y, int overflow, const RGBQUAD* replacement = nullptr);
// Maps an outside position back inside for kOverflowWrap, kOverflowRepeat and
// kOverflowMirror; inside coordinates and other methods leave it alone.
void ResolveEdgeCoordinates(const CRaster& image, LONG& x, LONG& y, int overflow);
void ResolveEdgeCoordinates(const CRaster& image, float& x, float& y, int overflow);
// sums[i] += weight x byte i of colour (blue, green, red, fourth).
void AccumulateWeighted(RGBQUAD colour, float weight, float sums[4]);

// ---- resizing ----------------------------------------------------------------------

// Fast resize in place: area average (weights in thousandths of a pixel) when a 24-bit
// image shrinks both ways, else linear between the four neighbours of x x old/new.
// Zero sizes fail; the same size changes nothing.
bool Resample(CRaster& image, LONG width, LONG height);
// Resize through the sampler; shrinking averages areas (SampleArea) unless noAveraging.
// Sizes of 0 or less fail; the same size succeeds unchanged (copied into destination).
bool ResampleInterpolated(CRaster& image, LONG width, LONG height, int method, int overflow,
                          CRaster* destination = nullptr, bool noAveraging = false);
// Integer box shrink; a larger target fails with "QIShrink can't enlarge image". force24
// makes a 24-bit result from a palette image.
bool QIShrink(CRaster& image, LONG width, LONG height, CRaster* destination = nullptr, bool force24 = false);

}  // namespace lumi::image
