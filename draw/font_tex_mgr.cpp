#include "draw/font_tex_mgr.h"

CFontTexMgr::CFontTexMgr(CLumiscriber* renderer) : renderer_(renderer) {}

CFontTexMgr::~CFontTexMgr() = default;

// No font exists before GetFont is offered, so there is no glyph to load and no page to
// release yet.
void CFontTexMgr::LoadPendingWords() {}
void CFontTexMgr::ReleasePages() {}
