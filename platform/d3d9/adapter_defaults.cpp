// The default adapter: what a mid-range card of the library's time reported, trimmed to what the
// software device really does.
#include "platform/d3d9/control.h"

namespace d3d9ctl {

D3DCAPS9 DefaultCaps() {
    D3DCAPS9 caps{};
    caps.DeviceType = D3DDEVTYPE_HAL;
    caps.Caps2 = D3DCAPS2_DYNAMICTEXTURES | D3DCAPS2_CANMANAGERESOURCE | D3DCAPS2_FULLSCREENGAMMA;
    caps.PresentationIntervals = D3DPRESENT_INTERVAL_IMMEDIATE | D3DPRESENT_INTERVAL_ONE | D3DPRESENT_INTERVAL_TWO |
                                 D3DPRESENT_INTERVAL_THREE | D3DPRESENT_INTERVAL_FOUR;
    caps.CursorCaps = D3DCURSORCAPS_COLOR | D3DCURSORCAPS_LOWRES;
    caps.DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_PUREDEVICE;
    caps.PrimitiveMiscCaps = 0x00000070 | 0x00000080 | 0x00000800;  // cull none/CW/CCW, colour write, blend op
    caps.RasterCaps = 0x00000001 | 0x00000010;                       // dither, z test
    caps.ZCmpCaps = 0xFF;                                             // every compare function
    caps.AlphaCmpCaps = 0xFF;
    caps.SrcBlendCaps = 0x1FFF;
    caps.DestBlendCaps = 0x1FFF;
    caps.ShadeCaps = 0x00000008 | 0x00004000;  // Gouraud colour and alpha
    caps.TextureCaps = D3DPTEXTURECAPS_ALPHA;  // any size, any aspect
    caps.TextureFilterCaps = 0x00000100 | 0x00000200 | 0x00010000 | 0x00020000 | 0x01000000 | 0x02000000;
    caps.TextureAddressCaps = 0x1F;
    caps.LineCaps = 0x0F;
    caps.MaxTextureWidth = 4096;
    caps.MaxTextureHeight = 4096;
    caps.MaxTextureRepeat = 8192;
    caps.MaxTextureAspectRatio = 4096;
    caps.MaxAnisotropy = 1;
    caps.MaxVertexW = 1.0e10f;
    caps.GuardBandLeft = -8192.0f;
    caps.GuardBandTop = -8192.0f;
    caps.GuardBandRight = 8192.0f;
    caps.GuardBandBottom = 8192.0f;
    caps.StencilCaps = 0xFF;
    caps.FVFCaps = 8;  // texture coordinate sets
    caps.TextureOpCaps = 0x03FFFFFF;
    caps.MaxTextureBlendStages = 8;
    caps.MaxSimultaneousTextures = 8;
    caps.MaxActiveLights = 8;
    caps.MaxUserClipPlanes = 0;
    caps.MaxPointSize = 64.0f;
    caps.MaxPrimitiveCount = 0x000FFFFF;
    caps.MaxVertexIndex = 0x0000FFFF;  // 16-bit indices only
    caps.MaxStreams = 1;
    caps.MaxStreamStride = 255;
    caps.VertexShaderVersion = D3DVS_VERSION(0, 0);
    caps.PixelShaderVersion = D3DPS_VERSION(1, 1);
    caps.PixelShader1xMaxValue = 1.0f;
    caps.NumberOfAdaptersInGroup = 1;
    caps.NumSimultaneousRTs = 1;
    return caps;
}

AdapterConfig DefaultAdapter() {
    AdapterConfig adapter;
    const UINT sizes[][2] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 720}, {1280, 1024}, {1600, 900}, {1920, 1080}};
    for (D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5})
        for (const auto& size : sizes) adapter.modes.push_back(D3DDISPLAYMODE{size[0], size[1], 60, format});
    adapter.caps = DefaultCaps();

    FormatSupport colour;
    colour.texture = colour.renderTarget = colour.surface = colour.postPixelShaderBlending = true;
    for (D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5,
                             D3DFMT_A4R4G4B4})
        adapter.formats[format] = colour;
    FormatSupport plain;
    plain.texture = plain.surface = true;
    // L8 lets grey image files load into surfaces of their own format.
    for (D3DFORMAT format : {D3DFMT_A8, D3DFMT_L8, D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_DXT5}) adapter.formats[format] = plain;
    FormatSupport depth;
    depth.depthStencil = true;
    for (D3DFORMAT format : {D3DFMT_D16, D3DFMT_D16_LOCKABLE, D3DFMT_D24S8, D3DFMT_D24X8})
        adapter.formats[format] = depth;
    FormatSupport index;
    index.indexBuffer = true;
    adapter.formats[D3DFMT_INDEX16] = index;
    return adapter;
}

}  // namespace d3d9ctl
