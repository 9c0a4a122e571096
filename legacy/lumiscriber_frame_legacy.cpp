// CLumiscriber (legacy build): the frame loop, device loss and reset.
#include <exception>

#include "core/event_log.h"
#include "core/frame_clock.h"
#include "core/lumiscriber.h"
#include "core/render_target_texture.h"
#include "draw/d3d_buffers.h"
#include "draw/draw_layer.h"
#include "draw/tex_mgr.h"
#include "legacy/swap_chain_legacy.h"
#include "particle/particle_emitter_mgr.h"
#include "platform/dxerr/dxerr.h"
#include "platform/tarnel/tarnel.h"
#include "platform/win32/time.h"

void CLumiscriber::BeginScene() {
    WaitForLoadsWhenAsked();
    // Every call is a frame of its own here: the clock moves whatever the host called before.
    EndFrameClock();
    AdvanceFrameClock(TimeGet_S());
    if (device_ != nullptr) {
        const HRESULT hr = device_->TestCooperativeLevel();
        if (hr == D3DERR_DRIVERINTERNALERROR) {
            WriteLog(u"BeginScene - Driver Internal Error.");
        } else if (hr == D3DERR_DEVICELOST) {
            if (!deviceLost_) {
                WriteLog(u"BeginScene - Device Lost.");
                EnterLostState();
            }
        } else if (hr == D3DERR_DEVICENOTRESET || (hr == D3D_OK && deviceLost_)) {
            // A device that answers OK while marked lost is one whose reset failed for a reason
            // of ours; trying again is the only way out of the lost state.
            ResetDevice();
        }
    }
    if (frameCommands_) frameCommands_->Reset();
    if (!inFrame_) OnFrameBegin();
}

bool CLumiscriber::EndScene(bool present) {
    bool drawn = true;
    const std::uint32_t queued = drawSequence_;
    if (!deviceLost_ && device_ != nullptr && layer_) {
        std::uint32_t vertexNeed = 0;
        std::uint32_t indexNeed = 0;
        layer_->AddDrawStats(&vertexNeed, &indexNeed);
        drawn = GrowDynamicBuffers(vertexNeed, indexNeed);
        commandShare_ = queued != 0 ? 1.0f / static_cast<float>(queued) : 0.0f;
        if (drawn) {
            if (texMgr_) texMgr_->RefreshHeldTextures();
            batchCount_ = 0;
            if (SUCCEEDED(device_->BeginScene())) {
                layer_->Flush(&drawContext_);
                device_->EndScene();
            }
            stats_.Batches = static_cast<std::int32_t>(batchCount_);
            // A loss shows at the next BeginScene, which tests the device.
            if (present) device_->Present(nullptr, nullptr, nullptr, nullptr);
        }
    }
    drawSequence_ = 0;
    if (layer_) layer_->Reset();
    // The frame that may have drawn released emitters' beams is done with them.
    if (emitterMgr_) emitterMgr_->ReapParkedEmitter();
    if (texMgr_) {
        texMgr_->ReleaseFrameHolds();
        texMgr_->Update();
    }
    UpdateFrameStats();
    return drawn;
}

void CLumiscriber::OnFrameBegin() {
    SleepWhenIdle();
    if (texMgr_) texMgr_->OnFrameBegin();
    inFrame_ = true;
    stats_.DrawCalls = 0;
    stats_.FrameCleared = 0;
}

void CLumiscriber::OnFrameEnd() { inFrame_ = false; }

std::uint32_t CLumiscriber::GetFrameSubmissions() { return drawSequence_; }

std::int32_t CLumiscriber::GetTexturesInUse() { return texMgr_ ? texMgr_->InUseCount() : 0; }

void CLumiscriber::OnLostDevice() {}

void CLumiscriber::ResetDevice() {
    if (!deviceLost_) WriteLog(u"BeginScene - DeviceNoReset.");
    ReleaseForReset();
    if (!ResetWithPresentParameters()) return;
    // Not lost from here on: restoring draws (the render targets are cleared off-screen).
    deviceLost_ = false;
    FinishReset([this] { RestoreAfterReset(); }, [this] { ReleaseForReset(); });
}

void CLumiscriber::ReleaseForReset() {
    // A texture's video copy, a surface or a swap chain the device still holds as its target
    // would keep Reset from succeeding: the device's own surfaces go back first.
    RestoreDeviceTarget();
    if (texMgr_) texMgr_->OnLostDevice();
    if (vertexBuffer_) vertexBuffer_->Release();
    if (indexBuffer_) indexBuffer_->Release();
    ReleaseCursorSurface();
    for (CD3DSwapChain* swapChain : swapChains_) swapChain->ReleaseChain();
    for (CD3DRenderTarget* target : renderTargets_) target->DetachTexture();
}

void CLumiscriber::RestoreAfterReset() {
    SetDefaultRenderStates();
    // What a reset leaves in the back buffer and depth surface is undefined: cleared as after
    // construction.
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    for (CD3DSwapChain* swapChain : swapChains_) {
        const HRESULT hr = swapChain->Create(device_, settings_.pp.BackBufferFormat, vsync_);
        if (FAILED(hr)) {
            WriteLog(u"CLumiscriber::CreateAdditionalSwapChain() error. desc=[%s]", DXGetErrorDescriptionW(hr));
            break;
        }
    }
    if (attachedSwapChain_ != nullptr && !AttachBackBufferOf(attachedSwapChain_)) attachedSwapChain_ = nullptr;
    // The host's targets stay valid: each gets a new texture of its size, cleared.
    for (CD3DRenderTarget* target : renderTargets_) {
        if (MakeTargetTexture(target, target->GetWidth(), target->GetHeight()))
            DrawOffscreen(target, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, [] {});
    }
    if (texMgr_) texMgr_->RestoreVideoTextures();
}
