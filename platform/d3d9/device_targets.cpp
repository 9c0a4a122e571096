// Render targets, the viewport, scenes, Clear and the draw calls.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/d3d9/control_state.h"
#include "platform/d3d9/device.h"
#include "platform/d3d9/format_rules.h"
#include "platform/d3d9/index_range.h"
#include "platform/d3d9/rasterizer.h"
#include "platform/win32/window.h"

namespace d3d9sw {
namespace {

constexpr DWORD kClearFlags = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL;

// Vertices (or indices) a draw of `count` primitives reads; 0 for an unknown type.
std::uint64_t ElementsFor(D3DPRIMITIVETYPE type, std::uint64_t count) {
    switch (type) {
    case D3DPT_POINTLIST: return count;
    case D3DPT_LINELIST: return count * 2;
    case D3DPT_LINESTRIP: return count + 1;
    case D3DPT_TRIANGLELIST: return count * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return count + 2;
    }
    return 0;
}

RECT Intersect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    if (r.left >= r.right || r.top >= r.bottom) r = RECT{0, 0, 0, 0};
    return r;
}

}  // namespace

void Device::ResetViewportToTarget() {
    Surface* target = renderTarget_.get();
    viewport_ = D3DVIEWPORT9{0, 0, target != nullptr ? target->Desc().Width : 0,
                             target != nullptr ? target->Desc().Height : 0, 0.0f, 1.0f};
}

HRESULT Device::SetRenderTarget(DWORD index, IDirect3DSurface9* renderTarget) {
    auto lock = LockApi();
    const ArgList args = Args(index, renderTarget);
    HRESULT hr;
    if (TakeScriptedFailure("SetRenderTarget", &hr)) return Logged("SetRenderTarget", args, hr);
    Surface* surface = Surface::From(renderTarget);
    if (index != 0 || surface == nullptr || surface->OwnerDevice() != this ||
        !(surface->Desc().Usage & D3DUSAGE_RENDERTARGET))
        return Logged("SetRenderTarget", args, D3DERR_INVALIDCALL);
    renderTarget_.Reset(surface);
    ResetViewportToTarget();  // as the platform does on every SetRenderTarget
    return Logged("SetRenderTarget", args, D3D_OK);
}

HRESULT Device::GetRenderTarget(DWORD index, IDirect3DSurface9** renderTarget) {
    auto lock = LockApi();
    HRESULT hr;
    if (renderTarget != nullptr) *renderTarget = nullptr;
    if (TakeScriptedFailure("GetRenderTarget", &hr)) return Logged("GetRenderTarget", Args(index), hr);
    if (renderTarget == nullptr || index != 0) return Logged("GetRenderTarget", Args(index), D3DERR_INVALIDCALL);
    if (!renderTarget_) return Logged("GetRenderTarget", Args(index), D3DERR_NOTFOUND);
    renderTarget_->AddPublic();
    *renderTarget = renderTarget_.get();
    return Logged("GetRenderTarget", Args(index), D3D_OK);
}

