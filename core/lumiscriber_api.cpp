#include "core/lumiscriber_api.h"

#include "core/event_log.h"
#include "core/lumiscriber.h"
#include "platform/win32/modules.h"

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

}  // namespace

IRenderer* CreateLumiscriber(const STRU_RENDERER_PARAM* params) {
    // No window and no size to build on: refused before anything is made.
    if (params == nullptr || params->Width <= 0 || params->Height <= 0) return nullptr;
    try {
        return new CLumiscriber(*params);
    } catch (...) {
        UploadCrashLog();
        return nullptr;
    }
}

void ReleaseLumiscriber(IRenderer* renderer) { delete renderer; }
