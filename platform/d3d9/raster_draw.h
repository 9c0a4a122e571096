#pragma once
// A draw in two steps, for drawing later and in bands (raster_queue.h): checked and fixed by
// the states of the moment, then drawn into one band of its target's rows at a time. Every
// band sees the draw's primitives in order and writes only its own rows, so bands drawn at once
// by several threads give the pixels of the draw drawn whole.
#include <cstdint>
#include <vector>

#include "platform/d3d9/raster_pipeline.h"
#include "platform/d3d9/raster_quad.h"
#include "platform/d3d9/raster_threads.h"
#include "platform/d3d9/rasterizer.h"

namespace d3d9sw {

// What a draw reads from the render states besides the pipeline's part.
struct DrawSettings {
    DWORD cullMode = D3DCULL_CCW;
    bool lastPixel = true;
    float pointSize = 1.0f;     // D3DRS_POINTSIZE, for vertices without a size of their own
    float pointSizeMin = 1.0f;
    float pointSizeMax = 64.0f;
    bool pointSprites = false;  // texture coordinates across each point's square
};

// Checks the call and the state as Rasterize does and fixes the pipeline and settings;
// D3DERR_INVALIDCALL when the draw cannot be drawn.
HRESULT PrepareDraw(const DrawState& state, const DrawCall& call, PixelPipeline* pipeline, DrawSettings* settings);

// The vertex record of the n-th vertex a draw's primitives use.
const std::uint8_t* VertexRecord(const DrawCall& call, std::uint64_t n);

// A band's work must outweigh handing it to a thread. Past kPixelsForMostBands BandCount
// gives no more bands, so pixels need not be counted further.
constexpr double kPixelsPerBand = 16384;
constexpr double kPixelsForMostBands = kPixelsPerBand * RasterThreads::kMaxParts;

// Pixels the draw covers at most (triangles by their bounding boxes; of a draw of over 1,024
// triangles, estimated from a sample), counted until `enough`.
double EstimatedPixels(const DrawCall& call, const D3DVIEWPORT9& viewport, double enough);

// Bands worth splitting `pixels` over `rows` of a target into for `threads` threads (1: none).
int BandCount(int threads, int rows, double pixels);

// A triangle draw's primitives sorted into bands of its target's rows, once per draw rather
// than once per band: those that may reach band b's rows (a pixel to spare: clipping only
// shrinks a triangle), in draw order, are primitives[offsets[b]] .. primitives[offsets[b + 1] - 1].
// Where the pipeline draws rectangles by rows (raster_quad.h), pairs of triangles are looked at
// here too, once: a pair found to be a rectangle is listed as one entry, kRectangle | n with
// the rectangle at Rectangle(n) and n its first primitive, in the bands of its own rows only.
// Reused from draw to draw, so that sorting allocates only while the lists grow.
struct BandedTriangles {
    static constexpr std::uint32_t kRectangle = 0x80000000u;
    std::vector<std::uint32_t> offsets;
    std::vector<std::uint32_t> primitives;
    // A rectangle takes two primitives, so no two have the same half of their first one's index:
    // the slots are half as many, and fewer cache lines go between the threads that sort and draw.
    std::vector<QuadRectangle> rectangles;
    QuadRectangle& Rectangle(std::uint32_t first) { return rectangles[first / 2]; }
    const QuadRectangle& Rectangle(std::uint32_t first) const { return rectangles[first / 2]; }
    // Per primitive, what its band lists hold for it (kUnlisted: nothing) and its bands.
    static constexpr std::uint32_t kUnlisted = 0xFFFFFFFFu;
    std::vector<std::uint32_t> entries;
    std::vector<std::uint8_t> first, last;
    std::vector<std::uint32_t> chunkPlaces;  // per chunk of primitives and band, while sorting
};

// Sorts a triangle-list draw into `bands` bands of `rows` rows (band b holds rows
// BandTop(b, bands, rows) .. BandTop(b + 1, bands, rows) - 1 of every surface, whatever its
// height), with up to `threads` threads when the draw is large; leaves `sorted` empty for one
// band without rectangles and for points and lines (each band goes over all of those).
void SortIntoBands(const DrawCall& call, const PixelPipeline& pipeline, DWORD cullMode, int bands, int rows, int threads,
                   BandedTriangles* sorted);

// The primitives of a triangle-list draw to draw, first <= primitive < end, in order or in
// reverse (with the depth test's tie rule swapped: PixelPipeline::SwapDepthTies).
struct PrimitiveSpan {
    std::uint32_t first = 0;
    std::uint32_t end = 0xFFFFFFFFu;  // past the draw's last: all from `first` on
    bool reversed = false;
};

// Draws the prepared draw into band `band` of `bands` of `rows` rows (all rows for one band),
// the triangles of `sorted` for the band when it holds any lists; of a triangle list, the
// primitives of `span`. The pipeline is copied: bands may be drawn at once.
// `coarse`: the band's tile depth bounds while a run of draws that only lower depths is drawn
// (PixelPipeline::coarse).
void DrawPreparedBand(const DrawCall& call, const DrawSettings& settings, const PixelPipeline& pipeline, int band,
                      int bands, int rows, const BandedTriangles& sorted, const PrimitiveSpan& span = {},
                      CoarseDepth* coarse = nullptr);
// The first row of band `band` of `bands` of `rows` rows.
int BandTop(int band, int bands, int rows);

// Bounds of the depths, in the buffer's units, that primitive `prim` of a triangle-list draw
// may write (through the viewport's depth range, clipped, rounded as the cursor rounds);
// low > high when it writes none. The rectangles of `sorted` give their one depth.
struct DepthBounds {
    std::int64_t low, high;
};
DepthBounds PrimitiveDepths(const DrawCall& call, const PixelPipeline& pipeline, const BandedTriangles& sorted,
                            std::uint32_t prim);
// The same for every vertex the draw's stream holds: bounds of all it may write.
DepthBounds VertexDepths(const DrawCall& call, const PixelPipeline& pipeline);

}  // namespace d3d9sw
