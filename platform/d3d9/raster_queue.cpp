#include "platform/d3d9/raster_queue.h"

#include <algorithm>
#include <cstring>

#include "platform/d3d9/index_range.h"
#include "platform/d3d9/raster_threads.h"

namespace d3d9sw {
namespace {

// Past this many pixels the queue is worth every band it can have: no need to count further.
constexpr double kEnoughPixels = 1 << 24;

std::uint64_t VerticesUsed(const DrawCall& call) {
    const unsigned perPrimitive = call.type == D3DPT_POINTLIST ? 1 : call.type == D3DPT_LINELIST ? 2 : 3;
    return static_cast<std::uint64_t>(call.primitiveCount) * perPrimitive;
}

}  // namespace

HRESULT RasterQueue::Add(const DrawState& state, const DrawCall& call, RefCounted* const* keep, int keepCount) {
    QueuedDraw draw{};
    const HRESULT hr = PrepareDraw(state, call, &draw.pipeline, &draw.settings);
    if (FAILED(hr)) return hr;
    if (pixels_ < kEnoughPixels) pixels_ += EstimatedPixels(call, draw.pipeline.Viewport(), kEnoughPixels - pixels_);

    // Copies of what the draw reads: the buffers may be written again before the flush.
    draw.call = call;
    const std::uint64_t used = VerticesUsed(call);
    std::int64_t first = 0, last = static_cast<std::int64_t>(used) - 1;
    if (call.indices != nullptr) {
        const IndexRange range = RangeOfIndices(call.indices, used);
        first = std::int64_t{range.lowest} + call.baseVertex;
        last = std::int64_t{range.highest} + call.baseVertex;
        draw.indexOffset = indices_.size();
        indices_.insert(indices_.end(), call.indices, call.indices + used);
        draw.call.indexCount = static_cast<UINT>(used);
        draw.call.baseVertex = static_cast<INT>(call.baseVertex - first);
    }
    const std::uint8_t* from = call.vertices + static_cast<std::size_t>(first) * call.vertexStride;
    const std::size_t bytes = static_cast<std::size_t>(last - first) * call.vertexStride + VertexBytesOf(call.fvf);
    draw.vertexOffset = vertexBytes_.size();
    vertexBytes_.insert(vertexBytes_.end(), from, from + bytes);
    draw.call.vertexCount = static_cast<UINT>(last - first + 1);
    draw.call.vertices = nullptr;  // set at the flush, when the copies no longer move
    draw.call.indices = nullptr;

    written_.insert(state.target.bits);
    if (state.depth.bits != nullptr) written_.insert(state.depth.bits);
    for (const SurfaceView& texture : state.textures)
        if (texture.bits != nullptr) sampled_.insert(texture.bits);
    for (int i = 0; i < keepCount; ++i)
        if (keep[i] != nullptr) {
            keep[i]->AddInternal();
            held_.push_back(keep[i]);
        }
    draws_.push_back(draw);
    return D3D_OK;
}

bool RasterQueue::MustWaitFor(const DrawState& state) const {
    if (draws_.empty()) return false;
    for (const SurfaceView& texture : state.textures)
        if (texture.bits != nullptr && written_.count(texture.bits) != 0) return true;
    return sampled_.count(state.target.bits) != 0 || (state.depth.bits != nullptr && sampled_.count(state.depth.bits) != 0);
}

void RasterQueue::Flush(int threads) {
    if (draws_.empty()) return;
    int rows = 0;
    for (QueuedDraw& draw : draws_) {
        draw.call.vertices = vertexBytes_.data() + draw.vertexOffset;
        draw.call.indices = draw.call.indexCount != 0 ? indices_.data() + draw.indexOffset : nullptr;
        rows = std::max(rows, draw.pipeline.targetView.height);
    }
    const int bands = BandCount(threads, rows, pixels_);
    if (sorted_.size() < draws_.size()) sorted_.resize(draws_.size());
    for (std::size_t i = 0; i < draws_.size(); ++i) SortIntoBands(draws_[i].call, draws_[i].pipeline, draws_[i].settings.cullMode, bands, threads, &sorted_[i]);
    RasterThreads::Get().Run(bands, threads,
                             [](void* context, int band, int count) {
                                 const auto& queue = *static_cast<const RasterQueue*>(context);
                                 for (std::size_t i = 0; i < queue.draws_.size(); ++i) {
                                     const QueuedDraw& draw = queue.draws_[i];
                                     DrawPreparedBand(draw.call, draw.settings, draw.pipeline, band, count, queue.sorted_[i]);
                                 }
                             },
                             this);
    Drop();
}

void RasterQueue::Drop() {
    draws_.clear();
    vertexBytes_.clear();
    indices_.clear();
    written_.clear();
    sampled_.clear();
    pixels_ = 0;
    ReleaseReferences();
}

void RasterQueue::ReleaseReferences() {
    // A release may delete an object; nothing of the queue is read after this.
    std::vector<RefCounted*> held;
    held.swap(held_);
    for (RefCounted* object : held) object->ReleaseInternal();
    held.clear();
    held.swap(held_);  // keep the storage for the next frame
}

}  // namespace d3d9sw
