// DirectX version detection: the provider's answer first, else the version table over
// scripted system file versions.
#include "core/directx_version.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/d3d9/control.h"
#include "platform/dxdiag/control.h"
#include "platform/win32/com.h"
#include "platform/win32/modules.h"

namespace {

using dxdiagctl::DiagValue;

struct Version {
    HRESULT result;
    DWORD major;
    DWORD minor;
    char16_t letter;
};

class DirectXVersionTest : public ::testing::Test {
protected:
    void SetUp() override {
        d3d9ctl::ResetAll();
        win32::ResetCom();
        dxdiagctl::Reset();
        win32::ClearFileVersions();
    }
    void TearDown() override {
        win32::ClearFileVersions();
        dxdiagctl::Reset();
        EXPECT_EQ(win32::ComInitCount(), 0);
        EXPECT_EQ(dxdiagctl::LiveObjects(), 0);
    }

    static Version Detect() {
        Version v{E_FAIL, 99, 99, u'?'};
        v.result = DetectDirectXVersion(&v.major, &v.minor, &v.letter);
        return v;
    }
    static void SetVersion(const std::u16string& file, WORD a, WORD b, WORD c, WORD d) {
        win32::SetFileVersion(file, (DWORD{a} << 16) | b, (DWORD{c} << 16) | d);
    }
};

TEST_F(DirectXVersionTest, ProviderAnswersFirstAndItsLetterIsLowered) {
    SetVersion(u"d3d9.dll", 5, 3, 2600, 1);  // the files would say 9.0 without a letter
    dxdiagctl::SetProp(u"DxDiag_SystemInfo", u"szDirectXVersionLetter", DiagValue::Text(u"C"));
    const Version v = Detect();
    EXPECT_EQ(v.result, S_OK);
    EXPECT_EQ(v.major, 9u);
    EXPECT_EQ(v.minor, 0u);
    EXPECT_EQ(v.letter, u'c');
    EXPECT_EQ(dxdiagctl::LastInitParams().bAllowWHQLChecks, 0);
    EXPECT_EQ(dxdiagctl::LastInitParams().dwSize, sizeof(DXDIAG_INIT_PARAMS));
}

TEST_F(DirectXVersionTest, FilesDecideWhenTheProviderCannot) {
    SetVersion(u"d3d8.dll", 5, 1, 2600, 901);
    // Missing provider, failing initialisation, a value of the wrong kind, an empty letter.
    const std::vector<void (*)()> failures = {
        [] { dxdiagctl::SetCreateResult(REGDB_E_CLASSNOTREG); },
        [] { dxdiagctl::SetInitializeResult(E_FAIL); },
        [] { dxdiagctl::SetProp(u"DxDiag_SystemInfo", u"dwDirectXVersionMinor", DiagValue::Int(0)); },
        [] { dxdiagctl::SetProp(u"DxDiag_SystemInfo", u"szDirectXVersionLetter", DiagValue::Text(u"")); },
    };
    for (std::size_t i = 0; i < failures.size(); ++i) {
        SCOPED_TRACE(i);
        dxdiagctl::Reset();
        failures[i]();
        DWORD major = 7, minor = 7;
        char16_t letter = u'z';
        EXPECT_TRUE(FAILED(DetectDirectXVersionByDxDiag(&major, &minor, &letter)));
        EXPECT_EQ(major, 7u) << "nothing written without all three values";
        const Version v = Detect();
        EXPECT_EQ(v.result, S_OK);
        EXPECT_EQ(v.major, 8u);
        EXPECT_EQ(v.minor, 1u);
        EXPECT_EQ(v.letter, u'a') << "both d3d8 rows match; the later one wins";
        EXPECT_EQ(win32::ComInitCount(), 0);
    }
}

TEST_F(DirectXVersionTest, VersionTableOverScriptedFiles) {
    struct Case {
        std::vector<std::pair<std::u16string, std::vector<WORD>>> files;
        DWORD major, minor;
        char16_t letter;
    };
    const Case cases[] = {
        {{}, 0, 0, u' '},
        {{{u"ddraw.dll", {4, 2, 0, 94}}}, 0, 0, u' '},
        {{{u"ddraw.dll", {4, 2, 0, 95}}}, 1, 0, u' '},
        {{{u"ddraw.dll", {4, 4, 0, 68}}, {u"d3drg8x.dll", {4, 4, 0, 70}}}, 3, 0, u'a'},
        {{{u"ddraw.dll", {4, 6, 0, 436}}}, 6, 1, u' '},
        {{{u"ddraw.dll", {4, 7, 0, 700}}, {u"dinput.dll", {4, 7, 0, 716}}}, 7, 0, u'a'},
        {{{u"ddraw.dll", {4, 8, 0, 400}}}, 8, 0, u' '},
        {{{u"ddraw.dll", {5, 1, 2258, 400}}}, 8, 0, u' '},
        {{{u"ddraw.dll", {5, 1, 2258, 399}}}, 7, 0, u' '},  // major 5 is measured against its own row
        {{{u"ddraw.dll", {6, 0, 0, 0}}}, 7, 0, u' '},       // neither major 4 nor 5
        {{{u"d3d8.dll", {4, 8, 1, 881}}}, 8, 1, u' '},
        {{{u"mpg2splt.ax", {6, 3, 1, 885}}}, 8, 1, u'b'},
        {{{u"dpnet.dll", {5, 2, 3677, 134}}, {u"mpg2splt.ax", {6, 3, 1, 885}}}, 8, 2, u' '},
        {{{u"dpnet.dll", {4, 9, 0, 134}}, {u"d3d9.dll", {0, 0, 0, 1}}}, 9, 0, u' '},
    };
    for (const Case& c : cases) {
        win32::ClearFileVersions();
        std::string trace;
        for (const auto& [file, parts] : c.files) {
            SetVersion(file, parts[0], parts[1], parts[2], parts[3]);
            trace += std::string(file.begin(), file.end()) + " ";
        }
        SCOPED_TRACE(trace);
        DWORD major = 99, minor = 99;
        char16_t letter = u'?';
        ASSERT_EQ(DetectDirectXVersionByFiles(&major, &minor, &letter), S_OK);
        EXPECT_EQ(major, c.major);
        EXPECT_EQ(minor, c.minor);
        EXPECT_EQ(letter, c.letter);
    }
}

TEST_F(DirectXVersionTest, FileVersionReading) {
    std::uint64_t version = 0;
    EXPECT_EQ(GetFileVersion(nullptr, &version), E_INVALIDARG);
    EXPECT_EQ(GetFileVersion(u"C:\\Windows\\system32\\d3d9.dll", nullptr), E_INVALIDARG);
    EXPECT_EQ(GetFileVersion(u"C:\\Windows\\system32\\d3d9.dll", &version), E_FAIL);
    win32::SetFileVersionWithoutFixedInfo(u"d3d9.dll");
    EXPECT_EQ(GetFileVersion(u"C:\\Windows\\system32\\d3d9.dll", &version), E_FAIL);
    SetVersion(u"d3d9.dll", 5, 3, 2600, 2180);
    ASSERT_EQ(GetFileVersion(u"C:\\Windows\\system32\\d3d9.dll", &version), S_OK);
    EXPECT_EQ(version, MakeFileVersion(5, 3, 2600, 2180));
    EXPECT_EQ(CompareFileVersions(version, MakeFileVersion(5, 3, 2600, 2181)), -1);
    EXPECT_EQ(CompareFileVersions(MakeFileVersion(6, 0, 0, 0), version), 1);
    EXPECT_EQ(CompareFileVersions(version, version), 0);
}

}  // namespace
