// The wide formatter: the library's own format strings, Windows wide-format rules, and the
// bounded forms.
#include "platform/win32/wide_format.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

#include "tests/support/invalid_parameters.h"

namespace {

using win32::FormatWide;

TEST(FormatWide, FormatsTheEventLogLines) {
    EXPECT_EQ(FormatWide(u"%04d/%02d/%02d %02d:%02d:%02d", 2026, 1, 5, 3, 4, 9), u"2026/01/05 03:04:09");
    EXPECT_EQ(FormatWide(u" %s\r\n", u"Direct3D Renderer Construct"), u" Direct3D Renderer Construct\r\n");
    EXPECT_EQ(FormatWide(u"\tDeviceWindow : 0X%08X", 0x1234abu), u"\tDeviceWindow : 0X001234AB");
    EXPECT_EQ(FormatWide(u"\tPresentationInterval : 0X%08x", 0x80000000u), u"\tPresentationInterval : 0X80000000");
    EXPECT_EQ(FormatWide(u"Available Texture Memory=%.02f (mb)", 255.5), u"Available Texture Memory=255.50 (mb)");
    EXPECT_EQ(FormatWide(u"FreeVidMem=%.2f(mb), desc=[%s]", 0.126, u"Out of video memory."),
              u"FreeVidMem=0.13(mb), desc=[Out of video memory.]");
    EXPECT_EQ(FormatWide(u"FPS : %f", 1000.0 * 3 / 7), u"FPS : 428.571429");
    EXPECT_EQ(FormatWide(u"[x]%s\t%d\t%d\t%d\t%d\t%d\t%.2f\t%.2f\n", u"CD3DBitmap", 192, 2, 64, 1360, 261120,
                         static_cast<double>(255.0f), static_cast<double>(0.2490234375f)),
              u"[x]CD3DBitmap\t192\t2\t64\t1360\t261120\t255.00\t0.25\n");
    EXPECT_EQ(FormatWide(u"PixelShaderVersion=%d.%d", 1, 4), u"PixelShaderVersion=1.4");
}

TEST(FormatWide, TakesWideStringsForPercentSAndNarrowForPercentHs) {
    EXPECT_EQ(FormatWide(u"%s|%ls|%ws", u"警告", u"a", u"b"), u"警告|a|b");
    EXPECT_EQ(FormatWide(u"%hs|%S", "警告", "caf\xE9"), u"警告|caf\u00E9");
    EXPECT_EQ(FormatWide(u"%s %hs", static_cast<const char16_t*>(nullptr), static_cast<const char*>(nullptr)),
              u"(null) (null)");
    EXPECT_EQ(FormatWide(u"%c%hc%C", u'警', 'A', 'B'), u"警AB");
    EXPECT_EQ(FormatWide(u"[%6s][%-4s][%.2s][%.*hs]", u"ab", u"c", u"wxyz", 3, "narrow"), u"[    ab][c   ][wx][nar]");
}

TEST(FormatWide, PrecisionStopsReadingAnUnterminatedString) {
    const char16_t wide[3] = {u'a', u'b', u'c'};  // no terminator
    const char narrow[2] = {'x', 'y'};
    EXPECT_EQ(FormatWide(u"%.3s%.2hs", wide, narrow), u"abcxy");
}

TEST(FormatWide, UsesWindowsIntegerSizes) {
    EXPECT_EQ(FormatWide(u"%I64d %I64u", std::numeric_limits<std::int64_t>::min(),
                         std::numeric_limits<std::uint64_t>::max()),
              u"-9223372036854775808 18446744073709551615");
    EXPECT_EQ(FormatWide(u"%lld %I64X", 1LL << 40, 0xABCDEF0123ULL), u"1099511627776 ABCDEF0123");
    EXPECT_EQ(FormatWide(u"%ld %lu %I32d", -5, 4000000000u, 7), u"-5 4000000000 7") << "'l' is 32 bits";
    EXPECT_EQ(FormatWide(u"%u %d", -1, 4294967295u), u"4294967295 -1");
    EXPECT_EQ(FormatWide(u"%hd %hu %hhx", 70000, 70000, 0x1FF), u"4464 4464 ff");
    EXPECT_EQ(FormatWide(u"%zu %Iu", std::size_t{1} << 33, std::size_t{5}), u"8589934592 5");
}

TEST(FormatWide, AppliesFlagsWidthAndPrecision) {
    EXPECT_EQ(FormatWide(u"[%5d][%-5d][%05d][%+d][% d]", 42, 42, -42, 3, 3), u"[   42][42   ][-0042][+3][ 3]");
    EXPECT_EQ(FormatWide(u"[%.3d][%.0d][%5.3d][%-05d]", 7, 0, 7, 1), u"[007][][  007][1    ]");
    EXPECT_EQ(FormatWide(u"[%#x][%#X][%#o][%#x][%08.3x]", 255, 255, 8, 0, 0xA), u"[0xff][0XFF][010][0][     00a]");
    EXPECT_EQ(FormatWide(u"[%*d][%-*d][%*d][%.*f]", 6, 42, 4, 1, -4, 2, -1, 2.5), u"[    42][1   ][2   ][2.500000]");
    EXPECT_EQ(FormatWide(u"[%#06x]", 0x2F), u"[0x002f]");
    EXPECT_EQ(FormatWide(u"100%% done"), u"100% done");
}

TEST(FormatWide, FormatsFloatingPointLikeTheCRuntime) {
    EXPECT_EQ(FormatWide(u"%.2f|%.0f|%.0f|%#.0f", 2.675, 0.5, 1.5, 3.0), u"2.67|0|2|3.");
    EXPECT_EQ(FormatWide(u"%08.3f|%-8.1f|%+.1f", -3.14159, 2.25, 1.0), u"-003.142|2.2     |+1.0");
    EXPECT_EQ(FormatWide(u"%e|%.2E|%.0e", 12345.678, 0.000123, 5e300), u"1.234568e+04|1.23E-04|5e+300");
    EXPECT_EQ(FormatWide(u"%g|%g|%g|%g|%G", 0.0001, 1e-5, 123456789.0, 100.0, 1e-10), u"0.0001|1e-05|1.23457e+08|100|1E-10");
    EXPECT_EQ(FormatWide(u"%#g|%.3g|%g", 1.0, 3.14159, 0.0), u"1.00000|3.14|0");
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(FormatWide(u"%f|%f|%F|%5.1f|%f", inf, -inf, inf, std::nan(""), -0.0), u"inf|-inf|INF|  nan|-0.000000");
    EXPECT_EQ(FormatWide(u"%.2f", 1e20), u"100000000000000000000.00");
    EXPECT_EQ(FormatWide(u"%Lf", static_cast<long double>(0.25)), u"0.250000");
}

TEST(FormatWide, IgnoresTheCLocale) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr)
        << "the locale de_DE.UTF-8 is missing; scripts/install-deps.sh generates it";
    const std::u16string text = FormatWide(u"%.2f %g", 1.5, 0.25);
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(text, u"1.50 0.25");
}

