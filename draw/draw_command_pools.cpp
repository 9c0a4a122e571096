// Draw-command records of the current build: allocation from the named pools, release and
// copies. The legacy build's records come from its renderer's typed pools and go back there
// (legacy/cmd_pool_set.cpp replaces this file).
#include <algorithm>

#include "core/exception.h"
#include "core/frame_clock.h"
#include "draw/d3d_texture.h"
#include "draw/draw_commands.h"

namespace {

template <class Record>
Record* AllocRecord(std::int32_t type, std::int32_t flags) {
    // Value-initialised although the pool hands out dirty blocks: a record is never seen half
    // filled, whatever the first submission writes.
    Record* record = new Record();
    record->type = type;
    record->flags = flags;
    record->displayStamp = g_DisplayStamp;
    return record;
}

void CopyHead(const STRU_DRAW_COMMAND_BASE& from, STRU_DRAW_COMMAND_BASE& to) {
    to.type = from.type;
    to.flags = from.flags;
    to.color = from.color;
}

// The fields after the head, copied as they are; the copy keeps its own head.
template <class Record>
void CopyBody(const STRU_DRAW_COMMAND_BASE& from, STRU_DRAW_COMMAND_BASE& to) {
    const STRU_DRAW_COMMAND_BASE head = to;
    static_cast<Record&>(to) = static_cast<const Record&>(from);
    to = head;
}

void CopyGeometry(const STRU_DRAW_COMMAND_BASE& from, STRU_DRAW_COMMAND_BASE& to) {
    switch (from.type) {
        case kDrawCmdPoint: CopyBody<STRU_POINT_COMMAND>(from, to); break;
        case kDrawCmdLine: {
            // The copy gets a segment array of its own.
            const auto& source = static_cast<const STRU_LINE_COMMAND&>(from);
            auto& copy = static_cast<STRU_LINE_COMMAND&>(to);
            if (source.segments == nullptr || source.segmentCapacity == 0) break;
            copy.segments = new STRU_LINE_SEGMENT[source.segmentCapacity];
            copy.segmentCapacity = source.segmentCapacity;
            copy.segmentCount = std::min(source.segmentCount, source.segmentCapacity);
            std::copy_n(source.segments, copy.segmentCount, copy.segments);
            break;
        }
        case kDrawCmdTriangle: CopyBody<STRU_TRI_COMMAND>(from, to); break;
        case kDrawCmdRect:
        case kDrawCmdTexturedRect: CopyBody<STRU_RECT_COMMAND>(from, to); break;
        default: break;
    }
}

// A record returned to its type's pool, taken out of its list first.
template <class Record>
void DeleteRecord(STRU_DRAW_COMMAND_BASE* cmd) {
    cmd->node.Unlink();
    delete static_cast<Record*>(cmd);
}

}  // namespace

STRU_POINT_COMMAND* AllocPointCommand() { return AllocRecord<STRU_POINT_COMMAND>(kDrawCmdPoint, kDrawFlagOpaque); }
STRU_LINE_COMMAND* AllocLineCommand() { return AllocRecord<STRU_LINE_COMMAND>(kDrawCmdLine, kDrawFlagOpaque); }
STRU_TRI_COMMAND* AllocTriCommand() { return AllocRecord<STRU_TRI_COMMAND>(kDrawCmdTriangle, kDrawFlagOpaque); }
STRU_RECT_COMMAND* AllocRectCommand() { return AllocRecord<STRU_RECT_COMMAND>(kDrawCmdRect, kDrawFlagOpaque); }
STRU_TEXT_COMMAND* AllocTextCommand() { return AllocRecord<STRU_TEXT_COMMAND>(kDrawCmdText, kDrawFlagOpaque); }
STRU_PARTICLE_COMMAND* AllocParticleCommand() {
    return AllocRecord<STRU_PARTICLE_COMMAND>(kDrawCmdParticle, kDrawFlagAlpha);
}

STRU_DRAW_COMMAND_BASE* AllocDrawCommand(std::int32_t type) {
    switch (type) {
        case kDrawCmdPoint:
            return AllocPointCommand();
        case kDrawCmdLine:
            return AllocLineCommand();
        case kDrawCmdTriangle:
            return AllocTriCommand();
        case kDrawCmdRect:
            return AllocRectCommand();
        case kDrawCmdTexturedRect: {
            STRU_RECT_COMMAND* record = AllocRectCommand();
            record->type = kDrawCmdTexturedRect;
            return record;
        }
        case kDrawCmdText:
            return AllocTextCommand();
        case kDrawCmdParticle:
            return AllocParticleCommand();
        default:
            return nullptr;
    }
}

void FreeDrawCommand(STRU_DRAW_COMMAND_BASE* cmd) {
    if (!IsDrawRecord(cmd)) return;
    switch (cmd->type) {
        case kDrawCmdPoint: DeleteRecord<STRU_POINT_COMMAND>(cmd); break;
        case kDrawCmdLine: {
            auto* line = static_cast<STRU_LINE_COMMAND*>(cmd);
            delete[] line->segments;
            line->segments = nullptr;
            line->segmentCount = 0;
            line->segmentCapacity = 0;
            DeleteRecord<STRU_LINE_COMMAND>(cmd);
            break;
        }
        case kDrawCmdTriangle: DeleteRecord<STRU_TRI_COMMAND>(cmd); break;
        case kDrawCmdRect:
        case kDrawCmdTexturedRect: DeleteRecord<STRU_RECT_COMMAND>(cmd); break;
        case kDrawCmdText: {
            auto* text = static_cast<STRU_TEXT_COMMAND*>(cmd);
            delete text->font;
            text->font = nullptr;
            ClearTextLayout(text);
            DeleteRecord<STRU_TEXT_COMMAND>(cmd);
            break;
        }
        case kDrawCmdParticle: DeleteRecord<STRU_PARTICLE_COMMAND>(cmd); break;
        default: break;
    }
}

void ReleaseDrawCommand(STRU_DRAW_COMMAND_BASE* cmd, const EmitterGiveBack& giveBack) {
    if (!IsDrawRecord(cmd)) return;
    CParticleEmitter* emitter = nullptr;
    if (auto* particle = DrawCommandAs<STRU_PARTICLE_COMMAND>(cmd)) {
        if (particle->emitter != nullptr && !giveBack) throw lumi::Exception("invalid param.");
        emitter = particle->emitter;
        particle->emitter = nullptr;
    }
    // Only types 5 and 7 ever hold a texture; any other record's field is null.
    if (cmd->texture != nullptr) {
        cmd->texture->Release();
        cmd->texture = nullptr;
    }
    FreeDrawCommand(cmd);
    if (emitter != nullptr) giveBack(emitter);
}

STRU_DRAW_COMMAND_BASE* CloneDrawCommand(const STRU_DRAW_COMMAND_BASE* cmd) {
    if (!IsDrawRecord(cmd)) return nullptr;
    // Text layouts and emitters are not shareable and are not copied.
    if (cmd->type == kDrawCmdText || cmd->type == kDrawCmdParticle) throw lumi::Exception("unsupported");
    STRU_DRAW_COMMAND_BASE* copy = AllocDrawCommand(cmd->type);
    if (copy == nullptr) return nullptr;
    try {
        CopyHead(*cmd, *copy);
        CopyGeometry(*cmd, *copy);
        if (cmd->texture != nullptr) {
            cmd->texture->AddRef();
            copy->texture = cmd->texture;
        }
    } catch (...) {
        FreeDrawCommand(copy);
        throw;
    }
    return copy;
}
