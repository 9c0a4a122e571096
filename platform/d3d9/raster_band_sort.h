#pragma once
// The sort of one triangle-list draw into bands (BandedTriangles), split into chunks of its
// primitives that threads may take at once: every chunk's Look, then Place once, then every
// chunk's Fill. Holds pointers: the call, the pipeline and the lists must outlive it.
#include <cstdint>
#include <vector>

#include "platform/d3d9/raster_draw.h"

namespace d3d9sw {

class BandSort {
public:
    // Clears and sizes the lists of `sorted` for the draw, in chunks worth a thread each of
    // up to `threads` (one for one thread).
    BandSort(const DrawCall& call, const PixelPipeline& pipeline, DWORD cullMode, int bands, int rows, int threads,
             BandedTriangles* sorted);

    // 0 when the draw has no lists to sort (points and lines, or one band without rectangles).
    int Chunks() const { return chunks_; }

    // Each primitive of the chunk, or pair that is a rectangle: its entry, its bands, and the
    // entries each band receives from the chunk.
    void Look(int chunk);
    // Each band's list: where its part from each chunk starts.
    void Place();
    // The chunk's entries into the bands' lists.
    void Fill(int chunk);

private:
    std::uint32_t ChunkBegin(int chunk) const;
    std::uint32_t ChunkEnd(int chunk) const;
    std::uint32_t* Places(int chunk);
    // Band b holds rows height * b / bands <= row < height * (b + 1) / bands.
    std::uint8_t BandOfRow(std::int64_t row) const;
    std::uint8_t BandOf(double row) const;

    const DrawCall* call_;
    const PixelPipeline* pipeline_;
    DWORD cullMode_;
    int bands_ = 1, chunks_ = 0;
    BandedTriangles* sorted_;
    std::int64_t height_;
};

// The sorts of several draws run together: every chunk's Look in one job of the raster
// threads, every sort's Place, then every chunk's Fill in a second job, so that a frame of many
// draws hands its threads two jobs, not two a draw. Reused, it allocates only while it grows.
class BandSorts {
public:
    void Clear();
    // The sort of one draw, as BandSort takes it.
    void Add(const DrawCall& call, const PixelPipeline& pipeline, DWORD cullMode, int bands, int rows, int threads,
             BandedTriangles* sorted);
    // Sorts every draw added since the last Clear, with up to `threads` threads.
    void Run(int threads);

private:
    struct Chunk {
        std::uint32_t sort;
        int chunk;
    };
    // Looks at or fills the chunks of part `part` of `parts`: several a part when there are more
    // chunks than a job has parts.
    void Step(int part, int parts, bool fill);

    std::vector<BandSort> sorts_;
    std::vector<Chunk> chunks_;
};

}  // namespace d3d9sw
