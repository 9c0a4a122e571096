// The legacy renderer object: construction, its frame loop (every BeginScene a frame of its
// own), the immediate clear, the frame commands, the buffers, and device loss and reset with
// the software device's real Reset rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/exception.h"
#include "core/frame_clock.h"
#include "draw/d3d_buffers.h"
#include "draw/d3d_texture.h"
#include "draw/tex_mgr.h"
#include "legacy/clip_scale.h"
#include "tests/legacy/legacy_renderer_fixture.h"

namespace lumi::test {
namespace {

using LegacyFrameLoop = LegacyRendererTest;

TEST_F(LegacyFrameLoop, ConstructionHasNoWindowOfItsOwnAndClearsTheDeviceOnce) {
    const auto clearsBefore = d3d9ctl::GetCounters().clears;
    ASSERT_NE(Create(), nullptr);
    EXPECT_TRUE(LogHasInOrder({u"TexMgr creating...", u"FontTexMgr creating...", u"Direct3D Renderer Construct success"}));
    EXPECT_FALSE(LogContains(u"MainRenderWindow"));
    EXPECT_EQ(d3d9ctl::GetCounters().clears, clearsBefore + 1);
    EXPECT_EQ(g_ClipWidth, kWidth);
    EXPECT_EQ(g_ClipHeight, kHeight);
    EXPECT_EQ(Renderer()->GetFrameSubmissions(), 0u);
    Release();

    // A size of 0 leaves no clip scale to draw with: the factory refuses.
    param_.Height = 0;
    EXPECT_EQ(Create(), nullptr);
}

TEST_F(LegacyFrameLoop, EveryBeginSceneIsAFrameOfItsOwn) {
    ASSERT_NE(Create(), nullptr);
    renderer_->BeginScene();
    EXPECT_EQ(g_FrameTimeMs, clock_.Now());
    EXPECT_EQ(g_FrameDelta, 0.0f);
    // No OnFrameEnd between them: the clock moves all the same.
    clock_.Advance(40);
    renderer_->BeginScene();
    EXPECT_EQ(g_FrameTimeMs, clock_.Now());
    EXPECT_FLOAT_EQ(g_FrameDelta, 0.04f);

    // OnFrameBegin runs once until OnFrameEnd: the draw calls of the frame are counted from it.
    renderer_->DrawReserved(0, 0, 0, 0, 0, 0, 0, 0);
    renderer_->BeginScene();
    EXPECT_EQ(renderer_->GetStatistics()->DrawCalls, 1) << "no new OnFrameBegin inside the frame";
    renderer_->OnFrameEnd();
    renderer_->OnFrameEnd();  // twice is allowed
    renderer_->BeginScene();
    EXPECT_EQ(renderer_->GetStatistics()->DrawCalls, 0) << "BeginScene began a frame again";
    EXPECT_TRUE(renderer_->EndScene(true));
}

TEST_F(LegacyFrameLoop, UnpairedBeginAndEndScenesDrawWhatWasQueued) {
    ASSERT_NE(Create(), nullptr);
    EXPECT_TRUE(renderer_->EndScene(true)) << "an EndScene without BeginScene draws an empty frame";
    renderer_->SetBackgroundColor(0xFF000000u);
    // Queued outside any BeginScene: the next EndScene draws it, and the frame's start in
    // between drops the vector command's texture but not the draw.
    ITexture* texture = FilledTexture(4, 4, 0xFF00FF00u);
    ASSERT_NE(texture, nullptr);
    const RECT whole{0, 0, 4, 4};
    const RECT at{20, 20, 24, 24};
    renderer_->DrawTexture(texture, &at, &whole, 0xFFFFFFFFu, 0);
    renderer_->DrawRect(ScratchCommand(), 0, 0, 8, 8, 0xFFFF0000u, true);
    renderer_->BeginScene();
    renderer_->BeginScene();
    renderer_->DestroyTexture(texture);
    ASSERT_TRUE(renderer_->EndScene(true));
    ASSERT_TRUE(renderer_->EndScene(true));
    EXPECT_EQ(Pixel(4, 4), 0xFF0000u);
    EXPECT_EQ(Pixel(21, 21), 0x00FF00u);
    Release();
    EXPECT_FALSE(LogContains(u"can not restore rendertarget")) << "no target was ever set aside";
}

TEST_F(LegacyFrameLoop, SetBackgroundColorClearsAtOnceAndFramesDoNotClear) {
    ASSERT_NE(Create(), nullptr);
    renderer_->BeginScene();
    const auto clears = d3d9ctl::GetCounters().clears;
    renderer_->SetBackgroundColor(0xFF204060u);
    EXPECT_EQ(d3d9ctl::GetCounters().clears, clears + 1);
    EXPECT_EQ(CurrentTargetPixel(5, 5), 0xFF204060u) << "before EndScene";
    ASSERT_TRUE(renderer_->EndScene(true));
    EXPECT_EQ(Pixel(kWidth - 1, kHeight - 1), 0x204060u);

    // A frame without SetBackgroundColor keeps what the last one drew.
    LegacyFrame([&] { renderer_->DrawRect(ScratchCommand(), 10, 10, 20, 20, 0xFFFFFFFFu, true); });
    LegacyFrame([] {});
    EXPECT_EQ(Pixel(15, 15), 0xFFFFFFu);
    EXPECT_EQ(Pixel(25, 25), 0x204060u);

    const auto presents = d3d9ctl::GetCounters().presents;
    LegacyFrame([] {}, false);
    EXPECT_EQ(d3d9ctl::GetCounters().presents, presents) << "EndScene(false) presents nothing";
}

TEST_F(LegacyFrameLoop, TheRingsHandTheirCommandsOutInTurnAndNeverTwiceInAFrame) {
    ASSERT_NE(Create(), nullptr);
    const frame_commands_t& commands = Renderer()->GetFrameCommands();
    ASSERT_EQ(commands.RingSize(kDrawCmdPoint), frame_commands_t::kRingCommands);
    std::vector<STRU_DRAW_COMMAND_BASE*> taken;
    LegacyFrame([&] {
        renderer_->SetBackgroundColor(0xFF000000u);
        taken.push_back(renderer_->DrawPoint(ScratchCommand(), 1, 1, 0xFFFFFFFFu));
        taken.push_back(renderer_->DrawPoint(ScratchCommand(), 3, 1, 0xFFFFFFFFu));
    });
    // Each point lights the pixel up and left of its coordinates.
    EXPECT_EQ(Pixel(0, 0), 0xFFFFFFu);
    EXPECT_EQ(Pixel(2, 0), 0xFFFFFFu);
    ASSERT_NE(taken[0], nullptr);
    EXPECT_NE(taken[0], taken[1]);
    EXPECT_EQ(renderer_->GetPrimitiveType(taken[0]), kDrawCmdPoint);
    // The renderer's own command stays its own.
    renderer_->ReleasePrimitive(taken[0]);
    EXPECT_TRUE(commands.Holds(taken[0]));

    // The next frame goes on round the ring: the two used last wait at its back.
    renderer_->BeginScene();
    STRU_DRAW_COMMAND_BASE* next = renderer_->DrawPoint(ScratchCommand(), 1, 1, 0xFFFFFFFFu);
    EXPECT_NE(next, taken[0]);
    EXPECT_NE(next, taken[1]);
    // A frame wanting more than the ring holds gets fresh commands; the ring keeps them.
    for (std::size_t i = 1; i <= frame_commands_t::kRingCommands; ++i)
        renderer_->DrawPoint(ScratchCommand(), 3, 1, 0xFFFFFFFFu);
    EXPECT_EQ(commands.RingSize(kDrawCmdPoint), frame_commands_t::kRingCommands + 1);
    EXPECT_EQ(renderer_->DrawPoint(renderer_->CreatePrimitive(kDrawCmdLine), 1, 1, 0), nullptr) << "wrong type";
    ASSERT_TRUE(renderer_->EndScene(false));
}

TEST_F(LegacyFrameLoop, DrawTextureTakesTheVectorsCommandsAndTheFrameDropsTheirTextures) {
    ASSERT_NE(Create(), nullptr);
    ITexture* texture = FilledTexture(8, 8, 0xFF00FF00u);
    ASSERT_NE(texture, nullptr);
    auto* d3dTexture = static_cast<CD3DTexture*>(texture);
    const frame_commands_t& commands = Renderer()->GetFrameCommands();
    EXPECT_EQ(commands.TexturedCapacity(), frame_commands_t::kReservedTextured);
    const RECT source{0, 0, 8, 8};
    const RECT destination{30, 30, 38, 38};
    LegacyFrame([&] {
        for (int i = 0; i < 3; ++i) renderer_->DrawTexture(texture, &destination, &source, 0xFFFFFFFFu, 0);
        EXPECT_EQ(commands.TexturedUsed(), 3u);
        EXPECT_GE(d3dTexture->GetRefCount(), 3);
    });
    EXPECT_EQ(Pixel(33, 33), 0x00FF00u);
    renderer_->BeginScene();
    EXPECT_EQ(commands.TexturedUsed(), 0u);
    EXPECT_EQ(d3dTexture->GetRefCount(), 0) << "the frame's commands let the texture go";
    ASSERT_TRUE(renderer_->EndScene(false));
    renderer_->DestroyTexture(texture);
}

TEST_F(LegacyFrameLoop, BuffersGrowToThreeTimesTheNeedOnceItPassesAThird) {
    ASSERT_NE(Create(), nullptr);
    LegacyFrame([] {});
    EXPECT_EQ(Renderer()->GetVertexBuffer()->GetSize(), 0u) << "no need, no buffer";
    constexpr std::uint32_t kRectBytes = 4 * 24;
    constexpr std::uint32_t kRectIndexBytes = 6 * 2;
    auto rects = [&](int count) {
        LegacyFrame([&] {
            for (int i = 0; i < count; ++i) renderer_->DrawRect(ScratchCommand(), i, 0, i + 1, 1, 0xFFFFFFFFu, true);
        });
    };
    rects(10);
    EXPECT_EQ(Renderer()->GetVertexBuffer()->GetSize(), 3 * 10 * kRectBytes);
    EXPECT_EQ(Renderer()->GetIndexBuffer()->GetSize(), 3 * 10 * kRectIndexBytes);
    rects(10);  // exactly a third of the buffer: kept
    rects(5);
    EXPECT_EQ(Renderer()->GetVertexBuffer()->GetSize(), 3 * 10 * kRectBytes);
    rects(11);
    EXPECT_EQ(Renderer()->GetVertexBuffer()->GetSize(), 3 * 11 * kRectBytes);
    EXPECT_EQ(Renderer()->GetIndexBuffer()->GetSize(), 3 * 11 * kRectIndexBytes);
}

TEST_F(LegacyFrameLoop, ALostDeviceDrawsNothingUntilItIsResetAndDefaultStatesComeBack) {
    ASSERT_NE(Create(), nullptr);
    LegacyFrame([&] { renderer_->SetBackgroundColor(0xFF000000u); });
    d3d9ctl::LoseDevice();
    for (int i = 0; i < 2; ++i) {
        LegacyFrame([&] { renderer_->DrawRect(ScratchCommand(), 0, 0, 50, 50, 0xFFFF0000u, true); });
    }
    EXPECT_EQ(CountLines(u"BeginScene - Device Lost."), 1);
    EXPECT_TRUE(Renderer()->IsDeviceLost());
    EXPECT_EQ(Renderer()->GetFrameSubmissions(), 0u) << "the sequence starts over at every EndScene";
    EXPECT_EQ(Pixel(10, 10), 0x000000u);

    d3d9ctl::RestoreDevice();
    LegacyFrame([&] { renderer_->DrawRect(ScratchCommand(), 0, 0, 50, 50, 0xFFFF0000u, true); });
    EXPECT_TRUE(LogHasInOrder({u"BeginScene - Device Lost.", u"BeginScene - Device Reset Succeed."}));
    EXPECT_FALSE(Renderer()->IsDeviceLost());
    EXPECT_EQ(Pixel(10, 10), 0xFF0000u);

    // The legacy default sampler states: point magnification, ADDRESSV left as the device has it.
    IDirect3DDevice9* device = Renderer()->GetDevice();
    DWORD value = 0;
    device->GetSamplerState(0, D3DSAMP_MAGFILTER, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTEXF_POINT));
    device->GetSamplerState(0, D3DSAMP_MIPFILTER, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTEXF_POINT));
    device->GetSamplerState(0, D3DSAMP_ADDRESSV, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTADDRESS_WRAP)) << "the device's own default";
}

