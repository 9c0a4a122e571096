#pragma once
// OutputDebugString: text for an attached debugger. Here it goes to one process-wide sink
// that tests and hosts may install; by default the text is dropped. Thread-safe: the sink
// is called under a lock, one call per OutputDebugString, so it must not call back into
// OutputDebugString or SetDebugOutputSink.
#include <functional>
#include <string>

namespace win32 {

// Installs the sink (UTF-8 text, exactly as passed, no newline added). An empty function
// restores the default, which drops the text.
using DebugOutputSink = std::function<void(const std::string& text)>;
void SetDebugOutputSink(DebugOutputSink sink);

}  // namespace win32

// A null text is ignored. The wide form converts to UTF-8 (invalid UTF-16 -> U+FFFD).
void OutputDebugStringA(const char* text);
void OutputDebugStringW(const char16_t* text);
