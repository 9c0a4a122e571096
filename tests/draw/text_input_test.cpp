// Text and font operations given bad input: missing or broken font files, odd sizes and
// texts, code units without glyphs, commands of the wrong type, and pages the device refuses.
// Each ends with the Part's result or an empty result, a log line where there is one, and
// never a crash or a leak.
#include <fstream>
#include <limits>

#include "tests/draw/text_test_fixture.h"
#include "tests/support/message_capture.h"

namespace lumi::test {
namespace {

class TextInputTest : public TextTest {
protected:
    std::vector<RECT> WordRects(STRU_TEXT_COMMAND* text) {
        std::vector<RECT> rects;
        for (lru_obj_s* node = lru_obj_s::Next(&text->words); node != &text->words; node = lru_obj_s::Next(node))
            rects.push_back(word_node_t::FromNode(node)->draw->rect);
        return rects;
    }
};

TEST_F(TextInputTest, FontFilesThatCannotBeInstalledGivePlaceholdersAndNoText) {
    std::ofstream(folder_.File("broken.ttf"), std::ios::binary) << "not a font";
    for (const char16_t* path : {u"missing.ttf", u"broken.ttf", u""}) {
        STRU_DRAW_COMMAND_BASE* cmd = renderer_->CreatePrimitive(kDrawCmdText);
        commands_.push_back(cmd);
        EXPECT_EQ(renderer_->SetFont(cmd, path, 16), 0);
        EXPECT_TRUE(LogContains(u"can NOT install font path = [" + std::u16string(path) + u"]"));
        IFont* font = renderer_->GetFont(path, 16, 0, 0);
        CWordTex* glyph = font->GetWord(u'A');
        ASSERT_NE(glyph, nullptr);
        EXPECT_TRUE(glyph->IsLoaded());
        EXPECT_EQ(glyph->Page(), nullptr);
        EXPECT_FALSE(font->HasMetrics());
        EXPECT_FALSE(renderer_->SetText(cmd, u"Abc")) << "no line metrics: nothing to lay out";
        DrawFrame([&] { renderer_->DrawText(cmd, 0, 0, kWhite, true, kWhite, 0); });
        std::int32_t width = -1, height = -1;
        EXPECT_TRUE(renderer_->GetTextExtent(cmd, &width, &height, 0));
        EXPECT_EQ(width, 0);
        EXPECT_EQ(height, 0);
    }
    EXPECT_EQ(renderer_->GetFont(nullptr, 16, 0, 0), nullptr);
    EXPECT_EQ(Fonts()->GetPageCount(), 0);
}

TEST_F(TextInputTest, SizesAndTextsOutOfRange) {
    // Sizes are held to the size byte's range; size 0 rasterises nothing.
    struct SizeCase {
        int size;
        std::uint8_t key;
    } sizes[] = {{0, 0}, {-4, 0}, {255, 255}, {300, 255}};
    for (const SizeCase& c : sizes) {
        auto* font = static_cast<CD3DFont*>(renderer_->GetFont(kLatinFont, c.size, 0, 0));
        EXPECT_EQ(font->GetKey().size, c.key) << c.size;
        EXPECT_EQ(font->HasMetrics(), c.key != 0) << c.size;
    }
    EXPECT_NE(renderer_->GetFont(kLatinFont, 16, 1, 0), renderer_->GetFont(kLatinFont, 16, 0, 0)) << "style";
    EXPECT_EQ(renderer_->GetFont(kLatinFont, 16, 0x20, 0), renderer_->GetFont(kLatinFont, 16, 0, 0))
        << "only four style bits";

    STRU_TEXT_COMMAND* text = Text(kLatinFont, 12, u"");
    EXPECT_FALSE(renderer_->SetText(text, nullptr));
    EXPECT_FALSE(renderer_->SetText(text, u""));
    EXPECT_TRUE(renderer_->SetText(text, u"same"));
    EXPECT_FALSE(renderer_->SetText(text, u"same")) << "unchanged";
    const std::u16string longText(300, u'x');
    EXPECT_TRUE(renderer_->SetText(text, longText.c_str()));
    EXPECT_EQ(std::u16string(text->text), longText.substr(0, 255));
    EXPECT_EQ(text->words.Count(), 255);
    EXPECT_FALSE(renderer_->SetText(text, longText.c_str())) << "the same first 255 units";

    // A rectangle turned inside out places nothing, wrapped or not.
    for (bool wrap : {false, true}) {
        DrawFrame([&] { renderer_->DrawTextInRect(text, 100, 10, 50, 12, kWhite, wrap, false, 0, 0); });
        for (const RECT& rect : WordRects(text)) EXPECT_TRUE(IsRectEmpty(&rect));
    }
    // Far corners do not overflow the pen.
    DrawFrame([&] { renderer_->DrawText(text, 0x7FFFFFF0, 0x7FFFFFF0, kWhite, false, 0, 0x7FFFFFFF); });
}

TEST_F(TextInputTest, TheExtentOfAnySpacingIsHeldToWhatARectTakes) {
    STRU_TEXT_COMMAND* text = Text(kLatinFont, 16, u"Hi");
    std::int32_t width = 0;
    std::int32_t height = 0;
    ASSERT_TRUE(renderer_->GetTextExtent(text, &width, &height, 0));
    ASSERT_GT(width, 0);
    const std::int32_t lineHeight = height;
    ASSERT_TRUE(renderer_->GetTextExtent(text, &width, &height, std::numeric_limits<std::int32_t>::max()));
    EXPECT_EQ(width, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(height, lineHeight);
    ASSERT_TRUE(renderer_->GetTextExtent(text, &width, &height, std::numeric_limits<std::int32_t>::min()));
    EXPECT_EQ(width, std::numeric_limits<std::int32_t>::min());
}

TEST_F(TextInputTest, CodeUnitsWithoutGlyphsBecomeEmptyPlaceholders) {
    MessageCapture messages;
    fontmillctl::FailGetBitmap(u'B');
    STRU_TEXT_COMMAND* text = Text(kLatinFont, 16, u"");
    const std::u16string sample = {u'A', u'B', 0xD800, 0xDC00, 0xFFFF, u'C'};
    ASSERT_TRUE(renderer_->SetText(text, sample.c_str()));
    EXPECT_TRUE(messages.Contains("can NOT get bitmap from Fontmill, codepoint[66]"));
    EXPECT_TRUE(messages.Contains("no glyph for codepoint[65535]"));

    DrawFrame([&] { renderer_->DrawText(text, 10, 10, kWhite, false, 0, 0); });
    const std::vector<RECT> rects = WordRects(text);
    ASSERT_EQ(rects.size(), sample.size());
    for (int i : {1, 2, 3, 4}) EXPECT_TRUE(IsRectEmpty(&rects[static_cast<std::size_t>(i)])) << i;
    // Nothing between A and C takes room.
    const CWordTex* a = text->font->mainFont->GetWord(u'A');
    const CWordTex* c = text->font->mainFont->GetWord(u'C');
    EXPECT_EQ(rects[5].left - c->OffsetX(), rects[0].left - a->OffsetX() + a->Advance());
    std::int32_t width = 0, height = 0;
    EXPECT_TRUE(renderer_->GetTextExtent(text, &width, &height, 2));
    EXPECT_EQ(width, a->Advance() + c->Advance() + 2 * static_cast<int>(sample.size()));
    EXPECT_EQ(height, a->LineHeight());
}

TEST_F(TextInputTest, CommandsOfTheWrongTypeAreLeftAlone) {
    STRU_TEXT_COMMAND* text = Text(kLatinFont, 16, u"Hi");
    STRU_DRAW_COMMAND_BASE* rect = renderer_->CreatePrimitive(kDrawCmdTexturedRect);
    commands_.push_back(rect);
    for (STRU_DRAW_COMMAND_BASE* wrong : {rect, static_cast<STRU_DRAW_COMMAND_BASE*>(nullptr), ScratchCommand()}) {
        EXPECT_EQ(renderer_->SetFont(wrong, kLatinFont, 16), 0);
        EXPECT_FALSE(renderer_->SetFonts(wrong, 0, kLatinFont, 16, 0, kLatinFont, 16, 0));
        EXPECT_FALSE(renderer_->SetText(wrong, u"x"));
        EXPECT_FALSE(renderer_->GetTextExtent(wrong, nullptr, nullptr, 0));
    }
    d3d9ctl::ResetCounters();
    DrawFrame([&] {
        renderer_->DrawText(rect, 0, 0, kWhite, false, 0, 0);
        renderer_->DrawText(nullptr, 0, 0, kWhite, false, 0, 0);
        renderer_->DrawRect(text, 0, 0, 10, 10, kWhite, true);
        renderer_->DrawPoint(text, 1, 1, kWhite);
        renderer_->DrawTexturePrimitiveEx(text, 0, 0, kWhite, nullptr, nullptr);
        EXPECT_FALSE(renderer_->SetTexture(text, u"a.png", false));
        std::int16_t w = 0, h = 0;
        EXPECT_FALSE(renderer_->GetTextureSize(text, &w, &h));
    });
    EXPECT_EQ(d3d9ctl::GetCounters().drawCalls, 0u);
    EXPECT_EQ(Pixel(5, 5), 0u);
    EXPECT_THROW(renderer_->ClonePrimitive(text), std::exception);
    EXPECT_FALSE(renderer_->SetFonts(text, 0, nullptr, 16, 0, kLatinFont, 16, 0)) << "no main font";
    EXPECT_TRUE(renderer_->SetFonts(text, 0, kLatinFont, 16, 0, nullptr, 16, 0));
    EXPECT_EQ(text->font->westernFont, nullptr);

    // Released while queued: kept until its frame has been drawn.
    DrawFrame([&] {
        renderer_->DrawText(text, 5, 5, kWhite, true, kWhite, 0);
        renderer_->ReleasePrimitive(text);
        commands_.erase(commands_.begin());
    });
}

TEST_F(TextInputTest, FontPagesTheDeviceRefusesLeaveGlyphsWithoutImage) {
    struct Case {
        const char* operation;
        int nth;  // the call that fails, counted from the font's first glyph
        const char16_t* line;
    } cases[] = {
        {"CreateTexture", 1, u"Not enough memory in pool"},
        {"LockRect", 1, u"CFontTex::CreateNewPiture() failed, LockRect() failed."},
        {"LockRect", 2, u"CFontTex::GetWord() failed, LockRect error."},
    };
    int size = 14;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.operation);
        d3d9ctl::FailCall(c.operation, c.nth, E_FAIL, 1000);
        CD3DFont* font = Fonts()->GetFont(kLatinFont, static_cast<std::uint8_t>(size++), 0);
        d3d9ctl::ClearFailures();
        EXPECT_TRUE(LogContains(c.line));
        EXPECT_EQ(font->GetWord(u'!')->Page(), nullptr);
        EXPECT_FALSE(font->GetWord(u'!')->HasPixels());
        EXPECT_GT(font->GetWord(u'!')->Advance(), 0) << "the pen still moves";
        Fonts()->ReleasePages();
    }
    EXPECT_TRUE(LogContains(u"CreateNewPicture -- out of memory"));