TEST_F(LegacyFrameLoop, AResetRefusedWhileTheHostHoldsAResourceIsRetriedUntilItSucceeds) {
    ASSERT_NE(Create(), nullptr);
    ISwapChain* swapChain = renderer_->CreateAdditionalSwapChain(64, 48);
    IRenderTarget* target = renderer_->CreateRenderTarget(32, 32);
    ASSERT_NE(swapChain, nullptr);
    ASSERT_NE(target, nullptr);
    renderer_->AttachSwapChain(swapChain);
    // Something of the default pool that only the host can give back.
    IDirect3DTexture9* held = nullptr;
    ASSERT_EQ(Renderer()->GetDevice()->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                                     &held, nullptr),
              D3D_OK);

    d3d9ctl::LoseDevice();
    LegacyFrame([] {}, false);
    d3d9ctl::RestoreDevice();
    LegacyFrame([] {}, false);
    EXPECT_TRUE(LogContains(u"BeginScene - Device reset Failed ["));
    EXPECT_TRUE(Renderer()->IsDeviceLost());

    held->Release();
    d3d9ctl::SetCallLogEnabled(true);
    d3d9ctl::ClearCallLog();
    LegacyFrame([&] { renderer_->DrawRect(ScratchCommand(), 0, 0, 8, 8, 0xFF0000FFu, true); }, false);
    // The render target's new texture is cleared (target and depth) before anything else is drawn.
    const std::vector<d3d9ctl::CallRecord> calls = d3d9ctl::CallLog();
    const auto made = std::find_if(calls.begin(), calls.end(), [](const d3d9ctl::CallRecord& call) {
        return call.method == "CreateTexture" && call.args.starts_with("32, 32, 1, 1,");
    });
    ASSERT_NE(made, calls.end());
    EXPECT_NE(std::find_if(made, calls.end(),
                           [](const d3d9ctl::CallRecord& call) {
                               return call.method == "Clear" && call.args == "0, null, 3, 0, 1, 0";
                           }),
              calls.end());
    EXPECT_FALSE(Renderer()->IsDeviceLost());
    EXPECT_TRUE(LogContains(u"BeginScene - Device Reset Succeed."));
    // The swap chain came back attached, the render target with its size and no pixels.
    EXPECT_EQ(Renderer()->GetAttachedSwapChain(), swapChain);
    EXPECT_EQ(CurrentTargetPixel(4, 4), 0xFF0000FFu);
    EXPECT_EQ(target->GetWidth(), 32);
    EXPECT_EQ(TargetPixel(target, 5, 5), 0u);
    renderer_->AttachSwapChain(nullptr);
}

