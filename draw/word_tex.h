#pragma once
// CWordTex: one glyph of a font (CD3DFont) and its place in a font page (CFontTexture).
//
// A glyph starts with the bitmap the glyph library is rasterising for it; Load places the
// bitmap in a page once the library has finished (or notes that it has no image), gives the
// bitmap back and marks the glyph loaded. A placeholder (a code unit the face does not have)
// is loaded from the start and has no page. A glyph without page is never drawn; its
// advance and offsets are then 0.
//
// Lifetime: made by its font, which keeps it on one of its two lists until the font's pages
// are released or the font goes; from the "CWordTex" pool. A bitmap still held at
// destruction is given back then. Host thread only.
#include <cstdint>

#include "core/lru_list.h"
#include "core/pool_table.h"
#include "core/renderer_interface.h"
#include "platform/win32/win32_types.h"

class CD3DFont;
class CFontTexture;
class CFT2GlyphBitmap;
struct STRU_FONT_BITMAP;

class IWordTex : public IBaseInterface {
public:
    // True once the glyph is loaded (placed in a page, or known to have no image); false
    // while the glyph library is still rasterising: ask again in a later frame.
    virtual bool Load() = 0;
    // The page holding the image; null when there is nothing to draw.
    virtual CFontTexture* GetPage() = 0;
    // Where the image lies in the page, in pixels.
    virtual const RECT* GetRect() = 0;
    // Two values: the horizontal advance and the line height, in pixels.
    virtual const std::int32_t* GetAdvance() = 0;
    // Two values: the image's left and top from the pen position on the baseline, y down.
    virtual const std::int32_t* GetOffset() = 0;
};

class CWordTex final : public IWordTex, public lru_obj_s {
public:
    static void* operator new(std::size_t size) { return PooledAlloc<CWordTex>(size); }
    static void operator delete(void* block) noexcept { PooledFree<CWordTex>(block); }
    static CWordTex* FromNode(lru_obj_s* node) { return static_cast<CWordTex*>(node); }

    // A glyph of `bitmap` (held until Load gives it back), or with a null bitmap a glyph
    // that MarkEmpty turns into a placeholder. Nothing is loaded yet.
    CWordTex(CFT2GlyphBitmap* bitmap, CD3DFont* font);
    // Takes the glyph off its font's list and gives back a bitmap still held.
    ~CWordTex() override;
    CWordTex(const CWordTex&) = delete;
    CWordTex& operator=(const CWordTex&) = delete;

    // ---- IWordTex ----
    // Packs a finished image into the font manager's pages (CFontTex::GetWord).
    bool Load() override;
    CFontTexture* GetPage() override { return page_; }
    const RECT* GetRect() override { return &rect_; }
    const std::int32_t* GetAdvance() override { return advance_; }
    const std::int32_t* GetOffset() override { return offset_; }

    // ---- For the font and the packer ----
    // A placeholder: loaded, without image.
    void MarkEmpty();
    // The bitmap's advance, offsets and vertical metrics, copied before the image is placed.
    void TakeMetrics(const STRU_FONT_BITMAP& bitmap);
    // The image lies at `rect` of `page`.
    void Place(CFontTexture* page, const RECT& rect);
    void ClearPixels() { hasPixels_ = 0; }

    std::int32_t Advance() const { return advance_[0]; }
    std::int32_t LineHeight() const { return advance_[1]; }
    std::int32_t OffsetX() const { return offset_[0]; }
    std::int32_t OffsetY() const { return offset_[1]; }
    const RECT& PageRect() const { return rect_; }
    CFontTexture* Page() const { return page_; }
    float GetAscender() const { return ascender_; }
    float GetDescender() const { return descender_; }
    CD3DFont* GetFont() const { return font_; }
    CFT2GlyphBitmap* GetBitmap() const { return bitmap_; }
    bool IsLoaded() const { return loaded_ != 0; }
    bool HasPixels() const { return hasPixels_ != 0; }

private:
    CFontTexture* page_ = nullptr;
    CFT2GlyphBitmap* bitmap_;  // null once loaded, and for placeholders
    CD3DFont* font_;
    RECT rect_{};
    std::int32_t advance_[2] = {};  // horizontal advance, line height
    std::int32_t offset_[2] = {};   // x and y of the image from the pen position
    float ascender_ = 0.0f;
    float descender_ = 0.0f;
    std::uint8_t loaded_ = 0;
    std::uint8_t hasPixels_ = 0;
};
