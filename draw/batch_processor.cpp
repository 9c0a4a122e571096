#include "draw/batch_processor.h"

#include <algorithm>

#include "core/exception.h"
#include "core/format_helpers.h"
#include "core/lumiscriber.h"
#include "core/viewport.h"
#include "draw/d3d_buffers.h"
#include "draw/d3d_texture.h"

#if LUMI_LEGACY
#include "legacy/clip_scale.h"
#endif

namespace {

constexpr float kDepthStepDeep = 1.0f / 4194304.0f;  // 2^-22
constexpr std::int32_t kQuadVertices = 4;
constexpr std::int32_t kQuadIndices = 6;
constexpr std::int32_t kIndicesPerRange = kMaxVerticesPerDraw / kQuadVertices * kQuadIndices;

}  // namespace

clip_space_t ClipSpaceOf(const viewport_t* viewport) {
#if LUMI_LEGACY
    // One scale for the process, that of the target drawn into; the viewport is only the draw.
    (void)viewport;
    return clip_space_t{1.0f, g_ClipScaleX, g_ClipScaleY};
#else
    return clip_space_t{viewport->scale, viewport->twoOverWidth, viewport->twoOverHeight};
#endif
}

float DepthStepFor(D3DFORMAT depthFormat) { return GetDepthBits(depthFormat) > 16 ? kDepthStepDeep : kDepthStep16; }

float DepthOfSequence(std::uint32_t sequence, float step) {
    const float depth = 1.0f - static_cast<float>(sequence) * step;
    return depth > 0.0f ? depth : 0.0f;
}

IDirect3DTexture9* VideoCopyOf(CD3DTexture* texture) {
    if (texture == nullptr) return nullptr;
    if (texture->GetD3DTexture() == nullptr && texture->EnsureVideoTexture()) texture->UploadDirtyRect();
    return texture->GetD3DTexture();
}

std::uint32_t UploadSpans(CD3DBuffer* buffer, std::uint32_t total, const std::vector<upload_span_t>& spans) {
    const std::uint32_t start = buffer->BeginAppend(total);
    try {
        for (const upload_span_t& span : spans) {
            if (span.bytes != 0) buffer->Write(span.data, span.bytes);
        }
    } catch (...) {
        buffer->Unlock();
        throw;
    }
    buffer->Unlock();
    return start;
}

// ---- CDrawCmdBatchProcessor ------------------------------------------------------------------

std::uint32_t CDrawCmdBatchProcessor::UploadBatches(CD3DBuffer* buffer, std::uint32_t total, bool vertices,
                                                    const std::vector<const batch_arrays_t*>& batches) const {
    std::vector<upload_span_t> spans;
    spans.reserve(batches.size());
    for (const batch_arrays_t* arrays : batches) {
        if (arrays->VertexCount() == 0) continue;
        if (vertices) {
            spans.push_back({arrays->Vertices(), static_cast<std::uint32_t>(arrays->VertexCount()) * vertexStride_});
        } else {
            spans.push_back({arrays->Indices(), static_cast<std::uint32_t>(arrays->IndexCount()) * indexSize_});
        }
    }
    return UploadSpans(buffer, total, spans);
}

CDrawCmdBatchProcessor::CDrawCmdBatchProcessor(CLumiscriber* renderer, std::uint32_t indexSize)
    : renderer_(renderer), indexSize_(indexSize) {}

CDrawCmdBatchProcessor::~CDrawCmdBatchProcessor() = default;

void CDrawCmdBatchProcessor::Reset() {
    drawCalls_ = 0;
    vertexBytes_ = 0;
    indexBytes_ = 0;
}

IDirect3DDevice9* CDrawCmdBatchProcessor::Device() const {
    return renderer_ != nullptr ? renderer_->GetDevice() : nullptr;
}

float CDrawCmdBatchProcessor::DepthStep() const {
    return renderer_ != nullptr ? renderer_->GetDepthStep() : kDepthStep16;
}

