// Error, Warning, DevMsg and DbgMsg: printf-style formatting into sinks that tests can capture.
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/tarnel/tarnel.h"

namespace {

// One recursive mutex guards every sink and the last error: a sink may itself send a
// message without dead-locking, and once a Set*Sink call returns the old sink is never
// running on another thread (its captured state may then be destroyed safely).
// Never destroyed: the memory pools report leaks through DbgMsg while the process unloads.
std::recursive_mutex& SinkMutex() {
    static std::recursive_mutex* mutex = new std::recursive_mutex;
    return *mutex;
}

struct Sinks {
    tarnel::MessageSink warning;
    tarnel::MessageSink devMsg;
    tarnel::MessageSink dbgMsg;
    std::string lastError;
};

Sinks& TheSinks() {
    static Sinks* sinks = new Sinks;
    return *sinks;
}

std::string FormatV(const char* format, std::va_list args) {
    if (format == nullptr) return {};
    std::va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, args);
    return text;
}

void Send(tarnel::MessageSink Sinks::*which, const std::string& text) {
    std::lock_guard<std::recursive_mutex> lock(SinkMutex());
    const tarnel::MessageSink& sink = TheSinks().*which;
    if (sink) sink(text);
}

void Replace(tarnel::MessageSink Sinks::*which, tarnel::MessageSink sink) {
    std::lock_guard<std::recursive_mutex> lock(SinkMutex());
    TheSinks().*which = std::move(sink);
}

}  // namespace

namespace tarnel {

void SetWarningSink(MessageSink sink) { Replace(&Sinks::warning, std::move(sink)); }
void SetDevMsgSink(MessageSink sink) { Replace(&Sinks::devMsg, std::move(sink)); }
void SetDbgMsgSink(MessageSink sink) { Replace(&Sinks::dbgMsg, std::move(sink)); }

std::string LastErrorMessage() {
    std::lock_guard<std::recursive_mutex> lock(SinkMutex());
    return TheSinks().lastError;
}

void ClearLastError() {
    std::lock_guard<std::recursive_mutex> lock(SinkMutex());
    TheSinks().lastError.clear();
}

}  // namespace tarnel

void Error(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::string message = FormatV(format, args);
    va_end(args);
    {
        std::lock_guard<std::recursive_mutex> lock(SinkMutex());
        TheSinks().lastError = message;
    }
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
    throw tarnel::FatalError(message);
}

void Warning(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::string text = FormatV(format, args);
    va_end(args);
    Send(&Sinks::warning, text);
}

void DevMsg(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::string text = FormatV(format, args);
    va_end(args);
    Send(&Sinks::devMsg, text);
}

void DbgMsg(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::string text = FormatV(format, args);
    va_end(args);
    Send(&Sinks::dbgMsg, text);
}
