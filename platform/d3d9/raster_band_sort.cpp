#include "platform/d3d9/raster_band_sort.h"

#include <algorithm>
#include <cstring>

#include "platform/d3d9/raster_quad.h"
#include "platform/d3d9/raster_threads.h"

namespace d3d9sw {
namespace {

constexpr UINT kPrimitivesPerSortChunk = 256;  // fewer are not worth waking a thread for
constexpr int kMaxBands = 256;                  // band numbers are bytes
static_assert(RasterThreads::kMaxParts <= kMaxBands);

}  // namespace

BandSort::BandSort(const DrawCall& call, const PixelPipeline& pipeline, DWORD cullMode, int bands, int rows,
                   int threads, BandedTriangles* sorted)
    : call_(&call), pipeline_(&pipeline), cullMode_(cullMode), sorted_(sorted), height_(std::max(rows, 1)) {
    sorted->offsets.clear();
    sorted->primitives.clear();
    if (call.type != D3DPT_TRIANGLELIST || (bands <= 1 && !pipeline.Rows().quads)) return;
    bands_ = std::max(bands, 1);
    const UINT count = call.primitiveCount;
    chunks_ = threads <= 1 ? 1
                           : static_cast<int>(std::clamp<UINT>(count / kPrimitivesPerSortChunk, 1, static_cast<UINT>(threads) * 2));
    // Sized, never shrunk: only what this draw writes is read.
    if (sorted->entries.size() < count) {
        sorted->entries.resize(count);
        sorted->first.resize(count);
        sorted->last.resize(count);
    }
    if (sorted->rectangles.size() < count / 2 + 1) sorted->rectangles.resize(count / 2 + 1);
    sorted->chunkPlaces.resize(static_cast<std::size_t>(chunks_) * bands_);
}

std::uint32_t BandSort::ChunkBegin(int chunk) const {
    return static_cast<std::uint32_t>(std::uint64_t{call_->primitiveCount} * chunk / chunks_) & ~1u;
}

std::uint32_t BandSort::ChunkEnd(int chunk) const { return chunk + 1 == chunks_ ? call_->primitiveCount : ChunkBegin(chunk + 1); }

std::uint32_t* BandSort::Places(int chunk) { return sorted_->chunkPlaces.data() + static_cast<std::size_t>(chunk) * bands_; }

std::uint8_t BandSort::BandOfRow(std::int64_t row) const {
    const std::int64_t r = std::clamp<std::int64_t>(row, 0, height_ - 1);
    return static_cast<std::uint8_t>(((r + 1) * bands_ - 1) / height_);
}

std::uint8_t BandSort::BandOf(double row) const {
    return BandOfRow(static_cast<std::int64_t>(std::clamp(row, 0.0, static_cast<double>(height_ - 1))));
}

void BandSort::Look(int chunk) {
    // Counted here and stored once: the chunks' counts share cache lines with their neighbours'.
    std::uint32_t counts[kMaxBands] = {};
    const bool quads = pipeline_->Rows().quads;
    const D3DVIEWPORT9& vp = pipeline_->Viewport();
    const UINT end = ChunkEnd(chunk);
    auto list = [&](UINT prim, std::uint32_t entry, std::uint8_t first, std::uint8_t last) {
        sorted_->entries[prim] = entry;
        sorted_->first[prim] = first;
        sorted_->last[prim] = last;
        for (int band = first; band <= last; ++band) ++counts[band];
    };
    for (UINT prim = ChunkBegin(chunk); prim < end; ++prim) {
        if (quads && prim + 1 < end) {
            // The two triangles of a rectangle follow each other.
            const std::uint8_t* records[6];
            for (int i = 0; i < 6; ++i) records[i] = VertexRecord(*call_, 3ull * prim + i);
            QuadRectangle& rectangle = sorted_->Rectangle(prim);
            if (FindRectangle(records, cullMode_, *pipeline_, &rectangle)) {
                sorted_->entries[prim + 1] = BandedTriangles::kUnlisted;
                if (rectangle.left == rectangle.right) {  // no pixel of it to draw
                    sorted_->entries[prim++] = BandedTriangles::kUnlisted;
                    continue;
                }
                list(prim, BandedTriangles::kRectangle | prim, BandOfRow(rectangle.top),
                     BandOfRow(rectangle.bottom - 1));
                ++prim;
                continue;
            }
        }
        float y[3];
        for (int i = 0; i < 3; ++i) std::memcpy(&y[i], VertexRecord(*call_, 3ull * prim + i) + 4, sizeof y[i]);
        const double highest = std::max({y[0], y[1], y[2]}), lowest = std::min({y[0], y[1], y[2]});
        std::uint8_t first = 0, last = 0;  // a position that is not a number draws nothing: any band will do
        if (highest >= lowest) {
            // Two rows to spare either way: the triangle loop clips to the band's exact rows.
            first = BandOf((1.0 - highest) * 0.5 * vp.Height + vp.Y - 2.0);
            last = BandOf((1.0 - lowest) * 0.5 * vp.Height + vp.Y + 2.0);
        }
        list(prim, prim, first, last);
    }
    std::copy_n(counts, bands_, Places(chunk));
}

void BandSort::Place() {
    sorted_->offsets.assign(static_cast<std::size_t>(bands_) + 1, 0);
    for (int band = 0; band < bands_; ++band) {
        std::uint32_t at = sorted_->offsets[band];
        for (int chunk = 0; chunk < chunks_; ++chunk) {
            const std::uint32_t count = Places(chunk)[band];
            Places(chunk)[band] = at;
            at += count;
        }
        sorted_->offsets[band + 1] = at;
    }
    sorted_->primitives.resize(sorted_->offsets[bands_]);
}

void BandSort::Fill(int chunk) {
    std::uint32_t next[kMaxBands];
    std::copy_n(Places(chunk), bands_, next);
    const UINT end = ChunkEnd(chunk);
    for (UINT prim = ChunkBegin(chunk); prim < end; ++prim) {
        const std::uint32_t entry = sorted_->entries[prim];
        if (entry == BandedTriangles::kUnlisted) continue;
        for (int band = sorted_->first[prim]; band <= sorted_->last[prim]; ++band) sorted_->primitives[next[band]++] = entry;
    }
}

void BandSorts::Clear() {
    sorts_.clear();
    chunks_.clear();
}

void BandSorts::Add(const DrawCall& call, const PixelPipeline& pipeline, DWORD cullMode, int bands, int rows, int threads,
                    BandedTriangles* sorted) {
    const BandSort& sort = sorts_.emplace_back(call, pipeline, cullMode, bands, rows, threads, sorted);
    const auto index = static_cast<std::uint32_t>(sorts_.size() - 1);
    for (int chunk = 0; chunk < sort.Chunks(); ++chunk) chunks_.push_back({index, chunk});
}

void BandSorts::Run(int threads) {
    const int parts = static_cast<int>(std::min<std::size_t>(chunks_.size(), RasterThreads::kMaxParts));
    RasterThreads& pool = RasterThreads::Get();
    pool.Run(parts, threads, [](void* sorts, int part, int count) { static_cast<BandSorts*>(sorts)->Step(part, count, false); },
             this);
    for (BandSort& sort : sorts_)
        if (sort.Chunks() > 0) sort.Place();
    pool.Run(parts, threads, [](void* sorts, int part, int count) { static_cast<BandSorts*>(sorts)->Step(part, count, true); },
             this);
}

void BandSorts::Step(int part, int parts, bool fill) {
    const std::size_t count = chunks_.size();
    const std::size_t end = count * static_cast<std::size_t>(part + 1) / static_cast<std::size_t>(parts);
    for (std::size_t k = count * static_cast<std::size_t>(part) / static_cast<std::size_t>(parts); k < end; ++k) {
        BandSort& sort = sorts_[chunks_[k].sort];
        if (fill)
            sort.Fill(chunks_[k].chunk);
        else
            sort.Look(chunks_[k].chunk);
    }
}

}  // namespace d3d9sw
