// The adapter side of the enumeration: video memory, adapters, display modes and the
// descriptions. Devices and combos are in device_enumeration_devices.cpp.
#include "core/device_enumeration.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <tuple>

#include "core/event_log.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win32/modules.h"
#include "platform/win32/text.h"

namespace {

constexpr std::size_t kMaxDescriptionUnits = 100;
constexpr D3DFORMAT kModeFormats[] = {D3DFMT_X8R8G8B8, D3DFMT_X1R5G5B5, D3DFMT_R5G6B5, D3DFMT_A2R10G10B10};

std::unique_ptr<CAdapterEnum>& Instance() {
    static std::unique_ptr<CAdapterEnum> instance;
    return instance;
}

}  // namespace

CAdapterEnum::CAdapterEnum()
    : depthStencilCandidates_{D3DFMT_D16, D3DFMT_D15S1, D3DFMT_D24X8, D3DFMT_D24S8, D3DFMT_D24X4S4, D3DFMT_D32},
      presentIntervalCandidates_{D3DPRESENT_INTERVAL_IMMEDIATE, D3DPRESENT_INTERVAL_DEFAULT, D3DPRESENT_INTERVAL_ONE,
                                 D3DPRESENT_INTERVAL_TWO,       D3DPRESENT_INTERVAL_THREE,   D3DPRESENT_INTERVAL_FOUR} {
    for (std::uint32_t type = D3DMULTISAMPLE_NONE; type <= D3DMULTISAMPLE_16_SAMPLES; ++type)
        multiSampleCandidates_.push_back(static_cast<D3DMULTISAMPLE_TYPE>(type));
}

CAdapterEnum::~CAdapterEnum() = default;

void CAdapterEnum::Refresh(IDirect3D9* direct3d, HWND window) {
    if (direct3d != nullptr) direct3d_ = direct3d;
    if (window != nullptr) window_ = window;
}

HRESULT CAdapterEnum::Enumerate(IDirect3D9* direct3d, HWND window) {
    if (direct3d == nullptr || window == nullptr) return E_FAIL;
    enumerated_ = true;
    direct3d_ = direct3d;
    window_ = window;
    chosenCombo_ = nullptr;
    adapters_.clear();

    ReadVideoMemory();
    WriteLog(u"Total Video Memory : %.2f(mb)", totalVideoMemory_ / kBytesPerMegabyte);
    WriteLog(u"Free Video Memory : %.2f(mb)", freeVideoMemory_ / kBytesPerMegabyte);

    const UINT count = direct3d_->GetAdapterCount();
    WriteLog(u"Adapter Count : %d", count);
    for (UINT ordinal = 0; ordinal < count; ++ordinal) {
        const HRESULT hr = EnumerateAdapter(ordinal);
        if (hr == E_OUTOFMEMORY) return hr;
    }
    MakeUniqueDescriptions();
    return S_OK;
}

