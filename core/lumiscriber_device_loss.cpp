// CLumiscriber: device loss and reset, display-mode changes and the main render window they
// rebuild (current build; the legacy build has its own loss and reset and no mode changes).
#include <exception>

#include "core/com_release.h"
#include "core/event_log.h"
#include "core/exception.h"
#include "core/frame_clock.h"
#include "core/lumiscriber.h"
#include "core/render_window.h"
#include "core/scene_manager.h"
#include "core/viewport.h"
#include "draw/d3d_buffers.h"
#include "draw/font_tex_mgr.h"
#include "draw/tex_mgr.h"
#include "platform/tarnel/tarnel.h"
#include "platform/win32/window.h"

namespace {

constexpr LONG kNoRestyleBit = 0x40000000;
constexpr DWORD kPopupVisibleStyle = WS_POPUP | WS_VISIBLE;

}  // namespace

void CLumiscriber::OnLostDevice() {
    if (mainWindow_) mainWindow_->ReleaseSurfaces();
    for (CD3DRenderWindow* window : extraWindows_) window->ReleaseSurfaces();
    if (texMgr_) texMgr_->OnLostDevice();
    if (vertexBuffer_) vertexBuffer_->Release();
    if (indexBuffer_) indexBuffer_->Release();
    ReleaseCursorSurface();
    // The surfaces a viewport was applied with are gone: the next one must be applied anew.
    viewportStale_ = true;
}

void CLumiscriber::ResetDevice() {
    if (deviceLost_) OnLostDevice();
    if (!ResetWithPresentParameters()) return;
    FinishReset(
        [this] {
            SetDefaultRenderStates();
            if (mainWindow_) mainWindow_->CreateSurfaces();
            RecreateExtraWindowSurfaces();
            if (texMgr_) texMgr_->RestoreVideoTextures();
        },
        [this] { OnLostDevice(); });
}

void CLumiscriber::RecreateExtraWindowSurfaces() {
    for (CD3DRenderWindow* window : extraWindows_) {
        try {
            window->CreateSurfaces();
            window->SetReady(true);
        } catch (const std::exception& error) {
            // One window that cannot be had stays without surfaces (not ready, so no frame
            // draws or presents it) until the next reset or mode change tries again; said
            // when it goes, not at every retry.
            if (window->IsReady()) {
                WriteLog(u"render window [%hs] left without surfaces: %hs", window->GetName().c_str(), error.what());
            }
            window->ReleaseSurfaces();
            window->SetReady(false);
        }
    }
}

bool CLumiscriber::RecreateDevice(const STRU_RENDERER_PARAM& param) {
    return CreateDeviceRoad(param, RoadMode::kSoft);
}

