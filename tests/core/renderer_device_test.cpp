// The device after construction: default states and capabilities, loss and reset, and
// display-mode changes with their restore path.
#include <utility>

#include "core/exception.h"
#include "core/render_window.h"
#include "core/swap_chain.h"
#include "platform/d3dx9/control.h"
#include "platform/d3dx9/d3dx9.h"
#include "tests/support/display_change.h"
#include "tests/core/renderer_fixture.h"

namespace lumi::test {
namespace {

DWORD RenderState(IDirect3DDevice9* device, D3DRENDERSTATETYPE state) {
    DWORD value = 0xDEAD;
    device->GetRenderState(state, &value);
    return value;
}

class RendererDeviceTest : public RendererTest {
protected:
    // A renderer with a second window; each frame clears the main window red and the
    // second one blue.
    void CreateWithTwoWindows() {
        ASSERT_NE(Create(), nullptr);
        second_ = win32::CreateTestWindow(u"second", 400, 0, 64, 48);
        swapChain_ = renderer_->CreateRenderWindow(second_, 64, 48);
        ASSERT_NE(swapChain_, nullptr);
        renderer_->SelectRenderWindow(swapChain_);
        renderer_->SetBackgroundColor(0xFF0000FF);
        renderer_->SelectRenderWindow(nullptr);
        renderer_->SetBackgroundColor(0xFFFF0000);
    }

    void ExpectBothWindowsDrawn() {
        EXPECT_EQ(WindowPixel(window_, 5, 5) & 0xFFFFFF, 0xFF0000u);
        EXPECT_EQ(WindowPixel(second_, 5, 5) & 0xFFFFFF, 0x0000FFu);
    }

    void Repaint(std::uint32_t colour) {
        int width = 0;
        int height = 0;
        for (HWND window : {window_, second_}) {
            std::uint32_t* pixels = win32::WindowPixels(window, &width, &height);
            std::fill(pixels, pixels + width * height, colour);
        }
    }

    HWND second_ = nullptr;
    ISwapChain* swapChain_ = nullptr;
};

TEST_F(RendererDeviceTest, DefaultStatesAndTheGreyShader) {
    ASSERT_NE(Create(), nullptr);
    IDirect3DDevice9* device = Renderer()->GetDevice();
    EXPECT_TRUE(d3d9ctl::InspectDevice(device).dialogBoxMode);
    const std::pair<D3DRENDERSTATETYPE, DWORD> states[] = {
        {D3DRS_LIGHTING, FALSE},           {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
        {D3DRS_ALPHATESTENABLE, TRUE},     {D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL},
        {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA}, {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA}};
    for (const auto& [state, expected] : states) EXPECT_EQ(RenderState(device, state), expected) << "state " << state;
    DWORD value = 0;
    device->GetTextureStageState(1, D3DTSS_COLOROP, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTOP_DISABLE));
    device->GetSamplerState(0, D3DSAMP_MIPFILTER, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTEXF_NONE));
    ASSERT_NE(Renderer()->GetGreyPixelShader(), nullptr);
    EXPECT_FALSE(d3d9ctl::PixelShaderTokens(Renderer()->GetGreyPixelShader()).empty());
    EXPECT_TRUE(Renderer()->EvictManagedResources());

