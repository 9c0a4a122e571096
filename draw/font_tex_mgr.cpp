#include "draw/font_tex_mgr.h"

#include "core/lumiscriber.h"
#include "draw/font_page.h"
#include "draw/font_texture.h"
#include "draw/tex_mgr.h"

CFontTexMgr::CFontTexMgr(CLumiscriber* renderer) : renderer_(renderer) {}

CFontTexMgr::~CFontTexMgr() {
    for (auto& entry : fonts_) delete entry.second;
    fonts_.clear();
    DestroyPages();
}

CD3DFont* CFontTexMgr::GetFont(const WCHAR* path, std::uint8_t size, std::int32_t styleFlags) {
    if (path == nullptr) return nullptr;
    const font_key_t key = font_key_t::Make(path, size, styleFlags);
    auto found = fonts_.find(key);
    if (found != fonts_.end()) return found->second;
    auto* font = new CD3DFont(key, this);
    try {
        fonts_.emplace(key, font);
    } catch (...) {
        delete font;
        throw;
    }
    return font;
}

void CFontTexMgr::LoadPendingWords() {
    for (auto& entry : fonts_) entry.second->LoadFirstPending();
}

void CFontTexMgr::ReleasePages() {
    for (auto& entry : fonts_) entry.second->ReleaseGlyphs();
    DestroyPages();
}

void CFontTexMgr::AddPage(CFontTexture* page) {
    page->next = pages_;
    pages_ = page;
}

std::int32_t CFontTexMgr::GetPageCount() const {
    std::int32_t count = 0;
    for (const CFontTexture* page = pages_; page != nullptr; page = page->next) ++count;
    return count;
}

void CFontTexMgr::DestroyPages() { DestroyFontPages(pages_, renderer_); }