TEST_F(LegacyFrameLoop, TooLittleTextureMemoryAfterAResetKeepsTheRendererLostUntilItReturns) {
    ASSERT_NE(Create(), nullptr);
    ITexture* texture = FilledTexture(256, 256, 0xFF00FF00u);
    ASSERT_NE(texture, nullptr);
    const RECT source{0, 0, 256, 256};
    const RECT destination{0, 0, 50, 50};
    LegacyFrame([&] { renderer_->DrawTexture(texture, &destination, &source, 0xFFFFFFFFu, 0); });
    ASSERT_EQ(Pixel(10, 10), 0x00FF00u);
    const std::uint64_t budget = d3d9ctl::TextureMemoryTotal();

    d3d9ctl::LoseDevice();
    LegacyFrame([] {});
    ASSERT_TRUE(Renderer()->IsDeviceLost());
    d3d9ctl::SetTextureMemory(0, 0);
    d3d9ctl::RestoreDevice();
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_NO_THROW(LegacyFrame([] {}));
        EXPECT_TRUE(Renderer()->IsDeviceLost());
    }
    EXPECT_EQ(CountLinesStartingWith(u"BeginScene - Device restore Failed [out of video memory.]"), 1);
    EXPECT_FALSE(LogContains(u"BeginScene - Device Reset Succeed."));

    d3d9ctl::SetTextureMemory(0, budget);
    LegacyFrame([&] { renderer_->DrawTexture(texture, &destination, &source, 0xFFFFFFFFu, 0); });
    EXPECT_FALSE(Renderer()->IsDeviceLost());
    EXPECT_EQ(CountLines(u"BeginScene - Device Reset Succeed."), 1);
    EXPECT_EQ(Pixel(10, 10), 0x00FF00u);
    renderer_->DestroyTexture(texture);
}

