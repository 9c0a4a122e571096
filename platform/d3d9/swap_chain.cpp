#include "platform/d3d9/swap_chain.h"

#include <algorithm>
#include <cstring>

#include "platform/d3d9/control_state.h"
#include "platform/d3d9/device.h"
#include "platform/d3d9/presentation.h"
#include "platform/d3d9/raster_threads.h"
#include "platform/d3d9/window_copy.h"
#include "platform/win32/window.h"

namespace d3d9sw {
namespace {

constexpr DWORD kPresentFlags = 0x00000001 /* do not wait */ | 0x00000002 /* linear content */;

bool Empty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

}  // namespace

SwapChain::SwapChain(Device* device, RefCounted* container, const D3DPRESENT_PARAMETERS& params)
    : RefCounted(device, container), device_(device), params_(params) {
    D3DSURFACE_DESC desc{};
    desc.Format = params.BackBufferFormat;
    desc.Type = D3DRTYPE_SURFACE;
    desc.Usage = D3DUSAGE_RENDERTARGET;
    desc.Pool = D3DPOOL_DEFAULT;
    desc.MultiSampleType = params.MultiSampleType;
    desc.MultiSampleQuality = params.MultiSampleQuality;
    desc.Width = params.BackBufferWidth;
    desc.Height = params.BackBufferHeight;
    Surface::Options options;
    options.lockable = (params.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0;
    for (UINT i = 0; i < std::max<UINT>(params.BackBufferCount, 1); ++i)
        backBuffers_.push_back(std::make_unique<Surface>(device, this, static_cast<IDirect3DSwapChain9*>(this), desc, options));
}

SwapChain::~SwapChain() {
    device_->ForgetResource(this);
}

bool SwapChain::HeldByApplication() const {
    if (PublicRefs() > 0) return true;
    for (const auto& buffer : backBuffers_)
        if (buffer->PublicRefs() > 0) return true;
    return false;
}

HRESULT SwapChain::QueryInterface(REFIID riid, void** object) {
    auto lock = LockApi();
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DSwapChain9) {
        *object = static_cast<IDirect3DSwapChain9*>(this);
        AddPublic();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG SwapChain::AddRef() {
    auto lock = LockApi();
    return AddPublic();
}

ULONG SwapChain::Release() {
    auto lock = LockApi();
    return ReleasePublic();
}

HRESULT SwapChain::Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                           const RGNDATA* dirtyRegion, DWORD flags) {
    auto lock = LockApi();
    const ArgList args = Args(sourceRect, destRect, destWindowOverride, dirtyRegion, flags);
    HRESULT hr;
    if (TakeScriptedFailure("Present", &hr)) return Logged("Present", args, hr);
    if ((flags & ~kPresentFlags) != 0) return Logged("Present", args, D3DERR_INVALIDCALL);
    if (device_->Lost()) return Logged("Present", args, D3DERR_DEVICELOST);
    return Logged("Present", args, PresentToWindow(sourceRect, destRect, destWindowOverride, dirtyRegion));
}

HRESULT SwapChain::PresentToWindow(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                                   const RGNDATA* dirtyRegion) {
    if (dirtyRegion != nullptr) return NotModelled("Present with a dirty region");
    if ((sourceRect != nullptr || destRect != nullptr) && params_.SwapEffect != D3DSWAPEFFECT_COPY)
        return D3DERR_INVALIDCALL;
    HWND window = PresentWindow(params_, device_->FocusWindow());
    if (params_.Windowed && destWindowOverride != nullptr) window = destWindowOverride;
    if (!IsWindow(window)) return D3DERR_INVALIDCALL;

    const SurfaceView view = backBuffers_[0]->MemoryView();
    const RECT whole{0, 0, view.width, view.height};
    const RECT source = sourceRect != nullptr ? *sourceRect : whole;
    if (Empty(source) || source.left < 0 || source.top < 0 || source.right > view.width || source.bottom > view.height)
        return D3DERR_INVALIDCALL;
    int windowWidth = 0, windowHeight = 0;
    std::uint32_t* pixels = win32::WindowPixels(window, &windowWidth, &windowHeight);
    const RECT dest = destRect != nullptr ? *destRect : RECT{0, 0, windowWidth, windowHeight};
    // Bounded extents keep the scaling products below 2^63.
    constexpr long long kMaxDestExtent = 1 << 20;
    if (Empty(dest) || static_cast<long long>(dest.right) - dest.left > kMaxDestExtent ||
        static_cast<long long>(dest.bottom) - dest.top > kMaxDestExtent)
        return D3DERR_INVALIDCALL;

    ++Control().counters.presents;
    // Nothing to show into; or rasterising off: the platform copies on the GPU, which costs the
    // caller's CPU nothing.
    if (pixels == nullptr || !Control().rasterize) {
        device_->FlushDraws();
        return D3D_OK;
    }
    // A discarding chain's back buffer may be shown in place: where the window can show its
    // memory as it is, the two exchange their memory, as a flip does, and nothing is copied (the
    // back buffer takes its pixels back from the window only if the next frame needs them).
    if (params_.SwapEffect == D3DSWAPEFFECT_DISCARD && sourceRect == nullptr && destRect == nullptr &&
        backBuffers_[0]->ExchangeWithWindow(window))
        return D3D_OK;
    const WindowCopy copy(view, source, dest, pixels, windowWidth, windowHeight, Control().rasterAvx2);
    if (copy.RowForRow()) {
        // Each band's rows are copied by the thread that drew them, while they are in its cache.
        const RasterQueue::BandWork work{
            [](const void* context, int top, int bottom) { static_cast<const WindowCopy*>(context)->CopyBufferRows(top, bottom); },
            &copy, view.height, copy.VisibleArea()};
        device_->FlushDraws(&work);
        return D3D_OK;
    }
    device_->FlushDraws();
    const RECT& visible = copy.Visible();
    RasterThreads::Get().ForRowBands(visible.top, visible.bottom, copy.VisibleArea(), RasterThreadsInEffect(),
                                     [&copy](LONG top, LONG bottom) { copy.CopyWindowRows(top, bottom); });
    return D3D_OK;
}

HRESULT SwapChain::GetBackBuffer(UINT backBuffer, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) {
    auto lock = LockApi();
    HRESULT hr;
    if (TakeScriptedFailure("GetBackBuffer", &hr)) {
        if (surface != nullptr) *surface = nullptr;
        return Logged("GetBackBuffer", Args(backBuffer, type), hr);
    }
    if (surface == nullptr) return Logged("GetBackBuffer", Args(backBuffer, type), D3DERR_INVALIDCALL);
    *surface = nullptr;
    if (backBuffer >= backBuffers_.size() || type != D3DBACKBUFFER_TYPE_MONO)
        return Logged("GetBackBuffer", Args(backBuffer, type), D3DERR_INVALIDCALL);
    backBuffers_[backBuffer]->AddPublic();
    *surface = backBuffers_[backBuffer].get();
    return Logged("GetBackBuffer", Args(backBuffer, type), D3D_OK);
}

HRESULT SwapChain::GetDisplayMode(D3DDISPLAYMODE* mode) {
    auto lock = LockApi();
    if (mode == nullptr) return D3DERR_INVALIDCALL;
    return device_->GetDisplayMode(0, mode);
}

HRESULT SwapChain::GetDevice(IDirect3DDevice9** device) {
    auto lock = LockApi();
    if (device == nullptr) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *device = device_;
    return D3D_OK;
}

HRESULT SwapChain::GetPresentParameters(D3DPRESENT_PARAMETERS* presentParameters) {
    auto lock = LockApi();
    if (presentParameters == nullptr) return D3DERR_INVALIDCALL;
    *presentParameters = params_;
    return D3D_OK;
}

}  // namespace d3d9sw
