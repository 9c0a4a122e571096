#pragma once
// Validation of presentation parameters, shared by CreateDevice, Reset and
// CreateAdditionalSwapChain.
#include "platform/d3d9/control.h"

namespace d3d9sw {

enum class PresentUse { Device, AdditionalSwapChain };

// Checks `params` against the window and the adapter and fills in what Direct3D 9 fills in:
// a windowed zero size becomes the window's client size, a windowed D3DFMT_UNKNOWN the desktop
// format, a zero back-buffer count 1. `focusWindow` stands in for a null hDeviceWindow.
// D3DERR_INVALIDCALL when something does not fit (nothing is changed then), D3DERR_NOTAVAILABLE
// for a format or multisample type the adapter does not offer.
HRESULT CompletePresentParameters(const d3d9ctl::AdapterConfig& adapter, UINT ordinal, HWND focusWindow,
                                  PresentUse use, D3DPRESENT_PARAMETERS* params);

// The window a swap chain presents into by default.
inline HWND PresentWindow(const D3DPRESENT_PARAMETERS& params, HWND focusWindow) {
    return params.hDeviceWindow != nullptr ? params.hDeviceWindow : focusWindow;
}

}  // namespace d3d9sw
