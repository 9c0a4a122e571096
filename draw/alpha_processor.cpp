#include "draw/alpha_processor.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "core/frame_clock.h"
#include "core/lumiscriber.h"
#include "core/viewport.h"
#include "draw/d3d_buffers.h"
#include "draw/d3d_texture.h"
#include "draw/draw_commands.h"
#include "draw/huge_texture.h"
#include "draw/opaque_processors.h"
#include "draw/texture_cell.h"

namespace {

constexpr std::int32_t kColorOpFlagsMask = 0x0FFFF000;
constexpr DWORD kNoColorOp = 0;  // a record's colour operation that leaves the device's
constexpr D3DCOLOR kSubtractedGrey = 0x606060;
constexpr float kPointSpriteMaxSize = 100.0f;  // pixels

RECT Offset(const RECT& rect, LONG dx, LONG dy) {
    return RECT{rect.left + dx, rect.top + dy, rect.right + dx, rect.bottom + dy};
}

DWORD ColorOpOfFlags(std::int32_t flags) {
    switch (flags & kColorOpFlagsMask) {
        case kDrawFlagModulate: return D3DTOP_MODULATE;
        case kDrawFlagAdd: return D3DTOP_ADD;
        case kDrawFlagSubtract: return D3DTOP_SUBTRACT;
        case kDrawFlagAddSigned: return D3DTOP_ADDSIGNED;
        case kDrawFlagAddSmooth: return D3DTOP_ADDSMOOTH;
        default: return D3DTOP_SELECTARG1;  // grey too: the shader, when there is one, does the rest
    }
}

PrimitiveData* NodeAt(lru_obj_s* node) { return PrimitiveData::FromNode(node); }

}  // namespace

// ---- PrimitiveData ---------------------------------------------------------------------------

PrimitiveData::PrimitiveData() : record(new STRU_DRAW_PRIMITIVE()) {}

PrimitiveData::~PrimitiveData() { delete record; }

vertex_t* PrimitiveData::AddTriangle() {
    // Triangle nodes stop taking commands near 1,024 vertices, far from the 16-bit limit.
    const auto first = static_cast<std::uint16_t>(arrays.VertexCount());
    std::uint16_t* index = arrays.AddIndices(3);
    vertex_t* triangle = arrays.AddVertices(3);
    index[0] = first;
    index[1] = static_cast<std::uint16_t>(first + 1);
    index[2] = static_cast<std::uint16_t>(first + 2);
    record->primitiveCount += 1;
    record->vertexCount += 3;
    record->verticesWritten += 3;
    record->indicesWritten += 3;
    return triangle;
}

void PrimitiveData::ClearBatch() {
    alpha_rules_t::ForgetPreparedBatch(*this);
    arrays.Clear();
    record->primitiveCount = 0;
    record->vertexCount = 0;
    record->verticesWritten = 0;
    record->indicesWritten = 0;
}

// ---- CAlphaBlendDrawCmdBatchProcessor ----------------------------------------------------------

CAlphaBlendDrawCmdBatchProcessor::CAlphaBlendDrawCmdBatchProcessor(CLumiscriber* renderer)
    : CDrawCmdBatchProcessor(renderer, sizeof(std::uint16_t)) {}

CAlphaBlendDrawCmdBatchProcessor::~CAlphaBlendDrawCmdBatchProcessor() {
    while (!active_.Empty()) free_.PushBack(lru_obj_s::Next(&active_));
    while (!free_.Empty()) {
        PrimitiveData* node = NodeAt(lru_obj_s::Next(&free_));
        node->Unlink();
        delete node;
    }
}

PrimitiveData* CAlphaBlendDrawCmdBatchProcessor::LastActiveNode() {
    return active_.Empty() ? nullptr : NodeAt(active_.prev);
}

PrimitiveData* CAlphaBlendDrawCmdBatchProcessor::TakeNode() {
    PrimitiveData* node = nullptr;
    if (!free_.Empty()) {
        node = NodeAt(free_.prev);  // the newest: its arrays are the likeliest to be warm
        node->Unlink();
    } else {
        node = new PrimitiveData();
    }
    node->firstCommand = nullptr;
    node->firstType = -1;
    node->texture = nullptr;
    *node->record = STRU_DRAW_PRIMITIVE();
    node->ClearBatch();
    active_.PushBack(node);
    return node;
}

