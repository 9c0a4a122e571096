// CLumiscriber (legacy build): additional swap chains, render-target textures, the switching of
// the device's render target, and the off-screen draws (DrawTex2Tex, Draw2Texture).
#include <algorithm>
#include <memory>

#include "core/com_release.h"
#include "core/event_log.h"
#include "core/host_handles.h"
#include "core/lumiscriber.h"
#include "core/render_target_texture.h"
#include "draw/d3d_texture.h"
#include "draw/draw_layer.h"
#include "draw/level_readback.h"
#include "draw/tex_mgr.h"
#include "legacy/clip_scale.h"
#include "legacy/swap_chain_legacy.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/dxerr/dxerr.h"

using lumi::AsTexture;
using lumi::HasPixels;
using lumi::IsEmptyText;

namespace {

bool IsTargetSide(std::int32_t side) { return side > 0 && lumi::IsTextureSide(side); }

// Copies level 0 of `texture`'s pixels (its system copy) into the render target's surface,
// through a system-memory surface in the target's format. False when either has no surface.
bool CopyPixelsToTarget(IDirect3DDevice9* device, CD3DTexture* texture, CD3DRenderTarget* target) {
    IDirect3DTexture9* pixels = texture->GetSystemTexture();
    IDirect3DSurface9* colour = nullptr;
    target->GetAttribute("D3DSURFACE", reinterpret_cast<void**>(&colour));
    if (pixels == nullptr || colour == nullptr) return false;
    D3DSURFACE_DESC desc{};
    IDirect3DSurface9* level = nullptr;
    IDirect3DSurface9* scratch = nullptr;
    bool copied = SUCCEEDED(colour->GetDesc(&desc)) && SUCCEEDED(pixels->GetSurfaceLevel(0, &level)) &&
                  SUCCEEDED(device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format,
                                                                D3DPOOL_SYSTEMMEM, &scratch, nullptr));
    copied = copied && SUCCEEDED(D3DXLoadSurfaceFromSurface(scratch, nullptr, nullptr, level, nullptr, nullptr,
                                                             D3DX_FILTER_NONE, 0)) &&
             SUCCEEDED(device->UpdateSurface(scratch, nullptr, colour, nullptr));
    ReleaseAndClear(scratch);
    ReleaseAndClear(level);
    return copied;
}

// Converts the render target's pixels into the texture's own format over level 0 of its
// system copy (D3DX converts into every format the library makes, DXT blocks included), as
// host pixels written through UpdateRect would land: the texture keeps them and is no longer
// unloaded as idle. False when they cannot be read back or converted.
bool CopyTargetToTexture(IDirect3DDevice9* device, CD3DRenderTarget* target, CD3DTexture* texture) {
    CLevelReadback level;
    IDirect3DTexture9* system = texture->GetSystemTexture();
    IDirect3DSurface9* pixels = nullptr;
    D3DSURFACE_DESC desc{};
    if (system == nullptr || !level.Read(device, target->GetTexture()) || FAILED(level.Surface()->GetDesc(&desc)) ||
        FAILED(system->GetSurfaceLevel(0, &pixels)))
        return false;
    const RECT area{0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
    const bool converted = SUCCEEDED(
        D3DXLoadSurfaceFromSurface(pixels, nullptr, &area, level.Surface(), nullptr, &area, D3DX_FILTER_NONE, 0));
    pixels->Release();
    if (!converted) return false;
    texture->MarkPixelsChanged();
    texture->SetManaged(false);
    return true;
}

}  // namespace

// ---- Swap chains ----

ISwapChain* CLumiscriber::CreateAdditionalSwapChain(std::int32_t width, std::int32_t height) {
    HRESULT hr = D3DERR_INVALIDCALL;
    if (device_ != nullptr && IsTargetSide(width) && IsTargetSide(height)) {
        auto swapChain = std::make_unique<CD3DSwapChain>(static_cast<std::uint16_t>(width),
                                                         static_cast<std::uint16_t>(height));
        hr = swapChain->Create(device_, settings_.pp.BackBufferFormat, vsync_);
        if (SUCCEEDED(hr)) {
            swapChains_.push_back(swapChain.get());
            return swapChain.release();
        }
    }
    WriteLog(u"CLumiscriber::CreateAdditionalSwapChain() error. desc=[%s]", DXGetErrorDescriptionW(hr));
    return nullptr;
}

