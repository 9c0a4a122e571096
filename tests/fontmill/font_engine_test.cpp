// The glyph library stand-in: faces by path, rasterised glyphs and their metrics, the
// release bookkeeping and the test switches.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/fontmill/control.h"
#include "platform/fontmill/fontmill.h"
#include "tests/support/test_fonts.h"
#include "tests/support/work_folder.h"

namespace lumi::test {
namespace {

class FontEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        LUMI_REQUIRE_FONTS();
        fontmillctl::Reset();
        engine_ = GetFT2FontEngine();
        ASSERT_NE(engine_, nullptr);
    }
    void TearDown() override { fontmillctl::Reset(); }

    static STRU_BITMAPGET_INFO Request(const char16_t* path, char16_t codeUnit, std::uint8_t size) {
        STRU_BITMAPGET_INFO request{};
        std::copy_n(path, std::char_traits<char16_t>::length(path) + 1, request.path);
        request.codeUnit = codeUnit;
        request.size = size;
        request.style = 0x10;
        return request;
    }

    CFT2GlyphBitmap* Glyph(const char16_t* path, char16_t codeUnit, std::uint8_t size) {
        STRU_BITMAPGET_INFO request = Request(path, codeUnit, size);
        return engine_->GetBitmap(request);
    }

    CFT2FontEngine* engine_ = nullptr;
};

TEST_F(FontEngineTest, FacesInstallOncePerPathAndKnowTheirCharacters) {
    TempWorkFolder folder;
    std::ofstream(folder.File("not-a-font.ttf"), std::ios::binary) << "this is no font at all";

    EXPECT_EQ(engine_->InstallFontByPath(u"missing/font.ttf"), nullptr);
    EXPECT_EQ(engine_->InstallFontByPath(u"not-a-font.ttf"), nullptr);
    EXPECT_EQ(engine_->InstallFontByPath(nullptr), nullptr);
    EXPECT_EQ(engine_->InstallFontByPath(u""), nullptr);
    CFT2Face* latin = engine_->InstallFontByPath(kLatinFont);
    ASSERT_NE(latin, nullptr);
    EXPECT_EQ(engine_->InstallFontByPath(kLatinFont), latin);
    CFT2Face* chinese = engine_->InstallFontByPath(kChineseFont);
    ASSERT_NE(chinese, nullptr);
    EXPECT_EQ(fontmillctl::GetCounters().facesInstalled, 2);

    struct Case {
        unsigned long codePoint;
        bool latin, chinese;
    } cases[] = {{u'A', true, true}, {0x4E2D, false, true}, {0xD800, false, false}, {0xDC00, false, false},
                 {0xFFFF, false, false}};
    for (const Case& c : cases) {
        EXPECT_EQ(latin->IsCodepointAvailable(c.codePoint), c.latin) << std::hex << c.codePoint;
        EXPECT_EQ(chinese->IsCodepointAvailable(c.codePoint), c.chinese) << std::hex << c.codePoint;
    }
}

TEST_F(FontEngineTest, GreyGlyphsCarryTheirImageAndTheFaceMetricsYDown) {
    CFT2GlyphBitmap* glyph = Glyph(kLatinFont, u'H', 24);
    ASSERT_NE(glyph, nullptr);
    ASSERT_TRUE(glyph->IsLoaded());
    ASSERT_TRUE(glyph->IsValid());
    const STRU_FONT_BITMAP& data = glyph->GetData();
    EXPECT_EQ(data.pixelMode, kFT2PixelModeGray);
    EXPECT_EQ(data.grayLevels, 256);
    EXPECT_GE(data.pitch, data.width);
    EXPECT_EQ(data.bufferSize, data.rows * data.pitch);
    // 'H' stands on the baseline: its top row lies its cap height above it.
    EXPECT_EQ(data.top, -data.rows);
    EXPECT_GE(data.left, 0);
    EXPECT_GT(data.advance, data.width);
    EXPECT_GT(data.ascender, 0.0f);
    EXPECT_LT(data.descender, 0.0f);
    EXPECT_GE(static_cast<float>(data.lineHeight), data.ascender - data.descender - 1.0f);
    EXPECT_NE(std::find(data.buffer, data.buffer + data.bufferSize, 255), data.buffer + data.bufferSize)
        << "the stems are fully covered";

    // The size byte is the pixel height: twice the size, twice the letter.
    CFT2GlyphBitmap* large = Glyph(kLatinFont, u'H', 48);
    ASSERT_NE(large, nullptr);
    EXPECT_NEAR(large->GetData().rows, 2 * data.rows, 2);
    EXPECT_NEAR(large->GetData().lineHeight, 2 * data.lineHeight, 2);
    glyph->Release();
    large->Release();
}

TEST_F(FontEngineTest, MonoGlyphsPackOneBitAPixelMostSignificantFirst) {
    engine_->SetAntialias(false);
    EXPECT_FALSE(engine_->GetAntialias());
    CFT2GlyphBitmap* glyph = Glyph(kLatinFont, u'H', 21);
    ASSERT_NE(glyph, nullptr);
    const STRU_FONT_BITMAP& data = glyph->GetData();
    ASSERT_EQ(data.pixelMode, kFT2PixelModeMono);
    ASSERT_GT(data.width % 8, 0) << "the test needs padding bits";
    EXPECT_GE(data.pitch, (data.width + 7) / 8);
    auto bit = [&](int x, int y) { return (data.buffer[y * data.pitch + x / 8] >> (7 - x % 8)) & 1; };
    // The stems of 'H' are its first and last columns, from top to bottom.
    for (int y = 0; y < data.rows; ++y) {
        EXPECT_EQ(bit(0, y), 1) << "row " << y;
        EXPECT_EQ(bit(data.width - 1, y), 1) << "row " << y;
        for (int x = data.width; x < data.pitch * 8; ++x) EXPECT_EQ(bit(x, y), 0) << "padding " << x << "," << y;
    }
    glyph->Release();
    engine_->SetAntialias(true);
    EXPECT_TRUE(engine_->GetAntialias());
}

