// The device side of the enumeration: device types of one adapter, their capability check
// and test device, and the format combinations each device accepts.
#include <algorithm>
#include <new>

#include "core/device_enumeration.h"
#include "core/event_log.h"
#include "core/format_helpers.h"
#include "platform/dxerr/dxerr.h"

namespace {

constexpr D3DDEVTYPE kDeviceTypes[] = {D3DDEVTYPE_HAL, D3DDEVTYPE_SW, D3DDEVTYPE_REF};
constexpr D3DFORMAT kBackBufferFormats[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A1R5G5B5,
                                            D3DFMT_X1R5G5B5};
// Windowed presentation cannot wait for more than one retrace.
constexpr UINT kFullScreenOnlyIntervals =
    D3DPRESENT_INTERVAL_TWO | D3DPRESENT_INTERVAL_THREE | D3DPRESENT_INTERVAL_FOUR;

}  // namespace

HRESULT CAdapterEnum::EnumerateDevices(STRU_ADAPTER_INFO* adapter, const std::vector<D3DFORMAT>& adapterFormats) {
    const UINT ordinal = adapter->AdapterOrdinal;
    for (D3DDEVTYPE type : kDeviceTypes) {
        std::unique_ptr<STRU_DEVICE_INFO> device(new (std::nothrow) STRU_DEVICE_INFO);
        if (!device) {
            WriteLog(u"**Error: out of memory[b].");
            return E_OUTOFMEMORY;
        }
        device->AdapterOrdinal = ordinal;
        device->DevType = type;
        WriteLog(u"\tDeviceType: %s", DevTypeName(type));

        if (FAILED(direct3d_->GetDeviceCaps(ordinal, type, &device->Caps))) {
            WriteLog(u"\tDevice NOT supported.");
            WriteLog(u"");
            continue;
        }
        if (!CheckDeviceCaps(device->Caps)) continue;
        if (type != D3DDEVTYPE_HAL && !TestNonHalDevice(ordinal, type)) continue;

        WriteLog(u"\tEnumerate Device Combos:");
        const HRESULT hr = EnumerateDeviceCombos(adapter, device.get(), adapterFormats);
        if (FAILED(hr)) {
            WriteLog(u"\tEnumerate Device Combos failed.");
            WriteLog(u"");
            if (hr == E_OUTOFMEMORY) return hr;
            continue;
        }
        WriteLog(u"\tDevice Combos Count : %d", static_cast<int>(device->DeviceCombos.size()));
        WriteLog(u"");
        if (!device->DeviceCombos.empty()) adapter->DeviceInfos.push_back(std::move(device));
    }
    return S_OK;
}

bool CAdapterEnum::CheckDeviceCaps(const D3DCAPS9& caps) {
    WriteLog(u"\tCheck Device Caps:");
    bool pass = true;
    if ((caps.ZCmpCaps & D3DPCMPCAPS_LESSEQUAL) == 0) {
        WriteLog(u"Z Testing(LESSEQUAL) NOT supported!");
        pass = false;
    }
    if (caps.MaxTextureWidth < kMinTextureSide || caps.MaxTextureHeight < kMinTextureSide) {
        WriteLog(u"Adapter does NOT support texture size with [%dx%d]", kMinTextureSide, kMinTextureSide);
        pass = false;
    }
    if (!pass) {
        WriteLog(u"\tDevice Caps Check NOT pass.");
        WriteLog(u"");
        return false;
    }
    WriteLog(u"\tDevice Caps Check pass.");
    return true;
}

// A software or reference rasteriser may report caps and still fail to create a device.
bool CAdapterEnum::TestNonHalDevice(UINT ordinal, D3DDEVTYPE type) {
    WriteLog(u"\tTry test REF device.");
    D3DDISPLAYMODE desktop{};
    direct3d_->GetAdapterDisplayMode(0, &desktop);
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = 1;
    params.BackBufferHeight = 1;
    params.BackBufferFormat = desktop.Format;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_COPY;
    params.hDeviceWindow = window_;
    params.Windowed = 1;
    IDirect3DDevice9* device = nullptr;
    const HRESULT hr = direct3d_->CreateDevice(ordinal, type, window_, D3DCREATE_HARDWARE_VERTEXPROCESSING, &params,
                                               &device);
    if (FAILED(hr) || device == nullptr) {
        WriteLog(u"\tOrdinal:%d", ordinal);
        WriteLog(u"\tType:%s", DevTypeName(type));
        WriteLog(u"\tBackBuffer:%s", FormatName(desktop.Format));
        WriteLog(u"\tFlags:%d", D3DCREATE_HARDWARE_VERTEXPROCESSING);
        WriteLog(u"\tREF device test failed.[%s]", DXGetErrorDescriptionW(FAILED(hr) ? hr : E_FAIL));
        WriteLog(u"");
        return false;
    }
    WriteLog(u"\tREF device test OK.");
    device->Release();
    return true;
}

