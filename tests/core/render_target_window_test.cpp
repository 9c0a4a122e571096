// Render windows over the software device: clearing and presenting into the host's windows,
// one scene per viewport, the additional swap chain's life, device loss reported by Present
// or by a viewport's EndScene, and releasing everything so that the device can be reset.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/camera.h"
#include "core/event_log.h"
#include "core/render_window.h"
#include "core/scene_manager.h"
#include "core/swap_chain.h"
#include "core/viewport.h"
#include "tests/core/render_target_test_host.h"
#include "tests/support/utf16_file.h"
#include "tests/support/work_folder.h"

namespace lumi::test {
namespace {

constexpr std::uint32_t kRgb = 0x00FFFFFF;

class RenderWindowTest : public TargetTest {
protected:
    void SetUp() override {
        TargetTest::SetUp();
        scene_.SetHost(&host_);
        camera_ = scene_.CreateCamera("DefaultCamera");
    }

    std::unique_ptr<CD3DRenderWindow> MainWindow() {
        auto window = std::make_unique<CD3DRenderWindow>(window_, &host_, false);
        window->Create("MainRenderWindow", kWidth, kHeight, false);
        return window;
    }

    viewport_t* AddClearingViewport(CRenderTarget& target, std::uint16_t z, float x, float w, float r, float g,
                                    float b) {
        viewport_t* viewport = target.AddViewport(camera_, z, x, 0.0f, w, 1.0f);
        viewport->SetClearFlags(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
        viewport->SetClearColor(r, g, b, 1.0f);
        return viewport;
    }

    // The main window cleared red.
    std::unique_ptr<CD3DRenderWindow> RedMainWindow() {
        auto main = MainWindow();
        AddClearingViewport(*main, 0, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f);
        return main;
    }

    // An additional 32 x 24 window in `extraHandle_`, cleared green.
    std::unique_ptr<CD3DRenderWindow> GreenExtraWindow() {
        extraHandle_ = win32::CreateTestWindow(u"extra", 100, 0, 32, 24);
        auto extra = std::make_unique<CD3DRenderWindow>(extraHandle_, &host_, true);
        extra->Create("AutoWindow1", 32, 24, false);
        AddClearingViewport(*extra, 0, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f);
        return extra;
    }

    // The scene calls of the call log, in order.
    static std::vector<std::string> SceneCalls() {
        std::vector<std::string> calls;
        for (const auto& call : d3d9ctl::CallLog()) {
            if (call.method == "Clear" || call.method == "BeginScene" || call.method == "EndScene" ||
                call.method == "Present") {
                calls.push_back(call.method);
            }
        }
        return calls;
    }

    CSceneManager scene_;
    CCamera* camera_ = nullptr;
    HWND extraHandle_ = nullptr;
};

TEST_F(RenderWindowTest, MainWindowRendersEachViewportInItsOwnSceneThenPresents) {
    auto window = MainWindow();
    EXPECT_TRUE(window->IsReady());
    EXPECT_EQ(window->GetPriority(), kRenderWindowPriority);
    AddClearingViewport(*window, 0, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f);
    viewport_t* right = AddClearingViewport(*window, 1, 0.5f, 0.5f, 0.0f, 0.0f, 1.0f);
    AddClearingViewport(*window, 2, 0.0f, 0.001f, 0.0f, 1.0f, 0.0f);  // no pixels: nothing to clear
    d3d9ctl::ClearCallLog();

    window->Render(true);

    EXPECT_EQ(SceneCalls(), (std::vector<std::string>{"Clear", "BeginScene", "EndScene", "Clear", "BeginScene",
                                                      "EndScene", "Present"}));
    ASSERT_EQ(host_.applied.size(), 3u);
    EXPECT_EQ(host_.applied[1], right);
    EXPECT_EQ(WindowPixel(window_, 0, 0) & kRgb, 0xFF0000u);
    EXPECT_EQ(WindowPixel(window_, 31, 47) & kRgb, 0xFF0000u);
    EXPECT_EQ(WindowPixel(window_, 32, 0) & kRgb, 0x0000FFu);
    EXPECT_EQ(WindowPixel(window_, 63, 47) & kRgb, 0x0000FFu);

    // Render(false) draws but leaves the window as it was.
    window->GetViewport(0)->SetClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    window->Render(false);
    EXPECT_EQ(WindowPixel(window_, 0, 0) & kRgb, 0xFF0000u);
}

TEST_F(RenderWindowTest, AdditionalWindowPresentsIntoItsOwnWindowThroughItsSwapChain) {
    auto main = RedMainWindow();
    auto extra = GreenExtraWindow();

    ASSERT_NE(extra->GetSwapChain(), nullptr);
    EXPECT_EQ(extra->GetSwapChain()->GetWidth(), 32);
    EXPECT_EQ(extra->GetSwapChain()->GetHeight(), 24);
    EXPECT_EQ(d3d9ctl::InspectDevice(host_.device).additionalSwapChains, 1);

    extra->Render(true);
    main->Render(true);
    EXPECT_EQ(WindowPixel(extraHandle_, 0, 0) & kRgb, 0x00FF00u);
    EXPECT_EQ(WindowPixel(extraHandle_, 31, 23) & kRgb, 0x00FF00u);
    EXPECT_EQ(WindowPixel(window_, 10, 10) & kRgb, 0xFF0000u);

    // Released on loss: nothing is presented, the host's handle stays and is reused.
    CD3DSwapChain* handle = extra->GetSwapChain();
    extra->ReleaseSurfaces();
    EXPECT_EQ(d3d9ctl::InspectDevice(host_.device).additionalSwapChains, 0);
    const std::uint64_t presents = d3d9ctl::GetCounters().presents;
    extra->Present(true);
    EXPECT_EQ(handle->Present(nullptr, nullptr, extraHandle_), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d9ctl::GetCounters().presents, presents);
    extra->CreateSurfaces();
    EXPECT_EQ(extra->GetSwapChain(), handle);
    EXPECT_NE(handle->GetChain(), nullptr);
}

TEST_F(RenderWindowTest, SwapChainCreationRetriesOnceAndFailuresLeaveNoSurfaces) {
    extraHandle_ = win32::CreateTestWindow(u"extra", 100, 0, 32, 24);
    d3d9ctl::FailCall("CreateAdditionalSwapChain", 1, D3DERR_OUTOFVIDEOMEMORY);
    CD3DRenderWindow retried(extraHandle_, &host_, true);
    retried.Create("AutoWindow1", 32, 24, false);
    EXPECT_NE(retried.GetBackBufferSurface(), nullptr);
    EXPECT_EQ(d3d9ctl::CallCount("CreateAdditionalSwapChain"), 2);
    retried.ReleaseSurfaces();

    d3d9ctl::FailCall("CreateAdditionalSwapChain", 1, D3DERR_OUTOFVIDEOMEMORY, 2);
    CD3DRenderWindow refused(extraHandle_, &host_, true);
    try {
        refused.Create("AutoWindow2", 32, 24, false);
        FAIL() << "expected the swap chain failure";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "CreateAdditionalSwapChain failed. ");
    }
    EXPECT_EQ(refused.GetBackBufferSurface(), nullptr);
    EXPECT_EQ(refused.GetSwapChain(), nullptr);

