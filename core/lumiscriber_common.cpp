// CLumiscriberCommon: the construction, destruction and reset steps both builds take, the
// display modes, the fatal set-up stop, the user data word and the file callbacks.
#include "core/lumiscriber_common.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/com_release.h"
#include "core/event_log.h"
#include "core/exception.h"
#include "core/file_callbacks.h"
#include "core/frame_clock.h"
#include "core/lumiscriber.h"
#include "core/system_info_report.h"
#include "draw/d3d_buffers.h"
#include "draw/tex_mgr.h"
#include "particle/particle_emitter_mgr.h"
#include "platform/dxerr/dxerr.h"
#include "platform/tarnel/tarnel.h"
#include "platform/win32/time.h"

CLumiscriberCommon::CLumiscriberCommon(const STRU_RENDERER_PARAM& param)
    : userData_(param.UserData), vsync_(param.Vsync != 0) {}

CLumiscriberCommon::~CLumiscriberCommon() = default;

// ---- Construction and destruction ----

void CLumiscriberCommon::ConstructOrRelease(const STRU_RENDERER_PARAM& param) {
    try {
        Renderer().Construct(param);
    } catch (...) {
        // The host never gets a half-built renderer.
        Renderer().ReleaseEverything();
        throw;
    }
}

void CLumiscriberCommon::Destroy() {
    const std::uint64_t frames = frameCount_;
    const std::uint64_t runningMs = runningTimeMs_;
    WriteLog(u"---- Begining CLumiscriber destruction ----");
    WriteLog(u">> Statistic <<");
    WriteLog(u"Frame Count : %d", static_cast<std::int32_t>(static_cast<std::uint32_t>(frames)));
    WriteLog(u"Running Time : %d(ms)", static_cast<std::int32_t>(static_cast<std::uint32_t>(runningMs)));
    WriteLog(u"FPS : %f", static_cast<double>(frames) * 1000.0 / static_cast<double>(runningMs + 1));

    GetStatistics();
    OpenEventLog(LogOpenMode::kAppend);

    Renderer().ReleaseEverything();

    WriteLog(u"---- CLumiscriber destruction completed ----");
    CloseEventLog();
}

void CLumiscriberCommon::BeginConstruction() {
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
}

void CLumiscriberCommon::CreateDeviceAndBuffers(const STRU_RENDERER_PARAM& param) {
    WriteLog(u"Direct3D Renderer Construct");
    WriteLog(u"---- Begining Direct3D initialisation ----");
    direct3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    if (direct3d_ == nullptr) FatalSetupError("创建Direct3D接口时出错，请检查是否安装了DirectX 9.0.");
    WriteLog(u"==>Direct3D Object Created.");

    CAdapterEnum* adapterEnum = GetAdapterEnum(direct3d_, param.Window);
    if (adapterEnum == nullptr || adapterEnum->Adapters().empty()) FatalSetupError("无法获取到显卡信息");
    adapterEnum_ = adapterEnum;

    CreateDeviceRoad(param, RoadMode::kFatal);

    vertexBuffer_ = std::make_unique<CD3DVertexBuffer>(&Renderer());
    indexBuffer_ = std::make_unique<CD3DIndexBuffer>(&Renderer());
}

void CLumiscriberCommon::CreateTextureManager() {
    WriteLog(u"TexMgr creating...");
    texMgr_ = std::make_unique<CTexMgr>(&Renderer());
}

void CLumiscriberCommon::FinishDeviceSetup() {
    SetDefaultRenderStates();
    if (pixelShader11_) CreateGreyPixelShader();
    WriteLog(u"Direct3D Renderer Construct success");
}

void CLumiscriberCommon::ReleaseDeviceObjects() {
    ReleaseAndClear(greyShader_);
    ReleaseCursorSurface();
}

void CLumiscriberCommon::ReleaseBuffersAndDevice() {
    try {
        if (vertexBuffer_) vertexBuffer_->Release();
        if (indexBuffer_) indexBuffer_->Release();
    } catch (const std::exception& error) {
        WriteLog(u"CLumiscriber destruction: %hs", error.what());
    }
    vertexBuffer_.reset();
    indexBuffer_.reset();
    ReleaseAndClear(device_);
    ReleaseAndClear(direct3d_);
}

void CLumiscriberCommon::EndRelease() {
    systemInfo_.Clear();
    if (timerPeriodBegun_) {
        timeEndPeriod(1);
        timerPeriodBegun_ = false;
    }
}

void CLumiscriberCommon::FillDisplayModes() {
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

void CLumiscriberCommon::FatalSetupError(const char* format, ...) {
    char message[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof(message), format, args);
    va_end(args);
    LogSystemInfo(&systemInfo_);
    Error("%s", message);
}

// ---- Device loss and reset ----

void CLumiscriberCommon::EnterLostState() {
    if (deviceLost_) return;
    deviceLost_ = true;
    Renderer().OnLostDevice();
}

bool CLumiscriberCommon::ResetWithPresentParameters() {
    const HRESULT hr = device_ != nullptr ? device_->Reset(&settings_.pp) : D3DERR_INVALIDCALL;
    if (SUCCEEDED(hr)) return true;
    WriteLog(u"BeginScene - Device reset Failed [%s]", DXGetErrorDescriptionW(hr));
    EnterLostState();
    return false;
}

void CLumiscriberCommon::FinishReset(const std::function<void()>& restore, const std::function<void()>& release) {
    try {
        restore();
    } catch (const std::exception& error) {
        StayLostAfterFailedRestore(error);
        release();
        return;
    }
    restoreFailureLogged_ = false;
    WriteLog(u"BeginScene - Device Reset Succeed.");
    deviceLost_ = false;
    ReapplyCursor();
}

void CLumiscriberCommon::ReapplyCursor() {
    if (hardwareCursor_ && cursorTexture_ != nullptr) ApplyCursor();
}

// ---- Small operations ----

std::int32_t CLumiscriberCommon::GetUserData() { return userData_; }

void CLumiscriberCommon::SetFileSystem(PFN_FILE_OPEN open1, PFN_FILE_CLOSE close1, PFN_FILE_READ read1,
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

void CLumiscriberCommon::ThrowUnsupported() const { throw lumi::Exception("unsupported method!"); }
