// CLumiscriber: construction, destruction, the user data word and the file callbacks.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/event_log.h"
#include "core/exception.h"
#include "core/file_callbacks.h"
#include "core/frame_clock.h"
#include "core/frame_pool.h"
#include "core/lumiscriber.h"
#include "core/render_window.h"
#include "core/scene_manager.h"
#include "core/system_info_report.h"
#include "draw/d3d_buffers.h"
#include "draw/draw_commands.h"
#include "draw/font_tex_mgr.h"
#include "draw/tex_mgr.h"
#include "particle/particle_emitter_mgr.h"
#include "platform/tarnel/tarnel.h"
#include "platform/win32/time.h"

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
    CreateFramePools();

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

    sceneManager_ = std::make_unique<CSceneManager>();
    sceneManager_->SetRenderer(this);

    CreateMainWindow(param, true);

    WriteLog(u"TexMgr creating...");
    texMgr_ = std::make_unique<CTexMgr>(this);
    WriteLog(u"FontTexMgr creating...");
    fontTexMgr_ = std::make_unique<CFontTexMgr>(this);

    SetDefaultRenderStates();
    if (pixelShader11_) CreateGreyPixelShader();

    WriteLog(u"Direct3D Renderer Construct success");

    emitterMgr_ = std::make_unique<CParticleEmitterMgr>(this, texMgr_.get());
    param_ = param;
}

void CLumiscriber::FillDisplayModes() {
    bool found800x600x16 = false;
    for (DWORD index = 0;; ++index) {
        DEVMODEW mode{};
        mode.dmSize = sizeof(DEVMODEW);
        if (!EnumDisplaySettingsW(nullptr, index, &mode)) break;
        displayModes_.push_back(mode);
        if (!found800x600x16 && mode.dmPelsWidth == 800 && mode.dmPelsHeight == 600 && mode.dmBitsPerPel == 16) {
            mode800x600x16_ = mode;
            found800x600x16 = true;
        }
    }
}

void CLumiscriber::FatalSetupError(const char* format, ...) {
    char message[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof(message), format, args);
    va_end(args);
    LogSystemInfo(&systemInfo_);
    Error("%s", message);
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
    if (greyShader_ != nullptr) {
        greyShader_->Release();
        greyShader_ = nullptr;
    }
    ReleaseCursorSurface();
    fontTexMgr_.reset();
    texMgr_.reset();
    DestroyMainWindow();
    while (!extraWindows_.empty()) {
        CD3DRenderWindow* window = extraWindows_.back();
        extraWindows_.pop_back();
        delete window;
    }
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
    systemInfo_.Clear();
    targetsByPriority_.clear();
    targetsByName_.clear();
    currentTarget_ = nullptr;
    currentViewport_ = nullptr;
    if (timerPeriodBegun_) {
        timeEndPeriod(1);
        timerPeriodBegun_ = false;
    }
}

std::int32_t CLumiscriber::GetUserData() { return userData_; }

void CLumiscriber::SetFileSystem(PFN_FILE_OPEN open1, PFN_FILE_CLOSE close1, PFN_FILE_READ read1,
                                 PFN_FILE_SEEK seek1, PFN_FILE_OPEN open2, PFN_FILE_CLOSE close2,
                                 PFN_FILE_READ read2, PFN_FILE_SEEK seek2) {
    if (!open1 || !close1 || !read1 || !seek1) {
        Error("CLumiscriber::SetFileSystem() - invalid 1st file callback function pointer!");
    }
    if (!open2 || !close2 || !read2 || !seek2) {
        Error("CLumiscriber::SetFileSystem() - invalid 2nd file callback function pointer!");
    }
    fileCallbacks_[0] = STRU_FILE_CALLBACKS{open1, close1, read1, seek1};
    fileCallbacks_[1] = STRU_FILE_CALLBACKS{open2, close2, read2, seek2};
}

void CLumiscriber::ThrowUnsupported() const { throw lumi::Exception("unsupported method!"); }
