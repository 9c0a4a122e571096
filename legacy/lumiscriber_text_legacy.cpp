// CLumiscriber: text commands in the legacy build (in place of core/lumiscriber_text.cpp). A
// text command names its font with a font description (legacy/font_desc.h) from the
// description pool; glyphs are laid out by the build's font-texture manager. This build has
// no such manager yet: text and fonts are kept on the command, but nothing is laid out, so a
// text has no extent and draws nothing. The default font is such a description too.
#include <algorithm>
#include <iterator>

#include "core/lumiscriber.h"
#include "draw/draw_commands.h"
#include "legacy/font_desc.h"

namespace {

constexpr std::size_t kTextUnits = kTextCommandUnits - 1;

}  // namespace

void CLumiscriber::DrawText(STRU_DRAW_COMMAND_BASE*, std::int32_t, std::int32_t, D3DCOLOR, bool, D3DCOLOR,
                            std::int32_t) {}

void CLumiscriber::DrawTextInRect(STRU_DRAW_COMMAND_BASE*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                  D3DCOLOR, bool, bool, D3DCOLOR, std::int32_t) {}

bool CLumiscriber::SetText(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* text) {
    auto* record = DrawCommandAs<STRU_TEXT_COMMAND>(cmd);
    if (record == nullptr) return false;
    WCHAR kept[kTextCommandUnits] = {};
    for (std::size_t i = 0; text != nullptr && i < kTextUnits && text[i] != u'\0'; ++i) kept[i] = text[i];
    if (std::equal(std::begin(kept), std::end(kept), std::begin(record->text))) return false;
    std::copy(std::begin(kept), std::end(kept), std::begin(record->text));
    ClearTextLayout(record);
    return false;  // not laid out
}

bool CLumiscriber::GetTextExtent(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t* width, std::int32_t* height,
                                 std::int32_t) {
    if (DrawCommandAs<STRU_TEXT_COMMAND>(cmd) == nullptr) return false;
    if (width != nullptr) *width = 0;
    if (height != nullptr) *height = 0;
    return true;
}

std::uint8_t CLumiscriber::SetFont(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, std::int32_t size) {
    auto* text = DrawCommandAs<STRU_TEXT_COMMAND>(cmd);
    if (text == nullptr) return 0;
    if (text->font == nullptr) text->font = new font_desc_t();
    // Sizes outside 0 to 255 are taken as the nearest, as the font key holds them.
    if (text->font->Assign(path, static_cast<std::uint8_t>(std::clamp(size, 0, 255)), 0)) ClearTextLayout(text);
    return static_cast<std::uint8_t>(text->font->LineHeight());
}

void CLumiscriber::SetDefaultFont(const WCHAR* path, std::int32_t size) {
    if (defaultFont_ == nullptr) defaultFont_ = new font_desc_t();
    defaultFont_->Assign(path, static_cast<std::uint8_t>(std::clamp(size, 0, 255)), 0);
}
