#include "core/event_log.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/files.h"
#include "platform/win32/time.h"
#include "tests/support/utf16_file.h"
#include "tests/support/work_folder.h"

namespace {

using lumi::test::ReadUtf16LeFile;
using lumi::test::SplitCrLfLines;

// 2023-11-04 05:06:07 UTC: single-digit fields show the zero padding.
constexpr __time64_t kFixedTime = 1699074367;
const std::u16string kStamp = u"2023/11/04 05:06:07 ";

// Every test runs in its own folder with `logs/`, at a fixed UTC time, and leaves the log
// closed.
class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = getenv("TZ");
        if (tz != nullptr) savedTz_ = tz;
        hadTz_ = tz != nullptr;
        setenv("TZ", "UTC", 1);
        tzset();
        win32::SetFixedTime(kFixedTime);
    }
    void TearDown() override {
        CloseEventLog();
        win32::UseRealTime();
        win32::SetLocalTimeFails(false);
        win32::FailNextFileOpens(0);
        if (hadTz_) {
            setenv("TZ", savedTz_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

    std::vector<char> Bytes() const {
        std::ifstream in(folder_.File(lumi::kEventLogPath), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::vector<std::u16string> Lines() const {
        lumi::test::Utf16File file = ReadUtf16LeFile(folder_.File(lumi::kEventLogPath));
        EXPECT_TRUE(file.hasBom);
        EXPECT_FALSE(file.oddLength);
        return SplitCrLfLines(file.text);
    }
    bool LogExists() const { return std::filesystem::exists(folder_.File(lumi::kEventLogPath)); }

    lumi::test::TempWorkFolder folder_;
    std::string savedTz_;
    bool hadTz_ = false;
};

TEST_F(EventLogTest, FreshLogHasMarkBannerAndWideLines) {
    ASSERT_NE(OpenEventLog(LogOpenMode::kTruncate), nullptr);
    WriteLogBanner();
    WriteLog(u"设备 [%s] %d %hs", u"显卡 名字", 42, "narrow");
    CloseEventLog();

    // Lines() checks the byte-order mark; the last line ends with CR LF too.
    const std::vector<char> bytes = Bytes();
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(std::string(bytes.end() - 4, bytes.end()), std::string("\r\0\n\0", 4));

    const std::u16string edge(u"+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+");
    const std::vector<std::u16string> expected = {
        kStamp + edge,
        kStamp + u"+                     Vestrandil Lumiscriber - Event log                      +",
        kStamp + u"+                                                                             +",
        kStamp + edge,
        kStamp + u"设备 [显卡 名字] 42 narrow",
    };
    EXPECT_EQ(Lines(), expected);
}

TEST_F(EventLogTest, LongMessagesAreCutAt1023Units) {
    ASSERT_NE(OpenEventLog(), nullptr);
    const std::u16string exact(1023, u'x');
    const std::u16string longer(1024, u'y');
    WriteLog(u"%s", exact.c_str());
    WriteLog(u"%s", longer.c_str());
    WriteLog(u"after");
    CloseEventLog();

    const std::vector<std::u16string> lines = Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], kStamp + exact);
    EXPECT_EQ(lines[1], kStamp + std::u16string(1023, u'y'));
    EXPECT_EQ(lines[2], kStamp + u"after");
}

TEST_F(EventLogTest, EachRendererStartsAfreshAndLaterOpensAppend) {
    // An appending open of a new file still starts it with the mark (checked by Lines()).
    ASSERT_NE(OpenEventLog(LogOpenMode::kAppend), nullptr);
    WriteLog(u"before any renderer");
    CloseEventLog();
    EXPECT_EQ(Lines(), std::vector<std::u16string>{kStamp + u"before any renderer"});
    ASSERT_NE(OpenEventLog(LogOpenMode::kTruncate), nullptr);
    WriteLog(u"first renderer");
    CloseEventLog();

    ASSERT_NE(OpenEventLog(LogOpenMode::kTruncate), nullptr);
    WriteLog(u"second renderer");
    // An open while the log is open changes nothing.
    ASSERT_NE(OpenEventLog(LogOpenMode::kTruncate), nullptr);
    WriteLog(u"still second");
    CloseEventLog();
    // The renderer's closing steps reopen without losing what is there.
    ASSERT_NE(OpenEventLog(LogOpenMode::kAppend), nullptr);
    WriteLog(u"closing");
    CloseEventLog();

    EXPECT_EQ(Lines(), (std::vector<std::u16string>{kStamp + u"second renderer", kStamp + u"still second",
                                                    kStamp + u"closing"}));
}

TEST_F(EventLogTest, AFailedReopenEndsLoggingUntilTheNextOpenWhichKeepsTheFile) {
    ASSERT_NE(OpenEventLog(LogOpenMode::kTruncate), nullptr);
    WriteLog(u"kept");
    win32::FailNextFileOpens(1);  // the reopen after this line's date
    WriteLog(u"lost");
    WriteLog(u"lost too");
    EXPECT_FALSE(IsEventLogOpen());

    ASSERT_NE(OpenEventLog(LogOpenMode::kAppend), nullptr);
    WriteLog(u"back");
    CloseEventLog();

    const std::vector<std::u16string> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], kStamp + u"kept");
    // The dropped message leaves its date behind; the next line follows it.
    EXPECT_EQ(lines[1], u"2023/11/04 05:06:07" + kStamp + u"back");
}

