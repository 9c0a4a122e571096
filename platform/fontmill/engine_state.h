#pragma once
// The glyph library's process-wide state, shared by the engine and its control API. Not
// part of the library's interface.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/fontmill/control.h"
#include "platform/fontmill/fontmill.h"

// A record of the legacy GetBitmap with the pixels it points at.
struct legacy_bitmap_t {
    STRU_FONT_BITMAP data;
    std::vector<std::uint8_t> pixels;
};

struct fontmill_state_t {
    fontmill_state_t();
    // Faces go before the FreeType library that made them.
    ~fontmill_state_t();
    fontmill_state_t(const fontmill_state_t&) = delete;
    fontmill_state_t& operator=(const fontmill_state_t&) = delete;

    // Forgets faces and bitmaps, switches and counters (the control API's Reset).
    void Clear();

    FT_Library library = nullptr;  // null when FreeType did not start
    CFT2FontEngine engine;
    std::map<std::u16string, std::unique_ptr<CFT2Face>> faces;  // by the path as given
    std::u16string westernPath;
    // Every bitmap handed out. Released ones stay (without pixels) so that a second Release
    // is counted instead of touching freed memory.
    std::vector<std::unique_ptr<CFT2GlyphBitmap>> bitmaps;
    std::map<const STRU_FONT_BITMAP*, std::unique_ptr<legacy_bitmap_t>> legacyBitmaps;
    fontmillctl::Counters counters;
    std::int32_t loadDelay = 0;
    std::int32_t failingCodeUnit = fontmillctl::kNoFailure;
    bool available = true;
};

fontmill_state_t& FontmillState();
