// The Direct3D object: adapter configuration, format checks and device creation.
#include <cstring>

#include "tests/d3d9/d3d9_fixture.h"

namespace d3d9test {
namespace {

using AdapterTest = D3D9Test;

TEST_F(AdapterTest, DefaultAdapterPassesTheLibrarysCapabilityChecks) {
    EXPECT_EQ(d3d_->GetAdapterCount(), 1u);
    EXPECT_EQ(d3d_->GetAdapterModeCount(0, D3DFMT_X8R8G8B8), 7u);
    EXPECT_EQ(d3d_->GetAdapterModeCount(0, D3DFMT_R5G6B5), 7u);
    EXPECT_EQ(d3d_->GetAdapterModeCount(0, D3DFMT_X1R5G5B5), 0u);
    D3DDISPLAYMODE mode{};
    ASSERT_EQ(d3d_->EnumAdapterModes(0, D3DFMT_R5G6B5, 6, &mode), D3D_OK);
    EXPECT_EQ(mode.Width, 1920u);
    EXPECT_EQ(mode.Height, 1080u);
    EXPECT_EQ(mode.Format, D3DFMT_R5G6B5);
    EXPECT_EQ(d3d_->EnumAdapterModes(0, D3DFMT_R5G6B5, 7, &mode), D3DERR_INVALIDCALL);

    D3DCAPS9 caps{};
    ASSERT_EQ(d3d_->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_TRUE(caps.ZCmpCaps & D3DPCMPCAPS_LESSEQUAL);
    EXPECT_TRUE(caps.AlphaCmpCaps & D3DPCMPCAPS_GREATEREQUAL);
    EXPECT_TRUE(caps.Caps2 & D3DCAPS2_DYNAMICTEXTURES);
    EXPECT_TRUE(caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT);
    EXPECT_TRUE(caps.CursorCaps & D3DCURSORCAPS_COLOR);
    EXPECT_FALSE(caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY);
    EXPECT_GE(caps.MaxTextureAspectRatio, 2u);
    EXPECT_EQ(caps.MaxTextureWidth, 4096u);
    EXPECT_EQ(caps.PixelShaderVersion, D3DPS_VERSION(1, 1));

    // The enumeration probes HAL, SW and REF: REF answers, SW does not.
    ASSERT_EQ(d3d_->GetDeviceCaps(0, D3DDEVTYPE_REF, &caps), D3D_OK);
    EXPECT_EQ(caps.DeviceType, D3DDEVTYPE_REF);
    EXPECT_EQ(d3d_->GetDeviceCaps(0, D3DDEVTYPE_SW, &caps), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d_->GetDeviceCaps(1, D3DDEVTYPE_HAL, &caps), D3DERR_INVALIDCALL);

    D3DDISPLAYMODE desktop{};
    ASSERT_EQ(d3d_->GetAdapterDisplayMode(0, &desktop), D3D_OK);
    EXPECT_EQ(desktop.Width, 1920u);
    EXPECT_EQ(desktop.Format, D3DFMT_X8R8G8B8);
}

TEST_F(AdapterTest, IdentifierAndCapsComeFromTheConfiguration) {
    d3d9ctl::AdapterConfig second = d3d9ctl::DefaultAdapter();
    second.description = std::string(600, 'x');  // longer than the record's 512 characters
    second.caps.PixelShaderVersion = D3DPS_VERSION(1, 0);
    d3d9ctl::SetAdapters({d3d9ctl::DefaultAdapter(), second});

    ASSERT_EQ(d3d_->GetAdapterCount(), 2u);
    D3DADAPTER_IDENTIFIER9 id{};
    ASSERT_EQ(d3d_->GetAdapterIdentifier(1, 0, &id), D3D_OK);
    EXPECT_EQ(std::strlen(id.Description), 511u);
    EXPECT_STREQ(id.Driver, "lumisw.dll");
    D3DCAPS9 caps{};
    ASSERT_EQ(d3d_->GetDeviceCaps(1, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_EQ(caps.PixelShaderVersion, D3DPS_VERSION(1, 0));
    EXPECT_EQ(caps.AdapterOrdinal, 1u);
    EXPECT_EQ(d3d_->GetAdapterIdentifier(2, 0, &id), D3DERR_INVALIDCALL);

    d3d9ctl::SetAdapters({});
    EXPECT_EQ(d3d_->GetAdapterCount(), 0u);
}

TEST_F(AdapterTest, FormatChecksFollowTheConfiguration) {
    const D3DFORMAT desk = D3DFMT_X8R8G8B8;
    for (D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5,
                             D3DFMT_A4R4G4B4, D3DFMT_A8, D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_DXT5})
        EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, desk, 0, D3DRTYPE_TEXTURE, format), D3D_OK) << format;
    EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, desk, 0, D3DRTYPE_TEXTURE, D3DFMT_A8L8), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, desk, D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING,
                                      D3DRTYPE_TEXTURE, D3DFMT_X8R8G8B8),
              D3D_OK);
    for (D3DFORMAT format : {D3DFMT_D16, D3DFMT_D16_LOCKABLE, D3DFMT_D24S8, D3DFMT_D24X8}) {
        EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, desk, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, format),
                  D3D_OK) << format;
        EXPECT_EQ(d3d_->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, desk, D3DFMT_R5G6B5, format), D3D_OK) << format;
        // Depth formats are neither textures nor colour surfaces.
        EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, desk, 0, D3DRTYPE_TEXTURE, format), D3DERR_NOTAVAILABLE)
            << format;
        EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, desk, 0, D3DRTYPE_SURFACE, format), D3DERR_NOTAVAILABLE)
            << format;
    }
    EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, desk, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, D3DFMT_D32),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d_->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, desk, D3DFMT_A8R8G8B8, D3DFMT_D24S8), D3D_OK);
    EXPECT_EQ(d3d_->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, desk, D3DFMT_A8R8G8B8, D3DFMT_D15S1), D3DERR_NOTAVAILABLE);

    // Tests switch single formats off, as the library's fallbacks need.
    d3d9ctl::SetFormatSupport(0, D3DFMT_DXT3, d3d9ctl::FormatSupport{});
    EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, desk, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT3), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_A8),
              D3DERR_INVALIDCALL);  // not a display format

    DWORD quality = 99;
    EXPECT_EQ(d3d_->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE, D3DMULTISAMPLE_NONE, &quality),
              D3D_OK);
    EXPECT_EQ(quality, 1u);
    EXPECT_EQ(d3d_->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE, D3DMULTISAMPLE_4_SAMPLES,
                                               &quality),
              D3DERR_NOTAVAILABLE);
}

