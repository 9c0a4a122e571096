// CLumiscriberCommon: the hardware cursor. Every operation does nothing (or gives false) when the
// device has no colour or low-resolution cursor.
#include <cstring>

#include "core/lumiscriber.h"
#include "draw/d3d_texture.h"
#include "platform/d3dx9/d3dx9.h"

namespace {

constexpr UINT kCursorSide = 32;  // pixels

}  // namespace

bool CLumiscriberCommon::IsHardwareCursorSupported() { return hardwareCursor_; }

bool CLumiscriberCommon::ShowCursor(bool show) {
    if (!hardwareCursor_ || device_ == nullptr) return false;
    return device_->ShowCursor(show ? TRUE : FALSE) != FALSE;
}

void CLumiscriberCommon::SetCursorHotSpot(std::int32_t x, std::int32_t y) {
    if (!hardwareCursor_) return;
    cursorHotSpotX_ = x;
    cursorHotSpotY_ = y;
    if (device_ != nullptr && cursorSurface_ != nullptr)
        device_->SetCursorProperties(static_cast<UINT>(x), static_cast<UINT>(y), cursorSurface_);
}

void CLumiscriberCommon::SetCursorTexture(std::int32_t x, std::int32_t y, ITexture* texture, const RECT* source) {
    if (!hardwareCursor_ || texture == nullptr) return;
    auto* d3dTexture = static_cast<CD3DTexture*>(texture);
    if (d3dTexture->GetTag() != CD3DTexture::kTag) return;
    if (d3dTexture != cursorTexture_) {
        d3dTexture->AddRef();
        if (cursorTexture_ != nullptr) cursorTexture_->Release();
        cursorTexture_ = d3dTexture;
        cursorImage_.clear();
    }
    cursorHasSource_ = source != nullptr;
    cursorSource_ = source != nullptr ? *source : RECT{};
    cursorHotSpotX_ = x;
    cursorHotSpotY_ = y;
    ApplyCursor();
}

bool CLumiscriberCommon::ApplyCursor() {
    if (device_ == nullptr || deviceLost_ || cursorTexture_ == nullptr) return false;
    if (cursorSurface_ == nullptr &&
        FAILED(device_->CreateOffscreenPlainSurface(kCursorSide, kCursorSide, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                                    &cursorSurface_, nullptr))) {
        cursorSurface_ = nullptr;
        return false;
    }
    // The image passes through system memory, where it is kept: a display-mode change unloads
    // every texture, and the cursor must come back with the new device all the same.
    IDirect3DSurface9* image = nullptr;
    if (FAILED(device_->CreateOffscreenPlainSurface(kCursorSide, kCursorSide, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                    &image, nullptr))) {
        return false;
    }
    const bool copied = cursorTexture_->IsLoaded() || cursorImage_.empty() || cursorTexture_->IsFileTexture()
                            ? CaptureCursorImage(image)
                            : WriteCursorImage(image);
    const bool applied = copied && SUCCEEDED(device_->UpdateSurface(image, nullptr, cursorSurface_, nullptr)) &&
                         SUCCEEDED(device_->SetCursorProperties(static_cast<UINT>(cursorHotSpotX_),
                                                                static_cast<UINT>(cursorHotSpotY_), cursorSurface_));
    image->Release();
    return applied;
}

bool CLumiscriberCommon::CaptureCursorImage(IDirect3DSurface9* image) {
    cursorTexture_->SetPriority(CD3DTexture::kUrgentPriority);
    if (!cursorTexture_->Restore()) return WriteCursorImage(image);  // still loading: the last image
    // The system copy holds what the host wrote last; a render-target texture has only the
    // video copy.
    IDirect3DTexture9* level0Owner = cursorTexture_->GetSystemTexture();
    if (level0Owner == nullptr) level0Owner = cursorTexture_->GetD3DTexture();
    IDirect3DSurface9* level0 = nullptr;
    if (level0Owner == nullptr || FAILED(level0Owner->GetSurfaceLevel(0, &level0))) return false;
    const HRESULT hr = D3DXLoadSurfaceFromSurface(image, nullptr, nullptr, level0, nullptr,
                                                  cursorHasSource_ ? &cursorSource_ : nullptr, D3DX_FILTER_NONE, 0);
    level0->Release();
    D3DLOCKED_RECT locked{};
    if (FAILED(hr) || FAILED(image->LockRect(&locked, nullptr, D3DLOCK_READONLY))) return false;
    cursorImage_.resize(kCursorSide * kCursorSide);
    for (UINT y = 0; y < kCursorSide; ++y) {
        std::memcpy(cursorImage_.data() + y * kCursorSide,
                    static_cast<const std::uint8_t*>(locked.pBits) + static_cast<std::ptrdiff_t>(y) * locked.Pitch,
                    kCursorSide * sizeof(std::uint32_t));
    }
    image->UnlockRect();
    return true;
}

bool CLumiscriberCommon::WriteCursorImage(IDirect3DSurface9* image) {
    D3DLOCKED_RECT locked{};
    if (cursorImage_.empty() || FAILED(image->LockRect(&locked, nullptr, 0))) return false;
    for (UINT y = 0; y < kCursorSide; ++y) {
        std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + static_cast<std::ptrdiff_t>(y) * locked.Pitch,
                    cursorImage_.data() + y * kCursorSide, kCursorSide * sizeof(std::uint32_t));
    }
    image->UnlockRect();
    return true;
}
