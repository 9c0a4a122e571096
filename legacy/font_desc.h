#pragma once
// font_desc_t: how the legacy build names a font: a text command's font and the renderer's
// default font are each such a 144-byte description, from its own pool, instead of a font
// pair. The font-texture manager finds the font by path and size; the two line heights are
// filled when the text is laid out, and the larger of them is the text's line height.
//
// The path keeps at most kFontDescPathUnits - 1 code units and a terminator, so that it can
// always be used as a string: a longer path is cut there.
#include <cstddef>
#include <cstdint>

#include "core/build_variant.h"
#include "core/pool_table.h"
#include "platform/win32/win32_types.h"

#if !LUMI_LEGACY
#error "font descriptions belong to the legacy build"
#endif

inline constexpr std::size_t kFontDescPathUnits = 64;

struct font_desc_t {
    static void* operator new(std::size_t size) { return PooledAlloc<font_desc_t>(size); }
    static void operator delete(void* block) noexcept { PooledFree<font_desc_t>(block); }

    // Stores the path (null: empty), size and style; false when all three were already so.
    // Logs when the path had to be cut.
    bool Assign(const WCHAR* path, std::uint8_t size, std::uint8_t style);
    // The larger line height: what text layout advances by per line.
    std::int32_t LineHeight() const { return lineHeightA > lineHeightB ? lineHeightA : lineHeightB; }

    std::uint8_t style = 0;
    WCHAR path[kFontDescPathUnits] = {};  // zero-filled after the terminator
    std::uint8_t reserved[2] = {};
    std::uint8_t size = 0;
    std::int32_t lineHeightA = 0;  // 0 until laid out
    std::int32_t lineHeightB = 0;
};

static_assert(sizeof(font_desc_t) == 144, "144 bytes");
static_assert(offsetof(font_desc_t, path) == 2 && offsetof(font_desc_t, size) == 132 &&
                  offsetof(font_desc_t, lineHeightA) == 136 && offsetof(font_desc_t, lineHeightB) == 140,
              "the fields where the description keeps them");
