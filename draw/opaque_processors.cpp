#include "draw/opaque_processors.h"

#include <algorithm>

#include "core/exception.h"
#include "core/lumiscriber.h"
#include "core/render_target.h"
#include "core/viewport.h"
#include "draw/d3d_buffers.h"
#include "draw/d3d_texture.h"
#include "draw/draw_commands.h"
#include "draw/huge_texture.h"
#include "draw/tex_mgr.h"
#include "draw/texture_cell.h"

namespace {

constexpr std::int32_t kInitialVertices = 64;
constexpr std::int32_t kInitialIndices = 64;
constexpr std::int32_t kInitialTexVertices = 256;
constexpr std::int32_t kInitialTexIndices = 512;

void RefuseLinked(const STRU_DRAW_COMMAND_BASE* command) {
    // A command in a list belongs to something that may free it before the flush.
    if (command->node.linked != 0) throw lumi::Exception("invalid param");
}

}  // namespace

tex_cell_t* AtlasCellFor(CLumiscriber* renderer, const STRU_RECT_COMMAND& command, const viewport_t& viewport) {
    CTexMgr* manager = renderer != nullptr ? renderer->GetTexMgr() : nullptr;
    CD3DTexture* texture = command.texture;
    if (manager == nullptr || texture == nullptr || viewport.scale != 1.0f) return nullptr;
    const RECT& source = command.source;
    const RECT& destination = command.destination;
    const bool oneToOne = destination.right - destination.left == source.right - source.left &&
                          destination.bottom - destination.top == source.bottom - source.top;
    const bool inside = source.left >= 0 && source.top >= 0 && source.right <= texture->GetWidth() &&
                        source.bottom <= texture->GetHeight();
    if (!oneToOne || !inside) return nullptr;
    // A cell in use and up to date is what nearly every sprite finds: taken without the
    // manager's lookup, whose other cases place or refresh the cell.
    tex_cell_t* cell = texture->GetCell();
    if (cell != nullptr && cell->free == 0 && cell->stale == 0 && !renderer->IsDeviceLost()) return cell;
    return manager->GetTextureCell(texture);
}

bool PrepareOwnCopy(CD3DTexture* texture) {
    if (!texture->EnsureVideoTexture()) return false;
    texture->UploadDirtyRect();
    texture->SetDrawnByItself(true);
    return true;
}

// ---- Points ------------------------------------------------------------------------------------

COpaquePointDrawCmdBatchProcessor::COpaquePointDrawCmdBatchProcessor(CLumiscriber* renderer)
    : CNoAlphaBlendDrawCmdBatchProcessor(renderer, 0, D3DPT_POINTLIST, D3DTOP_DISABLE, D3DCULL_CCW, kInitialVertices,
                                         0) {
    unbindsTexture_ = true;
}

bool COpaquePointDrawCmdBatchProcessor::AddCommand(STRU_DRAW_COMMAND_BASE* command, viewport_t* viewport) {
    auto* point = DrawCommandAs<STRU_POINT_COMMAND>(command);
    if (point == nullptr) return false;
    RefuseLinked(point);
    const vertex_writer_t writer{ClipSpaceOf(viewport), Depth(point->sequence), point->color};
    writer.Put(arrays_.AddVertices(1), static_cast<float>(point->x), static_cast<float>(point->y));
    CountCommand(1, 0, 1);
    return true;
}

// ---- Lines -------------------------------------------------------------------------------------

COpaqueLineDrawCmdBatchProcessor::COpaqueLineDrawCmdBatchProcessor(CLumiscriber* renderer)
    : CNoAlphaBlendDrawCmdBatchProcessor(renderer, 0, D3DPT_LINELIST, D3DTOP_DISABLE, D3DCULL_CCW, kInitialVertices,
                                         0) {}

bool COpaqueLineDrawCmdBatchProcessor::AddCommand(STRU_DRAW_COMMAND_BASE* command, viewport_t* viewport) {
    if (command == nullptr || IsScratchCommand(command)) return false;
    STRU_LINE_SEGMENT edges[4];
    const STRU_LINE_SEGMENT* segments = edges;
    std::uint32_t count = 0;
    if (auto* line = DrawCommandAs<STRU_LINE_COMMAND>(command)) {
        segments = line->segments;
        if (segments != nullptr) count = std::min(line->segmentCount, line->segmentCapacity);
    } else if (auto* triangle = DrawCommandAs<STRU_TRI_COMMAND>(command)) {
        const STRU_TRI_COMMAND& t = *triangle;
        edges[0] = {t.x1, t.y1, t.x2, t.y2};
        edges[1] = {t.x3, t.y3, t.x1, t.y1};
        edges[2] = {t.x2, t.y2, t.x3, t.y3};
        count = 3;
    } else if (command->type == kDrawCmdRect) {
        const RECT& r = static_cast<STRU_RECT_COMMAND*>(command)->destination;
        edges[0] = {r.left, r.top, r.right, r.top};
        edges[1] = {r.right, r.top, r.right, r.bottom};
        edges[2] = {r.right, r.bottom, r.left, r.bottom};
        edges[3] = {r.left, r.bottom, r.left, r.top};
        count = 4;
    } else {
        return false;
    }
    RefuseLinked(command);
    if (count == 0) return true;
    const vertex_writer_t writer{ClipSpaceOf(viewport), Depth(command->sequence), command->color};
    vertex_t* vertex = arrays_.AddVertices(static_cast<std::int32_t>(count * 2));
    for (std::uint32_t i = 0; i < count; ++i, vertex += 2) {
        writer.Put(vertex, static_cast<float>(segments[i].x1), static_cast<float>(segments[i].y1));
        writer.Put(vertex + 1, static_cast<float>(segments[i].x2), static_cast<float>(segments[i].y2));
    }
    CountCommand(count * 2, 0, count);
    return true;
}