PrimitiveData* CAlphaBlendDrawCmdBatchProcessor::NodeFor(STRU_DRAW_COMMAND_BASE* command, CD3DTexture* texture) {
    if (PrimitiveData* last = LastActiveNode()) {
        if (alpha_rules_t::HasRoomFor(*last, command->type) && last->firstCommand != nullptr &&
            last->firstType == command->type && last->firstFlags == command->flags && last->texture == texture) {
            return last;
        }
    }
    PrimitiveData* node = TakeNode();
    node->firstCommand = command;
    node->firstType = command->type;
    node->firstFlags = command->flags;
    node->texture = texture;
    SetCommandStates(*node, *command);
    return node;
}

void CAlphaBlendDrawCmdBatchProcessor::SetCommandStates(PrimitiveData& node,
                                                        const STRU_DRAW_COMMAND_BASE& command) const {
    STRU_DRAW_PRIMITIVE& record = *node.record;
    record = STRU_DRAW_PRIMITIVE();
    record.magFilter = D3DTEXF_LINEAR;
    record.minFilter = D3DTEXF_LINEAR;
    record.thirdFilter = 0;
    record.cullMode = D3DCULL_CCW;
    record.sourceBlend = D3DBLEND_SRCALPHA;
    record.destinationBlend = D3DBLEND_INVSRCALPHA;
    record.blendOp = D3DBLENDOP_ADD;
    record.pixelShader = nullptr;
    record.texture = node.texture;
    record.primitiveType = D3DPT_TRIANGLELIST;
    switch (command.type) {
        case kDrawCmdTriangle:
            record.colorOp = D3DTOP_DISABLE;
            record.alphaOp = D3DTOP_DISABLE;
            record.cullMode = D3DCULL_NONE;
            break;
        case kDrawCmdRect:
            record.colorOp = D3DTOP_DISABLE;
            record.alphaOp = D3DTOP_DISABLE;
            break;
        case kDrawCmdTexturedRect:
            record.alphaOp = D3DTOP_MODULATE;
            if (command.texture != nullptr && command.texture->IsNotPackable()) {
                // A mask: the command's colour through the texture's alpha.
                record.colorOp = D3DTOP_SELECTARG2;
            } else {
                record.colorOp = ColorOpOfFlags(command.flags);
                if ((command.flags & kColorOpFlagsMask) == kDrawFlagGrey) {
                    if (HasGreyShader()) record.pixelShader = renderer_->GetGreyPixelShader();
                    // Where grey falls back to a subtraction, the stage is left alone under the
                    // shader; without one it subtracts grey (VertexColorOf) from the texture.
                    if constexpr (alpha_rules_t::kGreySubtractsWithoutShader)
                        record.colorOp = HasGreyShader() ? kNoColorOp : D3DTOP_SUBTRACT;
                }
            }
            break;
        case kDrawCmdText:
            record.colorOp = D3DTOP_SELECTARG2;
            record.alphaOp = D3DTOP_MODULATE;
            break;
        default: break;
    }
}

bool CAlphaBlendDrawCmdBatchProcessor::HasGreyShader() const {
    if (renderer_ == nullptr || !renderer_->HasPixelShader11()) return false;
    // With a fallback, a shader that could not be made counts as none.
    return !alpha_rules_t::kGreySubtractsWithoutShader || renderer_->GetGreyPixelShader() != nullptr;
}

D3DCOLOR CAlphaBlendDrawCmdBatchProcessor::VertexColorOf(const STRU_DRAW_COMMAND_BASE& command) const {
    if constexpr (alpha_rules_t::kGreySubtractsWithoutShader) {
        if ((command.flags & kColorOpFlagsMask) == kDrawFlagGrey && !HasGreyShader())
            return (command.color & 0xFF000000u) | kSubtractedGrey;
    }
    return command.color;
}

void CAlphaBlendDrawCmdBatchProcessor::CountNode(const PrimitiveData& node, std::int32_t verticesBefore,
                                                 std::int32_t indicesBefore) {
    vertexBytes_ += static_cast<std::uint32_t>(node.arrays.VertexCount() - verticesBefore) * vertexStride_;
    indexBytes_ += static_cast<std::uint32_t>(node.arrays.IndexCount() - indicesBefore) * indexSize_;
}

