#pragma once
// Triangle scan conversion by Direct3D 9's rules: pixel centres on integer coordinates,
// positions snapped to 1/256 pixel, a pixel drawn when its centre lies inside, and on a shared
// edge only by the triangle for which that edge is a top or left edge.
#include "platform/d3d9/raster_pipeline.h"
#include "platform/d3d9/raster_types.h"

namespace d3d9sw {

// Draws one triangle given in pixels (either winding; culling is the caller's), within the
// pipeline's scissor rectangle.
void DrawTriangle(const RasterVertex& a, const RasterVertex& b, const RasterVertex& c, PixelPipeline& pipeline);

}  // namespace d3d9sw