bool CLumiscriber::OwnsSwapChain(const ISwapChain* swapChain) const {
    return swapChain != nullptr &&
           std::any_of(swapChains_.begin(), swapChains_.end(),
                       [swapChain](const CD3DSwapChain* own) { return static_cast<const ISwapChain*>(own) == swapChain; });
}

ISwapChain* CLumiscriber::GetAttachedSwapChain() const { return attachedSwapChain_; }

void CLumiscriber::DestroySwapChain(ISwapChain* swapChain) {
    // Looked up without touching it: a handle the renderer no longer knows is harmless.
    if (!OwnsSwapChain(swapChain)) return;
    auto* own = static_cast<CD3DSwapChain*>(swapChain);
    if (own == attachedSwapChain_) {
        attachedSwapChain_ = nullptr;
        SetRenderTargetSurface(nullptr);
    }
    swapChains_.erase(std::find(swapChains_.begin(), swapChains_.end(), own));
    delete own;
}

void CLumiscriber::AttachSwapChain(ISwapChain* swapChain) {
    if (swapChain == static_cast<ISwapChain*>(attachedSwapChain_)) return;
    if (swapChain == nullptr) {
        attachedSwapChain_ = nullptr;
        SetRenderTargetSurface(nullptr);
        return;
    }
    if (!OwnsSwapChain(swapChain)) {
        WriteLog(u"CLumiscriber::AttachSwapChain() error. Invalid param");
        return;
    }
    auto* own = static_cast<CD3DSwapChain*>(swapChain);
    if (AttachBackBufferOf(own)) attachedSwapChain_ = own;
}

bool CLumiscriber::AttachBackBufferOf(CD3DSwapChain* swapChain) {
    HRESULT hr = D3DERR_INVALIDCALL;
    IDirect3DSurface9* back = nullptr;
    if (device_ != nullptr && swapChain->GetChain() != nullptr)
        hr = swapChain->GetChain()->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back);
    if (FAILED(hr)) {
        WriteLog(u"Error Swap Chain : %s", DXGetErrorDescriptionW(hr));
        return false;
    }
    SetRenderTargetSurface(back);
    back->Release();  // the device holds it as its target
    return true;
}

// ---- Render targets ----

IRenderTarget* CLumiscriber::CreateRenderTarget(std::int32_t width, std::int32_t height) {
    if (!texMgr_ || device_ == nullptr || !IsTargetSide(width) || !IsTargetSide(height)) return nullptr;
    auto target = std::make_unique<CD3DRenderTarget>(this);
    const auto width16 = static_cast<std::uint16_t>(width);
    const auto height16 = static_cast<std::uint16_t>(height);
    target->Init("", width16, height16);
    if (!MakeTargetTexture(target.get(), width16, height16)) return nullptr;
    renderTargets_.push_back(target.get());
    DrawOffscreen(target.get(), D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, [] {});
    return target.release();
}

bool CLumiscriber::MakeTargetTexture(CD3DRenderTarget* target, std::uint16_t width, std::uint16_t height) {
    IDirect3DTexture9* texture = nullptr;
    if (device_ == nullptr || FAILED(device_->CreateTexture(width, height, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                                            D3DPOOL_DEFAULT, &texture, nullptr)))
        return false;
    target->AttachTexture(texture);
    texture->Release();  // the target holds it
    return true;
}

bool CLumiscriber::OwnsRenderTarget(const IRenderTarget* target) const {
    return target != nullptr &&
           std::any_of(renderTargets_.begin(), renderTargets_.end(), [target](const CD3DRenderTarget* own) {
               return static_cast<const IRenderTarget*>(own) == target;
           });
}

void CLumiscriber::DestroyRenderTarget(IRenderTarget* target) {
    if (!OwnsRenderTarget(target)) {
        WriteLog(u"CLumiscriber::DestroyRenderTarget() - \t\t\t\t\t\t\t\t   invalid rendertarget pointer.");
        return;
    }
    auto* own = static_cast<CD3DRenderTarget*>(target);
    renderTargets_.erase(std::find(renderTargets_.begin(), renderTargets_.end(), own));
    delete own;  // gives the device its own target back when it was bound
}

