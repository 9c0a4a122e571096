// Device states: Direct3D 9's defaults, exact read-back, and what is bound to the pipeline.
#include <cstring>

#include "tests/d3d9/d3d9_fixture.h"

namespace d3d9test {
namespace {

using DeviceStateTest = D3D9Test;

DWORD Bits(float value) {
    DWORD bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

DWORD Render(IDirect3DDevice9* device, D3DRENDERSTATETYPE state) {
    DWORD value = 0xDEADBEEF;
    EXPECT_EQ(device->GetRenderState(state, &value), D3D_OK) << state;
    return value;
}

TEST_F(DeviceStateTest, NewDeviceReadsBackDirect3D9Defaults) {
    CreateWindowedDevice();
    IDirect3DDevice9* d = device_.get();
    EXPECT_EQ(Render(d, D3DRS_ZENABLE), static_cast<DWORD>(D3DZB_TRUE));  // automatic depth buffer
    EXPECT_EQ(Render(d, D3DRS_FILLMODE), static_cast<DWORD>(D3DFILL_SOLID));
    EXPECT_EQ(Render(d, D3DRS_LIGHTING), static_cast<DWORD>(TRUE));
    EXPECT_EQ(Render(d, D3DRS_CULLMODE), static_cast<DWORD>(D3DCULL_CCW));
    EXPECT_EQ(Render(d, D3DRS_SRCBLEND), static_cast<DWORD>(D3DBLEND_ONE));
    EXPECT_EQ(Render(d, D3DRS_DESTBLEND), static_cast<DWORD>(D3DBLEND_ZERO));
    EXPECT_EQ(Render(d, D3DRS_ALPHABLENDENABLE), static_cast<DWORD>(FALSE));
    EXPECT_EQ(Render(d, D3DRS_ALPHAFUNC), static_cast<DWORD>(D3DCMP_ALWAYS));
    EXPECT_EQ(Render(d, D3DRS_ZFUNC), static_cast<DWORD>(D3DCMP_LESSEQUAL));
    EXPECT_EQ(Render(d, D3DRS_BLENDOP), static_cast<DWORD>(D3DBLENDOP_ADD));
    EXPECT_EQ(Render(d, D3DRS_COLORWRITEENABLE), 0x0Fu);
    EXPECT_EQ(Render(d, D3DRS_TEXTUREFACTOR), 0xFFFFFFFFu);
    EXPECT_EQ(Render(d, D3DRS_POINTSIZE_MAX), Bits(64.0f));
    EXPECT_EQ(Render(d, D3DRS_FOGEND), Bits(1.0f));
    EXPECT_EQ(Render(d, D3DRS_POINTSPRITEENABLE), static_cast<DWORD>(FALSE));

    DWORD value = 0;
    for (DWORD stage = 0; stage < 8; ++stage) {
        ASSERT_EQ(d->GetTextureStageState(stage, D3DTSS_COLOROP, &value), D3D_OK);
        EXPECT_EQ(value, static_cast<DWORD>(stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE));
        ASSERT_EQ(d->GetTextureStageState(stage, D3DTSS_ALPHAOP, &value), D3D_OK);
        EXPECT_EQ(value, static_cast<DWORD>(stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE));
        ASSERT_EQ(d->GetTextureStageState(stage, D3DTSS_COLORARG2, &value), D3D_OK);
        EXPECT_EQ(value, D3DTA_CURRENT);
        ASSERT_EQ(d->GetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, &value), D3D_OK);
        EXPECT_EQ(value, stage);
    }
    for (DWORD sampler = 0; sampler < 16; ++sampler) {
        ASSERT_EQ(d->GetSamplerState(sampler, D3DSAMP_ADDRESSU, &value), D3D_OK);
        EXPECT_EQ(value, static_cast<DWORD>(D3DTADDRESS_WRAP));
        ASSERT_EQ(d->GetSamplerState(sampler, D3DSAMP_MAGFILTER, &value), D3D_OK);
        EXPECT_EQ(value, static_cast<DWORD>(D3DTEXF_POINT));
        ASSERT_EQ(d->GetSamplerState(sampler, D3DSAMP_MIPFILTER, &value), D3D_OK);
        EXPECT_EQ(value, static_cast<DWORD>(D3DTEXF_NONE));
        ASSERT_EQ(d->GetSamplerState(sampler, D3DSAMP_MAXANISOTROPY, &value), D3D_OK);
        EXPECT_EQ(value, 1u);
    }
}

TEST_F(DeviceStateTest, WithoutAutomaticDepthBufferZTestStartsOff) {
    D3DPRESENT_PARAMETERS params = WindowedParams(window_);
    params.EnableAutoDepthStencil = FALSE;
    ASSERT_EQ(CreateDevice(params), D3D_OK);
    EXPECT_EQ(Render(device_.get(), D3DRS_ZENABLE), static_cast<DWORD>(D3DZB_FALSE));
    Ref<IDirect3DSurface9> depth;
    EXPECT_EQ(device_->GetDepthStencilSurface(depth.out()), D3DERR_NOTFOUND);
    EXPECT_FALSE(depth);
}

TEST_F(DeviceStateTest, SetValuesReadBackExactlyAndBadStatesAreRefused) {
    CreateWindowedDevice();
    IDirect3DDevice9* d = device_.get();
    d3d9ctl::ResetCounters();
    ASSERT_EQ(d->SetRenderState(D3DRS_ALPHAREF, 0x12345678), D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRS_BLENDOPALPHA, D3DBLENDOP_MAX), D3D_OK);
    ASSERT_EQ(d->SetTextureStageState(7, D3DTSS_CONSTANT, 0xCAFEF00D), D3D_OK);
    ASSERT_EQ(d->SetSamplerState(15, D3DSAMP_DMAPOFFSET, 77), D3D_OK);
    EXPECT_EQ(Render(d, D3DRS_ALPHAREF), 0x12345678u);
    EXPECT_EQ(Render(d, D3DRS_BLENDOPALPHA), static_cast<DWORD>(D3DBLENDOP_MAX));
    DWORD value = 0;
    ASSERT_EQ(d->GetTextureStageState(7, D3DTSS_CONSTANT, &value), D3D_OK);
    EXPECT_EQ(value, 0xCAFEF00Du);
    ASSERT_EQ(d->GetSamplerState(15, D3DSAMP_DMAPOFFSET, &value), D3D_OK);
    EXPECT_EQ(value, 77u);
    EXPECT_EQ(d3d9ctl::GetCounters().stateChanges, 4u);

