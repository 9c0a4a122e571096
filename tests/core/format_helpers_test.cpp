#include "core/format_helpers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <utility>
#include <string>

#include "platform/win32/com.h"
#include "platform/win32/text.h"

namespace {

TEST(FormatHelpers, BitsChannelsAndNames) {
    EXPECT_EQ(FormatBitsPerPixel(D3DFMT_A32B32G32R32F), 128u);
    EXPECT_EQ(FormatBitsPerPixel(D3DFMT_R8G8B8), 24u);
    EXPECT_EQ(FormatBitsPerPixel(D3DFMT_CxV8U8), 16u);
    for (D3DFORMAT dxt : {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5}) {
        EXPECT_EQ(FormatBitsPerPixel(dxt), 8u) << dxt;
    }
    EXPECT_EQ(FormatBitsPerPixel(D3DFMT_YUY2), 0u);
    EXPECT_EQ(FormatBitsPerPixel(D3DFMT_VERTEXDATA), 0u);
    EXPECT_EQ(GetColorChannelBits(D3DFMT_A2R10G10B10), 10);
    EXPECT_EQ(GetAlphaChannelBits(D3DFMT_X8R8G8B8), 0);
    EXPECT_EQ(GetStencilBits(D3DFMT_D24X4S4), 4);
    EXPECT_EQ(GetDepthBits(D3DFMT_D15S1), 15);

    for (const auto& [format, name] : {std::pair{D3DFMT_D32F_LOCKABLE, u"D3DFMT_D32F_LOCKABLE"},
                                       std::pair{D3DFMT_DXT3, u"D3DFMT_DXT3"},
                                       std::pair{D3DFMT_VERTEXDATA, u"D3DFMT_VERTEXDATA"},
                                       std::pair{D3DFMT_UNKNOWN, u"D3DFMT_UNKNOWN"},
                                       std::pair{D3DFMT_UYVY, u"D3DFMT_UNKNOWN"}}) {
        EXPECT_EQ(std::u16string(FormatName(format)), name) << format;
    }
    EXPECT_EQ(std::u16string(DevTypeName(D3DDEVTYPE_NULLREF)), u"D3DDEVTYPE_SW");
    EXPECT_EQ(std::u16string(DevTypeName(static_cast<D3DDEVTYPE>(0))), u"D3DDEVTYPE_UNKNOWN");
    EXPECT_EQ(std::u16string(MultiSampleTypeName(D3DMULTISAMPLE_NONMASKABLE)), u"D3DMULTISAMPLE_NONMASKABLE");
    EXPECT_EQ(std::u16string(MultiSampleTypeName(D3DMULTISAMPLE_16_SAMPLES)), u"D3DMULTISAMPLE_16_SAMPLES");
    EXPECT_EQ(std::u16string(MultiSampleTypeName(static_cast<D3DMULTISAMPLE_TYPE>(17))), u"D3DMULTISAMPLE_UNKNOWN");
}

TEST(FormatHelpers, NormalizePathUpperCasesOnlyAsciiLettersAndTurnsSlashes) {
    char16_t path[] = u"data\\ui\\Btn_a.png";
    NormalizePath(path);
    EXPECT_EQ(std::u16string(path), u"DATA/UI/BTN_A.PNG");

    char16_t other[] = u"./a\\..\\é中/ z";
    NormalizePath(other);
    EXPECT_EQ(std::u16string(other), u"./A/../é中/ Z");
    NormalizePath(nullptr);
}

TEST(FormatHelpers, CompareWideAnswersForTheSecondString) {
    struct Case {
        const char16_t* a;
        const char16_t* b;
        int expected;
    };
    // Units above 0x7FFF count as large (unsigned); null compares as empty.
    for (const Case& c : {Case{u"AB", u"ABC", 1}, Case{u"ABC", u"AB", -1}, Case{u"ABC", u"ABC", 0},
                          Case{u"A", u"B", 1}, Case{u"\uFFFF", u"A", -1}, Case{nullptr, u"", 0},
                          Case{nullptr, u"A", 1}}) {
        EXPECT_EQ(CompareWide(c.a, c.b), c.expected)
            << (c.a ? win32::Utf16ToUtf8(c.a) : "null") << " vs " << win32::Utf16ToUtf8(c.b);
    }
}

TEST(FormatHelpers, UniqueNamesAreBracedGuidsAfterThePrefixEvenWhenGuidsFail) {
    std::set<std::u16string> names;
    auto checkForm = [&](const std::u16string& name) {
        ASSERT_EQ(name.size(), 3u + 38u) << "TEX + {8-4-4-4-12}";
        EXPECT_EQ(name.substr(0, 4), u"TEX{");
        EXPECT_EQ(name.back(), u'}');
        EXPECT_EQ(name[12], u'-');
        names.insert(name);
    };
    checkForm(MakeUniqueName(u"TEX"));
    checkForm(MakeUniqueName(u"TEX"));
    win32::FailNextCoCreateGuid(2);
    checkForm(MakeUniqueName(u"TEX"));
    checkForm(MakeUniqueName(u"TEX"));
    EXPECT_EQ(names.size(), 4u);
    EXPECT_EQ(MakeUniqueName(nullptr).size(), 38u);
}

TEST(FormatHelpers, NextPowerOfTwoStartsAtTwo) {
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {
        {0, 2}, {1, 2}, {2, 2}, {3, 4}, {640, 1024}, {1024, 1024}, {0x80000000u, 0x80000000u}, {0x80000001u, 0}};
    for (const auto& [in, out] : cases) EXPECT_EQ(NextPowerOfTwo(in), out) << "for " << in;
}

}  // namespace