HRESULT Device::SetDepthStencilSurface(IDirect3DSurface9* depthStencil) {
    auto lock = LockApi();
    const ArgList args = Args(depthStencil);
    HRESULT hr;
    if (TakeScriptedFailure("SetDepthStencilSurface", &hr)) return Logged("SetDepthStencilSurface", args, hr);
    Surface* surface = Surface::From(depthStencil);
    if (depthStencil != nullptr &&
        (surface == nullptr || surface->OwnerDevice() != this || !(surface->Desc().Usage & D3DUSAGE_DEPTHSTENCIL)))
        return Logged("SetDepthStencilSurface", args, D3DERR_INVALIDCALL);
    depthStencil_.Reset(surface);
    return Logged("SetDepthStencilSurface", args, D3D_OK);
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface9** depthStencil) {
    auto lock = LockApi();
    HRESULT hr;
    if (depthStencil != nullptr) *depthStencil = nullptr;
    if (TakeScriptedFailure("GetDepthStencilSurface", &hr)) return Logged("GetDepthStencilSurface", "", hr);
    if (depthStencil == nullptr) return Logged("GetDepthStencilSurface", "", D3DERR_INVALIDCALL);
    if (!depthStencil_) return Logged("GetDepthStencilSurface", "", D3DERR_NOTFOUND);
    depthStencil_->AddPublic();
    *depthStencil = depthStencil_.get();
    return Logged("GetDepthStencilSurface", "", D3D_OK);
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* viewport) {
    auto lock = LockApi();
    if (viewport == nullptr) return Logged("SetViewport", "null", D3DERR_INVALIDCALL);
    const D3DVIEWPORT9& v = *viewport;
    const ArgList args = Args(v.X, v.Y, v.Width, v.Height, v.MinZ, v.MaxZ);
    HRESULT hr;
    if (TakeScriptedFailure("SetViewport", &hr)) return Logged("SetViewport", args, hr);
    const std::uint64_t targetWidth = renderTarget_ ? renderTarget_->Desc().Width : 0;
    const std::uint64_t targetHeight = renderTarget_ ? renderTarget_->Desc().Height : 0;
    if (v.Width == 0 || v.Height == 0 || std::uint64_t{v.X} + v.Width > targetWidth ||
        std::uint64_t{v.Y} + v.Height > targetHeight || !(v.MinZ >= 0.0f && v.MinZ <= 1.0f) ||
        !(v.MaxZ >= 0.0f && v.MaxZ <= 1.0f))
        return Logged("SetViewport", args, D3DERR_INVALIDCALL);
    viewport_ = v;
    return Logged("SetViewport", args, D3D_OK);
}

HRESULT Device::GetViewport(D3DVIEWPORT9* viewport) {
    auto lock = LockApi();
    if (viewport == nullptr) return D3DERR_INVALIDCALL;
    *viewport = viewport_;
    return D3D_OK;
}

HRESULT Device::BeginScene() {
    auto lock = LockApi();
    HRESULT hr;
    if (TakeScriptedFailure("BeginScene", &hr)) return Logged("BeginScene", "", hr);
    if (inScene_) return Logged("BeginScene", "", D3DERR_INVALIDCALL);
    inScene_ = true;
    return Logged("BeginScene", "", D3D_OK);
}

