#include "platform/d3d9/format_rules.h"

#include "platform/d3d9/pixel_format.h"
#include "platform/win32/display.h"

namespace d3d9sw {

bool IsDisplayFormat(D3DFORMAT format) {
    return format == D3DFMT_X8R8G8B8 || format == D3DFMT_R5G6B5 || format == D3DFMT_X1R5G5B5 ||
           format == D3DFMT_A2R10G10B10;
}

bool IsBackBufferFormat(D3DFORMAT format) {
    return format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8 || format == D3DFMT_R5G6B5 ||
           format == D3DFMT_X1R5G5B5 || format == D3DFMT_A1R5G5B5 || format == D3DFMT_A2R10G10B10;
}

D3DFORMAT DisplayFormatOf(D3DFORMAT backBufferFormat) {
    if (backBufferFormat == D3DFMT_A8R8G8B8) return D3DFMT_X8R8G8B8;
    if (backBufferFormat == D3DFMT_A1R5G5B5) return D3DFMT_X1R5G5B5;
    return backBufferFormat;
}

bool HasStencil(D3DFORMAT depthFormat) {
    return depthFormat == D3DFMT_D24S8 || depthFormat == D3DFMT_D15S1 || depthFormat == D3DFMT_D24X4S4 ||
           depthFormat == D3DFMT_D24FS8;
}

bool IsLockableDepth(D3DFORMAT depthFormat) {
    return depthFormat == D3DFMT_D16_LOCKABLE || depthFormat == D3DFMT_D32F_LOCKABLE;
}

d3d9ctl::FormatSupport SupportOf(const d3d9ctl::AdapterConfig& adapter, D3DFORMAT format) {
    const auto it = adapter.formats.find(format);
    if (it == adapter.formats.end()) return {};
    // An index format has no pixel layout; everything else must be one the device can hold.
    if (format != D3DFMT_INDEX16 && !DescribeFormat(format).supported) return {};
    return it->second;
}

D3DDISPLAYMODE DesktopMode(const d3d9ctl::AdapterConfig& adapter, UINT ordinal) {
    if (ordinal != 0) return adapter.desktop;
    const win32::DisplayMode mode = win32::CurrentDisplayMode();
    const D3DFORMAT format = mode.bitsPerPixel == 16 ? D3DFMT_R5G6B5 : D3DFMT_X8R8G8B8;
    return D3DDISPLAYMODE{mode.width, mode.height, mode.frequency, format};
}

bool AdapterOffersFormat(const d3d9ctl::AdapterConfig& adapter, UINT ordinal, D3DFORMAT format) {
    if (!IsDisplayFormat(format)) return false;
    if (DesktopMode(adapter, ordinal).Format == format) return true;
    for (const D3DDISPLAYMODE& mode : adapter.modes)
        if (mode.Format == format) return true;
    return false;
}

UINT FullMipCount(UINT width, UINT height) {
    UINT levels = 1;
    while (width > 1 || height > 1) {
        width = width > 1 ? width / 2 : 1;
        height = height > 1 ? height / 2 : 1;
        ++levels;
    }
    return levels;
}

bool DeviceTypeAvailable(const d3d9ctl::AdapterConfig& adapter, D3DDEVTYPE type) {
    switch (type) {
    case D3DDEVTYPE_HAL: return adapter.halAvailable;
    case D3DDEVTYPE_REF: return adapter.refAvailable;
    case D3DDEVTYPE_SW: return adapter.swAvailable;
    default: return false;
    }
}

}  // namespace d3d9sw
