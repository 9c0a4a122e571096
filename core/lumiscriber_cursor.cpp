// CLumiscriber: the hardware cursor. Every operation does nothing (or gives false) when the
// device has no colour or low-resolution cursor.
#include "core/lumiscriber.h"
#include "draw/d3d_texture.h"
#include "platform/d3dx9/d3dx9.h"

namespace {

constexpr UINT kCursorSide = 32;  // pixels

}  // namespace

bool CLumiscriber::IsHardwareCursorSupported() { return hardwareCursor_; }

bool CLumiscriber::ShowCursor(bool show) {
    if (!hardwareCursor_ || device_ == nullptr) return false;
    return device_->ShowCursor(show ? TRUE : FALSE) != FALSE;
}

void CLumiscriber::SetCursorHotSpot(std::int32_t x, std::int32_t y) {
    if (!hardwareCursor_) return;
    cursorHotSpotX_ = x;
    cursorHotSpotY_ = y;
    if (device_ != nullptr && cursorSurface_ != nullptr)
        device_->SetCursorProperties(static_cast<UINT>(x), static_cast<UINT>(y), cursorSurface_);
}

void CLumiscriber::SetCursorTexture(std::int32_t x, std::int32_t y, ITexture* texture, const RECT* source) {
    if (!hardwareCursor_ || texture == nullptr) return;
    auto* d3dTexture = static_cast<CD3DTexture*>(texture);
    if (d3dTexture->GetTag() != CD3DTexture::kTag) return;
    if (d3dTexture != cursorTexture_) {
        d3dTexture->AddRef();
        if (cursorTexture_ != nullptr) cursorTexture_->Release();
        cursorTexture_ = d3dTexture;
    }
    cursorHasSource_ = source != nullptr;
    cursorSource_ = source != nullptr ? *source : RECT{};
    cursorHotSpotX_ = x;
    cursorHotSpotY_ = y;
    ApplyCursor();
}

bool CLumiscriber::ApplyCursor() {
    if (device_ == nullptr || deviceLost_ || cursorTexture_ == nullptr) return false;
    if (cursorSurface_ == nullptr &&
        FAILED(device_->CreateOffscreenPlainSurface(kCursorSide, kCursorSide, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                                    &cursorSurface_, nullptr))) {
        cursorSurface_ = nullptr;
        return false;
    }
    cursorTexture_->SetPriority(CD3DTexture::kUrgentPriority);
    cursorTexture_->Restore();
    // The system copy holds what the host wrote last; a render-target texture has only the
    // video copy.
    IDirect3DTexture9* level0Owner = cursorTexture_->GetSystemTexture();
    if (level0Owner == nullptr) level0Owner = cursorTexture_->GetD3DTexture();
    IDirect3DSurface9* level0 = nullptr;
    if (level0Owner == nullptr || FAILED(level0Owner->GetSurfaceLevel(0, &level0))) return false;
    const HRESULT hr = D3DXLoadSurfaceFromSurface(cursorSurface_, nullptr, nullptr, level0, nullptr,
                                                  cursorHasSource_ ? &cursorSource_ : nullptr, D3DX_FILTER_NONE, 0);
    level0->Release();
    if (FAILED(hr)) return false;
    return SUCCEEDED(device_->SetCursorProperties(static_cast<UINT>(cursorHotSpotX_),
                                                  static_cast<UINT>(cursorHotSpotY_), cursorSurface_));
}
