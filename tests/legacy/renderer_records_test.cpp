// The legacy renderer's text commands name their fonts with font descriptions.
#include <gtest/gtest.h>

#include "core/pool_table.h"
#include "draw/draw_commands.h"
#include "legacy/cmd_pool_set.h"
#include "legacy/font_desc.h"
#include "tests/core/renderer_fixture.h"

namespace lumi::test {
namespace {

using LegacyRendererRecords = RendererTest;

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
