// UTF-8 / UTF-16 conversion, the code-page functions and the C runtime text helpers.
#include "platform/win32/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <iterator>
#include <stdexcept>
#include <string>

namespace {

using namespace std::string_literals;

TEST(Utf8ToUtf16, ConvertsValidTextIncludingSurrogatePairs) {
    EXPECT_EQ(win32::Utf8ToUtf16("logs/lumiscriber.log"), u"logs/lumiscriber.log");
    EXPECT_EQ(win32::Utf8ToUtf16("警告"), u"警告");
    EXPECT_EQ(win32::Utf8ToUtf16("\xF0\x9F\x98\x80"), u"\xD83D\xDE00");  // U+1F600
    EXPECT_EQ(win32::Utf8ToUtf16("a\0b"s), u"a\0b"s);
}

TEST(Utf8ToUtf16, ReplacesEachMaximalInvalidSubsequenceOnce) {
    EXPECT_EQ(win32::Utf8ToUtf16("a\xE2\x82z"), u"a\xFFFDz");           // cut 3-byte sequence
    EXPECT_EQ(win32::Utf8ToUtf16("\xC3"), u"\xFFFD");                    // cut at the end
    EXPECT_EQ(win32::Utf8ToUtf16("\xC0\xAF"), u"\xFFFD\xFFFD");          // overlong '/'
    EXPECT_EQ(win32::Utf8ToUtf16("\xED\xA0\x80"), u"\xFFFD\xFFFD\xFFFD");  // encoded surrogate
    EXPECT_EQ(win32::Utf8ToUtf16("\xF4\x90\x80\x80"), u"\xFFFD\xFFFD\xFFFD\xFFFD");  // > U+10FFFF
    EXPECT_EQ(win32::Utf8ToUtf16("\xFF\xFE"), u"\xFFFD\xFFFD");
    EXPECT_EQ(win32::Utf8ToUtf16("\xF0\x9F\x98"), u"\xFFFD");  // cut 4-byte sequence
}

TEST(Utf16ToUtf8, EncodesPairsAndReplacesLoneSurrogates) {
    EXPECT_EQ(win32::Utf16ToUtf8(u"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(win32::Utf16ToUtf8(u"警告"), "警告");
    EXPECT_EQ(win32::Utf16ToUtf8(u"a\xD800"), "a\xEF\xBF\xBD");      // high surrogate at the end
    EXPECT_EQ(win32::Utf16ToUtf8(u"\xDC00z"), "\xEF\xBF\xBDz");      // low surrogate alone
    EXPECT_EQ(win32::Utf16ToUtf8(u"\xD800\xD800\xDC00"), "\xEF\xBF\xBD\xF0\x90\x80\x80");
}

TEST(AnsiCodePage, KeepsBytesThatAreNotUtf8) {
    EXPECT_EQ(win32::AnsiToWide("caf\xE9"), u"caf\u00E9");
    EXPECT_EQ(win32::AnsiToWide("NVIDIA \xAE GeForce"), u"NVIDIA \u00AE GeForce");
    EXPECT_EQ(win32::AnsiToWide("警告"), u"警告");  // valid UTF-8 stays text

    for (int byte = 0; byte < 256; ++byte) {
        const std::string one(1, static_cast<char>(byte));
        EXPECT_EQ(win32::WideToAnsi(win32::AnsiToWide(one)), one) << "byte " << byte;
    }
    const std::string mixed = "abc\xE9\xFF \xE8\xAD\xA6 \x80\xC3";
    EXPECT_EQ(win32::WideToAnsi(win32::AnsiToWide(mixed)), mixed);
}

TEST(AnsiCodePage, WideTextThatBytesWouldMisreadGoesOutAsUtf8) {
    // U+00C3 U+00A9 as the bytes C3 A9 would read back as one U+00E9.
    const std::u16string text = u"\u00C3\u00A9";
    EXPECT_EQ(win32::WideToAnsi(text), "\xC3\x83\xC2\xA9");
    EXPECT_EQ(win32::AnsiToWide(win32::WideToAnsi(text)), text);
    EXPECT_EQ(win32::WideToAnsi(u"x\xD800y"), "x?y");
}

TEST(AnsiCodePage, WideTextSurvivesTheRoundTrip) {
    // Mixes of the units whose bytes could merge: Latin-1, CJK, pairs, ASCII.
    const char16_t alphabet[] = {u'a', u'\u00C3', u'\u00A9', u'\u00E8', u'\u00AD', u'\u00A6', u'\u00F0',
                                 u'\u009F', u'\u0098', u'\u0080', u'\u00FF', u'警', u'\u07FF'};
    std::uint32_t state = 12345;
    auto next = [&] { return (state = state * 1103515245u + 12345u) >> 16; };
    for (int round = 0; round < 3000; ++round) {
        std::u16string text;
        const unsigned length = next() % 8;
        for (unsigned i = 0; i < length; ++i) {
            if (next() % 6 == 0) text += u"\xD83D\xDE00";
            else text += alphabet[next() % std::size(alphabet)];
        }
        ASSERT_EQ(win32::AnsiToWide(win32::WideToAnsi(text)), text) << "round " << round;
    }
}

TEST(MultiByteToWideChar, FollowsTheSizeConventions) {
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);  // terminator counted
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 3, nullptr, 0), 3);

