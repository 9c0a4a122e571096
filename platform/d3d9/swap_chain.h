#pragma once
// A swap chain: its back buffers and the copy of back buffer 0 into a window's pixels. The
// device's implicit chain belongs to the device; additional chains stand alone.
#include <memory>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/ref_counted.h"
#include "platform/d3d9/surface.h"

namespace d3d9sw {

class Device;

class SwapChain final : public IDirect3DSwapChain9, public RefCounted {
public:
    // `params` already completed (CompletePresentParameters). `container` is the device for
    // the implicit chain, null for an additional one.
    SwapChain(Device* device, RefCounted* container, const D3DPRESENT_PARAMETERS& params);
    ~SwapChain() override;

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                    const RGNDATA* dirtyRegion, DWORD flags) override;
    HRESULT GetBackBuffer(UINT backBuffer, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) override;
    HRESULT GetDisplayMode(D3DDISPLAYMODE* mode) override;
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    HRESULT GetPresentParameters(D3DPRESENT_PARAMETERS* presentParameters) override;

    // The copy itself, for the device's Present and this chain's (loss already checked).
    HRESULT PresentToWindow(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                            const RGNDATA* dirtyRegion);
    Surface* BackBuffer(UINT index) const { return index < backBuffers_.size() ? backBuffers_[index].get() : nullptr; }
    UINT BackBufferCount() const { return static_cast<UINT>(backBuffers_.size()); }
    const D3DPRESENT_PARAMETERS& Params() const { return params_; }
    // Public references the application holds on the chain or its back buffers.
    bool HeldByApplication() const;

private:
    Device* device_;
    D3DPRESENT_PARAMETERS params_;
    std::vector<std::unique_ptr<Surface>> backBuffers_;
};

}  // namespace d3d9sw
