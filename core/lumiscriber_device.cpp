// CLumiscriberCommon: the device road (settings, creation with its fallbacks, capabilities,
// texture formats), the default states and the grey pixel shader, in both builds (loss,
// reset and display-mode changes are in lumiscriber_device_loss.cpp and the legacy build's
// own files).
#include <algorithm>
#include <cstring>
#include <exception>

#include "core/build_variant.h"
#include "core/com_release.h"
#include "core/device_enumeration_search.h"
#include "core/event_log.h"
#include "core/format_helpers.h"
#include "core/frame_clock.h"
#include "core/lumiscriber.h"
#include "draw/batch_processor.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/dxerr/dxerr.h"
#include "platform/tarnel/tarnel.h"
#include "platform/win32/display.h"
#include "platform/win32/message_box.h"
#include "platform/win32/window.h"

namespace {

constexpr char16_t kDashLine[] = u"--------------------------------------------------";  // 50
constexpr double kLowTextureMemoryMb = 16.0;
constexpr DWORD kPixelShader11 = 0xFFFF0101;  // D3DPS_VERSION(1, 1)
constexpr DWORD kModeFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;

STRU_MATCH_OPTIONS StrictMatchOptions() {
    STRU_MATCH_OPTIONS options{};
    options.AdapterOrdinal = kMatchIgnore;
    options.AdapterFormat = kMatchIgnore;
    options.Windowed = kMatchPreserve;
    options.Resolution = kMatchPreserve;
    options.DeviceType = kMatchClosest;
    options.VertexProcessing = kMatchClosest;
    options.BackBufferFormat = kMatchClosest;
    options.BackBufferCount = kMatchClosest;
    options.MultiSample = kMatchClosest;
    options.SwapEffect = kMatchClosest;
    options.DepthFormat = kMatchClosest;
    options.StencilFormat = kMatchClosest;
    options.PresentFlags = kMatchClosest;
    options.RefreshRate = kMatchClosest;
    options.PresentInterval = kMatchClosest;
    return options;
}

STRU_MATCH_OPTIONS RelaxedMatchOptions() {
    STRU_MATCH_OPTIONS options{};
    options.Windowed = kMatchPreserve;
    options.Resolution = kMatchPreserve;
    return options;
}

D3DFORMAT DesktopBackBufferFormat() {
    HDC screen = GetDC(nullptr);
    const int bits = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    return bits == 16 ? D3DFMT_R5G6B5 : D3DFMT_X8R8G8B8;
}

// Sizes the host gives as signed numbers; a negative one is no size at all.
UINT SizeFromParam(std::int32_t value) { return value > 0 ? static_cast<UINT>(value) : 0u; }

// Direct3D 9 makes the device all the same, since the back buffer's size is given: only what
// is presented has nowhere to show.
void LogEmptyClientArea(HWND window) {
    RECT client{};
    if (!GetClientRect(window, &client) || (client.right > client.left && client.bottom > client.top)) return;
    WriteLog(u"The device window's client area is %d x %d: nothing presented shows until it has a size.",
             static_cast<int>(client.right - client.left), static_cast<int>(client.bottom - client.top));
}

}  // namespace

