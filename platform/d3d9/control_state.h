#pragma once
// The process-wide state behind the control API, shared by every object of the software device:
// adapter configuration, failure scripts, counters, the call log, device loss and the texture
// memory in use per adapter. Every entry point of the device takes the API lock first, so the
// objects and this state are only ever touched by one thread at a time.
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "platform/d3d9/control.h"

namespace d3d9sw {

class Device;
class RefCounted;

struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};

struct FailureScript {
    std::string operation;
    int firstCall;  // absolute call number (1-based) of the first failing call
    int lastCall;
    HRESULT result;
};

struct ControlState {
    std::vector<d3d9ctl::AdapterConfig> adapters;
    std::vector<FailureScript> scripts;
    // Calls per operation name; looked up by string_view without building a string.
    std::unordered_map<std::string, int, NameHash, std::equal_to<>> callCounts;
    d3d9ctl::Counters counters;
    std::vector<std::string> misuses;
    std::vector<d3d9ctl::CallRecord> log;
    bool logCalls = false;                        // the call log is kept only when a test asks
    std::set<Device*> devices;                    // live devices, for loss and restore
    std::set<RefCounted*> objects;                // every live object, for CountLiveObjects
    std::vector<std::uint64_t> usedTextureBytes;  // per adapter ordinal
    bool lost = false;                            // between LoseDevice and RestoreDevice
    bool changingDisplay = false;                 // a device switches the display itself
    bool rasterize = true;                        // draws reach the rasteriser
    int rasterThreads = 0;                        // 0: one per core
    bool rasterAvx2 = true;
};

// The one API lock (recursive: objects call each other's public methods).
std::unique_lock<std::recursive_mutex> LockApi();
// The state; callers hold the API lock.
ControlState& Control();

// Counts a call of `operation` and returns true with `*result` set when a script makes this
// call fail.
bool TakeScriptedFailure(std::string_view operation, HRESULT* result);

// Records a misuse the platform tolerates.
void ReportMisuse(std::string text);

// The rasteriser's thread count the control state asks for (at least 1).
int RasterThreadsInEffect();

// Texture memory of adapter `ordinal`: budget and use.
std::uint64_t TextureBudget(UINT ordinal);
std::uint64_t TextureUsed(UINT ordinal);
void AddTextureUse(UINT ordinal, std::int64_t bytes);

// The arguments of one call, kept as values and turned into text ("27, 1", pointers as "ptr" or
// "null") only when the call log is on, so that a call costs no allocation otherwise.
class ArgList {
public:
    ArgList() = default;
    template <class... T>
    explicit ArgList(const T&... values) {
        static_assert(sizeof...(T) <= kMaxValues, "too many arguments for the call log");
        (Add(values), ...);
    }
    std::string Text() const;

private:
    static constexpr int kMaxValues = 10;
    enum class Kind : std::uint8_t { kInteger, kReal, kPointer };
    struct Value {
        Kind kind;
        std::int64_t integer;  // kPointer: 0 for null
        double real;
    };
    template <class T>
    void Add(const T& value) {
        Value& v = values_[count_++];
        if constexpr (std::is_pointer_v<T>) v = {Kind::kPointer, value != nullptr ? 1 : 0, 0.0};
        else if constexpr (std::is_floating_point_v<T>) v = {Kind::kReal, 0, static_cast<double>(value)};
        else v = {Kind::kInteger, static_cast<std::int64_t>(value), 0.0};
    }

    Value values_[kMaxValues];
    int count_ = 0;
};
template <class... T>
ArgList Args(const T&... values) {
    return ArgList(values...);
}

// Appends to the call log when it is on and returns `result`, so that methods can
// `return Logged(...)`.
HRESULT Logged(const char* method, const ArgList& args, HRESULT result);
HRESULT Logged(const char* method, const char* argsText, HRESULT result);

// Stderr line for a method the stand-in does not model; returns E_NOTIMPL.
HRESULT NotModelled(const char* method);

}  // namespace d3d9sw
