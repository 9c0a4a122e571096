#pragma once
// Font pages: the square textures the glyphs of every font are packed into, on shelves, and
// the packer that puts a rasterised glyph there (CFontTex).
//
// A page is made by the texture manager (CTexMgr::CreateFontPage) in the font page format,
// never packed into an atlas and never idle; the font manager keeps its pages in a list,
// newest first, and glyphs always go to the newest. The packer writes a glyph's coverage
// into the top byte of each texel (the alpha of A8R8G8B8 and A4R4G4B4, the A8 byte) and
// marks the rectangle dirty, so the video copy follows when the page is next drawn.
//
// Shelves: a glyph goes right of the last one with one pixel between them; one that would
// pass the right edge starts a shelf below, lower by the tallest glyph of the page so far;
// one that would pass the bottom starts a new page. Host thread only.
#include <cstdint>

#include "draw/d3d_texture.h"

class CD3DFont;
class CFontTexMgr;
class CWordTex;

class CFontTexture final : public CD3DTexture {
public:
    static void* operator new(std::size_t size) { return PooledAlloc<CFontTexture>(size); }
    static void operator delete(void* block) noexcept { PooledFree<CFontTexture>(block); }

    // An empty width x height page in `format`, not packable, cursor at its origin. No
    // memory is bound yet.
    CFontTexture(ITextureOwner* owner, D3DFORMAT format, std::uint16_t width, std::uint16_t height);

    std::int32_t cursorX = 0;    // where the next glyph goes on the current shelf
    std::int32_t cursorY = 0;    // top of the current shelf
    std::int32_t rowHeight = 0;  // tallest glyph placed on this page
    CFontTexture* next = nullptr;  // the older page in the font manager's list
};

struct CFontTex {
    // Places the glyph's finished bitmap in the font manager's newest page (a new page when
    // none has room) and writes its pixels; the glyph takes the bitmap's metrics in any case.
    // The first glyph placed for a font without metrics gives the font its line metrics.
    // False, with the glyph left without pixels, for a negative size, an image larger than a
    // page, or a page that cannot be made or locked (logged). Throws lumi::Exception
    // "invalid pointer." for a page without system copy and "error font texture format." for
    // a page format other than A8R8G8B8, A4R4G4B4 and A8.
    static bool GetWord(CD3DFont* font, CWordTex* glyph);
    // A new page of the renderer's font page side, cleared, at the front of the manager's
    // list; null when it cannot be made, described or cleared (logged; the page is destroyed).
    static CFontTexture* CreateNewPiture(CFontTexMgr* manager);
};
