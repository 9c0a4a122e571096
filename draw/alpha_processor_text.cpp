// The alpha-blended processor's text: the glyphs of one font page's draw list as quads that
// sample the page, each glyph's image placed at its screen rectangle.
#include <algorithm>
#include <cmath>

#include "draw/alpha_processor.h"
#include "draw/d3d_texture.h"
#include "draw/draw_commands.h"
#include "draw/font_glyph_types.h"
#include "platform/win32/window.h"

namespace {

constexpr std::int32_t kOutlineStyle = 2;
constexpr LONG kOutlineOffsets[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};

// The luminance the grey pixel shader gives a texel, applied to a colour; alpha kept.
D3DCOLOR GreyOf(D3DCOLOR color) {
    const float red = static_cast<float>((color >> 16) & 0xFF);
    const float green = static_cast<float>((color >> 8) & 0xFF);
    const float blue = static_cast<float>(color & 0xFF);
    const auto grey = static_cast<D3DCOLOR>(std::lround(std::min(255.0f, 0.2125f * red + 0.7154f * green + 0.0721f * blue)));
    return (color & 0xFF000000u) | (grey << 16) | (grey << 8) | grey;
}

// A glyph's quad: its image at `inPage` of a page of the given texel scale, drawn at `screen`.
void PutGlyph(const vertex_writer_t& writer, PrimitiveData& node, const RECT& screen, const RECT& inPage, float uScale,
              float vScale) {
    const float uv[4] = {static_cast<float>(inPage.left) * uScale, static_cast<float>(inPage.top) * vScale,
                         static_cast<float>(inPage.right) * uScale, static_cast<float>(inPage.bottom) * vScale};
    writer.PutQuad(node.AddQuad(), screen, uv);
}

}  // namespace

bool CAlphaBlendDrawCmdBatchProcessor::AddText(STRU_DRAW_COMMAND_BASE* command, viewport_t* viewport) {
    // The head of a page's draw list carries the page; the host's own text record has no
    // texture and is never drawn directly.
    CD3DTexture* page = command->texture;
    if (page == nullptr || page->GetWidth() == 0 || page->GetHeight() == 0) return false;
    if (!page->EnsureVideoTexture()) return false;
    page->UploadDirtyRect();
    auto* text = static_cast<STRU_TEXT_COMMAND_BASE*>(command);
    PrimitiveData* node = NodeFor(command, page);
    const std::int32_t verticesBefore = node->arrays.VertexCount();
    const std::int32_t indicesBefore = node->arrays.IndexCount();

    const bool grey = (text->flags & kDrawFlagGrey) != 0;
    const float z = Depth(text->sequence);
    const float uScale = 1.0f / static_cast<float>(page->GetWidth());
    const float vScale = 1.0f / static_cast<float>(page->GetHeight());
    const vertex_writer_t writer{ClipSpaceOf(viewport), z, grey ? GreyOf(text->color) : text->color};
    auto forEachShownGlyph = [text](auto visit) {
        for (lru_obj_s* entry = lru_obj_s::Next(&text->words); entry != &text->words; entry = lru_obj_s::Next(entry)) {
            const STRU_WORD_DRAW* word = STRU_WORD_DRAW::FromNode(entry);
            if (word->word == nullptr || IsRectEmpty(&word->rect)) continue;  // not placed
            visit(word->rect, word->word->PageRect());
        }
    };
    if (text->outlineStyle == kOutlineStyle) {
        // Behind the glyphs, yet in front of the submission before them.
        const vertex_writer_t outline{writer.clip, DepthJustBehind(text->sequence),
                                      grey ? GreyOf(text->outlineColor) : text->outlineColor};
        forEachShownGlyph([&](const RECT& screen, const RECT& inPage) {
            for (const auto& offset : kOutlineOffsets) {
                const RECT moved{screen.left + offset[0], screen.top + offset[1], screen.right + offset[0],
                                 screen.bottom + offset[1]};
                PutGlyph(outline, *node, moved, inPage, uScale, vScale);
            }
        });
    }
    forEachShownGlyph(
        [&](const RECT& screen, const RECT& inPage) { PutGlyph(writer, *node, screen, inPage, uScale, vScale); });
    CountNode(*node, verticesBefore, indicesBefore);
    return true;
}
