// Draw-command records: allocation from the named pools and release (current build; the
// legacy build's are in legacy/cmd_pool_set.cpp), copies, the line segments of a submission
// and the undoing of a text layout.
#include "draw/draw_commands.h"

#include <algorithm>
#include <new>

#include "core/exception.h"
#include "core/frame_clock.h"
#include "draw/d3d_texture.h"

namespace {

#if !LUMI_LEGACY
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
#endif

bool IsRecord(const STRU_DRAW_COMMAND_BASE* cmd) { return cmd != nullptr && !IsScratchCommand(cmd); }

#if !LUMI_LEGACY
void CopyHead(const STRU_DRAW_COMMAND_BASE& from, STRU_DRAW_COMMAND_BASE& to) {
    to.type = from.type;
    to.flags = from.flags;
    to.color = from.color;
}

void CopyGeometry(const STRU_DRAW_COMMAND_BASE& from, STRU_DRAW_COMMAND_BASE& to) {
    switch (from.type) {
        case kDrawCmdPoint: {
            const auto& source = static_cast<const STRU_POINT_COMMAND&>(from);
            auto& copy = static_cast<STRU_POINT_COMMAND&>(to);
            copy.x = source.x;
            copy.y = source.y;
            break;
        }
        case kDrawCmdLine: {
            const auto& source = static_cast<const STRU_LINE_COMMAND&>(from);
            auto& copy = static_cast<STRU_LINE_COMMAND&>(to);
            if (source.segments == nullptr || source.segmentCapacity == 0) break;
            copy.segments = new STRU_LINE_SEGMENT[source.segmentCapacity];
            copy.segmentCapacity = source.segmentCapacity;
            copy.segmentCount = std::min(source.segmentCount, source.segmentCapacity);
            std::copy_n(source.segments, copy.segmentCount, copy.segments);
            break;
        }
        case kDrawCmdTriangle: {
            const auto& source = static_cast<const STRU_TRI_COMMAND&>(from);
            auto& copy = static_cast<STRU_TRI_COMMAND&>(to);
            copy.x1 = source.x1;
            copy.y1 = source.y1;
            copy.x2 = source.x2;
            copy.y2 = source.y2;
            copy.x3 = source.x3;
            copy.y3 = source.y3;
            copy.filled = source.filled;
            break;
        }
        case kDrawCmdRect:
        case kDrawCmdTexturedRect: {
            const auto& source = static_cast<const STRU_RECT_COMMAND&>(from);
            auto& copy = static_cast<STRU_RECT_COMMAND&>(to);
            copy.source = source.source;
            copy.destination = source.destination;
            copy.filled = source.filled;
            break;
        }
        default:
            break;
    }
}
#endif

}  // namespace

#if !LUMI_LEGACY
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
#endif  // !LUMI_LEGACY: the legacy build's allocation and release are in legacy/cmd_pool_set.cpp

void ClearTextLayout(STRU_TEXT_COMMAND* cmd) {
    if (!IsRecord(cmd)) return;
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

#if !LUMI_LEGACY
void FreeDrawCommand(STRU_DRAW_COMMAND_BASE* cmd) {
    if (!IsRecord(cmd)) return;
    switch (cmd->type) {
        case kDrawCmdPoint:
            cmd->node.Unlink();
            delete static_cast<STRU_POINT_COMMAND*>(cmd);
            break;
        case kDrawCmdLine: {
            auto* line = static_cast<STRU_LINE_COMMAND*>(cmd);
            line->node.Unlink();
            delete[] line->segments;
            line->segments = nullptr;
            line->segmentCount = 0;
            line->segmentCapacity = 0;
            delete line;
            break;
        }
        case kDrawCmdTriangle:
            cmd->node.Unlink();
            delete static_cast<STRU_TRI_COMMAND*>(cmd);
            break;
        case kDrawCmdRect:
        case kDrawCmdTexturedRect:
            cmd->node.Unlink();
            delete static_cast<STRU_RECT_COMMAND*>(cmd);
            break;
        case kDrawCmdText: {
            auto* text = static_cast<STRU_TEXT_COMMAND*>(cmd);
            text->node.Unlink();
            delete text->font;
            text->font = nullptr;
            ClearTextLayout(text);
            delete text;
            break;
        }
        case kDrawCmdParticle:
            cmd->node.Unlink();
            delete static_cast<STRU_PARTICLE_COMMAND*>(cmd);
            break;
        default:
            break;
    }
}
#endif

#if !LUMI_LEGACY
void ReleaseDrawCommand(STRU_DRAW_COMMAND_BASE* cmd, const EmitterGiveBack& giveBack) {
    if (!IsRecord(cmd)) return;
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
    if (!IsRecord(cmd)) return nullptr;
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
#endif

bool SetLineSegments(STRU_LINE_COMMAND* cmd, const STRU_LINE_SEGMENT* segments, std::int32_t count) {
    if (!IsRecord(cmd) || count < 0 || (segments == nullptr && count > 0)) return false;
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