HRESULT Device::EndScene() {
    auto lock = LockApi();
    HRESULT hr;
    if (TakeScriptedFailure("EndScene", &hr)) return Logged("EndScene", "", hr);
    if (!inScene_) return Logged("EndScene", "", D3DERR_INVALIDCALL);
    inScene_ = false;
    return Logged("EndScene", "", Lost() ? D3DERR_DEVICELOST : D3D_OK);
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
    auto lock = LockApi();
    const ArgList args = Args(count, rects, flags, color, z, stencil);
    auto done = [&](HRESULT hr) { return Logged("Clear", args, hr); };
    HRESULT hr;
    if (TakeScriptedFailure("Clear", &hr)) return done(hr);
    if ((count != 0) != (rects != nullptr)) return done(D3DERR_INVALIDCALL);
    if (flags == 0 || (flags & ~kClearFlags) != 0) return done(D3DERR_INVALIDCALL);
    Surface* depth = depthStencil_.get();
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && depth == nullptr) return done(D3DERR_INVALIDCALL);
    if ((flags & D3DCLEAR_STENCIL) && !HasStencil(depth->Desc().Format)) return done(D3DERR_INVALIDCALL);
    if ((flags & D3DCLEAR_ZBUFFER) && !(z >= 0.0f && z <= 1.0f)) return done(D3DERR_INVALIDCALL);
    if ((flags & D3DCLEAR_TARGET) && !renderTarget_) return done(D3DERR_INVALIDCALL);
    if (Lost()) return done(D3D_OK);  // a lost device draws nothing
    if (!Control().rasterize) {
        // The platform clears on the GPU: nothing of it falls on the caller's CPU.
        ++Control().counters.clears;
        return done(D3D_OK);
    }

    const RECT viewport{static_cast<LONG>(viewport_.X), static_cast<LONG>(viewport_.Y),
                        static_cast<LONG>(viewport_.X + viewport_.Width), static_cast<LONG>(viewport_.Y + viewport_.Height)};
    // Queued with the draws: each band of rows is cleared just before the draws into it.
    Surface* target = (flags & D3DCLEAR_TARGET) ? renderTarget_.get() : nullptr;
    if (!(flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL))) depth = nullptr;
    const RECT whole = target != nullptr ? RECT{0, 0, static_cast<LONG>(target->Desc().Width),
                                                static_cast<LONG>(target->Desc().Height)}
                                         : RECT{};
    std::vector<RECT> areas;
    for (DWORD i = 0; i < std::max<DWORD>(count, 1); ++i) {
        const RECT r = count == 0 ? viewport : Intersect(RECT{rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2}, viewport);
        if (r.left < r.right) areas.push_back(r);
        if (target != nullptr && EqualRect(&r, &whole)) target->NoteColourClearedWhole();
    }
    RasterQueue::Clear clear;
    if (target != nullptr) clear.target = target->MemoryView();
    if (depth != nullptr) {
        clear.depth = depth->MemoryView();
        clear.depthFloor = depth->DepthFloor();
    }
    clear.clearDepth = (flags & D3DCLEAR_ZBUFFER) != 0;
    clear.clearStencil = (flags & D3DCLEAR_STENCIL) && depth->Desc().Format == D3DFMT_D24S8;
    clear.color = color;
    clear.z = z;
    clear.stencil = stencil;
    clear.avx2 = Control().rasterAvx2;
    clear.rects = areas.data();
    clear.rectCount = static_cast<int>(areas.size());
    if (queue_.Samples(clear.target.bits) || queue_.Samples(clear.depth.bits)) FlushDraws();
    RefCounted* keep[2] = {target, depth};
    queue_.AddClear(clear, keep, 2);
    ++Control().counters.clears;
    return done(D3D_OK);
}

HRESULT Device::ValidateDraw(D3DPRIMITIVETYPE type, UINT primitiveCount, UINT* vertexCount) const {
    const UINT vertexBytes = VertexBytesOf(fvf_);
    if (!inScene_ || vertexBytes == 0 || !stream_ || streamStride_ < vertexBytes || !renderTarget_)
        return D3DERR_INVALIDCALL;
    if (fvf_ == kFvfPointSize && type != D3DPT_POINTLIST) return D3DERR_INVALIDCALL;
    if (primitiveCount == 0 || primitiveCount > adapter_.caps.MaxPrimitiveCount) return D3DERR_INVALIDCALL;
    const std::uint64_t elements = ElementsFor(type, primitiveCount);
    if (elements == 0) return D3DERR_INVALIDCALL;
    *vertexCount = static_cast<UINT>(elements);
    return D3D_OK;
}

