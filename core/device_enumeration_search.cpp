#include "core/device_enumeration_search.h"

#include <algorithm>
#include <cstdlib>

#include "core/format_helpers.h"

namespace {

constexpr UINT kWindowedWidth = 640;
constexpr UINT kWindowedHeight = 480;
constexpr DWORD kVertexProcessingMask = D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                        D3DCREATE_MIXED_VERTEXPROCESSING;
constexpr int kNoModeDistance = 100000;
constexpr int kNoDepthCost = 100000;
constexpr int kMismatchCost = 10000;

bool HasHardwareTnl(const STRU_DEVICE_COMBO& combo) {
    return (combo.DeviceInfo->Caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) != 0;
}

template <class T>
bool Contains(const std::vector<T>& list, T value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// Display modes of the combo's adapter in the combo's adapter format.
template <class Predicate>
bool AnyMode(const STRU_DEVICE_COMBO& combo, Predicate predicate) {
    for (const D3DDISPLAYMODE& mode : combo.AdapterInfo->DisplayModes)
        if (mode.Format == combo.AdapterFormat && predicate(mode)) return true;
    return false;
}

bool HasMultiSample(const STRU_DEVICE_COMBO& combo, D3DMULTISAMPLE_TYPE type, DWORD quality) {
    for (std::size_t i = 0; i < combo.MultiSampleTypes.size(); ++i)
        if (combo.MultiSampleTypes[i] == type && combo.MultiSampleQualities[i] > quality) return true;
    return false;
}

float FormatCloseness(D3DFORMAT a, D3DFORMAT b) {
    if (a == b) return 1.0f;
    const int difference = std::abs(GetColorChannelBits(a) - GetColorChannelBits(b));
    return std::max(0.0f, 0.9f - 0.2f * static_cast<float>(difference));
}

D3DDISPLAYMODE DesktopMode(IDirect3D9* direct3d, UINT ordinal) {
    D3DDISPLAYMODE mode{};
    if (direct3d == nullptr || FAILED(direct3d->GetAdapterDisplayMode(ordinal, &mode))) return D3DDISPLAYMODE{};
    return mode;
}

DWORD ValidBehaviorFlags(const STRU_DEVICE_COMBO& combo, DWORD input, std::int32_t option) {
    const bool hardwareTnl = HasHardwareTnl(combo);
    if (option == kMatchPreserve) return input;
    if (option == kMatchIgnore)
        return hardwareTnl ? D3DCREATE_HARDWARE_VERTEXPROCESSING : D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    DWORD flags = input;
    if (!hardwareTnl && (flags & (D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING)) != 0) {
        flags &= ~(D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING);
        flags |= D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    }
    if ((flags & kVertexProcessingMask) == 0)
        flags |= hardwareTnl ? D3DCREATE_HARDWARE_VERTEXPROCESSING : D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    return flags;
}

void ChooseMultiSample(const STRU_DEVICE_COMBO& combo, const STRU_DEVICE_SETTINGS& in, std::int32_t option,
                       D3DPRESENT_PARAMETERS* pp) {
    pp->MultiSampleType = D3DMULTISAMPLE_NONE;
    pp->MultiSampleQuality = 0;
    // Only a discarded back buffer can be multisampled.
    if (in.pp.SwapEffect != D3DSWAPEFFECT_DISCARD || option == kMatchIgnore) return;
    if (option == kMatchPreserve) {
        pp->MultiSampleType = in.pp.MultiSampleType;
        pp->MultiSampleQuality = in.pp.MultiSampleQuality;
        return;
    }
    const long long wanted = in.pp.MultiSampleType;
    long long bestDistance = -1;
    for (std::size_t i = 0; i < combo.MultiSampleTypes.size(); ++i) {
        const long long distance = std::llabs(static_cast<long long>(combo.MultiSampleTypes[i]) - wanted);
        if (bestDistance >= 0 && distance >= bestDistance) continue;
        bestDistance = distance;
        pp->MultiSampleType = combo.MultiSampleTypes[i];
        const DWORD levels = combo.MultiSampleQualities[i];
        pp->MultiSampleQuality = std::min(levels > 0 ? levels - 1 : 0, in.pp.MultiSampleQuality);
    }
}

D3DFORMAT ChooseDepthStencil(const STRU_DEVICE_COMBO& combo, const STRU_DEVICE_SETTINGS& in,
                             const STRU_MATCH_OPTIONS& options) {
    const int wantedDepth = GetDepthBits(in.pp.AutoDepthStencilFormat);
    const int wantedStencil = GetStencilBits(in.pp.AutoDepthStencilFormat);
    const int colourDepth = 4 * GetColorChannelBits(combo.BackBufferFormat);
    D3DFORMAT best = D3DFMT_UNKNOWN;
    int bestCost = kNoDepthCost;
    for (D3DFORMAT format : combo.DepthStencilFormats) {
        const int depth = GetDepthBits(format);
        const int stencil = GetStencilBits(format);
        int cost;
        if (options.DepthFormat == kMatchPreserve) cost = depth == wantedDepth ? 0 : kMismatchCost;
        else if (options.DepthFormat == kMatchClosest) cost = std::abs(depth - wantedDepth);
        else cost = std::abs(depth - colourDepth);
        if (options.StencilFormat == kMatchPreserve) cost += stencil != wantedStencil ? kMismatchCost : 0;
        else if (options.StencilFormat == kMatchClosest) cost += std::abs(stencil - wantedStencil);
        else cost += stencil;
        if (cost < bestCost) {
            bestCost = cost;
            best = format;
        }
    }
    return best;
}

UINT ChoosePresentInterval(const STRU_DEVICE_COMBO& combo, UINT input, std::int32_t option) {
    if (option == kMatchPreserve) return input;
    if (option == kMatchClosest && Contains(combo.PresentIntervals, input)) return input;
    return D3DPRESENT_INTERVAL_DEFAULT;
}

}  // namespace

STRU_DEVICE_SETTINGS BuildOptimalDeviceSettings(IDirect3D9* direct3d, const STRU_DEVICE_SETTINGS& in,
                                                const STRU_MATCH_OPTIONS& options) {
    STRU_DEVICE_SETTINGS optimal{};
    D3DPRESENT_PARAMETERS& pp = optimal.pp;
    optimal.AdapterOrdinal = options.AdapterOrdinal != kMatchIgnore ? in.AdapterOrdinal : 0;
    optimal.DeviceType = options.DeviceType != kMatchIgnore ? in.DeviceType : D3DDEVTYPE_HAL;
    pp.Windowed = options.Windowed != kMatchIgnore ? in.pp.Windowed : 1;

    const D3DDISPLAYMODE desktop = DesktopMode(direct3d, optimal.AdapterOrdinal);
    if (options.AdapterFormat != kMatchIgnore) {
        optimal.AdapterFormat = in.AdapterFormat;
    } else if (pp.Windowed || GetColorChannelBits(desktop.Format) > 7) {
        optimal.AdapterFormat = desktop.Format;
    } else {
        optimal.AdapterFormat = D3DFMT_X8R8G8B8;
    }
    optimal.BehaviorFlags =
        options.VertexProcessing != kMatchIgnore ? in.BehaviorFlags : D3DCREATE_HARDWARE_VERTEXPROCESSING;

    if (options.Resolution != kMatchIgnore) {
        pp.BackBufferWidth = in.pp.BackBufferWidth;
        pp.BackBufferHeight = in.pp.BackBufferHeight;
    } else if (pp.Windowed) {
        pp.BackBufferWidth = kWindowedWidth;
        pp.BackBufferHeight = kWindowedHeight;
    } else {
        pp.BackBufferWidth = desktop.Width;
        pp.BackBufferHeight = desktop.Height;
    }
    pp.BackBufferFormat = options.BackBufferFormat != kMatchIgnore ? in.pp.BackBufferFormat : optimal.AdapterFormat;
    pp.BackBufferCount = options.BackBufferCount != kMatchIgnore ? in.pp.BackBufferCount : 1;
    if (options.MultiSample != kMatchIgnore) {
        pp.MultiSampleType = in.pp.MultiSampleType;
        pp.MultiSampleQuality = in.pp.MultiSampleQuality;
    }
    pp.SwapEffect = options.SwapEffect != kMatchIgnore ? in.pp.SwapEffect : D3DSWAPEFFECT_DISCARD;
    if (options.DepthFormat != kMatchIgnore || options.StencilFormat != kMatchIgnore) {
        pp.AutoDepthStencilFormat = in.pp.AutoDepthStencilFormat;
    } else {
        pp.AutoDepthStencilFormat = GetColorChannelBits(pp.BackBufferFormat) < 8 ? D3DFMT_D16 : D3DFMT_D32;
    }
    pp.Flags = options.PresentFlags != kMatchIgnore ? in.pp.Flags : D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL;
    pp.FullScreen_RefreshRateInHz = options.RefreshRate != kMatchIgnore ? in.pp.FullScreen_RefreshRateInHz : 0;
    pp.PresentationInterval =
        options.PresentInterval != kMatchIgnore ? in.pp.PresentationInterval : D3DPRESENT_INTERVAL_DEFAULT;
    return optimal;
}

bool ComboMatchesPreserveOptions(const STRU_DEVICE_COMBO& combo, const STRU_DEVICE_SETTINGS& in,
                                 const STRU_MATCH_OPTIONS& options) {
    const D3DPRESENT_PARAMETERS& pp = in.pp;
    if (options.AdapterOrdinal == kMatchPreserve && combo.AdapterOrdinal != in.AdapterOrdinal) return false;
    if (options.DeviceType == kMatchPreserve && combo.DeviceType != in.DeviceType) return false;
    if (options.Windowed == kMatchPreserve && (combo.Windowed != 0) != (pp.Windowed != 0)) return false;
    if (options.AdapterFormat == kMatchPreserve && combo.AdapterFormat != in.AdapterFormat) return false;
    if (options.VertexProcessing == kMatchPreserve && (in.BehaviorFlags & D3DCREATE_HARDWARE_VERTEXPROCESSING) != 0 &&
        !HasHardwareTnl(combo))
        return false;
    if (options.Resolution == kMatchPreserve) {
        const bool fits = AnyMode(combo, [&](const D3DDISPLAYMODE& mode) {
            if (combo.Windowed) return mode.Width >= pp.BackBufferWidth && mode.Height >= pp.BackBufferHeight;
            return mode.Width == pp.BackBufferWidth && mode.Height == pp.BackBufferHeight;
        });
        if (!fits) return false;
    }
    if (options.BackBufferFormat == kMatchPreserve && combo.BackBufferFormat != pp.BackBufferFormat) return false;
    if (options.MultiSample == kMatchPreserve && !HasMultiSample(combo, pp.MultiSampleType, pp.MultiSampleQuality))
        return false;
    const D3DFORMAT depth = pp.AutoDepthStencilFormat;
    if (options.DepthFormat == kMatchPreserve && options.StencilFormat == kMatchPreserve && depth != D3DFMT_UNKNOWN &&
        !Contains(combo.DepthStencilFormats, depth))
        return false;
    auto anyDepth = [&](auto bits) {
        return std::any_of(combo.DepthStencilFormats.begin(), combo.DepthStencilFormats.end(),
                           [&](D3DFORMAT format) { return bits(format) == bits(depth); });
    };
    if (options.DepthFormat == kMatchPreserve && depth != D3DFMT_UNKNOWN && !anyDepth(GetDepthBits)) return false;
    if (options.StencilFormat == kMatchPreserve && depth != D3DFMT_UNKNOWN && !anyDepth(GetStencilBits)) return false;
    if (options.RefreshRate == kMatchPreserve &&
        !AnyMode(combo, [&](const D3DDISPLAYMODE& mode) { return mode.RefreshRate == pp.FullScreen_RefreshRateInHz; }))
        return false;
    if (options.PresentInterval == kMatchPreserve && !Contains(combo.PresentIntervals, pp.PresentationInterval))
        return false;
    return true;
}

float RankDeviceCombo(const STRU_DEVICE_COMBO& combo, const STRU_DEVICE_SETTINGS& optimal,
                      const D3DDISPLAYMODE& desktop) {
    const D3DPRESENT_PARAMETERS& pp = optimal.pp;
    float rank = 0.0f;
    if (combo.AdapterOrdinal == optimal.AdapterOrdinal) rank += 1000.0f;
    if (combo.DeviceType == optimal.DeviceType) rank += 100.0f;
    if (combo.DeviceType == D3DDEVTYPE_HAL) rank += 0.1f;
    if ((combo.Windowed != 0) == (pp.Windowed != 0)) rank += 10.0f;
    rank += FormatCloseness(combo.AdapterFormat, optimal.AdapterFormat);
    if (!combo.Windowed) {
        const D3DFORMAT preferred = GetColorChannelBits(desktop.Format) >= 8 ? desktop.Format : D3DFMT_X8R8G8B8;
        if (combo.AdapterFormat == preferred) rank += 0.1f;
    }
    const bool hardwareTnl = HasHardwareTnl(combo);
    if ((optimal.BehaviorFlags & (D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING)) != 0 &&
        hardwareTnl)
        rank += 1.0f;
    if (hardwareTnl) rank += 0.1f;
    if (AnyMode(combo, [&](const D3DDISPLAYMODE& mode) {
            return mode.Width == pp.BackBufferWidth && mode.Height == pp.BackBufferHeight;
        }))
        rank += 1.0f;
    rank += FormatCloseness(combo.BackBufferFormat, pp.BackBufferFormat);
    if (combo.BackBufferFormat == combo.AdapterFormat) rank += 0.1f;
    if (HasMultiSample(combo, pp.MultiSampleType, pp.MultiSampleQuality)) rank += 1.0f;
    if (Contains(combo.DepthStencilFormats, pp.AutoDepthStencilFormat)) rank += 1.0f;
    if (AnyMode(combo, [&](const D3DDISPLAYMODE& mode) { return mode.RefreshRate == pp.FullScreen_RefreshRateInHz; }))
        rank += 1.0f;
    if (Contains(combo.PresentIntervals, pp.PresentationInterval)) rank += 1.0f;
    return rank;
}

HRESULT FindClosestDisplayMode(const STRU_DEVICE_COMBO& combo, UINT width, UINT height, UINT refreshRate,
                               D3DFORMAT format, D3DDISPLAYMODE* out) {
    *out = D3DDISPLAYMODE{width, height, refreshRate, format};
    if (combo.Windowed) return S_OK;
    long long bestDistance = kNoModeDistance;
    const D3DDISPLAYMODE* best = nullptr;
    for (const D3DDISPLAYMODE& mode : combo.AdapterInfo->DisplayModes) {
        if (mode.Format != combo.AdapterFormat) continue;
        const long long distance = std::llabs(static_cast<long long>(mode.Width) - width) +
                                   std::llabs(static_cast<long long>(mode.Height) - height);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = &mode;
            if (distance == 0) break;
        }
    }
    if (best == nullptr) return E_FAIL;
    *out = *best;
    return S_OK;
}

