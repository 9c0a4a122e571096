#pragma once
// CFontTexMgr of the legacy build (in place of draw/font_tex_mgr.h): the renderer's fonts by
// path and size (CFontTex), made on first request and kept until the manager goes. Each font
// keeps its own glyphs and pages and rasterises a glyph when it is first asked for: there is
// no per-frame glyph loading and no page is shared between fonts.
//
// Lifetime: one per renderer, owned by it; it must go before the texture manager, which made
// the fonts' pages. Host thread only.
#include <cstddef>
#include <map>

#include "core/build_variant.h"
#include "legacy/font_tex.h"

#if !LUMI_LEGACY
#error "this font-texture manager belongs to the legacy build"
#endif

class CLumiscriber;

class CFontTexMgr {
public:
    // Readies the glyph library when it is not yet: logs "FT2FontEngine Init...", calls its
    // Init(1) and logs "FT2FontEngine Init success." when that succeeds. `renderer` may be
    // null (no pages can then be made, so no glyph either).
    explicit CFontTexMgr(CLumiscriber* renderer);
    // Deletes every font (and so its glyphs and pages).
    virtual ~CFontTexMgr();
    CFontTexMgr(const CFontTexMgr&) = delete;
    CFontTexMgr& operator=(const CFontTexMgr&) = delete;

    // The font of the key, made on first request.
    CFontTex* GetFontTex(const font_tex_key_t& key);

    CLumiscriber* GetRenderer() const { return renderer_; }
    std::size_t GetFontCount() const { return fonts_.size(); }

private:
    std::map<font_tex_key_t, CFontTex*, font_tex_key_less_t> fonts_;  // owned
    CLumiscriber* renderer_;
};
