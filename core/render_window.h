#pragma once
// Render windows: targets that present to a window. The main window draws into the device's
// own back buffer; every additional window has its own swap chain and depth surface, and
// the host holds it as ISwapChain.
//
// Device loss: ReleaseSurfaces gives back everything in the default pool (the swap chain
// included; the CD3DSwapChain object stays), CreateSurfaces rebuilds it after the reset.
#include <cstdint>
#include <memory>
#include <string>

#include "core/build_variant.h"
#include "core/render_target.h"
#include "platform/d3d9/d3d9.h"

#if LUMI_LEGACY
#error "the legacy build has no render windows"
#endif

class CD3DSwapChain;
class CLumiscriber;

class CRenderWindow : public CRenderTarget {
public:
    explicit CRenderWindow(CRenderTargetHost* host);
    ~CRenderWindow() override;

    // The base makes nothing: false.
    virtual bool Create(const std::string& name, std::uint16_t width, std::uint16_t height, bool fullScreen);
    virtual void Destroy() {}
};

class CD3DRenderWindow : public CRenderWindow {
public:
    // A window of `renderer`: the main window (additionalSwapChain false) draws into the
    // device's back buffer; otherwise the window gets its own swap chain. Priority 4, not
    // ready until Create.
    CD3DRenderWindow(HWND window, CLumiscriber* renderer, bool additionalSwapChain);
    // The same over another host (tests); `host` must outlive the window.
    CD3DRenderWindow(HWND window, CRenderTargetHost* host, bool additionalSwapChain);
    // Unregisters from the renderer (by identity), releases the surfaces, deletes the
    // CD3DSwapChain.
    ~CD3DRenderWindow() override;

    static void* operator new(std::size_t size) { return PooledAlloc<CD3DRenderWindow>(size); }
    static void operator delete(void* block) noexcept { PooledFree<CD3DRenderWindow>(block); }

    // Stores name and size, becomes ready and makes the surfaces (CreateSurfaces). The flag
    // is not read. Throws what CreateSurfaces throws; the window then has no surfaces.
    bool Create(const std::string& name, std::uint16_t width, std::uint16_t height, bool fullScreen) override;
    // Unregisters from the renderer and releases the surfaces; the window can be made again
    // with CreateSurfaces.
    void Destroy() override;

    // Nothing while the renderer is lost or the window has no back buffer; else the
    // viewports are rendered, then presented when asked.
    void Render(bool present) override;
    // Shows the back buffer: through the window's swap chain (nothing when it was released),
    // or the device's Present for the main window. Nothing while the renderer is lost. A
    // lost device releases the back-buffer surface and marks the renderer lost (once).
    void Present(bool wait) override;
    // "D3DZBUFFER": depth-stencil surface; "D3DSURFACE": back-buffer surface; other names
    // leave `out` untouched. Borrowed pointers (no reference).
    void GetAttribute(const char* name, void** out) override;

    // Releases what it holds, then takes the device's render target 0 and depth surface
    // (main window), or makes a swap chain of the window's size (tried twice; both failing
    // throw lumi::Exception "CreateAdditionalSwapChain failed. ") and a depth-stencil surface
    // (failure: "failed to create depth stencil buffer."). Without a device: nothing.
    void CreateSurfaces();
    // Releases depth surface, additional swap chain and back-buffer surface.
    void ReleaseSurfaces();

    HWND GetWindowHandle() const { return window_; }
    bool UsesAdditionalSwapChain() const { return additionalSwapChain_; }
    // The host's handle; null for the main window and before the first swap chain was made.
    CD3DSwapChain* GetSwapChain() const { return swapChain_.get(); }
    IDirect3DSurface9* GetBackBufferSurface() const { return backBuffer_; }
    IDirect3DSurface9* GetDepthSurface() const { return depthSurface_; }

private:
    CD3DRenderWindow(HWND window, std::unique_ptr<CRenderTargetHost> host, bool additionalSwapChain);
    void CreateAdditionalSurfaces(IDirect3DDevice9* device);

    std::unique_ptr<CRenderTargetHost> ownedHost_;  // the binding to a renderer, when made with one
    HWND window_;
    bool additionalSwapChain_;
    std::unique_ptr<CD3DSwapChain> swapChain_;
    IDirect3DSurface9* backBuffer_ = nullptr;
    IDirect3DSurface9* depthSurface_ = nullptr;
};
