#pragma once
// CD3DFont: one installed face at one size and style, with its glyphs by UTF-16 code unit.
//
// Glyphs are made on first request and kept: a code unit the face has gets a glyph whose
// bitmap the glyph library rasterises (pending until it is placed in a page), any other a
// placeholder that draws nothing. The glyphs of code units 33 to 125 are asked for when the
// font is made, so that they are on their way before first use. The font's line metrics come
// from the first glyph placed with an image; text cannot be laid out before.
//
// Lifetime: made and deleted only by the font manager (CFontTexMgr), from the "CD3DFont"
// pool. Its glyphs live until their pages are released (a display-mode change) or the font
// goes; text laid out before a display-mode change is laid out again from new glyphs before
// it is drawn or measured (the display stamp). Host thread only.
#include <cstddef>
#include <cstdint>

#include "core/lru_list.h"
#include "core/pool_table.h"
#include "core/renderer_interface.h"
#include "platform/fontmill/fontmill.h"

class CFontTexMgr;
class CWordTex;
class CFT2Face;

// A font's identity: the file (at most 127 code units kept), the size byte and the style
// byte (style flags & 0xF, with 0x10 set).
struct font_key_t {
    static constexpr std::size_t kPathUnits = 128;  // 256 bytes
    WCHAR path[kPathUnits] = {};
    std::uint8_t size = 0;
    std::uint8_t style = 0;

    static font_key_t Make(const WCHAR* path, std::uint8_t size, std::int32_t styleFlags);
};

// Keys in order of size (low byte) and style (high byte), then of the path's bytes compared
// as unsigned bytes.
struct font_key_less_t {
    bool operator()(const font_key_t& a, const font_key_t& b) const;
};

class IFont : public IBaseInterface {
public:
    // The glyph of the code unit, made on first request; null when the glyph library gives
    // no bitmap for it, and for U+FFFF (one DevMsg line each time). It lasts until the next
    // display-mode change.
    virtual CWordTex* GetWord(WCHAR codeUnit) = 0;
    virtual bool IsCodepointAvailable(WCHAR codeUnit) = 0;
    // Line metrics in pixels; 0 until HasMetrics.
    virtual float GetAscender() = 0;
    virtual float GetDescender() = 0;
    virtual float GetLineHeight() = 0;
    // Loads the first glyph asked for when the metrics are still missing; whether they are
    // known now.
    virtual bool HasMetrics() = 0;
};

class CD3DFont final : public IFont {
public:
    static void* operator new(std::size_t size) { return PooledAlloc<CD3DFont>(size); }
    static void operator delete(void* block) noexcept { PooledFree<CD3DFont>(block); }

    static constexpr std::int32_t kTableSize = 0xFFFF;  // code units 0 to 0xFFFE
    static constexpr WCHAR kFirstEarlyGlyph = 33;
    static constexpr WCHAR kLastEarlyGlyph = 125;

    // Installs the face (a file that cannot be installed is logged "can NOT install font
    // path = [%s]" and gives a font of placeholders) and asks for the early glyphs.
    CD3DFont(const font_key_t& key, CFontTexMgr* manager);
    // Deletes every glyph (bitmaps still held go back to the glyph library).
    ~CD3DFont() override;
    CD3DFont(const CD3DFont&) = delete;
    CD3DFont& operator=(const CD3DFont&) = delete;

    // ---- IFont ----
    CWordTex* GetWord(WCHAR codeUnit) override;
    bool IsCodepointAvailable(WCHAR codeUnit) override;
    float GetAscender() override { return ascender_; }
    float GetDescender() override { return descender_; }
    float GetLineHeight() override { return lineHeight_; }
    bool HasMetrics() override;

    // ---- For the font manager ----
    // The pages are going away: every glyph is deleted (bitmaps still held go back to the
    // glyph library) and the table emptied, so text asks for new glyphs. The line metrics
    // stay known.
    void ReleaseGlyphs();
    // Loads the oldest pending glyph; once loaded it moves to the loaded list.
    void LoadFirstPending();

    // ---- For the packer ----
    bool HasMetricsByte() const { return hasMetrics_ != 0; }
    void SetMetrics(const STRU_FONT_BITMAP& bitmap);
    // The page the font's glyphs went to last.
    void NotePage(D3DFORMAT format, std::uint32_t width, std::uint32_t height);

    const font_key_t& GetKey() const { return key_; }
    CFontTexMgr* GetManager() const { return manager_; }
    CFT2Face* GetFace() const { return face_; }
    D3DFORMAT GetPageFormat() const { return pageFormat_; }
    std::int32_t LoadedCount() const { return loaded_.Count(); }
    std::int32_t PendingCount() const { return pending_.Count(); }

private:
    void DeleteGlyphs();

    font_key_t key_;
    CWordTex* table_[kTableSize] = {};
    lru_list_t loaded_;   // CWordTex, placed or empty
    lru_list_t pending_;  // CWordTex, waiting for the glyph library (oldest first)
    D3DFORMAT pageFormat_ = D3DFMT_A8;
    std::uint32_t pageWidth_ = 0;
    std::uint32_t pageHeight_ = 0;
    CFT2Face* face_ = nullptr;
    CWordTex* reference_ = nullptr;  // the first glyph asked for with a bitmap
    std::uint8_t hasMetrics_ = 0;
    float lineHeight_ = 0.0f;
    float ascender_ = 0.0f;
    float descender_ = 0.0f;
    CFontTexMgr* manager_;
    STRU_BITMAPGET_INFO request_{};
};
