#include "platform/d3dx9/surface_access.h"

namespace d3dx {

SurfaceAccess::~SurfaceAccess() { Close(); }

HRESULT SurfaceAccess::Open(IDirect3DSurface9* surface, Mode mode) {
    Close();
    if (surface == nullptr) return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC desc{};
    HRESULT hr = surface->GetDesc(&desc);
    if (FAILED(hr)) return hr;
    surface_ = surface;
    mode_ = mode;
    IDirect3DSurface9* target = surface;
    if (desc.Pool == D3DPOOL_DEFAULT && (desc.Usage & D3DUSAGE_RENDERTARGET)) {
        IDirect3DDevice9* device = nullptr;
        hr = surface->GetDevice(&device);
        if (FAILED(hr)) return hr;
        hr = device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &staging_,
                                                 nullptr);
        if (SUCCEEDED(hr)) hr = device->GetRenderTargetData(surface, staging_);
        device->Release();
        if (FAILED(hr)) {
            Close();
            return hr;
        }
        target = staging_;
    }
    D3DLOCKED_RECT locked{};
    hr = target->LockRect(&locked, nullptr, mode == Mode::kRead ? D3DLOCK_READONLY : 0);
    if (FAILED(hr)) {
        Close();
        return hr;
    }
    locked_ = target;
    view_ = {desc.Format, static_cast<int>(desc.Width), static_cast<int>(desc.Height), locked.Pitch,
             static_cast<std::uint8_t*>(locked.pBits)};
    return D3D_OK;
}

HRESULT SurfaceAccess::Close() {
    HRESULT hr = D3D_OK;
    if (locked_ != nullptr) {
        hr = locked_->UnlockRect();
        locked_ = nullptr;
        if (SUCCEEDED(hr) && staging_ != nullptr && mode_ == Mode::kReadWrite) {
            IDirect3DDevice9* device = nullptr;
            hr = surface_->GetDevice(&device);
            if (SUCCEEDED(hr)) {
                hr = device->UpdateSurface(staging_, nullptr, surface_, nullptr);
                device->Release();
            }
        }
    }
    if (staging_ != nullptr) staging_->Release();
    staging_ = nullptr;
    surface_ = nullptr;
    view_ = {};
    return hr;
}

}  // namespace d3dx
