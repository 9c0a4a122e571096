#pragma once
// Unrotated rectangles drawn as two triangles that share a diagonal, as a 2D renderer draws
// sprites and glyphs. When the four corners carry one colour and one depth and the texture
// maps texel for pixel (every covered pixel centre lands within 1/512 texel of a texel centre,
// where point and linear sampling read the same single texel), the pair is drawn row by row:
// the pixels the two triangles cover, each with the texel, colour and depth the triangle loop
// would give it, through the vectorised row kernels where the states allow them.
#include <cstdint>

#include "platform/d3d9/raster_pipeline.h"
#include "platform/d3d9/raster_types.h"

namespace d3d9sw {

// A rectangle found in two triangles: the pixels it covers within the draw's scissor and what
// each of them gets. Found once per draw, then drawn into each band of rows it reaches.
struct QuadRectangle {
    std::int32_t left, top, right, bottom;  // covered pixels within the scissor; may be empty
    std::int32_t texelX, texelY;            // the texel of pixel (left, top) when textured
    std::uint32_t diffuse;                  // 0xAARRGGBB, every pixel's
    std::uint32_t z;                        // every pixel's depth, in buffer units
};

// Whether two triangles, given by the stream records of their vertices (0-2 and 3-5, clip
// space, FVF 0x142), are one such rectangle within the pipeline's scissor (and one the caller
// need not clip or cull); if so fills `rectangle`. When not, the caller draws the triangles.
bool FindRectangle(const std::uint8_t* const records[6], DWORD cullMode, const PixelPipeline& pipeline,
                   QuadRectangle* rectangle);

// Draws the rectangle's pixels within the pipeline's scissor (a band's rows, or all).
void DrawRectangleRows(const QuadRectangle& rectangle, const PixelPipeline& pipeline);

// Rectangles drawn this way since the process started (per band of a threaded draw), so that
// tests can tell this path was taken. Callers add their count once per draw.
std::uint64_t RectanglesDrawnByRows();
void CountRectanglesDrawnByRows(std::uint64_t count);

}  // namespace d3d9sw
