// Device loss and Reset, driven through the control API.
#include "tests/d3d9/d3d9_fixture.h"
#include "tests/support/display_change.h"

namespace d3d9test {
namespace {

class DeviceLossTest : public D3D9Test {
protected:
    void SetUp() override {
        D3D9Test::SetUp();
        CreateWindowedDevice();
    }
    HRESULT ResetDevice() {
        D3DPRESENT_PARAMETERS params = WindowedParams(window_);
        return device_->Reset(&params);
    }
    void LoseAndRestore() {
        d3d9ctl::LoseDevice();
        d3d9ctl::RestoreDevice();
    }
};

TEST_F(DeviceLossTest, LossThenResetRefusedWhileADefaultPoolTextureLives) {
    Ref<IDirect3DTexture9> video, managed, system;
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, video.out(), nullptr), D3D_OK);
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, managed.out(), nullptr), D3D_OK);
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, system.out(), nullptr), D3D_OK);

    d3d9ctl::LoseDevice();
    EXPECT_TRUE(d3d9ctl::IsDeviceLost());
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFFu, 1.0f, 0), D3D_OK);  // does nothing
    EXPECT_EQ(device_->EndScene(), D3DERR_DEVICELOST);
    EXPECT_EQ(ResetDevice(), D3DERR_DEVICELOST) << "not restorable yet";

    d3d9ctl::RestoreDevice();
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(ResetDevice(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(d3d9ctl::InspectDevice(device_.get()).liveDefaultPoolResources, 1);

    video.reset();  // managed and system-memory textures survive a Reset
    ASSERT_EQ(ResetDevice(), D3D_OK);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
    EXPECT_FALSE(d3d9ctl::IsDeviceLost());
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FFu, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    int width = 0, height = 0;
    EXPECT_EQ(win32::WindowPixels(window_, &width, &height)[0], 0xFF0000FFu);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(managed->LockRect(0, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(managed->UnlockRect(0), D3D_OK);
}

TEST_F(DeviceLossTest, ResetRefusedWhileTheApplicationHoldsImplicitSurfacesOrSwapChains) {
    LoseAndRestore();
    {
        Ref<IDirect3DSurface9> back;
        ASSERT_EQ(device_->GetRenderTarget(0, back.out()), D3D_OK);
        EXPECT_EQ(ResetDevice(), D3DERR_INVALIDCALL) << "back buffer held";
    }
    {
        Ref<IDirect3DSurface9> depth;
        ASSERT_EQ(device_->GetDepthStencilSurface(depth.out()), D3D_OK);
        EXPECT_EQ(ResetDevice(), D3DERR_INVALIDCALL) << "depth buffer held";
    }
    {
        D3DPRESENT_PARAMETERS params{};
        params.SwapEffect = D3DSWAPEFFECT_COPY;
        params.Windowed = TRUE;
        Ref<IDirect3DSwapChain9> chain;
        ASSERT_EQ(device_->CreateAdditionalSwapChain(&params, chain.out()), D3D_OK);
        EXPECT_EQ(ResetDevice(), D3DERR_INVALIDCALL) << "additional swap chain alive";
    }
    {
        Ref<IDirect3DVertexBuffer9> buffer;
        ASSERT_EQ(device_->CreateVertexBuffer(96, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, buffer.out(),
                                              nullptr),
                  D3D_OK);
        EXPECT_EQ(ResetDevice(), D3DERR_INVALIDCALL) << "DEFAULT-pool vertex buffer alive";
    }
    // A DEFAULT-pool texture only the device still binds is released by the Reset itself.
    IDirect3DTexture9* bound = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &bound, nullptr), D3D_OK);
    ASSERT_EQ(device_->SetTexture(0, bound), D3D_OK);
    bound->Release();
    EXPECT_EQ(ResetDevice(), D3D_OK);
    Ref<IDirect3DBaseTexture9> after;
    ASSERT_EQ(device_->GetTexture(0, after.out()), D3D_OK);
    EXPECT_FALSE(after);
    EXPECT_EQ(d3d9ctl::InspectDevice(device_.get()).defaultPoolBytes, 0u);
}

TEST_F(DeviceLossTest, ScriptedCooperativeLevelAndResetResults) {
    d3d9ctl::FailCall("TestCooperativeLevel", 1, D3DERR_DRIVERINTERNALERROR);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DRIVERINTERNALERROR);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);

    LoseAndRestore();
    d3d9ctl::FailCall("Reset", 1, D3DERR_DEVICELOST);
    EXPECT_EQ(ResetDevice(), D3DERR_DEVICELOST);
    EXPECT_EQ(ResetDevice(), D3D_OK);
    d3d9ctl::FailCall("Present", 1, D3DERR_DEVICELOST);
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
}

TEST_F(DeviceLossTest, DevicesCannotBeCreatedWhileTheDisplayIsLost) {
    d3d9ctl::LoseDevice();
    Ref<IDirect3DDevice9> second;
    D3DPRESENT_PARAMETERS params = WindowedParams(window_);
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_HARDWARE_VERTEXPROCESSING, &params, second.out()),
              D3DERR_DEVICELOST);
    d3d9ctl::RestoreDevice();
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_HARDWARE_VERTEXPROCESSING, &params, second.out()),
              D3D_OK);
    EXPECT_EQ(second->TestCooperativeLevel(), D3D_OK);
}

using FullScreenLossTest = D3D9Test;

D3DPRESENT_PARAMETERS FullScreenParams(HWND window) {
    D3DPRESENT_PARAMETERS params = WindowedParams(window, 640, 480);
    params.Windowed = FALSE;
    return params;
}

TEST_F(FullScreenLossTest, LosingFocusOrTheDisplayModeLosesAFullScreenDevice) {
    ASSERT_EQ(CreateDevice(FullScreenParams(window_)), D3D_OK);
    EXPECT_EQ(GetForegroundWindow(), window_) << "full screen brings the focus window forward";
    const HWND other = win32::CreateTestWindow(u"other", 0, 0, 32, 32);

    // Alt+Tab away: lost while away, to be reset once back.
    ASSERT_TRUE(SetForegroundWindow(other));
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    D3DPRESENT_PARAMETERS params = FullScreenParams(window_);
    EXPECT_EQ(device_->Reset(&params), D3DERR_DEVICELOST);
    d3d9ctl::LoseDevice();
    d3d9ctl::RestoreDevice();
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICELOST) << "still away";
    ASSERT_TRUE(SetForegroundWindow(window_));
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    ASSERT_EQ(device_->Reset(&params), D3D_OK);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);

    // Someone else changes the display mode; the device's own switches lose nothing.
    ASSERT_EQ(lumi::test::ChangeDisplayElsewhere(800, 600), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    ASSERT_EQ(device_->Reset(&params), D3D_OK);
    EXPECT_EQ(win32::CurrentDisplayMode().width, 640u) << "the reset took the display back";
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
}

TEST_F(FullScreenLossTest, AWindowedDeviceIgnoresFocusAndModeChanges) {
    CreateWindowedDevice();
    const HWND other = win32::CreateTestWindow(u"other", 0, 0, 32, 32);
    ASSERT_TRUE(SetForegroundWindow(other));
    ASSERT_EQ(lumi::test::ChangeDisplayElsewhere(1024, 768), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
}

}  // namespace
}  // namespace d3d9test
