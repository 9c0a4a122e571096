#include "platform/d3d9/control_state.h"

#include <cstdio>

namespace d3d9sw {

std::unique_lock<std::recursive_mutex> LockApi() {
    // Never destroyed: objects may be released from other static destructors at exit.
    static auto* mutex = new std::recursive_mutex;
    return std::unique_lock<std::recursive_mutex>(*mutex);
}

ControlState& Control() {
    static ControlState* state = [] {
        auto* s = new ControlState;  // never destroyed, like the lock
        s->adapters.push_back(d3d9ctl::DefaultAdapter());
        return s;
    }();
    return *state;
}

bool TakeScriptedFailure(const std::string& operation, HRESULT* result) {
    ControlState& state = Control();
    int call = 0;
    for (auto& [name, count] : state.callCounts) {
        if (name == operation) {
            call = ++count;
            break;
        }
    }
    if (call == 0) {
        state.callCounts.emplace_back(operation, 1);
        call = 1;
    }
    for (const FailureScript& script : state.scripts) {
        if (script.operation == operation && call >= script.firstCall && call <= script.lastCall) {
            *result = script.result;
            return true;
        }
    }
    return false;
}

HRESULT Logged(const char* method, std::string args, HRESULT result) {
    // A long-running host would otherwise grow the log without end; tests clear it long before.
    constexpr std::size_t kMaxLogRecords = 200000;
    auto& log = Control().log;
    if (log.size() >= kMaxLogRecords) log.erase(log.begin(), log.begin() + kMaxLogRecords / 2);
    log.push_back(d3d9ctl::CallRecord{method, std::move(args), result});
    return result;
}

void ReportMisuse(std::string text) {
    ControlState& state = Control();
    state.misuses.push_back(std::move(text));
    state.counters.misuses = state.misuses.size();
}

std::uint64_t TextureBudget(UINT ordinal) {
    const ControlState& state = Control();
    return ordinal < state.adapters.size() ? state.adapters[ordinal].textureMemoryBytes : 0;
}

std::uint64_t TextureUsed(UINT ordinal) {
    const ControlState& state = Control();
    return ordinal < state.usedTextureBytes.size() ? state.usedTextureBytes[ordinal] : 0;
}

void AddTextureUse(UINT ordinal, std::int64_t bytes) {
    ControlState& state = Control();
    if (state.usedTextureBytes.size() <= ordinal) state.usedTextureBytes.resize(ordinal + 1, 0);
    state.usedTextureBytes[ordinal] = static_cast<std::uint64_t>(static_cast<std::int64_t>(state.usedTextureBytes[ordinal]) + bytes);
}

std::string ArgText(std::int64_t value) { return std::to_string(value); }

std::string ArgText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string ArgText(const void* pointer) { return pointer != nullptr ? "ptr" : "null"; }

HRESULT NotModelled(const char* method) {
    std::fprintf(stderr, "software Direct3D 9: %s is not modelled (E_NOTIMPL)\n", method);
    return Logged(method, "", E_NOTIMPL);
}

}  // namespace d3d9sw
