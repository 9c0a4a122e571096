#include "tests/support/sleep_hook.h"

#include <mutex>

#include "platform/win32/time.h"

namespace lumi::test {

struct SleepRecorder::State {
    std::mutex mutex;
    std::vector<DWORD> sleeps;
    std::vector<Callback> callbacks;
    FakeClock* clock = nullptr;
};

SleepRecorder::SleepRecorder(FakeClock* clock) : state_(std::make_shared<State>()) {
    state_->clock = clock;
    win32::SetSleepHook([state = state_](DWORD ms) {
        std::vector<Callback> callbacks;
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            state->sleeps.push_back(ms);
            if (state->clock != nullptr) state->clock->Advance(ms);
            callbacks = state->callbacks;  // run unlocked: a callback may sleep again
        }
        for (const Callback& callback : callbacks) callback(ms);
    });
}

SleepRecorder::~SleepRecorder() { win32::SetSleepHook({}); }

void SleepRecorder::OnSleep(Callback callback) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->callbacks.push_back(std::move(callback));
}

std::vector<DWORD> SleepRecorder::Sleeps() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->sleeps;
}

void SleepRecorder::Clear() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->sleeps.clear();
}

}  // namespace lumi::test
