#pragma once
// The pixels of font pages, the same in both builds: a new page is cleared, and a glyph's
// coverage goes into the top byte of each texel of its rectangle (the alpha of A8R8G8B8 and
// A4R4G4B4, the A8 byte); other bytes stay as cleared. And how a list of pages goes. Host
// thread only.
#include <cstdint>

#include "platform/d3d9/d3d9.h"
#include "platform/win32/win32_types.h"

class CD3DTexture;
struct STRU_FONT_BITMAP;

// Bytes a texel of a font page format: 4 for A8R8G8B8, 2 for A4R4G4B4, 1 for A8. Throws
// lumi::Exception "error font texture format." for any other.
std::int32_t FontTexelBytes(D3DFORMAT format);

// Zero-fills level 0 of a new page's system copy. False when the copy cannot be described
// with the page's size (logged "CFontTex::CreateNewPiture() failed, GetLevelDesc() failed.")
// or locked (logged "... LockRect() failed."); the caller then destroys the page.
bool ClearFontPage(CD3DTexture* page);

// Destroys a list of font pages linked by their `next` fields (a font's, or the font
// manager's) through the renderer's texture manager, and leaves it empty. Without a renderer
// or texture manager the pages are only unlinked.
template <class Page, class Renderer>
void DestroyFontPages(Page*& pages, Renderer* renderer) {
    auto* texMgr = renderer != nullptr ? renderer->GetTexMgr() : nullptr;
    while (pages != nullptr) {
        Page* page = pages;
        pages = page->next;
        page->next = nullptr;
        if (texMgr != nullptr) texMgr->DestroyTexture(page);
    }
}

// Writes the glyph's coverage (one bit a pixel, or 256 grey levels; other images leave the
// rectangle cleared) at `rect` of the page's system copy and adds the rectangle to the page's
// dirty region. False when the rectangle cannot be locked (logged "CFontTex::GetWord()
// failed, LockRect error."). Throws lumi::Exception "invalid pointer." for a page without
// system copy and as FontTexelBytes.
bool WriteGlyphPixels(CD3DTexture* page, const RECT& rect, const STRU_FONT_BITMAP& bitmap);
