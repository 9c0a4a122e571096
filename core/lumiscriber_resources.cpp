// CLumiscriber: render windows, window size, sound interface and the operations on
// textures, fonts, emitters and the cursor.
#include <cstdio>

#include "core/exception.h"
#include "core/lumiscriber.h"
#include "core/render_window.h"
#include "core/scene_manager.h"
#include "core/swap_chain.h"
#include "core/viewport.h"
#include "draw/tex_mgr.h"
#include "platform/win32/window.h"

IRenderTarget* CLumiscriber::GetMainWindow() { return mainWindow_.get(); }

std::int16_t CLumiscriber::GetWidth() { return static_cast<std::int16_t>(param_.Width); }

std::int16_t CLumiscriber::GetHeight() { return static_cast<std::int16_t>(param_.Height); }

void CLumiscriber::SetSoundInterface(IHostSoundSystem* sound) { sound_ = sound; }

void CLumiscriber::UnsupportedMethodA() { ThrowUnsupported(); }

void CLumiscriber::UnsupportedMethodB() { ThrowUnsupported(); }

ISwapChain* CLumiscriber::CreateRenderWindow(HWND window, std::int32_t width, std::int32_t height) {
    if (device_ == nullptr || window == nullptr || !IsWindow(window) || width <= 0 || height <= 0) return nullptr;
    char name[32];
    std::snprintf(name, sizeof(name), "AutoWindow%d", autoWindowCounter_++);
    auto* renderWindow = new CD3DRenderWindow(window, this, true);
    try {
        renderWindow->Create(name, static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), false);
        if (!RegisterRenderTarget(renderWindow)) {
            delete renderWindow;
            return nullptr;
        }
        CCamera* camera = sceneManager_ ? sceneManager_->GetCamera("DefaultCamera") : nullptr;
        viewport_t* viewport = renderWindow->AddViewport(camera, 0, 0.0f, 0.0f, 1.0f, 1.0f);
        if (viewport != nullptr) viewport->SetClearFlags(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    } catch (...) {
        UnregisterRenderTarget(renderWindow);
        delete renderWindow;
        throw;
    }
    extraWindows_.push_back(renderWindow);
    return renderWindow->GetSwapChain();
}

// Looks the handle up without touching it, so a handle the renderer no longer knows (or
// never made) is harmless.
CD3DRenderWindow* CLumiscriber::FindExtraWindow(const ISwapChain* swapChain) const {
    if (swapChain == nullptr) return nullptr;
    for (CD3DRenderWindow* window : extraWindows_) {
        if (window->GetSwapChain() == swapChain) return window;
    }
    return nullptr;
}

void CLumiscriber::DestroyRenderWindow(ISwapChain* swapChain) {
    CD3DRenderWindow* window = FindExtraWindow(swapChain);
    if (window == nullptr) return;
    const bool wasCurrent = currentTarget_ == window;
    UnregisterRenderTarget(window);
    for (auto it = extraWindows_.begin(); it != extraWindows_.end(); ++it) {
        if (*it == window) {
            extraWindows_.erase(it);
            break;
        }
    }
    delete window;
    // Draws must never go into a window that is gone: they fall back to the main window.
    if (wasCurrent) SelectRenderTarget(nullptr);
}

IRenderTarget* CLumiscriber::SelectRenderWindow(ISwapChain* swapChain) {
    if (swapChain == nullptr) return SelectRenderTarget(nullptr);
    CD3DRenderWindow* window = FindExtraWindow(swapChain);
    if (window == nullptr) return currentTarget_;
    return SelectRenderTarget(window);
}

void CLumiscriber::DumpTextureAtlas() {
    if (texMgr_) texMgr_->DumpAtlasPages();
}

