#include "platform/win32/debug_output.h"

#include <mutex>

#include "platform/win32/text.h"

namespace {

// The sink outlives every static object: the memory pools report through it while the
// process unloads, after ordinary statics of this file might already be gone.
struct SinkState {
    std::mutex mutex;
    win32::DebugOutputSink sink;
};

SinkState& State() {
    static SinkState* state = new SinkState;
    return *state;
}

void Emit(const std::string& text) {
    SinkState& state = State();
    std::lock_guard lock(state.mutex);
    if (state.sink) state.sink(text);
}

}  // namespace

namespace win32 {

void SetDebugOutputSink(DebugOutputSink sink) {
    SinkState& state = State();
    std::lock_guard lock(state.mutex);
    state.sink = std::move(sink);
}

}  // namespace win32

void OutputDebugStringA(const char* text) {
    if (text) Emit(text);
}

void OutputDebugStringW(const char16_t* text) {
    if (text) Emit(win32::Utf16ToUtf8(text));
}
