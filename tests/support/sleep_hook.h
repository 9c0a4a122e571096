#pragma once
// Replaces Sleep for the lifetime of the object: nothing waits. Each sleep is recorded,
// advances the fake clock (when one is given) by its duration, then runs the callbacks in
// the order they were added, e.g. to step a resource loader. The destructor restores the
// real sleep (not a hook installed before it). Thread-safe; callbacks run on the sleeping
// thread. The clock must outlive the recorder: declare it first.
#include <functional>
#include <memory>
#include <vector>

#include "platform/win32/win32_types.h"
#include "tests/support/fake_clock.h"

namespace lumi::test {

class SleepRecorder {
public:
    explicit SleepRecorder(FakeClock* clock = nullptr);
    ~SleepRecorder();
    SleepRecorder(const SleepRecorder&) = delete;
    SleepRecorder& operator=(const SleepRecorder&) = delete;

    using Callback = std::function<void(DWORD milliseconds)>;
    void OnSleep(Callback callback);

    std::vector<DWORD> Sleeps() const;  // durations in call order since construction or Clear
    void Clear();

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace lumi::test
