#pragma once
// Timers, Sleep and the C runtime's 64-bit time functions.
//
// Every Sleep goes through a replaceable hook so that tests never wait on wall time: they
// install a hook that advances a fake clock or steps a loader. Every call is recorded,
// whatever the hook. All functions here are thread-safe.
#include <cstdint>
#include <ctime>
#include <functional>
#include <vector>

#include "platform/win32/win32_types.h"

using MMRESULT = UINT;
inline constexpr MMRESULT TIMERR_NOERROR = 0;
inline constexpr MMRESULT TIMERR_NOCANDO = 97;

// Requests a timer resolution of `period` ms; each successful begin must be matched by an
// end with the same period. A period of 0 gives TIMERR_NOCANDO; so does an end without a
// matching begin.
MMRESULT timeBeginPeriod(UINT period);
MMRESULT timeEndPeriod(UINT period);

// Suspends the calling thread through the sleep hook (by default it really sleeps).
void Sleep(DWORD milliseconds);

// Milliseconds since process start (wraps after 49.7 days).
DWORD GetTickCount();

// glibc on 64-bit systems already names its own 64-bit time type so, as a macro.
#ifndef __time64_t
using __time64_t = std::int64_t;
#endif
static_assert(sizeof(__time64_t) == 8, "__time64_t is 64 bits");

// Seconds since 1970-01-01 UTC; also stored through `out` when it is not null.
__time64_t _time64(__time64_t* out);

// Local time of *time in a per-thread buffer (valid until the thread's next call).
// Null for a null pointer, a time the C library cannot convert, or while local time
// is switched off for tests.
std::tm* _localtime64(const __time64_t* time);

namespace win32 {

// Timer periods: begins and ends that succeeded, and the requests still open per period.
struct TimerPeriodCounts {
    int begins = 0;
    int ends = 0;
    int open = 0;  // begins - ends over all periods
};
TimerPeriodCounts TimerPeriods();
void ResetTimerPeriods();

// The sleep hook. An empty function restores the default (a real sleep).
using SleepHook = std::function<void(DWORD milliseconds)>;
void SetSleepHook(SleepHook hook);

// The latest Sleep calls in order, from every thread, since the last ClearSleepCalls (the
// most recent 65,536 are kept, so a long-running host does not grow without bound), and
// the number of calls since then.
std::vector<DWORD> SleepCalls();
std::uint64_t SleepCallCount();
void ClearSleepCalls();

// Test controls for _time64 and _localtime64: a fixed "now" until UseRealTime, and a
// switch that makes local time fail (as when the C runtime cannot convert).
void SetFixedTime(__time64_t secondsSince1970);
void UseRealTime();
void SetLocalTimeFails(bool fails);

}  // namespace win32
