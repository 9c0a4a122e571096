#pragma once
// tarnel: the maker's base library. Fatal errors, warnings, developer and debug messages,
// the millisecond clock and the platform allocator.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace tarnel {

// Thrown by Error after the message is recorded and written to stderr. The real base
// library ends the process; throwing lets the factory and the tests observe fatal paths.
class FatalError : public std::runtime_error {
public:
    explicit FatalError(const std::string& message) : std::runtime_error(message) {}
};

// Where Warning, DevMsg and DbgMsg text goes (UTF-8, as formatted). The default sinks
// drop the text. Passing an empty function restores the default.
using MessageSink = std::function<void(const std::string& text)>;
void SetWarningSink(MessageSink sink);
void SetDevMsgSink(MessageSink sink);
void SetDbgMsgSink(MessageSink sink);

// The message of the most recent Error call ("" if none); ClearLastError resets it.
std::string LastErrorMessage();
void ClearLastError();

// The clock behind TimeGet_S. By default milliseconds since process start; tests install a
// fake clock. An empty function restores the real clock.
using ClockSource = std::function<std::uint32_t()>;
void SetClockSource(ClockSource clock);

// Plat_Alloc failure switch: the next `count` allocations return null (0 turns it off).
void FailNextAllocations(int count);

}  // namespace tarnel

[[noreturn]] void Error(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Warning(const char* format, ...) __attribute__((format(printf, 1, 2)));
void DevMsg(const char* format, ...) __attribute__((format(printf, 1, 2)));
void DbgMsg(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::uint32_t TimeGet_S();
void* Plat_Alloc(std::size_t size);
void Plat_Free(void* memory);
