// Legacy fonts: glyphs rasterised on request and packed into pages of their own font.
#include "legacy/font_tex.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "core/lumiscriber.h"
#include "draw/font_page.h"
#include "draw/tex_mgr.h"
#include "legacy/font_desc.h"
#include "legacy/font_picture.h"
#include "legacy/font_tex_mgr_legacy.h"
#include "platform/fontmill/fontmill.h"
#include "platform/tarnel/tarnel.h"

namespace {

// Gives a glyph library bitmap back exactly once, however GetWord leaves.
struct bitmap_release_t {
    CFT2FontEngine* engine;
    void operator()(STRU_FONT_BITMAP* bitmap) const { engine->FreeBitmap(bitmap); }
};
using held_bitmap_t = std::unique_ptr<STRU_FONT_BITMAP, bitmap_release_t>;

}  // namespace

// ---- font_tex_key_t ----

font_tex_key_t font_tex_key_t::Of(const font_desc_t& desc) {
    static_assert(kPathUnits == kFontDescPathUnits, "a description's path fits the key whole");
    font_tex_key_t key;
    std::copy(std::begin(desc.path), std::end(desc.path), key.path);
    key.path[kPathUnits - 1] = u'\0';
    key.size = desc.size;
    return key;
}

bool font_tex_key_less_t::operator()(const font_tex_key_t& a, const font_tex_key_t& b) const {
    if (a.size != b.size) return a.size < b.size;
    // The path field's bytes as stored: UTF-16 little-endian.
    static_assert(std::endian::native == std::endian::little, "paths are ordered by their little-endian bytes");
    return std::memcmp(a.path, b.path, sizeof(a.path)) < 0;
}

// ---- CFontTex ----

CFontTex::CFontTex(const font_tex_key_t& key, CFontTexMgr* manager) : manager_(manager), key_(key) {
    CLumiscriber* renderer = manager_->GetRenderer();
    const DWORD side = renderer != nullptr ? renderer->GetAtlasPageSize() : 0;
    pageSide_ = static_cast<std::uint16_t>(std::min<DWORD>(side, kLargestPageSide));
    CreateNewPiture();
    if (CFT2FontEngine* engine = GetFT2FontEngine()) engine->InstallFontByPath(key_.path);
}

CFontTex::~CFontTex() {
    for (auto& entry : words_) delete entry.second;
    words_.clear();
    DestroyFontPages(pages_, manager_->GetRenderer());
}

std::int32_t CFontTex::GetPageCount() const {
    std::int32_t count = 0;
    for (const CFontPicture* page = pages_; page != nullptr; page = page->next) ++count;
    return count;
}

CFontPicture* CFontTex::CreateNewPiture() {
    CLumiscriber* renderer = manager_->GetRenderer();
    CTexMgr* texMgr = renderer != nullptr ? renderer->GetTexMgr() : nullptr;
    if (texMgr == nullptr || pageSide_ == 0) return nullptr;
    CFontPicture* page = texMgr->CreateFontPage(pageSide_, pageSide_);
    if (page == nullptr) return nullptr;
    if (!ClearFontPage(page)) {
        texMgr->DestroyTexture(page);
        return nullptr;
    }
    page->next = pages_;
    pages_ = page;
    pageFormat_ = page->GetFormat();
    return page;
}

STRU_WORD_TEX* CFontTex::GetWord(WCHAR codeUnit) {
    auto found = words_.find(codeUnit);
    if (found != words_.end()) return found->second;
    if (pages_ == nullptr && CreateNewPiture() == nullptr) return nullptr;

    std::unique_ptr<STRU_WORD_TEX> word;
    try {
        word.reset(new STRU_WORD_TEX());
    } catch (const std::runtime_error&) {  // the pool could not grow
        Error("new STRU_WORD_TEX - out of memory.");
    }
    CFT2FontEngine* engine = GetFT2FontEngine();
    if (engine == nullptr) return nullptr;
    STRU_BITMAPGET_INFO request{};
    std::copy(std::begin(key_.path), std::end(key_.path), request.path);
    request.codeUnit = codeUnit;
    request.size = static_cast<std::uint8_t>(key_.size);
    const held_bitmap_t bitmap(engine->GetBitmap(request, true), bitmap_release_t{engine});
    if (bitmap == nullptr || bitmap->width < 0 || bitmap->rows < 0 || bitmap->width > pageSide_ ||
        bitmap->rows > pageSide_) {
        return nullptr;
    }

    word->advance = bitmap->advance;
    word->lineHeight = bitmap->lineHeight;
    word->left = bitmap->left;
    word->top = bitmap->top;
    word->ascender = bitmap->ascender;
    word->descender = bitmap->descender;
    // An empty image (a space) only moves the pen: it takes no place and no page.
    if (bitmap->width > 0 && bitmap->rows > 0) {
        CFontPicture* page = pages_;
        if (page->GetWidth() < page->cursorX + bitmap->width) {
            page->cursorY += page->rowHeight;
            page->cursorX = 0;
        }
        // Also within a row: a glyph taller than those before it may pass the bottom.
        if (page->GetHeight() < page->cursorY + bitmap->rows && (page = CreateNewPiture()) == nullptr) return nullptr;
        const RECT rect{page->cursorX, page->cursorY, page->cursorX + bitmap->width, page->cursorY + bitmap->rows};
        if (!WriteGlyphPixels(page, rect, *bitmap)) return nullptr;
        page->UploadDirtyRect();
        word->page = page;
        word->rect = rect;
        page->cursorX += bitmap->width;
        page->rowHeight = std::max(page->rowHeight, bitmap->rows);
    }
    words_.emplace(codeUnit, word.get());
    return word.release();
}
