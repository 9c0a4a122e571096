#include "platform/d3d9/raster_queue.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/d3d9/index_range.h"
#include "platform/d3d9/raster_threads.h"

namespace d3d9sw {
namespace {

std::uint64_t VerticesUsed(const DrawCall& call) {
    const unsigned perPrimitive = call.type == D3DPT_POINTLIST ? 1 : call.type == D3DPT_LINELIST ? 2 : 3;
    return static_cast<std::uint64_t>(call.primitiveCount) * perPrimitive;
}

}  // namespace

HRESULT RasterQueue::Add(const DrawState& state, const DrawCall& call, RefCounted* const* keep, int keepCount) {
    QueuedDraw draw{};
    draw.clear = -1;
    const HRESULT hr = PrepareDraw(state, call, &draw.pipeline, &draw.settings);
    if (FAILED(hr)) return hr;
    if (pixels_ < kPixelsForMostBands) pixels_ += EstimatedPixels(call, draw.pipeline.Viewport(), kPixelsForMostBands - pixels_);

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
    draw.depthFloor = draw.pipeline.depth.GetKind() != DepthBuffer::Kind::kNone && draw.pipeline.depth.Writes()
                          ? state.depthFloor
                          : nullptr;
    draw.replaces = call.type == D3DPT_TRIANGLELIST && draw.pipeline.ReplacesPixels();
    if (draw.depthFloor != nullptr) {
        DrawCall copied = draw.call;
        copied.vertices = vertexBytes_.data() + draw.vertexOffset;
        draw.depths = VertexDepths(copied, draw.pipeline);
    }
    draw.call.vertices = nullptr;  // set at the flush, when the copies no longer move
    draw.call.indices = nullptr;

    written_.insert(state.target.bits);
    if (state.depth.bits != nullptr) written_.insert(state.depth.bits);
    for (const SurfaceView& texture : state.textures)
        if (texture.bits != nullptr) sampled_.insert(texture.bits);
    HoldReferences(keep, keepCount);
    draws_.push_back(draw);
    return D3D_OK;
}

void RasterQueue::HoldReferences(RefCounted* const* keep, int keepCount) {
    for (int i = 0; i < keepCount; ++i)
        if (keep[i] != nullptr) {
            keep[i]->AddInternal();
            held_.push_back(keep[i]);
        }
}

void RasterQueue::AddClear(const Clear& clear, RefCounted* const* keep, int keepCount) {
    QueuedClear queued{clear, clearRects_.size(), false};
    queued.clear.rects = nullptr;  // into clearRects_, which may move
    for (int i = 0; i < clear.rectCount; ++i) {
        const RECT& r = clear.rects[i];
        clearRects_.push_back(r);
        if (pixels_ < kPixelsForMostBands) pixels_ += static_cast<double>(r.right - r.left) * (r.bottom - r.top);
        queued.wholeDepth |= r.left <= 0 && r.top <= 0 && r.right >= clear.depth.width && r.bottom >= clear.depth.height;
    }
    if (clear.target.bits != nullptr) written_.insert(clear.target.bits);
    if (clear.depth.bits != nullptr) written_.insert(clear.depth.bits);
    QueuedDraw item{};
    item.clear = static_cast<int>(clears_.size());
    clears_.push_back(queued);
    HoldReferences(keep, keepCount);
    draws_.push_back(item);
}

void RasterQueue::DrawClearBand(const QueuedClear& queued, int top, int bottom) const {
    const Clear& c = queued.clear;
    for (int i = 0; i < c.rectCount; ++i) {
        RECT r = clearRects_[queued.rectOffset + static_cast<std::size_t>(i)];
        r.top = std::max<LONG>(r.top, top);
        r.bottom = std::min<LONG>(r.bottom, bottom);
        if (r.top >= r.bottom) continue;
        if (c.target.bits != nullptr) ClearColor(c.target, r, c.color, c.avx2);
        if (c.clearDepth) ClearDepth(c.depth, r, c.z, c.avx2);
        if (c.clearStencil) ClearStencil(c.depth, r, c.stencil);
    }
}

bool RasterQueue::MustWaitFor(const DrawState& state) const {
    if (draws_.empty()) return false;
    for (const SurfaceView& texture : state.textures)
        if (texture.bits != nullptr && written_.count(texture.bits) != 0) return true;
    return sampled_.count(state.target.bits) != 0 || (state.depth.bits != nullptr && sampled_.count(state.depth.bits) != 0);
}

void RasterQueue::Flush(int threads, const BandWork* then) {
    if (draws_.empty() && then == nullptr) return;
    int rows = then != nullptr ? then->height : 0;
    for (QueuedDraw& draw : draws_) {
        if (draw.clear >= 0) {
            const Clear& clear = clears_[static_cast<std::size_t>(draw.clear)].clear;
            rows = std::max({rows, clear.target.height, clear.depth.height});
            continue;
        }
        draw.call.vertices = vertexBytes_.data() + draw.vertexOffset;
        draw.call.indices = draw.call.indexCount != 0 ? indices_.data() + draw.indexOffset : nullptr;
        rows = std::max(rows, draw.pipeline.targetView.height);
    }
    int bands;
    if (!draws_.empty()) {
        bands = BandCount(threads, rows, pixels_ + (then != nullptr ? static_cast<double>(then->pixels) : 0.0));
    } else if (rows == rows_ && threads == threads_) {
        bands = bands_;  // each thread copies the rows it drew last
    } else {
        bands = RasterThreads::CopyBandCount(threads, rows, then->pixels);
    }
    rows_ = rows;
    bands_ = bands;
    threads_ = threads;
    then_ = then;
    Sort(bands, rows, threads);
    PlanSteps();
    if (coarse_.size() < static_cast<std::size_t>(bands)) coarse_.resize(static_cast<std::size_t>(bands));
    RasterThreads::Get().Run(
        bands, threads, [](void* context, int band, int count) { static_cast<RasterQueue*>(context)->DrawBand(band, count); },
        this, RasterThreads::Next::kLater);
    then_ = nullptr;
    Drop();
}

void RasterQueue::Sort(int bands, int rows, int threads) {
    if (sorted_.size() < draws_.size()) sorted_.resize(draws_.size());
    sorts_.Clear();
    for (std::size_t i = 0; i < draws_.size(); ++i)
        if (draws_[i].clear < 0)
            sorts_.Add(draws_[i].call, draws_[i].pipeline, draws_[i].settings.cullMode, bands, rows, threads, &sorted_[i]);
    sorts_.Run(threads);
}

void RasterQueue::DrawBand(int band, int bands) {
    CoarseDepth& coarse = coarse_[static_cast<std::size_t>(band)];
    const int top = BandTop(band, bands, rows_), bottom = BandTop(band + 1, bands, rows_);
    for (const Step& step : steps_) {
        const QueuedDraw& draw = draws_[step.draw];
        if (draw.clear >= 0) {
            DrawClearBand(clears_[static_cast<std::size_t>(draw.clear)], top, bottom);
            continue;
        }
        const PixelPipeline& pipeline = draw.pipeline;
        if (step.runStart) {
            const SurfaceView& depth = pipeline.depth.View();
            coarse.Reset(top, bottom, std::min(pipeline.targetView.width, depth.width),
                         std::min(pipeline.targetView.height, depth.height),
                         static_cast<std::uint32_t>(pipeline.depth.MaxValue()));
        }
        DrawPreparedBand(draw.call, draw.settings, pipeline, band, bands, rows_, sorted_[step.draw], step.span,
                         step.inRun ? &coarse : nullptr);
    }
    if (then_ != nullptr) then_->rows(then_->context, top, bottom);
}

void RasterQueue::PlanSteps() {
    steps_.clear();
    const bool reverse = PixelPipeline::SpecialisedSpansEnabled();
    for (std::size_t i = 0; i < draws_.size();) {
        const QueuedDraw& draw = draws_[i];
        std::size_t end = i + 1;
        if (reverse && draw.replaces && draw.depthFloor != nullptr) {
            // One depth function: the tie rule of the later fragment decides a tie.
            while (end < draws_.size() && draws_[end].replaces && draws_[end].depthFloor == draw.depthFloor &&
                   draws_[end].pipeline.targetView.bits == draw.pipeline.targetView.bits &&
                   draws_[end].pipeline.depth.Func() == draw.pipeline.depth.Func())
                ++end;
            PlanRun(i, end);
        } else {
            steps_.push_back({static_cast<std::uint32_t>(i), {}});
        }
        for (; i < end; ++i) {
            const QueuedDraw& drawn = draws_[i];
            if (drawn.clear >= 0) {
                const QueuedClear& queued = clears_[static_cast<std::size_t>(drawn.clear)];
                if (queued.clear.clearDepth) {
                    const std::uint32_t value = DepthUnits(queued.clear.depth.format, queued.clear.z);
                    std::uint32_t& floor = *queued.clear.depthFloor;
                    floor = queued.wholeDepth ? value : std::min(floor, value);
                }
                continue;
            }
            if (drawn.depthFloor != nullptr && drawn.depths.low <= drawn.depths.high)
                *drawn.depthFloor = static_cast<std::uint32_t>(std::min<std::int64_t>(*drawn.depthFloor, drawn.depths.low));
        }
    }
}

void RasterQueue::PlanRun(std::size_t first, std::size_t end) {
    // highest_[k]: the highest depth of draws first + k .. end - 1 (-1: none).
    const std::size_t count = end - first;
    highest_.assign(count + 1, -1);
    for (std::size_t k = count; k-- > 0;) highest_[k] = std::max(highest_[k + 1], draws_[first + k].depths.high);
    std::int64_t floor = *draws_[first].depthFloor;
    const std::size_t start = steps_.size();
    auto step = [&](std::size_t draw, PrimitiveSpan span) {
        steps_.push_back({static_cast<std::uint32_t>(draw), span, true, steps_.size() == start});
    };
    auto split = [&](std::size_t at, std::uint32_t prim) {
        for (std::size_t k = first; k < at; ++k) step(k, {});
        if (prim != 0) step(at, {0, prim, false});
        for (std::size_t k = end; --k > at;) step(k, {0, 0xFFFFFFFFu, true});
        step(at, {prim, 0xFFFFFFFFu, true});
    };
    for (std::size_t d = first; d < end; ++d) {
        if (highest_[d - first] < floor) return split(d, 0);
        // Within the draw, primitive by primitive: the prefix that may tie draws in order.
        const QueuedDraw& draw = draws_[d];
        const BandedTriangles& sorted = sorted_[d];
        const UINT primitives = draw.call.primitiveCount;
        primitiveHighest_.assign(primitives + 1, highest_[d - first + 1]);
        primitiveLowest_.resize(primitives);
        for (UINT p = primitives; p-- > 0;) {
            const DepthBounds depths = PrimitiveDepths(draw.call, draw.pipeline, sorted, p);
            primitiveHighest_[p] = std::max(primitiveHighest_[p + 1], depths.high);
            primitiveLowest_[p] = depths.low <= depths.high ? depths.low : std::numeric_limits<std::int64_t>::max();
        }
        for (UINT p = 0; p < primitives; ++p) {
            if (primitiveHighest_[p] < floor) return split(d, p);
            floor = std::min(floor, primitiveLowest_[p]);
        }
    }
    for (std::size_t k = first; k < end; ++k) step(k, {});
}

void RasterQueue::Drop() {
    draws_.clear();
    clears_.clear();
    clearRects_.clear();
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
