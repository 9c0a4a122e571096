#include "legacy/text_layout_legacy.h"

#include "draw/text_layout.h"
#include "legacy/font_desc.h"
#include "legacy/font_tex.h"
#include "legacy/font_tex_mgr_legacy.h"
#include "platform/tarnel/tarnel.h"

namespace {

constexpr std::size_t kTextUnits = kTextCommandUnits - 1;

std::int32_t LineHeightOf(CFontTex* font, WCHAR codeUnit) {
    const STRU_WORD_TEX* glyph = font->GetWord(codeUnit);
    return glyph != nullptr ? glyph->LineHeight() : 0;
}

}  // namespace

bool LayOutText(STRU_TEXT_COMMAND* cmd, CFontTexMgr* manager) {
    ClearTextLayout(cmd);
    if (cmd->font == nullptr || manager == nullptr) return false;
    CFontTex* font = manager->GetFontTex(font_tex_key_t::Of(*cmd->font));
    cmd->font->lineHeightA = LineHeightOf(font, kLineHeightCodeUnitLatin);
    cmd->font->lineHeightB = LineHeightOf(font, kLineHeightCodeUnitCjk);
    for (std::size_t i = 0; i < kTextUnits && cmd->text[i] != u'\0'; ++i) {
        STRU_WORD_TEX* glyph = font->GetWord(cmd->text[i]);
        if (glyph == nullptr) DevMsg("can NOT get bitmap from Fontmill, codepoint[%d]", static_cast<int>(cmd->text[i]));
        AddWordToDrawList(cmd, AppendWord(cmd, glyph));
    }
    return cmd->text[0] != u'\0';
}
