#pragma once
// What the machine offers for a Direct3D 9 device: adapters, their display modes, device
// types and the format combinations each device accepts, gathered once per process by
// CAdapterEnum and written to the event log as it goes. The settings search over these
// records is in core/device_enumeration_search.h.
//
// Ownership: the CAdapterEnum owns its adapters, each adapter its devices, each device its
// combos; back pointers (combo -> device, combo -> adapter) are not owning. Records never
// move once made, so pointers to them stay valid until the instance is destroyed.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/d3d9/d3d9.h"

struct STRU_ADAPTER_INFO;
struct STRU_DEVICE_INFO;

inline constexpr double kBytesPerMegabyte = 1048576.0;  // video memory is logged in megabytes
// A device that cannot take textures of this side (texels) both ways is not used.
inline constexpr DWORD kMinTextureSide = 512;

// A depth-stencil format that cannot be used together with a multisample type.
struct STRU_DS_MS_CONFLICT {
    D3DFORMAT DSFormat;
    D3DMULTISAMPLE_TYPE MSType;
};

// One accepted combination of adapter format, back-buffer format and windowed flag on one
// device, with what that combination supports.
struct STRU_DEVICE_COMBO {
    UINT AdapterOrdinal = 0;
    D3DDEVTYPE DeviceType = D3DDEVTYPE_HAL;
    D3DFORMAT AdapterFormat = D3DFMT_UNKNOWN;
    D3DFORMAT BackBufferFormat = D3DFMT_UNKNOWN;
    BOOL Windowed = 0;
    std::vector<D3DFORMAT> DepthStencilFormats;
    std::vector<D3DMULTISAMPLE_TYPE> MultiSampleTypes;
    std::vector<DWORD> MultiSampleQualities;  // quality levels, one per entry of MultiSampleTypes
    std::vector<UINT> PresentIntervals;
    std::vector<STRU_DS_MS_CONFLICT> DSMSConflicts;
    STRU_ADAPTER_INFO* AdapterInfo = nullptr;  // owner's owner
    STRU_DEVICE_INFO* DeviceInfo = nullptr;    // owner
};

struct STRU_DEVICE_INFO {
    UINT AdapterOrdinal = 0;
    D3DDEVTYPE DevType = D3DDEVTYPE_HAL;
    D3DCAPS9 Caps{};
    std::vector<std::unique_ptr<STRU_DEVICE_COMBO>> DeviceCombos;
};

struct STRU_ADAPTER_INFO {
    UINT AdapterOrdinal = 0;
    D3DADAPTER_IDENTIFIER9 AdapterIdentifier{};
    // The identifier's description from the ANSI code page (at most 100 units), with
    // " (#<ordinal>)" appended when another adapter has the same description.
    std::u16string UniqueDescription;
    std::vector<D3DDISPLAYMODE> DisplayModes;  // by width, height, format, refresh rate
    std::vector<std::unique_ptr<STRU_DEVICE_INFO>> DeviceInfos;
};

// The settings a device is created with.
struct STRU_DEVICE_SETTINGS {
    UINT AdapterOrdinal;
    D3DDEVTYPE DeviceType;
    D3DFORMAT AdapterFormat;
    DWORD BehaviorFlags;
    D3DPRESENT_PARAMETERS pp;
};

struct STRU_MATCH_OPTIONS;

// The process-wide knowledge of adapters and devices. Used only on the thread that creates
// the renderer or changes its display mode; no lock.
class CAdapterEnum {
public:
    CAdapterEnum();
    ~CAdapterEnum();
    CAdapterEnum(const CAdapterEnum&) = delete;
    CAdapterEnum& operator=(const CAdapterEnum&) = delete;

    // Gathers and logs everything. E_FAIL (nothing done, not marked enumerated) for a null
    // object or window; E_OUTOFMEMORY when a record cannot be made (what was gathered stays);
    // else S_OK, also when no adapter is usable (the adapter list is then empty). Records of
    // an earlier run are deleted first.
    HRESULT Enumerate(IDirect3D9* direct3d, HWND window);
    bool IsEnumerated() const { return enumerated_; }

