// CLumiscriber: render windows, host cells, the sound interface, drawing an image file into a
// render-target texture and the operations of the current build's interface alone (textures
// and image files are in lumiscriber_textures.cpp, the hardware cursor in
// lumiscriber_cursor.cpp).
#include <cstdio>

#include "core/event_log.h"
#include "core/exception.h"
#include "core/host_handles.h"
#include "core/lumiscriber.h"
#include "core/render_target_texture.h"
#include "core/render_window.h"
#include "core/scene_manager.h"
#include "core/swap_chain.h"
#include "core/viewport.h"
#include "draw/d3d_texture.h"
#include "draw/draw_commands.h"
#include "draw/huge_texture.h"
#include "draw/tex_mgr.h"
#include "draw/texture_cell.h"
#include "platform/win32/window.h"

using lumi::AsTexture;
using lumi::IsEmptyText;
using lumi::SwapCommandTexture;
using lumi::TexturedCommand;

IRenderTarget* CLumiscriber::GetMainWindow() { return mainWindow_.get(); }

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

ITexture* CLumiscriber::CreateTexture(std::int32_t width, std::int32_t height, D3DFORMAT format, DWORD usage) {
    if (format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8 && format != D3DFMT_A4R4G4B4) {
        WriteLog(u"CLumiscriber::CreateTexture() - unknown texture format.");
        return nullptr;
    }
    return CreateSizedTexture(width, height, format, usage);
}

ITextureCell* CLumiscriber::AllocTextureCell(std::int32_t size) {
    if (!texMgr_ || !lumi::IsTextureSide(size)) return nullptr;
    return texMgr_->CreateTextureCell(static_cast<std::uint32_t>(size));
}

void CLumiscriber::ReleaseTextureCell(ITextureCell** cell) {
    if (cell == nullptr || *cell == nullptr) return;
    auto* held = static_cast<CTextureCell*>(*cell);
    *cell = nullptr;
    // The host gave the cell back itself: its listener is forgotten, not told.
    held->listener = nullptr;
    if (held->page != nullptr) held->page->FreeCell(held);
}

bool CLumiscriber::AttachTexture(STRU_DRAW_COMMAND_BASE* cmd, ITexture* texture, std::int32_t) {
    STRU_RECT_COMMAND* rect = TexturedCommand(cmd);
    CD3DTexture* d3dTexture = AsTexture(texture);
    if (rect == nullptr || (texture != nullptr && d3dTexture == nullptr)) return false;
    SwapCommandTexture(rect, d3dTexture);
    if (d3dTexture != nullptr && !d3dTexture->IsLoaded()) d3dTexture->Restore();
    // Hosts ignore the result, so it stays false even when the texture was attached.
    return false;
}

// ---- Drawing one texture into another ----

bool CLumiscriber::DrawTex2Tex(const WCHAR* path, const RECT* source, IRenderTarget* target, const POINT* position) {
    if (device_ == nullptr) {
        WriteLog(u"CLumiscriber::DrawTex2Tex() - \t\t\t\t\t\t\t   error invalid d3d device pointer!");
        return false;
    }
    auto* textureTarget = dynamic_cast<CD3DRenderTarget*>(target);
    viewport_t* viewport = textureTarget != nullptr ? textureTarget->GetViewport(0) : nullptr;
    if (viewport == nullptr || IsEmptyText(path) || !texMgr_) {
        WriteLog(u"CLumiscriber::DrawTex2Tex() - \t\t\t\t\t\t\t   invalided param!");
        return false;
    }
    // The frame the host is building goes on afterwards as if nothing happened: its viewport
    // and its draw order come back, and this draw leaves nothing queued in the target.
    viewport_t* previous = currentViewport_;
    viewport_t* previousScene = sceneManager_ ? sceneManager_->GetCurrentViewport() : nullptr;
    const std::uint32_t previousSequence = drawSequence_;
    const std::size_t previousQueued = queuedThisFrame_.size();
    const std::size_t previousHolds = texMgr_->FrameHoldCount();
    STRU_DRAW_COMMAND_BASE* cmd = nullptr;
    auto restore = [&]() {
        // The target's layers are empty again: this draw's command and texture are let go at
        // once, also outside a frame, rather than at a frame end that may be far off.
        textureTarget->ResetViewportLayers();
        queuedThisFrame_.resize(previousQueued);
        if (cmd != nullptr) ReleasePrimitive(cmd);
        texMgr_->ReleaseFrameHolds(previousHolds);
        drawSequence_ = previousSequence;
        if (previous != nullptr) {
            ApplyViewport(previous);
        } else {
            currentViewport_ = nullptr;
            currentTarget_ = nullptr;
        }
        if (sceneManager_) sceneManager_->SetCurrentViewport(previousScene);
    };
    bool drawn = false;
    try {
        ApplyViewport(viewport);
        viewport->SetClearFlags(D3DCLEAR_ZBUFFER);
        drawSequence_ = 0;
        textureTarget->ResetViewportLayers();
        cmd = CreatePrimitive(kDrawCmdTexturedRect);
        SetTexture(cmd, path, true);
        texMgr_->WaitForResourceLoader();
        const POINT at = position != nullptr ? *position : POINT{0, 0};
        DrawTexturePrimitiveAt(cmd, at.x, at.y, source, kDrawFlagOpaque, lumi::kDrawAsIs);
        std::uint32_t vertexBytes = 0;
        std::uint32_t indexBytes = 0;
        textureTarget->GetDrawStats(&vertexBytes, &indexBytes);
        // Nothing queued (a file that is missing or does not decode, a lost device) draws
        // nothing, and is no success.
        drawn = vertexBytes != 0 && GrowDynamicBuffers(vertexBytes, indexBytes);
        if (drawn) {
            texMgr_->RefreshHeldTextures(previousHolds);
            textureTarget->Render(true);
            drawn = !deviceLost_;
        }
    } catch (...) {
        restore();
        throw;
    }
    restore();
    texMgr_->Update();
    return drawn;
}
