#pragma once
// Shared set-up of the font and text tests: a renderer over the software device (320x240
// main window) with the glyph library reset, host text commands in DejaVu Sans and
// WenQuanYi Micro Hei, frames drawn as a host draws them, and the glyph library's own
// bitmaps as the reference for what must appear on screen. Every test ends with every glyph
// bitmap given back exactly once.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "core/lumiscriber.h"
#include "draw/d3d_font.h"
#include "draw/draw_commands.h"
#include "draw/font_tex_mgr.h"
#include "draw/font_texture.h"
#include "draw/word_tex.h"
#include "platform/fontmill/control.h"
#include "platform/fontmill/fontmill.h"
#include "tests/core/renderer_fixture.h"
#include "tests/support/test_fonts.h"

namespace lumi::test {

class TextTest : public RendererTest {
protected:
    static constexpr D3DCOLOR kWhite = 0xFFFFFFFF;

    void SetUp() override {
        LUMI_REQUIRE_FONTS();
        fontmillctl::Reset();
        RendererTest::SetUp();
        ASSERT_NE(Create(), nullptr);
    }

    void TearDown() override {
        if (renderer_ != nullptr)
            for (STRU_DRAW_COMMAND_BASE* cmd : commands_) renderer_->ReleasePrimitive(cmd);
        commands_.clear();
        RendererTest::TearDown();
        if (IsSkipped()) return;
        const fontmillctl::Counters counters = fontmillctl::GetCounters();
        EXPECT_EQ(counters.Outstanding(), 0) << "glyph bitmaps never given back";
        EXPECT_EQ(counters.doubleReleases, 0);
        fontmillctl::Reset();
    }

    CFontTexMgr* Fonts() const { return Renderer()->GetFontTexMgr(); }

    // A host text command in the font, holding `text`.
    STRU_TEXT_COMMAND* Text(const char16_t* font, int size, const char16_t* text) {
        STRU_DRAW_COMMAND_BASE* cmd = renderer_->CreatePrimitive(kDrawCmdText);
        commands_.push_back(cmd);
        renderer_->SetFont(cmd, font, size);
        renderer_->SetText(cmd, text);
        return static_cast<STRU_TEXT_COMMAND*>(cmd);
    }

    // One frame with `draw` between BeginScene and EndScene.
    void DrawFrame(const std::function<void()>& draw) {
        renderer_->OnFrameBegin();
        renderer_->BeginScene();
        draw();
        renderer_->EndScene(true);
        renderer_->OnFrameEnd();
    }

    std::uint32_t Pixel(int x, int y) const { return WindowPixel(window_, x, y) & 0xFFFFFF; }

    // The glyph library's own image of a code unit, rasterised afresh (and given back).
    struct Reference {
        STRU_FONT_BITMAP data;
        std::vector<std::uint8_t> pixels;

        // Coverage 0..255 at (x, y) of the image; 0 outside it.
        int Coverage(int x, int y) const {
            if (x < 0 || y < 0 || x >= data.width || y >= data.rows) return 0;
            const std::uint8_t byte = pixels[static_cast<std::size_t>(y * data.pitch + (data.pixelMode == 1 ? x / 8 : x))];
            return data.pixelMode == 1 ? ((byte >> (7 - x % 8)) & 1) * 255 : byte;
        }
    };
    static Reference ReferenceGlyph(const char16_t* font, char16_t codeUnit, int size) {
        STRU_BITMAPGET_INFO request{};
        std::copy_n(font, std::char_traits<char16_t>::length(font) + 1, request.path);
        request.codeUnit = codeUnit;
        request.size = static_cast<std::uint8_t>(size);
        request.style = 0x10;
        Reference reference{};
        CFT2GlyphBitmap* bitmap = GetFT2FontEngine()->GetBitmap(request);
        if (bitmap == nullptr) return reference;
        reference.data = bitmap->GetData();
        reference.pixels.assign(reference.data.buffer, reference.data.buffer + reference.data.bufferSize);
        reference.data.buffer = nullptr;
        bitmap->Release();
        return reference;
    }

    // Where the layout puts a glyph's image for the pen at (x, y) on a line of `lineHeight`:
    // the ascender-to-descender box centred in the line, the image hanging from the baseline.
    static POINT ImageCorner(const STRU_FONT_BITMAP& glyph, int x, int y, int lineHeight) {
        const int baseline = static_cast<int>(glyph.ascender + 0.5f + static_cast<float>(y));
        const int top = static_cast<int>((static_cast<float>(lineHeight) - (glyph.ascender - glyph.descender)) * 0.5f +
                                         0.5f + static_cast<float>(baseline));
        return POINT{x + glyph.left, top + glyph.top};
    }

    // The screen around an image drawn at `corner` in white on black shows its coverage;
    // returns the pixels that differ by more than one step, and counts the covered ones.
    int Mismatches(const Reference& glyph, POINT corner, int* covered = nullptr) const {
        int wrong = 0;
        for (int y = -2; y < glyph.data.rows + 2; ++y) {
            for (int x = -2; x < glyph.data.width + 2; ++x) {
                const int want = glyph.Coverage(x, y);
                const int got = static_cast<int>(Pixel(corner.x + x, corner.y + y) >> 16);
                if (std::abs(got - want) > 1) ++wrong;
                if (covered != nullptr && want > 0) ++*covered;
            }
        }
        return wrong;
    }

    std::vector<STRU_DRAW_COMMAND_BASE*> commands_;
};

}  // namespace lumi::test
