#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/tarnel/tarnel.h"
#include "platform/win32/debug_output.h"
#include "tests/support/message_capture.h"

namespace {

TEST(TarnelErrorTest, ThrowsFatalErrorWithTheFormattedMessage) {
    tarnel::ClearLastError();
    ::testing::internal::CaptureStderr();
    try {
        Error("failed to create d3d device[2], FreeVidMem=%.2f(mb), desc=[%s]", 12.5, "E_FAIL");
        ADD_FAILURE() << "Error returned";
    } catch (const tarnel::FatalError& error) {
        EXPECT_STREQ(error.what(), "failed to create d3d device[2], FreeVidMem=12.50(mb), desc=[E_FAIL]");
    }
    const std::string stderrText = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(stderrText.find("FreeVidMem=12.50(mb)"), std::string::npos) << stderrText;
    EXPECT_EQ(tarnel::LastErrorMessage(), "failed to create d3d device[2], FreeVidMem=12.50(mb), desc=[E_FAIL]");

    // UTF-8 text passes unchanged, long messages are not cut, and FatalError is a std::exception
    // so a catch-all in the factory sees it.
    const std::string longText(5000, 'x');
    ::testing::internal::CaptureStderr();
    EXPECT_THROW(Error("无法获取到显卡信息 %s", longText.c_str()), std::exception);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(tarnel::LastErrorMessage(), "无法获取到显卡信息 " + longText);
    tarnel::ClearLastError();
    EXPECT_EQ(tarnel::LastErrorMessage(), "");
}

TEST(TarnelMessageTest, EachKindReachesItsOwnSink) {
    lumi::test::MessageCapture capture;
    Warning("accel %d", 1);
    DevMsg("can NOT get bitmap from Fontmill, codepoint[%d]", 0x4E2D);
    DbgMsg("%s", "----");
    OutputDebugStringA("debugger\n");
    EXPECT_EQ(capture.Warnings(), std::vector<std::string>{"accel 1"});
    EXPECT_EQ(capture.DevMsgs(), std::vector<std::string>{"can NOT get bitmap from Fontmill, codepoint[20013]"});
    EXPECT_EQ(capture.DbgMsgs(), std::vector<std::string>{"----"});
    EXPECT_EQ(capture.DebugOutput(), std::vector<std::string>{"debugger\n"});
    EXPECT_TRUE(capture.Contains("codepoint[20013]"));
    EXPECT_FALSE(capture.Contains("absent"));
    capture.Clear();
    EXPECT_TRUE(capture.DevMsgs().empty());
}

TEST(TarnelMessageTest, SinksMayReenterAndReceiveEveryThreadsMessages) {
    lumi::test::MessageCapture capture;
    // A warning sink that reports through DevMsg must not dead-lock.
    tarnel::SetWarningSink([](const std::string& text) { DevMsg("seen: %s", text.c_str()); });
    Warning("w");
    EXPECT_EQ(capture.DevMsgs(), std::vector<std::string>{"seen: w"});

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 50; ++i) DbgMsg("%d:%d", t, i);
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(capture.DbgMsgs().size(), 200u);
}

TEST(TarnelMessageTest, DefaultSinksDropTextAndNullFormatsAreHarmless) {
    { lumi::test::MessageCapture capture; }
    Warning("dropped");
    DevMsg(nullptr);
    lumi::test::MessageCapture capture;
    DbgMsg(nullptr);
    EXPECT_EQ(capture.DbgMsgs(), std::vector<std::string>{""});
    EXPECT_TRUE(capture.Warnings().empty());
}

TEST(TarnelAllocTest, FailureSwitchFailsExactlyTheNextAllocations) {
    tarnel::FailNextAllocations(2);
    EXPECT_EQ(Plat_Alloc(16), nullptr);
    EXPECT_EQ(Plat_Alloc(16), nullptr);
    void* block = Plat_Alloc(16);
    ASSERT_NE(block, nullptr);
    Plat_Free(block);

    void* empty = Plat_Alloc(0);
    EXPECT_NE(empty, nullptr);
    Plat_Free(empty);
    Plat_Free(nullptr);

    tarnel::FailNextAllocations(5);
    tarnel::FailNextAllocations(0);
    block = Plat_Alloc(1);
    EXPECT_NE(block, nullptr);
    Plat_Free(block);
}

}  // namespace
