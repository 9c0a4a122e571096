// Text layout, the parts both builds share: word draws, page draw lists, placement, extent.
#include "draw/text_layout.h"

#include <algorithm>
#include <limits>
#include <memory>

#include "draw/font_glyph_types.h"
#include "platform/win32/window.h"

namespace {

constexpr std::int32_t kOutlineStyle = 2;
constexpr std::size_t kTextUnits = kTextCommandUnits - 1;

// Host coordinates and spacing are any 32-bit values: the pen runs wider and the results
// are held to what a RECT can take.
LONG Saturate(std::int64_t value) {
    return static_cast<LONG>(std::clamp<std::int64_t>(value, std::numeric_limits<LONG>::min(),
                                                      std::numeric_limits<LONG>::max()));
}

}  // namespace

STRU_WORD_DRAW* AppendWord(STRU_TEXT_COMMAND* cmd, text_glyph_t* glyph) {
    auto draw = std::make_unique<STRU_WORD_DRAW>();
    draw->word = glyph;
    if (glyph != nullptr) draw->rect = glyph->PageRect();
    auto* node = new word_node_t();
    node->draw = draw.release();
    cmd->words.PushBack(node);
    return node->draw;
}

void AddWordToDrawList(STRU_TEXT_COMMAND* cmd, STRU_WORD_DRAW* word) {
    font_page_t* page = word->word != nullptr ? word->word->Page() : nullptr;
    if (page == nullptr) return;
    // Texts seldom span more than one page: the last list is nearly always the one.
    for (lru_obj_s* node = cmd->drawLists.prev; node != &cmd->drawLists; node = node->prev) {
        txt_drawlist_t* list = txt_drawlist_t::FromNode(node);
        if (list->page == page) {
            list->command.words.PushBack(word);
            return;
        }
    }
    auto* list = new txt_drawlist_t();
    list->page = page;
    list->command.type = kDrawCmdText;
    list->command.texture = page;
    cmd->drawLists.PushBack(list);
    list->command.words.PushBack(word);
}

bool StoreText(STRU_TEXT_COMMAND* cmd, const WCHAR* text) {
    WCHAR kept[kTextCommandUnits] = {};
    if (text != nullptr) {
        for (std::size_t i = 0; i < kTextUnits && text[i] != u'\0'; ++i) kept[i] = text[i];
    }
    if (cmd->text[0] != u'\0' && std::equal(std::begin(kept), std::end(kept), std::begin(cmd->text))) return false;
    std::copy(std::begin(kept), std::end(kept), std::begin(cmd->text));
    ClearTextLayout(cmd);
    return true;
}

void PlaceText(STRU_TEXT_COMMAND* cmd, const RECT& rect, bool wrap, std::int32_t spacing, std::int32_t lineHeight) {
    if (cmd->layoutPlaced && EqualRect(&rect, &cmd->layoutRect) && (cmd->layoutWrap != 0) == wrap &&
        cmd->layoutSpacing == spacing) {
        return;
    }
    cmd->layoutRect = rect;
    cmd->layoutWrap = wrap ? 1 : 0;
    cmd->layoutSpacing = spacing;
    cmd->layoutPlaced = 1;

    std::int64_t x = rect.left;
    std::int64_t y = rect.top;
    bool placing = true;
    ForEachWordDraw(cmd, [&](STRU_WORD_DRAW* draw) {
        draw->rect = RECT{};
        if (!placing) return;
        const text_glyph_t* glyph = draw->word;
        const std::int64_t advance = glyph != nullptr ? glyph->Advance() : 0;
        if (rect.right < x + advance) {
            if (!wrap) {
                placing = false;
                return;
            }
            const std::int64_t lineTop = y;
            x = rect.left;
            y += lineHeight;
            if (rect.bottom < lineTop + 2 * static_cast<std::int64_t>(lineHeight)) {
                placing = false;
                return;
            }
        }
        if (glyph != nullptr) {
            // The line's ascender-to-descender box is centred in the line height; the image
            // then hangs from the baseline by its own offset.
            const float ascender = glyph->GetAscender();
            const float descender = glyph->GetDescender();
            const auto baseline = static_cast<std::int64_t>(ascender + 0.5f + static_cast<float>(y));
            const auto top = static_cast<std::int64_t>(
                (static_cast<float>(lineHeight) - (ascender - descender)) * 0.5f + 0.5f + static_cast<float>(baseline));
            const RECT& inPage = glyph->PageRect();
            const std::int64_t left = x + glyph->OffsetX();
            const std::int64_t imageTop = top + glyph->OffsetY();
            draw->rect = RECT{Saturate(left), Saturate(imageTop), Saturate(left + (inPage.right - inPage.left)),
                              Saturate(imageTop + (inPage.bottom - inPage.top))};
        }
        x += advance + spacing;
    });
}

void FillDrawListHeads(STRU_TEXT_COMMAND* cmd, bool outline, D3DCOLOR outlineColor) {
    for (lru_obj_s* node = lru_obj_s::Next(&cmd->drawLists); node != &cmd->drawLists; node = lru_obj_s::Next(node)) {
        txt_drawlist_t* list = txt_drawlist_t::FromNode(node);
        STRU_TEXT_COMMAND_BASE& head = list->command;
        head.type = cmd->type;
        head.flags = cmd->flags;
        head.sequence = cmd->sequence;
        head.color = cmd->color;
        head.texture = list->page;
        head.outlineStyle = outline ? kOutlineStyle : 0;
        head.outlineColor = outlineColor;
    }
}

bool GetTextExtent(STRU_TEXT_COMMAND* cmd, std::int32_t* width, std::int32_t* height, std::int32_t spacing) {
    if (cmd == nullptr) return false;
    std::int64_t sum = 0;
    std::uint32_t tallest = 0;
    ForEachWordDraw(cmd, [&](STRU_WORD_DRAW* draw) {
        const text_glyph_t* glyph = draw->word;
        sum += static_cast<std::int64_t>(spacing) + (glyph != nullptr ? glyph->Advance() : 0);
        if (glyph != nullptr) tallest = std::max(tallest, static_cast<std::uint32_t>(glyph->LineHeight()));
    });
    if (width != nullptr) *width = Saturate(sum);
    if (height != nullptr) *height = static_cast<std::int32_t>(tallest);
    return true;
}