    // The engine missing altogether.
    fontmillctl::SetEngineAvailable(false);
    EXPECT_FALSE(renderer_->SetFontAntialias(true));
    EXPECT_FALSE(renderer_->GetFontAntialias());
    EXPECT_EQ(CountLines(u"invalid Fontmill pointer!"), 2);
    fontmillctl::SetEngineAvailable(true);
    EXPECT_TRUE(renderer_->SetFontAntialias(true));
}

TEST_F(TextInputTest, DefaultFontsAndTheWesternPathGoToTheirOwners) {
    CRenderFont* first = renderer_->SetDefaultFont(kLatinFont, 16);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->mainFont, renderer_->GetFont(kLatinFont, 16, 0, 0));
    EXPECT_EQ(first->westernFont, nullptr);
    CRenderFont* second = renderer_->SetDefaultFont(kChineseFont, 16);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->mainFont, renderer_->GetFont(kChineseFont, 16, 0, 0));
    EXPECT_EQ(renderer_->SetDefaultFont(nullptr, 16), nullptr);

    renderer_->SetWesternFontPath(kLatinFont);
    const Reference western = ReferenceGlyph(kChineseFont, u'W', 20);
    const Reference latin = ReferenceGlyph(kLatinFont, u'W', 20);
    EXPECT_EQ(western.data.advance, latin.data.advance);
    renderer_->SetWesternFontPath(nullptr);
}

}  // namespace
}  // namespace lumi::test
