// The renderer's drawing operations through IRenderer on the software device: what lands on
// the window, the scratch commands of the frame pools, host commands and their release, and
// bad input.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/frame_pool.h"
#include "draw/d3d_texture.h"
#include "draw/draw_commands.h"
#include "draw/tex_mgr.h"
#include "tests/core/renderer_fixture.h"

namespace lumi::test {
namespace {

constexpr D3DCOLOR kRed = 0xFFFF0000;
constexpr D3DCOLOR kGreen = 0xFF00FF00;
constexpr D3DCOLOR kBlue = 0xFF0000FF;
constexpr D3DCOLOR kYellow = 0xFFFFFF00;
constexpr D3DCOLOR kCyan = 0xFF00FFFF;
constexpr std::uint32_t kBlack = 0x000000;

// Four texels a row: red, green, blue, white; the rows shift by one.
std::vector<std::uint32_t> Checker() {
    const std::uint32_t colours[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    std::vector<std::uint32_t> texels;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) texels.push_back(colours[(x + y) % 4]);
    return texels;
}

// Each channel of `rgb` within 2 of `expected`'s.
::testing::AssertionResult Near(std::uint32_t rgb, std::uint32_t expected) {
    for (int shift : {0, 8, 16}) {
        const int got = static_cast<int>(rgb >> shift & 0xFF);
        const int want = static_cast<int>(expected >> shift & 0xFF);
        if (got - want > 2 || want - got > 2)
            return ::testing::AssertionFailure() << "channel at bit " << shift << ": " << got << ", expected " << want;
    }
    return ::testing::AssertionSuccess();
}

class RendererDrawTest : public RendererTest {
protected:
    void SetUp() override {
        RendererTest::SetUp();
        ASSERT_NE(Create(), nullptr);
    }

    // A texture of the renderer's manager whose texels are `texels` (ARGB rows).
    CD3DTexture* MakeTexture(int width, int height, D3DFORMAT format, const std::vector<std::uint32_t>& texels) {
        CD3DTexture* texture = Renderer()->GetTexMgr()->CreateTexture(static_cast<std::uint16_t>(width),
                                                                      static_cast<std::uint16_t>(height), format, 0, true);
        EXPECT_NE(texture, nullptr);
        if (texture != nullptr) {
            EXPECT_TRUE(texture->UpdateRect(texels.data(), width, height, width * 4, 32, 0, 0));
        }
        return texture;
    }

    std::int32_t DrawCalls() { return renderer_->GetStatistics()->DrawCalls; }