    // A shader that cannot be assembled is logged; the renderer goes on without it.
    Release();
    d3dxctl::FailCall(d3dxctl::Function::kAssembleShader, 1, D3DXERR_INVALIDDATA);
    ASSERT_NE(Create(), nullptr);
    EXPECT_EQ(Renderer()->GetGreyPixelShader(), nullptr);
    EXPECT_TRUE(LogContains(u"failed to create ps."));
}

TEST_F(RendererDeviceTest, WeakCapsAreLoggedAndShapeTheStates) {
    D3DCAPS9 caps = d3d9ctl::DefaultCaps();
    caps.PixelShaderVersion = 0xFFFF0100;  // ps 1.0
    caps.MaxTextureAspectRatio = 1;
    caps.AlphaCmpCaps &= ~D3DPCMPCAPS_GREATEREQUAL;
    caps.Caps2 &= ~D3DCAPS2_DYNAMICTEXTURES;
    caps.CursorCaps = 0;
    d3d9ctl::SetCaps(0, caps);
    ASSERT_NE(Create(), nullptr);
    EXPECT_TRUE(LogHasInOrder({u"Only square textures are supported!", u"Alpha Testing(GREATEREQUAL) NOT supported!",
                               u"Dynamic textures is NOT supported!", u"PixelShaderVersion=1.0",
                               u"Adapter does NOT support ps1.1"}));
    EXPECT_TRUE(Renderer()->IsSquareOnly());
    EXPECT_EQ(Renderer()->GetGreyPixelShader(), nullptr);
    EXPECT_EQ(RenderState(Renderer()->GetDevice(), D3DRS_ALPHATESTENABLE), FALSE);
}

TEST_F(RendererDeviceTest, LossInAViewportStopsTheFrameAndAResetRefusedWhileHeldIsRetried) {
    CreateWithTwoWindows();
    ASSERT_TRUE(RunFrame());
    ExpectBothWindowsDrawn();
    IDirect3DDevice9* device = Renderer()->GetDevice();

    d3d9ctl::LoseDevice();
    d3d9ctl::SetCallLogEnabled(true);
    d3d9ctl::ClearCallLog();
    EXPECT_NO_THROW(RunFrame());  // the second window's EndScene reports the loss first
    EXPECT_TRUE(Renderer()->IsDeviceLost());
    int endScenes = 0;
    int clearsAfterLoss = 0;
    for (const auto& call : d3d9ctl::CallLog()) {
        if (call.method == "EndScene") ++endScenes;
        if (call.method == "Clear" && endScenes > 0) ++clearsAfterLoss;
    }
    EXPECT_EQ(endScenes, 1);
    EXPECT_EQ(clearsAfterLoss, 0);  // the main window is not flushed into released buffers
    const d3d9ctl::DeviceInfo lost = d3d9ctl::InspectDevice(device);
    EXPECT_EQ(lost.liveDefaultPoolResources, 0);
    EXPECT_EQ(lost.additionalSwapChains, 0);

    // Still lost: each frame waits 25 ms and nothing is reset.
    sleeps_.Clear();
    EXPECT_NO_THROW(RunFrame());
    EXPECT_EQ(sleeps_.Sleeps(), std::vector<DWORD>{25});
    EXPECT_EQ(d3d9ctl::CallCount("Reset"), 0);

    // Back, but a back buffer is still held: the reset is refused and tried again later.
    d3d9ctl::RestoreDevice();
    IDirect3DSurface9* held = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &held), D3D_OK);
    EXPECT_NO_THROW(RunFrame());
    EXPECT_TRUE(Renderer()->IsDeviceLost());
    EXPECT_TRUE(LogContains(u"BeginScene - Device reset Failed ["));
    held->Release();

    Repaint(0);
    ASSERT_TRUE(RunFrame());
    EXPECT_FALSE(Renderer()->IsDeviceLost());
    EXPECT_EQ(CountLines(u"BeginScene - Device Reset Succeed."), 1);
    EXPECT_EQ(RenderState(device, D3DRS_ALPHABLENDENABLE), TRUE);
    ExpectBothWindowsDrawn();
}

