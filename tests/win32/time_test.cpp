#include <gtest/gtest.h>

#include <stdlib.h>

#include <thread>

#include "platform/tarnel/tarnel.h"
#include "platform/win32/time.h"
#include "tests/support/fake_clock.h"
#include "tests/support/sleep_hook.h"

namespace {

TEST(TimerPeriodTest, BeginsAndEndsAreCountedAndMustMatch) {
    win32::ResetTimerPeriods();
    EXPECT_EQ(timeBeginPeriod(0), TIMERR_NOCANDO);
    EXPECT_EQ(timeEndPeriod(1), TIMERR_NOCANDO);  // nothing begun
    EXPECT_EQ(timeBeginPeriod(1), TIMERR_NOERROR);
    EXPECT_EQ(timeBeginPeriod(1), TIMERR_NOERROR);
    EXPECT_EQ(timeEndPeriod(2), TIMERR_NOCANDO);  // another period
    EXPECT_EQ(timeEndPeriod(1), TIMERR_NOERROR);
    win32::TimerPeriodCounts counts = win32::TimerPeriods();
    EXPECT_EQ(counts.begins, 2);
    EXPECT_EQ(counts.ends, 1);
    EXPECT_EQ(counts.open, 1);
    EXPECT_EQ(timeEndPeriod(1), TIMERR_NOERROR);
    EXPECT_EQ(timeEndPeriod(1), TIMERR_NOCANDO);
    EXPECT_EQ(win32::TimerPeriods().open, 0);
    win32::ResetTimerPeriods();
}

TEST(SleepTest, SleepsAdvanceTheFakeClockAndRunCallbacks) {
    lumi::test::FakeClock clock(1000);
    lumi::test::SleepRecorder sleeps(&clock);
    std::vector<std::uint32_t> clockAtCallback;
    sleeps.OnSleep([&](DWORD) { clockAtCallback.push_back(TimeGet_S()); });
    int steps = 0;
    sleeps.OnSleep([&](DWORD ms) { steps += static_cast<int>(ms); });

    win32::ClearSleepCalls();
    Sleep(5);
    Sleep(25);
    Sleep(0);
    EXPECT_EQ(TimeGet_S(), 1030u);
    EXPECT_EQ(sleeps.Sleeps(), (std::vector<DWORD>{5, 25, 0}));
    EXPECT_EQ(win32::SleepCalls(), (std::vector<DWORD>{5, 25, 0}));
    EXPECT_EQ(win32::SleepCallCount(), 3u);
    EXPECT_EQ(clockAtCallback, (std::vector<std::uint32_t>{1005, 1030, 1030}));  // clock moves first
    EXPECT_EQ(steps, 30);

    sleeps.Clear();
    EXPECT_TRUE(sleeps.Sleeps().empty());
}

TEST(SleepTest, SleepsFromManyThreadsAreAllRecorded) {
    lumi::test::FakeClock clock;
    lumi::test::SleepRecorder sleeps(&clock);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 100; ++i) Sleep(1);
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(sleeps.Sleeps().size(), 400u);
    EXPECT_EQ(clock.Now(), 400u);
}

TEST(FakeClockTest, WrapsAtThirtyTwoBitsAndHandsBackTheRealClock) {
    {
        lumi::test::FakeClock clock(0xFFFFFFF0u);
        clock.Advance(0x20);
        EXPECT_EQ(TimeGet_S(), 0x10u);
        clock.Set(7);
        EXPECT_EQ(TimeGet_S(), 7u);
    }
    const std::uint32_t first = TimeGet_S();
    EXPECT_LE(first, TimeGet_S());
}

class LocalTimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        hadTz_ = tz != nullptr;
        if (hadTz_) oldTz_ = tz;
        ::setenv("TZ", "UTC0", 1);
        ::tzset();
    }
    void TearDown() override {
        if (hadTz_) {
            ::setenv("TZ", oldTz_.c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
        win32::UseRealTime();
        win32::SetLocalTimeFails(false);
    }
    bool hadTz_ = false;
    std::string oldTz_;
};

TEST_F(LocalTimeTest, FixedTimeConvertsAndTheFailureSwitchGivesNull) {
    win32::SetFixedTime(1733745005);  // 2024-12-09 11:50:05 UTC
    __time64_t now = 0;
    EXPECT_EQ(_time64(&now), 1733745005);
    EXPECT_EQ(now, 1733745005);
    const std::tm* local = _localtime64(&now);
    ASSERT_NE(local, nullptr);
    EXPECT_EQ(local->tm_year + 1900, 2024);
    EXPECT_EQ(local->tm_mon + 1, 12);
    EXPECT_EQ(local->tm_mday, 9);
    EXPECT_EQ(local->tm_hour, 11);
    EXPECT_EQ(local->tm_min, 50);
    EXPECT_EQ(local->tm_sec, 5);

    win32::SetLocalTimeFails(true);
    EXPECT_EQ(_localtime64(&now), nullptr);
    win32::SetLocalTimeFails(false);
    EXPECT_EQ(_localtime64(nullptr), nullptr);
    const __time64_t negative = -1;
    EXPECT_EQ(_localtime64(&negative), nullptr);

    win32::UseRealTime();
    EXPECT_GT(_time64(nullptr), 1733745005);
}

}  // namespace
