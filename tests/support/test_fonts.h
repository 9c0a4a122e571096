#pragma once
// The fonts the text tests draw with, from Debian packages that scripts/install-deps.sh
// installs: DejaVu Sans for Latin text, WenQuanYi Micro Hei for Chinese. A test that needs
// one and finds it missing skips with the package's name.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/win32/text.h"

namespace lumi::test {

inline constexpr char16_t kLatinFont[] = u"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
inline constexpr char16_t kChineseFont[] = u"/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";

inline bool FontFileExists(const char16_t* path) { return std::filesystem::exists(win32::Utf16ToUtf8(path)); }

}  // namespace lumi::test

// Skips the current test when the font package is not installed.
#define LUMI_REQUIRE_FONTS()                                                                        \
    do {                                                                                            \
        if (!::lumi::test::FontFileExists(::lumi::test::kLatinFont))                                \
            GTEST_SKIP() << "fonts-dejavu-core is not installed (DejaVuSans.ttf missing)";          \
        if (!::lumi::test::FontFileExists(::lumi::test::kChineseFont))                              \
            GTEST_SKIP() << "fonts-wqy-microhei is not installed (wqy-microhei.ttc missing)";       \
    } while (false)