    char16_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, "D\xE9v", -1, buffer, 8), 4);
    EXPECT_EQ(std::u16string(buffer), u"D\u00E9v");

}

TEST(MultiByteToWideChar, FillsATooSmallOutputWithWholeCharactersAndFails) {
    char16_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abcdef", -1, buffer, 3), 0);
    EXPECT_EQ(std::u16string(buffer, 4), u"abc#");

    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "ab\xF0\x9F\x98\x80", -1, buffer, 3), 0);
    EXPECT_EQ(std::u16string(buffer, 3), u"ab#") << "a surrogate pair is not cut";

    char narrow[8];
    std::fill(std::begin(narrow), std::end(narrow), '#');
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"a警告", 3, narrow, 5, nullptr, nullptr), 0);
    EXPECT_EQ(std::string(narrow, 5), "a\xE8\xAD\xA6#") << "a UTF-8 sequence is not cut";
    std::fill(std::begin(narrow), std::end(narrow), '#');
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u00E9\u00FF\u00E9", 3, narrow, 2, nullptr, nullptr), 0);
    EXPECT_EQ(std::string(narrow, 3), "\xE9\xFF#") << "kept bytes are whole characters";
}

TEST(MultiByteToWideChar, RejectsBadArgumentsWithZero) {
    char16_t buffer[4] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, nullptr, -1, buffer, 4), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 0, buffer, 4), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -2, buffer, 4), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 3, buffer, -1), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 3, nullptr, 4), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xFF", 2, buffer, 4), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a\xFF", 2, buffer, 4), 2);
    EXPECT_EQ(buffer[1], u'\xFFFD');
    EXPECT_THROW(MultiByteToWideChar(1252, 0, "a", 1, buffer, 4), std::invalid_argument);
    EXPECT_THROW(MultiByteToWideChar(CP_ACP, 0x4, "a", 1, buffer, 4), std::invalid_argument);
}

TEST(CodePageConversions, RefuseTheFlagsThePlatformRefusesForTheCodePage) {
    char16_t wide[4] = {};
    char narrow[4] = {};
    struct Case {
        const char* what;
        int result;
        int expected;
    } cases[] = {
        {"MB_PRECOMPOSED with CP_ACP", MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "ab", 2, wide, 4), 2},
        {"MB_PRECOMPOSED with CP_UTF8", MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "ab", 2, wide, 4), 0},
        {"MB_ERR_INVALID_CHARS with CP_ACP", MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "ab", 2, wide, 4), 2},
        {"WC_ERR_INVALID_CHARS with CP_UTF8", WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, u"ab", 2, narrow, 4, nullptr, nullptr), 2},
        {"WC_ERR_INVALID_CHARS with CP_ACP", WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, u"ab", 2, narrow, 4, nullptr, nullptr), 0},
    };
    for (const Case& c : cases) EXPECT_EQ(c.result, c.expected) << c.what;
}

