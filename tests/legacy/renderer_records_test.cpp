// The renderer object of the legacy library takes its draw-command records from the typed
// command pools, and its text commands name their fonts with font descriptions.
#include <gtest/gtest.h>

#include "core/pool_table.h"
#include "draw/draw_commands.h"
#include "legacy/cmd_pool_set.h"
#include "legacy/font_desc.h"
#include "tests/core/renderer_fixture.h"

namespace lumi::test {
namespace {

using LegacyRendererRecords = RendererTest;

TEST_F(LegacyRendererRecords, HostAndFrameCommandsComeFromTheCommandPools) {
    ASSERT_NE(Create(), nullptr);
    cmd_pool_set_t& pools = SharedCommandPools();
    const std::uint32_t rectsBefore = pools.rect.UsedCount();
    STRU_DRAW_COMMAND_BASE* sprite = renderer_->CreatePrimitive(kDrawCmdTexturedRect);
    ASSERT_NE(sprite, nullptr);
    EXPECT_TRUE(pools.rect.Owns(sprite));
    EXPECT_EQ(renderer_->CreatePrimitive(4), nullptr);

    // The frame's own commands too: the shapes are drawn.
    DrawFrame([&] {
        renderer_->SetBackgroundColor(0xFF000000u);
        renderer_->DrawRect(ScratchCommand(), 10, 10, 60, 40, 0xFFC03030u, true);
        renderer_->DrawTriangle(ScratchCommand(), 100, 10, 150, 10, 125, 60, 0xFF30C030u, true);
    });
    EXPECT_EQ(Pixel(20, 20), 0xC03030u);
    EXPECT_EQ(Pixel(125, 20), 0x30C030u);
    EXPECT_GT(pools.rect.UsedCount(), rectsBefore + 1) << "the frame's rectangle commands";

    renderer_->ReleasePrimitive(sprite);
    Release();
    EXPECT_EQ(pools.rect.UsedCount(), rectsBefore) << "the renderer gave its commands back";
}

TEST_F(LegacyRendererRecords, ATextCommandNamesItsFontWithADescription) {
    ASSERT_NE(Create(), nullptr);
    const std::int32_t descriptions = g_font_desc_tPool.BlocksInUse();
    STRU_DRAW_COMMAND_BASE* cmd = renderer_->CreatePrimitive(kDrawCmdText);
    auto* text = DrawCommandAs<STRU_TEXT_COMMAND>(cmd);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->font, nullptr);

    EXPECT_EQ(renderer_->SetFont(cmd, u"fonts/a.ttf", 300), 0) << "no line height before a layout";
    ASSERT_NE(text->font, nullptr);
    EXPECT_EQ(std::u16string(text->font->path), u"fonts/a.ttf");
    EXPECT_EQ(text->font->size, 255) << "sizes are held to a byte";
    EXPECT_EQ(g_font_desc_tPool.BlocksInUse(), descriptions + 1);
    renderer_->SetFont(cmd, u"fonts/b.ttf", 12);
    EXPECT_EQ(g_font_desc_tPool.BlocksInUse(), descriptions + 1) << "one description per command";

    renderer_->SetText(cmd, u"Hello");
    EXPECT_EQ(std::u16string(text->text), u"Hello");
    std::int32_t width = -1, height = -1;
    EXPECT_TRUE(renderer_->GetTextExtent(cmd, &width, &height, 0));
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
    DrawFrame([&] { renderer_->DrawText(cmd, 10, 10, 0xFFFFFFFFu, false, 0, 0); });

    renderer_->ReleasePrimitive(cmd);
    EXPECT_EQ(g_font_desc_tPool.BlocksInUse(), descriptions) << "the description goes with its command";
}

}  // namespace
}  // namespace lumi::test
