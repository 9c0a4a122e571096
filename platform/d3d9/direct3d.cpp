#include "platform/d3d9/direct3d.h"

#include <cstring>
#include <string>

#include "platform/d3d9/control_state.h"
#include "platform/d3d9/device.h"
#include "platform/d3d9/format_rules.h"

namespace d3d9sw {
namespace {

constexpr DWORD kQueryUsages = D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_DYNAMIC |
                               D3DUSAGE_AUTOGENMIPMAP | D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING;

// The adapter's configuration, or null for a bad ordinal.
const d3d9ctl::AdapterConfig* AdapterAt(UINT ordinal) {
    const ControlState& state = Control();
    return ordinal < state.adapters.size() ? &state.adapters[ordinal] : nullptr;
}

void CopyText(char* dest, std::size_t size, const std::string& text) {
    const std::size_t count = std::min(size - 1, text.size());
    std::memcpy(dest, text.data(), count);
    dest[count] = '\0';
}

bool TextureFormatOk(const d3d9ctl::AdapterConfig& adapter, DWORD usage, const d3d9ctl::FormatSupport& support) {
    if (usage & (D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_AUTOGENMIPMAP)) return false;  // no depth textures, no autogen
    bool ok = (usage & D3DUSAGE_RENDERTARGET) ? support.renderTarget : support.texture;
    if (usage & D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING) ok = ok && support.postPixelShaderBlending;
    if (usage & D3DUSAGE_DYNAMIC) ok = ok && (adapter.caps.Caps2 & D3DCAPS2_DYNAMICTEXTURES) != 0;
    return ok;
}

bool SurfaceFormatOk(DWORD usage, const d3d9ctl::FormatSupport& support) {
    if (usage & (D3DUSAGE_DYNAMIC | D3DUSAGE_AUTOGENMIPMAP)) return false;
    bool ok;
    if (usage & D3DUSAGE_DEPTHSTENCIL) ok = support.depthStencil;
    else if (usage & D3DUSAGE_RENDERTARGET) ok = support.renderTarget;
    else ok = support.surface || support.texture;
    if (usage & D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING) ok = ok && support.postPixelShaderBlending;
    return ok;
}

}  // namespace

Direct3D::Direct3D() : RefCounted(nullptr, nullptr) {}

HRESULT Direct3D::QueryInterface(REFIID riid, void** object) {
    auto lock = LockApi();
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3D9) {
        *object = static_cast<IDirect3D9*>(this);
        AddPublic();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG Direct3D::AddRef() {
    auto lock = LockApi();
    return AddPublic();
}

ULONG Direct3D::Release() {
    auto lock = LockApi();
    return ReleasePublic();
}

UINT Direct3D::GetAdapterCount() {
    auto lock = LockApi();
    return static_cast<UINT>(Control().adapters.size());
}

HRESULT Direct3D::GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* identifier) {
    auto lock = LockApi();
    const ArgList args = Args(adapter, flags);
    HRESULT hr;
    if (TakeScriptedFailure("GetAdapterIdentifier", &hr)) return Logged("GetAdapterIdentifier", args, hr);
    const d3d9ctl::AdapterConfig* config = AdapterAt(adapter);
    if (config == nullptr || identifier == nullptr || (flags & ~D3DENUM_WHQL_LEVEL) != 0)
        return Logged("GetAdapterIdentifier", args, D3DERR_INVALIDCALL);
    *identifier = D3DADAPTER_IDENTIFIER9{};
    CopyText(identifier->Driver, sizeof identifier->Driver, config->driver);
    CopyText(identifier->Description, sizeof identifier->Description, config->description);
    CopyText(identifier->DeviceName, sizeof identifier->DeviceName, config->deviceName);
    identifier->DriverVersion.QuadPart = config->driverVersion;
    identifier->VendorId = config->vendorId;
    identifier->DeviceId = config->deviceId;
    identifier->SubSysId = config->subSysId;
    identifier->Revision = config->revision;
    identifier->DeviceIdentifier = config->deviceIdentifier;
    identifier->WHQLLevel = (flags & D3DENUM_WHQL_LEVEL) ? 1 : 0;
    return Logged("GetAdapterIdentifier", args, D3D_OK);
}

UINT Direct3D::GetAdapterModeCount(UINT adapter, D3DFORMAT format) {
    auto lock = LockApi();
    const d3d9ctl::AdapterConfig* config = AdapterAt(adapter);
    if (config == nullptr || !IsDisplayFormat(format)) return 0;
    UINT count = 0;
    for (const D3DDISPLAYMODE& mode : config->modes)
        if (mode.Format == format) ++count;
    return count;
}

HRESULT Direct3D::EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT index, D3DDISPLAYMODE* out) {
    auto lock = LockApi();
    const ArgList args = Args(adapter, format, index);
    HRESULT hr;
    if (TakeScriptedFailure("EnumAdapterModes", &hr)) return Logged("EnumAdapterModes", args, hr);
    const d3d9ctl::AdapterConfig* config = AdapterAt(adapter);
    if (config == nullptr || out == nullptr) return Logged("EnumAdapterModes", args, D3DERR_INVALIDCALL);
    if (!IsDisplayFormat(format)) return Logged("EnumAdapterModes", args, D3DERR_NOTAVAILABLE);
    for (const D3DDISPLAYMODE& mode : config->modes) {
        if (mode.Format != format) continue;
        if (index-- == 0) {
            *out = mode;
            return D3D_OK;  // enumeration is a read: not logged
        }
    }
    return Logged("EnumAdapterModes", args, D3DERR_INVALIDCALL);
}