STRU_DEVICE_SETTINGS BuildValidDeviceSettings(const STRU_DEVICE_COMBO& combo, const STRU_DEVICE_SETTINGS& in,
                                              const STRU_MATCH_OPTIONS& options, const D3DDISPLAYMODE& desktop) {
    STRU_DEVICE_SETTINGS valid{};
    D3DPRESENT_PARAMETERS& pp = valid.pp;
    valid.AdapterOrdinal = combo.AdapterOrdinal;
    valid.DeviceType = combo.DeviceType;
    valid.AdapterFormat = combo.AdapterFormat;
    pp.BackBufferFormat = combo.BackBufferFormat;
    pp.Windowed = combo.Windowed;
    valid.BehaviorFlags = ValidBehaviorFlags(combo, in.BehaviorFlags, options.VertexProcessing);

    if (options.Resolution == kMatchPreserve) {
        pp.BackBufferWidth = in.pp.BackBufferWidth;
        pp.BackBufferHeight = in.pp.BackBufferHeight;
    } else {
        UINT width = desktop.Width, height = desktop.Height;
        if (options.Resolution == kMatchClosest) {
            width = in.pp.BackBufferWidth;
            height = in.pp.BackBufferHeight;
        } else if (combo.Windowed) {
            width = kWindowedWidth;
            height = kWindowedHeight;
        }
        D3DDISPLAYMODE mode{};
        FindClosestDisplayMode(combo, width, height, desktop.RefreshRate, desktop.Format, &mode);
        pp.BackBufferWidth = mode.Width;
        pp.BackBufferHeight = mode.Height;
    }

    if (options.BackBufferCount == kMatchPreserve) {
        pp.BackBufferCount = in.pp.BackBufferCount;
    } else if (options.BackBufferCount == kMatchClosest) {
        pp.BackBufferCount = std::clamp<UINT>(in.pp.BackBufferCount, 1, 3);
    } else {
        pp.BackBufferCount = 2;
    }

    ChooseMultiSample(combo, in, options.MultiSample, &pp);

    if (options.SwapEffect == kMatchPreserve) {
        pp.SwapEffect = in.pp.SwapEffect;
    } else if (options.SwapEffect == kMatchClosest && in.pp.SwapEffect >= D3DSWAPEFFECT_DISCARD &&
               in.pp.SwapEffect <= D3DSWAPEFFECT_COPY) {
        pp.SwapEffect = in.pp.SwapEffect;
    } else {
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    }
    pp.hDeviceWindow = in.pp.hDeviceWindow;

    const D3DFORMAT depth = ChooseDepthStencil(combo, in, options);
    const bool hasDepth = !combo.DepthStencilFormats.empty();
    pp.EnableAutoDepthStencil = hasDepth ? 1 : 0;
    pp.AutoDepthStencilFormat = hasDepth ? depth : D3DFMT_UNKNOWN;

    const DWORD depthFlags = hasDepth ? D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL : 0;
    pp.Flags = options.PresentFlags == kMatchPreserve  ? in.pp.Flags
               : options.PresentFlags == kMatchClosest ? in.pp.Flags | depthFlags
                                                       : depthFlags;

    pp.FullScreen_RefreshRateInHz =
        (!combo.Windowed && options.RefreshRate == kMatchPreserve) ? in.pp.FullScreen_RefreshRateInHz : 0;
    pp.PresentationInterval = ChoosePresentInterval(combo, in.pp.PresentationInterval, options.PresentInterval);
    return valid;
}

