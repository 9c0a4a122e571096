#pragma once
// Points and lines by Direct3D 9's rules, with positions snapped to 1/256 pixel as triangles are.
//
// A point is a screen-aligned square of side `size` centred on its vertex and filled like any
// polygon under the top-left rule: pixel (px, py) is lit when its centre lies in
// [X - size/2, X + size/2) x [Y - size/2, Y + size/2). Every lit pixel takes the vertex's
// attributes; a point sprite's texture coordinates instead run across the square, from 0 at
// its left and top edges to 1 at its right and bottom ones, taken at the pixel centres.
//
// A line lights the pixels whose diamond it leaves on its way from its first vertex to its
// second (the diamond-exit rule). The diamond of pixel (px, py) is |X - px| + |Y - py| < 1/2
// with its two lower edges and its bottom corner; a line steeper than 45 degrees also owns the
// right corner. The pixel whose diamond holds the end vertex is not left, so it is lit only when
// D3DRS_LASTPIXEL is TRUE. A vertex on a pixel corner (where the library's half-pixel offset
// puts its line ends) lies in no diamond. Attributes are interpolated along the major axis.
#include "platform/d3d9/raster_pipeline.h"
#include "platform/d3d9/raster_types.h"

namespace d3d9sw {

// Vertices are in pixels (mapped to the viewport).
void DrawPoint(const RasterVertex& v, float size, bool sprite, PixelPipeline& pipeline);
void DrawLine(const RasterVertex& a, const RasterVertex& b, bool lastPixel, PixelPipeline& pipeline);

}  // namespace d3d9sw
