// CLumiscriber: commands and how they are queued (also a particle command's), the point draw,
// DrawTexture, the background colour and the current target and viewport (the draw operations
// both builds share: lumiscriber_shared_draws.cpp).
#include <algorithm>

#include "core/exception.h"
#include "core/frame_pool.h"
#include "core/host_handles.h"
#include "core/lumiscriber.h"
#include "core/render_target.h"
#include "core/render_target_texture.h"
#include "core/render_window.h"
#include "core/scene_manager.h"
#include "core/viewport.h"
#include "draw/d3d_texture.h"
#include "draw/draw_commands.h"
#include "draw/draw_layer.h"
#include "draw/layer_map.h"
#include "draw/tex_mgr.h"
#include "draw/texture_pool.h"
#include "particle/particle_emitter.h"
#include "particle/particle_emitter_mgr.h"
#include "platform/win32/window.h"

namespace {

constexpr float kByteToUnit = 0.003921569f;  // the float nearest to 1/255

// The frame pool slot of a pooled command type; -1 for the others.
int FramePoolIndex(std::int32_t type) {
    switch (type) {
        case kDrawCmdPoint: return 0;
        case kDrawCmdLine: return 1;
        case kDrawCmdTriangle: return 2;
        case kDrawCmdRect: return 3;
        case kDrawCmdTexturedRect: return 4;
        default: return -1;
    }
}

}  // namespace

void CLumiscriber::SetBackgroundColor(D3DCOLOR color) {
    backgroundColor_ = color;
    if (currentViewport_ == nullptr) return;
    currentViewport_->SetClearColor(static_cast<float>((color >> 16) & 0xFF) * kByteToUnit,
                                    static_cast<float>((color >> 8) & 0xFF) * kByteToUnit,
                                    static_cast<float>(color & 0xFF) * kByteToUnit,
                                    static_cast<float>((color >> 24) & 0xFF) * kByteToUnit);
}

IRenderTarget* CLumiscriber::SelectRenderTarget(IRenderTarget* target) {
    IRenderTarget* previous = currentTarget_;
    CRenderTarget* chosen =
        target != nullptr ? static_cast<CRenderTarget*>(target) : static_cast<CRenderTarget*>(mainWindow_.get());
    // Only a live target of this renderer may become current; anything else changes nothing.
    if (chosen == nullptr || !IsRegistered(chosen)) return previous;
    viewport_t* viewport = chosen->GetViewport(0);
    if (viewport == nullptr) return previous;
    if (sceneManager_) sceneManager_->SetCurrentViewport(viewport);
    ApplyViewport(viewport);
    return previous;
}

void CLumiscriber::ApplyViewport(viewport_t* viewport) {
    if (viewport == nullptr) return;
    if (viewport == currentViewport_ && !viewport->IsDirty() && !viewportStale_) return;
    currentViewport_ = viewport;
    CRenderTarget* target = viewport->target;
    currentTarget_ = target;
    if (device_ == nullptr || target == nullptr) return;
    IDirect3DSurface9* surface = nullptr;
    IDirect3DSurface9* depth = nullptr;
    target->GetAttribute("D3DSURFACE", reinterpret_cast<void**>(&surface));
    target->GetAttribute("D3DZBUFFER", reinterpret_cast<void**>(&depth));
    if (surface == nullptr || depth == nullptr) return;
    UnbindTargetTexture(device_, surface);
    device_->SetRenderTarget(0, surface);
    device_->SetDepthStencilSurface(depth);
    D3DVIEWPORT9 deviceViewport{};
    deviceViewport.X = static_cast<DWORD>(viewport->pixelX);
    deviceViewport.Y = static_cast<DWORD>(viewport->pixelY);
    deviceViewport.Width = static_cast<DWORD>(viewport->pixelWidth);
    deviceViewport.Height = static_cast<DWORD>(viewport->pixelHeight);
    deviceViewport.MinZ = 0.0f;
    deviceViewport.MaxZ = 1.0f;
    device_->SetViewport(&deviceViewport);
    viewport->ClearDirty();
    viewportStale_ = false;
}

