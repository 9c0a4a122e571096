#pragma once
// The device's render, texture-stage and sampler states, with Direct3D 9's defaults. Arrays are
// indexed by the states' numeric values, as the rasteriser reads them.
#include "platform/d3d9/d3d9_types.h"

namespace d3d9sw {

struct DeviceStates {
    DWORD render[kD3DRenderStateCount];
    DWORD stage[kD3DTextureStageCount][kD3DTextureStageStateCount];
    DWORD sampler[kD3DSamplerCount][kD3DSamplerStateCount];

    // The defaults of a new or reset device; ZENABLE follows the automatic depth buffer.
    void SetDefaults(bool autoDepthStencil);
};

// Whether a value names a state (the enumerations have gaps).
bool IsRenderState(DWORD state);
bool IsStageState(DWORD type);
bool IsSamplerState(DWORD type);

}  // namespace d3d9sw