TEST(FormatWide, PrintsPointersAsUpperCaseHex) {
    EXPECT_EQ(FormatWide(u"address=[%p].", reinterpret_cast<void*>(std::uintptr_t{0xBEEF})),
              u"address=[" + std::u16string(2 * sizeof(void*) - 4, u'0') + u"BEEF].");
}

TEST(FormatWide, RejectsConversionsItDoesNotKnow) {
    int count = 0;
    EXPECT_THROW(FormatWide(u"%n", &count), std::invalid_argument);
    EXPECT_THROW(FormatWide(u"%a", 1.0), std::invalid_argument);
    EXPECT_THROW(FormatWide(u"%Z", nullptr), std::invalid_argument);
    EXPECT_THROW(FormatWide(u"cut %"), std::invalid_argument);
    EXPECT_THROW(FormatWide(u"cut %-5"), std::invalid_argument);
    EXPECT_THROW(FormatWide(nullptr), std::invalid_argument);
}

TEST(BoundedWideFormat, CutsLongLinesTheWayTheEventLogExpects) {
    // The event log's line buffer: 1024 units, 1023 used, terminated by the caller.
    char16_t line[1024];
    const std::u16string exact(1023, u'a');
    EXPECT_EQ(_snwprintf(line, 1023, u"%s", exact.c_str()), 1023);
    line[1023] = 0;
    EXPECT_EQ(std::u16string(line), exact);

    const std::u16string longer(1500, u'b');
    EXPECT_EQ(_snwprintf(line, 1023, u"%s", longer.c_str()), -1);
    line[1023] = 0;
    EXPECT_EQ(std::u16string(line), std::u16string(1023, u'b'));
}