    // Takes the caller's Direct3D object and window for later device tests and searches; a
    // later renderer must not search with an object an earlier one has released.
    void Refresh(IDirect3D9* direct3d, HWND window);

    // Searches the combos for the best match of `in` under `options` (null: ignore every
    // field) with `direct3d` for the desktop modes. S_OK with `*out` filled and the chosen
    // combo stored; E_FAIL (chosen combo unchanged) for a null `out` or `in`, or when no
    // combo qualifies. See core/device_enumeration_search.h for the rules.
    HRESULT FindValidDeviceSettings(IDirect3D9* direct3d, STRU_DEVICE_SETTINGS* out, const STRU_DEVICE_SETTINGS* in,
                                    const STRU_MATCH_OPTIONS* options);

    const std::vector<std::unique_ptr<STRU_ADAPTER_INFO>>& Adapters() const { return adapters_; }
    // Null when the adapter (or its device of that type) was not kept.
    const STRU_ADAPTER_INFO* GetAdapterInfo(UINT ordinal) const;
    const STRU_DEVICE_INFO* GetDeviceInfo(UINT ordinal, D3DDEVTYPE type) const;
    // The combo of the last successful search; null before one.
    const STRU_DEVICE_COMBO* ChosenCombo() const { return chosenCombo_; }

    // Bytes, from DirectDraw; 0 when it gave no figure.
    DWORD TotalVideoMemory() const { return totalVideoMemory_; }
    DWORD FreeVideoMemory() const { return freeVideoMemory_; }

private:
    void ReadVideoMemory();
    HRESULT EnumerateAdapter(UINT ordinal);
    void EnumerateDisplayModes(STRU_ADAPTER_INFO* adapter, std::vector<D3DFORMAT>* adapterFormats);
    void MakeUniqueDescriptions();
    HRESULT EnumerateDevices(STRU_ADAPTER_INFO* adapter, const std::vector<D3DFORMAT>& adapterFormats);
    bool CheckDeviceCaps(const D3DCAPS9& caps);
    bool TestNonHalDevice(UINT ordinal, D3DDEVTYPE type);
    HRESULT EnumerateDeviceCombos(STRU_ADAPTER_INFO* adapter, STRU_DEVICE_INFO* device,
                                  const std::vector<D3DFORMAT>& adapterFormats);
    void FillComboLists(STRU_DEVICE_COMBO* combo);

    STRU_DEVICE_COMBO* chosenCombo_ = nullptr;
    bool enumerated_ = false;
    IDirect3D9* direct3d_ = nullptr;  // not owned
    HWND window_ = nullptr;
    DWORD totalVideoMemory_ = 0;
    DWORD freeVideoMemory_ = 0;
    bool requirePostPixelShaderBlending_ = true;
    std::vector<D3DFORMAT> depthStencilCandidates_;
    std::vector<D3DMULTISAMPLE_TYPE> multiSampleCandidates_;
    std::vector<UINT> presentIntervalCandidates_;
    UINT minWidth_ = 320, maxWidth_ = 0xFFFFFFFF;
    UINT minHeight_ = 240, maxHeight_ = 0xFFFFFFFF;
    UINT minRefresh_ = 0, maxRefresh_ = 0xFFFFFFFF;
    DWORD multiSampleQualityMax_ = 0xFFFF;
    std::vector<std::unique_ptr<STRU_ADAPTER_INFO>> adapters_;
};

// The process-wide instance. The first call makes it and registers its destruction to run
// at unload before the library's static objects go; a call that finds it not yet
// enumerated enumerates it with `direct3d` and `window`; every call hands it the caller's
// object and window (see Refresh). Null only when the instance cannot be made.
CAdapterEnum* GetAdapterEnum(IDirect3D9* direct3d, HWND window);

// Destroys the process-wide instance (the unload step); the next GetAdapterEnum makes and
// enumerates a new one. Pointers into the old records become invalid.
void DestroyAdapterEnum();

// Searches the process-wide instance (made and enumerated on first use).
HRESULT FindValidDeviceSettings(IDirect3D9* direct3d, HWND window, STRU_DEVICE_SETTINGS* out,
                                const STRU_DEVICE_SETTINGS* in, const STRU_MATCH_OPTIONS* options);