HRESULT CAdapterEnum::EnumerateDeviceCombos(STRU_ADAPTER_INFO* adapter, STRU_DEVICE_INFO* device,
                                            const std::vector<D3DFORMAT>& adapterFormats) {
    const UINT ordinal = adapter->AdapterOrdinal;
    for (D3DFORMAT adapterFormat : adapterFormats) {
        for (D3DFORMAT backBufferFormat : kBackBufferFormats) {
            for (BOOL windowed = 0; windowed <= 1; ++windowed) {
                if (!windowed && adapter->DisplayModes.empty()) continue;
                const char16_t* reason = nullptr;
                if (FAILED(direct3d_->CheckDeviceType(ordinal, device->DevType, adapterFormat, backBufferFormat,
                                                      windowed))) {
                    reason = u"\tUnsupported combos:";
                } else if (requirePostPixelShaderBlending_ &&
                           FAILED(direct3d_->CheckDeviceFormat(ordinal, device->DevType, adapterFormat,
                                                               D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING,
                                                               D3DRTYPE_TEXTURE, backBufferFormat))) {
                    reason = u"\tAlpha test NOT supported:";
                }
                if (reason != nullptr) {
                    WriteLog(reason);
                    WriteLog(u"\tWindowed : %s", windowed ? u"True" : u"False");
                    WriteLog(u"\tAdapterFormat : %s", FormatName(adapterFormat));
                    WriteLog(u"\tBackbufferFormat : %s", FormatName(backBufferFormat));
                    continue;
                }

                std::unique_ptr<STRU_DEVICE_COMBO> combo(new (std::nothrow) STRU_DEVICE_COMBO);
                if (!combo) {
                    WriteLog(u"out of memory[c].");
                    return E_OUTOFMEMORY;
                }
                combo->AdapterOrdinal = ordinal;
                combo->DeviceType = device->DevType;
                combo->AdapterFormat = adapterFormat;
                combo->BackBufferFormat = backBufferFormat;
                combo->Windowed = windowed;
                combo->AdapterInfo = adapter;
                combo->DeviceInfo = device;
                FillComboLists(combo.get());
                if (combo->MultiSampleTypes.empty()) {
                    WriteLog(u"No valid MultiSample type.");
                    continue;
                }
                device->DeviceCombos.push_back(std::move(combo));
            }
        }
    }
    return S_OK;
}

void CAdapterEnum::FillComboLists(STRU_DEVICE_COMBO* combo) {
    const UINT ordinal = combo->AdapterOrdinal;
    const D3DDEVTYPE type = combo->DeviceType;
    for (D3DFORMAT format : depthStencilCandidates_) {
        if (SUCCEEDED(direct3d_->CheckDeviceFormat(ordinal, type, combo->AdapterFormat, D3DUSAGE_DEPTHSTENCIL,
                                                   D3DRTYPE_SURFACE, format)) &&
            SUCCEEDED(direct3d_->CheckDepthStencilMatch(ordinal, type, combo->AdapterFormat,
                                                        combo->BackBufferFormat, format)))
            combo->DepthStencilFormats.push_back(format);
    }

    for (D3DMULTISAMPLE_TYPE msType : multiSampleCandidates_) {
        DWORD levels = 0;
        if (FAILED(direct3d_->CheckDeviceMultiSampleType(ordinal, type, combo->BackBufferFormat, combo->Windowed,
                                                         msType, &levels)))
            continue;
        combo->MultiSampleTypes.push_back(msType);
        combo->MultiSampleQualities.push_back(std::min<DWORD>(levels, multiSampleQualityMax_ + 1));
    }
    if (combo->MultiSampleTypes.empty()) return;

    for (D3DFORMAT format : combo->DepthStencilFormats) {
        for (D3DMULTISAMPLE_TYPE msType : combo->MultiSampleTypes) {
            if (SUCCEEDED(
                    direct3d_->CheckDeviceMultiSampleType(ordinal, type, format, combo->Windowed, msType, nullptr)))
                continue;
            combo->DSMSConflicts.push_back({format, msType});
            WriteLog(u"\tDepth-Stencil / MultiSample Conflict : %s / %s", FormatName(format),
                     MultiSampleTypeName(msType));
        }
    }

    const DWORD supportedIntervals = combo->DeviceInfo->Caps.PresentationIntervals;
    for (UINT interval : presentIntervalCandidates_) {
        if (combo->Windowed && (interval & kFullScreenOnlyIntervals) != 0) continue;
        if (interval != D3DPRESENT_INTERVAL_DEFAULT && (supportedIntervals & interval) == 0) continue;
        combo->PresentIntervals.push_back(interval);
    }
}
