#pragma once
// The complete glyph and font page types of the build (draw/font_glyphs.h names them), for the
// code that reads glyphs and pages without caring which build's they are.
#include "draw/font_glyphs.h"

#if LUMI_LEGACY
#include "legacy/font_picture.h"
#include "legacy/font_tex.h"
#else
#include "draw/font_texture.h"
#include "draw/word_tex.h"
#endif