TEST_F(RendererDeviceTest, DrawsAfterALossGoToTheMainWindowWhicheverTargetReportedIt) {
    CreateWithTwoWindows();
    d3d9ctl::LoseDevice();
    RunFrame();  // the second window reports the loss, before the main window is drawn
    ASSERT_TRUE(Renderer()->IsDeviceLost());
    d3d9ctl::RestoreDevice();
    renderer_->OnFrameBegin();
    renderer_->BeginScene();
    ASSERT_FALSE(Renderer()->IsDeviceLost());
    renderer_->DrawRect(ScratchCommand(), 10, 10, 20, 20, 0xFF00FF00, true);
    ASSERT_TRUE(renderer_->EndScene(true));
    renderer_->OnFrameEnd();
    EXPECT_EQ(WindowPixel(window_, 15, 15) & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(WindowPixel(second_, 15, 15) & 0xFFFFFF, 0x0000FFu);
}

TEST_F(RendererDeviceTest, LossReportedByPresentIsEnteredOnceAndRecovered) {
    CreateWithTwoWindows();
    d3d9ctl::FailCall("Present", 1, D3DERR_DEVICELOST);  // the second window presents first
    const auto presents = d3d9ctl::CallCount("Present");
    EXPECT_NO_THROW(RunFrame());
    EXPECT_TRUE(Renderer()->IsDeviceLost());
    EXPECT_EQ(d3d9ctl::CallCount("Present"), presents + 1);  // the main window was not presented

    // The device never really went: the next frame resets it and draws again.
    Repaint(0);
    ASSERT_TRUE(RunFrame());
    EXPECT_FALSE(Renderer()->IsDeviceLost());
    ExpectBothWindowsDrawn();
}

TEST_F(RendererDeviceTest, DriverErrorWhileLostIsLoggedWithoutReset) {
    CreateWithTwoWindows();
    d3d9ctl::LoseDevice();
    RunFrame();
    d3d9ctl::FailCall("TestCooperativeLevel", 1, D3DERR_DRIVERINTERNALERROR);
    RunFrame();
    EXPECT_EQ(CountLines(u"BeginScene - Driver Internal Error."), 1);
    EXPECT_EQ(d3d9ctl::CallCount("Reset"), 0);
}

TEST_F(RendererDeviceTest, DisplayModeChangesAndTheirRestorePath) {
    CreateWithTwoWindows();
    IDirect3DDevice9* device = Renderer()->GetDevice();
    EXPECT_TRUE(renderer_->ChangeDisplayMode(kWidth, kHeight, 32, 1, false, true));
    EXPECT_EQ(Renderer()->GetDevice(), device);  // nothing to change: untouched
    EXPECT_FALSE(renderer_->ChangeDisplayMode(1921, 600, 32, 1, false, true));
    EXPECT_EQ(Renderer()->GetDevice(), device);

    clock_.Advance(500);
    ASSERT_TRUE(renderer_->ChangeDisplayMode(400, 300, 32, 2, false, true));
    EXPECT_EQ(renderer_->GetWidth(), 400);
    EXPECT_EQ(renderer_->GetHeight(), 300);
    EXPECT_EQ(renderer_->GetUserData(), 0x1234567);
    EXPECT_EQ(g_DisplayStamp, static_cast<std::int32_t>(clock_.Now()));
    EXPECT_EQ(d3d9ctl::InspectDevice(Renderer()->GetDevice()).presentParameters.BackBufferWidth, 400u);
    EXPECT_EQ(Renderer()->GetNormalFormat(), D3DFMT_R5G6B5);
    RECT client{};
    GetClientRect(window_, &client);
    EXPECT_EQ(client.right, 400);
    renderer_->SetBackgroundColor(0xFFFF0000);
    ASSERT_TRUE(RunFrame());
    ExpectBothWindowsDrawn();
    EXPECT_EQ(WindowPixel(window_, 399, 299) & 0xFFFFFF, 0xFF0000u);

    // The new mode cannot be had: the old one comes back and the call says so.
    d3d9ctl::FailCall("CreateDevice", 1, D3DERR_OUTOFVIDEOMEMORY, 3);
    EXPECT_FALSE(renderer_->ChangeDisplayMode(640, 480, 32, 1, false, true));
    EXPECT_EQ(renderer_->GetWidth(), 400);
    EXPECT_EQ(d3d9ctl::InspectDevice(Renderer()->GetDevice()).presentParameters.BackBufferWidth, 400u);
    renderer_->SetBackgroundColor(0xFFFF0000);
    ASSERT_TRUE(RunFrame());
    ExpectBothWindowsDrawn();

    // Not even the old mode: the renderer can only be released.
    d3d9ctl::FailCall("CreateDevice", 1, D3DERR_OUTOFVIDEOMEMORY, 6);
    try {
        renderer_->ChangeDisplayMode(640, 480, 32, 1, false, true);
        FAIL() << "no exception";
    } catch (const lumi::Exception& error) {
        EXPECT_STREQ(error.what(), "restore d3d device failed.");
    }
    EXPECT_EQ(Renderer()->GetDevice(), nullptr);
    EXPECT_EQ(renderer_->GetMainWindow(), nullptr);
}

TEST_F(RendererDeviceTest, AModeChangeWhileLostIsRefusedAndLeavesTheResetToBringFramesBack) {
    CreateWithTwoWindows();
    d3d9ctl::LoseDevice();
    RunFrame();
    ASSERT_TRUE(Renderer()->IsDeviceLost());
    IDirect3DDevice9* device = Renderer()->GetDevice();
    IRenderTarget* mainWindow = renderer_->GetMainWindow();
    const int creations = d3d9ctl::CallCount("CreateDevice");

    EXPECT_FALSE(renderer_->ChangeDisplayMode(400, 300, 32, 1, false, true));
    EXPECT_EQ(CountLines(u"ChangeDisplayMode - the device is lost: try again once BeginScene has reset it."), 1);
    EXPECT_EQ(Renderer()->GetDevice(), device);
    EXPECT_EQ(renderer_->GetMainWindow(), mainWindow);
    EXPECT_EQ(d3d9ctl::CallCount("CreateDevice"), creations);
    EXPECT_EQ(renderer_->GetWidth(), kWidth);

    d3d9ctl::RestoreDevice();
    Repaint(0);
    ASSERT_TRUE(RunFrame());
    EXPECT_FALSE(Renderer()->IsDeviceLost());
    ExpectBothWindowsDrawn();
}

TEST_F(RendererDeviceTest, AFailedRebuildStepIsLoggedAndRetriedWhileEveryOtherStepStillRuns) {
    CreateWithTwoWindows();
    ITexture* texture = renderer_->CreateUITexture(256, 256);  // a video copy to restore after a reset
    ASSERT_NE(texture, nullptr);
    ASSERT_TRUE(RunFrame());

    // The second window's swap chain cannot be made for the new mode, not even on the retry.
    d3d9ctl::FailCall("CreateAdditionalSwapChain", 1, D3DERR_OUTOFVIDEOMEMORY, 2);
    clock_.Advance(500);
    ASSERT_TRUE(renderer_->ChangeDisplayMode(400, 300, 32, 1, false, true));
    EXPECT_EQ(CountLines(u"render window [AutoWindow1] left without surfaces: CreateAdditionalSwapChain failed. "), 1);
    CRenderTarget* second = Renderer()->FindRenderTarget("AutoWindow1");
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(second->IsReady());
    EXPECT_EQ(renderer_->GetWidth(), 400);
    EXPECT_EQ(renderer_->GetHeight(), 300);
    EXPECT_EQ(g_DisplayStamp, static_cast<std::int32_t>(clock_.Now()));
    EXPECT_EQ(RenderState(Renderer()->GetDevice(), D3DRS_ALPHABLENDENABLE), TRUE);
    Repaint(0);
    renderer_->SetBackgroundColor(0xFFFF0000);
    ASSERT_TRUE(RunFrame());
    EXPECT_EQ(WindowPixel(window_, 399, 299) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(WindowPixel(second_, 5, 5), 0u) << "a window without surfaces is neither drawn nor presented";

    // Lost, and back with too little texture memory for what the renderer had: every
    // BeginScene resets, cannot restore and stays lost, saying so once, until memory returns.
    const std::uint64_t budget = d3d9ctl::TextureMemoryTotal();
    d3d9ctl::LoseDevice();
    RunFrame();
    ASSERT_TRUE(Renderer()->IsDeviceLost());
    d3d9ctl::SetTextureMemory(0, 0);
    d3d9ctl::RestoreDevice();
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_NO_THROW(RunFrame());
        EXPECT_TRUE(Renderer()->IsDeviceLost());
    }
    EXPECT_EQ(CountLinesStartingWith(u"BeginScene - Device restore Failed [out of video memory.]"), 1);
    EXPECT_EQ(CountLines(u"BeginScene - Device Reset Succeed."), 0);
    EXPECT_EQ(CountLinesStartingWith(u"render window [AutoWindow1] left without surfaces"), 1);

    d3d9ctl::SetTextureMemory(0, budget);
    Repaint(0);
    renderer_->SetBackgroundColor(0xFFFF0000);
    ASSERT_TRUE(RunFrame());
    EXPECT_FALSE(Renderer()->IsDeviceLost());
    EXPECT_EQ(CountLines(u"BeginScene - Device Reset Succeed."), 1);
    EXPECT_TRUE(second->IsReady()) << "the reset made the window again";
    ExpectBothWindowsDrawn();
    renderer_->DestroyTexture(texture);
}

TEST_F(RendererDeviceTest, DesktopSizeGetsThePopupStyleAndWindowedIsAModeOfItsOwn) {
    ASSERT_NE(Create(), nullptr);
    ASSERT_TRUE(renderer_->ChangeDisplayMode(1920, 1080, 32, 1, false, true));
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(window_, GWL_STYLE)), 0x90000000u);
    const auto calls = win32::WindowPosCalls(window_);
    ASSERT_FALSE(calls.empty());

    // Back to a smaller size: the saved style returns.
    ASSERT_TRUE(renderer_->ChangeDisplayMode(kWidth, kHeight, 32, 1, false, true));
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(window_, GWL_STYLE)), WS_OVERLAPPEDWINDOW | WS_VISIBLE);

    // Only the windowed flag differs: the switch is made, not just reported.
    ASSERT_TRUE(renderer_->ChangeDisplayMode(640, 480, 32, 1, false, false));
    EXPECT_EQ(d3d9ctl::InspectDevice(Renderer()->GetDevice()).presentParameters.Windowed, FALSE);
    ASSERT_TRUE(renderer_->ChangeDisplayMode(640, 480, 32, 1, false, true));
    EXPECT_EQ(d3d9ctl::InspectDevice(Renderer()->GetDevice()).presentParameters.Windowed, TRUE);
    EXPECT_TRUE(RunFrame());
}

