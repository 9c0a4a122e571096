// CLumiscriber: text commands in the legacy build (in place of core/lumiscriber_text.cpp). A
// text command names its font with a font description (legacy/font_desc.h) from the
// description pool; its glyphs are laid out by the font-texture manager when its text or font
// changes (legacy/text_layout_legacy.h), and every draw places and queues that layout (DrawText
// is in core/lumiscriber_fonts.cpp). The default font is such a description too; the renderer
// only keeps it.
#include "core/lumiscriber.h"
#include "draw/draw_commands.h"
#include "draw/draw_layer.h"
#include "draw/text_layout.h"
#include "legacy/font_desc.h"
#include "legacy/font_tex_mgr_legacy.h"
#include "legacy/text_layout_legacy.h"

void CLumiscriber::DrawTextInRect(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t left, std::int32_t top,
                                  std::int32_t right, std::int32_t bottom, D3DCOLOR color, bool wrap, bool outline,
                                  D3DCOLOR outlineColor, std::int32_t spacing) {
    auto* text = DrawCommandAs<STRU_TEXT_COMMAND>(cmd);
    // Drawn from the layout SetText or SetFont made: without one there is nothing to draw.
    if (text == nullptr || text->font == nullptr || text->words.Empty()) return;
    text->sequence = drawSequence_++;
    text->color = color;
    PlaceText(text, RECT{left, top, right, bottom}, wrap, spacing, text->font->LineHeight());
    text->flags = kDrawFlagAlpha;
    FillDrawListHeads(text, outline, outlineColor);
    if (!deviceLost_ && openLayer_ != nullptr) {
        for (lru_obj_s* node = lru_obj_s::Next(&text->drawLists); node != &text->drawLists;
             node = lru_obj_s::Next(node)) {
            DispatchDrawCommand(&txt_drawlist_t::FromNode(node)->command, &drawContext_, openLayer_);
        }
    }
    AddDrawCalls(1);
}

bool CLumiscriber::SetText(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* text) {
    auto* record = DrawCommandAs<STRU_TEXT_COMMAND>(cmd);
    if (record == nullptr || !StoreText(record, text)) return false;
    return LayOutText(record, fontTexMgr_.get());
}

bool CLumiscriber::GetTextExtent(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t* width, std::int32_t* height,
                                 std::int32_t spacing) {
    return ::GetTextExtent(DrawCommandAs<STRU_TEXT_COMMAND>(cmd), width, height, spacing);
}

std::uint8_t CLumiscriber::SetFont(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, std::int32_t size) {
    auto* text = DrawCommandAs<STRU_TEXT_COMMAND>(cmd);
    if (text == nullptr) return 0;
    if (text->font == nullptr) text->font = new font_desc_t();
    if (text->font->Assign(path, FontSizeByte(size), 0)) LayOutText(text, fontTexMgr_.get());
    return static_cast<std::uint8_t>(text->font->LineHeight());
}

void CLumiscriber::SetDefaultFont(const WCHAR* path, std::int32_t size) {
    if (defaultFont_ == nullptr) defaultFont_ = new font_desc_t();
    defaultFont_->Assign(path, FontSizeByte(size), 0);
}
