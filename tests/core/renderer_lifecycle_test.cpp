// The renderer's construction road with its fallbacks and fatal stops, destruction, the
// factory's failure path and the default file callbacks.
#include <cstdio>
#include <fstream>

#include "core/exception.h"
#include "core/file_callbacks.h"
#include "platform/win32/time.h"
#include "tests/core/renderer_fixture.h"

namespace lumi::test {
namespace {

constexpr char16_t kDash[] = u"--------------------------------------------------";

TEST_F(RendererTest, DefaultConstructionLogsTheWholeRoadAndDestructionItsStatistics) {
    ASSERT_NE(Create(), nullptr);
    ASSERT_NE(Renderer()->GetDevice(), nullptr);
    EXPECT_EQ(Renderer()->GetAtlasPageSize(), 1024u);  // A8 and 4096-texel textures

    const std::vector<std::u16string> lines = LogLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[1], u"+                     Vestrandil Lumiscriber - Event log                      +");
    EXPECT_EQ(lines[0], lines[3]);
    EXPECT_TRUE(LogHasInOrder({u"Direct3D Renderer Construct", u"---- Begining Direct3D initialisation ----",
                               u"==>Direct3D Object Created.", kDash, u"---- begin create d3d device ----",
                               u"standard d3d device settings", kDash, u"DeviceType : D3DDEVTYPE_HAL",
                               u"\tBackBufferWidth : 320", u"\tBackBufferCount : 3",
                               u"\tPresentationInterval : 0X80000000", kDash, u"Optimal device setting is found :",
                               kDash, u"Check D3D Device Caps:", kDash, u"MaxTextureWidth = 4096",
                               u"PixelShaderVersion=1.1", kDash, u"----  end create d3d device ----",
                               u"Check texture format support.", u"D3DFMT_A8 texture format: supported",
                               u"D3DFMT_DXT3 texture format: supported", u"Alpha Texture Format:D3DFMT_A8R8G8B8",
                               u"Normal Texture Format:D3DFMT_X8R8G8B8", u"UI Texture Format:D3DFMT_A8R8G8B8",
                               u"TexMgr creating...", u"Font Texture Format:D3DFMT_A8", u"FontTexMgr creating...",
                               u"Direct3D Renderer Construct success"}));
    EXPECT_TRUE(LogContains(u"Available Texture Memory="));
    EXPECT_FALSE(LogContains(u"try to reduce setting..."));
    EXPECT_TRUE(boxes_.Calls().empty());

    Release();
    EXPECT_TRUE(LogHasInOrder({u"---- Begining CLumiscriber destruction ----", u">> Statistic <<",
                               u"Frame Count : 0", u"Running Time : 0(ms)", u"FPS : 0.000000",
                               u"---- CLumiscriber destruction completed ----"}));
    EXPECT_FALSE(IsEventLogOpen());
    const win32::TimerPeriodCounts periods = win32::TimerPeriods();
    EXPECT_EQ(periods.begins, periods.ends);