TEST(BoundedWideFormat, TerminatesOnlyWhenThereIsRoom) {
    char16_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(_snwprintf(buffer, 4, u"%d", 1234), 4);
    EXPECT_EQ(std::u16string(buffer, 5), u"1234#");
    EXPECT_EQ(_snwprintf(buffer, 8, u"%d", 12), 2);
    EXPECT_EQ(std::u16string(buffer), u"12");
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(_snwprintf(buffer, 3, u"%s", u"abcdef"), -1);
    EXPECT_EQ(std::u16string(buffer, 4), u"abc#");
}

TEST(BoundedWideFormat, HandlesNullBuffersAndHugeWidths) {
    EXPECT_EQ(_snwprintf(nullptr, 0, u"%d-%s", 12, u"ab"), 5) << "length query";
    EXPECT_EQ(_snwprintf(nullptr, 4, u"x"), -1);
    char16_t buffer[8];
    EXPECT_EQ(_snwprintf(buffer, 0, u"x"), -1);
    EXPECT_EQ(_snwprintf(buffer, 8, nullptr), -1);
    // A width that would need gigabytes is only counted, not built.
    EXPECT_EQ(_snwprintf(buffer, 8, u"%*d", 1 << 30, 1), -1);
    EXPECT_EQ(std::u16string(buffer, 8), std::u16string(8, u' '));
    EXPECT_EQ(_snwprintf(buffer, 8, u"%.*f", 1 << 30, 0.5), -1);
    EXPECT_EQ(std::u16string(buffer, 8), u"0.500000");
}

TEST(BoundedWideFormat, SafeFormTakesTheInvalidParameterPathWhenItDoesNotFit) {
    lumi::test::InvalidParameterCount invalid;
    char16_t buffer[4] = {u'#', u'#', u'#', u'#'};
    EXPECT_EQ(swprintf_s(buffer, 4, u"%d", 123), 3);
    EXPECT_EQ(std::u16string(buffer), u"123");
    EXPECT_EQ(invalid.Count(), 0);
    // The Windows runtime's path: the handler (the process ends without one), then -1.
    errno = 0;
    EXPECT_EQ(swprintf_s(buffer, 4, u"%d", 1234), -1);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(errno, ERANGE);
    EXPECT_EQ(invalid.Count(), 1);
    EXPECT_EQ(swprintf_s(nullptr, 4, u"%d", 1), -1);
    EXPECT_EQ(swprintf_s(buffer, 0, u"%d", 1), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(invalid.Count(), 3);
}

TEST(BoundedWideFormatDeathTest, SafeFormOverflowEndsTheProcessWithoutAHandler) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    char16_t buffer[2];
    EXPECT_DEATH(swprintf_s(buffer, 2, u"%d", 1234), "invalid parameter passed to swprintf_s");
}

TEST(WideStreamFormat, WritesUtf16LittleEndianUnits) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(fwprintf(file, u"%s=%d\r\n", u"警", 7), 5);
    std::rewind(file);
    unsigned char bytes[16] = {};
    const std::size_t read = std::fread(bytes, 1, sizeof bytes, file);
    std::fclose(file);
    const unsigned char expected[] = {0x66, 0x8B, '=', 0, '7', 0, '\r', 0, '\n', 0};
    ASSERT_EQ(read, sizeof expected);
    EXPECT_EQ(std::memcmp(bytes, expected, sizeof expected), 0);
    EXPECT_EQ(fwprintf(nullptr, u"x"), -1);
}

}  // namespace