TEST_F(LegacyFrameLoop, TheRendererOnlySlots) {
    ASSERT_NE(Create(), nullptr);
    CLumiscriber* renderer = Renderer();
    renderer->SetSyncLoading(true);
    EXPECT_TRUE(renderer->IsSyncLoading());
    renderer->OnLostDevice();  // does nothing
    EXPECT_FALSE(renderer->IsDeviceLost());
    renderer_->BeginScene();
    renderer_->DrawPoint(ScratchCommand(), 1, 1, 0xFFFFFFFFu);
    renderer_->DrawPoint(ScratchCommand(), 2, 1, 0xFFFFFFFFu);
    EXPECT_EQ(renderer->GetFrameSubmissions(), 2u);
    ASSERT_TRUE(renderer_->EndScene(false));
    EXPECT_EQ(renderer->GetTexturesInUse(), 0);
    STRU_DRAW_COMMAND_BASE* sprite = renderer_->CreatePrimitive(kDrawCmdTexturedRect);
    ASSERT_TRUE(renderer_->SetTexture(sprite, u"missing.png", false));
    EXPECT_EQ(renderer->GetTexturesInUse(), 1) << "the command holds the file's texture";
    renderer_->ReleasePrimitive(sprite);
    // A reset the host asks for while nothing is lost.
    renderer->ResetDevice();
    EXPECT_TRUE(LogHasInOrder({u"BeginScene - DeviceNoReset.", u"BeginScene - Device Reset Succeed."}));
}