bool CAlphaBlendDrawCmdBatchProcessor::AddCommand(STRU_DRAW_COMMAND_BASE* command, viewport_t* viewport) {
    if (command == nullptr || IsScratchCommand(command) || viewport == nullptr) return false;
    switch (command->type) {
        case kDrawCmdParticle: return AddParticles(command, viewport);
        case kDrawCmdText: return AddText(command, viewport);
        case kDrawCmdTriangle: {
            const auto& t = *static_cast<STRU_TRI_COMMAND*>(command);
            PrimitiveData* node = NodeFor(command, nullptr);
            const vertex_writer_t writer{ClipSpaceOf(viewport), Depth(t.sequence), t.color};
            vertex_t* vertex = node->AddTriangle();
            writer.Put(vertex + 0, static_cast<float>(t.x1), static_cast<float>(t.y1));
            writer.Put(vertex + 1, static_cast<float>(t.x2), static_cast<float>(t.y2));
            writer.Put(vertex + 2, static_cast<float>(t.x3), static_cast<float>(t.y3));
            vertexBytes_ += 3 * vertexStride_;
            indexBytes_ += 3 * indexSize_;
            return true;
        }
        case kDrawCmdRect: {
            const auto& r = *static_cast<STRU_RECT_COMMAND*>(command);
            PrimitiveData* node = NodeFor(command, nullptr);
            const vertex_writer_t writer{ClipSpaceOf(viewport), Depth(r.sequence), r.color};
            writer.PutQuad(node->AddQuad(), r.destination);
            vertexBytes_ += 4 * vertexStride_;
            indexBytes_ += 6 * indexSize_;
            return true;
        }
        case kDrawCmdTexturedRect: {
            auto& r = *static_cast<STRU_RECT_COMMAND*>(command);
            CD3DTexture* texture = r.texture;
            if (texture == nullptr) return false;
            RECT source = r.source;
            CD3DTexture* bound = texture;
            const bool cellable =
                (texture->GetUsageFlags() & CD3DTexture::kUsageRenderTarget) == 0 && !texture->IsNotPackable();
            tex_cell_t* cell = cellable ? AtlasCellFor(renderer_, r, *viewport) : nullptr;
            if (cell != nullptr) {
                // Drawn from the page from now on: the texture's own video memory can go,
                // unless a draw of this frame samples it.
                if (!texture->IsDrawnByItself()) texture->ReleaseVideoCopy();
                source = Offset(source, cell->rect.left, cell->rect.top);
                bound = cell->page;
            } else if (!PrepareOwnCopy(texture)) {
                return false;
            }
            PrimitiveData* node = NodeFor(command, bound);
            const vertex_writer_t writer{ClipSpaceOf(viewport), Depth(r.sequence), VertexColorOf(r)};
            // After the calls: the coordinates go from registers into the vertices.
            float uv[4];
            SourceTextureCoordinates(source, bound->GetWidth(), bound->GetHeight(), uv);
            writer.PutQuad(node->AddQuad(), r.destination, uv);
            vertexBytes_ += 4 * vertexStride_;
            indexBytes_ += 6 * indexSize_;
            return true;
        }
        default: return false;
    }
}

void CAlphaBlendDrawCmdBatchProcessor::ApplyNodeStates(const STRU_DRAW_PRIMITIVE& record) const {
    SetRenderStateIfChanged(D3DRS_CULLMODE, record.cullMode);
    SetRenderStateIfChanged(D3DRS_SRCBLEND, record.sourceBlend);
    SetRenderStateIfChanged(D3DRS_DESTBLEND, record.destinationBlend);
    SetRenderStateIfChanged(D3DRS_BLENDOP, record.blendOp);
    if (record.colorOp != kNoColorOp) SetStageStateIfChanged(D3DTSS_COLOROP, record.colorOp);
    SetStageStateIfChanged(D3DTSS_ALPHAOP, record.alphaOp);
}