HRESULT Direct3D::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) {
    auto lock = LockApi();
    HRESULT hr;
    if (TakeScriptedFailure("GetAdapterDisplayMode", &hr)) return Logged("GetAdapterDisplayMode", Args(adapter), hr);
    const d3d9ctl::AdapterConfig* config = AdapterAt(adapter);
    if (config == nullptr || mode == nullptr) return Logged("GetAdapterDisplayMode", Args(adapter), D3DERR_INVALIDCALL);
    *mode = DesktopMode(*config, adapter);
    return D3D_OK;
}

HRESULT Direct3D::CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, D3DFORMAT backBufferFormat,
                                  BOOL windowed) {
    auto lock = LockApi();
    const ArgList args = Args(adapter, type, adapterFormat, backBufferFormat, windowed);
    auto done = [&](HRESULT hr) { return Logged("CheckDeviceType", args, hr); };
    HRESULT hr;
    if (TakeScriptedFailure("CheckDeviceType", &hr)) return done(hr);
    const d3d9ctl::AdapterConfig* config = AdapterAt(adapter);
    if (config == nullptr) return done(D3DERR_INVALIDCALL);
    if (!DeviceTypeAvailable(*config, type)) return done(D3DERR_NOTAVAILABLE);
    if (!AdapterOffersFormat(*config, adapter, adapterFormat)) return done(D3DERR_NOTAVAILABLE);
    if (backBufferFormat == D3DFMT_UNKNOWN) {
        if (!windowed) return done(D3DERR_INVALIDCALL);
        backBufferFormat = adapterFormat;
    }
    if (!IsBackBufferFormat(backBufferFormat) || !SupportOf(*config, backBufferFormat).renderTarget)
        return done(D3DERR_NOTAVAILABLE);
    if (!windowed) {
        // Full screen shows the back buffer in the display's own format, which needs modes.
        if (DisplayFormatOf(backBufferFormat) != adapterFormat) return done(D3DERR_NOTAVAILABLE);
        bool hasModes = false;
        for (const D3DDISPLAYMODE& mode : config->modes) hasModes = hasModes || mode.Format == adapterFormat;
        if (!hasModes) return done(D3DERR_NOTAVAILABLE);
    }
    return done(D3D_OK);
}

HRESULT Direct3D::CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                                    D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) {
    auto lock = LockApi();
    const ArgList args = Args(adapter, type, adapterFormat, usage, resourceType, checkFormat);
    auto done = [&](HRESULT hr) { return Logged("CheckDeviceFormat", args, hr); };
    HRESULT hr;
    if (TakeScriptedFailure("CheckDeviceFormat", &hr)) return done(hr);
    const d3d9ctl::AdapterConfig* config = AdapterAt(adapter);
    if (config == nullptr || !IsDisplayFormat(adapterFormat)) return done(D3DERR_INVALIDCALL);
    if (!DeviceTypeAvailable(*config, type) || !AdapterOffersFormat(*config, adapter, adapterFormat))
        return done(D3DERR_NOTAVAILABLE);
    if ((usage & ~kQueryUsages) != 0) return done(D3DERR_NOTAVAILABLE);
    const d3d9ctl::FormatSupport support = SupportOf(*config, checkFormat);
    bool ok = false;
    switch (resourceType) {
    case D3DRTYPE_TEXTURE: ok = TextureFormatOk(*config, usage, support); break;
    case D3DRTYPE_SURFACE: ok = SurfaceFormatOk(usage, support); break;
    case D3DRTYPE_INDEXBUFFER: ok = usage == 0 && support.indexBuffer; break;
    case D3DRTYPE_VERTEXBUFFER: ok = usage == 0 && checkFormat == D3DFMT_VERTEXDATA; break;
    default: ok = false; break;  // no volume or cube textures
    }
    return done(ok ? D3D_OK : D3DERR_NOTAVAILABLE);
}

