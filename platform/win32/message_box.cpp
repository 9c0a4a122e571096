#include "platform/win32/message_box.h"

#include <deque>
#include <mutex>

namespace {

struct MessageBoxState {
    std::mutex mutex;
    std::deque<int> answers;
    std::vector<win32::MessageBoxCall> calls;
};

MessageBoxState& State() {
    static MessageBoxState state;
    return state;
}

}  // namespace

int MessageBoxW(HWND owner, const char16_t* text, const char16_t* caption, UINT type) {
    MessageBoxState& state = State();
    std::lock_guard lock(state.mutex);
    state.calls.push_back({owner, text ? text : u"", caption ? caption : u"", type});
    if (!state.answers.empty()) {
        const int answer = state.answers.front();
        state.answers.pop_front();
        return answer;
    }
    return (type & 0xF) == MB_OK ? IDOK : IDNO;
}

namespace win32 {

void QueueMessageBoxAnswer(int answer) {
    MessageBoxState& state = State();
    std::lock_guard lock(state.mutex);
    state.answers.push_back(answer);
}

std::vector<MessageBoxCall> MessageBoxCalls() {
    MessageBoxState& state = State();
    std::lock_guard lock(state.mutex);
    return state.calls;
}

void ResetMessageBoxes() {
    MessageBoxState& state = State();
    std::lock_guard lock(state.mutex);
    state.answers.clear();
    state.calls.clear();
}

}  // namespace win32
