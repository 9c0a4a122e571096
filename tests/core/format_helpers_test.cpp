#include "core/format_helpers.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/win32/com.h"

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

    EXPECT_EQ(std::u16string(FormatName(D3DFMT_D32F_LOCKABLE)), u"D3DFMT_D32F_LOCKABLE");
    EXPECT_EQ(std::u16string(FormatName(D3DFMT_DXT3)), u"D3DFMT_DXT3");
    EXPECT_EQ(std::u16string(FormatName(D3DFMT_VERTEXDATA)), u"D3DFMT_VERTEXDATA");
    EXPECT_EQ(std::u16string(FormatName(D3DFMT_UNKNOWN)), u"D3DFMT_UNKNOWN");
    EXPECT_EQ(std::u16string(FormatName(D3DFMT_UYVY)), u"D3DFMT_UNKNOWN");
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
    EXPECT_EQ(CompareWide(u"AB", u"ABC"), 1);
    EXPECT_EQ(CompareWide(u"ABC", u"AB"), -1);
    EXPECT_EQ(CompareWide(u"ABC", u"ABC"), 0);
    EXPECT_EQ(CompareWide(u"A", u"B"), 1);
    // Units above 0x7FFF count as large (unsigned).
    EXPECT_EQ(CompareWide(u"\uFFFF", u"A"), -1);
    EXPECT_EQ(CompareWide(nullptr, u""), 0);
    EXPECT_EQ(CompareWide(nullptr, u"A"), 1);
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
    EXPECT_EQ(NextPowerOfTwo(0), 2u);
    EXPECT_EQ(NextPowerOfTwo(1), 2u);
    EXPECT_EQ(NextPowerOfTwo(2), 2u);
    EXPECT_EQ(NextPowerOfTwo(3), 4u);
    EXPECT_EQ(NextPowerOfTwo(640), 1024u);
    EXPECT_EQ(NextPowerOfTwo(1024), 1024u);
    EXPECT_EQ(NextPowerOfTwo(0x80000000u), 0x80000000u);
    EXPECT_EQ(NextPowerOfTwo(0x80000001u), 0u);
}

}  // namespace