void CLumiscriber::ForgetViewportsOf(CRenderTarget* target) {
    if (currentTarget_ == target) currentTarget_ = nullptr;
    if (currentViewport_ != nullptr && currentViewport_->target == target) currentViewport_ = nullptr;
    if (sceneManager_) sceneManager_->ForgetViewportsOf(target);
}

bool CLumiscriber::IsRegistered(const CRenderTarget* target) const {
    for (const auto& entry : targetsByPriority_) {
        if (entry.second == target) return true;
    }
    return false;
}

// ---- Commands ----

STRU_DRAW_COMMAND_BASE* CLumiscriber::CreatePrimitive(std::int32_t type) { return AllocDrawCommand(type); }

STRU_DRAW_COMMAND_BASE* CLumiscriber::ClonePrimitive(STRU_DRAW_COMMAND_BASE* cmd) { return CloneDrawCommand(cmd); }

void CLumiscriber::ReleasePrimitive(STRU_DRAW_COMMAND_BASE* cmd) {
    if (cmd == nullptr || IsScratchCommand(cmd)) return;
    // A queued command is still pointed at by its layer until the frame has been drawn.
    if (IsQueuedThisFrame(cmd)) {
        if (std::find(deferredReleases_.begin(), deferredReleases_.end(), cmd) == deferredReleases_.end())
            deferredReleases_.push_back(cmd);
        return;
    }
    ReleaseDrawCommand(cmd, EmitterHandBack());
}

