#include "platform/win32/debug_output.h"

#include <mutex>

#include "platform/win32/text.h"

namespace {

std::mutex g_sinkMutex;
win32::DebugOutputSink g_sink;

void Emit(const std::string& text) {
    std::lock_guard lock(g_sinkMutex);
    if (g_sink) g_sink(text);
}

}  // namespace

namespace win32 {

void SetDebugOutputSink(DebugOutputSink sink) {
    std::lock_guard lock(g_sinkMutex);
    g_sink = std::move(sink);
}

}  // namespace win32

void OutputDebugStringA(const char* text) {
    if (text) Emit(text);
}

void OutputDebugStringW(const char16_t* text) {
    if (text) Emit(win32::Utf16ToUtf8(text));
}
