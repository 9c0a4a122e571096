#pragma once
// Geometric whole-image transforms: turns, rotation, cropping, borders, thumbnails, shear
// and radial distortion. (CRaster::Flip and CRaster::Mirror are members of the image.)
//
// Coordinates are those of the stored rows (x from the left, y from the bottom row)
// except where an argument says "top-down". Every operation returns false at once for an
// image without pixels. Operations that build a new picture leave it in `destination`
// when one is given (the image itself is then unchanged), else they replace the image;
// an image that is a view of another cannot be replaced (false). The new picture carries
// the source's settings (type, background, DPI, ...), never its frames; the image keeps
// its layers. When creating the new picture fails, its message is left in the image's
// GetLastError() and the image is unchanged. Long operations report progress (0..100)
// and stop when the escape word is set: the part built so far is handed over, result true.
#include "image/raster.h"

namespace lumi::image {

// Quarter turn counter-clockwise, clockwise, and half turn. Palette, alpha plane and (for
// the quarter turns) the selection plane turn with the picture.
bool TurnLeft(CRaster& image, CRaster* destination = nullptr);
bool TurnRight(CRaster& image, CRaster* destination = nullptr);
bool Turn180(CRaster& image, CRaster* destination = nullptr);

// Rotation about the centre by angleDegrees, counter-clockwise as the picture is seen
// (y up), into an image sized to the rotated corners. Each output pixel takes the source
// pixel at the floor of its back-rotated position; outside the source it gets what the
// image's accessors give outside (background, or pixel (0, 0)) and alpha 0.
bool Rotate(CRaster& image, float angleDegrees, CRaster* destination = nullptr);
// The same through SampleInterpolated (see raster_resample.h) with the given methods.
// With rightAngleShortcut (and not keepSize) an angle whose rotated corner lands within
// 0.25 pixel of a quarter or half turn's does that turn instead; no turn at all copies
// into destination. keepSize keeps the source's width and height.
bool RotateInterpolated(CRaster& image, float angleDegrees, int method, int overflow, const RGBQUAD* replacement,
                        bool rightAngleShortcut, bool keepSize, CRaster* destination = nullptr);

// Copies a rectangle (top-down edges, clamped to the image, reversed pairs swapped);
// an empty rectangle fails. The selection plane is not carried.
bool CropToRect(CRaster& image, LONG left, LONG top, LONG right, LONG bottom, CRaster* destination = nullptr);
bool CropToRect(CRaster& image, const RECT& rect, CRaster* destination = nullptr);
// Crops a width x height rectangle whose top-left corner is (left, top) (top-down) and
// which is turned counter-clockwise by angleRadians; the result is upright. Both the
// start corner and the opposite corner must lie inside the image.
bool CropAtAngle(CRaster& image, LONG left, LONG top, LONG width, LONG height, float angleRadians,
                 CRaster* destination = nullptr);

// Enlarges the canvas (top and bottom as seen: the bottom border takes the lowest stored
// rows) and fills the borders with canvas (its fourth byte in the alpha plane).
bool AddBorders(CRaster& image, LONG left, LONG top, LONG right, LONG bottom, RGBQUAD canvas,
                CRaster* destination = nullptr);
// Enlarges the canvas symmetrically to width x height; a smaller size fails.
bool PadToSize(CRaster& image, LONG width, LONG height, RGBQUAD canvas, CRaster* destination = nullptr);
// Shrinks to fit width x height (Resample), then centres on a canvas of exactly that size.
bool MakeThumbnail(CRaster& image, LONG width, LONG height, RGBQUAD canvas, CRaster* destination = nullptr);

// Shears the selected pixels in place: each takes the source position
// (x + (y - yPivot) x xGain, y + (x - xPivot) x yGain), bilinear when interpolate.
bool Shear(CRaster& image, float xGain, float yGain, LONG xPivot, LONG yPivot, bool interpolate);
// Radial distortions of the selected pixels about the centre, in place: kind 0 pulls
// towards the centre (d x d / radius), 1 pushes out (sqrt(d x radius)), 2 swirls by
// d / factor radians, 3 unrolls to polar coordinates, others ripple every 32 columns.
// radius 0 reaches the farthest corner of the selection box (or of the image).
bool RadialTransform(CRaster& image, int kind, LONG radius, float factor);

}  // namespace lumi::image
