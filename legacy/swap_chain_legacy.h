#pragma once
// CD3DSwapChain of the legacy build: an additional swap chain the renderer made
// (CreateAdditionalSwapChain), the host's ISwapChain. It keeps its own size, so that the
// renderer can make the Direct3D swap chain again after a device reset; it has no window and
// no depth surface of its own. The renderer owns it; the host never deletes it.
#include <cstdint>

#include "core/build_variant.h"
#include "core/renderer_interface.h"
#include "platform/d3d9/d3d9.h"

#if !LUMI_LEGACY
#error "this swap chain belongs to the legacy build (the current one is core/swap_chain.h)"
#endif

class CD3DSwapChain : public ISwapChain {
public:
    CD3DSwapChain(std::uint16_t width, std::uint16_t height) : width_(width), height_(height) {}
    // Releases the Direct3D swap chain.
    ~CD3DSwapChain() override;
    CD3DSwapChain(const CD3DSwapChain&) = delete;
    CD3DSwapChain& operator=(const CD3DSwapChain&) = delete;

    std::uint16_t GetWidth() override { return width_; }
    std::uint16_t GetHeight() override { return height_; }
    // IDirect3DSwapChain9::Present(source, destination, window, null, 0); D3DERR_INVALIDCALL
    // while there is no Direct3D swap chain (after a reset that could not make it again).
    HRESULT Present(const RECT* source, const RECT* destination, HWND window) override;
    // Does nothing: the host decides when a swap chain is drawn (AttachSwapChain).
    void SetEnabled(bool) override {}

    // Makes the Direct3D swap chain (again, releasing the one held): this size, the back
    // buffer's format, copy swap effect, windowed, interval ONE with vsync else IMMEDIATE.
    HRESULT Create(IDirect3DDevice9* device, D3DFORMAT backBufferFormat, bool vsync);
    void ReleaseChain();
    IDirect3DSwapChain9* GetChain() const { return chain_; }

private:
    IDirect3DSwapChain9* chain_ = nullptr;
    std::uint16_t width_;
    std::uint16_t height_;
};
