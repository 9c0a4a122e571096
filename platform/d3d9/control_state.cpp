#include "platform/d3d9/control_state.h"

#include <cstdio>

#include "platform/d3d9/raster_threads.h"

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

bool TakeScriptedFailure(std::string_view operation, HRESULT* result) {
    ControlState& state = Control();
    auto it = state.callCounts.find(operation);
    if (it == state.callCounts.end()) it = state.callCounts.emplace(std::string(operation), 0).first;
    const int call = ++it->second;
    for (const FailureScript& script : state.scripts) {
        if (script.operation == operation && call >= script.firstCall && call <= script.lastCall) {
            *result = script.result;
            return true;
        }
    }
    return false;
}

namespace {

void AppendToLog(const char* method, std::string args, HRESULT result) {
    // A long-running host would otherwise grow the log without end; tests clear it long before.
    constexpr std::size_t kMaxLogRecords = 200000;
    auto& log = Control().log;
    if (log.size() >= kMaxLogRecords) log.erase(log.begin(), log.begin() + kMaxLogRecords / 2);
    log.push_back(d3d9ctl::CallRecord{method, std::move(args), result});
}

}  // namespace

HRESULT Logged(const char* method, const ArgList& args, HRESULT result) {
    if (Control().logCalls) AppendToLog(method, args.Text(), result);
    return result;
}

HRESULT Logged(const char* method, const char* argsText, HRESULT result) {
    if (Control().logCalls) AppendToLog(method, argsText, result);
    return result;
}

int RasterThreadsInEffect() {
    const int threads = Control().rasterThreads;
    return threads > 0 ? threads : RasterThreads::HardwareThreads();
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

std::string ArgList::Text() const {
    std::string out;
    for (int i = 0; i < count_; ++i) {
        if (i > 0) out += ", ";
        const Value& v = values_[i];
        switch (v.kind) {
        case Kind::kPointer: out += v.integer != 0 ? "ptr" : "null"; break;
        case Kind::kReal: {
            char text[32];
            std::snprintf(text, sizeof text, "%g", v.real);
            out += text;
            break;
        }
        default: out += std::to_string(v.integer); break;
        }
    }
    return out;
}

HRESULT NotModelled(const char* method) {
    std::fprintf(stderr, "software Direct3D 9: %s is not modelled (E_NOTIMPL)\n", method);
    return Logged(method, "", E_NOTIMPL);
}

}  // namespace d3d9sw