    // A later renderer searches with its own Direct3D object, not the released one.
    ASSERT_NE(Create(), nullptr);
    EXPECT_TRUE(RunFrame());
}

TEST_F(RendererTest, VsyncAndBitsPerPixelShapeTheDesiredSettings) {
    param_.Vsync = 1;
    param_.BitsPerPixel = 24;  // neither 16 nor 32: the desktop decides
    win32::SetCurrentDisplayMode({1920, 1080, 16});
    ASSERT_NE(Create(), nullptr);
    EXPECT_TRUE(LogHasInOrder({u"standard d3d device settings", kDash, u"DeviceType : D3DDEVTYPE_HAL",
                               u"\tBackBufferFormat : D3DFMT_R5G6B5", u"\tPresentationInterval : 0X00000001"}));
}

TEST_F(RendererTest, FirstCreationFailureRetriesWithReducedSettings) {
    EnumerateFirst();
    d3d9ctl::FailCall("CreateDevice", 1, D3DERR_NOTAVAILABLE);
    ASSERT_NE(Create(), nullptr);
    EXPECT_TRUE(LogHasInOrder({u"Optimal device setting is found :", u"try to reduce setting...",
                               u"\tBackBufferCount : 1", u"find min settings.", u"----  end create d3d device ----"}));
    EXPECT_TRUE(LogContains(u"failed to create d3d device, ["));
    const d3d9ctl::DeviceInfo info = d3d9ctl::InspectDevice(Renderer()->GetDevice());
    EXPECT_EQ(info.behaviorFlags & D3DCREATE_SOFTWARE_VERTEXPROCESSING, D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    EXPECT_EQ(info.presentParameters.BackBufferCount, 1u);
    EXPECT_FALSE(LogContains(u"Try free some vide memory."));
}

TEST_F(RendererTest, SecondCreationFailureCyclesThrough800x600x16OnlyWhenThatModeExists) {
    for (const bool modeExists : {true, false}) {
        SCOPED_TRACE(modeExists ? "with 800x600x16" : "without 800x600x16");
        win32::ResetDisplay();
        if (!modeExists) win32::SetDisplayModes({{640, 480, 32}, {800, 600, 32}, {1024, 768, 32}});
        EnumerateFirst();
        d3d9ctl::FailCall("CreateDevice", 1, D3DERR_OUTOFVIDEOMEMORY, 2);
        ASSERT_NE(Create(), nullptr);
        EXPECT_TRUE(LogHasInOrder({u"find min settings.", u"Try free some vide memory.",
                                   u"----  end create d3d device ----"}));
        const auto calls = win32::ChangeDisplaySettingsCalls();
        if (modeExists) {
            ASSERT_EQ(calls.size(), 2u);
            EXPECT_TRUE(calls[0].hasMode);
            EXPECT_EQ(calls[0].mode.dmPelsWidth, 800u);
            EXPECT_EQ(calls[0].mode.dmBitsPerPel, 16u);
            EXPECT_EQ(calls[0].mode.dmFields, 0x1C0000u);
            EXPECT_EQ(calls[0].flags, CDS_FULLSCREEN);
            EXPECT_FALSE(calls[1].hasMode);
        } else {
            EXPECT_TRUE(calls.empty());
        }
        Release();
        DestroyAdapterEnum();
    }
}

TEST_F(RendererTest, FatalSetupStopsReturnNullAndUploadTheLog) {
    struct Case {
        const char* what;
        bool enumerateFirst;
        std::int32_t quality;
        void (*arrange)();
        std::string message;
    };
    const Case cases[] = {
        {"no Direct3D", false, 1, [] { d3d9ctl::FailCall("Direct3DCreate9", 1, E_FAIL); },
         "创建Direct3D接口时出错，请检查是否安装了DirectX 9.0."},
        {"no adapter", false, 1, [] { d3d9ctl::SetAdapters({}); }, "无法获取到显卡信息"},
        {"third creation", true, 1, [] { d3d9ctl::FailCall("CreateDevice", 1, D3DERR_OUTOFVIDEOMEMORY, 3); },
         "failed to create d3d device[2], FreeVidMem=0.00(mb), desc=["},
        {"normal format", false, 2, [] { d3d9ctl::SetFormatSupport(0, D3DFMT_R5G6B5, {}); },
         "device does NOT supported specified texture format!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        d3d9ctl::ResetAll();
        DestroyAdapterEnum();
        UploadedLogs().clear();
        if (c.enumerateFirst) EnumerateFirst();
        c.arrange();
        param_.Quality = c.quality;
        EXPECT_EQ(Create(), nullptr);
        EXPECT_EQ(tarnel::LastErrorMessage().rfind(c.message, 0), 0u) << tarnel::LastErrorMessage();
        ASSERT_EQ(UploadedLogs().size(), 1u);
        EXPECT_EQ(UploadedLogs()[0], "logs/lumiscriber.log");
    }
    EXPECT_TRUE(LogContains(u"unsupported texture format:D3DFMT_R5G6B5"));
    // Nothing built before the stop is left behind.
    EXPECT_EQ(win32::TimerPeriods().begins, win32::TimerPeriods().ends);

    // Without the uploader the failure is just as quiet.
    win32::ClearModules();
    d3d9ctl::FailCall("Direct3DCreate9", 1, E_FAIL);
    UploadedLogs().clear();
    EXPECT_EQ(Create(), nullptr);
    EXPECT_TRUE(UploadedLogs().empty());
}

TEST_F(RendererTest, LowTextureMemoryAsksOnlyAtFullQualityBelowSixteenMegabytes) {
    struct Case {
        std::uint64_t bytes;
        std::int32_t quality;
        int answer;
        bool asked;
        const char16_t* alphaLine;
    };
    const std::uint64_t sixteen = 16ull << 20;
    const Case cases[] = {
        {sixteen - (100u << 10), 1, IDYES, true, u"Alpha Texture Format:D3DFMT_DXT3"},
        {sixteen - (100u << 10), 1, IDNO, true, u"Alpha Texture Format:D3DFMT_A8R8G8B8"},
        {sixteen - (100u << 10), 2, IDYES, false, u"Alpha Texture Format:D3DFMT_A4R4G4B4"},
        {sixteen * 4, 1, IDYES, false, u"Alpha Texture Format:D3DFMT_A8R8G8B8"},
    };
    for (const Case& c : cases) {
        ScriptedMessageBoxes boxes;
        d3d9ctl::SetTextureMemory(0, c.bytes);
        boxes.Answer(c.answer);
        param_.Quality = c.quality;
        ASSERT_NE(Create(), nullptr);
        const auto calls = boxes.Calls();
        ASSERT_EQ(calls.size(), c.asked ? 1u : 0u) << c.bytes << " quality " << c.quality;
        if (c.asked) {
            EXPECT_EQ(calls[0].owner, window_);
            EXPECT_EQ(calls[0].caption, u"警告");
            EXPECT_EQ(calls[0].type, MB_YESNO);
            EXPECT_EQ(calls[0].text.rfind(u"当前显存小于16M", 0), 0u);
        }
        EXPECT_TRUE(LogContains(c.alphaLine)) << win32::Utf16ToUtf8(c.alphaLine);
        // The host's quality stays what it gave.
        EXPECT_TRUE(renderer_->ChangeDisplayMode(kWidth, kHeight, 32, c.quality, false, true));
        Release();
    }
}

TEST_F(RendererTest, QualityThreeWithoutDxt3FallsBackToFourBitAlpha) {
    d3d9ctl::SetFormatSupport(0, D3DFMT_DXT3, {});
    param_.Quality = 3;
    ASSERT_NE(Create(), nullptr);
    EXPECT_EQ(Renderer()->GetAlphaFormat(), D3DFMT_A4R4G4B4);
    EXPECT_EQ(Renderer()->GetNormalFormat(), D3DFMT_R5G6B5);
    EXPECT_EQ(Renderer()->GetUIFormat(), D3DFMT_A4R4G4B4);
    EXPECT_TRUE(LogContains(u"D3DFMT_DXT3 texture format: unsupported"));
}

TEST_F(RendererTest, BadInputNeverCrashes) {
    UploadedLogs().clear();
    EXPECT_EQ(CreateLumiscriber(nullptr), nullptr);
    EXPECT_TRUE(UploadedLogs().empty());
    ReleaseLumiscriber(nullptr);

    param_.Window = nullptr;
    EXPECT_EQ(Create(), nullptr);
    param_.Window = win32::CreateTestWindow(u"gone", 0, 0, kWidth, kHeight);
    DestroyWindow(param_.Window);
    EXPECT_EQ(Create(), nullptr);
    param_.Window = window_;
    param_.Width = -5;
    EXPECT_EQ(Create(), nullptr);
    param_.Width = kWidth;

    ASSERT_NE(Create(), nullptr);
    auto open = DefaultFileOpen;
    auto close = DefaultFileClose;
    auto read = DefaultFileRead;
    auto seek = DefaultFileSeek;
    try {
        renderer_->SetFileSystem(open, close, read, seek, open, nullptr, read, seek);
        FAIL() << "a null callback was accepted";
    } catch (const tarnel::FatalError& error) {
        EXPECT_STREQ(error.what(), "CLumiscriber::SetFileSystem() - invalid 2nd file callback function pointer!");
    }
    EXPECT_THROW(renderer_->SetFileSystem(nullptr, close, read, seek, open, close, read, seek), tarnel::FatalError);
    renderer_->SetFileSystem(open, close, read, seek, open, close, read, seek);

    // The two placeholders of the table.
    for (auto call : {+[](IRenderer* r) { r->UnsupportedMethodA(); }, +[](IRenderer* r) { r->UnsupportedMethodB(); }}) {
        try {
            call(renderer_);
            ADD_FAILURE() << "no exception";
        } catch (const std::exception& error) {
            EXPECT_STREQ(error.what(), "unsupported method!");
        }
    }
}

TEST_F(RendererTest, AWindowThatIsNoneIsRefusedWithItsCauseAndAnEmptyClientAreaIsNoted) {
    param_.Window = nullptr;
    EXPECT_EQ(Create(), nullptr);
    EXPECT_TRUE(LogContains(u"CreateLumiscriber refused: no window handle"));
    EXPECT_FALSE(LogContains(u"Direct3D Renderer Construct")) << "nothing is made";

    param_.Window = win32::CreateTestWindow(u"gone", 0, 0, kWidth, kHeight);
    DestroyWindow(param_.Window);
    EXPECT_EQ(Create(), nullptr);
    EXPECT_TRUE(LogContains(u"CreateLumiscriber refused: the window handle is not a window (destroyed?)"));
    EXPECT_FALSE(LogContains(u"Direct3D Renderer Construct"));

    // Direct3D 9 takes a window without a client area, the back buffer's size being given.
    param_.Window = win32::CreateTestWindow(u"empty", 0, 0, 0, 0);
    ASSERT_NE(Create(), nullptr);
    EXPECT_TRUE(LogHasInOrder(
        {u"The device window's client area is 0 x 0: nothing presented shows until it has a size.",
         u"Direct3D Renderer Construct success"}));
    EXPECT_TRUE(RunFrame());
}

TEST_F(RendererTest, EveryCreationItRefusesOrThatFailsSaysWhyInTheLog) {
    EXPECT_EQ(CreateLumiscriber(nullptr), nullptr);
    EXPECT_TRUE(LogContains(u"CreateLumiscriber refused: no creation parameters."));

    param_.Height = 0;
    EXPECT_EQ(Create(), nullptr);
    EXPECT_TRUE(LogContains(u"CreateLumiscriber refused: the width and height must be at least 1"));

    // Full screen at a size the display has no mode for: no device settings can be found.
    param_.Height = 222;
    param_.Windowed = 0;
    EXPECT_EQ(Create(), nullptr);
    EXPECT_TRUE(LogContains(u"CreateLumiscriber failed: 无法找到合适的Direct3D设备配置组合."));
}

TEST_F(RendererTest, AFailedCreationClosesItsLogSoTheNextRendererStartsItAfresh) {
    d3d9ctl::FailCall("Direct3DCreate9", 1, E_FAIL);
    EXPECT_EQ(Create(), nullptr);
    EXPECT_FALSE(IsEventLogOpen());

    ASSERT_NE(Create(), nullptr);
    const std::vector<std::u16string> lines = LogLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[1], u"+                     Vestrandil Lumiscriber - Event log                      +");
    EXPECT_EQ(CountLines(lines[1]), 1) << "one banner: the failed creation's log is gone";
    EXPECT_FALSE(LogContains(u"CreateLumiscriber failed"));
}

TEST(DefaultFileCallbacks, OpenReadSeekAndClose) {
    TempWorkFolder folder;
    std::ofstream(folder.File("data.bin"), std::ios::binary) << "0123456789";

    std::int32_t size = 77;
    LumiFileHandle file = nullptr;
    EXPECT_EQ(DefaultFileOpen(u"missing.bin", &size, &file), -1);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(DefaultFileOpen(u"missing.bin", nullptr, nullptr), -1);
    // No handle wanted: the size is still told and the file does not stay open.
    EXPECT_EQ(DefaultFileOpen(u"data.bin", &size, nullptr), 0);
    EXPECT_EQ(size, 10);

    ASSERT_EQ(DefaultFileOpen(u"data.bin", &size, &file), 0);
    char buffer[16] = {};
    std::int32_t count = 0;
    EXPECT_EQ(DefaultFileSeek(file, 3, 0), 0);
    EXPECT_EQ(DefaultFileRead(file, buffer, 2, &count), 0);
    EXPECT_EQ(std::string(buffer, 2), "34");
    EXPECT_EQ(DefaultFileSeek(file, 1, 1), 0);  // from the current position
    EXPECT_EQ(DefaultFileRead(file, buffer, 1, &count), 0);
    EXPECT_EQ(buffer[0], '6');
    EXPECT_EQ(DefaultFileSeek(file, -2, 2), 0);  // from the end
    EXPECT_EQ(DefaultFileRead(file, buffer, 16, &count), 0);  // a short read is no error
    EXPECT_EQ(count, 2);
    EXPECT_EQ(DefaultFileClose(file), 0);

    EXPECT_EQ(DefaultFileRead(nullptr, buffer, 1, &count), -1);
    EXPECT_EQ(DefaultFileSeek(nullptr, 0, 0), -1);
    EXPECT_EQ(DefaultFileClose(nullptr), 0);
}

}  // namespace
}  // namespace lumi::test