    // Gaps in the enumerations and out-of-range stages change nothing.
    for (DWORD bad : {0u, 138u, 196u, 210u})
        EXPECT_EQ(d->SetRenderState(static_cast<D3DRENDERSTATETYPE>(bad), 1), D3DERR_INVALIDCALL) << bad;
    EXPECT_EQ(d->GetRenderState(static_cast<D3DRENDERSTATETYPE>(138), &value), D3DERR_INVALIDCALL);
    EXPECT_EQ(d->GetRenderState(D3DRS_ZENABLE, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(d->SetTextureStageState(8, D3DTSS_COLOROP, D3DTOP_ADD), D3DERR_INVALIDCALL);
    EXPECT_EQ(d->SetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(12), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(d->SetSamplerState(16, D3DSAMP_ADDRESSU, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(d->SetSamplerState(0, static_cast<D3DSAMPLERSTATETYPE>(14), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d9ctl::GetCounters().stateChanges, 4u);
}

TEST_F(DeviceStateTest, ResetBringsBackTheDefaults) {
    CreateWindowedDevice();
    ASSERT_EQ(device_->SetRenderState(D3DRS_LIGHTING, FALSE), D3D_OK);
    ASSERT_EQ(device_->SetFVF(0x142), D3D_OK);
    D3DPRESENT_PARAMETERS params = WindowedParams(window_);
    ASSERT_EQ(device_->Reset(&params), D3D_OK);
    EXPECT_EQ(Render(device_.get(), D3DRS_LIGHTING), static_cast<DWORD>(TRUE));
    DWORD fvf = 1;
    ASSERT_EQ(device_->GetFVF(&fvf), D3D_OK);
    EXPECT_EQ(fvf, 0u);
}

TEST_F(DeviceStateTest, BindingsKeepObjectsAliveAndRefuseForeignOnes) {
    CreateWindowedDevice();
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    ASSERT_EQ(device_->SetTexture(0, texture), D3D_OK);
    texture->Release();  // the binding keeps it
    Ref<IDirect3DBaseTexture9> bound;
    ASSERT_EQ(device_->GetTexture(0, bound.out()), D3D_OK);
    ASSERT_TRUE(bound);
    EXPECT_EQ(bound->GetType(), D3DRTYPE_TEXTURE);
    bound.reset();
    ASSERT_EQ(device_->SetTexture(0, nullptr), D3D_OK);

    Ref<IDirect3DTexture9> system;
    ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, system.out(), nullptr), D3D_OK);
    EXPECT_EQ(device_->SetTexture(0, system.get()), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetTexture(8, nullptr), D3DERR_INVALIDCALL);

    // The device keeps a shader's tokens and hands the same object back.
    const DWORD tokens[] = {0xFFFF0101, 0x00000001, 0x800F0000, 0x90E40000, 0x0000FFFF};  // ps.1.1; mov r0, v0
    Ref<IDirect3DPixelShader9> shader;
    ASSERT_EQ(device_->CreatePixelShader(tokens, shader.out()), D3D_OK);
    EXPECT_EQ(d3d9ctl::PixelShaderTokens(shader.get()), std::vector<DWORD>(std::begin(tokens), std::end(tokens)));
    ASSERT_EQ(device_->SetPixelShader(shader.get()), D3D_OK);
    Ref<IDirect3DPixelShader9> current;
    ASSERT_EQ(device_->GetPixelShader(current.out()), D3D_OK);
    EXPECT_EQ(current.get(), shader.get());
    const DWORD ps20[] = {0xFFFF0200, 0x0000FFFF};
    IDirect3DPixelShader9* refused = nullptr;
    EXPECT_EQ(device_->CreatePixelShader(ps20, &refused), D3DERR_INVALIDCALL);
    EXPECT_EQ(refused, nullptr);

    Ref<IDirect3DVertexBuffer9> buffer;
    ASSERT_EQ(device_->CreateVertexBuffer(240, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, buffer.out(), nullptr), D3D_OK);
    EXPECT_EQ(device_->SetStreamSource(0, buffer.get(), 2, 24), D3DERR_INVALIDCALL);  // unaligned offset
    EXPECT_EQ(device_->SetStreamSource(1, buffer.get(), 0, 24), D3DERR_INVALIDCALL);
    ASSERT_EQ(device_->SetStreamSource(0, buffer.get(), 48, 24), D3D_OK);
    Ref<IDirect3DVertexBuffer9> stream;
    UINT offset = 0, stride = 0;
    ASSERT_EQ(device_->GetStreamSource(0, stream.out(), &offset, &stride), D3D_OK);
    EXPECT_EQ(stream.get(), buffer.get());
    EXPECT_EQ(offset, 48u);
    EXPECT_EQ(stride, 24u);
    EXPECT_EQ(device_->SetVertexShader(nullptr), D3D_OK);
    // The device is released with objects still bound: nothing may leak (the sanitizer run checks).
}

}  // namespace
}  // namespace d3d9test
