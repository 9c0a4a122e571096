// The system information report from a scripted DxDiag provider: the event-log lines, the
// records kept for the renderer, short reports after failed reads, and the warnings.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/event_log.h"
#include "core/system_info_report.h"
#include "platform/d3d9/control.h"
#include "platform/dxdiag/control.h"
#include "platform/win32/com.h"
#include "platform/win32/display.h"
#include "platform/win32/text.h"
#include "tests/support/message_capture.h"
#include "tests/support/utf16_file.h"
#include "tests/support/work_folder.h"

namespace {

using dxdiagctl::DiagValue;

constexpr char16_t kSystemInfo[] = u"DxDiag_SystemInfo";
const std::u16string kEnd(79, u'-');

class SystemInfoReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        d3d9ctl::ResetAll();
        win32::ResetDisplay();
        win32::ResetCom();
        dxdiagctl::Reset();
        OpenEventLog(LogOpenMode::kTruncate);
    }
    void TearDown() override {
        CloseEventLog();
        dxdiagctl::Reset();
        EXPECT_EQ(win32::ComInitCount(), 0) << "COM is ended with the report";
    }

    std::vector<std::u16string> Lines() const {
        std::vector<std::u16string> lines;
        for (const std::u16string& line :
             lumi::test::SplitCrLfLines(lumi::test::ReadUtf16LeFile(folder_.File(lumi::kEventLogPath)).text))
            lines.push_back(line.substr(std::min<std::size_t>(20, line.size())));  // drop the date stamp
        return lines;
    }
    bool HasLine(const std::u16string& line) const {
        const auto lines = Lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    // DirectDraw, 3D exists, 3D enabled, AGP exists, AGP valid, AGP enabled.
    static void SetFlags(DWORD device, const bool (&flags)[6]) {
        const char16_t* names[6] = {u"bDDAccelerationEnabled", u"b3DAccelerationExists", u"b3DAccelerationEnabled",
                                    u"bAGPExists",             u"bAGPExistenceValid",    u"bAGPEnabled"};
        const std::u16string path = dxdiagctl::DisplayDevicePath(device);
        for (int i = 0; i < 6; ++i) dxdiagctl::SetProp(path, names[i], DiagValue::Bool(flags[i]));
    }

    lumi::test::TempWorkFolder folder_;
    lumi::test::MessageCapture messages_;
    SystemInfoRecords records_;
};

TEST_F(SystemInfoReportTest, TwoDisplayDevicesGetNumberedBlocksAfterTheSystemLines) {
    dxdiagctl::SetProp(kSystemInfo, u"dwOSMajorVersion", DiagValue::UInt(5));
    dxdiagctl::SetProp(kSystemInfo, u"szDirectXVersionLetter", DiagValue::Text(u"c"));
    dxdiagctl::SetProp(kSystemInfo, u"ullPhysicalMemory", DiagValue::Text(u"8589934592"));
    dxdiagctl::SetProp(kSystemInfo, u"nD3DDebugLevel", DiagValue::Int(-2));
    dxdiagctl::SetProp(kSystemInfo, u"szOSLocalized", DiagValue::Text(u"localized"));
    dxdiagctl::SetProp(kSystemInfo, u"szOSEnglish", DiagValue::Text(u"Windows XP"));
    ASSERT_EQ(dxdiagctl::AddDisplayDevice(), 1u);
    const std::u16string second = dxdiagctl::DisplayDevicePath(1);
    dxdiagctl::SetProp(second, u"szDescription", DiagValue::Text(u"Second Card"));
    dxdiagctl::SetProp(second, u"szDisplayMemoryLocalized", DiagValue::Text(u"64 Mo"));
    dxdiagctl::SetProp(second, u"szDisplayMemoryEnglish", DiagValue::Text(u"64.0 MB"));
    dxdiagctl::SetProp(second, u"lDriverSize", DiagValue::Int(123456));

    ASSERT_TRUE(LogSystemInfo(&records_));
    const std::vector<std::u16string> lines = Lines();
    ASSERT_EQ(lines.size(), 155u) << "48 system lines, 53 for each display, the closing line";
    EXPECT_EQ(lines[0], u"OSMajorVersion: 5");
    EXPECT_EQ(lines[6], u"DirectXVersionLetter: c");
    EXPECT_EQ(lines[9], u"PhysicalMemory: 8589934592");
    EXPECT_EQ(lines[22], u"D3DDebugLevel: -2");
    EXPECT_EQ(lines[42], u"OS: Windows XP") << "English texts only, after the unwritten localized ones";
    EXPECT_EQ(lines[47].substr(0, 6), u"Time: ");
    EXPECT_EQ(lines[48], u"Display No: 0");
    EXPECT_EQ(lines[49], u"----------------");
    EXPECT_EQ(lines[50].substr(0, 12), u"DeviceName: ");
    EXPECT_EQ(lines[101], u"Display No: 1");
    EXPECT_EQ(lines[102], u"----------------");
    EXPECT_EQ(lines[104], u"Description: Second Card");
    EXPECT_EQ(lines[111], u"DisplayMemory: 64.0 MB");
    EXPECT_EQ(lines[124], u"DriverSize: 123456");
    EXPECT_EQ(lines[135], u"Adapter: 1");
    EXPECT_EQ(lines[153], u"AGPStatus: Enabled");
    EXPECT_EQ(lines[154], kEnd);

    ASSERT_NE(records_.systemInfo, nullptr);
    EXPECT_EQ(records_.systemInfo->ullPhysicalMemory, 8589934592ull);
    EXPECT_EQ(records_.systemInfo->szOSLocalized, u"localized");
    ASSERT_EQ(records_.displays.size(), 2u);
    EXPECT_EQ(records_.displays[1]->szDisplayMemoryLocalized, u"64 Mo");
    EXPECT_TRUE(messages_.Warnings().empty()) << "acceleration is on";
    EXPECT_EQ(dxdiagctl::LastInitParams().dwSize, sizeof(DXDIAG_INIT_PARAMS));
    EXPECT_EQ(dxdiagctl::LastInitParams().bAllowWHQLChecks, 1);
    EXPECT_EQ(dxdiagctl::LiveObjects(), 0) << "provider and containers released";
}

