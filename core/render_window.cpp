#include "core/render_window.h"

#include <cstring>

#include "core/com_release.h"
#include "core/exception.h"
#include "core/render_target_host.h"
#include "core/swap_chain.h"

CRenderWindow::CRenderWindow(CRenderTargetHost* host) : CRenderTarget(host) {}

CRenderWindow::~CRenderWindow() = default;

bool CRenderWindow::Create(const std::string&, std::uint16_t, std::uint16_t, bool) { return false; }

CD3DRenderWindow::CD3DRenderWindow(HWND window, CLumiscriber* renderer, bool additionalSwapChain)
    : CD3DRenderWindow(window, MakeRendererHost(renderer), additionalSwapChain) {}

CD3DRenderWindow::CD3DRenderWindow(HWND window, CRenderTargetHost* host, bool additionalSwapChain)
    : CRenderWindow(host), window_(window), additionalSwapChain_(additionalSwapChain) {
    SetPriority(kRenderWindowPriority);
    ready_ = 0;
}

CD3DRenderWindow::CD3DRenderWindow(HWND window, std::unique_ptr<CRenderTargetHost> host, bool additionalSwapChain)
    : CRenderWindow(host.get()),
      ownedHost_(std::move(host)),
      window_(window),
      additionalSwapChain_(additionalSwapChain) {
    SetPriority(kRenderWindowPriority);
    ready_ = 0;
}

CD3DRenderWindow::~CD3DRenderWindow() {
    if (host_ != nullptr) host_->UnregisterRenderTarget(this);
    ReleaseSurfaces();
    swapChain_.reset();
}

bool CD3DRenderWindow::Create(const std::string& name, std::uint16_t width, std::uint16_t height, bool) {
    Init(name, width, height);
    ready_ = 1;
    CreateSurfaces();
    return true;
}

void CD3DRenderWindow::Destroy() {
    if (host_ != nullptr) host_->UnregisterRenderTarget(this);
    ReleaseSurfaces();
}

void CD3DRenderWindow::Render(bool present) {
    // Without a back buffer (lost, or its creation failed) the viewports would be drawn
    // into whatever target the device has bound.
    if (IsRendererLost() || backBuffer_ == nullptr) return;
    RenderViewports();
    if (present) Present(true);
}

void CD3DRenderWindow::Present(bool) {
    if (host_ == nullptr || host_->IsDeviceLost()) return;
    HRESULT hr = S_OK;
    if (additionalSwapChain_) {
        if (swapChain_ == nullptr || swapChain_->GetChain() == nullptr) return;
        const RECT area{0, 0, GetWidth(), GetHeight()};
        hr = swapChain_->GetChain()->Present(&area, &area, window_, nullptr, 0);
    } else {
        IDirect3DDevice9* device = host_->GetDevice();
        if (device == nullptr) return;
        hr = device->Present(nullptr, nullptr, nullptr, nullptr);
    }
    if (hr == D3DERR_DEVICELOST) {
        ReleaseAndClear(backBuffer_);
        if (!host_->IsDeviceLost()) host_->EnterLostState();
    }
}

void CD3DRenderWindow::GetAttribute(const char* name, void** out) {
    if (name == nullptr || out == nullptr) return;
    if (std::strcmp(name, "D3DZBUFFER") == 0) {
        *out = depthSurface_;
    } else if (std::strcmp(name, "D3DSURFACE") == 0) {
        *out = backBuffer_;
    }
}

void CD3DRenderWindow::CreateSurfaces() {
    ReleaseSurfaces();
    IDirect3DDevice9* device = host_ != nullptr ? host_->GetDevice() : nullptr;
    if (device == nullptr) return;
    if (!additionalSwapChain_) {
        if (FAILED(device->GetRenderTarget(0, &backBuffer_))) backBuffer_ = nullptr;
        if (FAILED(device->GetDepthStencilSurface(&depthSurface_))) depthSurface_ = nullptr;
        return;
    }
    CreateAdditionalSurfaces(device);
}

void CD3DRenderWindow::CreateAdditionalSurfaces(IDirect3DDevice9* device) {
    const STRU_DEVICE_SETTINGS& settings = host_->GetDeviceSettings();
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = GetWidth();
    pp.BackBufferHeight = GetHeight();
    pp.BackBufferFormat = settings.pp.BackBufferFormat;
    pp.SwapEffect = D3DSWAPEFFECT_COPY;
    pp.hDeviceWindow = nullptr;
    pp.Windowed = TRUE;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_ONE;

    IDirect3DSwapChain9* chain = nullptr;
    if (FAILED(device->CreateAdditionalSwapChain(&pp, &chain))) {
        D3DPRESENT_PARAMETERS again = pp;
        chain = nullptr;
        if (FAILED(device->CreateAdditionalSwapChain(&again, &chain))) {
            throw lumi::Exception("CreateAdditionalSwapChain failed. ");
        }
    }
    if (FAILED(chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &backBuffer_))) backBuffer_ = nullptr;
    if (FAILED(device->CreateDepthStencilSurface(GetWidth(), GetHeight(), settings.pp.AutoDepthStencilFormat,
                                                 settings.pp.MultiSampleType, settings.pp.MultiSampleQuality,
                                                 FALSE, &depthSurface_, nullptr))) {
        depthSurface_ = nullptr;
        ReleaseAndClear(backBuffer_);
        chain->Release();
        throw lumi::Exception("failed to create depth stencil buffer.");
    }
    if (swapChain_ == nullptr) swapChain_ = std::make_unique<CD3DSwapChain>(this);
    swapChain_->Attach(chain, this);
}

void CD3DRenderWindow::ReleaseSurfaces() {
    // The main window's surfaces are the device's own; the device may keep them bound.
    if (additionalSwapChain_) UnbindFromDevice(backBuffer_, depthSurface_);
    ReleaseAndClear(depthSurface_);
    if (swapChain_ != nullptr) swapChain_->ReleaseChain();
    ReleaseAndClear(backBuffer_);
}
