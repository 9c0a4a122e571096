#pragma once
// CFontPicture: a page of one legacy font (CFontTex), a square texture its glyphs are packed
// into on shelves, with no gap between them. The texture manager makes it (CTexMgr::
// CreateFontPage) in the font page format, never packed into an atlas and never idle; its
// font keeps it on a list of its own, newest first, and destroys it through the texture
// manager. Host thread only.
#include <cstdint>

#include "core/build_variant.h"
#include "draw/d3d_texture.h"

#if !LUMI_LEGACY
#error "font pictures belong to the legacy build"
#endif

class CFontPicture final : public CD3DTexture {
public:
    static void* operator new(std::size_t size) { return PooledAlloc<CFontPicture>(size); }
    static void operator delete(void* block) noexcept { PooledFree<CFontPicture>(block); }

    // An empty width x height page in `format`, not packable, cursor at its origin. No
    // memory is bound yet.
    CFontPicture(ITextureOwner* owner, D3DFORMAT format, std::uint16_t width, std::uint16_t height)
        : CD3DTexture(owner, format, width, height, 0, false) {
        SetNotPackable(true);
    }

    std::int32_t cursorX = 0;    // where the next glyph goes on the current row
    std::int32_t cursorY = 0;    // top of the current row
    std::int32_t rowHeight = 0;  // tallest glyph placed on this page
    CFontPicture* next = nullptr;  // the font's older page
};
