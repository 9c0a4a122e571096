#include "core/swap_chain.h"

#include "core/com_release.h"
#include "core/render_window.h"

CD3DSwapChain::CD3DSwapChain(CD3DRenderWindow* window) : window_(window) {}

CD3DSwapChain::~CD3DSwapChain() { ReleaseChain(); }

std::uint16_t CD3DSwapChain::GetWidth() { return window_ != nullptr ? window_->GetWidth() : 0; }

std::uint16_t CD3DSwapChain::GetHeight() { return window_ != nullptr ? window_->GetHeight() : 0; }

HRESULT CD3DSwapChain::Present(const RECT* source, const RECT* destination, HWND window) {
    if (chain_ == nullptr) return D3DERR_INVALIDCALL;
    return chain_->Present(source, destination, window, nullptr, 0);
}

void CD3DSwapChain::SetEnabled(bool enabled) {
    if (window_ != nullptr) window_->SetEnabled(enabled);
}

void CD3DSwapChain::Attach(IDirect3DSwapChain9* chain, CD3DRenderWindow* window) {
    if (chain_ != chain) ReleaseChain();
    chain_ = chain;
    window_ = window;
}

void CD3DSwapChain::ReleaseChain() { ReleaseAndClear(chain_); }
