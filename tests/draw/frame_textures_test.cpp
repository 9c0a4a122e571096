// What a frame draws of its textures, through IRenderer on the software device, whatever the
// host does to them between submitting a draw and the frame's flush: textures going idle,
// destroyed or swapped, pixels written, atlas cells reused, pool textures recycled, video
// memory running out.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/render_target.h"
#include "draw/draw_commands.h"
#include "tests/draw/tex_mgr_fixture.h"

namespace lumi::test {
namespace {

constexpr std::uint32_t kRed = 0xFFFF0000;
constexpr std::uint32_t kGreen = 0xFF00FF00;
constexpr std::uint32_t kBlue = 0xFF0000FF;
constexpr D3DCOLOR kAsIs = 0xFFFFFFFF;
constexpr int kSide = 32;

std::function<std::uint32_t(int, int)> Solid(std::uint32_t color) {
    return [color](int, int) { return color; };
}

class FrameTexturesTest : public TexMgrTest {
protected:
    void TearDown() override {
        for (STRU_DRAW_COMMAND_BASE* cmd : commands_) renderer_->ReleasePrimitive(cmd);
        TexMgrTest::TearDown();
    }

    STRU_DRAW_COMMAND_BASE* Command() {
        commands_.push_back(renderer_->CreatePrimitive(kDrawCmdTexturedRect));
        return commands_.back();
    }

    // A loaded file texture of one colour: BMP files take the opaque format, PNG files the
    // alpha format.
    CD3DTexture* SolidFile(const std::u16string& path, int side, std::uint32_t color, DWORD type = kRasterTypeBmp) {
        WriteImage(path, side, side, type, Solid(color));
        CD3DTexture* texture = mgr_->FindOrCreateTexture(path.c_str(), false);
        EXPECT_TRUE(LoadNow(texture)) << win32::Utf16ToUtf8(path);
        return texture;
    }

    // A host texture of one colour (opaque format, never managed).
    ITexture* SolidTexture(int width, int height, std::uint32_t color) {
        ITexture* texture = renderer_->CreateTexture(width, height, D3DFMT_X8R8G8B8, 0);
        const std::vector<std::uint32_t> texels(static_cast<std::size_t>(width * height), color);
        EXPECT_TRUE(texture->UpdateRect(texels.data(), width, height, width * 4, 32, 0, 0));
        return texture;
    }

    // Draws the whole texture at (x, y) through a command of the test's, texel for texel.
    void DrawAt(ITexture* texture, int x, int y) {
        STRU_DRAW_COMMAND_BASE* cmd = Command();
        renderer_->AttachTexture(cmd, texture, 0);
        renderer_->DrawTexturePrimitiveAt(cmd, x, y, nullptr, 0, kAsIs);
    }