void CAlphaBlendDrawCmdBatchProcessor::Flush(std::uint32_t, CD3DVertexBuffer* vertexBuffer,
                                             CD3DIndexBuffer* indexBuffer, viewport_t*) {
    drawCalls_ = 0;
    IDirect3DDevice9* device = Device();
    if (device == nullptr) return;
    // Every node goes up in one lock per buffer; each is then drawn from its own offset.
    std::uint32_t vertexTotal = 0;
    std::uint32_t indexTotal = 0;
    std::vector<upload_span_t> vertexSpans;
    std::vector<upload_span_t> indexSpans;
    for (lru_obj_s* entry = lru_obj_s::Next(&active_); entry != &active_; entry = lru_obj_s::Next(entry)) {
        const node_view_t view = alpha_rules_t::ViewOf(*NodeAt(entry));
        if (view.vertexCount == 0) continue;
        vertexSpans.push_back({view.vertices, view.VertexBytes()});
        indexSpans.push_back({view.indices, view.IndexBytes()});
        vertexTotal += view.VertexBytes();
        indexTotal += view.IndexBytes();
    }
    if (vertexTotal == 0) return;
    std::uint32_t vertexStart = UploadSpans(vertexBuffer, vertexTotal, vertexSpans);
    std::uint32_t indexStart = indexTotal != 0 ? UploadSpans(indexBuffer, indexTotal, indexSpans) : 0;

    SetRenderStateIfChanged(D3DRS_ZENABLE, D3DZB_TRUE);
    SetRenderStateIfChanged(D3DRS_ALPHABLENDENABLE, TRUE);
    SetRenderStateIfChanged(D3DRS_POINTSPRITEENABLE, FALSE);
    SetRenderStateIfChanged(D3DRS_POINTSCALEENABLE, FALSE);
    device->SetFVF(kVertexFvf);
    if (indexTotal != 0) device->SetIndices(indexBuffer->GetBuffer());
    bool pointSprites = false;  // the last node drawn was point sprites
    for (lru_obj_s* entry = lru_obj_s::Next(&active_); entry != &active_; entry = lru_obj_s::Next(entry)) {
        const PrimitiveData& node = *NodeAt(entry);
        const node_view_t view = alpha_rules_t::ViewOf(node);
        if (view.vertexCount == 0) continue;
        const STRU_DRAW_PRIMITIVE& record = *node.record;
        ApplyNodeStates(record);
        device->SetTexture(0, VideoCopyOf(record.texture));
        SetPixelShaderIfChanged(record.pixelShader);
        if (record.magFilter != -1) SetSamplerStateIfChanged(D3DSAMP_MAGFILTER, static_cast<DWORD>(record.magFilter));
        if (record.minFilter != -1) SetSamplerStateIfChanged(D3DSAMP_MINFILTER, static_cast<DWORD>(record.minFilter));
        // Point sprites (prepared batches, where the build has them) need their own vertex
        // format and states, and draw without indices.
        const bool sprites = alpha_rules_t::IsPointSprites(record, view);
        if (sprites != pointSprites) {
            SetPointSpriteStates(sprites);
            device->SetFVF(sprites ? kPointSpriteFvf : kVertexFvf);
            pointSprites = sprites;
        }
        if (sprites) {
            device->SetStreamSource(0, vertexBuffer->GetBuffer(), vertexStart, view.stride);
            device->DrawPrimitive(D3DPT_POINTLIST, 0, record.primitiveCount);
            CountDrawCall();
            vertexStart += view.VertexBytes();
            continue;
        }
        if (view.vertexCount <= static_cast<std::uint32_t>(kMaxVerticesPerDraw)) {
            device->SetStreamSource(0, vertexBuffer->GetBuffer(), vertexStart, view.stride);
            device->DrawIndexedPrimitive(record.primitiveType, 0, 0, view.vertexCount, indexStart / 2,
                                         record.primitiveCount);
            CountDrawCall();
        } else {
            // Only the node's own quads grow this far: particle beams and, in the legacy build,
            // long runs of like commands.
            DrawQuadRanges(record, node.arrays, vertexBuffer, vertexStart, indexStart);
        }
        vertexStart += view.VertexBytes();
        indexStart += view.IndexBytes();
    }
}

void CAlphaBlendDrawCmdBatchProcessor::SetPointSpriteStates(bool on) const {
    SetRenderStateIfChanged(D3DRS_POINTSPRITEENABLE, on ? TRUE : FALSE);
    SetRenderStateIfChanged(D3DRS_POINTSCALEENABLE, FALSE);
    if (!on) return;
    SetRenderStateIfChanged(D3DRS_POINTSIZE_MIN, std::bit_cast<DWORD>(0.0f));
    SetRenderStateIfChanged(D3DRS_POINTSIZE_MAX, std::bit_cast<DWORD>(kPointSpriteMaxSize));
    SetRenderStateIfChanged(D3DRS_POINTSCALE_A, std::bit_cast<DWORD>(0.0f));
    SetRenderStateIfChanged(D3DRS_POINTSCALE_B, std::bit_cast<DWORD>(0.0f));
    SetRenderStateIfChanged(D3DRS_POINTSCALE_C, std::bit_cast<DWORD>(0.0f));
}

void CAlphaBlendDrawCmdBatchProcessor::Reset() {
    CDrawCmdBatchProcessor::Reset();
    while (!active_.Empty()) {
        PrimitiveData* node = NodeAt(lru_obj_s::Next(&active_));
        // The commands and textures of the frame may go away once it is drawn.
        node->firstCommand = nullptr;
        node->texture = nullptr;
        node->record->texture = nullptr;
        node->record->pixelShader = nullptr;
        node->ClearBatch();
        node->frameStamp = g_FrameTimeMs;
        free_.PushBack(node);  // takes it off the active list
    }
    if (free_.Empty()) return;
    PrimitiveData* oldest = NodeAt(lru_obj_s::Next(&free_));
    if (g_FrameTimeMs - oldest->frameStamp > kNodeIdleMs) {
        oldest->Unlink();
        delete oldest;
    }
}
