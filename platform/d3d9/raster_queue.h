#pragma once
// The draws and clears a device has made and not yet rasterised. Each draw is checked and
// fixed when it is made (so the draw call returns what it would return drawn at once), keeps
// copies of the vertices and indices it reads and a reference on every object whose memory it
// reads or writes, and waits until something reads or writes such memory: the device flushes
// the queue then (every surface lock and memory view, a present, a reset). A flush draws the
// whole queue in bands of rows over the raster threads, so that a frame of many draws waits for
// its threads once rather than once a draw, and a band's rows stay in the core's cache from its
// clear to its last draw; the pixels are those of the draws drawn one after the other.
//
// A run of draws that replace pixels (PixelPipeline::ReplacesPixels) into one target and depth
// buffer with one depth function leaves each pixel to the fragment of the nearest depth that
// passes the alpha test, ties going to the later fragment under LESSEQUAL and to the earlier
// under LESS (with mixed functions the later fragment's would decide a tie); drawn in
// reverse with the tie rule swapped it leaves the same, as long as no fragment ties with the
// depth the pixel held before the run. A 2D renderer draws back to front, so that reversed most
// fragments fail the depth test. The depth buffer's floor (DrawState::depthFloor) tells which
// fragments cannot tie with what it held: the run's primitives from the first whose depths,
// and those of all after it, lie below the floor left by those before it are drawn in reverse,
// the others in order before them.
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "platform/d3d9/raster_band_sort.h"
#include "platform/d3d9/raster_coarse_depth.h"
#include "platform/d3d9/raster_draw.h"
#include "platform/d3d9/ref_counted.h"

namespace d3d9sw {

class RasterQueue {
public:
    RasterQueue() = default;
    ~RasterQueue() { Drop(); }
    RasterQueue(const RasterQueue&) = delete;
    RasterQueue& operator=(const RasterQueue&) = delete;

    // Checks the draw as Rasterize does and keeps it; D3DERR_INVALIDCALL (nothing kept) when it
    // cannot be drawn. Holds an internal reference on each non-null object of `keep` until
    // the draw is done.
    HRESULT Add(const DrawState& state, const DrawCall& call, RefCounted* const* keep, int keepCount);

    // A clear as Device::Clear makes it, of rectangles already held to the viewport.
    struct Clear {
        SurfaceView target;  // bits null: colour kept
        SurfaceView depth;   // bits null: depth and stencil kept
        bool clearDepth = false, clearStencil = false;
        D3DCOLOR color = 0;
        float z = 0;
        DWORD stencil = 0;
        std::uint32_t* depthFloor = nullptr;  // the depth buffer's (DrawState::depthFloor)
        const RECT* rects = nullptr;
        int rectCount = 0;
        bool avx2 = true;  // DrawState::avx2
    };
    // Keeps the clear, drawn in order with the draws, band by band; holds references as Add.
    void AddClear(const Clear& clear, RefCounted* const* keep, int keepCount);

    // Whether a draw with `state` must wait for the queue to be drawn first: it samples what
    // a queued draw writes, or writes what a queued draw samples.
    bool MustWaitFor(const DrawState& state) const;
    // Whether a queued draw samples the memory at `bits`.
    bool Samples(const void* bits) const { return bits != nullptr && sampled_.count(bits) != 0; }

    // Work to end each band of a flush with, on the thread that drew the band, while its rows
    // are in that core's cache: rows(context, top, bottom) for the band's rows top..bottom-1.
    struct BandWork {
        void (*rows)(const void* context, int top, int bottom);
        const void* context;
        int height;           // the rows it covers from row 0: every band of them is handed over
        std::int64_t pixels;  // what it touches, for the band count
    };
    // Draws everything, in order, with up to `threads` threads, and ends each band with `then`
    // (with nothing queued, `then` alone in the bands of the last flush of the same height);
    // then releases the references.
    void Flush(int threads, const BandWork* then = nullptr);
    // Releases everything without drawing (the device goes away).
    void Drop();
    bool Empty() const { return draws_.empty(); }

private:
    struct QueuedDraw {
        PixelPipeline pipeline;
        DrawSettings settings;
        DrawCall call;               // vertices and indices point into the queue's copies at a flush
        std::size_t vertexOffset;    // bytes into vertexBytes_
        std::size_t indexOffset;     // indices into indices_
        std::uint32_t* depthFloor;   // null unless the draw writes depth
        DepthBounds depths;          // what it may write there
        bool replaces;               // may be drawn in a reversed run
        int clear;                   // >= 0: not a draw but clears_[clear]
    };
    struct QueuedClear {
        Clear clear;                 // its rectangles at clearRects_[rectOffset]
        std::size_t rectOffset;
        bool wholeDepth;             // every pixel of the depth buffer cleared
    };
    void HoldReferences(RefCounted* const* keep, int keepCount);
    void DrawClearBand(const QueuedClear& clear, int top, int bottom) const;
    // One draw's part drawn into every band, in the order of the steps.
    struct Step {
        std::uint32_t draw;
        PrimitiveSpan span;
        bool inRun = false;     // of a run of draws that only lower depths: tile bounds kept
        bool runStart = false;  // the first such step of its run: the bounds start unknown
    };
    void DrawBand(int band, int bands);
    // Every draw's lists for `bands` bands of `rows` rows (sorted_), over up to `threads`.
    void Sort(int bands, int rows, int threads);
    void PlanSteps();
    // Steps for the run of draws [first, end) (all replacing, one target and depth buffer).
    void PlanRun(std::size_t first, std::size_t end);
    void ReleaseReferences();

    std::vector<QueuedDraw> draws_;
    std::vector<std::uint8_t> vertexBytes_;
    std::vector<std::uint16_t> indices_;
    std::vector<QueuedClear> clears_;
    std::vector<RECT> clearRects_;
    int rows_ = 0;                             // at a flush: the bands' rows (every surface's)
    int bands_ = 0, threads_ = 0;              // of the last flush
    const BandWork* then_ = nullptr;           // at a flush
    std::vector<RefCounted*> held_;
    std::vector<BandedTriangles> sorted_;      // per draw at a flush; kept for the next frame's
    BandSorts sorts_;                          // of the draws, at a flush
    std::vector<Step> steps_;                  // at a flush
    std::vector<CoarseDepth> coarse_;          // per band at a flush; kept for the next frame's
    std::vector<std::int64_t> highest_;        // while planning a run: highest depth from a draw on
    std::vector<std::int64_t> primitiveHighest_;  // the same from a primitive of one draw on
    std::vector<std::int64_t> primitiveLowest_;   // each primitive's lowest depth (none: the maximum)
    std::unordered_set<const void*> written_;  // memory of queued targets and depth buffers
    std::unordered_set<const void*> sampled_;  // memory of queued textures
    double pixels_ = 0;                        // estimated, for the band count
};

}  // namespace d3d9sw
