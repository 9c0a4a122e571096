#pragma once
// The heart of every D3DX load: copies a rectangle of one surface's memory into a rectangle of
// another's, converting between any two formats the device supports (through 32-bit ARGB, DXT
// blocks encoded on the way in), resampling with a D3DX filter and applying a colour key.
#include "platform/d3d9/pixel_format.h"
#include "platform/win32/win32_types.h"

namespace d3dx {

// `dstRect`/`srcRect` null mean the whole surface; otherwise they must be non-empty and lie
// inside their surface. `filter` is a D3DX_FILTER_* kind in the low byte (flags above it are
// ignored) or D3DX_DEFAULT (triangle). Source pixels equal to `colorKey` (0xAARRGGBB, after
// conversion to ARGB; 0 = no key) become transparent black before filtering.
// A DXT destination rectangle that cuts blocks keeps the pixels of those blocks outside it.
// Returns D3D_OK, or D3DERR_INVALIDCALL for bad rectangles, filters, or formats that are not
// colour formats of the device (nothing is written then).
HRESULT CopySurfaceRect(const d3d9sw::SurfaceView& dst, const RECT* dstRect, const d3d9sw::SurfaceView& src,
                        const RECT* srcRect, DWORD filter, DWORD colorKey);

}  // namespace d3dx
