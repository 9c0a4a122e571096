#pragma once
// Text layout: how a text command (STRU_TEXT_COMMAND) becomes placed glyphs. The renderer's
// text operations (CLumiscriber::SetText, DrawTextInRect, ...) are built from these steps;
// how the glyphs are found differs by build, the rest is shared.
//
//   layout    one word node per code unit, in string order, each with a word draw of its
//             glyph; built once per text and font, when every glyph is loaded. The word
//             draws of glyphs with a page go to one draw list per page (pages in order of
//             first use); each draw list's head is what the alpha-blended processor draws.
//   placement the word draws' screen rectangles for a rectangle, wrap and spacing; done
//             again only when one of those changes.
//
// A code unit the fonts give no glyph for (the glyph library refused it, or U+FFFF) becomes
// an empty word draw: no advance, never drawn. Host thread only.
#include <algorithm>
#include <cstdint>

#include "draw/draw_commands.h"

// A font size as fonts hold it (one byte): sizes outside 0 to 255 are taken as the nearest.
inline std::uint8_t FontSizeByte(std::int32_t size) { return static_cast<std::uint8_t>(std::clamp(size, 0, 255)); }

// Calls visit(STRU_WORD_DRAW*) for each code unit's word draw, in string order.
template <class Visit>
void ForEachWordDraw(STRU_TEXT_COMMAND* cmd, Visit visit) {
    for (lru_obj_s* node = lru_obj_s::Next(&cmd->words); node != &cmd->words; node = lru_obj_s::Next(node))
        visit(word_node_t::FromNode(node)->draw);
}

// Appends a word node with a word draw of `glyph` (null: a code unit without glyph, never
// drawn) to the text's word list; the draw starts with the glyph's page rectangle. Throws
// the pools' exceptions, leaving nothing half made.
STRU_WORD_DRAW* AppendWord(STRU_TEXT_COMMAND* cmd, text_glyph_t* glyph);

// Appends the word draw to the draw list of its glyph's page (made when the text has none
// for that page yet); a word without glyph or page is not drawn and goes nowhere.
void AddWordToDrawList(STRU_TEXT_COMMAND* cmd, STRU_WORD_DRAW* word);

// Copies at most 255 code units of `text` (null: empty) and undoes the layout; false, with
// nothing changed, when the command already holds this non-empty text.
bool StoreText(STRU_TEXT_COMMAND* cmd, const WCHAR* text);

// Places the glyphs in the rectangle from its top-left corner, the pen moving by each
// glyph's advance plus `spacing`. A glyph that would pass `right` ends the placing, or with
// `wrap` starts a new line `lineHeight` lower when two line heights still fit above
// `bottom` (else ends it). Glyphs left over get empty rectangles. Does nothing when the
// glyphs already lie so. Needs a built layout.
void PlaceText(STRU_TEXT_COMMAND* cmd, const RECT& rect, bool wrap, std::int32_t spacing, std::int32_t lineHeight);

// Fills every draw list's head from the command (type, flags, sequence, colour) with its
// page and the outline (style 2 and the colour when `outline`, else style 0).
void FillDrawListHeads(STRU_TEXT_COMMAND* cmd, bool outline, D3DCOLOR outlineColor);

// The sum of (spacing + advance) over the laid-out glyphs and their largest line height;
// 0 x 0 before the first layout. False for a null command. Outputs may be null.
bool GetTextExtent(STRU_TEXT_COMMAND* cmd, std::int32_t* width, std::int32_t* height, std::int32_t spacing);

#if !LUMI_LEGACY
// The current build's layout over font pairs (text_layout_fonts.cpp; the legacy build lays
// text out with its font-texture manager, legacy/text_layout_legacy.h).

// The layout undone (the same as ClearTextLayout); the next draw builds it again.
void InvalidateTextLayout(STRU_TEXT_COMMAND* cmd);

// Builds the layout when it is not built yet. False when the text is empty, there is no main
// font, a font's line metrics are not known yet, or some glyph is still being rasterised:
// the text is then simply not drawn, and a later call tries again. Throws the pools'
// exceptions.
bool BuildTextLayout(STRU_TEXT_COMMAND* cmd);

// StoreText, then the layout built anew; returns whether it is built. Unchanged non-empty
// text returns false and keeps the layout.
bool SetText(STRU_TEXT_COMMAND* cmd, const WCHAR* text);
#endif
