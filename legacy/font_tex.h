#pragma once
// CFontTex: one legacy font (a font file at one size; the style plays no part), with its
// glyphs by UTF-16 code unit and pages of its own. A glyph is rasterised by the glyph library
// when it is first asked for, packed into the font's newest page (CFontPicture) and uploaded
// at once, so text is laid out in the call that asks for it.
//
// Packing: glyphs go left to right with no gap; one that would pass the right edge starts a
// row below, lower by the tallest glyph of the page so far; one that would pass the bottom
// (whether or not it started a row) goes to a new page.
//
// Lifetime: made and deleted only by the font-texture manager (CFontTexMgr), from its pool;
// its glyph records (STRU_WORD_TEX) and pages live as long as it does. Host thread only.
#include <cstddef>
#include <cstdint>
#include <map>

#include "core/build_variant.h"
#include "core/pool_table.h"
#include "platform/d3d9/d3d9.h"
#include "platform/win32/win32_types.h"

#if !LUMI_LEGACY
#error "the font-texture manager's fonts belong to the legacy build"
#endif

class CFontPicture;
class CFontTexMgr;
struct font_desc_t;

// One glyph of a legacy font: where its image lies and the metrics of the glyph bitmap it
// came from, in pixels. An empty glyph (a space) has no page and an empty rectangle, but still
// advances.
struct STRU_WORD_TEX {
    static void* operator new(std::size_t size) { return PooledAlloc<STRU_WORD_TEX>(size); }
    static void operator delete(void* block) noexcept { PooledFree<STRU_WORD_TEX>(block); }

    CFontPicture* page = nullptr;
    RECT rect{};  // in the page
    std::int32_t advance = 0;     // horizontal
    std::int32_t lineHeight = 0;  // baseline to baseline
    std::int32_t left = 0;        // the image's left from the pen position
    std::int32_t top = 0;         // the image's top from the baseline, y down
    float ascender = 0.0f;
    float descender = 0.0f;  // negative

    // What text layout and the processors read (as the current build's glyph answers them).
    CFontPicture* Page() const { return page; }
    const RECT& PageRect() const { return rect; }
    std::int32_t Advance() const { return advance; }
    std::int32_t LineHeight() const { return lineHeight; }
    std::int32_t OffsetX() const { return left; }
    std::int32_t OffsetY() const { return top; }
    float GetAscender() const { return ascender; }
    float GetDescender() const { return descender; }
};

// A legacy font's identity: the path (at most 63 code units, zero-filled) and the size.
struct font_tex_key_t {
    static constexpr std::size_t kPathUnits = 64;  // 128 bytes
    WCHAR path[kPathUnits] = {};
    std::int32_t size = 0;

    // The key of a text command's font description (its path is already held to 63 units).
    static font_tex_key_t Of(const font_desc_t& desc);
};

// Keys in order of size, then of the path's 128 bytes compared as unsigned bytes.
struct font_tex_key_less_t {
    bool operator()(const font_tex_key_t& a, const font_tex_key_t& b) const;
};

class CFontTex {
public:
    static void* operator new(std::size_t size) { return PooledAlloc<CFontTex>(size); }
    static void operator delete(void* block) noexcept { PooledFree<CFontTex>(block); }

    static constexpr std::uint16_t kLargestPageSide = 512;

    // Pages of the renderer's font page side, at most kLargestPageSide; the first is made at
    // once (none without a texture manager: glyphs then come later, when one can be made).
    // The font file is installed with the glyph library (the face is not kept).
    CFontTex(const font_tex_key_t& key, CFontTexMgr* manager);
    // Returns every glyph record to its pool and destroys the pages through the texture
    // manager, which must still be there.
    virtual ~CFontTex();
    CFontTex(const CFontTex&) = delete;
    CFontTex& operator=(const CFontTex&) = delete;

    // The glyph of the code unit, rasterised, packed and uploaded on first request. Null,
    // with nothing kept (so a later request asks again), when no page can be made, the glyph
    // library gives no bitmap (no engine, no face, no such glyph, size 0), the bitmap has a
    // negative size or is larger than a page, or the page cannot be locked (logged). Every
    // bitmap obtained is freed once. A record the pool cannot give is fatal (tarnel Error
    // "new STRU_WORD_TEX - out of memory."); a page without system copy or of another format
    // throws as WriteGlyphPixels.
    STRU_WORD_TEX* GetWord(WCHAR codeUnit);
    // A new cleared page, at the front of the font's list and current; null when it cannot be
    // made (logged as ClearFontPage).
    CFontPicture* CreateNewPiture();

    const font_tex_key_t& GetKey() const { return key_; }
    CFontPicture* GetCurrentPage() const { return pages_; }
    std::int32_t GetPageCount() const;
    std::size_t GetGlyphCount() const { return words_.size(); }
    std::uint16_t GetPageSide() const { return pageSide_; }
    D3DFORMAT GetPageFormat() const { return pageFormat_; }

private:
    CFontTexMgr* manager_;
    font_tex_key_t key_;
    std::map<std::uint16_t, STRU_WORD_TEX*> words_;  // owned
    std::uint16_t pageSide_ = 0;
    D3DFORMAT pageFormat_ = D3DFMT_A8;  // of the newest page
    CFontPicture* pages_ = nullptr;     // newest first, linked through CFontPicture::next
};
