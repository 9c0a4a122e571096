// Draw-command records: each type from its own pool, copies that share nothing but a counted
// texture, and releases that give every block and reference back.
#include "draw/draw_commands.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/exception.h"
#include "core/frame_clock.h"
#include "draw/d3d_texture.h"
#include "tests/draw/texture_fixture.h"

namespace lumi::test {
namespace {

// Blocks in use in every pool a record or its parts come from.
struct PoolCounts {
    std::vector<std::int32_t> inUse;
    static PoolCounts Take() {
        PoolCounts counts;
        for (CMemPool* pool : {&g_STRU_POINT_COMMANDPool, &g_STRU_LINE_COMMANDPool, &g_STRU_TRI_COMMANDPool,
                               &g_STRU_RECT_COMMANDPool, &g_STRU_TEXT_COMMANDPool, &g_STRU_PARTICLE_COMMANDPool,
                               &g_CRenderFontPool, &g_word_node_tPool, &g_STRU_WORD_DRAWPool, &g_txt_drawlist_tPool}) {
            counts.inUse.push_back(pool->BlocksInUse());
        }
        return counts;
    }
    bool operator==(const PoolCounts&) const = default;
};

class DrawCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        before_ = PoolCounts::Take();
        g_DisplayStamp = 4321;
    }
    void TearDown() override {
        for (CD3DTexture* texture : textures_) {
            texture->Node()->Unlink();
            delete texture;
        }
        EXPECT_TRUE(PoolCounts::Take() == before_) << "a record or one of its parts was not given back";
        g_DisplayStamp = 0;
    }

    // A texture the texture manager would manage: its references move it between the
    // owner's in-use and idle lists.
    CD3DTexture* MakeTexture() {
        auto* texture = new CD3DTexture(&owner_, D3DFMT_A8R8G8B8, 8, 8, 0, false);
        texture->SetManaged(true);
        textures_.push_back(texture);
        return texture;
    }

    TestTextureOwner owner_;
    std::vector<CD3DTexture*> textures_;
    PoolCounts before_;
};

bool RectIsEmpty(const RECT& r) { return r.left == 0 && r.top == 0 && r.right == 0 && r.bottom == 0; }

// What a dirty block would turn into a crash or a leak at the first submission or release:
// links, pointers that are freed or released, list heads.
void ExpectNothingLeftOver(STRU_DRAW_COMMAND_BASE* cmd) {
    EXPECT_EQ(cmd->node.next, nullptr);
    EXPECT_EQ(cmd->node.linked, 0);
    EXPECT_EQ(cmd->texture, nullptr);
    if (auto* line = DrawCommandAs<STRU_LINE_COMMAND>(cmd)) {
        EXPECT_EQ(line->segments, nullptr);
        EXPECT_EQ(line->segmentCount | line->segmentCapacity, 0u);
    } else if (auto* text = DrawCommandAs<STRU_TEXT_COMMAND>(cmd)) {
        EXPECT_EQ(text->font, nullptr);
        EXPECT_EQ(text->text[0], 0);
        EXPECT_TRUE(text->words.Empty() && text->drawLists.Empty());
        EXPECT_EQ(text->glyphsReady | text->layoutReady, 0);
        EXPECT_TRUE(RectIsEmpty(text->layoutRect));
    } else if (auto* particle = DrawCommandAs<STRU_PARTICLE_COMMAND>(cmd)) {
        EXPECT_EQ(particle->emitter, nullptr);
    }
}