float CDrawCmdBatchProcessor::Depth(std::uint32_t sequence) const { return DepthOfSequence(sequence, DepthStep()); }

float CDrawCmdBatchProcessor::DepthJustBehind(std::uint32_t sequence) const {
    const float step = DepthStep();
    return std::min(DepthOfSequence(sequence, step) + step * 0.5f, 1.0f);
}

void CDrawCmdBatchProcessor::SetRenderStateIfChanged(D3DRENDERSTATETYPE state, DWORD value) const {
    IDirect3DDevice9* device = Device();
    DWORD current = 0;
    if (FAILED(device->GetRenderState(state, &current)) || current != value) device->SetRenderState(state, value);
}

void CDrawCmdBatchProcessor::SetStageStateIfChanged(D3DTEXTURESTAGESTATETYPE type, DWORD value) const {
    IDirect3DDevice9* device = Device();
    DWORD current = 0;
    if (FAILED(device->GetTextureStageState(0, type, &current)) || current != value) {
        device->SetTextureStageState(0, type, value);
    }
}

void CDrawCmdBatchProcessor::SetSamplerStateIfChanged(D3DSAMPLERSTATETYPE type, DWORD value) const {
    IDirect3DDevice9* device = Device();
    DWORD current = 0;
    if (FAILED(device->GetSamplerState(0, type, &current)) || current != value) device->SetSamplerState(0, type, value);
}

void CDrawCmdBatchProcessor::SetPixelShaderIfChanged(IDirect3DPixelShader9* shader) const {
    IDirect3DDevice9* device = Device();
    IDirect3DPixelShader9* current = nullptr;
    const bool read = SUCCEEDED(device->GetPixelShader(&current));
    if (current != nullptr) current->Release();  // the read adds a reference
    if (!read || current != shader) device->SetPixelShader(shader);
}

void CDrawCmdBatchProcessor::ApplyOpaqueStates(const STRU_DRAW_PRIMITIVE& record) const {
    // An alpha batch drawn before (grey mode) may have left its pixel shader bound, which
    // would override the stage operations below.
    SetPixelShaderIfChanged(record.pixelShader);
    SetRenderStateIfChanged(D3DRS_ZENABLE, D3DZB_TRUE);
    SetRenderStateIfChanged(D3DRS_ALPHABLENDENABLE, FALSE);
    SetStageStateIfChanged(D3DTSS_COLOROP, record.colorOp);
    SetStageStateIfChanged(D3DTSS_ALPHAOP, record.alphaOp);
    SetRenderStateIfChanged(D3DRS_CULLMODE, record.cullMode);
}

void CDrawCmdBatchProcessor::CountDrawCall() {
    ++drawCalls_;
    if (renderer_ != nullptr) renderer_->AddBatch();
}

void CDrawCmdBatchProcessor::DrawQuadRanges(const STRU_DRAW_PRIMITIVE& record, const batch_arrays_t& arrays,
                                            CD3DVertexBuffer* vertexBuffer, std::uint32_t vertexStart,
                                            std::uint32_t indexStart) {
    IDirect3DDevice9* device = Device();
    const std::int32_t total = arrays.VertexCount();
    for (std::int32_t first = 0, range = 0; first < total; first += kMaxVerticesPerDraw, ++range) {
        const std::int32_t vertices = std::min(kMaxVerticesPerDraw, total - first);
        const std::uint32_t offset = vertexStart + static_cast<std::uint32_t>(first) * vertexStride_;
        device->SetStreamSource(0, vertexBuffer->GetBuffer(), offset, vertexStride_);
        device->DrawIndexedPrimitive(record.primitiveType, 0, 0, static_cast<UINT>(vertices),
                                     indexStart / 2 + static_cast<UINT>(range * kIndicesPerRange),
                                     static_cast<UINT>(vertices / kQuadVertices * 2));
        CountDrawCall();
    }
}

// ---- batch_arrays_t ----------------------------------------------------------------------------

