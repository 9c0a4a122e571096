#include "draw/d3d_font.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

#include "core/event_log.h"
#include "draw/draw_commands.h"
#include "draw/word_tex.h"
#include "platform/tarnel/tarnel.h"
#include "platform/win32/text.h"

namespace {

constexpr std::uint8_t kStyleMarker = 0x10;
constexpr std::int32_t kStyleFlagsMask = 0xF;
constexpr WCHAR kLastWesternCodeUnit = 254;

}  // namespace

// ---- font_key_t ----

font_key_t font_key_t::Make(const WCHAR* path, std::uint8_t size, std::int32_t styleFlags) {
    font_key_t key;
    if (path != nullptr) {
        const std::size_t length = std::min(win32::WideLength(path), kPathUnits - 1);
        std::copy_n(path, length, key.path);
    }
    key.size = size;
    key.style = static_cast<std::uint8_t>((styleFlags & kStyleFlagsMask) | kStyleMarker);
    return key;
}

bool font_key_less_t::operator()(const font_key_t& a, const font_key_t& b) const {
    const int aSizeStyle = a.size | (a.style << 8);
    const int bSizeStyle = b.size | (b.style << 8);
    if (aSizeStyle != bSizeStyle) return aSizeStyle < bSizeStyle;
    // The path field's bytes as stored: UTF-16 little-endian.
    static_assert(std::endian::native == std::endian::little, "paths are ordered by their little-endian bytes");
    return std::memcmp(a.path, b.path, sizeof(a.path)) < 0;
}

// ---- CD3DFont ----

CD3DFont::CD3DFont(const font_key_t& key, CFontTexMgr* manager) : key_(key), manager_(manager) {
    CFT2FontEngine* engine = GetFT2FontEngine();
    face_ = engine != nullptr ? engine->InstallFontByPath(key_.path) : nullptr;
    if (face_ == nullptr) WriteLog(u"can NOT install font path = [%s]", key_.path);
    std::copy_n(key_.path, font_key_t::kPathUnits, request_.path);
    try {
        for (WCHAR codeUnit = kFirstEarlyGlyph; codeUnit <= kLastEarlyGlyph; ++codeUnit) GetWord(codeUnit);
    } catch (...) {
        DeleteGlyphs();
        throw;
    }
}

CD3DFont::~CD3DFont() { DeleteGlyphs(); }

void CD3DFont::DeleteGlyphs() {
    for (lru_list_t* list : {&loaded_, &pending_}) {
        while (!list->Empty()) delete CWordTex::FromNode(lru_obj_s::Next(list));  // unlinks itself
    }
    std::fill(std::begin(table_), std::end(table_), nullptr);
    reference_ = nullptr;
}

bool CD3DFont::IsCodepointAvailable(WCHAR codeUnit) {
    return face_ != nullptr && face_->IsCodepointAvailable(codeUnit);
}

CWordTex* CD3DFont::GetWord(WCHAR codeUnit) {
    if (codeUnit >= kTableSize) {
        DevMsg("no glyph for codepoint[%d]", static_cast<int>(codeUnit));
        return nullptr;
    }
    if (CWordTex* glyph = table_[codeUnit]) return glyph;
    if (!IsCodepointAvailable(codeUnit)) {
        auto* placeholder = new CWordTex(nullptr, this);
        placeholder->MarkEmpty();
        table_[codeUnit] = placeholder;
        loaded_.PushBack(placeholder);
        return placeholder;
    }
    request_.codeUnit = codeUnit;
    request_.size = key_.size;
    request_.style = key_.style;
    CFT2FontEngine* engine = GetFT2FontEngine();
    CFT2GlyphBitmap* bitmap = engine != nullptr ? engine->GetBitmap(request_) : nullptr;
    if (bitmap == nullptr) {
        DevMsg("can NOT get bitmap from Fontmill, codepoint[%d]", static_cast<int>(codeUnit));
        return nullptr;
    }
    CWordTex* glyph = nullptr;
    try {
        glyph = new CWordTex(bitmap, this);
    } catch (const std::runtime_error&) {  // the pool could not grow
        bitmap->Release();
        Error("new CWordTex - out of memory.");
    }
    table_[codeUnit] = glyph;
    pending_.PushBack(glyph);
    if (reference_ == nullptr) reference_ = glyph;
    glyph->Load();
    return glyph;
}

bool CD3DFont::HasMetrics() {
    if (!hasMetrics_ && reference_ != nullptr) reference_->Load();
    return hasMetrics_ != 0;
}

void CD3DFont::SetMetrics(const STRU_FONT_BITMAP& bitmap) {
    lineHeight_ = static_cast<float>(bitmap.lineHeight);
    ascender_ = bitmap.ascender;
    descender_ = bitmap.descender;
    hasMetrics_ = 1;
}

void CD3DFont::NotePage(D3DFORMAT format, std::uint32_t width, std::uint32_t height) {
    pageFormat_ = format;
    pageWidth_ = width;
    pageHeight_ = height;
}

void CD3DFont::ReleaseGlyphs() {
    // Every glyph goes with the pages, placed or still rasterising: text asks for new ones, so
    // a font holds no more glyphs after any number of display-mode changes than before.
    DeleteGlyphs();
}

void CD3DFont::LoadFirstPending() {
    if (pending_.Empty()) return;
    CWordTex* glyph = CWordTex::FromNode(lru_obj_s::Next(&pending_));
    if (glyph->Load()) loaded_.PushBack(glyph);
}

// ---- CRenderFont ----

CWordTex* CRenderFont::GetWord(WCHAR codeUnit) const {
    CD3DFont* font = westernFont != nullptr && codeUnit <= kLastWesternCodeUnit ? westernFont : mainFont;
    return font != nullptr ? font->GetWord(codeUnit) : nullptr;
}

bool CRenderFont::HasMetrics() const {
    if (mainFont == nullptr || !mainFont->HasMetrics()) return false;
    return westernFont == nullptr || westernFont->HasMetrics();
}
