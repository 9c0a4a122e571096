// What the default DxDiag data take from Linux, parsed from fixed file contents, and the
// container tree the data live in.
#include <gtest/gtest.h>

#include "platform/dxdiag/diag_node.h"
#include "platform/dxdiag/machine_facts.h"

namespace {

using dxdiag::DiagNode;
using dxdiag::DiagValue;

TEST(MachineFactsTest, OsReleaseNameLosesItsQuotes) {
    EXPECT_EQ(dxdiag::ParseOsReleaseName("NAME=\"Ubuntu\"\nPRETTY_NAME=\"Ubuntu 24.04.1 LTS\"\nID=ubuntu\n"),
              "Ubuntu 24.04.1 LTS");
    EXPECT_EQ(dxdiag::ParseOsReleaseName("PRETTY_NAME='Alpine Linux v3.20'"), "Alpine Linux v3.20");
    EXPECT_EQ(dxdiag::ParseOsReleaseName("PRETTY_NAME=Arch"), "Arch");
    EXPECT_EQ(dxdiag::ParseOsReleaseName("NAME=x\nPRETTY_NAME_X=\"no\"\n"), "");
}

TEST(MachineFactsTest, ProcessorCountsEveryListedCpu) {
    const char* x86 =
        "processor\t: 0\nvendor_id\t: GenuineIntel\nmodel name\t: Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz\n\n"
        "processor\t: 1\nmodel name\t: Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz\n";
    EXPECT_EQ(dxdiag::ParseProcessor(x86), "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz (2 CPUs)");
    // Older ARM kernels name the chip in "Processor" or "Hardware" instead.
    EXPECT_EQ(dxdiag::ParseProcessor("Processor\t: ARMv7 rev 4 (v7l)\nprocessor\t: 0\n"), "ARMv7 rev 4 (v7l) (1 CPU)");
    EXPECT_EQ(dxdiag::ParseProcessor("processor : 0\nprocessor : 1\nprocessor : 2\n", "aarch64"), "aarch64 (3 CPUs)");
    EXPECT_EQ(dxdiag::ParseProcessor(""), "");
}

TEST(MachineFactsTest, MemoryFiguresComeInKilobytes) {
    const auto figures = dxdiag::ParseMemInfo(
        "MemTotal:       8388608 kB\nMemFree:  100 kB\nSwapTotal:       2097152 kB\nSwapFree:        1048576 kB\n");
    EXPECT_EQ(figures.total, 8589934592ull) << "8 GiB must not be cut to 32 bits";
    EXPECT_EQ(figures.swapTotal, 2147483648ull);
    EXPECT_EQ(figures.swapFree, 1073741824ull);
    EXPECT_EQ(dxdiag::ParseMemInfo("garbage\n").total, 0u);
}

TEST(MachineFactsTest, KernelReleaseNumbers) {
    const auto full = dxdiag::ParseKernelRelease("6.8.12-45-generic");
    EXPECT_EQ(full.major, 6u);
    EXPECT_EQ(full.minor, 8u);
    EXPECT_EQ(full.build, 12u);
    const auto shortRelease = dxdiag::ParseKernelRelease("5.15");
    EXPECT_EQ(shortRelease.major, 5u);
    EXPECT_EQ(shortRelease.minor, 15u);
    EXPECT_EQ(shortRelease.build, 0u);
    EXPECT_EQ(dxdiag::ParseKernelRelease("custom").major, 0u);
}

TEST(MachineFactsTest, ThisMachineIsDescribed) {
    const auto facts = dxdiag::ReadMachineFacts();
    EXPECT_FALSE(facts.osName.empty());
    EXPECT_FALSE(facts.processor.empty());
    EXPECT_GT(facts.physicalMemory, 0u);
}

TEST(DiagNodeTest, DottedPathsFindMakeAndRemove) {
    DiagNode root;
    root.Make(u"A.B.C").SetProp(u"x", DiagValue::UInt(1));
    root.Make(u"A.D");
    ASSERT_NE(root.Find(u"A.B.C"), nullptr);
    EXPECT_EQ(*root.Find(u"A.B.C")->Prop(u"x"), DiagValue::UInt(1));
    EXPECT_EQ(root.Find(u"A")->ChildName(1), u"D") << "children keep their insertion order";
    EXPECT_THROW(root.Make(u"A..B"), std::invalid_argument);
    EXPECT_FALSE(root.Remove(u"A.X"));
    EXPECT_FALSE(root.Remove(u"A."));
    EXPECT_TRUE(root.Remove(u"A.B"));
    EXPECT_EQ(root.Find(u"A.B.C"), nullptr);
    EXPECT_EQ(root.Find(u"A")->ChildCount(), 1u);
}

TEST(DiagNodeTest, CopiesAreDeepAndPropertiesKeepTheirPlace) {
    DiagNode original;
    DiagNode& child = original.Make(u"child");
    child.SetProp(u"first", DiagValue::UInt(1));
    child.SetProp(u"second", DiagValue::Text(u"two"));
    DiagNode copy = original;
    copy.Find(u"child")->SetProp(u"first", DiagValue::Bool(true));
    EXPECT_EQ(*original.Find(u"child")->Prop(u"first"), DiagValue::UInt(1)) << "the copy shares nothing";
    EXPECT_EQ(copy.Find(u"child")->PropName(0), u"first") << "a new value keeps the property's place";
    EXPECT_EQ(*copy.Find(u"child")->Prop(u"first"), DiagValue::Bool(true));
}

}  // namespace
