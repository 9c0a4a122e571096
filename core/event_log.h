#pragma once
// The process-wide event log: dated lines of UTF-16LE text in "logs/lumiscriber.log",
// relative to the current directory.
//
// File form: the bytes FF FE, then one line per WriteLog call:
//   "YYYY/MM/DD hh:mm:ss <message>\r\n"   (local time, UTF-16LE code units)
// The file is closed and reopened for appending after every write, so whatever was logged
// is on disk even when the process dies right after.
//
// Who calls what:
//  - The renderer constructor calls OpenEventLog(LogOpenMode::kTruncate) and then
//    WriteLogBanner(); a second renderer constructed later starts the file afresh.
//  - The renderer destructor calls OpenEventLog(LogOpenMode::kAppend) before its last lines
//    (this restarts a log that a failed reopen had ended, without losing what is on disk),
//    and CloseEventLog() as its last logging step.
//  - Everything else just calls WriteLog; lines written while the log is closed are dropped.
//
// A missing `logs/` folder means no log at all: nothing creates the folder, and every call
// here still succeeds quietly. All functions are thread-safe: one lock serialises opening,
// closing and whole lines, so two threads never mix their text. WriteLog must not be called
// from inside a log sink.
#include <cstdarg>

namespace lumi {

// Where the log lives; the factory hands this path to the crash-log upload.
inline constexpr char kEventLogPath[] = "logs/lumiscriber.log";
inline constexpr char16_t kEventLogPathWide[] = u"logs/lumiscriber.log";

// A message longer than this many UTF-16 units is cut to it.
inline constexpr int kMaxLogMessageUnits = 1023;

}  // namespace lumi

// The sink receives each line in two printf-style calls (the date, then " %s\r\n" with the
// message), with the Windows wide-format rules (%s takes a wide string).
using LogSink = void (*)(const char16_t* format, ...);

enum class LogOpenMode {
    kTruncate,  // start the file afresh (a renderer's first open)
    kAppend,    // keep what the file holds; a new or empty file still gets its byte-order mark
};

// Opens the log file unless it is already open. Returns the sink that will receive the
// lines, or null when the file cannot be opened (for example when `logs/` is missing).
LogSink OpenEventLog(LogOpenMode mode = LogOpenMode::kTruncate);

// Writes one line with the current local time. The message is formatted with the Windows
// wide-format rules (%s is a wide string, %hs a narrow one) and cut to kMaxLogMessageUnits.
// Dropped silently when the local time cannot be read or the log is closed.
void WriteLog(const char16_t* format, ...);
void WriteLogV(const char16_t* format, va_list args);

// The four 79-character banner lines that begin each renderer's log.
void WriteLogBanner();

// Closes the log file; later lines are dropped until the next OpenEventLog.
void CloseEventLog();

// Whether the log file is open now (for the renderer's decisions and for tests).
bool IsEventLogOpen();