TEST_F(RendererDeviceTest, AFullScreenRendererLosesItsDeviceToFocusAndModeChangesAndRecovers) {
    param_.Windowed = 0;
    param_.Width = 640;
    param_.Height = 480;
    ASSERT_NE(Create(), nullptr);
    renderer_->SetBackgroundColor(0xFFFF0000);
    ASSERT_TRUE(RunFrame());
    EXPECT_EQ(GetForegroundWindow(), window_);

    // Alt+Tab to another window: the frames lose the device and wait; back again, it resets.
    const HWND other = win32::CreateTestWindow(u"other", 0, 0, 32, 32);
    ASSERT_TRUE(SetForegroundWindow(other));
    RunFrame();
    EXPECT_TRUE(Renderer()->IsDeviceLost());
    RunFrame();
    EXPECT_TRUE(Renderer()->IsDeviceLost()) << "no reset while away";
    EXPECT_EQ(d3d9ctl::CallCount("Reset"), 0);
    ASSERT_TRUE(SetForegroundWindow(window_));
    RunFrame();
    EXPECT_FALSE(Renderer()->IsDeviceLost());
    EXPECT_EQ(d3d9ctl::CallCount("Reset"), 1);

    // Another program changes the display mode: the device is lost, and its reset takes the
    // display back.
    ASSERT_EQ(ChangeDisplayElsewhere(1024, 768), DISP_CHANGE_SUCCESSFUL);
    RunFrame();
    EXPECT_TRUE(Renderer()->IsDeviceLost());
    ASSERT_TRUE(RunFrame());
    EXPECT_FALSE(Renderer()->IsDeviceLost());
    EXPECT_EQ(win32::CurrentDisplayMode().width, 640u);
    EXPECT_EQ(WindowPixel(window_, 5, 5) & 0xFFFFFF, 0xFF0000u);
}

}  // namespace
}  // namespace lumi::test
