// Timers, Sleep with its hook, and the C runtime's time functions.
#include "platform/win32/time.h"

#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace {

constexpr std::size_t kMaxRecordedSleeps = 65536;

struct TimeState {
    std::mutex mutex;
    std::map<UINT, int> openPeriods;
    win32::TimerPeriodCounts counts;
    win32::SleepHook sleepHook;
    std::deque<DWORD> sleepCalls;
    std::uint64_t sleepCallCount = 0;
    std::optional<__time64_t> fixedTime;
    bool localTimeFails = false;
};

TimeState& State() {
    static TimeState state;
    return state;
}

using SteadyClock = std::chrono::steady_clock;

SteadyClock::time_point ProcessStart() {
    static const SteadyClock::time_point start = SteadyClock::now();
    return start;
}
[[maybe_unused]] const SteadyClock::time_point kStartAnchor = ProcessStart();

}  // namespace

MMRESULT timeBeginPeriod(UINT period) {
    if (period == 0) return TIMERR_NOCANDO;
    TimeState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    ++state.openPeriods[period];
    ++state.counts.begins;
    ++state.counts.open;
    return TIMERR_NOERROR;
}

MMRESULT timeEndPeriod(UINT period) {
    TimeState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    auto found = state.openPeriods.find(period);
    if (found == state.openPeriods.end()) return TIMERR_NOCANDO;
    if (--found->second == 0) state.openPeriods.erase(found);
    ++state.counts.ends;
    --state.counts.open;
    return TIMERR_NOERROR;
}

void Sleep(DWORD milliseconds) {
    TimeState& state = State();
    win32::SleepHook hook;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.sleepCalls.push_back(milliseconds);
        if (state.sleepCalls.size() > kMaxRecordedSleeps) state.sleepCalls.pop_front();
        ++state.sleepCallCount;
        hook = state.sleepHook;  // called unlocked: a hook may sleep or call Sleep itself
    }
    if (hook) {
        hook(milliseconds);
    } else if (milliseconds == 0) {
        std::this_thread::yield();
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

DWORD GetTickCount() {
    const auto elapsed = SteadyClock::now() - ProcessStart();
    return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

__time64_t _time64(__time64_t* out) {
    __time64_t now;
    {
        TimeState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        now = state.fixedTime ? *state.fixedTime : static_cast<__time64_t>(std::time(nullptr));
    }
    if (out != nullptr) *out = now;
    return now;
}

std::tm* _localtime64(const __time64_t* time) {
    if (time == nullptr || *time < 0) return nullptr;
    {
        TimeState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.localTimeFails) return nullptr;
    }
    thread_local std::tm result;
    const std::time_t value = static_cast<std::time_t>(*time);
    if (localtime_r(&value, &result) == nullptr) return nullptr;
    return &result;
}

namespace win32 {

TimerPeriodCounts TimerPeriods() {
    std::lock_guard<std::mutex> lock(State().mutex);
    return State().counts;
}

void ResetTimerPeriods() {
    std::lock_guard<std::mutex> lock(State().mutex);
    State().openPeriods.clear();
    State().counts = {};
}

void SetSleepHook(SleepHook hook) {
    std::lock_guard<std::mutex> lock(State().mutex);
    State().sleepHook = std::move(hook);
}

std::vector<DWORD> SleepCalls() {
    std::lock_guard<std::mutex> lock(State().mutex);
    return std::vector<DWORD>(State().sleepCalls.begin(), State().sleepCalls.end());
}

std::uint64_t SleepCallCount() {
    std::lock_guard<std::mutex> lock(State().mutex);
    return State().sleepCallCount;
}

void ClearSleepCalls() {
    std::lock_guard<std::mutex> lock(State().mutex);
    State().sleepCalls.clear();
    State().sleepCallCount = 0;
}

void SetFixedTime(__time64_t secondsSince1970) {
    std::lock_guard<std::mutex> lock(State().mutex);
    State().fixedTime = secondsSince1970;
}

void UseRealTime() {
    std::lock_guard<std::mutex> lock(State().mutex);
    State().fixedTime.reset();
}

void SetLocalTimeFails(bool fails) {
    std::lock_guard<std::mutex> lock(State().mutex);
    State().localTimeFails = fails;
}

}  // namespace win32