STRU_DEVICE_SETTINGS CLumiscriberCommon::MakeDesiredSettings(const STRU_RENDERER_PARAM& param) const {
    STRU_DEVICE_SETTINGS settings{};
    settings.AdapterOrdinal = 0;
    settings.DeviceType = D3DDEVTYPE_HAL;
    settings.AdapterFormat = D3DFMT_X8R8G8B8;
    settings.BehaviorFlags = D3DCREATE_HARDWARE_VERTEXPROCESSING;
    D3DPRESENT_PARAMETERS& pp = settings.pp;
    pp.BackBufferWidth = SizeFromParam(param.Width);
    pp.BackBufferHeight = SizeFromParam(param.Height);
    if (param.BitsPerPixel == 16) {
        pp.BackBufferFormat = D3DFMT_R5G6B5;
    } else if (param.BitsPerPixel == 32) {
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    } else {
        pp.BackBufferFormat = DesktopBackBufferFormat();
    }
    pp.BackBufferCount = 3;
    pp.MultiSampleType = D3DMULTISAMPLE_NONE;
    pp.MultiSampleQuality = 0;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = param.Window;
    pp.Windowed = param.Windowed != 0 ? TRUE : FALSE;
    pp.EnableAutoDepthStencil = TRUE;
    // Submission order rests on depth: 16 bits cannot tell neighbouring submissions apart.
    // Asking for 24 bits with stencil makes the closest match a 24-bit format whenever the
    // device has one, with or without stencil, and D16 where it has nothing deeper.
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    pp.Flags = D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL;
    pp.FullScreen_RefreshRateInHz = 0;
    pp.PresentationInterval = param.Vsync != 0 ? D3DPRESENT_INTERVAL_ONE : D3DPRESENT_INTERVAL_IMMEDIATE;
    return settings;
}

// Construction (kFatal) stops the process at the first dead end; a display-mode change
// (kSoft) returns false instead and never asks the user anything.
bool CLumiscriberCommon::CreateDeviceRoad(const STRU_RENDERER_PARAM& param, RoadMode mode) {
    const bool fatal = mode == RoadMode::kFatal;
    STRU_DEVICE_SETTINGS desired = MakeDesiredSettings(param);
    const STRU_MATCH_OPTIONS strict = StrictMatchOptions();
    if (fatal) LogEmptyClientArea(param.Window);
    WriteLog(kDashLine);
    if (fatal) {
        WriteLog(u"---- begin create d3d device ----");
        WriteLog(u"standard d3d device settings");
        WriteLog(kDashLine);
    }
    LogDeviceSettings(&desired);

    STRU_DEVICE_SETTINGS found{};
    if (FAILED(adapterEnum_->FindValidDeviceSettings(direct3d_, &found, &desired, &strict))) {
        WriteLog(u"We can NOT find valid device settings for use.");
        const STRU_MATCH_OPTIONS relaxed = RelaxedMatchOptions();
        WriteLog(u"Use self-adaptering finding.");
        if (FAILED(adapterEnum_->FindValidDeviceSettings(direct3d_, &found, &desired, &relaxed))) {
            if (fatal) FatalSetupError("无法找到合适的Direct3D设备配置组合.");
            WriteLog(u"can NOT find invalid device setting.");
            return false;
        }
    }

    WriteLog(kDashLine);
    WriteLog(u"Optimal device setting is found :");
    WriteLog(kDashLine);
    LogDeviceSettings(&found);
    deviceInfo_ = adapterEnum_->GetDeviceInfo(found.AdapterOrdinal, found.DeviceType);
    if (deviceInfo_ == nullptr || !CheckDeviceCaps()) {
        if (fatal) FatalSetupError("weak device caps.");
        return false;
    }
    WriteLog(kDashLine);

    HRESULT hr = CreateDevice(&found);
    if (FAILED(hr)) {
        WriteLog(u"try to reduce setting...");
        desired = found;
        ReduceDeviceSettings(&desired);
        if (FAILED(adapterEnum_->FindValidDeviceSettings(direct3d_, &found, &desired, &strict))) {
            if (fatal) FatalSetupError("降低需求仍然无法找到合适的Direct3D设备配置组合.");
            return false;
        }
        deviceInfo_ = adapterEnum_->GetDeviceInfo(found.AdapterOrdinal, found.DeviceType);
        LogDeviceSettings(&found);
        if (deviceInfo_ == nullptr || !CheckDeviceCaps()) {
            if (fatal) FatalSetupError("weak device caps.");
            return false;
        }
        WriteLog(u"find min settings.");
        hr = CreateDevice(&found);
        if (FAILED(hr)) {
            WriteLog(u"Try free some vide memory.");
            CycleDisplayModeToFreeVideoMemory();
            hr = CreateDevice(&found);
            if (FAILED(hr)) {
                if (!fatal) return false;
                FatalSetupError("failed to create d3d device[2], FreeVidMem=%.2f(mb), desc=[%s]",
                                static_cast<double>(adapterEnum_->FreeVideoMemory()) / kBytesPerMegabyte,
                                DXGetErrorDescriptionA(hr));
            }
        }
    }

    const double textureMemoryMb = static_cast<double>(device_->GetAvailableTextureMem()) / kBytesPerMegabyte;
    WriteLog(u"Available Texture Memory=%.02f (mb)", textureMemoryMb);
    WriteLog(u"----  end create d3d device ----");
    std::int32_t quality = param.Quality;
    // The legacy build never asks.
    if (!lumi::kLegacy && fatal && textureMemoryMb < kLowTextureMemoryMb && param.Quality == 1) {
        const int answer = MessageBoxW(param.Window,
                                       u"当前显存小于16M，建议采用低画质进行游戏，否则可能造成游戏无法启动。\n"
                                       u"是否让系统自动将画质切换成低画质？",
                                       u"警告", MB_YESNO);
        if (answer == IDYES) quality = 3;
    }

    settings_ = found;
    depthStep_ = DepthStepFor(settings_.pp.AutoDepthStencilFormat);
    if (fatal) StampDisplayChange(TimeGet_S());

    CheckOptionalFormats();
    if (fatal) {
        if (a8Supported_ && maxTextureSide_ >= 1024) {
            atlasPageSize_ = 1024;
        } else if (maxTextureSide_ >= 512) {
            atlasPageSize_ = 512;
        } else {
            atlasPageSize_ = maxTextureSide_;
        }
    }
    return ChooseTextureFormats(quality);
}

