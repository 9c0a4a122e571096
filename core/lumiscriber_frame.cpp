// CLumiscriber: the frame loop and the render-target registry (the statistics are in
// lumiscriber_stats.cpp).
#include "core/event_log.h"
#include "core/frame_clock.h"
#include "core/frame_pool.h"
#include "core/lumiscriber.h"
#include "core/render_target.h"
#include "draw/d3d_buffers.h"
#include "draw/font_tex_mgr.h"
#include "draw/tex_mgr.h"
#include "particle/particle_emitter_mgr.h"
#include "platform/tarnel/tarnel.h"
#include "platform/win32/time.h"

namespace {

constexpr DWORD kFrameLimiterSleepMs = 10;
constexpr float kFrameLimiterDelta = 0.01f;  // seconds

}  // namespace

void CLumiscriber::TickFrame() {
    if (!AdvanceFrameClock(TimeGet_S())) return;
    ResetFramePrimitivePools();
    if (!inFrame_) OnFrameBegin();
    if (emitterMgr_) emitterMgr_->ReapParkedEmitter();
}

void CLumiscriber::BeginScene() {
    TickFrame();
    WaitForLoadsWhenAsked();
    if (!deviceLost_ || device_ == nullptr) return;
    const HRESULT hr = device_->TestCooperativeLevel();
    if (hr == D3DERR_DRIVERINTERNALERROR) {
        WriteLog(u"BeginScene - Driver Internal Error.");
    } else if (hr == D3DERR_DEVICENOTRESET || hr == D3D_OK) {
        // A device that answers OK while marked lost is one whose reset failed for a reason
        // of ours (something still held); trying again is the only way out of the lost state.
        ResetDevice();
    }
}

bool CLumiscriber::EndScene(bool present) { return RenderAllTargets(present); }

bool CLumiscriber::RenderAllTargets(bool present) {
    std::uint32_t vertexNeed = 0;
    std::uint32_t indexNeed = 0;
    for (const auto& entry : targetsByPriority_) {
        std::uint32_t vertexBytes = 0;
        std::uint32_t indexBytes = 0;
        entry.second->GetDrawStats(&vertexBytes, &indexBytes);
        vertexNeed += vertexBytes;
        indexNeed += indexBytes;
    }
    if (!GrowDynamicBuffers(vertexNeed, indexNeed)) return false;
    if (texMgr_) texMgr_->RefreshHeldTextures();
    DrawTargets();
    if (present) PresentTargets();
    // A loss stops the walk at whichever target reported it, which stays current; draws must
    // go on into the main window, where a whole walk ends.
    if (deviceLost_) SelectRenderTarget(nullptr);
    if (vsync_ && g_FrameDelta < kFrameLimiterDelta) Sleep(kFrameLimiterSleepMs);
    return true;
}

void CLumiscriber::DrawTargets() {
    for (const auto& entry : targetsByPriority_) {
        // A loss reported by one target releases the buffers every later flush would use.
        if (deviceLost_) return;
        CRenderTarget* target = entry.second;
        if (target->IsReady() && target->IsEnabled()) target->Render(false);
    }
}

void CLumiscriber::PresentTargets() {
    for (const auto& entry : targetsByPriority_) {
        if (deviceLost_) return;
        CRenderTarget* target = entry.second;
        if (target->IsReady() && target->IsEnabled()) target->Present(true);
    }
}

void CLumiscriber::EndFrameTargets() {
    batchCount_ = 0;
    drawSequence_ = 0;
    for (const auto& entry : targetsByPriority_) entry.second->ResetViewportLayers();
    EndFrameLifetimes();
}

void CLumiscriber::EndFrameLifetimes() {
    ReleaseDeferredPrimitives();
    // Whatever the host drew before the frame's first tick is drawn now, so the scratch
    // commands are free again even for a host that always draws before BeginScene.
    for (auto& pool : framePools_) {
        if (pool) pool->Reset();
    }
    if (texMgr_) texMgr_->ReleaseFrameHolds();
}

void CLumiscriber::OnFrameBegin() {
    SleepWhenIdle();
    if (frameBegun_) Error("IRenderer::OnFrameBegin 不匹配。");
    frameBegun_ = true;
    if (texMgr_) texMgr_->OnFrameBegin();
    if (fontTexMgr_) fontTexMgr_->LoadPendingWords();
    inFrame_ = true;
    stats_.DrawCalls = 0;
    stats_.FrameCleared = 0;
}

void CLumiscriber::OnFrameEnd() {
    if (!frameBegun_) Error("IRenderer::OnFrameEnd 不匹配。");
    stats_.Batches = static_cast<std::int32_t>(batchCount_);
    frameBegun_ = false;
    EndFrameTargets();
    if (texMgr_) texMgr_->Update();
    UpdateFrameStats();
    inFrame_ = false;
    EndFrameClock();
}

bool CLumiscriber::RegisterRenderTarget(CRenderTarget* target) {
    if (target == nullptr) return false;
    const std::string name = target->GetName();
    if (targetsByName_.count(name) != 0) {
        WriteLog(u"render target [%hs] already registered.", name.c_str());
        return false;
    }
    targetsByName_.emplace(name, target);
    targetsByPriority_.emplace(static_cast<std::uint8_t>(target->GetPriority()), target);
    return true;
}

void CLumiscriber::UnregisterRenderTarget(CRenderTarget* target) {
    if (target == nullptr) return;
    for (auto it = targetsByPriority_.begin(); it != targetsByPriority_.end(); ++it) {
        if (it->second == target) {
            targetsByPriority_.erase(it);
            break;
        }
    }
    for (auto it = targetsByName_.begin(); it != targetsByName_.end(); ++it) {
        if (it->second == target) {
            targetsByName_.erase(it);
            break;
        }
    }
    ForgetViewportsOf(target);
}

void CLumiscriber::UnregisterRenderTarget(const std::string& name) {
    auto it = targetsByName_.find(name);
    if (it != targetsByName_.end()) UnregisterRenderTarget(it->second);
}

CRenderTarget* CLumiscriber::FindRenderTarget(const std::string& name) const {
    auto it = targetsByName_.find(name);
    return it == targetsByName_.end() ? nullptr : it->second;
}