TEST_F(SystemInfoReportTest, MissingOrFailingProviderWritesNothing) {
    for (HRESULT failure : {REGDB_E_CLASSNOTREG, E_FAIL}) {
        dxdiagctl::Reset();
        if (failure == REGDB_E_CLASSNOTREG) dxdiagctl::SetCreateResult(failure);
        else dxdiagctl::SetInitializeResult(failure);
        EXPECT_FALSE(LogSystemInfo(&records_));
        EXPECT_TRUE(Lines().empty());
        EXPECT_EQ(records_.systemInfo, nullptr);
        EXPECT_EQ(dxdiagctl::LiveObjects(), 0);
        EXPECT_EQ(win32::ComInitCount(), 0);
    }
    EXPECT_TRUE(messages_.Warnings().empty());
}

TEST_F(SystemInfoReportTest, FailedReadsShortenTheReport) {
    // A property of the wrong kind ends the system record there; what follows stays empty.
    dxdiagctl::SetProp(kSystemInfo, u"dwOSMinorVersion", DiagValue::UInt(1));
    dxdiagctl::SetProp(kSystemInfo, u"bNECPC98", DiagValue::Text(u"no"));
    dxdiagctl::SetProp(kSystemInfo, u"bNetMeetingRunning", DiagValue::Bool(true));
    ASSERT_EQ(dxdiagctl::AddDisplayDevice(), 1u);
    dxdiagctl::SetProp(dxdiagctl::DisplayDevicePath(1), u"dwWidth", DiagValue::Int(800));

    ASSERT_TRUE(LogSystemInfo(&records_));
    EXPECT_TRUE(HasLine(u"OSMinorVersion: 1"));
    EXPECT_TRUE(HasLine(u"NetMeetingRunning: 0"));
    EXPECT_TRUE(HasLine(u"WindowsDir: "));
    ASSERT_EQ(records_.displays.size(), 2u) << "a record joins the list before it is read";
    EXPECT_TRUE(HasLine(u"Display No: 1"));
    EXPECT_EQ(records_.displays[1]->szDisplayModeEnglish, records_.displays[0]->szDisplayModeEnglish);
    EXPECT_EQ(records_.displays[1]->dwWidth, 0u);
    EXPECT_EQ(records_.displays[1]->szMonitorName, u"");

    // Without the containers: the two fallback lines.
    dxdiagctl::RemoveContainer(kSystemInfo);
    dxdiagctl::RemoveContainer(u"DxDiag_DisplayDevices");
    CloseEventLog();
    OpenEventLog(LogOpenMode::kTruncate);
    ASSERT_TRUE(LogSystemInfo(&records_));
    // The system record is handed out before its container is opened, so it is written
    // with nothing read; no display record was ever made.
    const std::vector<std::u16string> lines = Lines();
    ASSERT_EQ(lines.size(), 50u);
    EXPECT_EQ(lines[0], u"OSMajorVersion: 0");
    EXPECT_EQ(lines[48], u"Can NOT get display info.");
    EXPECT_EQ(lines[49], kEnd);
    EXPECT_TRUE(records_.displays.empty());
}

