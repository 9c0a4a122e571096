// TimeGet_S: milliseconds since process start, or a clock that tests install.
#include <chrono>
#include <mutex>

#include "platform/tarnel/tarnel.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

SteadyClock::time_point ProcessStart() {
    static const SteadyClock::time_point start = SteadyClock::now();
    return start;
}

// Taken during static initialisation so that the origin is the process start, not the
// first TimeGet_S call.
[[maybe_unused]] const SteadyClock::time_point kStartAnchor = ProcessStart();

std::mutex& ClockMutex() {
    static std::mutex mutex;
    return mutex;
}

tarnel::ClockSource& Source() {
    static tarnel::ClockSource source;
    return source;
}

}  // namespace

namespace tarnel {

void SetClockSource(ClockSource clock) {
    std::lock_guard<std::mutex> lock(ClockMutex());
    Source() = std::move(clock);
}

}  // namespace tarnel

std::uint32_t TimeGet_S() {
    {
        std::lock_guard<std::mutex> lock(ClockMutex());
        if (Source()) return Source()();
    }
    const auto elapsed = SteadyClock::now() - ProcessStart();
    // The counter wraps after 49.7 days like every 32-bit millisecond clock of the platform.
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}