TEST(WideCharToMultiByte, HandlesDefaultCharactersPerCodePage) {
    char buffer[16] = {};
    BOOL usedDefault = FALSE;
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, u"a\xDC00", 2, buffer, 16, "*", &usedDefault), 2);
    EXPECT_EQ(std::string(buffer, 2), "a*");
    EXPECT_EQ(usedDefault, TRUE);

    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, buffer, 16, nullptr, &usedDefault), 0)
        << "CP_UTF8 takes no default character";
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"警告", -1, nullptr, 0, nullptr, nullptr), 7);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, u"\xD800", 1, buffer, 16, nullptr, nullptr), 0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"abc", 3, buffer, 2, nullptr, nullptr), 0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, nullptr, 3, buffer, 2, nullptr, nullptr), 0);
}

TEST(WideNumberParsing, MatchesTheCRuntime) {
    EXPECT_EQ(_wtoi64(u"  -123xyz"), -123);
    EXPECT_EQ(_wtoi64(u"\t+42"), 42);
    EXPECT_EQ(_wtoi64(u"8589934592"), 8589934592LL);
    EXPECT_EQ(_wtoi64(u"-9223372036854775808"), LLONG_MIN);
    EXPECT_EQ(_wtoi64(u"9223372036854775808"), LLONG_MAX);
    EXPECT_EQ(_wtoi64(u"-99999999999999999999999"), LLONG_MIN);
    EXPECT_EQ(_wtoi64(u"abc"), 0);
    EXPECT_EQ(_wtoi64(u""), 0);
    EXPECT_EQ(_wtoi64(nullptr), 0);
    EXPECT_EQ(_wtoi(u"2147483648"), INT_MAX);
    EXPECT_EQ(_wtoi(u"-2147483649"), INT_MIN);
    EXPECT_EQ(_wtoi(u" 77"), 77);
}

TEST(CaseInsensitiveCompare, FoldsAsciiOnly) {
    EXPECT_EQ(_stricmp("NVIDIA GeForce", "nvidia geforce"), 0);
    EXPECT_LT(_stricmp("a", "B"), 0) << "letters compare as lower case, not by raw code";
    EXPECT_GT(_stricmp("abc", "ab"), 0);
    EXPECT_NE(_stricmp("\xC3\x89", "\xC3\xA9"), 0) << "non-ASCII bytes are not folded";
    EXPECT_EQ(_strnicmp("TEXTURE01", "texture02", 8), 0);
    EXPECT_NE(_strnicmp("TEXTURE01", "texture02", 9), 0);
    EXPECT_EQ(_stricmp(nullptr, "a"), _NLSCMPERROR);
    EXPECT_EQ(_wcsicmp(u"Data/UI", u"DATA/ui"), 0);
    EXPECT_EQ(_wcsicmp(u"a", nullptr), _NLSCMPERROR);
    EXPECT_EQ(_wcsnicmp(u"image.PNG", u"IMAGE.png", 9), 0);
    EXPECT_LT(_wcsnicmp(u"a.bmp", u"a.png", 5), 0);
}

TEST(WideHelpers, CompareByUnsignedUnitsAndTreatNullAsEmpty) {
    EXPECT_GT(win32::WideCompare(u"\xFFFF", u"a"), 0);
    EXPECT_LT(win32::WideCompare(u"AB", u"ABC"), 0);
    EXPECT_EQ(win32::WideCompare(nullptr, u""), 0);
    EXPECT_EQ(win32::WideCompareNoCase(u"Btn_A.png", u"BTN_a.PNG"), 0);
    EXPECT_EQ(win32::WideLength(nullptr), 0u);
    EXPECT_EQ(win32::WideLength(u"警告!"), 3u);
    EXPECT_EQ(win32::WideString(nullptr), u"");
}

TEST(WideHelpers, CopyAlwaysTerminatesAndReportsCuts) {
    char16_t buffer[4] = {u'#', u'#', u'#', u'#'};
    EXPECT_TRUE(win32::WideCopy(buffer, 4, u"abc"));
    EXPECT_EQ(std::u16string(buffer), u"abc");
    EXPECT_FALSE(win32::WideCopy(buffer, 4, u"abcdef"));
    EXPECT_EQ(std::u16string(buffer), u"abc");
    EXPECT_TRUE(win32::WideCopy(buffer, 4, nullptr));
    EXPECT_EQ(buffer[0], 0);
    buffer[0] = u'#';
    EXPECT_FALSE(win32::WideCopy(buffer, 0, u"a"));
    EXPECT_EQ(buffer[0], u'#');
    EXPECT_FALSE(win32::WideCopy(nullptr, 4, u"a"));
}

}  // namespace
