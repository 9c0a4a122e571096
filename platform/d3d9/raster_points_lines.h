#pragma once
// Points and lines, one pixel wide. Tie rule (the library's half-pixel offset puts vertices
// exactly on pixel borders): a vertex at (X, Y) lights pixel (floor(X + 0.5), floor(Y + 0.5)).
// A point is that one pixel; a line is the Bresenham line between its two end pixels, the last
// pixel drawn only when D3DRS_LASTPIXEL is TRUE.
#include "platform/d3d9/raster_pipeline.h"
#include "platform/d3d9/raster_types.h"

namespace d3d9sw {

// Vertices are in pixels (mapped to the viewport).
void DrawPoint(const RasterVertex& v, PixelPipeline& pipeline);
void DrawLine(const RasterVertex& a, const RasterVertex& b, bool lastPixel, PixelPipeline& pipeline);

}  // namespace d3d9sw
