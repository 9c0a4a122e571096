// The frame loop over the software device: clearing and presenting every render window,
// the frame clock, statistics, the limiter, the target registry and the dynamic buffers.
#include <utility>
#include <vector>

#include "core/render_window.h"
#include "core/swap_chain.h"
#include "draw/d3d_buffers.h"
#include "draw/d3d_texture.h"
#include "tests/core/renderer_fixture.h"

namespace lumi::test {
namespace {

constexpr std::uint32_t kOpaque = 0xFF000000;

TEST_F(RendererTest, FramesClearAndPresentEveryWindowInItsOwnColour) {
    ASSERT_NE(Create(), nullptr);
    HWND second = win32::CreateTestWindow(u"second", 400, 0, 100, 80);
    ISwapChain* swapChain = renderer_->CreateRenderWindow(second, 100, 80);
    ASSERT_NE(swapChain, nullptr);

    for (int frame = 0; frame < 3; ++frame) {
        const D3DCOLOR mainColour = kOpaque | static_cast<D3DCOLOR>(0x10 * (frame + 1)) << 16;
        const D3DCOLOR extraColour = kOpaque | static_cast<D3DCOLOR>(0x20 * (frame + 1));
        renderer_->SelectRenderWindow(nullptr);
        renderer_->SetBackgroundColor(mainColour);
        renderer_->SelectRenderWindow(swapChain);
        renderer_->SetBackgroundColor(extraColour);
        ASSERT_TRUE(RunFrame());
        EXPECT_EQ(WindowPixel(window_, 0, 0) & 0xFFFFFF, mainColour & 0xFFFFFF) << "frame " << frame;
        EXPECT_EQ(WindowPixel(window_, kWidth - 1, kHeight - 1) & 0xFFFFFF, mainColour & 0xFFFFFF);
        EXPECT_EQ(WindowPixel(second, 99, 79) & 0xFFFFFF, extraColour & 0xFFFFFF) << "frame " << frame;
    }

    // Drawn but not presented: the windows keep the last frame.
    renderer_->SelectRenderWindow(nullptr);
    renderer_->SetBackgroundColor(0xFFFFFFFF);
    const auto presents = d3d9ctl::GetCounters().presents;
    ASSERT_TRUE(RunFrame(false));
    EXPECT_EQ(d3d9ctl::GetCounters().presents, presents);
    EXPECT_NE(WindowPixel(window_, 0, 0) & 0xFFFFFF, 0xFFFFFFu);

    // The extra window is presented before the main window (priority 4 before 255).
    d3d9ctl::SetCallLogEnabled(true);
    d3d9ctl::ClearCallLog();
    ASSERT_TRUE(RunFrame());
    std::vector<std::string> presentOrder;
    for (const auto& call : d3d9ctl::CallLog())
        if (call.method == "Present") presentOrder.push_back(call.args);
    ASSERT_EQ(presentOrder.size(), 2u);
    EXPECT_EQ(presentOrder[0], "ptr, ptr, ptr, null, 0");  // the extra window's swap chain
    EXPECT_EQ(presentOrder[1], "null, null, null, null");  // the device: main window last
}

TEST_F(RendererTest, DestroyingTheCurrentWindowFallsBackToTheMainWindow) {
    ASSERT_NE(Create(), nullptr);
    HWND second = win32::CreateTestWindow(u"second", 400, 0, 64, 64);
    ISwapChain* first = renderer_->CreateRenderWindow(second, 64, 64);
    ISwapChain* other = renderer_->CreateRenderWindow(second, 32, 32);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_NE(Renderer()->FindRenderTarget("AutoWindow1"), nullptr);
    EXPECT_NE(Renderer()->FindRenderTarget("AutoWindow2"), nullptr);

    renderer_->SelectRenderWindow(first);
    renderer_->DestroyRenderWindow(first);
    EXPECT_EQ(Renderer()->FindRenderTarget("AutoWindow1"), nullptr);
    EXPECT_EQ(Renderer()->GetCurrentRenderTarget(), static_cast<CRenderTarget*>(Renderer()->GetMainRenderWindow()));
    // A handle the renderer no longer knows is ignored, as are null and unknown windows.
    renderer_->DestroyRenderWindow(first);
    renderer_->DestroyRenderWindow(nullptr);
    EXPECT_EQ(renderer_->SelectRenderWindow(first), renderer_->GetMainWindow());
    EXPECT_EQ(renderer_->CreateRenderWindow(nullptr, 64, 64), nullptr);
    EXPECT_EQ(renderer_->CreateRenderWindow(second, 0, 64), nullptr);
    EXPECT_TRUE(RunFrame());
    EXPECT_NE(Renderer()->FindRenderTarget("AutoWindow2"), nullptr);
}

TEST_F(RendererTest, RegistryRefusesDuplicateNamesAndRemovesByIdentity) {
    ASSERT_NE(Create(), nullptr);
    HWND second = win32::CreateTestWindow(u"second", 400, 0, 32, 32);
    auto* duplicate = new CD3DRenderWindow(second, Renderer(), true);
    duplicate->Create("MainRenderWindow", 32, 32, false);
    EXPECT_FALSE(Renderer()->RegisterRenderTarget(duplicate));
    // Going away, the refused window must not take the main window's entry with it.
    delete duplicate;
    EXPECT_EQ(Renderer()->FindRenderTarget("MainRenderWindow"),
              static_cast<CRenderTarget*>(Renderer()->GetMainRenderWindow()));
    EXPECT_TRUE(RunFrame());
}

TEST_F(RendererTest, FrameClockTicksOncePerFrame) {
    ASSERT_NE(Create(), nullptr);
    clock_.Set(20000);
    renderer_->BeginScene();  // the host left out OnFrameBegin: the tick runs it
    EXPECT_EQ(g_FrameTimeMs, 20000u);
    EXPECT_EQ(g_FrameDelta, 0.0f);
    clock_.Advance(7);
    renderer_->TickFrame();  // the same frame: nothing moves
    EXPECT_EQ(g_FrameTimeMs, 20000u);
    renderer_->EndScene(true);
    renderer_->OnFrameEnd();
    EXPECT_FALSE(g_FrameTicked);

    clock_.Advance(33);
    RunFrame();
    EXPECT_EQ(g_FrameTimeMs, 20040u);
    EXPECT_FLOAT_EQ(g_FrameDelta, 0.040f);
    EXPECT_FLOAT_EQ(g_FrameTime, 20.04f);

    // After the clock wraps the delta is still the real one.
    ResetFrameClock();
    clock_.Set(0xFFFFFFF0u);
    RunFrame();
    clock_.Set(0x10);
    RunFrame();
    EXPECT_FLOAT_EQ(g_FrameDelta, 0.032f);
}

TEST_F(RendererTest, MismatchedFrameCallsAreFatal) {
    ASSERT_NE(Create(), nullptr);
    try {
        renderer_->OnFrameEnd();
        FAIL() << "OnFrameEnd without OnFrameBegin";
    } catch (const tarnel::FatalError& error) {
        EXPECT_STREQ(error.what(), "IRenderer::OnFrameEnd 不匹配。");
    }
    renderer_->OnFrameBegin();
    try {
        renderer_->OnFrameBegin();
        FAIL() << "OnFrameBegin twice";
    } catch (const tarnel::FatalError& error) {
        EXPECT_STREQ(error.what(), "IRenderer::OnFrameBegin 不匹配。");
    }
    renderer_->OnFrameEnd();
}

TEST_F(RendererTest, StatisticsSampleEverySecond) {
    ASSERT_NE(Create(), nullptr);  // the first sample starts at construction, 5000 ms
    for (const std::uint32_t at : {5100u, 5200u, 5300u, 5400u, 5500u, 5600u, 5700u, 5800u, 5999u}) {
        clock_.Set(at);
        RunFrame();
    }
    EXPECT_EQ(renderer_->GetFPS(), 0.0f);  // 999 ms are not a sample
    clock_.Set(6000);
    RunFrame();
    EXPECT_FLOAT_EQ(renderer_->GetFPS(), 10.0f);
    STRU_RENDER_STATS* stats = renderer_->GetStatistics();
    EXPECT_FLOAT_EQ(stats->MinFps, 10.0f);
    EXPECT_FLOAT_EQ(stats->MaxFps, 10.0f);

    for (std::uint32_t at = 6050; at <= 7000; at += 50) {
        clock_.Set(at);
        RunFrame();
    }
    EXPECT_FLOAT_EQ(renderer_->GetFPS(), 20.0f);
    EXPECT_FLOAT_EQ(stats->MinFps, 10.0f);
    EXPECT_FLOAT_EQ(stats->MaxFps, 20.0f);

    Release();
    EXPECT_TRUE(LogHasInOrder({u"Frame Count : 30", u"Running Time : 2000(ms)", u"FPS : 14.992504"}));
}

TEST_F(RendererTest, DrawCallsCountTheHostsSubmissionsAndBatchesTheDeviceDraws) {
    ASSERT_NE(Create(), nullptr);
    renderer_->OnFrameBegin();
    renderer_->BeginScene();
    for (int i = 0; i < 5; ++i) renderer_->DrawRect(ScratchCommand(), i * 10, 0, i * 10 + 5, 5, 0xFFFF0000, true);
    renderer_->DrawRect(ScratchCommand(), 0, 10, 5, 15, 0x80FF0000, true);
    ASSERT_TRUE(renderer_->EndScene(true));
    renderer_->OnFrameEnd();
    const STRU_RENDER_STATS* stats = renderer_->GetStatistics();
    EXPECT_EQ(stats->DrawCalls, 6) << "submissions";
    EXPECT_EQ(stats->Batches, 2) << "one draw for the opaque rectangles, one for the translucent one";
    RunFrame();
    EXPECT_EQ(stats->DrawCalls, 0);
    EXPECT_EQ(stats->Batches, 0);
}

TEST_F(RendererTest, LimiterSleepsOnlyWithVsyncAfterShortFramesAndAnInactiveRendererEveryFrame) {
    struct Case {
        const char* what;
        std::int32_t vsync;
        bool active;
        std::vector<DWORD> afterLongFrame;  // 50 ms
        std::vector<DWORD> afterShortFrame;  // 2 ms
    };
    const Case cases[] = {
        {"vsync", 1, true, {}, {10}}, {"no vsync", 0, true, {}, {}}, {"inactive", 0, false, {25}, {25}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        param_.Vsync = c.vsync;
        ASSERT_NE(Create(), nullptr);
        renderer_->SetActive(c.active);
        RunFrame();
        for (const auto& [advance, expected] : {std::pair{50u, &c.afterLongFrame}, std::pair{2u, &c.afterShortFrame}}) {
            clock_.Advance(advance);
            sleeps_.Clear();
            RunFrame();
            EXPECT_EQ(sleeps_.Sleeps(), *expected) << "after a frame of " << advance << " ms";
        }
        Release();
        ResetFrameClock();
    }
}

TEST_F(RendererTest, LimiterFollowsTheVsyncOfTheLastSuccessfulModeChange) {
    for (const std::int32_t madeWith : {0, 1}) {
        SCOPED_TRACE(madeWith ? "turned off" : "turned on");
        param_.Vsync = madeWith;
        ASSERT_NE(Create(), nullptr);
        RunFrame();
        clock_.Advance(50);
        RunFrame();  // long: the next frame's time is its own, whatever this one slept
        const bool vsync = madeWith == 0;
        ASSERT_TRUE(renderer_->ChangeDisplayMode(kWidth, kHeight, 32, 1, vsync, true));
        clock_.Advance(2);
        sleeps_.Clear();
        RunFrame();
        EXPECT_EQ(sleeps_.Sleeps(), vsync ? std::vector<DWORD>{10} : std::vector<DWORD>{});
        Release();
        ResetFrameClock();
    }
}

TEST_F(RendererTest, DynamicBuffersGrowToTheNeedAndRetryOnlyAfterEviction) {
    ASSERT_NE(Create(), nullptr);
    CLumiscriber* renderer = Renderer();
    EXPECT_TRUE(renderer->GrowDynamicBuffers(0, 5000));  // no vertices: nothing made
    EXPECT_FALSE(renderer->GetIndexBuffer()->IsCreated());

    ASSERT_TRUE(renderer->GrowDynamicBuffers(1000, 100));
    EXPECT_EQ(renderer->GetVertexBuffer()->GetSize(), 4000u);
    EXPECT_EQ(renderer->GetIndexBuffer()->GetSize(), 400u);
    ASSERT_TRUE(renderer->GrowDynamicBuffers(2000, 100));  // exactly half: kept
    EXPECT_EQ(renderer->GetVertexBuffer()->GetSize(), 4000u);
    ASSERT_TRUE(renderer->GrowDynamicBuffers(2001, 101));  // past half and a quarter
    EXPECT_EQ(renderer->GetVertexBuffer()->GetSize(), 8004u);
    EXPECT_EQ(renderer->GetIndexBuffer()->GetSize(), 404u);

    // Out of video memory with no idle texture to evict: no retry, nothing drawn.
    d3d9ctl::FailCall("CreateVertexBuffer", 1, D3DERR_OUTOFVIDEOMEMORY);
    const int before = d3d9ctl::CallCount("CreateVertexBuffer");
    EXPECT_FALSE(renderer->GrowDynamicBuffers(9000, 0));
    EXPECT_EQ(d3d9ctl::CallCount("CreateVertexBuffer"), before + 1);
    EXPECT_FALSE(renderer->GetVertexBuffer()->IsCreated());
    EXPECT_TRUE(renderer->GrowDynamicBuffers(9000, 0));
    EXPECT_EQ(renderer->GetVertexBuffer()->GetSize(), 36000u);

    // With an idle texture the idle textures give back their video copies and creation is
    // tried once more.
    auto* idle = static_cast<CD3DTexture*>(renderer_->CreateTexture(u"tex/idle.png"));
    ASSERT_NE(idle, nullptr);
    idle->AddRef();
    idle->Release();
    d3d9ctl::FailCall("CreateVertexBuffer", 1, D3DERR_OUTOFVIDEOMEMORY);
    const int retried = d3d9ctl::CallCount("CreateVertexBuffer");
    EXPECT_TRUE(renderer->GrowDynamicBuffers(20000, 0));
    EXPECT_EQ(d3d9ctl::CallCount("CreateVertexBuffer"), retried + 2) << "one failure, one retry";
    EXPECT_EQ(renderer->GetVertexBuffer()->GetSize(), 80000u);
}

}  // namespace
}  // namespace lumi::test
