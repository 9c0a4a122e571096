// Draw-command records of both builds: the line segments of a submission and the undoing of
// a text layout. Allocation, release and copies are each build's own
// (draw_command_pools.cpp, legacy/cmd_pool_set.cpp).
#include "draw/draw_commands.h"

#include <algorithm>
#include <new>

void ClearTextLayout(STRU_TEXT_COMMAND* cmd) {
    if (!IsDrawRecord(cmd)) return;
    // Each word draw also sits on its page's draw list: take it off before its block is
    // reused, so no list is left pointing into freed memory.
    for (lru_obj_s* node = lru_obj_s::Next(&cmd->words); node != &cmd->words;) {
        lru_obj_s* next = lru_obj_s::Next(node);
        word_node_t* word = word_node_t::FromNode(node->Unlink());
        if (word->draw != nullptr) {
            word->draw->Unlink();
            delete word->draw;
        }
        delete word;
        node = next;
    }
    for (lru_obj_s* node = lru_obj_s::Next(&cmd->drawLists); node != &cmd->drawLists;) {
        lru_obj_s* next = lru_obj_s::Next(node);
        delete txt_drawlist_t::FromNode(node->Unlink());
        node = next;
    }
    cmd->words.Init();
    cmd->drawLists.Init();
    cmd->layoutRect = RECT{};
#if !LUMI_LEGACY
    cmd->glyphsReady = 0;
    cmd->layoutReady = 0;
#endif
    cmd->layoutPlaced = 0;
}

bool SetLineSegments(STRU_LINE_COMMAND* cmd, const STRU_LINE_SEGMENT* segments, std::int32_t count) {
    if (!IsDrawRecord(cmd) || count < 0 || (segments == nullptr && count > 0)) return false;
    const auto needed = static_cast<std::uint32_t>(count);
    // Exactly the count asked for: the segments are copied on every submission anyway, so
    // growing ahead would save no copy.
    if (cmd->segmentCapacity < needed) {
        auto* array = new (std::nothrow) STRU_LINE_SEGMENT[needed];
        if (array == nullptr) return false;
        delete[] cmd->segments;
        cmd->segments = array;
        cmd->segmentCapacity = needed;
    }
    std::copy_n(segments, needed, cmd->segments);
    cmd->segmentCount = needed;
    return true;
}