// The operations below come with textures, the texture manager, fonts, particles and the
// hardware cursor.
bool CLumiscriber::IsHardwareCursorSupported() { ThrowUnsupported(); }
bool CLumiscriber::ShowCursor(bool) { ThrowUnsupported(); }
void CLumiscriber::SetCursorHotSpot(std::int32_t, std::int32_t) { ThrowUnsupported(); }
void CLumiscriber::SetCursorTexture(std::int32_t, std::int32_t, ITexture*, const RECT*) { ThrowUnsupported(); }
ITexture* CLumiscriber::CreateUITexture(std::int32_t, std::int32_t) { ThrowUnsupported(); }
ITexture* CLumiscriber::CreateTexture(std::int32_t, std::int32_t, D3DFORMAT, DWORD) { ThrowUnsupported(); }
ITexture* CLumiscriber::CreateTexture(const WCHAR*) { ThrowUnsupported(); }
ITexture* CLumiscriber::CreateTexture() { ThrowUnsupported(); }
ITexture* CLumiscriber::CreateMaskTexture(float) { ThrowUnsupported(); }
void CLumiscriber::DestroyTexture(ITexture*) { ThrowUnsupported(); }
ITextureCell* CLumiscriber::AllocTextureCell(std::int32_t) { ThrowUnsupported(); }
void CLumiscriber::ReleaseTextureCell(ITextureCell**) { ThrowUnsupported(); }
bool CLumiscriber::IsPixelTransparent(STRU_DRAW_COMMAND_BASE*, std::int32_t, std::int32_t) { ThrowUnsupported(); }
D3DCOLOR CLumiscriber::GetPixelColor(STRU_DRAW_COMMAND_BASE*, std::int32_t, std::int32_t) { ThrowUnsupported(); }
STRU_IMAGE_FILE_SIZE CLumiscriber::GetImageFileSize(const WCHAR*) { ThrowUnsupported(); }
bool CLumiscriber::GetTextureSize(STRU_DRAW_COMMAND_BASE*, std::int16_t*, std::int16_t*) { ThrowUnsupported(); }
bool CLumiscriber::SavePrimitiveTexture(STRU_DRAW_COMMAND_BASE*, const WCHAR*, const RECT*) { ThrowUnsupported(); }
void CLumiscriber::PreloadTexture(const WCHAR*) { ThrowUnsupported(); }
bool CLumiscriber::SetTexture(STRU_DRAW_COMMAND_BASE*, const WCHAR*, bool) { ThrowUnsupported(); }
bool CLumiscriber::AttachTexture(STRU_DRAW_COMMAND_BASE*, ITexture*, std::int32_t) { ThrowUnsupported(); }
void CLumiscriber::SetParticleEmitter(STRU_DRAW_COMMAND_BASE*, const WCHAR*, std::int32_t) { ThrowUnsupported(); }
float CLumiscriber::GetEmitterLife(STRU_DRAW_COMMAND_BASE*) { ThrowUnsupported(); }
bool CLumiscriber::IsEmitterAlive(STRU_DRAW_COMMAND_BASE*) { ThrowUnsupported(); }
void CLumiscriber::RestartEmitter(STRU_DRAW_COMMAND_BASE*, std::int32_t) { ThrowUnsupported(); }
CRenderFont* CLumiscriber::SetDefaultFont(const WCHAR*, std::int32_t) { ThrowUnsupported(); }
void CLumiscriber::SetWesternFontPath(const WCHAR*) { ThrowUnsupported(); }
IFont* CLumiscriber::GetFont(const WCHAR*, std::int32_t, std::int32_t, std::int32_t) { ThrowUnsupported(); }
CParticleEmitter* CLumiscriber::GetParticleEmitter(STRU_DRAW_COMMAND_BASE*) { ThrowUnsupported(); }
bool CLumiscriber::IsTextureLoaded(const WCHAR*) { ThrowUnsupported(); }
bool CLumiscriber::IsPrimitiveTextureLoaded(STRU_DRAW_COMMAND_BASE*) { ThrowUnsupported(); }
bool CLumiscriber::DrawTex2Tex(const WCHAR*, const RECT*, IRenderTarget*, const POINT*) { ThrowUnsupported(); }
bool CLumiscriber::SaveTexture(ITexture*, const WCHAR*) { ThrowUnsupported(); }
bool CLumiscriber::SaveImageRegion(const WCHAR*, const RECT*, const WCHAR*, const SIZE*) { ThrowUnsupported(); }
bool CLumiscriber::IsImageTransparent(const WCHAR*) { ThrowUnsupported(); }
bool CLumiscriber::GetTexOptimizationRect(const WCHAR*, RECT*) { ThrowUnsupported(); }
bool CLumiscriber::SetFontAntialias(bool) { ThrowUnsupported(); }
bool CLumiscriber::GetFontAntialias() { ThrowUnsupported(); }
