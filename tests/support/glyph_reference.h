#pragma once
// What a glyph must look like on screen, for the text tests of both builds: the glyph
// library's own image of a code unit as the reference, where the text layout puts it, and a
// comparison with the pixels drawn.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/fontmill/control.h"
#include "platform/fontmill/fontmill.h"

namespace lumi::test {

// The glyph library's image of a code unit, rasterised afresh (and given back).
struct GlyphReference {
    STRU_FONT_BITMAP data;
    std::vector<std::uint8_t> pixels;

    // Coverage 0..255 at (x, y) of the image; 0 outside it.
    int Coverage(int x, int y) const {
        if (x < 0 || y < 0 || x >= data.width || y >= data.rows) return 0;
        const std::uint8_t byte = pixels[static_cast<std::size_t>(y * data.pitch + (data.pixelMode == 1 ? x / 8 : x))];
        return data.pixelMode == 1 ? ((byte >> (7 - x % 8)) & 1) * 255 : byte;
    }

    static GlyphReference Of(const char16_t* font, char16_t codeUnit, int size) {
        STRU_BITMAPGET_INFO request{};
        std::copy_n(font, std::char_traits<char16_t>::length(font) + 1, request.path);
        request.codeUnit = codeUnit;
        request.size = static_cast<std::uint8_t>(size);
        request.style = 0x10;
        GlyphReference reference{};
        CFT2GlyphBitmap* bitmap = GetFT2FontEngine()->GetBitmap(request);
        if (bitmap == nullptr) return reference;
        reference.data = bitmap->GetData();
        reference.pixels.assign(reference.data.buffer, reference.data.buffer + reference.data.bufferSize);
        reference.data.buffer = nullptr;
        bitmap->Release();
        return reference;
    }
};

// The end of a text test: every glyph bitmap of either form was given back exactly once; then
// the glyph library starts afresh for the next test.
inline void ExpectGlyphBitmapsGivenBackAndReset() {
    const fontmillctl::Counters counters = fontmillctl::GetCounters();
    EXPECT_EQ(counters.Outstanding(), 0) << "glyph bitmaps never given back";
    EXPECT_EQ(counters.doubleReleases, 0);
    EXPECT_EQ(counters.badFrees, 0) << "glyph bitmaps freed twice, or never issued";
    fontmillctl::Reset();
}

// Where the layout puts a glyph's image for the pen at (x, y) on a line of `lineHeight`:
// the ascender-to-descender box centred in the line, the image hanging from the baseline.
inline POINT GlyphImageCorner(const STRU_FONT_BITMAP& glyph, int x, int y, int lineHeight) {
    const int baseline = static_cast<int>(glyph.ascender + 0.5f + static_cast<float>(y));
    const int top = static_cast<int>((static_cast<float>(lineHeight) - (glyph.ascender - glyph.descender)) * 0.5f +
                                     0.5f + static_cast<float>(baseline));
    return POINT{x + glyph.left, top + glyph.top};
}

// The screen (`pixel`: 0xRRGGBB at x, y) around an image drawn at `corner` in white on black
// shows its coverage; returns the pixels that differ by more than one step, and counts the
// covered ones.
inline int GlyphMismatches(const GlyphReference& glyph, POINT corner, const std::function<std::uint32_t(int, int)>& pixel,
                           int* covered = nullptr) {
    int wrong = 0;
    for (int y = -2; y < glyph.data.rows + 2; ++y) {
        for (int x = -2; x < glyph.data.width + 2; ++x) {
            const int want = glyph.Coverage(x, y);
            const int got = static_cast<int>(pixel(corner.x + x, corner.y + y) >> 16);
            if (std::abs(got - want) > 1) ++wrong;
            if (covered != nullptr && want > 0) ++*covered;
        }
    }
    return wrong;
}

}  // namespace lumi::test
