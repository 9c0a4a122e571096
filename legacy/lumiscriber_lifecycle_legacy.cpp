// CLumiscriber (legacy build): construction and destruction.
#include <cstring>
#include <exception>

#include "core/event_log.h"
#include "core/file_callbacks.h"
#include "core/frame_clock.h"
#include "core/lumiscriber.h"
#include "core/render_target_texture.h"
#include "draw/d3d_buffers.h"
#include "draw/d3d_texture.h"
#include "draw/draw_layer.h"
#include "draw/tex_mgr.h"
#include "legacy/clip_scale.h"
#include "legacy/font_desc.h"
#include "legacy/font_tex_mgr_legacy.h"
#include "legacy/swap_chain_legacy.h"
#include "particle/particle_emitter_mgr.h"
#include "platform/tarnel/tarnel.h"
#include "platform/win32/time.h"

namespace {

constexpr std::uint8_t kDrawLayerId = 50;

}  // namespace

CLumiscriber::CLumiscriber(const STRU_RENDERER_PARAM& param) : userData_(param.UserData), vsync_(param.Vsync != 0) {
    try {
        Construct(param);
    } catch (...) {
        // Nothing half-built may outlive the failed construction: the host never gets it.
        ReleaseEverything();
        throw;
    }
}

void CLumiscriber::Construct(const STRU_RENDERER_PARAM& param) {
    OpenEventLog(LogOpenMode::kTruncate);
    WriteLogBanner();

    timeBeginPeriod(1);
    timerPeriodBegun_ = true;
    std::memset(g_PathBuffer, 0, sizeof(g_PathBuffer));
    settings_ = STRU_DEVICE_SETTINGS{};
    mode800x600x16_ = DEVMODEW{};
    constructionTimeMs_ = TimeGet_S();
    sampleStartMs_ = constructionTimeMs_;
    fileCallbacks_[0] = DefaultFileCallbacks();
    fileCallbacks_[1] = DefaultFileCallbacks();

    FillDisplayModes();
    commandPools_ = std::make_unique<cmd_pool_set_t>();
    frameCommands_ = std::make_unique<frame_commands_t>(*commandPools_);
    SetClipScale(param.Width, param.Height);

    WriteLog(u"Direct3D Renderer Construct");
    WriteLog(u"---- Begining Direct3D initialisation ----");
    direct3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    if (direct3d_ == nullptr) FatalSetupError("创建Direct3D接口时出错，请检查是否安装了DirectX 9.0.");
    WriteLog(u"==>Direct3D Object Created.");

    CAdapterEnum* adapterEnum = GetAdapterEnum(direct3d_, param.Window);
    if (adapterEnum == nullptr || adapterEnum->Adapters().empty()) FatalSetupError("无法获取到显卡信息");
    adapterEnum_ = adapterEnum;

    CreateDeviceRoad(param, RoadMode::kFatal);

    vertexBuffer_ = std::make_unique<CD3DVertexBuffer>(this);
    indexBuffer_ = std::make_unique<CD3DIndexBuffer>(this);
    layer_ = std::make_unique<draw_layer_t>(nullptr, this, kDrawLayerId);
    offscreenLayer_ = std::make_unique<draw_layer_t>(nullptr, this, kDrawLayerId);
    openLayer_ = layer_.get();

    WriteLog(u"TexMgr creating...");
    texMgr_ = std::make_unique<CTexMgr>(this);
    WriteLog(u"FontTexMgr creating...");
    fontTexMgr_ = std::make_unique<CFontTexMgr>(this);
    emitterMgr_ = std::make_unique<CParticleEmitterMgr>(this, texMgr_.get());

    SetDefaultRenderStates();
    if (pixelShader11_) CreateGreyPixelShader();

    WriteLog(u"Direct3D Renderer Construct success");
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    param_ = param;
}

CLumiscriber::~CLumiscriber() {
    const std::uint64_t frames = frameCount_;
    const std::uint64_t runningMs = runningTimeMs_;
    WriteLog(u"---- Begining CLumiscriber destruction ----");
    WriteLog(u">> Statistic <<");
    WriteLog(u"Frame Count : %d", static_cast<std::int32_t>(static_cast<std::uint32_t>(frames)));
    WriteLog(u"Running Time : %d(ms)", static_cast<std::int32_t>(static_cast<std::uint32_t>(runningMs)));
    WriteLog(u"FPS : %f", static_cast<double>(frames) * 1000.0 / static_cast<double>(runningMs + 1));

    GetStatistics();
    OpenEventLog(LogOpenMode::kAppend);

    ReleaseEverything();

    WriteLog(u"---- CLumiscriber destruction completed ----");
    CloseEventLog();
}

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
    if (greyShader_ != nullptr) {
        greyShader_->Release();
        greyShader_ = nullptr;
    }
    ReleaseCursorSurface();
    if (cursorTexture_ != nullptr) {
        cursorTexture_->Release();
        cursorTexture_ = nullptr;
    }
    emitterMgr_.reset();
    fontTexMgr_.reset();
    texMgr_.reset();
    try {
        if (vertexBuffer_) vertexBuffer_->Release();
        if (indexBuffer_) indexBuffer_->Release();
    } catch (const std::exception& error) {
        WriteLog(u"CLumiscriber destruction: %hs", error.what());
    }
    vertexBuffer_.reset();
    indexBuffer_.reset();
    if (device_ != nullptr) {
        device_->Release();
        device_ = nullptr;
    }
    if (direct3d_ != nullptr) {
        direct3d_->Release();
        direct3d_ = nullptr;
    }
    delete defaultFont_;
    defaultFont_ = nullptr;
    commandPools_.reset();
    systemInfo_.Clear();
    if (timerPeriodBegun_) {
        timeEndPeriod(1);
        timerPeriodBegun_ = false;
    }
}
