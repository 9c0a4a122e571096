#pragma once
// CD3DSwapChain behind ISwapChain, the host's handle of an additional render window, made by its
// window (CD3DRenderWindow::CreateSurfaces) and deleted with it; the host gives it back through
// IRenderer::DestroyRenderWindow and never deletes it itself.
#include <cstdint>

#include "core/build_variant.h"
#include "core/renderer_interface.h"
#include "platform/d3d9/d3d9.h"

#if LUMI_LEGACY
#error "the legacy build has its own swap chain (legacy/swap_chain_legacy.h)"
#endif

class CD3DRenderWindow;

class CD3DSwapChain : public ISwapChain {
public:
    explicit CD3DSwapChain(CD3DRenderWindow* window);
    // Releases the Direct3D swap chain.
    ~CD3DSwapChain() override;
    CD3DSwapChain(const CD3DSwapChain&) = delete;
    CD3DSwapChain& operator=(const CD3DSwapChain&) = delete;

    // The window's size; 0 without a window.
    std::uint16_t GetWidth() override;
    std::uint16_t GetHeight() override;
    // IDirect3DSwapChain9::Present(source, destination, window, null, 0) when a swap chain
    // exists; D3DERR_INVALIDCALL otherwise.
    HRESULT Present(const RECT* source, const RECT* destination, HWND window) override;
    // Forwards to the window.
    void SetEnabled(bool enabled) override;

    // Takes over `chain` (its reference) for `window`; a chain held before is released.
    void Attach(IDirect3DSwapChain9* chain, CD3DRenderWindow* window);
    // Releases the Direct3D swap chain; the object stays for the next Attach.
    void ReleaseChain();
    IDirect3DSwapChain9* GetChain() const { return chain_; }
    CD3DRenderWindow* GetRenderWindow() const { return window_; }

private:
    IDirect3DSwapChain9* chain_ = nullptr;
    CD3DRenderWindow* window_;
};
