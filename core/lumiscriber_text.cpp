// CLumiscriber: text commands and fonts (the glyph library's settings and DrawText are in
// lumiscriber_fonts.cpp). The legacy build has its own form of this file.
#include "core/frame_clock.h"
#include "core/lumiscriber.h"
#include "core/viewport.h"
#include "draw/d3d_font.h"
#include "draw/draw_commands.h"
#include "draw/font_tex_mgr.h"
#include "draw/text_layout.h"

namespace {

// Gives the command the font pair, made when it has none; whether anything changed.
bool AssignFonts(STRU_TEXT_COMMAND* text, CD3DFont* mainFont, CD3DFont* westernFont) {
    if (text->font == nullptr) {
        text->font = new CRenderFont();
    } else if (text->font->mainFont == mainFont && text->font->westernFont == westernFont) {
        return false;
    }
    text->font->mainFont = mainFont;
    text->font->westernFont = westernFont;
    return true;
}

void LayOutAgain(STRU_TEXT_COMMAND* text) {
    ClearTextLayout(text);
    BuildTextLayout(text);
}

// The glyphs and pages a layout points at went with the last display-mode change: the layout
// is undone and the command takes the new stamp. True when there was a layout to undo.
bool ForgetLayoutOfEarlierDisplay(STRU_TEXT_COMMAND* text) {
    if (text->displayStamp == g_DisplayStamp) return false;
    const bool laidOut = !text->words.Empty();
    InvalidateTextLayout(text);
    text->displayStamp = g_DisplayStamp;
    return laidOut;
}

}  // namespace

void CLumiscriber::DrawTextInRect(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t left, std::int32_t top,
                                  std::int32_t right, std::int32_t bottom, D3DCOLOR color, bool wrap, bool outline,
                                  D3DCOLOR outlineColor, std::int32_t spacing) {
    auto* text = DrawCommandAs<STRU_TEXT_COMMAND>(cmd);
    if (text == nullptr || text->font == nullptr || text->font->mainFont == nullptr) return;
    ForgetLayoutOfEarlierDisplay(text);
    if (!text->layoutReady && !BuildTextLayout(text)) return;
    text->sequence = NextDrawSequence();
    text->color = color;
    PlaceText(text, RECT{left, top, right, bottom}, wrap, spacing,
              static_cast<std::int32_t>(text->font->mainFont->GetLineHeight()));
    text->flags = kDrawFlagAlpha;
    FillDrawListHeads(text, outline, outlineColor);
    QueueTextDrawLists(text);
    AddDrawCalls(1);
}

void CLumiscriber::QueueTextDrawLists(STRU_TEXT_COMMAND* text) {
    if (deviceLost_ || currentViewport_ == nullptr) return;
    RememberQueued(text);
    for (lru_obj_s* node = lru_obj_s::Next(&text->drawLists); node != &text->drawLists; node = lru_obj_s::Next(node))
        currentViewport_->AddDrawCommand(&txt_drawlist_t::FromNode(node)->command);
}

bool CLumiscriber::SetText(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* text) {
    return ::SetText(DrawCommandAs<STRU_TEXT_COMMAND>(cmd), text);
}

bool CLumiscriber::GetTextExtent(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t* width, std::int32_t* height,
                                 std::int32_t spacing) {
    auto* text = DrawCommandAs<STRU_TEXT_COMMAND>(cmd);
    // Text laid out before a display-mode change is measured on the new glyphs.
    if (text != nullptr && ForgetLayoutOfEarlierDisplay(text)) BuildTextLayout(text);
    return ::GetTextExtent(text, width, height, spacing);
}

std::uint8_t CLumiscriber::SetFont(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, std::int32_t size) {
    auto* text = DrawCommandAs<STRU_TEXT_COMMAND>(cmd);
    if (text == nullptr || !fontTexMgr_) return 0;
    CD3DFont* font = fontTexMgr_->GetFont(path, FontSizeByte(size), 0);
    if (font == nullptr) return 0;
    if (AssignFonts(text, font, nullptr)) LayOutAgain(text);
    return static_cast<std::uint8_t>(static_cast<std::int32_t>(font->GetLineHeight()));
}

bool CLumiscriber::SetFonts(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t, const WCHAR* mainPath, std::int32_t mainSize,
                            std::int32_t, const WCHAR* westernPath, std::int32_t westernSize, std::int32_t) {
    auto* text = DrawCommandAs<STRU_TEXT_COMMAND>(cmd);
    if (text == nullptr || !fontTexMgr_) return false;
    CD3DFont* mainFont = fontTexMgr_->GetFont(mainPath, FontSizeByte(mainSize), 0);
    if (mainFont == nullptr) return false;
    // No western path: the main font serves every code unit.
    CD3DFont* westernFont = westernPath != nullptr && westernPath[0] != u'\0'
                                ? fontTexMgr_->GetFont(westernPath, FontSizeByte(westernSize), 0)
                                : nullptr;
    if (AssignFonts(text, mainFont, westernFont)) LayOutAgain(text);
    return true;
}

CRenderFont* CLumiscriber::SetDefaultFont(const WCHAR* path, std::int32_t size) {
    delete defaultFont_;
    defaultFont_ = nullptr;
    CD3DFont* font = fontTexMgr_ ? fontTexMgr_->GetFont(path, FontSizeByte(size), 0) : nullptr;
    if (font == nullptr) return nullptr;
    defaultFont_ = new CRenderFont();
    defaultFont_->mainFont = font;
    return defaultFont_;
}

IFont* CLumiscriber::GetFont(const WCHAR* path, std::int32_t size, std::int32_t flags, std::int32_t) {
    return fontTexMgr_ ? fontTexMgr_->GetFont(path, FontSizeByte(size), flags) : nullptr;
}