// ---- Filled triangles --------------------------------------------------------------------------

COpaqueTriangleDrawCmdBatchProcessor::COpaqueTriangleDrawCmdBatchProcessor(CLumiscriber* renderer)
    : CNoAlphaBlendDrawCmdBatchProcessor(renderer, 0, D3DPT_TRIANGLELIST, D3DTOP_DISABLE, D3DCULL_NONE,
                                         kInitialVertices, 0) {}

bool COpaqueTriangleDrawCmdBatchProcessor::AddCommand(STRU_DRAW_COMMAND_BASE* command, viewport_t* viewport) {
    auto* triangle = DrawCommandAs<STRU_TRI_COMMAND>(command);
    if (triangle == nullptr) return false;
    RefuseLinked(triangle);
    const vertex_writer_t writer{ClipSpaceOf(viewport), Depth(triangle->sequence), triangle->color};
    vertex_t* vertex = arrays_.AddVertices(3);
    writer.Put(vertex + 0, static_cast<float>(triangle->x1), static_cast<float>(triangle->y1));
    writer.Put(vertex + 1, static_cast<float>(triangle->x2), static_cast<float>(triangle->y2));
    writer.Put(vertex + 2, static_cast<float>(triangle->x3), static_cast<float>(triangle->y3));
    CountCommand(3, 0, 1);
    return true;
}

// ---- Filled rectangles -------------------------------------------------------------------------

COpaqueRectDrawCmdBatchProcessor::COpaqueRectDrawCmdBatchProcessor(CLumiscriber* renderer)
    : CNoAlphaBlendDrawCmdBatchProcessor(renderer, 2, D3DPT_TRIANGLELIST, D3DTOP_DISABLE, D3DCULL_CCW,
                                         kInitialVertices, kInitialIndices) {}

bool COpaqueRectDrawCmdBatchProcessor::AddCommand(STRU_DRAW_COMMAND_BASE* command, viewport_t* viewport) {
    auto* rect = DrawCommandAs<STRU_RECT_COMMAND>(command);
    if (rect == nullptr || rect->type != kDrawCmdRect) return false;
    const vertex_writer_t writer{ClipSpaceOf(viewport), Depth(rect->sequence), rect->color};
    writer.PutQuad(arrays_.AddQuad(), rect->destination);
    CountCommand(4, 6, 2);
    return true;
}

// ---- Textured rectangles -----------------------------------------------------------------------

struct COpaqueTexDrawCmdBatchProcessor::tex_batch_t {
    STRU_DRAW_PRIMITIVE* record;  // from its pool; texture = the key
    batch_arrays_t arrays{kInitialTexVertices, kInitialTexIndices};
    std::int32_t idleResets = 0;  // resets in a row that found the batch empty
};

COpaqueTexDrawCmdBatchProcessor::COpaqueTexDrawCmdBatchProcessor(CLumiscriber* renderer)
    : CNoAlphaBlendDrawCmdBatchProcessor(renderer, 2, D3DPT_TRIANGLELIST, D3DTOP_SELECTARG1, D3DCULL_CCW, 0, 0) {}

COpaqueTexDrawCmdBatchProcessor::~COpaqueTexDrawCmdBatchProcessor() {
    for (auto& entry : batches_) DeleteBatch(entry.second);
    batches_.clear();
}

void COpaqueTexDrawCmdBatchProcessor::DeleteBatch(tex_batch_t* batch) {
    delete batch->record;
    delete batch;
}

COpaqueTexDrawCmdBatchProcessor::tex_batch_t* COpaqueTexDrawCmdBatchProcessor::FindOrCreateBatch(
    CD3DTexture* texture) {
    if (texture == lastTexture_) return lastBatch_;
    auto it = batches_.find(texture);
    if (it != batches_.end()) {
        lastTexture_ = texture;
        lastBatch_ = it->second;
        return lastBatch_;
    }
    auto* record = new STRU_DRAW_PRIMITIVE(template_);
    record->texture = texture;
    tex_batch_t* batch = nullptr;
    try {
        batch = new tex_batch_t{record};
        batches_.emplace(texture, batch);
    } catch (...) {
        delete batch;
        delete record;
        throw;
    }
    lastTexture_ = texture;
    lastBatch_ = batch;
    return batch;
}

