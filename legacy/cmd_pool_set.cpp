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

}  // namespace

STRU_DRAW_COMMAND_BASE* AllocDrawCommand(cmd_pool_set_t& pools, std::int32_t type) {
    switch (type) {
        case kDrawCmdPoint:
            return NewRecord<STRU_POINT_COMMAND>(pools, type, kDrawFlagOpaque);
        case kDrawCmdLine:
            return NewRecord<STRU_LINE_COMMAND>(pools, type, kDrawFlagOpaque);
        case kDrawCmdTriangle:
            return NewRecord<STRU_TRI_COMMAND>(pools, type, kDrawFlagOpaque);
        case kDrawCmdRect:
        case kDrawCmdTexturedRect:
            return NewRecord<STRU_RECT_COMMAND>(pools, type, kDrawFlagOpaque);
        case kDrawCmdText:
            return NewRecord<STRU_TEXT_COMMAND>(pools, type, kDrawFlagOpaque);
        case kDrawCmdParticle:
            return NewRecord<STRU_PARTICLE_COMMAND>(pools, type, kDrawFlagAlpha);
        default:
            return nullptr;
    }
}

bool FreeDrawCommand(cmd_pool_set_t& pools, STRU_DRAW_COMMAND_BASE* cmd) {
    if (cmd == nullptr || IsScratchCommand(cmd)) return false;
    switch (cmd->type) {
        case kDrawCmdPoint:
            return TakeBack<STRU_POINT_COMMAND>(pools, cmd) != nullptr;
        case kDrawCmdLine: {
            STRU_LINE_COMMAND* line = TakeBack<STRU_LINE_COMMAND>(pools, cmd);
            if (line == nullptr) return false;
            delete[] line->segments;
            line->segments = nullptr;
            line->segmentCount = 0;
            line->segmentCapacity = 0;
            return true;
        }
        case kDrawCmdTriangle:
            return TakeBack<STRU_TRI_COMMAND>(pools, cmd) != nullptr;
        case kDrawCmdRect:
        case kDrawCmdTexturedRect:
            return TakeBack<STRU_RECT_COMMAND>(pools, cmd) != nullptr;
        case kDrawCmdText: {
            STRU_TEXT_COMMAND* text = TakeBack<STRU_TEXT_COMMAND>(pools, cmd);
            if (text == nullptr) return false;
            ClearTextLayout(text);
            delete text->font;
            text->font = nullptr;
            return true;
        }
        case kDrawCmdParticle:
            return TakeBack<STRU_PARTICLE_COMMAND>(pools, cmd) != nullptr;
        default:
            return false;
    }
}

bool ReleaseDrawCommand(cmd_pool_set_t& pools, STRU_DRAW_COMMAND_BASE* cmd) {
    if (cmd == nullptr || IsScratchCommand(cmd)) return false;
    CD3DTexture* texture = cmd->texture;
    // Released only once the pool took the record: a refused one keeps its reference.
    if (!FreeDrawCommand(pools, cmd)) return false;
    if (texture != nullptr) texture->Release();
    return true;
}
