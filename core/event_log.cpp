#include "core/event_log.h"

#include <cstdio>
#include <ctime>
#include <mutex>

#include "platform/win32/files.h"
#include "platform/win32/time.h"
#include "platform/win32/wide_format.h"

namespace {

void DefaultLogSink(const char16_t* format, ...);

// One lock for the file, the line buffer and the sink calls. std::mutex is constant-
// initialised and trivially destroyed here, so logging stays usable during static set-up and
// teardown.
std::mutex g_LogMutex;
std::FILE* g_LogFile = nullptr;
LogSink g_LogSink = &DefaultLogSink;
char16_t g_LogLineBuffer[lumi::kMaxLogMessageUnits + 1];

// The two bytes of the byte-order mark go out as two one-byte writes.
void WriteByteOrderMark(std::FILE* file) {
    std::fputc(0xFF, file);
    std::fputc(0xFE, file);
}

// Closing after every write keeps the file complete on disk if the process dies. A failed
// reopen ends logging until the next OpenEventLog. Called with g_LogMutex held.
void DefaultLogSink(const char16_t* format, ...) {
    if (g_LogFile == nullptr) return;
    va_list args;
    va_start(args, format);
    vfwprintf(g_LogFile, format, args);
    va_end(args);
    std::fclose(g_LogFile);
    g_LogFile = _wfopen(lumi::kEventLogPathWide, u"a+b");
}

}  // namespace

LogSink OpenEventLog(LogOpenMode mode) {
    std::lock_guard<std::mutex> lock(g_LogMutex);
    if (g_LogSink == nullptr) return nullptr;
    if (g_LogSink != &DefaultLogSink || g_LogFile != nullptr) return g_LogSink;
    if (mode == LogOpenMode::kTruncate) {
        g_LogFile = _wfopen(lumi::kEventLogPathWide, u"wb");
        if (g_LogFile == nullptr) return nullptr;
        WriteByteOrderMark(g_LogFile);
        return g_LogSink;
    }
    g_LogFile = _wfopen(lumi::kEventLogPathWide, u"a+b");
    if (g_LogFile == nullptr) return nullptr;
    // A file made by this open (or emptied meanwhile) must still start with the mark.
    if (std::fseek(g_LogFile, 0, SEEK_END) == 0 && std::ftell(g_LogFile) == 0) {
        WriteByteOrderMark(g_LogFile);
    }
    return g_LogSink;
}

void WriteLogV(const char16_t* format, va_list args) {
    std::lock_guard<std::mutex> lock(g_LogMutex);
    if (g_LogSink == nullptr) return;
    // The default sink with a closed file drops the line anyway: skip the formatting.
    if (g_LogSink == &DefaultLogSink && g_LogFile == nullptr) return;

    __time64_t now = _time64(nullptr);
    const std::tm* local = _localtime64(&now);
    if (local == nullptr) return;
    const std::tm time = *local;  // the C runtime's buffer is reused by the next call

    // Formatting writes at most kMaxLogMessageUnits units; the last element stays zero so
    // that a cut message is still terminated.
    _vsnwprintf(g_LogLineBuffer, lumi::kMaxLogMessageUnits, format, args);
    g_LogLineBuffer[lumi::kMaxLogMessageUnits] = u'\0';

    g_LogSink(u"%04d/%02d/%02d %02d:%02d:%02d", time.tm_year + 1900, time.tm_mon + 1, time.tm_mday,
              time.tm_hour, time.tm_min, time.tm_sec);
    g_LogSink(u" %s\r\n", g_LogLineBuffer);
}

void WriteLog(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    WriteLogV(format, args);
    va_end(args);
}

void WriteLogBanner() {
    static constexpr char16_t kEdge[] =
        u"+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+";
    static constexpr char16_t kTitle[] =
        u"+                     Vestrandil Lumiscriber - Event log                      +";
    static constexpr char16_t kBlank[] =
        u"+                                                                             +";
    static_assert(sizeof(kEdge) / sizeof(char16_t) == 80 && sizeof(kTitle) / sizeof(char16_t) == 80 &&
                  sizeof(kBlank) / sizeof(char16_t) == 80);
    WriteLog(u"%s", kEdge);
    WriteLog(u"%s", kTitle);
    WriteLog(u"%s", kBlank);
    WriteLog(u"%s", kEdge);
}

void CloseEventLog() {
    std::lock_guard<std::mutex> lock(g_LogMutex);
    if (g_LogSink != &DefaultLogSink || g_LogFile == nullptr) return;
    std::fclose(g_LogFile);
    g_LogFile = nullptr;
}

bool IsEventLogOpen() {
    std::lock_guard<std::mutex> lock(g_LogMutex);
    return g_LogFile != nullptr;
}