bool COpaqueTexDrawCmdBatchProcessor::AddCommand(STRU_DRAW_COMMAND_BASE* command, viewport_t* viewport) {
    auto* rect = DrawCommandAs<STRU_RECT_COMMAND>(command);
    if (rect == nullptr || rect->type != kDrawCmdTexturedRect || rect->texture == nullptr) return false;
    RECT source = rect->source;
    CD3DTexture* bound = rect->texture;
    tex_cell_t* cell = AtlasCellFor(renderer_, *rect, *viewport);
    if (cell != nullptr) {
        source.left += cell->rect.left;
        source.right += cell->rect.left;
        source.top += cell->rect.top;
        source.bottom += cell->rect.top;
        bound = cell->page;
    } else if (!PrepareOwnCopy(bound)) {
        return false;
    }
    tex_batch_t* batch = FindOrCreateBatch(bound);
    const vertex_writer_t writer{ClipSpaceOf(viewport), Depth(rect->sequence), rect->color};
    // After the calls: the coordinates go from registers into the vertices.
    float uv[4];
    SourceTextureCoordinates(source, bound->GetWidth(), bound->GetHeight(), uv);
    writer.PutQuad(batch->arrays.AddQuad(), rect->destination, uv);
    batch->record->primitiveCount += 2;
    batch->record->vertexCount += 4;
    vertexBytes_ += 4 * vertexStride_;
    indexBytes_ += 6 * indexSize_;
    return true;
}

void COpaqueTexDrawCmdBatchProcessor::Flush(std::uint32_t, CD3DVertexBuffer* vertexBuffer,
                                            CD3DIndexBuffer* indexBuffer, viewport_t* viewport) {
    drawCalls_ = 0;
    IDirect3DDevice9* device = Device();
    if (device == nullptr) return;
    if (CRenderTarget* target = viewport != nullptr ? viewport->target : nullptr) {
        if (target->GetMagFilter() != -1)
            SetSamplerStateIfChanged(D3DSAMP_MAGFILTER, static_cast<DWORD>(target->GetMagFilter()));
        if (target->GetMinFilter() != -1)
            SetSamplerStateIfChanged(D3DSAMP_MINFILTER, static_cast<DWORD>(target->GetMinFilter()));
    }

    std::uint32_t vertexTotal = 0;
    std::uint32_t indexTotal = 0;
    for (const auto& entry : batches_) {
        vertexTotal += static_cast<std::uint32_t>(entry.second->arrays.VertexCount()) * vertexStride_;
        indexTotal += static_cast<std::uint32_t>(entry.second->arrays.IndexCount()) * indexSize_;
    }
    if (vertexTotal == 0) return;

    // Every batch goes up in one lock per buffer; each is then drawn from its own offset.
    std::vector<const batch_arrays_t*> batches;
    for (const auto& entry : batches_) batches.push_back(&entry.second->arrays);
    std::uint32_t vertexStart = UploadBatches(vertexBuffer, vertexTotal, true, batches);
    std::uint32_t indexStart = UploadBatches(indexBuffer, indexTotal, false, batches);

    device->SetIndices(indexBuffer->GetBuffer());
    device->SetFVF(kVertexFvf);
    for (const auto& entry : batches_) {
        const tex_batch_t& batch = *entry.second;
        if (batch.arrays.VertexCount() == 0) continue;
        ApplyOpaqueStates(*batch.record);
        device->SetTexture(0, VideoCopyOf(entry.first));
        DrawQuadRanges(*batch.record, batch.arrays, vertexBuffer, vertexStart, indexStart);
        vertexStart += static_cast<std::uint32_t>(batch.arrays.VertexCount()) * vertexStride_;
        indexStart += static_cast<std::uint32_t>(batch.arrays.IndexCount()) * indexSize_;
    }
}

void COpaqueTexDrawCmdBatchProcessor::Reset() {
    CNoAlphaBlendDrawCmdBatchProcessor::Reset();
    lastTexture_ = nullptr;
    lastBatch_ = nullptr;
    for (auto it = batches_.begin(); it != batches_.end();) {
        tex_batch_t* batch = it->second;
        if (batch->arrays.VertexCount() != 0) {
            batch->idleResets = 0;
        } else if (++batch->idleResets >= kIdleResetsBeforeDrop) {
            DeleteBatch(batch);
            it = batches_.erase(it);
            continue;
        }
        batch->arrays.Clear();
        batch->record->primitiveCount = 0;
        batch->record->vertexCount = 0;
        ++it;
    }
}
