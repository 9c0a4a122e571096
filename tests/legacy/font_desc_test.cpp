// Font descriptions: what a legacy text command names its font with.
#include "legacy/font_desc.h"

#include <gtest/gtest.h>

#include <string>

#include "core/event_log.h"
#include "tests/support/utf16_file.h"
#include "tests/support/work_folder.h"

namespace {

TEST(FontDesc, AssignStoresPathSizeAndStyleAndTellsAChange) {
    font_desc_t desc;
    EXPECT_TRUE(desc.Assign(u"fonts/a.ttf", 14, 0));
    EXPECT_EQ(std::u16string(desc.path), u"fonts/a.ttf");
    EXPECT_EQ(desc.size, 14);
    EXPECT_FALSE(desc.Assign(u"fonts/a.ttf", 14, 0)) << "nothing changed";
    const struct {
        const char16_t* path;
        std::uint8_t size;
        std::uint8_t style;
    } changes[] = {{u"fonts/b.ttf", 14, 0}, {u"fonts/b.ttf", 16, 0}, {u"fonts/b.ttf", 16, 1}, {nullptr, 16, 1}};
    for (const auto& c : changes) EXPECT_TRUE(desc.Assign(c.path, c.size, c.style));
    EXPECT_EQ(desc.path[0], u'\0');

    desc.lineHeightA = 12;
    desc.lineHeightB = 15;
    EXPECT_EQ(desc.LineHeight(), 15);
}

TEST(FontDesc, ALongPathIsCutAndLogged) {
    lumi::test::TempWorkFolder folder;
    OpenEventLog();
    const std::u16string longPath = u"fonts/" + std::u16string(70, u'x') + u".ttf";
    font_desc_t desc;
    desc.Assign(longPath.c_str(), 12, 0);
    EXPECT_EQ(std::u16string(desc.path), longPath.substr(0, kFontDescPathUnits - 1)) << "room for the terminator";
    EXPECT_FALSE(desc.Assign(longPath.c_str(), 12, 0)) << "the same cut again";
    CloseEventLog();
    const std::u16string log = lumi::test::ReadUtf16LeFile(folder.File("logs/lumiscriber.log")).text;
    EXPECT_NE(log.find(u" font path too long.[" + longPath + u"]\r\n"), std::u16string::npos);
}

}  // namespace
