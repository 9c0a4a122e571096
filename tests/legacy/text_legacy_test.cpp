// Text through the legacy IRenderer on the software device: the font-texture manager's fonts
// and pages, glyphs rasterised and placed by the legacy layout with the line height of 'A' and
// U+9AD8, text after a device reset, and the bad input a host may give, with every glyph
// bitmap freed exactly once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/lumiscriber.h"
#include "draw/draw_commands.h"
#include "draw/tex_mgr.h"
#include "draw/text_layout.h"
#include "legacy/font_desc.h"
#include "legacy/font_picture.h"
#include "legacy/font_tex.h"
#include "legacy/font_tex_mgr_legacy.h"
#include "legacy/text_layout_legacy.h"
#include "platform/fontmill/control.h"
#include "tests/draw/text_test_fixture.h"
#include "tests/legacy/legacy_renderer_fixture.h"
#include "tests/support/glyph_reference.h"
#include "tests/support/test_fonts.h"

namespace lumi::test {
namespace {

class LegacyText : public TextFixture<LegacyRendererTest> {
protected:
    CFontTex* FontOf(const STRU_TEXT_COMMAND* text) const {
        return Fonts()->GetFontTex(font_tex_key_t::Of(*text->font));
    }

    // The word draws of the text, in string order.
    static std::vector<STRU_WORD_DRAW*> Words(STRU_TEXT_COMMAND* text) {
        std::vector<STRU_WORD_DRAW*> words;
        ForEachWordDraw(text, [&](STRU_WORD_DRAW* draw) { words.push_back(draw); });
        return words;
    }
};

TEST_F(LegacyText, GlyphsLieWhereTheLayoutPutsThemOnTheLineHeightOfAOrGao) {
    struct Case {
        const char* name;
        const char16_t* font;
        const char16_t* western;  // null: none
        const char16_t* text;
        int size;  // a font keeps its glyphs: another western font needs another font
    } cases[] = {
        {"Latin font without U+9AD8", kLatinFont, nullptr, u"Hg", 22},
        {"Chinese font", kChineseFont, nullptr, u"高A", 22},
        {"Chinese font, Latin from the western font", kChineseFont, kLatinFont, u"高A", 23},
    };
    constexpr int kSpacing = 2;
    for (const Case& c : cases) {
        const int size = c.size;
        SCOPED_TRACE(c.name);
        renderer_->SetWesternFontPath(c.western != nullptr ? c.western : u"");
        const GlyphReference first = GlyphReference::Of(c.font, c.text[0], size);
        const GlyphReference second = GlyphReference::Of(c.font, c.text[1], size);
        const GlyphReference a = GlyphReference::Of(c.font, u'A', size);
        const GlyphReference gao = GlyphReference::Of(c.font, u'\u9AD8', size);
        STRU_TEXT_COMMAND* text = Text(c.font, size, c.text);
        EXPECT_EQ(text->font->lineHeightA, a.data.lineHeight);
        EXPECT_EQ(text->font->lineHeightB, gao.data.lineHeight) << "0 for a font without the glyph";
        const int lineHeight = std::max(a.data.lineHeight, gao.data.lineHeight);
        ASSERT_GT(lineHeight, 0);
        EXPECT_EQ(renderer_->SetFont(text, c.font, size), lineHeight & 0xFF) << "unchanged font: its line height";

        LegacyFrame([&] {
            renderer_->SetBackgroundColor(0xFF000000u);
            renderer_->DrawText(text, 20, 30, kWhite, false, 0, kSpacing);
        });
        int covered = 0;
        EXPECT_EQ(Mismatches(first, GlyphImageCorner(first.data, 20, 30, lineHeight), &covered), 0);
        EXPECT_GT(covered, 20);
        const int pen = 20 + first.data.advance + kSpacing;
        EXPECT_EQ(Mismatches(second, GlyphImageCorner(second.data, pen, 30, lineHeight)), 0);

        std::int32_t width = 0;
        std::int32_t height = 0;
        ASSERT_TRUE(renderer_->GetTextExtent(text, &width, &height, kSpacing));
        EXPECT_EQ(width, first.data.advance + second.data.advance + 2 * kSpacing);
        EXPECT_EQ(height, std::max(first.data.lineHeight, second.data.lineHeight));
    }
}

TEST_F(LegacyText, WrappedLinesFollowTheDescriptionsLineHeightAndTheOutlineSitsBehind) {
    renderer_->SetFontAntialias(false);  // whole pixels make the outline exact
    renderer_->SetWesternFontPath(kLatinFont);
    constexpr int kSize = 20;
    STRU_TEXT_COMMAND* text = Text(kChineseFont, kSize, u"I高I");
    const int lineHeight = text->font->LineHeight();
    ASSERT_EQ(lineHeight, std::max(text->font->lineHeightA, text->font->lineHeightB));
    const GlyphReference bar = GlyphReference::Of(kChineseFont, u'I', kSize);
    const GlyphReference gao = GlyphReference::Of(kChineseFont, u'\u9AD8', kSize);
    // Room for 'I' and 高 on the first line; the second 'I' wraps to the next.
    const int right = 10 + bar.data.advance + gao.data.advance;
    LegacyFrame([&] {
        renderer_->SetBackgroundColor(0xFF000000u);
        renderer_->DrawTextInRect(text, 10, 10, right, 10 + 3 * lineHeight, kWhite, true, true, 0xFFFF0000u, 0);
    });
    const POINT firstBar = GlyphImageCorner(bar.data, 10, 10, lineHeight);
    const POINT wrapped = GlyphImageCorner(bar.data, 10, 10 + lineHeight, lineHeight);
    const int middle = bar.data.rows / 2;
    ASSERT_EQ(bar.Coverage(0, middle), 255);
    for (POINT corner : {firstBar, wrapped}) {
        EXPECT_EQ(Pixel(corner.x, corner.y + middle), 0xFFFFFFu) << "the glyph in its colour";
        EXPECT_EQ(Pixel(corner.x - 1, corner.y + middle), 0xFF0000u) << "the outline left of it";
    }
    int covered = 0;
    const POINT gaoCorner = GlyphImageCorner(gao.data, 10 + bar.data.advance, 10, lineHeight);
    for (int y = 0; y < gao.data.rows; ++y)
        for (int x = 0; x < gao.data.width; ++x)
            if (gao.Coverage(x, y) == 255) {
                ++covered;
                EXPECT_EQ(Pixel(gaoCorner.x + x, gaoCorner.y + y), 0xFFFFFFu) << x << "," << y;
            }
    EXPECT_GT(covered, 20);

    // Without wrap the glyph that does not fit is left out.
    LegacyFrame([&] {
        renderer_->SetBackgroundColor(0xFF000000u);
        renderer_->DrawTextInRect(text, 10, 10, right, 10 + 3 * lineHeight, kWhite, false, false, 0, 0);
    });
    EXPECT_EQ(Pixel(wrapped.x, wrapped.y + middle), 0x000000u);
}

TEST_F(LegacyText, FontsByPathAndSizeShareTheirPagesWhichRenewWhenFull) {
    STRU_TEXT_COMMAND* one = Text(kChineseFont, 24, u"高山");
    STRU_TEXT_COMMAND* two = Text(kChineseFont, 24, u"山高");
    Text(kChineseFont, 25, u"山");
    EXPECT_EQ(Fonts()->GetFontCount(), 2u) << "one font per path and size";
    CFontTex* font = FontOf(one);
    ASSERT_EQ(font, FontOf(two));
    EXPECT_EQ(Renderer()->GetAtlasPageSize(), 1024u);
    EXPECT_EQ(font->GetPageSide(), 512) << "legacy pages are at most 512 square";
    const std::vector<STRU_WORD_DRAW*> a = Words(one);
    const std::vector<STRU_WORD_DRAW*> b = Words(two);
    EXPECT_EQ(a[0]->word, b[1]->word) << "the same glyph record";
    EXPECT_EQ(a[0]->word->Page(), a[1]->word->Page());
    EXPECT_NE(FontOf(Text(kChineseFont, 25, u"高"))->GetCurrentPage(), font->GetCurrentPage())
        << "another size packs into pages of its own";

    // Big glyphs fill the 512 page after a few rows; the next glyph opens a new page, and text
    // spanning both pages draws from both.
    std::u16string many;
    for (char16_t unit = u'\u4E00'; unit < u'\u4E00' + 40; ++unit) many += unit;
    STRU_TEXT_COMMAND* big = Text(kChineseFont, 100, many.c_str());
    CFontTex* bigFont = FontOf(big);
    ASSERT_GE(bigFont->GetPageCount(), 2);
    const std::vector<STRU_WORD_DRAW*> words = Words(big);
    font_page_t* firstPage = words.front()->word->Page();
    font_page_t* lastPage = words.back()->word->Page();
    EXPECT_NE(firstPage, lastPage);
    EXPECT_EQ(lastPage, bigFont->GetCurrentPage()) << "the newest page is the current one";
    for (std::size_t i = 1; i < words.size(); ++i) {
        const RECT& before = words[i - 1]->word->PageRect();
        const RECT& rect = words[i]->word->PageRect();
        if (words[i]->word->Page() == words[i - 1]->word->Page() && rect.top == before.top) {
            EXPECT_EQ(rect.left, before.right) << "no gap between glyphs of a row, glyph " << i;
        }
    }
    const GlyphReference last = GlyphReference::Of(kChineseFont, many.back(), 100);
    LegacyFrame([&] {
        renderer_->SetBackgroundColor(0xFF000000u);
        renderer_->DrawText(big, 0, 0, kWhite, false, 0, 0);
        renderer_->DrawText(Text(kChineseFont, 100, many.substr(many.size() - 1).c_str()), 100, 100, kWhite, false, 0, 0);
    });
    EXPECT_EQ(Mismatches(last, GlyphImageCorner(last.data, 100, 100, big->font->LineHeight())), 0)
        << "a glyph of the renewed page";
}

TEST_F(LegacyText, AGlyphThatWouldPassTheBottomGoesToANewPageEvenWithinARow) {
    STRU_TEXT_COMMAND* text = Text(kLatinFont, 30, u"i");
    CFontTex* font = FontOf(text);
    CFontPicture* page = font->GetCurrentPage();
    ASSERT_NE(page, nullptr);
    // A short row at the page's foot with room to its right: a tall glyph fits the row's
    // width but not the page's height.
    page->cursorX = 0;
    page->cursorY = font->GetPageSide() - 10;
    page->rowHeight = 5;
    STRU_WORD_TEX* tall = font->GetWord(u'H');
    ASSERT_NE(tall, nullptr);
    EXPECT_NE(tall->Page(), page);
    EXPECT_EQ(font->GetPageCount(), 2);
    EXPECT_EQ(tall->PageRect().top, 0);
    EXPECT_LE(tall->PageRect().bottom, font->GetPageSide());
}

TEST_F(LegacyText, TheSameFontAgainKeepsTheLayoutAndAnotherLaysItOutAgain) {
    STRU_TEXT_COMMAND* text = Text(kLatinFont, 18, u"Hi");
    STRU_WORD_DRAW* before = Words(text).front();
    renderer_->SetFont(text, kLatinFont, 18);
    EXPECT_EQ(Words(text).front(), before);
    EXPECT_FALSE(renderer_->SetText(text, u"Hi")) << "unchanged text";
    const std::int32_t smaller = renderer_->SetFont(text, kLatinFont, 12);
    EXPECT_EQ(smaller, text->font->LineHeight());
    EXPECT_LT(smaller, 18 + 8);
    EXPECT_NE(Words(text).front()->word, before->word);
    EXPECT_EQ(Fonts()->GetFontCount(), 2u);
}

TEST_F(LegacyText, TextDrawsAgainAfterTheDeviceIsLostAndReset) {
    STRU_TEXT_COMMAND* text = Text(kLatinFont, 18, u"Hi");
    const GlyphReference h = GlyphReference::Of(kLatinFont, u'H', 18);
    auto drawn = [&] {
        LegacyFrame([&] {
            renderer_->SetBackgroundColor(0xFF000000u);
            renderer_->DrawText(text, 12, 12, kWhite, false, 0, 0);
        });
        return Mismatches(h, GlyphImageCorner(h.data, 12, 12, text->font->LineHeight())) == 0;
    };
    ASSERT_TRUE(drawn());
    d3d9ctl::LoseDevice();
    renderer_->BeginScene();
    renderer_->DrawText(text, 12, 12, kWhite, false, 0, 0);
    renderer_->EndScene(true);
    d3d9ctl::RestoreDevice();
    renderer_->BeginScene();  // the reset
    renderer_->EndScene(false);
    ASSERT_FALSE(Renderer()->IsDeviceLost());
    EXPECT_TRUE(drawn()) << "the page's video copy came back from its system copy";
    EXPECT_EQ(FontOf(text)->GetPageCount(), 1) << "nothing laid out again";
}

TEST_F(LegacyText, BadInputDrawsWhatItCanAndNeverThrows) {
    struct Case {
        const char* name;
        const char16_t* font;
        std::int32_t size;
        std::u16string text;
        int drawnWords;  // word draws with a glyph on a page
    } cases[] = {
        {"missing font file", u"/no/such/font.ttf", 20, u"Hi", 0},
        {"size 0", kLatinFont, 0, u"Hi", 0},
        {"negative size", kLatinFont, -5, u"Hi", 0},
        {"size above 255", kLatinFont, 300, u"H", 1},
        {"empty text", kLatinFont, 20, u"", 0},
        {"code units without glyph", kLatinFont, 20, u"A\uFFFF\u9AD8B", 2},
        {"space", kLatinFont, 20, u"A B", 2},
        {"over-long text", kLatinFont, 10, std::u16string(300, u'x'), 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        STRU_TEXT_COMMAND* text = Text(c.font, c.size, c.text.c_str());
        int drawn = 0;
        for (STRU_WORD_DRAW* word : Words(text)) drawn += word->word != nullptr && word->word->Page() != nullptr;
        EXPECT_EQ(drawn, c.drawnWords);
        EXPECT_EQ(Words(text).size(), std::min<std::size_t>(c.text.size(), 255));
        LegacyFrame([&] { renderer_->DrawTextInRect(text, 0, 0, 320, 240, kWhite, true, true, 0xFF00FF00u, 1); });
    }

    // The glyph library refusing one code unit leaves a gap there, and the rest is laid out.
    fontmillctl::FailGetBitmap(u'e');
    STRU_TEXT_COMMAND* refused = Text(kLatinFont, 16, u"Hey");
    const std::vector<STRU_WORD_DRAW*> words = Words(refused);
    ASSERT_EQ(words.size(), 3u);
    EXPECT_EQ(words[1]->word, nullptr);
    EXPECT_NE(words[2]->word, nullptr);
    fontmillctl::FailGetBitmap(fontmillctl::kNoFailure);
    std::int32_t width = 0;
    renderer_->GetTextExtent(refused, &width, nullptr, 0);
    EXPECT_EQ(width, words[0]->word->Advance() + words[2]->word->Advance()) << "the gap does not advance";
}

TEST_F(LegacyText, PagesThatCannotBeMadeOrLockedLeaveTheTextUndrawnAndLogged) {
    // The first lock is the texture pool clearing the page's system copy, the second the page's own.
    d3d9ctl::FailCall("LockRect", 2, E_FAIL);
    STRU_TEXT_COMMAND* text = Text(kLatinFont, 20, u"Hi");
    EXPECT_TRUE(LogContains(u"CFontTex::CreateNewPiture() failed, LockRect() failed."));
    // The page made at the next request serves the glyphs.
    EXPECT_EQ(FontOf(text)->GetPageCount(), 1);
    EXPECT_NE(Words(text)[0]->word, nullptr);

    d3d9ctl::FailCall("LockRect", 1, E_FAIL);
    STRU_TEXT_COMMAND* locked = Text(kLatinFont, 20, u"Z");
    EXPECT_TRUE(LogContains(u"CFontTex::GetWord() failed, LockRect error."));
    EXPECT_EQ(Words(locked)[0]->word, nullptr);
    EXPECT_NE(FontOf(locked)->GetWord(u'Z'), nullptr) << "asked again, placed this time";

    d3d9ctl::FailCall("CreateTexture", 1, E_OUTOFMEMORY, 1000);
    STRU_TEXT_COMMAND* unmade = Text(kLatinFont, 40, u"Hi");
    d3d9ctl::ClearFailures();
    EXPECT_EQ(FontOf(unmade)->GetPageCount(), 0);
    for (STRU_WORD_DRAW* word : Words(unmade)) EXPECT_EQ(word->word, nullptr);
    LegacyFrame([&] { renderer_->DrawText(unmade, 0, 0, kWhite, false, 0, 0); });
}

TEST_F(LegacyText, TheGlyphLibraryIsReadiedOnceAndFontsAreOrderedBySizeThenPath) {
    EXPECT_TRUE(LogHasInOrder({u"FT2FontEngine Init...", u"FT2FontEngine Init success."}));
    EXPECT_TRUE(GetFT2FontEngine()->IsInitialized());
    Release();
    ASSERT_NE(Create(), nullptr);
    EXPECT_FALSE(LogContains(u"FT2FontEngine Init")) << "already ready";

    auto key = [](const char16_t* path, std::int32_t size) {
        font_desc_t desc;
        desc.Assign(path, static_cast<std::uint8_t>(size), 0);
        return font_tex_key_t::Of(desc);
    };
    const font_tex_key_less_t less;
    EXPECT_TRUE(less(key(u"b", 10), key(u"a", 11))) << "size first";
    EXPECT_TRUE(less(key(u"a", 10), key(u"b", 10)));
    EXPECT_TRUE(less(key(u"\u0100", 10), key(u"\u00FF", 10))) << "then the bytes, low byte first";
    EXPECT_FALSE(less(key(u"a", 10), key(u"a", 10)));
}

}  // namespace
}  // namespace lumi::test

namespace lumi::test {
namespace {

TEST_F(LegacyText, TextLiesInFrontOfWhatWasDrawnBeforeIt) {
    renderer_->SetFontAntialias(false);
    STRU_TEXT_COMMAND* text = Text(kLatinFont, 24, u"I");
    const GlyphReference bar = GlyphReference::Of(kLatinFont, u'I', 24);
    const POINT corner = GlyphImageCorner(bar.data, 40, 40, text->font->LineHeight());
    const POINT inside{corner.x, corner.y + bar.data.rows / 2};
    ITexture* translucent = FilledTexture(64, 64, 0x80FF0000u);
    ITexture* opaque = FilledTexture(64, 64, 0xFF0000FFu);
    ASSERT_NE(translucent, nullptr);
    const RECT whole{0, 0, 64, 64};
    for (ITexture* under : {translucent, opaque}) {
        const RECT at{inside.x - 20, inside.y - 20, inside.x + 20, inside.y + 20};
        LegacyFrame([&] {
            renderer_->SetBackgroundColor(0xFF000000u);
            renderer_->DrawTexture(under, &at, &whole, 0xFFFFFFFFu, under == opaque ? 1 : 2);
            renderer_->DrawText(text, 40, 40, kWhite, false, 0, 0);
        });
        EXPECT_EQ(Pixel(inside.x, inside.y), 0xFFFFFFu);
    }
    renderer_->DestroyTexture(translucent);
    renderer_->DestroyTexture(opaque);
}

}  // namespace
}  // namespace lumi::test
