// Text through IRenderer on the software device: where glyphs land, how they are coloured
// and outlined, wrapping and clipping, the western font, and text across device loss and a
// display-mode change.
#include <cstdlib>

#include "tests/draw/text_test_fixture.h"

namespace lumi::test {
namespace {

class TextRenderTest : public TextTest {
protected:
    // The first pixel of the image's row `row` whose coverage is full, as a screen point.
    static POINT FullPixel(const Reference& glyph, POINT corner, int row) {
        for (int x = 0; x < glyph.data.width; ++x)
            if (glyph.Coverage(x, row) == 255) return POINT{corner.x + x, corner.y + row};
        return POINT{-1, -1};
    }
};

TEST_F(TextRenderTest, GlyphsLandOnTheBaselineWithTheirOffsetsAndSpacing) {
    struct Case {
        bool antialias;
        int size;
    } cases[] = {{true, 20}, {false, 21}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.antialias ? "grey" : "mono");
        ASSERT_EQ(renderer_->SetFontAntialias(c.antialias), c.antialias);
        STRU_TEXT_COMMAND* text = Text(kLatinFont, c.size, u"Hg");
        const Reference h = ReferenceGlyph(kLatinFont, u'H', c.size);
        const Reference g = ReferenceGlyph(kLatinFont, u'g', c.size);
        ASSERT_EQ(h.data.pixelMode, c.antialias ? kFT2PixelModeGray : kFT2PixelModeMono);
        const int lineHeight = static_cast<int>(text->font->mainFont->GetLineHeight());
        EXPECT_EQ(lineHeight, h.data.lineHeight);
        constexpr int kSpacing = 3;
        DrawFrame([&] { renderer_->DrawText(text, 20, 30, kWhite, false, 0, kSpacing); });

        int covered = 0;
        EXPECT_EQ(Mismatches(h, ImageCorner(h.data, 20, 30, lineHeight), &covered), 0);
        EXPECT_GT(covered, 20);
        const int penG = 20 + h.data.advance + kSpacing;
        EXPECT_EQ(Mismatches(g, ImageCorner(g.data, penG, 30, lineHeight)), 0);
        // 'H' stands on the baseline, 'g' hangs below it.
        EXPECT_LT(ImageCorner(h.data, 20, 30, lineHeight).y + h.data.rows,
                  ImageCorner(g.data, penG, 30, lineHeight).y + g.data.rows);
    }
}

TEST_F(TextRenderTest, ColourAlphaAndTheOutlineAroundAndBehindEachGlyph) {
    renderer_->SetFontAntialias(false);  // whole pixels make the outline exact
    STRU_TEXT_COMMAND* text = Text(kLatinFont, 24, u"II");
    const Reference bar = ReferenceGlyph(kLatinFont, u'I', 24);
    const int lineHeight = static_cast<int>(text->font->mainFont->GetLineHeight());
    const POINT first = ImageCorner(bar.data, 40, 40, lineHeight);
    const POINT second = ImageCorner(bar.data, 40 + bar.data.advance, 40, lineHeight);
    const int middle = bar.data.rows / 2;
    ASSERT_EQ(bar.Coverage(0, middle), 255);
    ASSERT_EQ(bar.Coverage(bar.data.width - 1, middle), 255);

    // Half-transparent red over black.
    DrawFrame([&] { renderer_->DrawText(text, 40, 40, 0x80FF0000, false, 0, 0); });
    EXPECT_NEAR(static_cast<int>(Pixel(first.x, first.y + middle) >> 16), 0x80, 1);
    EXPECT_EQ(Pixel(first.x, first.y + middle) & 0xFFFF, 0u);
    EXPECT_EQ(Pixel(first.x - 1, first.y + middle), 0u) << "no outline asked for";

    // Outlined in blue: one pixel around each glyph in the outline colour, the glyph drawn
    // over its outline (which shows through the half-transparent red).
    DrawFrame([&] { renderer_->DrawText(text, 40, 40, 0x80FF0000, true, 0xFF0000FF, 0); });
    for (POINT corner : {first, second}) {
        EXPECT_EQ(Pixel(corner.x - 1, corner.y + middle), 0x0000FFu);
        EXPECT_EQ(Pixel(corner.x + bar.data.width, corner.y + middle), 0x0000FFu);
        EXPECT_EQ(Pixel(corner.x, corner.y - 1), 0x0000FFu);
        EXPECT_EQ(Pixel(corner.x, corner.y + bar.data.rows), 0x0000FFu);
        EXPECT_EQ(Pixel(corner.x - 1, corner.y - 1), 0u) << "diagonals stay clear";
        const std::uint32_t inside = Pixel(corner.x, corner.y + middle);
        EXPECT_NEAR(static_cast<int>(inside >> 16), 0x80, 1);
        EXPECT_NEAR(static_cast<int>(inside & 0xFF), 0x7F, 1);
    }

    // Glyph boxes that overlap their neighbour's outline: every outline lies behind every
    // glyph of the text, so a glyph's transparent corner never hides the next one's outline.
    STRU_TEXT_COMMAND* tight = Text(kLatinFont, 24, u"LI");
    const Reference l = ReferenceGlyph(kLatinFont, u'L', 24);
    const int spacing = l.data.left + l.data.width - bar.data.left - l.data.advance;
    const POINT lCorner = ImageCorner(l.data, 40, 100, lineHeight);
    const POINT iCorner = ImageCorner(bar.data, 40 + l.data.advance + spacing, 100, lineHeight);
    ASSERT_EQ(iCorner.x - 1, lCorner.x + l.data.width - 1);
    ASSERT_EQ(l.Coverage(l.data.width - 1, iCorner.y + middle - lCorner.y), 0);
    const int barRow = l.data.rows - 1;  // the foot of the L, under the I's left outline
    ASSERT_EQ(l.Coverage(l.data.width - 1, barRow), 255);
    ASSERT_EQ(bar.Coverage(0, lCorner.y + barRow - iCorner.y), 255);
    DrawFrame([&] { renderer_->DrawText(tight, 40, 100, 0xFFFF0000, true, 0xFF0000FF, spacing); });
    EXPECT_EQ(Pixel(iCorner.x - 1, iCorner.y + middle), 0x0000FFu);
    EXPECT_EQ(Pixel(lCorner.x + l.data.width - 1, lCorner.y + barRow), 0xFF0000u) << "the L over the I's outline";

    // Grey mode greys text and outline as it greys textures.
    renderer_->SetGreyMode(true);
    DrawFrame([&] { renderer_->DrawText(text, 40, 40, 0xFFFF0000, true, 0xFF0000FF, 0); });
    EXPECT_EQ(Pixel(first.x, first.y + middle), 0x363636u) << "0.2125 of full red";
    EXPECT_EQ(Pixel(first.x - 1, first.y + middle), 0x121212u) << "0.0721 of full blue";
}

TEST_F(TextRenderTest, WrappingNeedsTwoLineHeightsAndUnwrappedTextStopsAtTheLastWholeGlyph) {
    STRU_TEXT_COMMAND* text = Text(kLatinFont, 16, u"HHHHHH");
    const Reference h = ReferenceGlyph(kLatinFont, u'H', 16);
    const int lineHeight = static_cast<int>(text->font->mainFont->GetLineHeight());
    const int advance = h.data.advance;
    auto placed = [&] {
        std::vector<RECT> rects;
        for (lru_obj_s* node = lru_obj_s::Next(&text->words); node != &text->words; node = lru_obj_s::Next(node))
            rects.push_back(word_node_t::FromNode(node)->draw->rect);
        return rects;
    };
    // Room for two and a half glyphs a line.
    const int right = 10 + 2 * advance + advance / 2;

    struct Case {
        const char* name;
        bool wrap;
        int bottom;
        int shown;  // glyphs placed
    } cases[] = {
        {"no wrap", false, 200, 2},
        {"wrap, a second line fits", true, 10 + 2 * lineHeight, 4},
        {"wrap, one pixel short of a second line", true, 10 + 2 * lineHeight - 1, 2},
        {"wrap, a third line fits", true, 10 + 3 * lineHeight, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DrawFrame([&] { renderer_->DrawTextInRect(text, 10, 10, right, c.bottom, kWhite, c.wrap, false, 0, 0); });
        const std::vector<RECT> rects = placed();
        for (int i = 0; i < static_cast<int>(rects.size()); ++i) {
            const bool shown = i < c.shown;
            EXPECT_EQ(IsRectEmpty(&rects[i]) == FALSE, shown) << "glyph " << i;
            if (!shown) continue;
            const int line = i / 2;
            const POINT corner = ImageCorner(h.data, 10 + (i % 2) * advance, 10 + line * lineHeight, lineHeight);
            EXPECT_EQ(rects[i].left, corner.x) << "glyph " << i;
            EXPECT_EQ(rects[i].top, corner.y) << "glyph " << i;
        }
        // Nothing right of the last whole glyph of the first line.
        const POINT third = ImageCorner(h.data, 10 + 2 * advance, 10, lineHeight);
        EXPECT_EQ(Pixel(third.x + 1, third.y + h.data.rows / 2), 0u);
        if (c.shown > 2) {
            const POINT below = FullPixel(h, ImageCorner(h.data, 10, 10 + lineHeight, lineHeight), h.data.rows / 2);
            EXPECT_EQ(Pixel(below.x, below.y), 0xFFFFFFu) << "the second line is drawn";
        }
    }
}

TEST_F(TextRenderTest, AnotherSpacingOrWrapAtTheSameRectanglePlacesTheGlyphsAgain) {
    STRU_TEXT_COMMAND* text = Text(kLatinFont, 16, u"H H");
    const Reference h = ReferenceGlyph(kLatinFont, u'H', 16);
    const Reference space = ReferenceGlyph(kLatinFont, u' ', 16);
    ASSERT_GT(space.data.advance, 0);
    auto lastLeft = [&] { return word_node_t::FromNode(text->words.prev)->draw->rect.left; };
    const int lineHeight = static_cast<int>(text->font->mainFont->GetLineHeight());
    for (int spacing : {0, 4, 0}) {
        DrawFrame([&] { renderer_->DrawTextInRect(text, 10, 10, 300, 100, kWhite, false, false, 0, spacing); });
        // The space is not drawn, but moves the pen by its advance.
        EXPECT_EQ(lastLeft(), ImageCorner(h.data, 10 + h.data.advance + space.data.advance + 2 * spacing, 10,
                                          lineHeight).x);
    }
    // Narrow enough to wrap after the space: placed again when wrap is switched on.
    const int right = 10 + h.data.advance + space.data.advance + h.data.advance / 2;
    DrawFrame([&] { renderer_->DrawTextInRect(text, 10, 10, right, 100, kWhite, false, false, 0, 0); });
    EXPECT_TRUE(IsRectEmpty(&word_node_t::FromNode(text->words.prev)->draw->rect));
    DrawFrame([&] { renderer_->DrawTextInRect(text, 10, 10, right, 100, kWhite, true, false, 0, 0); });
    EXPECT_EQ(lastLeft(), ImageCorner(h.data, 10, 10 + lineHeight, lineHeight).x);
}

TEST_F(TextRenderTest, TheWesternFontServesLatinAndTheMainFontChinese) {
    STRU_DRAW_COMMAND_BASE* cmd = renderer_->CreatePrimitive(kDrawCmdText);
    commands_.push_back(cmd);
    ASSERT_TRUE(renderer_->SetFonts(cmd, 0, kChineseFont, 20, 0, kLatinFont, 20, 0));
    auto* text = static_cast<STRU_TEXT_COMMAND*>(cmd);
    ASSERT_TRUE(renderer_->SetText(cmd, u"A\u4E2D\u00FF"));
    CD3DFont* western = text->font->westernFont;
    CD3DFont* main = text->font->mainFont;
    ASSERT_NE(western, nullptr);
    EXPECT_EQ(text->font->GetWord(u'A')->GetFont(), western);
    EXPECT_EQ(text->font->GetWord(0xFE)->GetFont(), western) << "254 is the last western code unit";
    EXPECT_EQ(text->font->GetWord(0xFF)->GetFont(), main);
    EXPECT_EQ(text->font->GetWord(0x4E2D)->GetFont(), main);

    DrawFrame([&] { renderer_->DrawText(cmd, 30, 50, kWhite, false, 0, 0); });
    const int lineHeight = static_cast<int>(main->GetLineHeight());
    const Reference latin = ReferenceGlyph(kLatinFont, u'A', 20);
    const Reference chinese = ReferenceGlyph(kChineseFont, 0x4E2D, 20);
    int covered = 0;
    EXPECT_EQ(Mismatches(latin, ImageCorner(latin.data, 30, 50, lineHeight)), 0);
    EXPECT_EQ(Mismatches(chinese, ImageCorner(chinese.data, 30 + latin.data.advance, 50, lineHeight), &covered), 0);
    EXPECT_GT(covered, 40);
}

TEST_F(TextRenderTest, TextSurvivesDeviceLossAndIsLaidOutAgainAfterAModeChange) {
    STRU_TEXT_COMMAND* text = Text(kLatinFont, 18, u"Hi");
    const Reference h = ReferenceGlyph(kLatinFont, u'H', 18);
    auto drawn = [&] {
        const int lineHeight = static_cast<int>(text->font->mainFont->GetLineHeight());
        return Mismatches(h, ImageCorner(h.data, 12, 12, lineHeight)) == 0;
    };
    DrawFrame([&] { renderer_->DrawText(text, 12, 12, kWhite, false, 0, 0); });
    ASSERT_TRUE(drawn());

    d3d9ctl::LoseDevice();
    DrawFrame([&] { renderer_->DrawText(text, 12, 12, kWhite, false, 0, 0); });
    d3d9ctl::RestoreDevice();
    RunFrame();  // the reset
    ASSERT_FALSE(Renderer()->IsDeviceLost());
    DrawFrame([&] { renderer_->DrawText(text, 12, 12, kWhite, false, 0, 0); });
    EXPECT_TRUE(drawn()) << "the page came back from its system copy";

    ASSERT_EQ(Fonts()->GetPageCount(), 1);
    ASSERT_TRUE(renderer_->ChangeDisplayMode(400, 300, 32, 1, false, true));
    EXPECT_EQ(Fonts()->GetPageCount(), 0);
    EXPECT_EQ(text->font->mainFont->LoadedCount() + text->font->mainFont->PendingCount(), 0)
        << "the glyphs went with their page";
    DrawFrame([&] { renderer_->DrawText(text, 12, 12, kWhite, false, 0, 0); });
    EXPECT_EQ(Fonts()->GetPageCount(), 1) << "new glyphs on a new page";
    EXPECT_TRUE(drawn());
}

}  // namespace
}  // namespace lumi::test