    std::vector<STRU_DRAW_COMMAND_BASE*> commands_;
};

// ---- A texture queued in a frame stays what was queued until the frame's end ----

enum class LetGo { kSetTexture, kAttachTexture, kDestroyTexture };

class QueuedTextureTest : public FrameTexturesTest, public ::testing::WithParamInterface<LetGo> {};

TEST_P(QueuedTextureTest, KeepsItsCellUntilTheFrameEnd) {
    // The first texture of a page takes the cell that a split leaves last; three others take
    // its siblings, so the next 32-texel texture can only have that cell once it is let go.
    CD3DTexture* red = SolidFile(u"tex/red.bmp", kSide, kRed);
    STRU_DRAW_COMMAND_BASE* cmd = Command();
    ASSERT_TRUE(renderer_->SetTexture(cmd, u"tex/red.bmp", true));
    DrawFrame([&] {
        renderer_->DrawTexturePrimitiveAt(cmd, 0, 0, nullptr, 0, kAsIs);
        for (int i = 0; i < 3; ++i) DrawAt(SolidTexture(kSide, kSide, kGreen), 40 + 40 * i, 100);
    });
    ASSERT_NE(red->GetCell(), nullptr);
    SolidFile(u"tex/blue.bmp", kSide, kBlue);
    const std::size_t named = mgr_->NamedCount();

    DrawFrame([&] {
        renderer_->DrawTexturePrimitiveAt(cmd, 0, 0, nullptr, 0, kAsIs);
        switch (GetParam()) {
            case LetGo::kSetTexture:
                renderer_->SetTexture(cmd, u"tex/blue.bmp", true);
                break;
            case LetGo::kAttachTexture:
                renderer_->AttachTexture(cmd, mgr_->FindOrCreateTexture(u"tex/blue.bmp", false), 0);
                break;
            case LetGo::kDestroyTexture:
                renderer_->AttachTexture(cmd, nullptr, 0);
                renderer_->DestroyTexture(red);
                break;
        }
        DrawAt(mgr_->FindOrCreateTexture(u"tex/blue.bmp", false), 200, 0);
    });
    EXPECT_EQ(Pixel(5, 5), kRed & 0xFFFFFF) << "drawn as queued";
    EXPECT_EQ(Pixel(205, 5), kBlue & 0xFFFFFF);
    if (GetParam() == LetGo::kDestroyTexture) {
        EXPECT_EQ(mgr_->NamedCount(), named - 1) << "destroyed at the frame end";
    } else {
        EXPECT_EQ(red->GetRefCount(), 0) << "idle after the frame";
    }
}

INSTANTIATE_TEST_SUITE_P(Frame, QueuedTextureTest,
                         ::testing::Values(LetGo::kSetTexture, LetGo::kAttachTexture, LetGo::kDestroyTexture),
                         [](const ::testing::TestParamInfo<LetGo>& info) {
                             switch (info.param) {
                                 case LetGo::kSetTexture: return "SetTexture";
                                 case LetGo::kAttachTexture: return "AttachTexture";
                                 default: return "DestroyTexture";
                             }
                         });

// ---- Every copy a texture is drawn from shows what the host wrote ----

TEST_F(FrameTexturesTest, HostPixelsReachTheAtlasCellAndTheVideoCopyAlike) {
    ITexture* texture = SolidTexture(kSide, kSide, kRed);
    IRenderTarget* window = renderer_->GetMainWindow();
    // At scale 2 the texture is drawn from its own video copy, at scale 1 from its cell.
    auto drawBoth = [&] {
        window->SetScale(2.0f);
        DrawAt(texture, 100, 0);
        window->SetScale(1.0f);
        DrawAt(texture, 0, 0);
    };
    DrawFrame(drawBoth);
    EXPECT_EQ(Pixel(5, 5), 0xFF0000u);
    EXPECT_EQ(Pixel(205, 5), 0xFF0000u);

    const std::vector<std::uint32_t> green(kSide * kSide, kGreen);
    ASSERT_TRUE(texture->UpdateRect(green.data(), kSide, kSide, kSide * 4, 32, 0, 0));
    DrawFrame(drawBoth);
    EXPECT_EQ(Pixel(5, 5), 0x00FF00u) << "the cell";
    EXPECT_EQ(Pixel(205, 5), 0x00FF00u) << "the video copy";

    // Written after the draws were queued: the flush draws what the texture holds then.
    const std::vector<std::uint32_t> blue(kSide * kSide, kBlue);
    DrawFrame([&] {
        drawBoth();
        ASSERT_TRUE(texture->UpdateRect(blue.data(), kSide, kSide, kSide * 4, 32, 0, 0));
    });
    EXPECT_EQ(Pixel(5, 5), 0x0000FFu);
    EXPECT_EQ(Pixel(205, 5), 0x0000FFu);
}

// ---- An atlas cell shows its own texture's texels only ----

TEST_F(FrameTexturesTest, DrawsThatAreNotTexelForTexelNeverReachAnotherCell) {
    // A red texture among green neighbours on its page, drawn twice its size: filtering at
    // its edges must not pick up the neighbours.
    ITexture* red = SolidTexture(kSide, kSide, kRed);
    DrawFrame([&] {
        DrawAt(red, 0, 0);
        for (int i = 0; i < 3; ++i) DrawAt(SolidTexture(kSide, kSide, kGreen), 40 + 40 * i, 100);
    });
    STRU_DRAW_COMMAND_BASE* cmd = Command();
    renderer_->AttachTexture(cmd, red, 0);
    const RECT whole{0, 0, kSide, kSide};
    const RECT doubled{0, 0, 2 * kSide, 2 * kSide};
    DrawFrame([&] { renderer_->DrawTexturePrimitive(cmd, &whole, &doubled, 1, kAsIs); });
    for (int y = 0; y < 2 * kSide; ++y)
        for (int x = 0; x < 2 * kSide; ++x) ASSERT_EQ(Pixel(x, y), 0xFF0000u) << x << ", " << y;

    // The cell of a destroyed texture goes to a smaller one, drawn with a source larger than
    // itself: the rest of the cell must not show what the first one left there.
    renderer_->AttachTexture(cmd, nullptr, 0);
    renderer_->DestroyTexture(red);
    ITexture* small = SolidTexture(20, 20, kBlue);
    renderer_->AttachTexture(cmd, small, 0);
    DrawFrame([&] {
        DrawAt(small, 100, 0);
        renderer_->DrawTexturePrimitive(cmd, &whole, &whole, 1, kAsIs);
    });
    ASSERT_NE(static_cast<CD3DTexture*>(small)->GetCell(), nullptr);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) ASSERT_EQ(Pixel(x, y), 0x0000FFu) << x << ", " << y;
}

// ---- Padding and video memory ----

TEST_F(FrameTexturesTest, PaddingOfAFileTextureIsClearWhateverThePoolHandsBack) {
    // A 128-texel image leaves its system copy to the pool's bucket when it goes; a 100-texel
    // image padded to 128 gets that copy back.
    CD3DTexture* full = SolidFile(u"tex/full.png", 128, kRed, kRasterTypePng);
    renderer_->DestroyTexture(full);
    WriteImage(u"tex/padded.png", 100, 100, kRasterTypePng, Solid(kGreen));
    STRU_DRAW_COMMAND_BASE* cmd = Command();
    ASSERT_TRUE(renderer_->SetTexture(cmd, u"tex/padded.png", true));
    ASSERT_TRUE(LoadNow(cmd->texture));
    EXPECT_EQ(mgr_->GetTexturePool()->GetHitCount(), 1) << "the recycled copy";
    EXPECT_EQ(renderer_->GetPixelColor(cmd, 99, 99), kGreen);
    EXPECT_EQ(renderer_->GetPixelColor(cmd, 110, 50), 0u);
    EXPECT_EQ(renderer_->GetPixelColor(cmd, 127, 127), 0u);
}

TEST_F(FrameTexturesTest, EvictionGivesVideoMemoryBackSoTheRetrySucceeds) {
    // Drawn at scale 2, file textures take video copies of their own.
    renderer_->GetMainWindow()->SetScale(2.0f);
    SolidFile(u"tex/idle.png", 128, kRed, kRasterTypePng);
    STRU_DRAW_COMMAND_BASE* idle = Command();
    ASSERT_TRUE(renderer_->SetTexture(idle, u"tex/idle.png", true));
    DrawFrame([&] { renderer_->DrawTexturePrimitiveAt(idle, 0, 0, nullptr, 0, kAsIs); });
    ASSERT_TRUE(renderer_->SetTexture(idle, nullptr, false));  // now idle, with its video copy
    SolidFile(u"tex/next.png", 128, kGreen, kRasterTypePng);

    // Room for half a copy: the next one fits only once the idle one has really gone.
    d3d9ctl::SetTextureMemory(0, d3d9ctl::TextureMemoryTotal() - d3d9ctl::TextureMemoryFree() + 128 * 128 * 2);
    STRU_DRAW_COMMAND_BASE* next = Command();
    ASSERT_TRUE(renderer_->SetTexture(next, u"tex/next.png", true));
    DrawFrame([&] { renderer_->DrawTexturePrimitiveAt(next, 0, 0, nullptr, 0, kAsIs); });
    EXPECT_EQ(Pixel(10, 10), 0x00FF00u);
    EXPECT_FALSE(LogContains(u"Texture Pool alloc memory failed."));
}

}  // namespace
}  // namespace lumi::test