TEST_F(DrawCommandTest, EachTypeComesFromItsOwnPoolReadyToFill) {
    struct Case {
        std::int32_t type;
        CMemPool* pool;
        std::int32_t flags;
        std::size_t size;
    };
    const Case cases[] = {
        {0, &g_STRU_POINT_COMMANDPool, 1, sizeof(STRU_POINT_COMMAND)},
        {1, &g_STRU_LINE_COMMANDPool, 1, sizeof(STRU_LINE_COMMAND)},
        {2, &g_STRU_TRI_COMMANDPool, 1, sizeof(STRU_TRI_COMMAND)},
        {3, &g_STRU_RECT_COMMANDPool, 1, sizeof(STRU_RECT_COMMAND)},
        {5, &g_STRU_RECT_COMMANDPool, 1, sizeof(STRU_RECT_COMMAND)},
        {6, &g_STRU_TEXT_COMMANDPool, 1, sizeof(STRU_TEXT_COMMAND)},
        {7, &g_STRU_PARTICLE_COMMANDPool, 2, sizeof(STRU_PARTICLE_COMMAND)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        const std::int32_t inUse = c.pool->BlocksInUse();
        STRU_DRAW_COMMAND_BASE* cmd = AllocDrawCommand(c.type);
        ASSERT_NE(cmd, nullptr);
        EXPECT_EQ(c.pool->BlocksInUse(), inUse + 1);
        EXPECT_GE(c.pool->BlockSize(), c.size) << "the block must hold the record on this build";

        // The pool hands blocks out as they were left, the last one freed first: give this
        // one back scribbled over and take it again.
        std::memset(static_cast<void*>(cmd), 0xA5, c.size);
        c.pool->Free(cmd);
        STRU_DRAW_COMMAND_BASE* again = AllocDrawCommand(c.type);
        ASSERT_EQ(again, cmd);
        EXPECT_EQ(again->type, c.type);
        EXPECT_EQ(again->flags, c.flags);
        EXPECT_EQ(again->displayStamp, 4321);
        ExpectNothingLeftOver(again);

        FreeDrawCommand(again);
        EXPECT_EQ(c.pool->BlocksInUse(), inUse);
    }
}

TEST_F(DrawCommandTest, NoRecordForUnusedOrUnknownTypesAndNothingDoneWithoutOne) {
    for (std::int32_t type : {4, 8, -1}) EXPECT_EQ(AllocDrawCommand(type), nullptr) << type;
    for (STRU_DRAW_COMMAND_BASE* none : {static_cast<STRU_DRAW_COMMAND_BASE*>(nullptr), ScratchCommand()}) {
        EXPECT_EQ(CloneDrawCommand(none), nullptr);
        FreeDrawCommand(none);
        ReleaseDrawCommand(none, {});
    }

    // A record whose type was overwritten with an unused one is neither copied nor freed
    // into a wrong pool.
    STRU_RECT_COMMAND* rect = AllocRectCommand();
    rect->type = 4;
    EXPECT_EQ(CloneDrawCommand(rect), nullptr);
    const std::int32_t inUse = g_STRU_RECT_COMMANDPool.BlocksInUse();
    FreeDrawCommand(rect);
    EXPECT_EQ(g_STRU_RECT_COMMANDPool.BlocksInUse(), inUse);
    rect->type = kDrawCmdTexturedRect;
    FreeDrawCommand(rect);
}

TEST_F(DrawCommandTest, ClonesCopyHeadAndGeometryButNotTheSequence) {
    STRU_TRI_COMMAND* tri = AllocTriCommand();
    tri->flags = kDrawFlagAlpha;
    tri->color = 0x80FF0000;
    tri->sequence = 77;
    tri->x1 = 1, tri->y1 = 2, tri->x2 = 3, tri->y2 = 4, tri->x3 = 5, tri->y3 = 6;
    tri->filled = 1;

    g_DisplayStamp = 99;
    auto* triCopy = DrawCommandAs<STRU_TRI_COMMAND>(CloneDrawCommand(tri));
    ASSERT_NE(triCopy, nullptr);
    EXPECT_EQ(triCopy->flags, kDrawFlagAlpha);
    EXPECT_EQ(triCopy->color, 0x80FF0000u);
    EXPECT_EQ(triCopy->sequence, 0u) << "a clone is stamped at its own submission";
    EXPECT_EQ(triCopy->displayStamp, 99) << "the stamp of its own allocation";
    EXPECT_EQ(std::vector<int>({triCopy->x1, triCopy->y1, triCopy->x2, triCopy->y2, triCopy->x3, triCopy->y3}),
              std::vector<int>({1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(triCopy->filled, 1);
    ReleaseDrawCommand(tri, {});
    ReleaseDrawCommand(triCopy, {});
}

TEST_F(DrawCommandTest, LineSegmentsAreCopiedIntoAnArrayOfTheirOwn) {
    const STRU_LINE_SEGMENT five[] = {{0, 0, 1, 1}, {1, 1, 2, 2}, {2, 2, 3, 3}, {3, 3, 4, 4}, {4, 4, 5, 5}};
    STRU_LINE_COMMAND* line = AllocLineCommand();
    ASSERT_TRUE(SetLineSegments(line, five, 5));
    EXPECT_EQ(line->segmentCount, 5u);
    EXPECT_EQ(line->segmentCapacity, 5u) << "exactly the count asked for";

    // Fewer segments reuse the array and draw only those given.
    const STRU_LINE_SEGMENT one[] = {{9, 8, 7, 6}};
    STRU_LINE_SEGMENT* array = line->segments;
    ASSERT_TRUE(SetLineSegments(line, one, 1));
    EXPECT_EQ(line->segments, array);
    EXPECT_EQ(line->segmentCount, 1u);
    EXPECT_EQ(line->segments[0].x1, 9);

    // Bad counts and missing segments change nothing.
    EXPECT_FALSE(SetLineSegments(line, one, -1));
    EXPECT_FALSE(SetLineSegments(line, nullptr, 2));
    EXPECT_EQ(line->segmentCount, 1u);

    ASSERT_TRUE(SetLineSegments(line, five, 5));
    auto* copy = static_cast<STRU_LINE_COMMAND*>(CloneDrawCommand(line));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->segmentCount, 5u);
    line->segments[4].x2 = -1;
    ReleaseDrawCommand(line, {});
    EXPECT_EQ(copy->segments[4].x2, 5) << "the copy outlives its source unchanged";

    ReleaseDrawCommand(copy, {});
}

TEST_F(DrawCommandTest, ClonesOfTexturedRectanglesHoldTheirOwnReference) {
    CD3DTexture* texture = MakeTexture();
    auto* source = DrawCommandAs<STRU_RECT_COMMAND>(AllocDrawCommand(kDrawCmdTexturedRect));
    ASSERT_NE(source, nullptr);
    texture->AddRef();
    source->texture = texture;
    source->source = RECT{1, 2, 3, 4};
    source->destination = RECT{10, 20, 30, 40};

    auto* copy = DrawCommandAs<STRU_RECT_COMMAND>(CloneDrawCommand(source));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->source.right, 3);
    EXPECT_EQ(copy->destination.bottom, 40);
    EXPECT_EQ(copy->texture, texture);
    EXPECT_EQ(texture->GetRefCount(), 2);

    ReleaseDrawCommand(copy, {});
    EXPECT_EQ(texture->GetRefCount(), 1);
    EXPECT_EQ(texture->Node()->owner, &owner_.inUse) << "still in use by the source";

    ReleaseDrawCommand(source, {});
    EXPECT_EQ(texture->GetRefCount(), 0);
    EXPECT_EQ(texture->Node()->owner, &owner_.idle);
}

TEST_F(DrawCommandTest, TextAndParticleRecordsAreNotCloned) {
    for (std::int32_t type : {kDrawCmdText, kDrawCmdParticle}) {
        STRU_DRAW_COMMAND_BASE* cmd = AllocDrawCommand(type);
        const PoolCounts held = PoolCounts::Take();
        try {
            CloneDrawCommand(cmd);
            ADD_FAILURE() << "type " << type << " was cloned";
        } catch (const lumi::Exception& error) {
            EXPECT_STREQ(error.what(), "unsupported");
        }
        EXPECT_TRUE(PoolCounts::Take() == held) << "nothing taken for a refused clone";
        FreeDrawCommand(cmd);
    }
}

TEST_F(DrawCommandTest, ParticleRecordsGiveTheirEmitterAndTextureBack) {
    CD3DTexture* texture = MakeTexture();
    int emitterObject = 0;
    auto* emitter = reinterpret_cast<CParticleEmitter*>(&emitterObject);  // only passed around

    STRU_PARTICLE_COMMAND* particle = AllocParticleCommand();
    texture->AddRef();
    particle->texture = texture;
    particle->emitter = emitter;
    EXPECT_THROW(ReleaseDrawCommand(particle, {}), lumi::Exception) << "the emitter would be lost";
    EXPECT_EQ(texture->GetRefCount(), 1) << "a refused release changes nothing";

    std::vector<CParticleEmitter*> givenBack;
    ReleaseDrawCommand(particle, [&](CParticleEmitter* e) { givenBack.push_back(e); });
    EXPECT_EQ(givenBack, std::vector<CParticleEmitter*>{emitter});
    EXPECT_EQ(texture->GetRefCount(), 0);

    // Without an emitter no hand-back is needed.
    ReleaseDrawCommand(AllocParticleCommand(), {});
}

// Glyphs on `pages` font pages, and one placeholder on none.
void LayOut(STRU_TEXT_COMMAND* text, int pages) {
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
    text->glyphsReady = 1;
    text->layoutReady = 1;
    text->layoutRect = RECT{0, 0, 100, 20};
}

TEST_F(DrawCommandTest, FreeingATextRecordReturnsItsWholeLayout) {
    STRU_TEXT_COMMAND* text = AllocTextCommand();
    text->font = new CRenderFont();
    text->text[0] = u'H';
    LayOut(text, 2);

    // Undoing the layout keeps the text and the font pair.
    ClearTextLayout(text);
    EXPECT_TRUE(text->words.Empty());
    EXPECT_TRUE(text->drawLists.Empty());
    EXPECT_EQ(text->glyphsReady | text->layoutReady, 0);
    EXPECT_TRUE(RectIsEmpty(text->layoutRect));
    EXPECT_NE(text->font, nullptr);
    EXPECT_EQ(text->text[0], u'H');
    EXPECT_EQ(g_word_node_tPool.BlocksInUse(), before_.inUse[7]);
    EXPECT_EQ(g_STRU_WORD_DRAWPool.BlocksInUse(), before_.inUse[8]);
    EXPECT_EQ(g_txt_drawlist_tPool.BlocksInUse(), before_.inUse[9]);

    // Laid out again, then freed whole: TearDown checks every pool.
    LayOut(text, 3);
    FreeDrawCommand(text);
}

TEST_F(DrawCommandTest, ARecordStillInAListLeavesItWhenFreed) {
    lru_list_t list;
    STRU_POINT_COMMAND* point = AllocPointCommand();
    list.PushBack(&point->node);
    FreeDrawCommand(point);
    EXPECT_TRUE(list.Empty());
}

}  // namespace
}  // namespace lumi::test