template <class T>
T* batch_arrays_t::Room(grow_array_t<T>& array, std::int32_t initial, std::int32_t used, std::int32_t more) {
    const std::int32_t need = used + more;
    if (array.elements == nullptr) {
        try {
            array.Init(std::max(initial, need));
        } catch (const std::bad_alloc&) {
            throw lumi::Exception("out of memory");
        }
    } else if (need > array.capacity) {
        array.Reserve(std::max(need, array.capacity * 2));
    }
    return array.Element(used);
}

vertex_t* batch_arrays_t::AddVertices(std::int32_t count) {
    vertex_t* room = Room(vertices_, initialVertices_, vertexCount_, count);
    vertexCount_ += count;
    return room;
}

std::uint16_t* batch_arrays_t::AddIndices(std::int32_t count) {
    std::uint16_t* room = Room(indices_, initialIndices_, indexCount_, count);
    indexCount_ += count;
    return room;
}

vertex_t* batch_arrays_t::AddQuadGrowing() {
    Room(indices_, initialIndices_, indexCount_, 6);
    Room(vertices_, initialVertices_, vertexCount_, 4);
    return AddQuad();
}

// ---- CNoAlphaBlendDrawCmdBatchProcessor -------------------------------------------------------

CNoAlphaBlendDrawCmdBatchProcessor::CNoAlphaBlendDrawCmdBatchProcessor(CLumiscriber* renderer,
                                                                       std::uint32_t indexSize,
                                                                       D3DPRIMITIVETYPE type, DWORD colorOp,
                                                                       DWORD cullMode, std::int32_t initialVertices,
                                                                       std::int32_t initialIndices)
    : CDrawCmdBatchProcessor(renderer, indexSize), arrays_(initialVertices, initialIndices) {
    template_.primitiveType = type;
    template_.colorOp = colorOp;
    template_.alphaOp = colorOp;
    template_.cullMode = cullMode;
}

void CNoAlphaBlendDrawCmdBatchProcessor::Reset() {
    CDrawCmdBatchProcessor::Reset();
    template_.primitiveCount = 0;
    template_.vertexCount = 0;
    arrays_.Clear();
}

void CNoAlphaBlendDrawCmdBatchProcessor::CountCommand(std::uint32_t vertices, std::uint32_t indices,
                                                      std::uint32_t primitives) {
    template_.primitiveCount += primitives;
    template_.vertexCount += vertices;
    vertexBytes_ += vertices * vertexStride_;
    indexBytes_ += indices * indexSize_;
}

void CNoAlphaBlendDrawCmdBatchProcessor::Flush(std::uint32_t, CD3DVertexBuffer* vertexBuffer,
                                               CD3DIndexBuffer* indexBuffer, viewport_t*) {
    drawCalls_ = 0;
    if (template_.primitiveCount == 0) return;
    IDirect3DDevice9* device = Device();
    if (device == nullptr) return;
    const bool indexed = indexSize_ != 0;
    const std::uint32_t vertexStart =
        vertexBuffer->Append(arrays_.Vertices(), static_cast<std::uint32_t>(arrays_.VertexCount()) * vertexStride_);
    const std::uint32_t indexStart =
        indexed ? indexBuffer->Append(arrays_.Indices(), static_cast<std::uint32_t>(arrays_.IndexCount()) * indexSize_)
                : 0;
    device->SetIndices(indexed ? indexBuffer->GetBuffer() : nullptr);
    if (!indexed) device->SetStreamSource(0, vertexBuffer->GetBuffer(), vertexStart, vertexStride_);
    device->SetFVF(kVertexFvf);
    ApplyOpaqueStates(template_);
    if (unbindsTexture_) device->SetTexture(0, nullptr);
    if (indexed) {
        DrawQuadRanges(template_, arrays_, vertexBuffer, vertexStart, indexStart);
        return;
    }
    device->DrawPrimitive(template_.primitiveType, 0, template_.primitiveCount);
    CountDrawCall();
}
