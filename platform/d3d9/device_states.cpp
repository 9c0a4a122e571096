#include "platform/d3d9/device_states.h"

#include <cstring>

namespace d3d9sw {
namespace {

DWORD FloatBits(float value) {
    DWORD bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

constexpr DWORD kStencilKeep = 1;
constexpr DWORD kMaterialSource = 0, kColor1Source = 1, kColor2Source = 2;
constexpr DWORD kDegreeLinear = 1, kDegreeCubic = 3;

}  // namespace

void DeviceStates::SetDefaults(bool autoDepthStencil) {
    std::memset(render, 0, sizeof render);
    DWORD* r = render;
    r[D3DRS_ZENABLE] = autoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
    r[D3DRS_FILLMODE] = D3DFILL_SOLID;
    r[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    r[D3DRS_ZWRITEENABLE] = TRUE;
    r[D3DRS_LASTPIXEL] = TRUE;
    r[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    r[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    r[D3DRS_CULLMODE] = D3DCULL_CCW;
    r[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    r[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    r[D3DRS_FOGEND] = FloatBits(1.0f);
    r[D3DRS_FOGDENSITY] = FloatBits(1.0f);
    r[D3DRS_STENCILFAIL] = kStencilKeep;
    r[D3DRS_STENCILZFAIL] = kStencilKeep;
    r[D3DRS_STENCILPASS] = kStencilKeep;
    r[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    r[D3DRS_STENCILMASK] = 0xFFFFFFFF;
    r[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFF;
    r[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
    r[D3DRS_CLIPPING] = TRUE;
    r[D3DRS_LIGHTING] = TRUE;
    r[D3DRS_COLORVERTEX] = TRUE;
    r[D3DRS_LOCALVIEWER] = TRUE;
    r[D3DRS_DIFFUSEMATERIALSOURCE] = kColor1Source;
    r[D3DRS_SPECULARMATERIALSOURCE] = kColor2Source;
    r[D3DRS_AMBIENTMATERIALSOURCE] = kMaterialSource;
    r[D3DRS_EMISSIVEMATERIALSOURCE] = kMaterialSource;
    r[D3DRS_POINTSIZE] = FloatBits(1.0f);
    r[D3DRS_POINTSIZE_MIN] = FloatBits(1.0f);
    r[D3DRS_POINTSCALE_A] = FloatBits(1.0f);
    r[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
    r[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFF;
    r[D3DRS_POINTSIZE_MAX] = FloatBits(64.0f);
    r[D3DRS_COLORWRITEENABLE] = 0x0000000F;
    r[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    r[D3DRS_POSITIONDEGREE] = kDegreeCubic;
    r[D3DRS_NORMALDEGREE] = kDegreeLinear;
    r[D3DRS_MINTESSELLATIONLEVEL] = FloatBits(1.0f);
    r[D3DRS_MAXTESSELLATIONLEVEL] = FloatBits(1.0f);
    r[D3DRS_ADAPTIVETESS_Z] = FloatBits(1.0f);
    r[D3DRS_CCW_STENCILFAIL] = kStencilKeep;
    r[D3DRS_CCW_STENCILZFAIL] = kStencilKeep;
    r[D3DRS_CCW_STENCILPASS] = kStencilKeep;
    r[D3DRS_CCW_STENCILFUNC] = D3DCMP_ALWAYS;
    r[D3DRS_COLORWRITEENABLE1] = 0x0000000F;
    r[D3DRS_COLORWRITEENABLE2] = 0x0000000F;
    r[D3DRS_COLORWRITEENABLE3] = 0x0000000F;
    r[D3DRS_BLENDFACTOR] = 0xFFFFFFFF;
    r[D3DRS_SRCBLENDALPHA] = D3DBLEND_ONE;
    r[D3DRS_DESTBLENDALPHA] = D3DBLEND_ZERO;
    r[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;

    std::memset(stage, 0, sizeof stage);
    for (unsigned i = 0; i < kD3DTextureStageCount; ++i) {
        DWORD* s = stage[i];
        s[D3DTSS_COLOROP] = i == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        s[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        s[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        s[D3DTSS_ALPHAOP] = i == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        s[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        s[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        s[D3DTSS_TEXCOORDINDEX] = i;
        s[D3DTSS_COLORARG0] = D3DTA_CURRENT;
        s[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
        s[D3DTSS_RESULTARG] = D3DTA_CURRENT;
    }

    std::memset(sampler, 0, sizeof sampler);
    for (unsigned i = 0; i < kD3DSamplerCount; ++i) {
        DWORD* s = sampler[i];
        s[D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
        s[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
        s[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        s[D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
        s[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        s[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        s[D3DSAMP_MAXANISOTROPY] = 1;
    }
}

bool IsRenderState(DWORD state) {
    switch (state) {
    case D3DRS_ZENABLE: case D3DRS_FILLMODE: case D3DRS_SHADEMODE: case D3DRS_ZWRITEENABLE:
    case D3DRS_ALPHATESTENABLE: case D3DRS_LASTPIXEL: case D3DRS_SRCBLEND: case D3DRS_DESTBLEND:
    case D3DRS_CULLMODE: case D3DRS_ZFUNC: case D3DRS_ALPHAREF: case D3DRS_ALPHAFUNC: case D3DRS_DITHERENABLE:
    case D3DRS_ALPHABLENDENABLE: case D3DRS_FOGENABLE: case D3DRS_SPECULARENABLE: case D3DRS_FOGCOLOR:
    case D3DRS_FOGTABLEMODE: case D3DRS_FOGSTART: case D3DRS_FOGEND: case D3DRS_FOGDENSITY:
    case D3DRS_RANGEFOGENABLE: case D3DRS_STENCILENABLE: case D3DRS_STENCILFAIL: case D3DRS_STENCILZFAIL:
    case D3DRS_STENCILPASS: case D3DRS_STENCILFUNC: case D3DRS_STENCILREF: case D3DRS_STENCILMASK:
    case D3DRS_STENCILWRITEMASK: case D3DRS_TEXTUREFACTOR:
        return true;
    default:
        break;
    }
    if (state >= D3DRS_WRAP0 && state <= D3DRS_WRAP7) return true;
    if (state >= D3DRS_CLIPPING && state <= D3DRS_BLENDOPALPHA) {
        // The gaps of the upper range.
        return state != 138 && state != 144 && state != 149 && state != 150 && state != 153 && state != 164 &&
               state != 169 && state != 177 && state != 196 && state != 197;
    }
    return false;
}

bool IsStageState(DWORD type) {
    return (type >= D3DTSS_COLOROP && type <= D3DTSS_TEXCOORDINDEX) ||
           (type >= D3DTSS_BUMPENVLSCALE && type <= D3DTSS_TEXTURETRANSFORMFLAGS) ||
           (type >= D3DTSS_COLORARG0 && type <= D3DTSS_RESULTARG) || type == D3DTSS_CONSTANT;
}

bool IsSamplerState(DWORD type) { return type >= D3DSAMP_ADDRESSU && type <= D3DSAMP_DMAPOFFSET; }

}  // namespace d3d9sw
