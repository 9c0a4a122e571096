// CLumiscriber (legacy build): construction and destruction (the steps both builds take are
// CLumiscriberCommon's, core/lumiscriber_common.cpp).
#include <exception>

#include "core/com_release.h"
#include "core/event_log.h"
#include "core/lumiscriber.h"
#include "core/render_target_texture.h"
#include "draw/d3d_texture.h"
#include "draw/draw_layer.h"
#include "draw/tex_mgr.h"
#include "legacy/clip_scale.h"
#include "legacy/font_desc.h"
#include "legacy/font_tex_mgr_legacy.h"
#include "legacy/swap_chain_legacy.h"
#include "particle/particle_emitter_mgr.h"

namespace {

constexpr std::uint8_t kDrawLayerId = 50;

}  // namespace

CLumiscriber::CLumiscriber(const STRU_RENDERER_PARAM& param) : CLumiscriberCommon(param) { ConstructOrRelease(param); }

void CLumiscriber::Construct(const STRU_RENDERER_PARAM& param) {
    BeginConstruction();
    commandPools_ = std::make_unique<cmd_pool_set_t>();
    frameCommands_ = std::make_unique<frame_commands_t>(*commandPools_);
    SetClipScale(param.Width, param.Height);
    CreateDeviceAndBuffers(param);

    layer_ = std::make_unique<draw_layer_t>(nullptr, this, kDrawLayerId);
    offscreenLayer_ = std::make_unique<draw_layer_t>(nullptr, this, kDrawLayerId);
    openLayer_ = layer_.get();

    CreateTextureManager();
    WriteLog(u"FontTexMgr creating...");
    fontTexMgr_ = std::make_unique<CFontTexMgr>(this);
    emitterMgr_ = std::make_unique<CParticleEmitterMgr>(this, texMgr_.get());

    FinishDeviceSetup();
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    param_ = param;
}

CLumiscriber::~CLumiscriber() { Destroy(); }

// Everything the renderer owns, in the order the objects depend on each other. Safe on a
// partly built renderer. Never throws (a destructor must not).
void CLumiscriber::ReleaseEverything() {
    try {
        // Queued commands may hold textures and point into the layers' batches.
        if (layer_) layer_->Reset();
        if (offscreenLayer_) offscreenLayer_->Reset();
        if (texMgr_) texMgr_->ReleaseFrameHolds();
        // The device's own surfaces back, when a swap chain's back buffer is still its target.
        RestoreDeviceTarget();
    } catch (const std::exception& error) {
        WriteLog(u"CLumiscriber destruction: %hs", error.what());
    }
    attachedSwapChain_ = nullptr;
    for (CD3DSwapChain* swapChain : swapChains_) delete swapChain;
    swapChains_.clear();
    for (CD3DRenderTarget* target : renderTargets_) delete target;
    renderTargets_.clear();
    frameCommands_.reset();
    layer_.reset();
    offscreenLayer_.reset();
    openLayer_ = nullptr;
    ReleaseDeviceObjects();
    ReleaseAndClear(cursorTexture_);
    emitterMgr_.reset();
    fontTexMgr_.reset();
    texMgr_.reset();
    ReleaseBuffersAndDevice();
    delete defaultFont_;
    defaultFont_ = nullptr;
    commandPools_.reset();
    EndRelease();
}
