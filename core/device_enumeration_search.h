#pragma once
// The device settings search over the enumerated combos: what the caller wants, how strictly
// (per field: ignore, preserve, or come close), and which combo and settings win.
// CAdapterEnum::FindValidDeviceSettings runs it; the steps are exposed for the renderer's
// fallbacks and for tests. All functions are pure except where they read the desktop mode.
#include <cstdint>

#include "core/device_enumeration.h"

// How a wanted field is matched.
inline constexpr std::int32_t kMatchIgnore = 0;    // the search picks the value
inline constexpr std::int32_t kMatchPreserve = 1;  // a combo without the wanted value is rejected
inline constexpr std::int32_t kMatchClosest = 2;   // the nearest value the combo offers

// Seventeen words, one per matched field; the first and third are not read.
struct STRU_MATCH_OPTIONS {
    std::int32_t Reserved0;
    std::int32_t AdapterOrdinal;
    std::int32_t Reserved2;
    std::int32_t DeviceType;
    std::int32_t Windowed;
    std::int32_t AdapterFormat;
    std::int32_t VertexProcessing;
    std::int32_t Resolution;
    std::int32_t BackBufferFormat;
    std::int32_t BackBufferCount;
    std::int32_t MultiSample;
    std::int32_t SwapEffect;
    std::int32_t DepthFormat;
    std::int32_t StencilFormat;
    std::int32_t PresentFlags;
    std::int32_t RefreshRate;
    std::int32_t PresentInterval;
};
static_assert(sizeof(STRU_MATCH_OPTIONS) == 17 * sizeof(std::int32_t), "seventeen words");

// The ideal settings the ranking measures combos against: each field is the input value
// when its option is not ignore, else a default (adapter 0, HAL, windowed, the desktop or
// X8R8G8B8 format, hardware vertex processing, 640x480 windowed or the desktop size, one
// back buffer, no multisampling, DISCARD, D16 or D32 depth, flags 2, refresh 0, DEFAULT
// interval). The desktop mode comes from `direct3d` (zeroed when it cannot be read).
STRU_DEVICE_SETTINGS BuildOptimalDeviceSettings(IDirect3D9* direct3d, const STRU_DEVICE_SETTINGS& in,
                                                const STRU_MATCH_OPTIONS& options);

// False when a preserved field of `in` cannot be had with `combo`.
bool ComboMatchesPreserveOptions(const STRU_DEVICE_COMBO& combo, const STRU_DEVICE_SETTINGS& in,
                                 const STRU_MATCH_OPTIONS& options);

// How well `combo` fits `optimal` (higher is better); `desktop` is the desktop mode of the
// combo's adapter.
float RankDeviceCombo(const STRU_DEVICE_COMBO& combo, const STRU_DEVICE_SETTINGS& optimal,
                      const D3DDISPLAYMODE& desktop);

// A windowed combo takes the wanted values; a full-screen one the mode of its adapter format
// nearest in size (width plus height difference; the first of equals). E_FAIL with the
// wanted values when no mode of that format exists.
HRESULT FindClosestDisplayMode(const STRU_DEVICE_COMBO& combo, UINT width, UINT height, UINT refreshRate,
                               D3DFORMAT format, D3DDISPLAYMODE* out);

// The settings to create a device with from the chosen combo; `desktop` is the desktop mode
// of the combo's adapter.
STRU_DEVICE_SETTINGS BuildValidDeviceSettings(const STRU_DEVICE_COMBO& combo, const STRU_DEVICE_SETTINGS& in,
                                              const STRU_MATCH_OPTIONS& options, const D3DDISPLAYMODE& desktop);

// Lowers settings to what the weakest device accepts: software vertex processing, a 16-bit
// back buffer (R5G6B5) when it had more bits, at most one back buffer, no multisampling and
// a D16 depth buffer when it had more bits. Null is ignored.
void ReduceDeviceSettings(STRU_DEVICE_SETTINGS* settings);

// Writes the settings to the event log, one line per field.
void LogDeviceSettings(const STRU_DEVICE_SETTINGS* settings);
