#pragma once
// Shared set-up of the font and text tests: a renderer over the software device (320x240
// main window) with the glyph library reset, host text commands in DejaVu Sans and
// WenQuanYi Micro Hei, frames drawn as a host draws them, and the glyph library's own
// bitmaps as the reference for what must appear on screen (tests/support/glyph_reference.h). Every test ends with every glyph
// bitmap given back exactly once.
//
// TextFixture is what the text tests of both builds share, over their build's renderer
// fixture; the legacy build's tests (tests/legacy) use it over LegacyRendererTest, so this
// header compiles in both builds and includes the current build's font classes only there.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "core/build_variant.h"
#include "core/lumiscriber.h"
#include "draw/draw_commands.h"
#include "platform/fontmill/control.h"
#include "platform/fontmill/fontmill.h"
#include "tests/core/renderer_fixture.h"
#include "tests/support/glyph_reference.h"
#include "tests/support/test_fonts.h"

#if !LUMI_LEGACY
#include "draw/d3d_font.h"
#include "draw/font_tex_mgr.h"
#include "draw/font_texture.h"
#include "draw/word_tex.h"
#endif

namespace lumi::test {

template <class RendererFixture>
class TextFixture : public RendererFixture {
protected:
    static constexpr D3DCOLOR kWhite = 0xFFFFFFFF;

    void SetUp() override {
        LUMI_REQUIRE_FONTS();
        fontmillctl::Reset();
        RendererFixture::SetUp();
        ASSERT_NE(this->Create(), nullptr);
    }

    void TearDown() override {
        if (this->renderer_ != nullptr)
            for (STRU_DRAW_COMMAND_BASE* cmd : commands_) this->renderer_->ReleasePrimitive(cmd);
        commands_.clear();
        RendererFixture::TearDown();
        if (!::testing::Test::IsSkipped()) ExpectGlyphBitmapsGivenBackAndReset();
    }

    CFontTexMgr* Fonts() const { return this->Renderer()->GetFontTexMgr(); }

    // A host text command in the font, holding `text`.
    STRU_TEXT_COMMAND* Text(const char16_t* font, int size, const char16_t* text) {
        STRU_DRAW_COMMAND_BASE* cmd = this->renderer_->CreatePrimitive(kDrawCmdText);
        commands_.push_back(cmd);
        this->renderer_->SetFont(cmd, font, size);
        this->renderer_->SetText(cmd, text);
        return static_cast<STRU_TEXT_COMMAND*>(cmd);
    }

    int Mismatches(const GlyphReference& glyph, POINT corner, int* covered = nullptr) const {
        return GlyphMismatches(glyph, corner, [this](int x, int y) { return this->Pixel(x, y); }, covered);
    }

    std::vector<STRU_DRAW_COMMAND_BASE*> commands_;
};

class TextTest : public TextFixture<RendererTest> {
protected:
    // One frame with `draw` between BeginScene and EndScene.
    void DrawFrame(const std::function<void()>& draw) {
        renderer_->OnFrameBegin();
        renderer_->BeginScene();
        draw();
        renderer_->EndScene(true);
        renderer_->OnFrameEnd();
    }

    using Reference = GlyphReference;
    static Reference ReferenceGlyph(const char16_t* font, char16_t codeUnit, int size) {
        return GlyphReference::Of(font, codeUnit, size);
    }
    static POINT ImageCorner(const STRU_FONT_BITMAP& glyph, int x, int y, int lineHeight) {
        return GlyphImageCorner(glyph, x, y, lineHeight);
    }
};

}  // namespace lumi::test