TEST_F(SystemInfoReportTest, LongValuesAreCutToTheirBuffer) {
    dxdiagctl::SetProp(kSystemInfo, u"szDirectXVersionLetter", DiagValue::Text(u"abc"));
    dxdiagctl::SetProp(kSystemInfo, u"szWindowsDir", DiagValue::Text(std::u16string(300, u'w')));
    dxdiagctl::SetProp(dxdiagctl::DisplayDevicePath(0), u"szVendorId", DiagValue::Text(std::u16string(60, u'v')));
    ASSERT_TRUE(LogSystemInfo(&records_));
    EXPECT_TRUE(HasLine(u"DirectXVersionLetter: a"));
    EXPECT_TRUE(HasLine(u"WindowsDir: " + std::u16string(259, u'w')));
    EXPECT_TRUE(HasLine(u"VendorId: " + std::u16string(49, u'v')));
}

TEST_F(SystemInfoReportTest, DeinterlaceModesAreGatheredButNotWritten) {
    const std::u16string caps = dxdiagctl::DisplayDevicePath(0) + u".DXVADeinterlaceCaps.0";
    dxdiagctl::SetProp(caps, u"szD3DInputFormat", DiagValue::Text(u"YUY2"));
    dxdiagctl::SetProp(caps, u"szD3DOutputFormat", DiagValue::Text(u"X8R8G8B8"));
    dxdiagctl::SetProp(caps, u"szGuid", DiagValue::Text(u"{335AA36E-7884-43A4-9C91-7F87FAF3E37E}"));
    dxdiagctl::SetProp(caps, u"szCaps", DiagValue::Text(u"BOBVerticalStretch"));
    dxdiagctl::SetProp(caps, u"dwNumPreviousOutputFrames", DiagValue::UInt(0));
    dxdiagctl::SetProp(caps, u"dwNumForwardRefSamples", DiagValue::UInt(1));
    dxdiagctl::SetProp(caps, u"dwNumBackwardRefSamples", DiagValue::UInt(2));
    ASSERT_TRUE(LogSystemInfo(&records_));
    ASSERT_EQ(records_.displays.size(), 1u);
    ASSERT_EQ(records_.displays[0]->deinterlaceCaps.size(), 1u);
    EXPECT_EQ(records_.displays[0]->deinterlaceCaps[0].szD3DInputFormat, u"YUY2");
    EXPECT_EQ(records_.displays[0]->deinterlaceCaps[0].dwNumBackwardRefSamples, 2u);
    for (const std::u16string& line : Lines()) EXPECT_EQ(line.find(u"YUY2"), std::u16string::npos);
}

TEST_F(SystemInfoReportTest, SecondReportReplacesTheFirstRecords) {
    ASSERT_TRUE(LogSystemInfo(&records_));
    ASSERT_EQ(dxdiagctl::AddDisplayDevice(), 1u);
    ASSERT_TRUE(LogSystemInfo(&records_));
    EXPECT_EQ(records_.displays.size(), 2u);
    dxdiagctl::RemoveDisplayDevice(1);
    ASSERT_TRUE(LogSystemInfo(&records_));
    EXPECT_EQ(records_.displays.size(), 1u);
}

TEST_F(SystemInfoReportTest, OneAccelerationWarningJudgedOnTheFirstDevice) {
    struct Case {
        bool flags[6];
        std::string warning;
    };
    const std::string agp =
        "未启用AGP 纹理加速，请确认机器的AGP 纹理加速，否则可能导致无法启动游戏或者影响游戏运行效率。\n";
    const Case cases[] = {
        {{false, false, false, false, false, false},
         "没有检测到DirectDraw加速，请确认机器的DirectDraw 加速已启用，否则可能导致无法启动游戏。"},
        {{true, true, false, false, false, false},
         "未启用Direct3D加速，请确认机器的Direct3D 加速已启用，否则可能导致无法启动游戏。"},
        {{true, true, true, false, true, true}, agp + "AGPExists=0, AGPExistenceValid=1, AGPEnabled=1"},
        {{true, true, true, true, false, true}, agp + "AGPExists=1, AGPExistenceValid=0, AGPEnabled=1"},
        {{true, true, true, true, true, false}, agp + "AGPExists=1, AGPExistenceValid=1, AGPEnabled=0"},
        {{true, true, true, true, true, true}, ""},
        {{true, false, false, false, false, false}, ""},  // no 3D acceleration at all: nothing to enable
    };
    ASSERT_EQ(dxdiagctl::AddDisplayDevice(), 1u);
    SetFlags(1, {});  // never looked at
    for (const Case& c : cases) {
        SCOPED_TRACE(c.warning);
        SetFlags(0, c.flags);
        messages_.Clear();
        ASSERT_TRUE(LogSystemInfo(&records_));
        const std::vector<std::string> warnings = messages_.Warnings();
        if (c.warning.empty()) {
            EXPECT_TRUE(warnings.empty());
        } else {
            ASSERT_EQ(warnings.size(), 1u);
            EXPECT_EQ(warnings[0], c.warning);
        }
    }
}

}  // namespace
