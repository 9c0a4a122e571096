// CLumiscriber: the glyph library's settings, the same in both builds.
#include "core/event_log.h"
#include "core/lumiscriber.h"
#include "platform/fontmill/fontmill.h"

namespace {

CFT2FontEngine* FontEngineOrLog() {
    CFT2FontEngine* engine = GetFT2FontEngine();
    if (engine == nullptr) WriteLog(u"invalid Fontmill pointer!");
    return engine;
}

}  // namespace

void CLumiscriber::SetWesternFontPath(const WCHAR* path) {
    if (CFT2FontEngine* engine = GetFT2FontEngine()) engine->SetWesternFontPath(path);
}

bool CLumiscriber::SetFontAntialias(bool on) {
    CFT2FontEngine* engine = FontEngineOrLog();
    if (engine == nullptr) return false;
    engine->SetAntialias(on);
    return engine->GetAntialias();
}

bool CLumiscriber::GetFontAntialias() {
    CFT2FontEngine* engine = FontEngineOrLog();
    return engine != nullptr && engine->GetAntialias();
}