TEST_F(FontEngineTest, EmptyGlyphsAreValidlessAndRefusedRequestsGiveNull) {
    CFT2GlyphBitmap* space = Glyph(kLatinFont, u' ', 16);
    ASSERT_NE(space, nullptr);
    EXPECT_TRUE(space->IsLoaded());
    EXPECT_FALSE(space->IsValid());
    EXPECT_GT(space->GetData().advance, 0);
    space->Release();

    EXPECT_EQ(Glyph(kLatinFont, u'A', 0), nullptr) << "size 0";
    EXPECT_EQ(Glyph(u"missing.ttf", u'A', 16), nullptr);
    EXPECT_EQ(Glyph(kLatinFont, 0x4E2D, 16), nullptr) << "not in the face";
    fontmillctl::FailGetBitmap(u'B');
    EXPECT_EQ(Glyph(kLatinFont, u'B', 16), nullptr);
    CFT2GlyphBitmap* a = Glyph(kLatinFont, u'A', 16);
    EXPECT_NE(a, nullptr);
    fontmillctl::FailGetBitmap(fontmillctl::kEveryCodeUnit);
    EXPECT_EQ(Glyph(kLatinFont, u'A', 16), nullptr);
    fontmillctl::FailGetBitmap(fontmillctl::kNoFailure);
    CFT2GlyphBitmap* b = Glyph(kLatinFont, u'B', 16);
    EXPECT_NE(b, nullptr);
    a->Release();
    b->Release();
    EXPECT_EQ(fontmillctl::GetCounters().getBitmapCalls, 8);
}

TEST_F(FontEngineTest, BitmapsAreCountedUntilReleasedOnceAndDelayedOnRequest) {
    fontmillctl::SetLoadDelay(2);
    CFT2GlyphBitmap* glyph = Glyph(kChineseFont, 0x4E2D, 16);
    ASSERT_NE(glyph, nullptr);
    EXPECT_FALSE(glyph->IsValid()) << "nothing to read before it has loaded";
    EXPECT_FALSE(glyph->IsLoaded());
    EXPECT_FALSE(glyph->IsLoaded());
    EXPECT_TRUE(glyph->IsLoaded());
    EXPECT_TRUE(glyph->IsValid());
    EXPECT_EQ(fontmillctl::GetCounters().Outstanding(), 1);

    glyph->Release();
    glyph->Release();
    const fontmillctl::Counters counters = fontmillctl::GetCounters();
    EXPECT_EQ(counters.bitmapsIssued, 1);
    EXPECT_EQ(counters.bitmapsReleased, 1);
    EXPECT_EQ(counters.doubleReleases, 1);
    EXPECT_EQ(counters.Outstanding(), 0);
}

TEST_F(FontEngineTest, TheWesternFontServesCodeUnitsUpTo254) {
    CFT2GlyphBitmap* latin = Glyph(kLatinFont, u'W', 20);
    CFT2GlyphBitmap* chinese = Glyph(kChineseFont, u'W', 20);
    ASSERT_NE(latin, nullptr);
    ASSERT_NE(chinese, nullptr);
    ASSERT_NE(latin->GetData().advance, chinese->GetData().advance) << "the faces must differ for the test";

    engine_->SetWesternFontPath(kLatinFont);
    CFT2GlyphBitmap* western = Glyph(kChineseFont, u'W', 20);
    CFT2GlyphBitmap* han = Glyph(kChineseFont, 0x4E2D, 20);
    ASSERT_NE(western, nullptr);
    ASSERT_NE(han, nullptr);
    EXPECT_EQ(western->GetData().advance, latin->GetData().advance);
    EXPECT_EQ(western->GetData().width, latin->GetData().width);
    engine_->SetWesternFontPath(nullptr);
    CFT2GlyphBitmap* own = Glyph(kChineseFont, u'W', 20);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->GetData().advance, chinese->GetData().advance);
    for (CFT2GlyphBitmap* glyph : {latin, chinese, western, han, own}) glyph->Release();
}

TEST_F(FontEngineTest, LegacyRecordsAreFreedOnceAndTheEngineCanBeAbsent) {
    EXPECT_FALSE(engine_->IsInitialized());
    EXPECT_TRUE(engine_->Init(1));
    EXPECT_TRUE(engine_->IsInitialized());
    STRU_BITMAPGET_INFO request = Request(kLatinFont, u'g', 18);
    STRU_FONT_BITMAP* bitmap = engine_->GetBitmap(request, true);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_GT(bitmap->rows, 0);
    EXPECT_GT(bitmap->rows + bitmap->top, 0) << "'g' reaches below the baseline";
    engine_->FreeBitmap(bitmap);
    engine_->FreeBitmap(bitmap);
    const fontmillctl::Counters counters = fontmillctl::GetCounters();
    EXPECT_EQ(counters.legacyIssued, 1);
    EXPECT_EQ(counters.legacyFreed, 1);
    EXPECT_EQ(counters.badFrees, 1);

    fontmillctl::SetEngineAvailable(false);
    EXPECT_EQ(GetFT2FontEngine(), nullptr);
    fontmillctl::SetEngineAvailable(true);
    EXPECT_EQ(GetFT2FontEngine(), engine_);
}

}  // namespace
}  // namespace lumi::test
