#pragma once
// Direct3D 9's rules about formats, shared by the Direct3D object's checks and the device's
// creation methods.
#include "platform/d3d9/control.h"

namespace d3d9sw {

// Formats a display mode can have.
bool IsDisplayFormat(D3DFORMAT format);
// Formats a back buffer can have.
bool IsBackBufferFormat(D3DFORMAT format);
// The display format a back-buffer format is shown in (A8R8G8B8 -> X8R8G8B8, A1R5G5B5 -> X1R5G5B5).
D3DFORMAT DisplayFormatOf(D3DFORMAT backBufferFormat);
bool HasStencil(D3DFORMAT depthFormat);
// Depth formats whose surfaces LockRect opens (D16_LOCKABLE, D32F_LOCKABLE); their contents must
// survive, so they cannot be discarded.
bool IsLockableDepth(D3DFORMAT depthFormat);

// The adapter's support record for a format; all false when absent or when the software
// device cannot hold the format's pixels.
d3d9ctl::FormatSupport SupportOf(const d3d9ctl::AdapterConfig& adapter, D3DFORMAT format);

// The desktop mode of an adapter: adapter 0 follows the virtual display, others their config.
D3DDISPLAYMODE DesktopMode(const d3d9ctl::AdapterConfig& adapter, UINT ordinal);
// Whether the adapter offers display modes of `format` (or it is the desktop's format).
bool AdapterOffersFormat(const d3d9ctl::AdapterConfig& adapter, UINT ordinal, D3DFORMAT format);

inline bool IsPowerOfTwo(UINT value) { return value != 0 && (value & (value - 1)) == 0; }

// Levels of a full mip chain down to 1x1.
UINT FullMipCount(UINT width, UINT height);

// Whether `type` is a device type the adapter offers.
bool DeviceTypeAvailable(const d3d9ctl::AdapterConfig& adapter, D3DDEVTYPE type);

}  // namespace d3d9sw