    // The renderer again, on a device whose deepest depth format has 16 bits.
    void RecreateWithSixteenBitDepthOnly() {
        Release();
        DestroyAdapterEnum();
        for (D3DFORMAT deep : {D3DFMT_D24S8, D3DFMT_D24X8}) d3d9ctl::SetFormatSupport(0, deep, d3d9ctl::FormatSupport{});
        ASSERT_NE(Create(), nullptr);
    }
};

TEST_F(RendererDrawTest, ShapesCoverExactlyTheirPixels) {
    DrawFrame([&] {
        renderer_->DrawPoint(ScratchCommand(), 5, 6, kRed);
        renderer_->DrawRect(ScratchCommand(), 10, 10, 20, 16, kGreen, true);
        renderer_->DrawRect(ScratchCommand(), 30, 10, 40, 20, kBlue, false);
        renderer_->DrawLine(ScratchCommand(), 50, 5, 60, 5, kYellow);
        renderer_->DrawTriangle(ScratchCommand(), 70, 10, 80, 10, 70, 20, kCyan, true);
    });
    // Points and lines keep the rectangles' half-pixel offset, which puts their vertices on
    // pixel corners. Direct3D 9 draws a point as a one-pixel square, lighting the pixel up
    // and left of the position; a line lights the pixels whose diamonds it leaves: the row
    // above a horizontal line, the column left of a vertical one, never its last pixel.
    EXPECT_EQ(Pixel(4, 5), 0xFF0000u);
    EXPECT_EQ(Count(0xFF0000), 1);
    EXPECT_TRUE(AreaIs(10, 10, 20, 16, 0x00FF00));
    EXPECT_EQ(Count(0x00FF00), 60);
    EXPECT_TRUE(AreaIs(50, 4, 60, 5, 0xFFFF00));
    EXPECT_EQ(Count(0xFFFF00), 10);
    // The outline: rows 9 and 19 over columns 30..39, columns 29 and 39 over rows 10..19.
    EXPECT_TRUE(AreaIs(30, 9, 40, 10, 0x0000FF));
    EXPECT_TRUE(AreaIs(30, 19, 40, 20, 0x0000FF));
    EXPECT_TRUE(AreaIs(29, 10, 30, 20, 0x0000FF));
    EXPECT_TRUE(AreaIs(39, 10, 40, 20, 0x0000FF));
    EXPECT_EQ(Count(0x0000FF), 39);
    // Pixel centres strictly inside the triangle: 1 + 2 + ... + 9 of them.
    EXPECT_TRUE(AreaIs(70, 10, 79, 11, 0x00FFFF));
    EXPECT_TRUE(AreaIs(70, 10, 71, 19, 0x00FFFF));
    EXPECT_EQ(Count(0x00FFFF), 45);
}

TEST_F(RendererDrawTest, LaterSubmissionsLieInFront) {
    DrawFrame([&] {
        // Within one processor, and across processors whose flush order is the other way round.
        renderer_->DrawRect(ScratchCommand(), 10, 10, 30, 30, kRed, true);
        renderer_->DrawRect(ScratchCommand(), 20, 20, 40, 40, kGreen, true);
        renderer_->DrawRect(ScratchCommand(), 50, 10, 70, 30, kRed, true);
        renderer_->DrawPoint(ScratchCommand(), 61, 21, kBlue);  // lights (60, 20)
        renderer_->DrawPoint(ScratchCommand(), 91, 21, kBlue);
        renderer_->DrawRect(ScratchCommand(), 80, 10, 100, 30, kGreen, true);
    });
    EXPECT_EQ(Pixel(15, 15), 0xFF0000u);
    EXPECT_EQ(Pixel(25, 25), 0x00FF00u);
    EXPECT_EQ(Pixel(60, 20), 0x0000FFu);
    EXPECT_EQ(Pixel(90, 20), 0x00FF00u);
}

TEST_F(RendererDrawTest, ScratchCommandsComeFromTheFramePoolsAndAreReusedNextFrame) {
    STRU_DRAW_COMMAND_BASE* first = nullptr;
    DrawFrame([&] {
        first = Renderer()->TakeFrameCommand(kDrawCmdRect);
        renderer_->DrawRect(first, 0, 0, 1, 1, 0x80FFFFFF, true);
        EXPECT_EQ(first->flags, kDrawFlagAlpha);
    });
    // Reused by the next frame's first draw, without the translucent flags of its last use.
    DrawFrame([&] {
        renderer_->DrawRect(ScratchCommand(), 10, 10, 20, 20, kBlue, true);
        EXPECT_EQ(first->flags, kDrawFlagOpaque);
        EXPECT_EQ(Renderer()->GetFramePool(kDrawCmdRect)->GetUsedCount(), 1u);
    });
    EXPECT_EQ(Pixel(15, 15), 0x0000FFu);

    // 1025 scratch points in one frame: 8 slots, then 1024, then 2048.
    const CFramePool* points = Renderer()->GetFramePool(kDrawCmdPoint);
    EXPECT_EQ(points->GetSlotCount(), 8u);
    DrawFrame([&] {
        for (int i = 0; i < 1025; ++i) renderer_->DrawPoint(ScratchCommand(), 10 + i % 300, 100 + i / 300, kGreen);
    });
    EXPECT_EQ(points->GetSlotCount(), 2048u);
    EXPECT_EQ(Count(0x00FF00), 1025);
}

TEST_F(RendererDrawTest, AHostLineKeepsOnlyTheSegmentsOfItsLastDraw) {
    STRU_DRAW_COMMAND_BASE* line = renderer_->CreatePrimitive(kDrawCmdLine);
    const STRU_LINE_SEGMENT three[3] = {{10, 10, 30, 10}, {10, 20, 30, 20}, {10, 30, 30, 30}};
    DrawFrame([&] { renderer_->DrawLines(line, three, 3, kRed); });
    EXPECT_EQ(Count(0xFF0000), 3 * 20);
    DrawFrame([&] { renderer_->DrawLines(line, three + 1, 2, kGreen); });
    EXPECT_EQ(Count(0x00FF00), 2 * 20);
    DrawFrame([&] { renderer_->DrawLine(line, 10, 10, 30, 10, kBlue); });
    EXPECT_EQ(Count(0x0000FF), 20);
    EXPECT_EQ(Count(0x00FF00), 0);
    renderer_->ReleasePrimitive(line);
}

TEST_F(RendererDrawTest, ReleasingAQueuedCommandWaitsForTheFrameEnd) {
    CMemPool& rects = PoolOf<STRU_RECT_COMMAND>();
    STRU_DRAW_COMMAND_BASE* queued = renderer_->CreatePrimitive(kDrawCmdRect);
    STRU_DRAW_COMMAND_BASE* idle = renderer_->CreatePrimitive(kDrawCmdRect);
    STRU_DRAW_COMMAND_BASE* stale = renderer_->CreatePrimitive(kDrawCmdRect);
    DrawFrame([&] {
        renderer_->DrawRect(ScratchCommand(), 0, 0, 5, 5, kGreen, true);
        renderer_->DrawRect(stale, 0, 0, 5, 5, kBlue, true);
    });
    const std::int32_t live = rects.BlocksInUse();

    renderer_->OnFrameBegin();
    renderer_->BeginScene();
    // The stale command's number of the last frame is taken again by a scratch command.
    renderer_->DrawRect(ScratchCommand(), 0, 0, 5, 5, kGreen, true);
    renderer_->DrawRect(ScratchCommand(), 0, 0, 5, 5, kGreen, true);
    renderer_->DrawRect(queued, 10, 10, 20, 20, kRed, true);
    renderer_->ReleasePrimitive(queued);
    renderer_->ReleasePrimitive(queued);  // a second release of the same command changes nothing
    renderer_->ReleasePrimitive(idle);
    renderer_->ReleasePrimitive(stale);
    // One more scratch command; only the queued host command is held back.
    EXPECT_EQ(rects.BlocksInUse(), live + 1 - 2);
    // A new command must not get the held-back block while it is queued.
    STRU_DRAW_COMMAND_BASE* fresh = renderer_->CreatePrimitive(kDrawCmdRect);
    EXPECT_NE(fresh, queued);
    renderer_->DrawRect(fresh, 100, 100, 110, 110, kBlue, true);
    ASSERT_TRUE(renderer_->EndScene(true));
    EXPECT_TRUE(AreaIs(10, 10, 20, 20, 0xFF0000));
    EXPECT_TRUE(AreaIs(100, 100, 110, 110, 0x0000FF));
    renderer_->OnFrameEnd();
    EXPECT_EQ(rects.BlocksInUse(), live + 1 - 3 + 1) << "the queued command went back at the frame end";
    renderer_->ReleasePrimitive(fresh);
    EXPECT_EQ(rects.BlocksInUse(), live + 1 - 3);
}

TEST_F(RendererDrawTest, BadInputDrawsNothingButTheShapesCount) {
    STRU_DRAW_COMMAND_BASE* point = renderer_->CreatePrimitive(kDrawCmdPoint);
    STRU_DRAW_COMMAND_BASE* noTexture = renderer_->CreatePrimitive(kDrawCmdTexturedRect);
    CD3DTexture* unloaded = Renderer()->GetTexMgr()->CreateTexture();
    CD3DTexture* texture = MakeTexture(4, 4, D3DFMT_X8R8G8B8, Checker());
    const STRU_LINE_SEGMENT segment{0, 0, 50, 50};
    const RECT area{0, 0, 50, 50};
    const RECT empty{5, 5, 5, 9};
    DrawFrame([&] {
        const std::int32_t before = DrawCalls();
        // Wrong or missing commands: not drawn, but counted.
        for (STRU_DRAW_COMMAND_BASE* cmd : {static_cast<STRU_DRAW_COMMAND_BASE*>(nullptr), point}) {
            renderer_->DrawRect(cmd, 0, 0, 50, 50, kRed, true);
            renderer_->DrawTriangle(cmd, 0, 0, 50, 0, 0, 50, kRed, true);
            renderer_->DrawLine(cmd, 0, 0, 50, 50, kRed);
        }
        renderer_->DrawPoint(nullptr, 1, 1, kRed);
        renderer_->DrawReserved(1, 2, 3, 4, 5, 6, 7, 8);
        EXPECT_EQ(DrawCalls() - before, 8);
        // Nothing to draw: not even a scratch command is taken.
        renderer_->DrawLines(ScratchCommand(), &segment, -1, kRed);
        renderer_->DrawLines(ScratchCommand(), &segment, 0, kRed);
        renderer_->DrawLines(ScratchCommand(), nullptr, 2, kRed);
        for (STRU_DRAW_COMMAND_BASE* cmd : {static_cast<STRU_DRAW_COMMAND_BASE*>(nullptr), ScratchCommand(), point,
                                            noTexture}) {
            renderer_->DrawTexturePrimitive(cmd, &area, &area, 0, kRed);
            renderer_->DrawTexturePrimitiveAt(cmd, 0, 0, nullptr, 0, kRed);
            renderer_->DrawTexturePrimitiveEx(cmd, 0, 0, kRed, nullptr, nullptr);
        }
        renderer_->DrawTexture(nullptr, &area, &area, kRed, 0);
        renderer_->DrawTexture(unloaded, &area, &area, kRed, 1);
        renderer_->DrawTexture(texture, nullptr, &area, kRed, 1);
        renderer_->DrawTexture(texture, &area, nullptr, kRed, 1);
        renderer_->DrawTexture(texture, &empty, &area, kRed, 1);
        renderer_->DrawTexture(texture, &area, &empty, kRed, 1);
        EXPECT_EQ(renderer_->ClonePrimitive(ScratchCommand()), nullptr);
        EXPECT_EQ(renderer_->GetPrimitiveType(nullptr), -1);
        EXPECT_EQ(renderer_->GetPrimitiveType(ScratchCommand()), -1);
        renderer_->ReleasePrimitive(ScratchCommand());
    });
    EXPECT_EQ(Count(kBlack), kWidth * kHeight);
    EXPECT_EQ(Renderer()->GetFramePool(kDrawCmdLine)->GetUsedCount(), 0u);
    EXPECT_EQ(Renderer()->GetFramePool(kDrawCmdTexturedRect)->GetUsedCount(), 0u);
    renderer_->ReleasePrimitive(point);
    renderer_->ReleasePrimitive(noTexture);
}

TEST_F(RendererDrawTest, AFramePastTheDepthRangeStillDraws) {
    RecreateWithSixteenBitDepthOnly();  // 100,000 submissions fit its depth range
    DrawFrame([&] {
        for (int i = 0; i < 100'010; ++i) renderer_->DrawPoint(ScratchCommand(), 200, 200, kRed);
        renderer_->DrawRect(ScratchCommand(), 10, 10, 20, 20, kGreen, true);
        renderer_->DrawRect(ScratchCommand(), 15, 15, 25, 25, kBlue, true);
    });
    EXPECT_EQ(Pixel(199, 199), 0xFF0000u);
    EXPECT_EQ(Pixel(12, 12), 0x00FF00u);
    EXPECT_EQ(Pixel(22, 22), 0x0000FFu);
}

TEST_F(RendererDrawTest, NeighbouringSubmissionsNeverShareADepth) {
    // Each point is submitted just after the rectangle under it, and the points' processor
    // flushes first: only a depth of its own keeps a point in front.
    EXPECT_EQ(Renderer()->GetDeviceSettings().pp.AutoDepthStencilFormat, D3DFMT_D24S8);
    DrawFrame([&] {
        for (int i = 0; i < 200; ++i) {
            const int x = 4 + (i % 40) * 7;
            const int y = 4 + (i / 40) * 7;
            renderer_->DrawRect(ScratchCommand(), x - 2, y - 2, x + 3, y + 3, kRed, true);
            renderer_->DrawPoint(ScratchCommand(), x, y, kBlue);
        }
    });
    EXPECT_EQ(Count(0x0000FF), 200);

    // A device without a deeper format keeps 16 bits.
    RecreateWithSixteenBitDepthOnly();
    EXPECT_EQ(Renderer()->GetDeviceSettings().pp.AutoDepthStencilFormat, D3DFMT_D16);
}

TEST_F(RendererDrawTest, TexturedRectanglesSampleTheirSourceTexels) {
    CD3DTexture* texture = MakeTexture(4, 4, D3DFMT_X8R8G8B8, Checker());
    ASSERT_NE(texture, nullptr);
    STRU_DRAW_COMMAND_BASE* host = renderer_->CreatePrimitive(kDrawCmdTexturedRect);
    host->texture = texture;
    texture->AddRef();
    const RECT source{1, 1, 3, 3};
    const RECT destination{40, 40, 42, 42};
    const RECT column{3, 0, 4, 4};
    const RECT placed{100, 40, 101, 44};
    DrawFrame([&] {
        renderer_->DrawTexture(texture, &destination, &source, 0xFFFFFFFF, 1);
        EXPECT_EQ(texture->GetRefCount(), 3) << "the host, the scratch command and the frame hold it";
        renderer_->DrawTexturePrimitiveAt(host, 60, 40, nullptr, 0, 0xFFFFFFFF);
        const std::int32_t before = DrawCalls();
        renderer_->DrawTexturePrimitiveEx(host, 80, 40, 0xFFFFFFFF, nullptr, nullptr);
        EXPECT_EQ(DrawCalls() - before, 2);
        renderer_->DrawTexturePrimitive(host, &column, &placed, 0, 0xFFFFFFFF);
    });
    EXPECT_NE(texture->GetCell(), nullptr) << "drawn from its atlas cell";
    // Texels (1, 1) blue, (2, 1) white, (1, 2) white, (2, 2) red.
    EXPECT_EQ(Pixel(40, 40), 0x0000FFu);
    EXPECT_EQ(Pixel(41, 40), 0xFFFFFFu);
    EXPECT_EQ(Pixel(40, 41), 0xFFFFFFu);
    EXPECT_EQ(Pixel(41, 41), 0xFF0000u);
    EXPECT_TRUE(AreaIs(38, 38, 44, 40, kBlack));
    for (int x : {60, 80}) {  // the whole texture at its size
        EXPECT_EQ(Pixel(x, 40), 0xFF0000u);
        EXPECT_EQ(Pixel(x + 3, 43), 0x0000FFu);
        EXPECT_EQ(Pixel(x + 4, 43), kBlack);
        EXPECT_EQ(Pixel(x, 44), kBlack);
    }
    EXPECT_EQ(Pixel(100, 40), 0xFFFFFFu);
    EXPECT_EQ(Pixel(100, 43), 0x0000FFu);

    // The frame pools drop their references when the next frame starts.
    renderer_->BeginScene();
    EXPECT_EQ(texture->GetRefCount(), 1);
    renderer_->EndScene(false);
    renderer_->OnFrameEnd();
    renderer_->ReleasePrimitive(host);
    EXPECT_EQ(texture->GetRefCount(), 0);
}

TEST_F(RendererDrawTest, ShapesDrawnIntoATextureTheLastFrameShowedNeverSampleIt) {
    auto* canvas = static_cast<CD3DTexture*>(renderer_->CreateTexture(32, 32, D3DFMT_A8R8G8B8, 0x200));
    ASSERT_NE(canvas, nullptr);
    IRenderTarget* target = canvas->GetRenderTarget();
    ASSERT_NE(target, nullptr);
    const RECT whole{0, 0, 32, 32};
    const RECT shown{100, 100, 132, 132};
    for (int frame = 0; frame < 3; ++frame) {
        DrawFrame([&] {
            renderer_->SelectRenderTarget(target);
            renderer_->DrawLine(ScratchCommand(), 0, 4, 31, 4, kRed);
            renderer_->DrawTriangle(ScratchCommand(), 0, 24, 8, 24, 0, 31, kBlue, true);
            renderer_->DrawRect(ScratchCommand(), 0, 10, 32, 20, kGreen, true);
            renderer_->SelectRenderTarget(nullptr);
            renderer_->DrawTexture(canvas, &shown, &whole, 0xFFFFFFFF, 1);
        });
        // Direct3D 9's debug runtime reports the same; hardware leaves such draws undefined.
        EXPECT_EQ(d3d9ctl::MisuseReports(), std::vector<std::string>{}) << "frame " << frame;
    }
    EXPECT_EQ(Pixel(110, 103), 0xFF0000u) << "the line of y 4, half a pixel up in clip space";
    EXPECT_EQ(Pixel(110, 115), 0x00FF00u);
    EXPECT_EQ(Pixel(101, 125), 0x0000FFu);
}

TEST_F(RendererDrawTest, TexturedFlagsFollowTheFormatAndTheColour) {
    CD3DTexture* alpha = MakeTexture(4, 4, D3DFMT_A8R8G8B8, Checker());
    CD3DTexture* opaque = MakeTexture(4, 4, D3DFMT_X8R8G8B8, Checker());
    ASSERT_TRUE(alpha != nullptr && opaque != nullptr);
    STRU_DRAW_COMMAND_BASE* cmd = renderer_->CreatePrimitive(kDrawCmdTexturedRect);
    const RECT area{0, 0, 4, 4};
    struct Case {
        CD3DTexture* texture;
        std::int32_t flags;
        D3DCOLOR color;
        std::int32_t expected;
    };
    for (const Case& c : {Case{alpha, 0, 0xFFFFFFFF, 2}, Case{alpha, 1, 0xFFFFFFFF, 1}, Case{opaque, 2, 0xFFFFFFFF, 0},
                          Case{opaque, 0x20002, 0xFFFFFFFF, 0x20000}, Case{opaque, 2, 0x80FFFFFF, 2}}) {
        cmd->texture = c.texture;
        renderer_->DrawTexturePrimitive(cmd, &area, &area, c.flags, c.color);
        EXPECT_EQ(cmd->flags, c.expected) << std::hex << c.flags << " " << c.color;
    }
    // The defaults of the At and Ex forms.
    renderer_->DrawTexturePrimitiveAt(cmd, 0, 0, nullptr, 0, 0xFFFFFFFF);
    EXPECT_EQ(cmd->flags, kDrawFlagOpaque);
    renderer_->DrawTexturePrimitiveEx(cmd, 0, 0, 0x80FFFFFF, nullptr, nullptr);
    EXPECT_EQ(cmd->flags, kDrawFlagAlpha);
    cmd->texture = alpha;
    renderer_->DrawTexturePrimitiveAt(cmd, 0, 0, nullptr, 0, 0xFFFFFFFF);
    EXPECT_EQ(cmd->flags, kDrawFlagAlpha);
    cmd->texture = nullptr;  // this test took no reference
    renderer_->ReleasePrimitive(cmd);
}

TEST_F(RendererDrawTest, AnAnimatedTextureIsDrawnFromItsCurrentFrame) {
    CD3DTexture* texture = Renderer()->GetTexMgr()->CreateTexture(128, 64, D3DFMT_A8R8G8B8, 0, true);
    ASSERT_NE(texture, nullptr);
    texture->AddFrame(tex_frame_t{RECT{64, 0, 128, 64}, 100});
    auto* cmd = static_cast<STRU_RECT_COMMAND*>(renderer_->CreatePrimitive(kDrawCmdTexturedRect));
    cmd->texture = texture;
    const RECT source{0, 0, 100, 64};
    const RECT destination{10, 20, 110, 70};
    renderer_->DrawTexturePrimitive(cmd, &source, &destination, 0, 0xFFFFFFFF);
    EXPECT_EQ(cmd->source.left, 64);
    EXPECT_EQ(cmd->source.right, 128);
    EXPECT_EQ(cmd->source.bottom, 64);
    EXPECT_EQ(cmd->destination.right, 74) << "100 wide scaled by 0.64";
    EXPECT_EQ(cmd->destination.bottom, 70) << "the frame is as high as the source";
    cmd->texture = nullptr;
    renderer_->ReleasePrimitive(cmd);
}

TEST_F(RendererDrawTest, DrawsBeforeTheFramesTickKeepTheirScratchCommands) {
    CD3DTexture* texture = MakeTexture(4, 4, D3DFMT_X8R8G8B8, Checker());
    ASSERT_NE(texture, nullptr);
    const RECT source{0, 0, 4, 4};
    const RECT early{10, 10, 14, 14};
    const RECT late{20, 10, 24, 14};
    DrawFrame([] {});
    renderer_->OnFrameBegin();
    renderer_->DrawTexture(texture, &early, &source, 0xFFFFFFFF, 1);
    renderer_->BeginScene();
    renderer_->DrawTexture(texture, &late, &source, 0xFFFFFFFF, 1);
    EXPECT_EQ(texture->GetRefCount(), 3) << "two scratch commands and the frame";
    ASSERT_TRUE(renderer_->EndScene(true));
    renderer_->OnFrameEnd();
    EXPECT_EQ(Pixel(10, 10), 0xFF0000u);
    EXPECT_EQ(Pixel(20, 10), 0xFF0000u);
    DrawFrame([] {});
    EXPECT_EQ(texture->GetRefCount(), 0);
}

TEST_F(RendererDrawTest, AHostDrawingBeforeEveryTickStillGetsItsScratchCommandsBack) {
    CD3DTexture* texture = MakeTexture(4, 4, D3DFMT_X8R8G8B8, Checker());
    ASSERT_NE(texture, nullptr);
    const RECT source{0, 0, 4, 4};
    const RECT destination{10, 10, 14, 14};
    const CFramePool* textured = Renderer()->GetFramePool(kDrawCmdTexturedRect);
    for (int frame = 0; frame < 3; ++frame) {
        renderer_->OnFrameBegin();
        renderer_->DrawTexture(texture, &destination, &source, 0xFFFFFFFF, 1);
        renderer_->BeginScene();
        ASSERT_TRUE(renderer_->EndScene(true));
        renderer_->OnFrameEnd();
        EXPECT_EQ(Pixel(10, 10), 0xFF0000u) << "frame " << frame;
        EXPECT_EQ(textured->GetUsedCount(), 0u) << "frame " << frame;
        EXPECT_EQ(texture->GetRefCount(), 0) << "idle again after frame " << frame;
    }
}

TEST_F(RendererDrawTest, GreyModeLeavesNothingOnTheHostsCommands) {
    STRU_DRAW_COMMAND_BASE* rect = renderer_->CreatePrimitive(kDrawCmdRect);
    renderer_->SetGreyMode(true);
    DrawFrame([&] { renderer_->DrawRect(rect, 10, 10, 20, 20, kRed, true); });
    EXPECT_EQ(rect->flags, kDrawFlagOpaque);
    renderer_->SetGreyMode(false);
    DrawFrame([&] {
        renderer_->DrawRect(rect, 10, 10, 20, 20, kRed, true);
        renderer_->DrawRect(ScratchCommand(), 15, 15, 25, 25, 0x800000FF, true);
    });
    EXPECT_EQ(rect->flags, kDrawFlagOpaque);
    EXPECT_EQ(Pixel(12, 12), 0xFF0000u);
    EXPECT_TRUE(Near(Pixel(17, 17), 0x7F0080)) << "the rectangle is opaque again, under the translucent one";
    renderer_->ReleasePrimitive(rect);
}

TEST_F(RendererDrawTest, GreyModeLastsWhileItIsOn) {
    ASSERT_TRUE(Renderer()->HasPixelShader11());
    CD3DTexture* texture = MakeTexture(4, 4, D3DFMT_X8R8G8B8, Checker());
    ASSERT_NE(texture, nullptr);
    const RECT source{0, 0, 1, 1};  // red
    const RECT destination{10, 10, 11, 11};
    renderer_->SetGreyMode(true);
    DrawFrame([&] { renderer_->DrawTexture(texture, &destination, &source, 0xFFFFFFFF, 1); });
    const std::uint32_t grey = Pixel(10, 10);
    EXPECT_TRUE(grey != 0 && (grey & 0xFF) == (grey >> 8 & 0xFF) && (grey & 0xFF) == (grey >> 16))
        << std::hex << grey;
    renderer_->SetGreyMode(false);
    DrawFrame([&] { renderer_->DrawTexture(texture, &destination, &source, 0xFFFFFFFF, 1); });
    EXPECT_EQ(Pixel(10, 10), 0xFF0000u) << "the scratch command is not grey any more";
}

TEST_F(RendererDrawTest, TranslucentShapesBlendInSubmissionOrder) {
    DrawFrame([&] {
        renderer_->DrawRect(ScratchCommand(), 10, 10, 30, 30, kRed, true);
        renderer_->DrawRect(ScratchCommand(), 20, 20, 40, 40, 0x800000FF, true);
        renderer_->DrawTriangle(ScratchCommand(), 25, 25, 45, 25, 25, 45, 0x8000FF00, true);
        // Opaque, but later: in front of the translucent shapes drawn after it.
        renderer_->DrawRect(ScratchCommand(), 36, 26, 38, 28, kRed, true);
    });
    EXPECT_TRUE(Near(Pixel(22, 22), 0x7F0080));
    EXPECT_TRUE(Near(Pixel(27, 27), 0x3F8040));
    EXPECT_TRUE(Near(Pixel(30, 30), 0x008040));
    EXPECT_EQ(Pixel(37, 27), 0xFF0000u);
}

}  // namespace
}  // namespace lumi::test
