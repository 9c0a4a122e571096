// CLumiscriber: construction and destruction (the steps both builds take are
// CLumiscriberCommon's, lumiscriber_common.cpp).
#include "core/event_log.h"
#include "core/frame_pool.h"
#include "core/lumiscriber.h"
#include "core/render_window.h"
#include "core/scene_manager.h"
#include "draw/draw_commands.h"
#include "draw/font_tex_mgr.h"
#include "draw/tex_mgr.h"
#include "particle/particle_emitter_mgr.h"

CLumiscriber::CLumiscriber(const STRU_RENDERER_PARAM& param) : CLumiscriberCommon(param) { ConstructOrRelease(param); }

void CLumiscriber::Construct(const STRU_RENDERER_PARAM& param) {
    BeginConstruction();
    CreateFramePools();
    CreateDeviceAndBuffers(param);

    sceneManager_ = std::make_unique<CSceneManager>();
    sceneManager_->SetRenderer(this);

    CreateMainWindow(param, true);

    CreateTextureManager();
    WriteLog(u"FontTexMgr creating...");
    fontTexMgr_ = std::make_unique<CFontTexMgr>(this);

    FinishDeviceSetup();

    emitterMgr_ = std::make_unique<CParticleEmitterMgr>(this, texMgr_.get());
    param_ = param;
}

CLumiscriber::~CLumiscriber() { Destroy(); }

// Everything the renderer owns, in the order the objects depend on each other. Safe on a
// partly built renderer. Never throws (a destructor must not).
void CLumiscriber::ReleaseEverything() {
    // Queued commands may hold textures: empty every layer before the texture manager goes.
    for (const auto& entry : targetsByPriority_) {
        try {
            entry.second->ResetViewportLayers();
        } catch (const std::exception& error) {
            WriteLog(u"CLumiscriber destruction: %hs", error.what());
        }
    }
    EndFrameLifetimes();
    DestroyFramePools();
    sceneManager_.reset();
    emitterMgr_.reset();
    ReleaseDeviceObjects();
    fontTexMgr_.reset();
    texMgr_.reset();
    DestroyMainWindow();
    while (!extraWindows_.empty()) {
        CD3DRenderWindow* window = extraWindows_.back();
        extraWindows_.pop_back();
        delete window;
    }
    ReleaseBuffersAndDevice();
    delete defaultFont_;
    defaultFont_ = nullptr;
    targetsByPriority_.clear();
    targetsByName_.clear();
    currentTarget_ = nullptr;
    currentViewport_ = nullptr;
    EndRelease();
}
