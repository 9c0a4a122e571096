#include "platform/d3d9/presentation.h"

#include "platform/d3d9/format_rules.h"
#include "platform/win32/window.h"

namespace d3d9sw {
namespace {

constexpr UINT kMaxBackBuffers = 3;
constexpr DWORD kKnownPresentFlags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER | D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL |
                                     0x00000004 /* device clip */ | 0x00000010 /* video */;

bool IntervalAllowed(DWORD interval, bool windowed, DWORD capsIntervals) {
    if (interval == D3DPRESENT_INTERVAL_DEFAULT) return true;
    if (interval != D3DPRESENT_INTERVAL_IMMEDIATE && interval != D3DPRESENT_INTERVAL_ONE &&
        interval != D3DPRESENT_INTERVAL_TWO && interval != D3DPRESENT_INTERVAL_THREE &&
        interval != D3DPRESENT_INTERVAL_FOUR)
        return false;
    // A window presents at most once per refresh.
    if (windowed && interval != D3DPRESENT_INTERVAL_IMMEDIATE && interval != D3DPRESENT_INTERVAL_ONE) return false;
    return (capsIntervals & interval) != 0;
}

bool MultiSampleAllowed(const d3d9ctl::AdapterConfig& adapter, D3DFORMAT format, D3DMULTISAMPLE_TYPE type,
                        DWORD quality) {
    if (type == D3DMULTISAMPLE_NONE) return quality == 0;
    const auto it = adapter.multiSample.find(type);
    if (it == adapter.multiSample.end()) return false;
    const d3d9ctl::FormatSupport support = SupportOf(adapter, format);
    return (support.renderTarget || support.depthStencil) && quality < it->second;
}

bool FullScreenModeExists(const d3d9ctl::AdapterConfig& adapter, const D3DPRESENT_PARAMETERS& params) {
    const D3DFORMAT display = DisplayFormatOf(params.BackBufferFormat);
    for (const D3DDISPLAYMODE& mode : adapter.modes) {
        if (mode.Format == display && mode.Width == params.BackBufferWidth && mode.Height == params.BackBufferHeight &&
            (params.FullScreen_RefreshRateInHz == 0 || params.FullScreen_RefreshRateInHz == mode.RefreshRate))
            return true;
    }
    return false;
}

}  // namespace

HRESULT CompletePresentParameters(const d3d9ctl::AdapterConfig& adapter, UINT ordinal, HWND focusWindow,
                                  PresentUse use, D3DPRESENT_PARAMETERS* params) {
    if (params == nullptr) return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS p = *params;
    const HWND window = PresentWindow(p, focusWindow);
    if (window == nullptr || !IsWindow(window)) return D3DERR_INVALIDCALL;
    if (p.Windowed != FALSE && p.Windowed != TRUE) return D3DERR_INVALIDCALL;
    if (use == PresentUse::AdditionalSwapChain && !p.Windowed) return D3DERR_INVALIDCALL;
    if (p.SwapEffect != D3DSWAPEFFECT_DISCARD && p.SwapEffect != D3DSWAPEFFECT_FLIP &&
        p.SwapEffect != D3DSWAPEFFECT_COPY)
        return D3DERR_INVALIDCALL;
    if (p.BackBufferCount == 0) p.BackBufferCount = 1;
    if (p.BackBufferCount > kMaxBackBuffers) return D3DERR_INVALIDCALL;
    if (p.SwapEffect == D3DSWAPEFFECT_COPY && p.BackBufferCount != 1) return D3DERR_INVALIDCALL;
    if ((p.Flags & ~kKnownPresentFlags) != 0) return D3DERR_INVALIDCALL;

    const D3DDISPLAYMODE desktop = DesktopMode(adapter, ordinal);
    if (p.Windowed) {
        if (p.FullScreen_RefreshRateInHz != 0) return D3DERR_INVALIDCALL;
        if (p.BackBufferWidth == 0 || p.BackBufferHeight == 0) {
            RECT client{};
            GetClientRect(window, &client);
            if (p.BackBufferWidth == 0) p.BackBufferWidth = static_cast<UINT>(client.right - client.left);
            if (p.BackBufferHeight == 0) p.BackBufferHeight = static_cast<UINT>(client.bottom - client.top);
            // A window without a client area still gets a 1x1 buffer, as on the platform.
            if (p.BackBufferWidth == 0) p.BackBufferWidth = 1;
            if (p.BackBufferHeight == 0) p.BackBufferHeight = 1;
        }
        if (p.BackBufferFormat == D3DFMT_UNKNOWN) p.BackBufferFormat = desktop.Format;
    } else {
        if (p.BackBufferFormat == D3DFMT_UNKNOWN || p.BackBufferWidth == 0 || p.BackBufferHeight == 0)
            return D3DERR_INVALIDCALL;
    }
    if (p.BackBufferWidth > adapter.caps.MaxTextureWidth * 4 || p.BackBufferHeight > adapter.caps.MaxTextureHeight * 4)
        return D3DERR_INVALIDCALL;
    if (!IsBackBufferFormat(p.BackBufferFormat) || !SupportOf(adapter, p.BackBufferFormat).renderTarget)
        return D3DERR_NOTAVAILABLE;
    if (!p.Windowed && !FullScreenModeExists(adapter, p)) return D3DERR_INVALIDCALL;
    if (!IntervalAllowed(p.PresentationInterval, p.Windowed != FALSE, adapter.caps.PresentationIntervals))
        return D3DERR_INVALIDCALL;
    if (p.MultiSampleType != D3DMULTISAMPLE_NONE && p.SwapEffect != D3DSWAPEFFECT_DISCARD) return D3DERR_INVALIDCALL;
    if (!MultiSampleAllowed(adapter, p.BackBufferFormat, p.MultiSampleType, p.MultiSampleQuality))
        return D3DERR_NOTAVAILABLE;
    if (p.MultiSampleType != D3DMULTISAMPLE_NONE && (p.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER))
        return D3DERR_INVALIDCALL;
    if (p.EnableAutoDepthStencil) {
        if (use == PresentUse::AdditionalSwapChain) return D3DERR_INVALIDCALL;
        if (!SupportOf(adapter, p.AutoDepthStencilFormat).depthStencil) return D3DERR_NOTAVAILABLE;
        if ((p.Flags & D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL) && IsLockableDepth(p.AutoDepthStencilFormat))
            return D3DERR_INVALIDCALL;
    }
    *params = p;
    return D3D_OK;
}

}  // namespace d3d9sw