void CLumiscriberCommon::CheckOptionalFormats() {
    WriteLog(u"Check texture format support.");
    a8Supported_ = CheckTextureFormat(D3DFMT_A8);
    WriteLog(u"D3DFMT_A8 texture format: %s", a8Supported_ ? u"supported" : u"unsupported");
    dxt3Supported_ = CheckTextureFormat(D3DFMT_DXT3);
    WriteLog(u"D3DFMT_DXT3 texture format: %s", dxt3Supported_ ? u"supported" : u"unsupported");
    hardwareCursor_ = (caps_.CursorCaps & 3) != 0;
}

bool CLumiscriberCommon::CheckTextureFormat(D3DFORMAT format) {
    return SUCCEEDED(direct3d_->CheckDeviceFormat(settings_.AdapterOrdinal, settings_.DeviceType,
                                                  settings_.AdapterFormat, 0, D3DRTYPE_TEXTURE, format));
}

bool CLumiscriberCommon::ChooseTextureFormats(std::int32_t quality) {
    alphaIsDxt3_ = false;
    if (quality == 2) {
        alphaFormat_ = D3DFMT_A4R4G4B4;
        normalFormat_ = D3DFMT_R5G6B5;
        uiFormat_ = D3DFMT_A4R4G4B4;
    } else if (quality == 3) {
        if (dxt3Supported_) {
            alphaFormat_ = D3DFMT_DXT3;
            alphaIsDxt3_ = true;
        } else {
            alphaFormat_ = D3DFMT_A4R4G4B4;
        }
        normalFormat_ = D3DFMT_R5G6B5;
        uiFormat_ = D3DFMT_A4R4G4B4;
    } else {
        alphaFormat_ = D3DFMT_A8R8G8B8;
        normalFormat_ = D3DFMT_X8R8G8B8;
        uiFormat_ = D3DFMT_A8R8G8B8;
    }
    const bool alphaOk = CheckTextureFormat(alphaFormat_);
    const bool normalOk = CheckTextureFormat(normalFormat_);
    if (alphaOk && normalOk) {
        WriteLog(u"Alpha Texture Format:%s", FormatName(alphaFormat_));
        WriteLog(u"Normal Texture Format:%s", FormatName(normalFormat_));
        WriteLog(u"UI Texture Format:%s", FormatName(uiFormat_));
        return true;
    }
    if (!alphaOk) WriteLog(u"unsupported texture format:%s\n", FormatName(alphaFormat_));
    if (!normalOk) WriteLog(u"unsupported texture format:%s\n", FormatName(normalFormat_));
    FatalSetupError("device does NOT supported specified texture format!");
}

