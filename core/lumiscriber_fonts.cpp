// CLumiscriberCommon: the glyph library's settings and DrawText, the same in both builds.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "core/event_log.h"
#include "core/lumiscriber.h"
#include "platform/fontmill/fontmill.h"

namespace {

constexpr std::int64_t kDrawTextReach = 65535;  // DrawText's rectangle reaches this far

LONG Reach(std::int32_t from) {
    return static_cast<LONG>(std::min<std::int64_t>(from + kDrawTextReach, std::numeric_limits<LONG>::max()));
}

CFT2FontEngine* FontEngineOrLog() {
    CFT2FontEngine* engine = GetFT2FontEngine();
    if (engine == nullptr) WriteLog(u"invalid Fontmill pointer!");
    return engine;
}

}  // namespace

void CLumiscriberCommon::SetWesternFontPath(const WCHAR* path) {
    if (CFT2FontEngine* engine = GetFT2FontEngine()) engine->SetWesternFontPath(path);
}

bool CLumiscriberCommon::SetFontAntialias(bool on) {
    CFT2FontEngine* engine = FontEngineOrLog();
    if (engine == nullptr) return false;
    engine->SetAntialias(on);
    return engine->GetAntialias();
}

bool CLumiscriberCommon::GetFontAntialias() {
    CFT2FontEngine* engine = FontEngineOrLog();
    return engine != nullptr && engine->GetAntialias();
}

void CLumiscriberCommon::DrawText(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, D3DCOLOR color,
                                  bool outline, D3DCOLOR outlineColor, std::int32_t spacing) {
    DrawTextInRect(cmd, x, y, Reach(x), Reach(y), color, false, outline, outlineColor, spacing);
}