TEST_F(LegacyFrameLoop, AFileClaimingMoreThanTheDeviceTakesIsRefusedOnceWithItsReason) {
    ASSERT_NE(Create(), nullptr);
    // An 18-byte TGA header of 16000 x 16000 grey pixels.
    const unsigned char header[18] = {0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x3E, 0x80, 0x3E, 8, 0};
    FILE* file = std::fopen("huge.tga", "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(header, 1, sizeof(header), file);
    std::fclose(file);
    STRU_DRAW_COMMAND_BASE* sprite = renderer_->CreatePrimitive(kDrawCmdTexturedRect);
    ASSERT_TRUE(renderer_->SetTexture(sprite, u"huge.tga", true));
    for (int frame = 0; frame < 4; ++frame) {
        // The loading threads end the load before the next frame takes it.
        Renderer()->GetTexMgr()->WaitForResourceLoader();
        LegacyFrame([&] { renderer_->DrawTexturePrimitiveEx(sprite, 0, 0, 0xFFFFFFFFu, nullptr, nullptr); });
    }
    EXPECT_EQ(CountLines(u"invalid texture file.[HUGE.TGA] state=4"), 1);
    EXPECT_EQ(CountLines(u"CTexMgr: texture load failed.[HUGE.TGA] image 16000x16000 larger than the largest "
                         u"texture 4096x4096"),
              1);
    renderer_->ReleasePrimitive(sprite);
}

}  // namespace
}  // namespace lumi::test