TEST_F(EventLogTest, NothingIsWrittenWhileClosedOrWithoutLocalTime) {
    WriteLog(u"before any open");
    EXPECT_FALSE(LogExists());

    ASSERT_NE(OpenEventLog(), nullptr);
    win32::SetLocalTimeFails(true);
    WriteLog(u"no time");
    win32::SetLocalTimeFails(false);
    WriteLog(u"with time");
    CloseEventLog();
    WriteLog(u"after close");

    EXPECT_EQ(Lines(), std::vector<std::u16string>{kStamp + u"with time"});
}

TEST_F(EventLogTest, MissingLogsFolderMeansNoLog) {
    std::filesystem::remove_all(folder_.Path() / "logs");
    EXPECT_EQ(OpenEventLog(), nullptr);
    EXPECT_FALSE(IsEventLogOpen());
    WriteLog(u"dropped");
    WriteLogBanner();
    CloseEventLog();
    EXPECT_FALSE(std::filesystem::exists(folder_.Path() / "logs"));
}

TEST_F(EventLogTest, LinesFromTwoThreadsNeverMix) {
    ASSERT_NE(OpenEventLog(), nullptr);
    constexpr int kLinesPerThread = 150;
    auto writer = [](const char16_t* name) {
        for (int i = 0; i < kLinesPerThread; ++i) WriteLog(u"%s line %d of this thread", name, i);
    };
    std::thread a(writer, u"甲");
    std::thread b(writer, u"乙");
    a.join();
    b.join();
    CloseEventLog();

    const std::vector<std::u16string> lines = Lines();
    ASSERT_EQ(lines.size(), 2u * kLinesPerThread);
    // Each line is whole, and each thread's lines keep their order.
    const std::u16string prefixA = kStamp + u"甲 line ";
    const std::u16string prefixB = kStamp + u"乙 line ";
    const std::u16string tail = u" of this thread";
    int nextA = 0;
    int nextB = 0;
    for (const std::u16string& line : lines) {
        ASSERT_GT(line.size(), prefixA.size() + tail.size());
        ASSERT_EQ(line.substr(line.size() - tail.size()), tail) << "mixed line";
        std::string number;
        for (char16_t unit : line.substr(prefixA.size(), line.size() - prefixA.size() - tail.size())) {
            number += static_cast<char>(unit);
        }
        if (line.compare(0, prefixA.size(), prefixA) == 0) {
            EXPECT_EQ(std::stoi(number), nextA++);
        } else {
            ASSERT_EQ(line.compare(0, prefixB.size(), prefixB), 0) << "mixed line";
            EXPECT_EQ(std::stoi(number), nextB++);
        }
    }
    EXPECT_EQ(nextA, kLinesPerThread);
    EXPECT_EQ(nextB, kLinesPerThread);
}

}  // namespace