void CAdapterEnum::ReadVideoMemory() {
    char16_t path[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    std::u16string fullPath(path, length);
    fullPath += u"\\ddraw.dll";

    HMODULE module = LoadLibraryW(fullPath.c_str());
    if (module == nullptr) return;
    const auto create = reinterpret_cast<DirectDrawCreateExFunction>(GetProcAddress(module, "DirectDrawCreateEx"));
    IDirectDraw7* directDraw = nullptr;
    if (create != nullptr &&
        SUCCEEDED(create(nullptr, reinterpret_cast<void**>(&directDraw), IID_IDirectDraw7, nullptr)) &&
        directDraw != nullptr) {
        if (SUCCEEDED(directDraw->SetCooperativeLevel(nullptr, DDSCL_NORMAL))) {
            DDCAPS caps{};
            caps.dwSize = sizeof(DDCAPS);
            if (SUCCEEDED(directDraw->GetCaps(&caps, nullptr))) {
                totalVideoMemory_ = caps.dwVidMemTotal;
                freeVideoMemory_ = caps.dwVidMemFree;
            }
        }
        directDraw->Release();
    }
    FreeLibrary(module);
}

HRESULT CAdapterEnum::EnumerateAdapter(UINT ordinal) {
    WriteLog(u"Adapter Ordinal : [%d]", ordinal);
    std::unique_ptr<STRU_ADAPTER_INFO> adapter(new (std::nothrow) STRU_ADAPTER_INFO);
    if (!adapter) {
        WriteLog(u"out of memory[a].");
        return E_OUTOFMEMORY;
    }
    adapter->AdapterOrdinal = ordinal;
    direct3d_->GetAdapterIdentifier(ordinal, 0, &adapter->AdapterIdentifier);
    const D3DADAPTER_IDENTIFIER9& identifier = adapter->AdapterIdentifier;
    WriteLog(u"\tDriver : %s", win32::AnsiToWide(identifier.Driver).c_str());
    WriteLog(u"\tDescription : %s", win32::AnsiToWide(identifier.Description).c_str());
    WriteLog(u"\tDeviceName : %s", win32::AnsiToWide(identifier.DeviceName).c_str());
    WriteLog(u"");

    std::vector<D3DFORMAT> adapterFormats;
    EnumerateDisplayModes(adapter.get(), &adapterFormats);
    WriteLog(u"\tTotal Display Mode : %d", static_cast<int>(adapter->DisplayModes.size()));
    WriteLog(u"\tEnumerate Devices:");

    const HRESULT hr = EnumerateDevices(adapter.get(), adapterFormats);
    if (FAILED(hr)) {
        WriteLog(u"**Error: Can NOT Enumerate Devices.");
        return hr;
    }
    if (!adapter->DeviceInfos.empty()) adapters_.push_back(std::move(adapter));
    return S_OK;
}

void CAdapterEnum::EnumerateDisplayModes(STRU_ADAPTER_INFO* adapter, std::vector<D3DFORMAT>* adapterFormats) {
    const UINT ordinal = adapter->AdapterOrdinal;
    auto addFormat = [adapterFormats](D3DFORMAT format) {
        if (std::find(adapterFormats->begin(), adapterFormats->end(), format) == adapterFormats->end())
            adapterFormats->push_back(format);
    };
    for (D3DFORMAT format : kModeFormats) {
        const UINT count = direct3d_->GetAdapterModeCount(ordinal, format);
        for (UINT index = 0; index < count; ++index) {
            D3DDISPLAYMODE mode{};
            if (FAILED(direct3d_->EnumAdapterModes(ordinal, format, index, &mode))) continue;
            if (mode.Width < minWidth_ || mode.Width > maxWidth_ || mode.Height < minHeight_ ||
                mode.Height > maxHeight_ || mode.RefreshRate < minRefresh_ || mode.RefreshRate > maxRefresh_)
                continue;
            adapter->DisplayModes.push_back(mode);
            addFormat(mode.Format);
        }
    }
    D3DDISPLAYMODE desktop{};
    if (SUCCEEDED(direct3d_->GetAdapterDisplayMode(ordinal, &desktop))) addFormat(desktop.Format);

    std::sort(adapter->DisplayModes.begin(), adapter->DisplayModes.end(),
              [](const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) {
                  return std::tie(a.Width, a.Height, a.Format, a.RefreshRate) <
                         std::tie(b.Width, b.Height, b.Format, b.RefreshRate);
              });
    std::sort(adapterFormats->begin(), adapterFormats->end());
}

void CAdapterEnum::MakeUniqueDescriptions() {
    bool unique = true;
    for (std::size_t i = 0; i < adapters_.size() && unique; ++i)
        for (std::size_t j = i + 1; j < adapters_.size() && unique; ++j)
            unique = _stricmp(adapters_[i]->AdapterIdentifier.Description,
                              adapters_[j]->AdapterIdentifier.Description) != 0;

    for (const auto& adapter : adapters_) {
        std::u16string description = win32::AnsiToWide(adapter->AdapterIdentifier.Description);
        if (description.size() > kMaxDescriptionUnits) description.resize(kMaxDescriptionUnits);
        if (!unique) {
            description += u" (#";
            description += win32::AnsiToWide(std::to_string(adapter->AdapterOrdinal));
            description += u")";
        }
        adapter->UniqueDescription = std::move(description);
    }
}

const STRU_ADAPTER_INFO* CAdapterEnum::GetAdapterInfo(UINT ordinal) const {
    for (const auto& adapter : adapters_)
        if (adapter->AdapterOrdinal == ordinal) return adapter.get();
    return nullptr;
}

const STRU_DEVICE_INFO* CAdapterEnum::GetDeviceInfo(UINT ordinal, D3DDEVTYPE type) const {
    const STRU_ADAPTER_INFO* adapter = GetAdapterInfo(ordinal);
    if (adapter == nullptr) return nullptr;
    for (const auto& device : adapter->DeviceInfos)
        if (device->DevType == type) return device.get();
    return nullptr;
}

CAdapterEnum* GetAdapterEnum(IDirect3D9* direct3d, HWND window) {
    std::unique_ptr<CAdapterEnum>& instance = Instance();
    if (!instance) {
        instance.reset(new (std::nothrow) CAdapterEnum);
        if (!instance) return nullptr;
        // Registered after the library's statics were made, so it runs before they go.
        static const bool registered = (std::atexit(DestroyAdapterEnum), true);
        (void)registered;
    }
    if (!instance->IsEnumerated()) {
        instance->Enumerate(direct3d, window);
    } else {
        instance->Refresh(direct3d, window);
    }
    return instance.get();
}

void DestroyAdapterEnum() { Instance().reset(); }

HRESULT FindValidDeviceSettings(IDirect3D9* direct3d, HWND window, STRU_DEVICE_SETTINGS* out,
                                const STRU_DEVICE_SETTINGS* in, const STRU_MATCH_OPTIONS* options) {
    if (out == nullptr) return E_FAIL;
    CAdapterEnum* adapterEnum = GetAdapterEnum(direct3d, window);
    if (adapterEnum == nullptr) return E_FAIL;
    return adapterEnum->FindValidDeviceSettings(direct3d, out, in, options);
}