bool CLumiscriberCommon::CheckDeviceCaps() {
    caps_ = deviceInfo_->Caps;
    WriteLog(u"Check D3D Device Caps:");
    WriteLog(kDashLine);
    WriteLog(u"MaxTextureWidth = %d", static_cast<int>(caps_.MaxTextureWidth));
    WriteLog(u"MaxTextureHeight = %d", static_cast<int>(caps_.MaxTextureHeight));
    WriteLog(u"MaxTextureAspectRatio = %d", static_cast<int>(caps_.MaxTextureAspectRatio));
    bool usable = true;
    squareOnly_ = (caps_.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) != 0 || caps_.MaxTextureAspectRatio < 2;
    if (squareOnly_) WriteLog(u"Only square textures are supported!");
    alphaTestGreaterEqual_ = (caps_.AlphaCmpCaps & D3DPCMPCAPS_GREATEREQUAL) != 0;
    if (!alphaTestGreaterEqual_) WriteLog(u"Alpha Testing(GREATEREQUAL) NOT supported!");
    if ((caps_.ZCmpCaps & D3DPCMPCAPS_LESSEQUAL) == 0) {
        WriteLog(u"Z Testing(LESSEQUAL) NOT supported!");
        usable = false;
    }
    dynamicTextures_ = (caps_.Caps2 & D3DCAPS2_DYNAMICTEXTURES) != 0;
    if (!dynamicTextures_) WriteLog(u"Dynamic textures is NOT supported!");
    if (caps_.MaxTextureWidth < kMinTextureSide || caps_.MaxTextureHeight < kMinTextureSide) {
        WriteLog(u"Adapter does NOT support texture size with [%dx%d]", 512, 512);
        usable = false;
    } else {
        maxTextureSide_ = std::min(caps_.MaxTextureWidth, caps_.MaxTextureHeight);
    }
    WriteLog(u"NumSimultaneousRTS=%d", static_cast<int>(caps_.NumSimultaneousRTs));
    WriteLog(u"PixelShaderVersion=%d.%d", static_cast<int>((caps_.PixelShaderVersion >> 8) & 0xFF),
             static_cast<int>(caps_.PixelShaderVersion & 0xFF));
    pixelShader11_ = caps_.PixelShaderVersion >= kPixelShader11;
    if (!pixelShader11_) WriteLog(u"Adapter does NOT support ps1.1");
    return usable;
}

HRESULT CLumiscriberCommon::CreateDevice(const STRU_DEVICE_SETTINGS* settings) {
    D3DPRESENT_PARAMETERS pp = settings->pp;
    const HRESULT hr = direct3d_->CreateDevice(settings->AdapterOrdinal, settings->DeviceType, pp.hDeviceWindow,
                                               settings->BehaviorFlags, &pp, &device_);
    if (FAILED(hr)) {
        device_ = nullptr;
        WriteLog(u"failed to create d3d device, [%s]", DXGetErrorDescriptionW(hr));
    }
    return hr;
}