    d3d9ctl::FailCall("CreateDepthStencilSurface", 1, D3DERR_OUTOFVIDEOMEMORY);
    try {
        refused.CreateSurfaces();
        FAIL() << "expected the depth failure";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "failed to create depth stencil buffer.");
    }
    EXPECT_EQ(refused.GetBackBufferSurface(), nullptr);
    EXPECT_EQ(d3d9ctl::InspectDevice(host_.device).additionalSwapChains, 0);

    // A window without surfaces must not draw into whatever the device has bound.
    AddClearingViewport(refused, 0, 0.0f, 1.0f, 1.0f, 1.0f, 1.0f);
    d3d9ctl::ClearCallLog();
    refused.Render(true);
    EXPECT_TRUE(SceneCalls().empty());
}

TEST_F(RenderWindowTest, LossReportedByPresentMarksTheRendererLostOnceAndStopsDrawing) {
    auto main = RedMainWindow();
    auto extra = GreenExtraWindow();

    d3d9ctl::FailCall("Present", 1, D3DERR_DEVICELOST);
    EXPECT_NO_THROW(extra->Render(true));
    EXPECT_EQ(host_.lostEntries, 1);
    EXPECT_EQ(extra->GetBackBufferSurface(), nullptr);

    d3d9ctl::ClearCallLog();
    EXPECT_NO_THROW(main->Render(true));
    EXPECT_NO_THROW(extra->Render(true));
    EXPECT_TRUE(SceneCalls().empty());
    EXPECT_EQ(host_.lostEntries, 1);
}

TEST_F(RenderWindowTest, LossInOneViewportsEndSceneEndsTheFrameWithoutException) {
    auto main = MainWindow();
    for (std::uint16_t z = 0; z < 3; ++z) AddClearingViewport(*main, z, z / 3.0f, 1.0f / 3.0f, 1.0f, 1.0f, 1.0f);
    d3d9ctl::ClearCallLog();
    d3d9ctl::FailCall("EndScene", 2, D3DERR_DEVICELOST);

    EXPECT_NO_THROW(main->Render(true));
    EXPECT_EQ(SceneCalls(), (std::vector<std::string>{"Clear", "BeginScene", "EndScene", "Clear", "BeginScene",
                                                      "EndScene"}));
    EXPECT_EQ(host_.lostEntries, 1);

    // A device lost for good: every window's scene reports it, the renderer is told once.
    host_.lost = false;
    host_.lostEntries = 0;
    d3d9ctl::LoseDevice();
    main->Render(true);
    main->Render(true);
    EXPECT_EQ(host_.lostEntries, 1);
}

TEST_F(RenderWindowTest, SceneFailuresOtherThanLossAreLoggedAndRenderingGoesOn) {
    TempWorkFolder folder;
    OpenEventLog(LogOpenMode::kTruncate);
    auto main = MainWindow();
    AddClearingViewport(*main, 0, 0.0f, 0.5f, 1.0f, 1.0f, 1.0f);
    AddClearingViewport(*main, 1, 0.5f, 0.5f, 1.0f, 1.0f, 1.0f);
    d3d9ctl::FailCall("BeginScene", 1, D3DERR_INVALIDCALL);
    d3d9ctl::FailCall("EndScene", 2, D3DERR_DRIVERINTERNALERROR);
    d3d9ctl::ClearCallLog();

    main->Render(true);
    CloseEventLog();

    EXPECT_EQ(CallsOf("BeginScene"), 2);
    EXPECT_EQ(CallsOf("Present"), 1);
    EXPECT_EQ(host_.lostEntries, 0);
    std::vector<std::u16string> messages;
    for (const std::u16string& line : SplitCrLfLines(ReadUtf16LeFile(folder.File("logs/lumiscriber.log")).text)) {
        if (line.size() > 20) messages.push_back(line.substr(20));
    }
    // The first EndScene closes no scene; the second fails on its own.
    EXPECT_EQ(messages, (std::vector<std::u16string>{u"failed BeginScene", u"Failed EndScene.", u"Failed EndScene."}));
}

TEST_F(RenderWindowTest, ReleasedWindowsLetTheDeviceResetAndDrawAgain) {
    auto main = RedMainWindow();
    auto extra = GreenExtraWindow();
    extra->Render(true);

    D3DPRESENT_PARAMETERS pp = host_.settings.pp;
    EXPECT_NE(host_.device->Reset(&pp), D3D_OK) << "the windows still hold surfaces";

    main->ReleaseSurfaces();
    extra->ReleaseSurfaces();
    pp = host_.settings.pp;
    ASSERT_EQ(host_.device->Reset(&pp), D3D_OK);
    main->CreateSurfaces();
    extra->CreateSurfaces();
    extra->GetViewport(0)->SetClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    extra->Render(true);
    main->Render(true);
    EXPECT_EQ(WindowPixel(extraHandle_, 5, 5) & kRgb, 0x0000FFu);
    EXPECT_EQ(WindowPixel(window_, 5, 5) & kRgb, 0xFF0000u);
}

TEST_F(RenderWindowTest, DestroyedWindowsUnregisterThemselvesAndLeaveNothingCurrent) {
    auto extra = GreenExtraWindow();
    scene_.SetCurrentViewport(extra->GetViewport(0));
    CRenderTarget* identity = extra.get();

    scene_.ForgetViewportsOf(identity);
    EXPECT_EQ(scene_.GetCurrentViewport(), nullptr);
    // The device still had the window's surfaces bound: they must not keep its swap chain.
    extra.reset();
    EXPECT_EQ(host_.unregistered, std::vector<CRenderTarget*>{identity});
    EXPECT_EQ(d3d9ctl::InspectDevice(host_.device).additionalSwapChains, 0);
}

}  // namespace
}  // namespace lumi::test
