#pragma once
// DirectDraw 7, as far as the library uses it: it creates the object only to read the
// driver's total and free video memory. The figures come from the software Direct3D 9
// device's texture-memory budget.
//
// The library reaches DirectDrawCreateEx through LoadLibraryW(<system dir>\ddraw.dll) and
// GetProcAddress; ddrawctl::Install (platform/ddraw/control.h) registers that module.
#include "platform/win32/com.h"  // CLASS_E_NOAGGREGATION
#include "platform/win32/win32_types.h"

// DirectDraw's own failure codes (facility 0x876, as Direct3D's).
inline constexpr HRESULT DD_OK = S_OK;
inline constexpr HRESULT DDERR_GENERIC = E_FAIL;
inline constexpr HRESULT DDERR_INVALIDPARAMS = E_INVALIDARG;
inline constexpr HRESULT DDERR_UNSUPPORTED = E_NOTIMPL;
inline constexpr HRESULT DDERR_OUTOFMEMORY = E_OUTOFMEMORY;
inline constexpr HRESULT DDERR_INVALIDOBJECT = static_cast<HRESULT>(0x88760082u);
inline constexpr HRESULT DDERR_INVALIDDIRECTDRAWGUID = static_cast<HRESULT>(0x88760231u);

// {15E65EC0-3B9C-11D2-B92F-00609797EA5B}
inline constexpr IID IID_IDirectDraw7 = {0x15e65ec0, 0x3b9c, 0x11d2, {0xb9, 0x2f, 0x00, 0x60, 0x97, 0x97, 0xea, 0x5b}};

inline constexpr DWORD DDSCL_NORMAL = 0x00000008;

// Driver capabilities. Our own record with the platform's size (380 bytes) and the
// platform's order for the leading fields up to the video-memory figures; the rest is
// kept as reserved words, which GetCaps zeroes.
struct DDCAPS {
    DWORD dwSize;  // must be sizeof(DDCAPS)
    DWORD dwCaps;
    DWORD dwCaps2;
    DWORD dwCKeyCaps;
    DWORD dwFXCaps;
    DWORD dwFXAlphaCaps;
    DWORD dwPalCaps;
    DWORD dwSVCaps;
    DWORD dwAlphaBltConstBitDepths;
    DWORD dwAlphaBltPixelBitDepths;
    DWORD dwAlphaBltSurfaceBitDepths;
    DWORD dwAlphaOverlayConstBitDepths;
    DWORD dwAlphaOverlayPixelBitDepths;
    DWORD dwAlphaOverlaySurfaceBitDepths;
    DWORD dwZBufferBitDepths;
    DWORD dwVidMemTotal;  // bytes
    DWORD dwVidMemFree;   // bytes
    DWORD dwReserved[78];
};
static_assert(sizeof(DDCAPS) == 380, "DDCAPS keeps the platform's size");

struct IDirectDraw7 : IUnknown {
    // Only DDSCL_NORMAL (window may be null) is modelled: other flags give
    // DDERR_UNSUPPORTED, no flags DDERR_INVALIDPARAMS.
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
    // Fills the driver caps (video memory from the device budget: total, and what the
    // DEFAULT-pool allocations leave; each saturates at 0xFFFFFFFF) and the emulation
    // layer's caps (no video memory). Either pointer may be null, not both; a record whose
    // dwSize is not sizeof(DDCAPS) gives DDERR_INVALIDPARAMS and is left untouched.
    virtual HRESULT GetCaps(DDCAPS* driverCaps, DDCAPS* helCaps) = 0;

protected:
    ~IDirectDraw7() = default;
};

// Creates the DirectDraw object of the primary display. `guid` must be null (other
// devices are not modelled: DDERR_INVALIDDIRECTDRAWGUID), `iid` IID_IDirectDraw7
// (else DDERR_INVALIDPARAMS), `outer` null (CLASS_E_NOAGGREGATION). *directDraw is set to
// the object with one reference, or to null on failure (DDERR_INVALIDPARAMS when null).
HRESULT DirectDrawCreateEx(GUID* guid, void** directDraw, REFIID iid, IUnknown* outer);
using DirectDrawCreateExFunction = HRESULT (*)(GUID* guid, void** directDraw, REFIID iid, IUnknown* outer);