HRESULT Direct3D::CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT surfaceFormat, BOOL windowed,
                                             D3DMULTISAMPLE_TYPE multiSample, DWORD* qualityLevels) {
    auto lock = LockApi();
    const ArgList args = Args(adapter, type, surfaceFormat, windowed, multiSample);
    auto done = [&](HRESULT hr) { return Logged("CheckDeviceMultiSampleType", args, hr); };
    if (qualityLevels != nullptr) *qualityLevels = 0;
    HRESULT hr;
    if (TakeScriptedFailure("CheckDeviceMultiSampleType", &hr)) return done(hr);
    const d3d9ctl::AdapterConfig* config = AdapterAt(adapter);
    if (config == nullptr || multiSample > D3DMULTISAMPLE_16_SAMPLES) return done(D3DERR_INVALIDCALL);
    if (!DeviceTypeAvailable(*config, type)) return done(D3DERR_NOTAVAILABLE);
    const d3d9ctl::FormatSupport support = SupportOf(*config, surfaceFormat);
    if (!support.renderTarget && !support.depthStencil) return done(D3DERR_NOTAVAILABLE);
    DWORD levels = 0;
    if (multiSample == D3DMULTISAMPLE_NONE) {
        levels = 1;
    } else {
        const auto it = config->multiSample.find(multiSample);
        if (it == config->multiSample.end() || it->second == 0) return done(D3DERR_NOTAVAILABLE);
        levels = it->second;
    }
    if (qualityLevels != nullptr) *qualityLevels = levels;
    return done(D3D_OK);
}

HRESULT Direct3D::CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                         D3DFORMAT renderTargetFormat, D3DFORMAT depthStencilFormat) {
    auto lock = LockApi();
    const ArgList args = Args(adapter, type, adapterFormat, renderTargetFormat, depthStencilFormat);
    auto done = [&](HRESULT hr) { return Logged("CheckDepthStencilMatch", args, hr); };
    HRESULT hr;
    if (TakeScriptedFailure("CheckDepthStencilMatch", &hr)) return done(hr);
    const d3d9ctl::AdapterConfig* config = AdapterAt(adapter);
    if (config == nullptr || !IsDisplayFormat(adapterFormat)) return done(D3DERR_INVALIDCALL);
    if (!DeviceTypeAvailable(*config, type)) return done(D3DERR_NOTAVAILABLE);
    const bool ok = SupportOf(*config, renderTargetFormat).renderTarget && SupportOf(*config, depthStencilFormat).depthStencil;
    return done(ok ? D3D_OK : D3DERR_NOTAVAILABLE);
}

HRESULT Direct3D::GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) {
    auto lock = LockApi();
    const ArgList args = Args(adapter, type);
    HRESULT hr;
    if (TakeScriptedFailure("GetDeviceCaps", &hr)) return Logged("GetDeviceCaps", args, hr);
    const d3d9ctl::AdapterConfig* config = AdapterAt(adapter);
    if (config == nullptr || caps == nullptr) return Logged("GetDeviceCaps", args, D3DERR_INVALIDCALL);
    if (!DeviceTypeAvailable(*config, type)) return Logged("GetDeviceCaps", args, D3DERR_NOTAVAILABLE);
    *caps = config->caps;
    caps->DeviceType = type;
    caps->AdapterOrdinal = adapter;
    caps->MasterAdapterOrdinal = adapter;
    return Logged("GetDeviceCaps", args, D3D_OK);
}

HRESULT Direct3D::CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                               D3DPRESENT_PARAMETERS* presentParameters, IDirect3DDevice9** device) {
    auto lock = LockApi();
    const ArgList args = Args(adapter, type, focusWindow, behaviorFlags);
    auto done = [&](HRESULT hr) { return Logged("CreateDevice", args, hr); };
    if (device != nullptr) *device = nullptr;
    HRESULT hr;
    if (TakeScriptedFailure("CreateDevice", &hr)) return done(hr);
    const d3d9ctl::AdapterConfig* config = AdapterAt(adapter);
    if (config == nullptr || presentParameters == nullptr || device == nullptr) return done(D3DERR_INVALIDCALL);
    if (!DeviceTypeAvailable(*config, type)) return done(D3DERR_NOTAVAILABLE);
    return done(Device::Create(this, adapter, type, focusWindow, behaviorFlags, presentParameters, device));
}

}  // namespace d3d9sw

IDirect3D9* Direct3DCreate9(UINT sdkVersion) {
    auto lock = d3d9sw::LockApi();
    HRESULT ignored;
    if (d3d9sw::TakeScriptedFailure("Direct3DCreate9", &ignored)) {
        d3d9sw::Logged("Direct3DCreate9", d3d9sw::Args(sdkVersion), ignored);
        return nullptr;
    }
    if (sdkVersion != D3D_SDK_VERSION) {
        d3d9sw::Logged("Direct3DCreate9", d3d9sw::Args(sdkVersion), D3DERR_INVALIDCALL);
        return nullptr;
    }
    d3d9sw::Logged("Direct3DCreate9", d3d9sw::Args(sdkVersion), D3D_OK);
    return new d3d9sw::Direct3D();
}
