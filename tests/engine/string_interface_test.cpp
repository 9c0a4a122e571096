#include <gtest/gtest.h>

#include "platform/engine/string_interface.h"

namespace {

struct Parameters : CStringInterface {};

TEST(StringInterfaceTest, ParametersAreStoredReplacedAndCopied) {
    Parameters source;
    EXPECT_FALSE(source.SetParameter("", "x"));
    EXPECT_TRUE(source.SetParameter("name", "first"));
    EXPECT_TRUE(source.SetParameter("name", "second"));
    source.SetParameterList({{"group", "textures"}, {"", "ignored"}});
    EXPECT_EQ(source.GetParameter("name"), "second");
    EXPECT_EQ(source.GetParameter("group"), "textures");
    EXPECT_EQ(source.GetParameter("missing"), "");
    EXPECT_EQ(source.GetParameter(""), "");

    Parameters target;
    target.SetParameter("own", "kept");
    target.SetParameter("name", "replaced");
    source.CopyParamtersTo(&target);
    source.CopyParamtersTo(nullptr);
    EXPECT_EQ(target.GetParameter("own"), "kept");
    EXPECT_EQ(target.GetParameter("name"), "second");
    EXPECT_EQ(target.GetParameter("group"), "textures");
}

}  // namespace
