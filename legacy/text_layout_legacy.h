#pragma once
// Text layout of the legacy build: a text command's glyphs come from the font-texture
// manager's font of its font description (legacy/font_desc.h), all rasterised in the call, so
// text is laid out once, when its text or font changes, and drawn from that layout (the
// shared steps are draw/text_layout.h). Host thread only.
#include "core/build_variant.h"
#include "draw/draw_commands.h"

#if !LUMI_LEGACY
#error "this text layout belongs to the legacy build"
#endif

class CFontTexMgr;

inline constexpr WCHAR kLineHeightCodeUnitLatin = u'A';
inline constexpr WCHAR kLineHeightCodeUnitCjk = u'\u9AD8';

// Undoes the layout and lays the text out again: the description's two line heights become
// those of the font's glyphs of 'A' and U+9AD8 (0 for one the font has no glyph for), then
// every code unit gets a word draw of its glyph, on the draw list of its page. A code unit
// without glyph is an empty word (no advance, never drawn; one DevMsg line). False when
// there is no text, no font description or no manager; throws as CFontTex::GetWord and the
// pools.
bool LayOutText(STRU_TEXT_COMMAND* cmd, CFontTexMgr* manager);