TEST_F(AdapterTest, DeviceTypeCombinationsAsTheEnumerationExpects) {
    EXPECT_EQ(d3d_->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, FALSE), D3D_OK);
    EXPECT_EQ(d3d_->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, FALSE), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d_->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, TRUE), D3D_OK);
    EXPECT_EQ(d3d_->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_R5G6B5, D3DFMT_R5G6B5, FALSE), D3D_OK);
    // No X1R5G5B5 modes: full screen in that format is not offered.
    EXPECT_EQ(d3d_->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, FALSE), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d_->CheckDeviceType(0, D3DDEVTYPE_SW, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, TRUE), D3DERR_NOTAVAILABLE);
}

TEST_F(AdapterTest, CreateDeviceValidatesAndCompletesThePresentationParameters) {
    D3DPRESENT_PARAMETERS params = WindowedParams(window_);
    params.BackBufferFormat = D3DFMT_UNKNOWN;
    ASSERT_EQ(CreateDevice(params), D3D_OK);
    D3DSURFACE_DESC desc{};
    {
        Ref<IDirect3DSurface9> back;
        ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, back.out()), D3D_OK);
        ASSERT_EQ(back->GetDesc(&desc), D3D_OK);
    }
    // A zero size takes the client area, an unknown format the desktop's.
    EXPECT_EQ(desc.Width, 64u);
    EXPECT_EQ(desc.Height, 48u);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    device_.reset();

    auto refused = [&](D3DPRESENT_PARAMETERS p, DWORD flags = D3DCREATE_HARDWARE_VERTEXPROCESSING) {
        IDirect3DDevice9* device = reinterpret_cast<IDirect3DDevice9*>(1);
        const HRESULT hr = d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, flags, &p, &device);
        EXPECT_EQ(device, nullptr);
        return hr;
    };
    params = WindowedParams(nullptr);
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &params, device_.out()),
              D3DERR_INVALIDCALL)
        << "neither a device window nor a focus window";
    params = WindowedParams(window_);
    params.BackBufferCount = 4;
    EXPECT_EQ(refused(params), D3DERR_INVALIDCALL);
    params = WindowedParams(window_);
    params.SwapEffect = static_cast<D3DSWAPEFFECT>(7);
    EXPECT_EQ(refused(params), D3DERR_INVALIDCALL);
    params = WindowedParams(window_);
    params.AutoDepthStencilFormat = D3DFMT_D32;
    EXPECT_EQ(refused(params), D3DERR_NOTAVAILABLE);
    params = WindowedParams(window_);
    EXPECT_EQ(refused(params, D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_SOFTWARE_VERTEXPROCESSING),
              D3DERR_INVALIDCALL);
    params = WindowedParams(window_, 1024, 768);
    params.Windowed = FALSE;
    params.BackBufferFormat = D3DFMT_X1R5G5B5;  // no such mode
    EXPECT_EQ(refused(params), D3DERR_INVALIDCALL);

    D3DCAPS9 caps = d3d9ctl::DefaultCaps();
    caps.DevCaps &= ~D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    d3d9ctl::SetCaps(0, caps);
    EXPECT_EQ(refused(WindowedParams(window_)), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                 &(params = WindowedParams(window_)), device_.out()),
              D3D_OK);
}

