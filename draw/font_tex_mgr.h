#pragma once
// CFontTexMgr: the renderer's font manager. One per renderer, owned by it. It creates fonts
// by key and keeps them until it goes, owns the font pages (newest first; glyphs always go
// to the newest), places at most one pending glyph per font each frame, and gives every
// page up before a display-mode change.
//
// Lifetime: it must go before the texture manager, which made its pages. Host thread only.
#include <cstdint>
#include <map>

#include "draw/d3d_font.h"

class CLumiscriber;
class CFontTexture;
class CTexMgr;

class CFontTexMgr {
public:
    // `renderer` may be null (no pages can then be made; glyphs stay without image).
    explicit CFontTexMgr(CLumiscriber* renderer);
    // Deletes every font, then destroys every page.
    ~CFontTexMgr();
    CFontTexMgr(const CFontTexMgr&) = delete;
    CFontTexMgr& operator=(const CFontTexMgr&) = delete;

    // The font of the file at `size` pixels with the style flags, made on first request.
    // Null for a null path.
    CD3DFont* GetFont(const WCHAR* path, std::uint8_t size, std::int32_t styleFlags);
    // Each frame (from the renderer's OnFrameBegin): every font, in key order, loads its
    // oldest pending glyph.
    void LoadPendingWords();
    // Before the device is re-created for a new display mode: every font deletes its glyphs,
    // then every page is destroyed.
    void ReleasePages();

    CLumiscriber* GetRenderer() const { return renderer_; }
    // The page new glyphs go to; null before the first.
    CFontTexture* GetCurrentPage() const { return pages_; }
    // Makes `page` the current one (the packer's new pages).
    void AddPage(CFontTexture* page);
    std::int32_t GetPageCount() const;
    std::size_t GetFontCount() const { return fonts_.size(); }

private:
    void DestroyPages();

    std::map<font_key_t, CD3DFont*, font_key_less_t> fonts_;  // owned
    CLumiscriber* renderer_;
    CFontTexture* pages_ = nullptr;  // newest first, linked through CFontTexture::next
};
