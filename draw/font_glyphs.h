#pragma once
// The glyphs text is drawn from and the font pages they lie on, by build. The current build's
// font manager packs CWordTex glyphs into CFontTexture pages that every font shares
// (draw/word_tex.h, draw/font_texture.h); the legacy build's font-texture manager packs
// STRU_WORD_TEX glyphs into CFontPicture pages of each font (legacy/font_tex.h). Text layout,
// the draw-command records and the alpha-blended processor name them through these aliases;
// both kinds of glyph answer Page, PageRect, Advance, LineHeight, OffsetX, OffsetY,
// GetAscender and GetDescender alike.
#include "core/build_variant.h"

#if LUMI_LEGACY
class CFontPicture;
struct STRU_WORD_TEX;
using font_page_t = CFontPicture;
using text_glyph_t = STRU_WORD_TEX;
#else
class CFontTexture;
class CWordTex;
using font_page_t = CFontTexture;
using text_glyph_t = CWordTex;
#endif