void Device::ReportDrawMisuse(const char* method, bool indexed) const {
    // Text is built only for a misuse found: a draw is too frequent to pay for it otherwise.
    auto report = [method](const std::string& what) { ReportMisuse(method + what); };
    if (!inScene_) report(" outside BeginScene/EndScene");
    if (stream_ && stream_->Memory().IsLocked()) report(" from a locked vertex buffer");
    if (indexed && indices_ && indices_->Memory().IsLocked()) report(" from a locked index buffer");
    for (unsigned stage = 0; stage < kD3DTextureStageCount; ++stage) {
        const Texture* texture = textures_[stage].get();
        if (texture == nullptr) continue;
        for (UINT level = 0; level < texture->LevelCount(); ++level) {
            const Surface* surface = texture->Level(level);
            if (surface == renderTarget_.get())
                report(" with the render target bound as the texture of stage " + std::to_string(stage));
            if (surface->IsLocked()) report(" with a locked texture bound to stage " + std::to_string(stage));
        }
        // A texture the caps allow only conditionally must be clamped.
        const D3DSURFACE_DESC& top = texture->Level(0)->Desc();
        const DWORD* sampler = states_.sampler[stage];
        if ((adapter_.caps.TextureCaps & D3DPTEXTURECAPS_POW2) && (!IsPowerOfTwo(top.Width) || !IsPowerOfTwo(top.Height)) &&
            (sampler[D3DSAMP_ADDRESSU] != D3DTADDRESS_CLAMP || sampler[D3DSAMP_ADDRESSV] != D3DTADDRESS_CLAMP))
            report(" wrapping a texture whose size is not a power of two at stage " + std::to_string(stage));
    }
    if (renderTarget_ && depthStencil_ &&
        (depthStencil_->Desc().Width < renderTarget_->Desc().Width ||
         depthStencil_->Desc().Height < renderTarget_->Desc().Height))
        report(" into a render target larger than the depth buffer");
}

