#pragma once
// The process-wide state behind the control API, shared by every object of the software device:
// adapter configuration, failure scripts, counters, the call log, device loss and the texture
// memory in use per adapter. Every entry point of the device takes the API lock first, so the
// objects and this state are only ever touched by one thread at a time.
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/d3d9/control.h"

namespace d3d9sw {

class Device;
class RefCounted;

struct FailureScript {
    std::string operation;
    int firstCall;  // absolute call number (1-based) of the first failing call
    int lastCall;
    HRESULT result;
};

struct ControlState {
    std::vector<d3d9ctl::AdapterConfig> adapters;
    std::vector<FailureScript> scripts;
    std::vector<std::pair<std::string, int>> callCounts;
    d3d9ctl::Counters counters;
    std::vector<std::string> misuses;
    std::vector<d3d9ctl::CallRecord> log;
    std::set<Device*> devices;                    // live devices, for loss and restore
    std::set<RefCounted*> objects;                // every live object, for CountLiveObjects
    std::vector<std::uint64_t> usedTextureBytes;  // per adapter ordinal
    bool lost = false;                            // between LoseDevice and RestoreDevice
    bool changingDisplay = false;                 // a device switches the display itself
    bool rasterize = true;                        // draws reach the rasteriser
};

// The one API lock (recursive: objects call each other's public methods).
std::unique_lock<std::recursive_mutex> LockApi();
// The state; callers hold the API lock.
ControlState& Control();

// Counts a call of `operation` and returns true with `*result` set when a script makes this
// call fail.
bool TakeScriptedFailure(const std::string& operation, HRESULT* result);

// Appends to the call log and returns `result`, so that methods can `return Logged(...)`.
HRESULT Logged(const char* method, std::string args, HRESULT result);

// Records a misuse the platform tolerates.
void ReportMisuse(std::string text);

// Texture memory of adapter `ordinal`: budget and use.
std::uint64_t TextureBudget(UINT ordinal);
std::uint64_t TextureUsed(UINT ordinal);
void AddTextureUse(UINT ordinal, std::int64_t bytes);

// A short argument list for the call log: numbers in decimal, pointers as "ptr" or "null".
std::string ArgText(std::int64_t value);
std::string ArgText(double value);
std::string ArgText(const void* pointer);
template <class T>
std::string ArgText(const T& value) {
    if constexpr (std::is_pointer_v<T>) return ArgText(static_cast<const void*>(value));
    else if constexpr (std::is_floating_point_v<T>) return ArgText(static_cast<double>(value));
    else return ArgText(static_cast<std::int64_t>(value));
}
template <class... T>
std::string Args(const T&... values) {
    std::string out;
    ((out += (out.empty() ? "" : ", ") + ArgText(values)), ...);
    return out;
}

// Stderr line for a method the stand-in does not model; returns E_NOTIMPL.
HRESULT NotModelled(const char* method);

}  // namespace d3d9sw