bool CLumiscriber::IsQueuedThisFrame(const STRU_DRAW_COMMAND_BASE* cmd) {
    // Numbers rise within a frame, so the record is normally in order; a caller that rewound
    // the counter breaks the order, and the record is sorted once before it is searched.
    if (!queuedSorted_) {
        std::stable_sort(queuedThisFrame_.begin(), queuedThisFrame_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        queuedSorted_ = true;
    }
    // A command queued several times carries the number of its last queueing.
    auto range = std::equal_range(queuedThisFrame_.begin(), queuedThisFrame_.end(),
                                  std::make_pair(cmd->sequence, static_cast<STRU_DRAW_COMMAND_BASE*>(nullptr)),
                                  [](const auto& a, const auto& b) { return a.first < b.first; });
    return std::any_of(range.first, range.second, [cmd](const auto& entry) { return entry.second == cmd; });
}

void CLumiscriber::ReleaseDeferredPrimitives() {
    queuedThisFrame_.clear();
    queuedSorted_ = true;
    std::vector<STRU_DRAW_COMMAND_BASE*> released;
    released.swap(deferredReleases_);
    for (STRU_DRAW_COMMAND_BASE* cmd : released) ReleaseDrawCommand(cmd, EmitterHandBack());
}

// ---- Frame pools ----

void CLumiscriber::CreateFramePools() {
    const std::int32_t types[kFramePoolCount] = {kDrawCmdPoint, kDrawCmdLine, kDrawCmdTriangle, kDrawCmdRect,
                                                 kDrawCmdTexturedRect};
    for (int i = 0; i < kFramePoolCount; ++i) framePools_[i] = std::make_unique<CFramePool>(types[i]);
}

void CLumiscriber::DestroyFramePools() {
    for (auto& pool : framePools_) pool.reset();
}

void CLumiscriber::ResetFramePrimitivePools() {
    // Commands queued before the frame's first tick still sit in the layers; the pools are
    // emptied at the next tick instead.
    if (!queuedThisFrame_.empty()) return;
    for (auto& pool : framePools_) {
        if (pool) pool->Reset();
    }
}

STRU_DRAW_COMMAND_BASE* CLumiscriber::TakeFrameCommand(std::int32_t type) {
    const int index = FramePoolIndex(type);
    if (index < 0 || !framePools_[index]) return nullptr;
    return framePools_[index]->Take();
}

const CFramePool* CLumiscriber::GetFramePool(std::int32_t type) const {
    const int index = FramePoolIndex(type);
    return index < 0 ? nullptr : framePools_[index].get();
}

void CLumiscriber::RememberQueued(STRU_DRAW_COMMAND_BASE* cmd) {
    if (!queuedThisFrame_.empty() && queuedThisFrame_.back().first > cmd->sequence) queuedSorted_ = false;
    queuedThisFrame_.emplace_back(cmd->sequence, cmd);
}

void CLumiscriber::QueueDrawCommand(STRU_DRAW_COMMAND_BASE* cmd) {
    cmd->sequence = NextDrawSequence();
    QueueNumberedCommand(cmd);
}

void CLumiscriber::QueueNumberedCommand(STRU_DRAW_COMMAND_BASE* cmd) {
    if (deviceLost_ || currentViewport_ == nullptr) return;
    // Recorded before the layer sees it: even a refused command may have been linked.
    RememberQueued(cmd);
    CD3DTexture* texture = cmd->texture;
    if (texture != nullptr && !texture->IsFrameHeld() && texMgr_) texMgr_->HoldForFrame(texture);
    // Straight into the layer: the viewport would ask its target's host, which is this
    // renderer, the device question answered above.
    DispatchDrawCommand(cmd, currentViewport_, currentViewport_->GetLayers()->GetDefaultLayer());
}

// ---- Shapes ----

STRU_DRAW_COMMAND_BASE* CLumiscriber::CommandFor(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t type) {
    if (IsScratchCommand(cmd)) cmd = TakeFrameCommand(type);
    return cmd != nullptr && cmd->type == type ? cmd : nullptr;
}

void CLumiscriber::DrawPoint(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, D3DCOLOR color) {
    QueuePoint(cmd, x, y, color);
}

void CLumiscriber::SetGreyMode(bool on) { greyMode_ = on; }

// ---- Textured rectangles ----

void CLumiscriber::DrawTexture(ITexture* texture, const RECT* destination, const RECT* source, D3DCOLOR color,
                               std::int32_t flags) {
    if (deviceLost_ || texture == nullptr) return;
    auto* d3dTexture = static_cast<CD3DTexture*>(texture);
    if (d3dTexture->GetTag() != CD3DTexture::kTag) return;
    const mem_obj_t* memory = d3dTexture->GetMemory();
    const bool hasPixels =
        d3dTexture->IsLoaded() || (memory != nullptr && (memory->videoCopy != nullptr || memory->systemCopy != nullptr));
    if (!hasPixels) {
        d3dTexture->PollLoad();
        return;
    }
    if (destination == nullptr || source == nullptr || IsRectEmpty(destination) || IsRectEmpty(source)) return;
    auto* cmd = static_cast<STRU_RECT_COMMAND*>(TakeFrameCommand(kDrawCmdTexturedRect));
    if (cmd == nullptr) return;
    lumi::SwapCommandTexture(cmd, d3dTexture);
    SubmitTexturedRect(*source, *destination, flags, cmd, color);
}

// ---- Particle commands ----

std::function<void(CParticleEmitter*)> CLumiscriber::EmitterHandBack() {
    return [this](CParticleEmitter* emitter) {
        if (emitterMgr_) emitterMgr_->ReleaseEmitter(emitter);
    };
}

CParticleEmitter* CLumiscriber::CreateEmitter(const WCHAR* path) { return emitterMgr_->CreateEmitter(path); }

bool CLumiscriber::NumberEmitterDraw(STRU_PARTICLE_COMMAND* particles, std::uint32_t* sequence) {
    if (!particles->emitter->IsAlive()) return false;
    *sequence = particles->sequence = NextDrawSequence();
    return true;
}

void CLumiscriber::QueueEmitterCommand(STRU_PARTICLE_COMMAND* particles) { QueueNumberedCommand(particles); }