void CLumiscriberCommon::CycleDisplayModeToFreeVideoMemory() {
    if (mode800x600x16_.dmPelsWidth != 800 || mode800x600x16_.dmPelsHeight != 600) return;
    DEVMODEW mode = mode800x600x16_;
    mode.dmFields = kModeFields;
    if (ChangeDisplaySettingsW(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL) ChangeDisplaySettingsW(nullptr, 0);
}

void CLumiscriberCommon::SetDefaultRenderStates() {
    if (device_ == nullptr) return;
    device_->SetDialogBoxMode(TRUE);
    device_->SetVertexShader(nullptr);
    device_->SetPixelShader(nullptr);
    auto render = [this](D3DRENDERSTATETYPE state, DWORD value) {
        DWORD current = 0;
        if (FAILED(device_->GetRenderState(state, &current)) || current != value) device_->SetRenderState(state, value);
    };
    auto stage = [this](DWORD index, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
        DWORD current = 0;
        if (FAILED(device_->GetTextureStageState(index, type, &current)) || current != value) {
            device_->SetTextureStageState(index, type, value);
        }
    };
    auto sampler = [this](D3DSAMPLERSTATETYPE type, DWORD value) {
        DWORD current = 0;
        if (FAILED(device_->GetSamplerState(0, type, &current)) || current != value) {
            device_->SetSamplerState(0, type, value);
        }
    };
    render(D3DRS_ZENABLE, D3DZB_TRUE);
    render(D3DRS_FILLMODE, D3DFILL_SOLID);
    render(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    render(D3DRS_CULLMODE, D3DCULL_CCW);
    render(D3DRS_LIGHTING, FALSE);
    render(D3DRS_ZWRITEENABLE, TRUE);
    render(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    render(D3DRS_ALPHATESTENABLE, alphaTestGreaterEqual_ ? TRUE : FALSE);
    render(D3DRS_ALPHAREF, 0);
    render(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    render(D3DRS_DITHERENABLE, FALSE);
    stage(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    stage(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    stage(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    stage(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    stage(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    stage(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    stage(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    stage(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    if constexpr (lumi::kLegacy) {
        // The legacy build magnifies by point sampling and leaves ADDRESSV as the device has it.
        sampler(D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
        sampler(D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        sampler(D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        sampler(D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    } else {
        sampler(D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
        sampler(D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
        sampler(D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        sampler(D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        sampler(D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    }
    render(D3DRS_ALPHABLENDENABLE, TRUE);
    render(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    render(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
}

void CLumiscriberCommon::CreateGreyPixelShader() {
    static constexpr char kSource[] =
        "// this pixel shader renders a gray image.\n"
        "    ps.1.1\n"
        "    def c1, 0.2125f, 0.7154f, 0.0721f, 1.0f\n"
        "    tex t0\n"
        "    dp3 r0.rgb, t0, c1\n"
        "    mov r0.a, t0\n";
    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* errors = nullptr;
    const HRESULT hr = D3DXAssembleShader(kSource, sizeof(kSource) - 1, nullptr, nullptr, 0, &code, &errors);
    if (errors != nullptr) errors->Release();
    if (FAILED(hr) || code == nullptr) {
        if (code != nullptr) code->Release();
        WriteLog(u"failed to create ps.");
        return;
    }
    IDirect3DPixelShader9* shader = nullptr;
    if (SUCCEEDED(device_->CreatePixelShader(static_cast<const DWORD*>(code->GetBufferPointer()), &shader))) {
        greyShader_ = shader;
    }
    code->Release();
}

void CLumiscriberCommon::StayLostAfterFailedRestore(const std::exception& error) {
    deviceLost_ = true;
    if (restoreFailureLogged_) return;
    restoreFailureLogged_ = true;
    WriteLog(u"BeginScene - Device restore Failed [%hs], retried at the next BeginScene.", error.what());
}

bool CLumiscriber::EvictManagedResources() {
    return device_ != nullptr && device_->EvictManagedResources() == S_OK;
}

void CLumiscriberCommon::ReleaseCursorSurface() { ReleaseAndClear(cursorSurface_); }