TEST_F(AdapterTest, ReferenceTestDeviceOfTheEnumerationIsCreated) {
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = 1;
    params.BackBufferHeight = 1;
    params.BackBufferFormat = D3DFMT_X8R8G8B8;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_COPY;
    params.Windowed = TRUE;
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_REF, window_, D3DCREATE_HARDWARE_VERTEXPROCESSING, &params,
                                 device_.out()),
              D3D_OK);
    device_.reset();
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_SW, window_, D3DCREATE_HARDWARE_VERTEXPROCESSING, &params,
                                 device_.out()),
              D3DERR_NOTAVAILABLE);
}

TEST_F(AdapterTest, ScriptedFailuresHitTheChosenCall) {
    d3d9ctl::SetCallLogEnabled(true);
    d3d9ctl::FailCall("CreateDevice", 2, D3DERR_OUTOFVIDEOMEMORY);
    ASSERT_EQ(CreateDevice(WindowedParams(window_)), D3D_OK);
    device_.reset();
    EXPECT_EQ(CreateDevice(WindowedParams(window_)), D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_FALSE(device_);
    EXPECT_EQ(CreateDevice(WindowedParams(window_)), D3D_OK);
    EXPECT_EQ(d3d9ctl::CallCount("CreateDevice"), 3);

    std::vector<HRESULT> results;
    for (const d3d9ctl::CallRecord& call : d3d9ctl::CallLog())
        if (call.method == "CreateDevice") results.push_back(call.result);
    EXPECT_EQ(results, (std::vector<HRESULT>{D3D_OK, D3DERR_OUTOFVIDEOMEMORY, D3D_OK}));

    d3d9ctl::FailCall("Direct3DCreate9", 1, E_FAIL);
    EXPECT_EQ(Direct3DCreate9(D3D_SDK_VERSION), nullptr);
    EXPECT_EQ(Direct3DCreate9(31), nullptr);
}

TEST_F(AdapterTest, FullScreenDeviceSwitchesTheVirtualDisplayUntilReleased) {
    D3DPRESENT_PARAMETERS params = WindowedParams(window_, 800, 600);
    params.Windowed = FALSE;
    params.BackBufferFormat = D3DFMT_R5G6B5;
    params.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
    ASSERT_EQ(CreateDevice(params), D3D_OK);
    win32::DisplayMode mode = win32::CurrentDisplayMode();
    EXPECT_EQ(mode.width, 800u);
    EXPECT_EQ(mode.bitsPerPixel, 16u);
    D3DDISPLAYMODE desktop{};
    ASSERT_EQ(d3d_->GetAdapterDisplayMode(0, &desktop), D3D_OK);
    EXPECT_EQ(desktop.Format, D3DFMT_R5G6B5);

    device_.reset();
    mode = win32::CurrentDisplayMode();
    EXPECT_EQ(mode.width, 1920u);
    EXPECT_EQ(mode.bitsPerPixel, 32u);
}

}  // namespace
}  // namespace d3d9test