// ---- Switching the device's render target ----

void CLumiscriber::SetRenderTargetTexture(CD3DRenderTarget* target) {
    IDirect3DSurface9* colour = nullptr;
    if (target != nullptr) target->GetAttribute("D3DSURFACE", reinterpret_cast<void**>(&colour));
    SetRenderTargetSurface(colour);
}

void CLumiscriber::SetRenderTargetSurface(IDirect3DSurface9* surface) {
    if (device_ == nullptr) return;
    std::uint32_t width = settings_.pp.BackBufferWidth;
    std::uint32_t height = settings_.pp.BackBufferHeight;
    if (surface != nullptr) {
        if (savedColor_ == nullptr && savedDepth_ == nullptr) {
            if (FAILED(device_->GetRenderTarget(0, &savedColor_))) savedColor_ = nullptr;
            if (FAILED(device_->GetDepthStencilSurface(&savedDepth_))) savedDepth_ = nullptr;
        }
        D3DSURFACE_DESC desc{};
        surface->GetDesc(&desc);
        width = desc.Width;
        height = desc.Height;
        device_->SetRenderTarget(0, surface);
        const D3DPRESENT_PARAMETERS& pp = settings_.pp;
        IDirect3DSurface9* depth = nullptr;
        if (SUCCEEDED(device_->CreateDepthStencilSurface(width, height, pp.AutoDepthStencilFormat, pp.MultiSampleType,
                                                         pp.MultiSampleQuality, TRUE, &depth, nullptr))) {
            device_->SetDepthStencilSurface(depth);
            depth->Release();  // the device holds it while it is set
            // A new depth surface holds anything: draws before the host's next clear must pass.
            device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        }
    } else if (savedColor_ != nullptr && savedDepth_ != nullptr) {
        device_->SetRenderTarget(0, savedColor_);
        device_->SetDepthStencilSurface(savedDepth_);
        ReleaseAndClear(savedColor_);
        ReleaseAndClear(savedDepth_);
    } else {
        WriteLog(u"can not restore rendertarget, default render target lost.");
    }
    D3DVIEWPORT9 viewport{0, 0, width, height, 0.0f, 1.0f};
    device_->SetViewport(&viewport);
    SetClipScale(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
}

void CLumiscriber::RestoreFrameTarget() {
    if (attachedSwapChain_ != nullptr) {
        if (AttachBackBufferOf(attachedSwapChain_)) return;
        attachedSwapChain_ = nullptr;
    }
    RestoreDeviceTarget();
}

void CLumiscriber::RestoreDeviceTarget() {
    if (device_ != nullptr && (savedColor_ != nullptr || savedDepth_ != nullptr)) SetRenderTargetSurface(nullptr);
}

// ---- Off-screen draws ----

bool CLumiscriber::DrawOffscreen(CD3DRenderTarget* target, DWORD clearFlags, const std::function<void()>& draws) {
    if (device_ == nullptr || deviceLost_ || target == nullptr || target->GetTexture() == nullptr) return false;
    // The frame the host is building goes on afterwards as if nothing happened.
    const std::uint32_t sequence = drawSequence_;
    const std::uint32_t batches = batchCount_;
    const STRU_RENDER_STATS stats = stats_;
    const std::size_t holds = texMgr_ ? texMgr_->FrameHoldCount() : 0;
    auto finish = [&] {
        offscreenLayer_->Reset();
        if (texMgr_) texMgr_->ReleaseFrameHolds(holds);
        openLayer_ = layer_.get();
        drawSequence_ = sequence;
        batchCount_ = batches;
        stats_ = stats;
        RestoreFrameTarget();
    };
    bool drawn = false;
    try {
        drawSequence_ = 0;
        openLayer_ = offscreenLayer_.get();
        SetRenderTargetTexture(target);
        device_->Clear(0, nullptr, clearFlags, 0, 1.0f, 0);
        draws();
        std::uint32_t vertexNeed = 0;
        std::uint32_t indexNeed = 0;
        offscreenLayer_->AddDrawStats(&vertexNeed, &indexNeed);
        if (GrowDynamicBuffers(vertexNeed, indexNeed)) {
            if (texMgr_) texMgr_->RefreshHeldTextures();
            if (SUCCEEDED(device_->BeginScene())) {
                offscreenLayer_->Flush(&drawContext_);
                device_->EndScene();
                drawn = true;
            }
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
    return drawn;
}

bool CLumiscriber::DrawFileOffscreen(CD3DRenderTarget* target, const WCHAR* path, DWORD clearFlags,
                                     const std::function<void(STRU_DRAW_COMMAND_BASE*)>& draw) {
    STRU_DRAW_COMMAND_BASE* cmd = CreatePrimitive(kDrawCmdTexturedRect);
    bool submitted = false;
    bool drawn = false;
    try {
        SetTexture(cmd, path, true);
        texMgr_->WaitForResourceLoader();
        drawn = DrawOffscreen(target, clearFlags, [&] {
            draw(cmd);
            submitted = drawSequence_ != 0;
        });
    } catch (...) {
        ReleasePrimitive(cmd);
        throw;
    }
    ReleasePrimitive(cmd);
    // A file that is missing or does not decode draws nothing, and is no success.
    return drawn && submitted;
}

bool CLumiscriber::DrawTex2Tex(const WCHAR* path, const RECT* source, IRenderTarget* target, const POINT* position) {
    if (device_ == nullptr) {
        WriteLog(u"CLumiscriber::DrawTex2Tex() - \t\t\t\t\t\t\t   error invalid d3d device pointer!");
        return false;
    }
    if (!OwnsRenderTarget(target) || IsEmptyText(path) || !texMgr_) {
        WriteLog(u"CLumiscriber::DrawTex2Tex() - \t\t\t\t\t\t\t   invalided param!");
        return false;
    }
    auto* textureTarget = static_cast<CD3DRenderTarget*>(target);
    if (textureTarget->GetTexture() == nullptr) {
        WriteLog(u"CLumiscriber::DrawTex2Tex() invalid dst tex!");
        return false;
    }
    const POINT at = position != nullptr ? *position : POINT{0, 0};
    const bool drawn = DrawFileOffscreen(textureTarget, path, D3DCLEAR_ZBUFFER, [&](STRU_DRAW_COMMAND_BASE* cmd) {
        DrawTexturePrimitiveAt(cmd, at.x, at.y, source, kDrawFlagOpaque, lumi::kDrawAsIs);
    });
    texMgr_->Update();
    return drawn;
}

bool CLumiscriber::Draw2Texture(ITexture* texture, const WCHAR* path, const RECT* source, const RECT* destination,
                               std::int32_t flags, D3DCOLOR color, bool clearTexture) {
    if (device_ == nullptr || deviceLost_) return false;
    CD3DTexture* into = AsTexture(texture);
    if (into != nullptr && !HasPixels(into) && texMgr_) {
        // The pixels the image goes over: a file texture is loaded first.
        into->Restore();
        texMgr_->WaitForResourceLoader();
        into->Restore();
    }
    if (into == nullptr || !HasPixels(into) || into->GetWidth() == 0 || into->GetHeight() == 0 ||
        IsEmptyText(path) || !texMgr_) {
        WriteLog(u"CLumiscriber::Draw2Texture() - invalided param!");
        return false;
    }
    // The texture's render target (A8R8G8B8) lives for this draw: what it holds afterwards is
    // converted into the texture's own format and pixels, which survive a device loss and need
    // no render target to draw.
    CD3DRenderTarget target(this);
    target.Init("", into->GetWidth(), into->GetHeight());
    if (!MakeTargetTexture(&target, into->GetWidth(), into->GetHeight())) {
        WriteLog(u"CLumiscriber::DrawTex2Tex() invalid dst tex!");
        return false;
    }
    if (!clearTexture) CopyPixelsToTarget(device_, into, &target);
    const DWORD clearFlags = clearTexture ? D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER : D3DCLEAR_ZBUFFER;
    const bool drawn = DrawFileOffscreen(&target, path, clearFlags, [&](STRU_DRAW_COMMAND_BASE* cmd) {
        DrawTexturePrimitive(cmd, source, destination, flags, color);
    });
    return drawn && CopyTargetToTexture(device_, &target, into);
}
