#include "core/render_target_texture.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/com_release.h"
#include "core/format_helpers.h"
#include "core/render_target_host.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/win32/text.h"

namespace {

constexpr std::size_t kMaxPathUnits = 260;

}  // namespace

void UnbindTargetTexture(IDirect3DDevice9* device, IDirect3DSurface9* target) {
    if (device == nullptr || target == nullptr) return;
    IDirect3DBaseTexture9* bound = nullptr;
    if (FAILED(device->GetTexture(0, &bound)) || bound == nullptr) return;
    IDirect3DTexture9* container = nullptr;
    if (SUCCEEDED(target->GetContainer(IID_IDirect3DTexture9, reinterpret_cast<void**>(&container))) &&
        container != nullptr) {
        if (static_cast<IDirect3DBaseTexture9*>(container) == bound) device->SetTexture(0, nullptr);
        container->Release();
    }
    bound->Release();
}

CD3DRenderTarget::CD3DRenderTarget(CLumiscriber* renderer) : CD3DRenderTarget(MakeRendererHost(renderer)) {}

CD3DRenderTarget::CD3DRenderTarget(CRenderTargetHost* host) : CRenderTarget(host) {}

CD3DRenderTarget::CD3DRenderTarget(std::unique_ptr<CRenderTargetHost> host)
    : CRenderTarget(host.get()), ownedHost_(std::move(host)) {}

CD3DRenderTarget::~CD3DRenderTarget() { ReleaseAll(); }

bool CD3DRenderTarget::SaveToFile(const WCHAR* path) {
    if (path == nullptr || path[0] == 0) return false;
    char16_t copy[kMaxPathUnits] = {};
    const std::size_t length = std::min(win32::WideLength(path), kMaxPathUnits - 1);
    std::memcpy(copy, path, length * sizeof(char16_t));
    if (std::char_traits<char16_t>::find(copy, length, u'.') == nullptr || texture_ == nullptr) return false;
    return SUCCEEDED(D3DXSaveTextureToFileW(copy, SaveFileFormatOf(copy, SaveFormats::kWithDds), texture_, nullptr));
}

bool CD3DRenderTarget::SaveToFileEx(const WCHAR* path, std::int32_t) { return SaveToFile(path); }

void CD3DRenderTarget::GetAttribute(const char* name, void** out) {
    if (name == nullptr || out == nullptr) return;
    if (std::strcmp(name, "D3DSURFACE") == 0) {
        *out = colorSurface_;
    } else if (std::strcmp(name, "D3DZBUFFER") == 0) {
        if (depthSurface_ == nullptr) CreateDepthSurface();
        *out = depthSurface_;
    }
}

void CD3DRenderTarget::ReleaseSurfaces() {
    UnbindFromDevice(colorSurface_, depthSurface_);
    ReleaseAndClear(colorSurface_);
    ReleaseAndClear(depthSurface_);
}

void CD3DRenderTarget::AttachTexture(IDirect3DTexture9* texture) {
    ReleaseAll();
    if (texture == nullptr) return;
    texture->AddRef();
    texture_ = texture;
    if (FAILED(texture_->GetSurfaceLevel(0, &colorSurface_))) colorSurface_ = nullptr;
}

void CD3DRenderTarget::DetachTexture() { ReleaseAll(); }

bool CD3DRenderTarget::CreateDepthSurface() {
    if (depthSurface_ != nullptr) return true;
    if (colorSurface_ == nullptr || host_ == nullptr) return false;
    IDirect3DDevice9* device = host_->GetDevice();
    if (device == nullptr) return false;
    D3DSURFACE_DESC desc{};
    if (FAILED(colorSurface_->GetDesc(&desc))) return false;
    const D3DPRESENT_PARAMETERS& pp = host_->GetDeviceSettings().pp;
    if (FAILED(device->CreateDepthStencilSurface(desc.Width, desc.Height, pp.AutoDepthStencilFormat,
                                                 pp.MultiSampleType, pp.MultiSampleQuality, TRUE, &depthSurface_,
                                                 nullptr))) {
        depthSurface_ = nullptr;
        return false;
    }
    return true;
}

void CD3DRenderTarget::ReleaseAll() {
    UnbindFromDevice(colorSurface_, depthSurface_);
    ReleaseAndClear(colorSurface_);
    ReleaseAndClear(depthSurface_);
    ReleaseAndClear(texture_);
}
