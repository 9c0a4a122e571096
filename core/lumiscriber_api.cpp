#include "core/lumiscriber_api.h"

#include <cstdint>
#include <exception>

#include "core/event_log.h"
#include "core/lumiscriber.h"
#include "platform/win32/modules.h"
#include "platform/win32/window.h"

namespace {

using UploadEnginLogFn = void (*)(const char* path);

// Hands the event log to the crash uploader when one is installed; silently nothing when
// the library or its entry point is missing.
void UploadCrashLog() {
    HMODULE module = LoadLibraryW(u"ovelder.dll");
    if (module == nullptr) return;
    if (FARPROC entry = GetProcAddress(module, "UploadEnginLog")) {
        reinterpret_cast<UploadEnginLogFn>(entry)(lumi::kEventLogPath);
    }
    FreeLibrary(module);
}

// Why the host's parameters cannot make a renderer; null when they can.
const char16_t* RefusalOf(const STRU_RENDERER_PARAM* params) {
    if (params == nullptr) return u"no creation parameters";
    if (params->Window == nullptr) return u"no window handle";
    if (!IsWindow(params->Window)) return u"the window handle is not a window (destroyed?)";
    if (params->Width <= 0 || params->Height <= 0) return u"the width and height must be at least 1";
    return nullptr;
}

void LogRefusal(const char16_t* why, const STRU_RENDERER_PARAM* params) {
    if (params == nullptr) {
        WriteLog(u"CreateLumiscriber refused: %s.", why);
        return;
    }
    WriteLog(u"CreateLumiscriber refused: %s [window 0X%08X, %d x %d].", why,
             static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(params->Window)), params->Width,
             params->Height);
}

}  // namespace

IRenderer* CreateLumiscriber(const STRU_RENDERER_PARAM* params) {
    // A renderer still alive keeps the log open: a creation then writes into its log and
    // leaves it open. Otherwise a failed creation closes the log it began, so that the next
    // renderer starts the file afresh.
    const bool logShared = IsEventLogOpen();
    if (const char16_t* why = RefusalOf(params)) {
        // Nothing is made for parameters that cannot work: a log of its own says why.
        if (!logShared) {
            OpenEventLog(LogOpenMode::kTruncate);
            WriteLogBanner();
        }
        LogRefusal(why, params);
        if (!logShared) CloseEventLog();
        return nullptr;
    }
    try {
        return new CLumiscriber(*params);
    } catch (const std::exception& error) {
        WriteLog(u"CreateLumiscriber failed: %hs", error.what());
    } catch (...) {
        WriteLog(u"CreateLumiscriber failed.");
    }
    if (!logShared) CloseEventLog();
    UploadCrashLog();
    return nullptr;
}

void ReleaseLumiscriber(IRenderer* renderer) { delete renderer; }
