#include "legacy/swap_chain_legacy.h"

#include "core/com_release.h"

CD3DSwapChain::~CD3DSwapChain() { ReleaseChain(); }

HRESULT CD3DSwapChain::Present(const RECT* source, const RECT* destination, HWND window) {
    if (chain_ == nullptr) return D3DERR_INVALIDCALL;
    return chain_->Present(source, destination, window, nullptr, 0);
}

HRESULT CD3DSwapChain::Create(IDirect3DDevice9* device, D3DFORMAT backBufferFormat, bool vsync) {
    ReleaseChain();
    if (device == nullptr) return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = width_;
    pp.BackBufferHeight = height_;
    pp.BackBufferFormat = backBufferFormat;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_COPY;
    pp.Windowed = TRUE;
    pp.PresentationInterval = vsync ? D3DPRESENT_INTERVAL_ONE : D3DPRESENT_INTERVAL_IMMEDIATE;
    const HRESULT hr = device->CreateAdditionalSwapChain(&pp, &chain_);
    if (FAILED(hr)) chain_ = nullptr;
    return hr;
}

void CD3DSwapChain::ReleaseChain() { ReleaseAndClear(chain_); }
