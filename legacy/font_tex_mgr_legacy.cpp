#include "legacy/font_tex_mgr_legacy.h"

#include <memory>

#include "core/event_log.h"
#include "platform/fontmill/fontmill.h"

CFontTexMgr::CFontTexMgr(CLumiscriber* renderer) : renderer_(renderer) {
    CFT2FontEngine* engine = GetFT2FontEngine();
    if (engine == nullptr || engine->IsInitialized()) return;
    WriteLog(u"FT2FontEngine Init...");
    if (engine->Init(1)) WriteLog(u"FT2FontEngine Init success.");
}

CFontTexMgr::~CFontTexMgr() {
    for (auto& entry : fonts_) delete entry.second;
    fonts_.clear();
}

CFontTex* CFontTexMgr::GetFontTex(const font_tex_key_t& key) {
    auto found = fonts_.find(key);
    if (found != fonts_.end()) return found->second;
    auto font = std::make_unique<CFontTex>(key, this);
    fonts_.emplace(key, font.get());
    return font.release();
}