HRESULT CAdapterEnum::FindValidDeviceSettings(IDirect3D9* direct3d, STRU_DEVICE_SETTINGS* out,
                                              const STRU_DEVICE_SETTINGS* in, const STRU_MATCH_OPTIONS* options) {
    if (out == nullptr || in == nullptr) return E_FAIL;
    const STRU_MATCH_OPTIONS ignoreAll{};
    const STRU_MATCH_OPTIONS& match = options != nullptr ? *options : ignoreAll;
    if (direct3d == nullptr) direct3d = direct3d_;
    const STRU_DEVICE_SETTINGS optimal = BuildOptimalDeviceSettings(direct3d, *in, match);

    STRU_DEVICE_COMBO* best = nullptr;
    D3DDISPLAYMODE bestDesktop{};
    float bestRank = -1.0f;
    for (const auto& adapter : adapters_) {
        const D3DDISPLAYMODE desktop = DesktopMode(direct3d, adapter->AdapterOrdinal);
        for (const auto& device : adapter->DeviceInfos) {
            for (const auto& combo : device->DeviceCombos) {
                // A window shows the desktop's own pixels; no other adapter format can present there.
                if (combo->Windowed && combo->AdapterFormat != desktop.Format) continue;
                if (!ComboMatchesPreserveOptions(*combo, *in, match)) continue;
                const float rank = RankDeviceCombo(*combo, optimal, desktop);
                if (rank > bestRank) {
                    bestRank = rank;
                    best = combo.get();
                    bestDesktop = desktop;
                }
            }
        }
    }
    if (best == nullptr) return E_FAIL;
    *out = BuildValidDeviceSettings(*best, *in, match, bestDesktop);
    chosenCombo_ = best;
    return S_OK;
}

void ReduceDeviceSettings(STRU_DEVICE_SETTINGS* settings) {
    if (settings == nullptr) return;
    D3DPRESENT_PARAMETERS& pp = settings->pp;
    settings->BehaviorFlags = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    if (FormatBitsPerPixel(pp.BackBufferFormat) > 16) pp.BackBufferFormat = D3DFMT_R5G6B5;
    pp.BackBufferCount = std::min<UINT>(pp.BackBufferCount, 1);
    pp.MultiSampleType = D3DMULTISAMPLE_NONE;
    pp.MultiSampleQuality = 0;
    if (pp.EnableAutoDepthStencil && FormatBitsPerPixel(pp.AutoDepthStencilFormat) > 16)
        pp.AutoDepthStencilFormat = D3DFMT_D16;
}