HRESULT Device::RunDraw(const char* method, const ArgList& args, D3DPRIMITIVETYPE type, UINT primitiveCount,
                        const std::uint8_t* vertices, UINT vertexCount, const std::uint16_t* indices, UINT indexCount,
                        INT baseVertex) {
    DrawState state;
    state.renderStates = states_.render;
    state.stageStates = states_.stage;
    state.samplerStates = states_.sampler;
    for (unsigned stage = 0; stage < kD3DTextureStageCount; ++stage)
        if (textures_[stage]) state.textures[stage] = textures_[stage]->Level(0)->MemoryView();
    state.pixelShader = pixelShader_ ? &pixelShader_->Program() : nullptr;
    state.viewport = viewport_;
    state.target = renderTarget_->MemoryView();
    if (depthStencil_) {
        state.depth = depthStencil_->MemoryView();
        state.depthFloor = depthStencil_->DepthFloor();
    }
    state.threads = RasterThreadsInEffect();
    state.avx2 = Control().rasterAvx2;

    DrawCall call;
    call.type = type;
    call.fvf = fvf_;
    call.primitiveCount = primitiveCount;
    call.vertices = vertices;
    call.vertexStride = streamStride_;
    call.vertexCount = vertexCount;
    call.indices = indices;
    call.indexCount = indexCount;
    call.baseVertex = baseVertex;
    HRESULT hr = D3D_OK;
    if (Control().rasterize) {
        // Queued, and drawn when something looks at the memory; a draw that samples what the
        // queue draws into (or the other way round) waits for the queue first.
        if (queue_.MustWaitFor(state)) FlushDraws();
        RefCounted* keep[kD3DTextureStageCount + 3] = {renderTarget_.get(), depthStencil_.get(), pixelShader_.get()};
        for (unsigned stage = 0; stage < kD3DTextureStageCount; ++stage) keep[3 + stage] = textures_[stage].get();
        hr = queue_.Add(state, call, keep, static_cast<int>(std::size(keep)));
    }
    if (SUCCEEDED(hr)) {
        d3d9ctl::Counters& counters = Control().counters;
        ++counters.drawCalls;
        counters.primitives += primitiveCount;
    }
    return Logged(method, args, hr);
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
    auto lock = LockApi();
    const ArgList args = Args(type, startVertex, primitiveCount);
    HRESULT hr;
    if (TakeScriptedFailure("DrawPrimitive", &hr)) return Logged("DrawPrimitive", args, hr);
    ReportDrawMisuse("DrawPrimitive", false);
    UINT vertexCount = 0;
    if (FAILED(hr = ValidateDraw(type, primitiveCount, &vertexCount))) return Logged("DrawPrimitive", args, hr);
    BufferMemory& memory = stream_->Memory();
    const std::uint64_t begin = streamOffset_ + std::uint64_t{startVertex} * streamStride_;
    const std::uint64_t end = begin + std::uint64_t{vertexCount - 1} * streamStride_ + VertexBytesOf(fvf_);
    if (end > memory.Size()) return Logged("DrawPrimitive", args, D3DERR_INVALIDCALL);
    if (Lost()) return Logged("DrawPrimitive", args, D3D_OK);
    memory.MarkDrawn(begin, end);
    return RunDraw("DrawPrimitive", args, type, primitiveCount, memory.Data() + begin, vertexCount, nullptr, 0, 0);
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertexIndex, UINT minVertexIndex, UINT numVertices,
                                     UINT startIndex, UINT primitiveCount) {
    auto lock = LockApi();
    const ArgList args = Args(type, baseVertexIndex, minVertexIndex, numVertices, startIndex, primitiveCount);
    auto done = [&](HRESULT hr) { return Logged("DrawIndexedPrimitive", args, hr); };
    HRESULT hr;
    if (TakeScriptedFailure("DrawIndexedPrimitive", &hr)) return done(hr);
    ReportDrawMisuse("DrawIndexedPrimitive", true);
    UINT indexCount = 0;
    if (FAILED(hr = ValidateDraw(type, primitiveCount, &indexCount))) return done(hr);
    if (!indices_ || numVertices == 0) return done(D3DERR_INVALIDCALL);
    BufferMemory& indexMemory = indices_->Memory();
    const std::uint64_t indexBegin = std::uint64_t{startIndex} * 2;
    const std::uint64_t indexEnd = indexBegin + std::uint64_t{indexCount} * 2;
    if (indexEnd > indexMemory.Size()) return done(D3DERR_INVALIDCALL);

    BufferMemory& vertexMemory = stream_->Memory();
    const std::int64_t first = std::int64_t{baseVertexIndex} + minVertexIndex;
    if (first < 0 || streamOffset_ >= vertexMemory.Size()) return done(D3DERR_INVALIDCALL);
    const std::uint64_t vertexBegin = streamOffset_ + static_cast<std::uint64_t>(first) * streamStride_;
    const std::uint64_t vertexEnd = vertexBegin + std::uint64_t{numVertices - 1} * streamStride_ + VertexBytesOf(fvf_);
    if (vertexEnd > vertexMemory.Size()) return done(D3DERR_INVALIDCALL);

    const auto* indices = reinterpret_cast<const std::uint16_t*>(indexMemory.Data() + indexBegin);
    auto outside = [&](std::uint16_t index) {
        return index < minVertexIndex || index - std::uint64_t{minVertexIndex} >= numVertices;
    };
    // The range first; the first index outside it only when there is one.
    const IndexRange range = RangeOfIndices(indices, indexCount);
    if (indexCount != 0 && (outside(range.lowest) || outside(range.highest))) {
        for (UINT i = 0; i < indexCount; ++i) {
            std::uint16_t index;
            std::memcpy(&index, indices + i, sizeof index);
            if (outside(index)) {
                ReportMisuse("DrawIndexedPrimitive index " + std::to_string(index) + " outside [" +
                             std::to_string(minVertexIndex) + ", " + std::to_string(minVertexIndex + numVertices) + ")");
                break;
            }
        }
    }
    if (Lost()) return done(D3D_OK);
    vertexMemory.MarkDrawn(vertexBegin, vertexEnd);
    indexMemory.MarkDrawn(indexBegin, indexEnd);
    // Every whole vertex from the stream offset on (the checks above leave at least one).
    const auto vertexCount =
        static_cast<UINT>((vertexMemory.Size() - streamOffset_ - VertexBytesOf(fvf_)) / streamStride_ + 1);
    const auto readableIndices = static_cast<UINT>((indexMemory.Size() - indexBegin) / 2);
    return RunDraw("DrawIndexedPrimitive", args, type, primitiveCount, vertexMemory.Data() + streamOffset_, vertexCount,
                   indices, readableIndices, baseVertexIndex);
}

}  // namespace d3d9sw
