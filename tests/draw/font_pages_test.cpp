// Fonts and glyph pages: shelf packing at its exact edges, shared pages, the texel writes of
// each page format, one pending glyph per font per frame, and pages given up.
#include <cstdlib>

#include "core/pool_table.h"
#include "draw/tex_mgr.h"
#include "tests/draw/text_test_fixture.h"

namespace lumi::test {
namespace {

class FontPagesTest : public TextTest {
protected:
    // The glyph's bitmap size, read before Load gives the bitmap back.
    static SIZE BitmapSize(CWordTex* glyph) {
        const STRU_FONT_BITMAP& data = glyph->GetBitmap()->GetData();
        return SIZE{data.width, data.rows};
    }
};

TEST_F(FontPagesTest, ShelvesAndPagesOpenAtExactlyTheirEdges) {
    fontmillctl::SetLoadDelay(1);  // every glyph of the font waits: nothing is placed yet
    CD3DFont* font = Fonts()->GetFont(kLatinFont, 16, 0);
    ASSERT_EQ(font->PendingCount(), CD3DFont::kLastEarlyGlyph - CD3DFont::kFirstEarlyGlyph + 1);
    ASSERT_EQ(Fonts()->GetPageCount(), 0);
    fontmillctl::SetLoadDelay(0);

    CWordTex* dot = font->GetWord(u'.');
    ASSERT_TRUE(dot->Load());
    CFontTexture* page = dot->Page();
    ASSERT_NE(page, nullptr);
    const LONG side = page->GetWidth();
    EXPECT_EQ(static_cast<DWORD>(side), Renderer()->GetAtlasPageSize());
    EXPECT_EQ(page->GetHeight(), side);
    EXPECT_EQ(page->GetFormat(), Renderer()->GetTexMgr()->GetFontPageFormat());
    EXPECT_EQ(dot->PageRect().left, 0);
    EXPECT_EQ(dot->PageRect().top, 0);

    // A second font packs into the same page, one pixel after the last glyph.
    CD3DFont* other = Fonts()->GetFont(kLatinFont, 20, 0);
    CWordTex* exclamation = other->GetWord(u'!');
    EXPECT_EQ(exclamation->Page(), page);
    EXPECT_EQ(exclamation->PageRect().left, dot->PageRect().right + 1);

    // Exactly as wide as the row's room minus one: still on the shelf.
    CWordTex* w = font->GetWord(u'W');
    const SIZE wSize = BitmapSize(w);
    page->cursorX = side - wSize.cx - 1;
    const LONG shelfTop = page->cursorY;
    ASSERT_TRUE(w->Load());
    EXPECT_EQ(w->Page(), page);
    EXPECT_EQ(w->PageRect().left, side - wSize.cx - 1);
    EXPECT_EQ(w->PageRect().top, shelfTop);

    // One pixel more: a new shelf, below the tallest glyph of the page so far.
    CWordTex* m = font->GetWord(u'M');
    const SIZE mSize = BitmapSize(m);
    page->cursorX = side - mSize.cx;
    const LONG tallest = page->rowHeight;
    ASSERT_TRUE(m->Load());
    EXPECT_EQ(m->PageRect().left, 0);
    EXPECT_EQ(m->PageRect().top, shelfTop + tallest);

    // Exactly reaching the bottom stays on the page; one row more opens a new one.
    CWordTex* o = font->GetWord(u'O');
    page->cursorX = 0;
    page->cursorY = side - BitmapSize(o).cy;
    ASSERT_TRUE(o->Load());
    EXPECT_EQ(o->Page(), page);
    EXPECT_EQ(o->PageRect().bottom, side);
    CWordTex* q = font->GetWord(u'Q');
    page->cursorX = 0;
    page->cursorY = side - BitmapSize(q).cy + 1;
    ASSERT_TRUE(q->Load());
    ASSERT_NE(q->Page(), page);
    EXPECT_EQ(q->PageRect().left, 0);
    EXPECT_EQ(q->PageRect().top, 0);
    EXPECT_EQ(Fonts()->GetPageCount(), 2);
    EXPECT_EQ(Fonts()->GetCurrentPage(), q->Page());

    // A text of glyphs on both pages: one draw list, so one alpha node and draw, per page.
    STRU_DRAW_COMMAND_BASE* cmd = renderer_->CreatePrimitive(kDrawCmdText);
    commands_.push_back(cmd);
    renderer_->SetFont(cmd, kLatinFont, 16);
    ASSERT_TRUE(renderer_->SetText(cmd, u"QW"));
    EXPECT_EQ(static_cast<STRU_TEXT_COMMAND*>(cmd)->drawLists.Count(), 2);
    d3d9ctl::ResetCounters();
    DrawFrame([&] { renderer_->DrawText(cmd, 10, 10, kWhite, false, 0, 0); });
    EXPECT_EQ(d3d9ctl::GetCounters().drawCalls, 2u);
}

TEST_F(FontPagesTest, EveryPageFormatTakesTheCoverageInItsTopByte) {
    struct Case {
        const char* name;
        bool a8, a4r4g4b4;
        D3DFORMAT expected;
        int tolerance;  // A4R4G4B4 keeps four bits of coverage
    } cases[] = {
        {"A8", true, true, D3DFMT_A8, 0},
        {"A4R4G4B4", false, true, D3DFMT_A4R4G4B4, 17},
        {"A8R8G8B8", false, false, D3DFMT_A8R8G8B8, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Release();
        d3d9ctl::FormatSupport support = d3d9ctl::DefaultAdapter().formats[D3DFMT_A8];
        support.texture = c.a8;
        d3d9ctl::SetFormatSupport(0, D3DFMT_A8, support);
        support.texture = c.a4r4g4b4;
        d3d9ctl::SetFormatSupport(0, D3DFMT_A4R4G4B4, support);
        ASSERT_NE(Create(), nullptr);
        for (bool antialias : {true, false}) {
            renderer_->SetFontAntialias(antialias);
            CWordTex* glyph = Fonts()->GetFont(kLatinFont, antialias ? 22 : 23, 0)->GetWord(u'R');
            const Reference reference = ReferenceGlyph(kLatinFont, u'R', antialias ? 22 : 23);
            CFontTexture* page = glyph->Page();
            ASSERT_NE(page, nullptr);
            EXPECT_EQ(page->GetFormat(), c.expected);
            IDirect3DSurface9* level = nullptr;
            ASSERT_EQ(page->GetSystemTexture()->GetSurfaceLevel(0, &level), D3D_OK);
            int wrong = 0;
            const RECT& at = glyph->PageRect();
            for (int y = 0; y < reference.data.rows; ++y) {
                for (int x = 0; x < reference.data.width; ++x) {
                    const int alpha = static_cast<int>(d3d9ctl::ReadPixel(level, at.left + x, at.top + y) >> 24);
                    if (std::abs(alpha - reference.Coverage(x, y)) > c.tolerance) ++wrong;
                }
            }
            // The gap right of the glyph stays clear.
            EXPECT_EQ(d3d9ctl::ReadPixel(level, at.right, at.top) >> 24, 0u);
            level->Release();
            EXPECT_EQ(wrong, 0) << (antialias ? "grey" : "mono");
        }
    }
}

TEST_F(FontPagesTest, EachFrameLoadsOnePendingGlyphPerFont) {
    fontmillctl::SetLoadDelay(1);
    CD3DFont* latin = Fonts()->GetFont(kLatinFont, 16, 0);
    CD3DFont* chinese = Fonts()->GetFont(kChineseFont, 16, 0);
    const int requested = CD3DFont::kLastEarlyGlyph - CD3DFont::kFirstEarlyGlyph + 1;
    for (CD3DFont* font : {latin, chinese}) {
        EXPECT_EQ(font->PendingCount(), requested);
        EXPECT_EQ(font->LoadedCount(), 0);
        EXPECT_FALSE(font->GetWord(u'A')->IsLoaded());
    }
    for (int frame = 1; frame <= 3; ++frame) {
        RunFrame();
        for (CD3DFont* font : {latin, chinese}) {
            EXPECT_EQ(font->LoadedCount(), frame);
            EXPECT_EQ(font->PendingCount(), requested - frame);
        }
    }
    EXPECT_TRUE(latin->GetWord(u'#')->IsLoaded()) << "33, 34 and 35 went first";
    EXPECT_FALSE(latin->GetWord(u'$')->IsLoaded());
    EXPECT_EQ(Fonts()->GetPageCount(), 1) << "both fonts on one page";

    // Pages given up: the glyphs go with them, placed or pending; text asks for new ones.
    Fonts()->ReleasePages();
    EXPECT_EQ(Fonts()->GetPageCount(), 0);
    EXPECT_EQ(latin->LoadedCount(), 0);
    EXPECT_EQ(latin->PendingCount(), 0);
    fontmillctl::SetLoadDelay(0);
    CWordTex* again = latin->GetWord(u'#');
    EXPECT_EQ(latin->LoadedCount() + latin->PendingCount(), 1) << "a new glyph";
    EXPECT_NE(again->Page(), nullptr);
}

TEST_F(FontPagesTest, GlyphsGoWithTheirPagesSoDisplayModeChangesDoNotPileThemUp) {
    STRU_TEXT_COMMAND* text = Text(kLatinFont, 16, u"Hello");
    auto draw = [&] { renderer_->DrawText(text, 10, 10, kWhite, false, 0, 0); };
    DrawFrame(draw);
    std::int32_t width = 0;
    std::int32_t height = 0;
    ASSERT_TRUE(renderer_->GetTextExtent(text, &width, &height, 0));
    ASSERT_GT(width, 0);
    bool wide = true;
    auto changeMode = [&] {
        ASSERT_TRUE(renderer_->ChangeDisplayMode(wide ? 400 : kWidth, wide ? 300 : kHeight, 32, 1, false, true));
        wide = !wide;
    };
    changeMode();
    DrawFrame(draw);
    const std::int32_t glyphs = PoolOf<CWordTex>().BlocksInUse();
    for (int change = 2; change <= 50; ++change) {
        changeMode();
        DrawFrame(draw);
    }
    EXPECT_LE(PoolOf<CWordTex>().BlocksInUse(), glyphs) << "no more live glyphs than after the first change";

    // Measured after a change without a draw between: on the new glyphs.
    changeMode();
    std::int32_t widthAfter = 0;
    std::int32_t heightAfter = 0;
    EXPECT_TRUE(renderer_->GetTextExtent(text, &widthAfter, &heightAfter, 0));
    EXPECT_EQ(widthAfter, width);
    EXPECT_EQ(heightAfter, height);
}

}  // namespace
}  // namespace lumi::test
