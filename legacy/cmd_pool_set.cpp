#include "legacy/cmd_pool_set.h"

#include <new>
#include <type_traits>

#include "draw/d3d_texture.h"
#include "legacy/font_desc.h"

namespace {

template <class Record>
CMemoryPool<Record, kCommandPoolGrowth>& RecordPool(cmd_pool_set_t& pools) {
    if constexpr (std::is_same_v<Record, STRU_RECT_COMMAND>) {
        return pools.rect;
    } else if constexpr (std::is_same_v<Record, STRU_POINT_COMMAND>) {
        return pools.point;
    } else if constexpr (std::is_same_v<Record, STRU_TRI_COMMAND>) {
        return pools.tri;
    } else if constexpr (std::is_same_v<Record, STRU_LINE_COMMAND>) {
        return pools.line;
    } else if constexpr (std::is_same_v<Record, STRU_TEXT_COMMAND>) {
        return pools.text;
    } else {
        static_assert(std::is_same_v<Record, STRU_PARTICLE_COMMAND>, "a command record");
        return pools.particle;
    }
}

template <class Record>
Record* NewRecord(cmd_pool_set_t& pools, std::int32_t type, std::int32_t flags) {
    static_assert(std::is_trivially_destructible_v<Record>, "records go back to their pool without a destructor");
    // Value-initialised: the pools hand out the bytes an earlier record left.
    Record* record = ::new (RecordPool<Record>(pools).Alloc()) Record();
    record->type = type;
    record->flags = flags;
    return record;
}

// The record back in its pool, or null when the pool refused it (untouched then). Its bytes
// stay as they were until the pool hands the element out again, so what it owns can be
// released afterwards.
template <class Record>
Record* TakeBack(cmd_pool_set_t& pools, STRU_DRAW_COMMAND_BASE* cmd) {
    auto* record = static_cast<Record*>(cmd);
    if (!RecordPool<Record>(pools).Free(record)) return nullptr;
    record->node.Unlink();
    return record;
}

// Calls `visit` for the record structure of `type` (visit.template operator()<Record>(); types 3
// and 5 share the rectangle's); `otherwise` for 4 and any unknown type.
template <class Visit, class Result>
Result ForRecordOf(std::int32_t type, Visit&& visit, Result otherwise) {
    switch (type) {
        case kDrawCmdPoint: return visit.template operator()<STRU_POINT_COMMAND>();
        case kDrawCmdLine: return visit.template operator()<STRU_LINE_COMMAND>();
        case kDrawCmdTriangle: return visit.template operator()<STRU_TRI_COMMAND>();
        case kDrawCmdRect:
        case kDrawCmdTexturedRect: return visit.template operator()<STRU_RECT_COMMAND>();
        case kDrawCmdText: return visit.template operator()<STRU_TEXT_COMMAND>();
        case kDrawCmdParticle: return visit.template operator()<STRU_PARTICLE_COMMAND>();
        default: return otherwise;
    }
}

// What a record given back owns goes with it: a line's segments, a text's layout and font
// description; the other records own nothing.
template <class Record>
void ReleaseOwned(Record*) {}

void ReleaseOwned(STRU_LINE_COMMAND* line) {
    delete[] line->segments;
    line->segments = nullptr;
    line->segmentCount = 0;
    line->segmentCapacity = 0;
}

void ReleaseOwned(STRU_TEXT_COMMAND* text) {
    ClearTextLayout(text);
    delete text->font;
    text->font = nullptr;
}

}  // namespace

STRU_DRAW_COMMAND_BASE* AllocDrawCommand(cmd_pool_set_t& pools, std::int32_t type) {
    const std::int32_t flags = type == kDrawCmdParticle ? kDrawFlagAlpha : kDrawFlagOpaque;
    return ForRecordOf(
        type, [&]<class Record>() -> STRU_DRAW_COMMAND_BASE* { return NewRecord<Record>(pools, type, flags); },
        static_cast<STRU_DRAW_COMMAND_BASE*>(nullptr));
}

bool FreeDrawCommand(cmd_pool_set_t& pools, STRU_DRAW_COMMAND_BASE* cmd) {
    if (cmd == nullptr || IsScratchCommand(cmd)) return false;
    return ForRecordOf(
        cmd->type,
        [&]<class Record>() {
            Record* record = TakeBack<Record>(pools, cmd);
            if (record == nullptr) return false;
            ReleaseOwned(record);
            return true;
        },
        false);
}

bool ReleaseDrawCommand(cmd_pool_set_t& pools, STRU_DRAW_COMMAND_BASE* cmd) {
    if (cmd == nullptr || IsScratchCommand(cmd)) return false;
    CD3DTexture* texture = cmd->texture;
    // Released only once the pool took the record: a refused one keeps its reference.
    if (!FreeDrawCommand(pools, cmd)) return false;
    if (texture != nullptr) texture->Release();
    return true;
}
