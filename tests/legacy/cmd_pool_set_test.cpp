// The legacy draw-command records: their layouts, and their allocation and release by type
// through the renderer's typed pools.
#include "legacy/cmd_pool_set.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/pool_table.h"
#include "legacy/font_desc.h"
#include "tests/support/message_capture.h"

namespace {

template <class T>
concept HasDisplayStamp = requires(T record) { record.displayStamp; };
template <class T>
concept HasReadyBytes = requires(T record) { record.glyphsReady; };

// The legacy head has no display stamp; the text record names a font description and has no
// ready bytes.
static_assert(!HasDisplayStamp<STRU_DRAW_COMMAND_BASE>);
static_assert(!HasReadyBytes<STRU_TEXT_COMMAND>);
static_assert(std::is_same_v<decltype(STRU_TEXT_COMMAND::font), font_desc_t*>);

// Blocks in use of the pools a text record's layout and font come from.
struct LayoutPools {
    std::int32_t nodes = g_word_node_tPool.BlocksInUse();
    std::int32_t draws = g_STRU_WORD_DRAWPool.BlocksInUse();
    std::int32_t pages = g_txt_drawlist_tPool.BlocksInUse();
    std::int32_t fonts = g_font_desc_tPool.BlocksInUse();
    bool operator==(const LayoutPools&) const = default;
};

// A layout of glyphs on `pages` font pages and one placeholder on none, and a font.
void LayOut(STRU_TEXT_COMMAND* text, int pages) {
    text->font = new font_desc_t();
    for (int i = 0; i <= pages; ++i) {
        auto* node = new word_node_t();
        node->draw = new STRU_WORD_DRAW();
        if (i < pages) {
            auto* page = new txt_drawlist_t();
            page->command.words.PushBack(node->draw);
            text->drawLists.PushBack(page);
        }
        text->words.PushBack(node);
    }
}

TEST(CommandPoolSet, RecordsComeFromThePoolOfTheirTypeAndGoBack) {
    cmd_pool_set_t pools;
    const struct {
        std::int32_t type;
        const CObjectPool& pool;
        std::int32_t flags;
    } cases[] = {
        {kDrawCmdPoint, pools.point, kDrawFlagOpaque},       {kDrawCmdLine, pools.line, kDrawFlagOpaque},
        {kDrawCmdTriangle, pools.tri, kDrawFlagOpaque},      {kDrawCmdRect, pools.rect, kDrawFlagOpaque},
        {kDrawCmdTexturedRect, pools.rect, kDrawFlagOpaque}, {kDrawCmdText, pools.text, kDrawFlagOpaque},
        {kDrawCmdParticle, pools.particle, kDrawFlagAlpha},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("type " + std::to_string(c.type));
        STRU_DRAW_COMMAND_BASE* cmd = AllocDrawCommand(pools, c.type);
        ASSERT_NE(cmd, nullptr);
        EXPECT_TRUE(c.pool.Owns(cmd));
        EXPECT_EQ(c.pool.UsedCount(), 1u);
        EXPECT_EQ(cmd->type, c.type);
        EXPECT_EQ(cmd->flags, c.flags);
        EXPECT_EQ(cmd->texture, nullptr);
        EXPECT_EQ(cmd->node.linked, 0);
        EXPECT_TRUE(FreeDrawCommand(pools, cmd));
        EXPECT_EQ(c.pool.UsedCount(), 0u);
        EXPECT_FALSE(FreeDrawCommand(pools, cmd)) << "given back already";
    }
    for (std::int32_t type : {4, 8, -1}) EXPECT_EQ(AllocDrawCommand(pools, type), nullptr) << type;
    EXPECT_FALSE(FreeDrawCommand(pools, nullptr));
    EXPECT_FALSE(FreeDrawCommand(pools, ScratchCommand()));
}

TEST(CommandPoolSet, TheRecordAfter128OpensABlockAndAFreedOneComesBackFirst) {
    cmd_pool_set_t pools;
    std::vector<STRU_DRAW_COMMAND_BASE*> points;
    for (int i = 0; i < 129; ++i) points.push_back(AllocDrawCommand(pools, kDrawCmdPoint));
    EXPECT_EQ(pools.point.BlockCount(), 2u);
    EXPECT_EQ(pools.rect.BlockCount(), 0u) << "each type grows alone";

    auto* point = static_cast<STRU_POINT_COMMAND*>(points[128]);
    point->x = 7;
    ASSERT_TRUE(FreeDrawCommand(pools, point));
    auto* again = static_cast<STRU_POINT_COMMAND*>(AllocDrawCommand(pools, kDrawCmdPoint));
    EXPECT_EQ(again, point) << "the lowest free record of the newest block with room";
    EXPECT_EQ(again->x, 0) << "handed out cleared";
}

TEST(CommandPoolSet, ReleaseTakesWhatARecordOwns) {
    cmd_pool_set_t pools;
    const LayoutPools before;

    auto* line = static_cast<STRU_LINE_COMMAND*>(AllocDrawCommand(pools, kDrawCmdLine));
    const STRU_LINE_SEGMENT segments[5] = {};
    ASSERT_TRUE(SetLineSegments(line, segments, 5));
    lru_list_t queue;
    queue.PushBack(&line->node);
    EXPECT_TRUE(FreeDrawCommand(pools, line));  // the segment array goes too (the leak check sees it)
    EXPECT_TRUE(queue.Empty()) << "a record still in a list leaves it";

    auto* text = static_cast<STRU_TEXT_COMMAND*>(AllocDrawCommand(pools, kDrawCmdText));
    LayOut(text, 2);
    EXPECT_NE(LayoutPools(), before);
    EXPECT_TRUE(FreeDrawCommand(pools, text));
    EXPECT_EQ(LayoutPools(), before) << "word nodes, glyph draws, page lists and the font description";
}

TEST(CommandPoolSet, ARecordOfAnotherSetIsRefusedUntouched) {
    cmd_pool_set_t pools;
    cmd_pool_set_t other;
    const LayoutPools before;
    auto* text = static_cast<STRU_TEXT_COMMAND*>(AllocDrawCommand(other, kDrawCmdText));
    LayOut(text, 1);
    EXPECT_FALSE(FreeDrawCommand(pools, text));
    EXPECT_NE(text->font, nullptr);
    EXPECT_FALSE(text->words.Empty());
    EXPECT_EQ(other.text.UsedCount(), 1u);

    text->type = kDrawCmdRect;  // a record whose type is not its pool's
    EXPECT_FALSE(FreeDrawCommand(other, text));
    text->type = kDrawCmdText;
    EXPECT_TRUE(FreeDrawCommand(other, text));
    EXPECT_EQ(LayoutPools(), before);
}

}  // namespace
