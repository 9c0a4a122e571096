// Text layout over the current build's font pairs: glyphs that load over frames, and a layout
// that waits for them.
#include "draw/d3d_font.h"
#include "draw/text_layout.h"
#include "draw/word_tex.h"

namespace {

constexpr std::size_t kTextUnits = kTextCommandUnits - 1;

// Appends a word for every code unit; returns whether all their glyphs are loaded.
bool MakeWords(STRU_TEXT_COMMAND* cmd) {
    bool allLoaded = true;
    for (std::size_t i = 0; i < kTextUnits && cmd->text[i] != u'\0'; ++i) {
        CWordTex* glyph = cmd->font->GetWord(cmd->text[i]);
        if (glyph != nullptr && !glyph->Load()) allLoaded = false;
        AppendWord(cmd, glyph);
    }
    return allLoaded;
}

}  // namespace

void InvalidateTextLayout(STRU_TEXT_COMMAND* cmd) { ClearTextLayout(cmd); }

bool BuildTextLayout(STRU_TEXT_COMMAND* cmd) {
    if (cmd == nullptr || cmd->text[0] == u'\0') return false;
    if (cmd->layoutReady) return true;
    // Nothing can be placed before the line metrics are known.
    if (cmd->font == nullptr || cmd->font->mainFont == nullptr || !cmd->font->HasMetrics()) return false;
    if (!cmd->glyphsReady) {
        bool allLoaded = true;
        if (cmd->words.Empty()) {
            allLoaded = MakeWords(cmd);
        } else {
            ForEachWordDraw(cmd, [&](STRU_WORD_DRAW* draw) {
                if (draw->word != nullptr && !draw->word->Load()) allLoaded = false;
            });
        }
        cmd->glyphsReady = allLoaded ? 1 : 0;
        if (!allLoaded) return false;
    }
    ForEachWordDraw(cmd, [cmd](STRU_WORD_DRAW* draw) { AddWordToDrawList(cmd, draw); });
    cmd->layoutReady = 1;
    return true;
}

bool SetText(STRU_TEXT_COMMAND* cmd, const WCHAR* text) {
    if (cmd == nullptr || !StoreText(cmd, text)) return false;
    return BuildTextLayout(cmd);
}
