#include "draw/level_readback.h"

CLevelReadback::~CLevelReadback() {
    if (copy_ != nullptr) copy_->Release();
    if (level_ != nullptr) level_->Release();
}

bool CLevelReadback::Fail(Step step, HRESULT error) {
    failed_ = step;
    error_ = error;
    return false;
}

bool CLevelReadback::Read(IDirect3DDevice9* device, IDirect3DTexture9* texture) {
    if (device == nullptr || texture == nullptr) return Fail(Step::kLevelDesc, D3DERR_INVALIDCALL);
    D3DSURFACE_DESC desc{};
    HRESULT hr = texture->GetLevelDesc(0, &desc);
    if (FAILED(hr)) return Fail(Step::kLevelDesc, hr);
    hr = texture->GetSurfaceLevel(0, &level_);
    if (FAILED(hr)) return Fail(Step::kSurfaceLevel, hr);
    if (desc.Pool != D3DPOOL_DEFAULT) return true;
    // Video memory is read through a system-memory copy.
    hr = device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy_, nullptr);
    if (FAILED(hr)) return Fail(Step::kCreateCopy, hr);
    hr = device->GetRenderTargetData(level_, copy_);
    if (FAILED(hr)) return Fail(Step::kCopy, hr);
    return true;
}