void CLumiscriber::CreateMainWindow(const STRU_RENDERER_PARAM& param, bool createCamera) {
    mainWindow_.reset(new CD3DRenderWindow(param.Window, this, false));
    mainWindow_->Create("MainRenderWindow", static_cast<std::uint16_t>(param.Width),
                        static_cast<std::uint16_t>(param.Height), param.Windowed == 0);
    mainWindow_->SetPriority(255);
    RegisterRenderTarget(mainWindow_.get());
    CCamera* camera =
        createCamera ? sceneManager_->CreateCamera("DefaultCamera") : sceneManager_->GetCamera("DefaultCamera");
    viewport_t* viewport = mainWindow_->AddViewport(camera, 0, 0.0f, 0.0f, 1.0f, 1.0f);
    if (viewport != nullptr) {
        sceneManager_->SetCurrentViewport(viewport);
        viewport->SetClearFlags(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    }
}

void CLumiscriber::DestroyMainWindow() {
    if (!mainWindow_) return;
    UnregisterRenderTarget(mainWindow_.get());
    mainWindow_.reset();
}

void CLumiscriber::TearDownForModeChange() {
    ReleaseDeviceObjects();
    if (fontTexMgr_) fontTexMgr_->ReleasePages();
    if (texMgr_) texMgr_->UnloadAll();
    if (vertexBuffer_) vertexBuffer_->Release();
    if (indexBuffer_) indexBuffer_->Release();
    DestroyMainWindow();
    for (CD3DRenderWindow* window : extraWindows_) window->ReleaseSurfaces();
    ReleaseAndClear(device_);
    viewportStale_ = true;
}

// Each step stands on its own: one that fails is logged and the later ones still run, so the
// renderer never works at a size, with states or with glyph pages its records do not match.
void CLumiscriber::RebuildAfterModeChange(const STRU_RENDERER_PARAM& param) {
    deviceLost_ = false;  // a new device starts working
    CreateMainWindow(param, false);
    RecreateExtraWindowSurfaces();
    SetDefaultRenderStates();
    if (pixelShader11_) CreateGreyPixelShader();
    try {
        if (texMgr_) texMgr_->AllocateAtlasPages();
    } catch (const std::exception& error) {
        WriteLog(u"ChangeDisplayMode - atlas pages without memory: %hs", error.what());
    }
    StampDisplayChange(TimeGet_S());
    ReapplyCursor();
}

bool CLumiscriber::ChangeDisplayMode(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel,
                                     std::int32_t quality, bool vsync, bool windowed) {
    // The windowed and vsync flags count as part of the mode: a switch between windowed and
    // full screen is carried out, never reported as done without doing it.
    if (width == param_.Width && height == param_.Height && bitsPerPixel == param_.BitsPerPixel &&
        quality == param_.Quality && windowed == (param_.Windowed != 0) && vsync == (param_.Vsync != 0)) {
        return true;
    }
    // Tearing down a lost device would leave nothing a new one could be made from; the reset
    // at BeginScene must come first.
    if (deviceLost_) {
        WriteLog(u"ChangeDisplayMode - the device is lost: try again once BeginScene has reset it.");
        return false;
    }
    if (width <= 0 || height <= 0 || direct3d_ == nullptr) return false;
    D3DDISPLAYMODE desktop{};
    if (FAILED(direct3d_->GetAdapterDisplayMode(0, &desktop))) return false;
    if (static_cast<UINT>(width) > desktop.Width || static_cast<UINT>(height) > desktop.Height) return false;
    const bool fullScreenStyle = static_cast<UINT>(width) == desktop.Width && static_cast<UINT>(height) == desktop.Height;

    TearDownForModeChange();

    STRU_RENDERER_PARAM wanted{};
    wanted.UserData = param_.UserData;
    wanted.Window = param_.Window;
    wanted.Width = width;
    wanted.Height = height;
    wanted.BitsPerPixel = bitsPerPixel;
    wanted.Quality = quality;
    wanted.Windowed = windowed ? 1 : 0;
    wanted.Vsync = vsync ? 1 : 0;
    if (RecreateDevice(wanted)) {
        // The device runs at the new mode from here: so do the renderer's records.
        param_ = wanted;
        vsync_ = vsync;
        ApplyWindowStyle(wanted.Window, width, height, fullScreenStyle);
        RebuildAfterModeChange(wanted);
        return true;
    }
    if (!RecreateDevice(param_)) throw lumi::Exception("restore d3d device failed.");
    RebuildAfterModeChange(param_);
    return false;
}

void CLumiscriber::ApplyWindowStyle(HWND window, std::int32_t width, std::int32_t height, bool fullScreenStyle) {
    if (fullScreenStyle) {
        if ((GetWindowLongW(window, GWL_EXSTYLE) & kNoRestyleBit) != 0) return;
        savedWindowStyle_ = GetWindowLongW(window, GWL_STYLE);
        RECT rect{0, 0, width, height};
        AdjustWindowRectEx(&rect, kPopupVisibleStyle, GetMenu(window) != nullptr,
                           static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)));
        SetWindowLongW(window, GWL_STYLE, static_cast<LONG>(kPopupVisibleStyle));
        SetWindowPos(window, HWND_TOPMOST, 0, 0, rect.right - rect.left, rect.bottom - rect.top, SWP_NOZORDER);
        return;
    }
    if (savedWindowStyle_ != 0) {
        SetWindowLongW(window, GWL_STYLE, savedWindowStyle_);
        SetWindowPos(window, nullptr, 0, 0, width, height, SWP_FRAMECHANGED);
    }
    RECT windowRect{};
    RECT clientRect{};
    GetWindowRect(window, &windowRect);
    GetClientRect(window, &clientRect);
    const int outerWidth = width + (windowRect.right - windowRect.left) - (clientRect.right - clientRect.left);
    const int outerHeight = height + (windowRect.bottom - windowRect.top) - (clientRect.bottom - clientRect.top);
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    int x = 0;
    int y = 0;
    if (outerWidth < screenWidth && outerHeight < screenHeight) {
        x = (screenWidth - outerWidth) / 2;
        y = (screenHeight - outerHeight) / 2;
    }
    SetWindowPos(window, nullptr, x, y, outerWidth, outerHeight, SWP_FRAMECHANGED);
    ShowWindow(window, SW_SHOW);
}
