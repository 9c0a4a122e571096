#include "legacy/frame_commands.h"

#include "core/com_release.h"
#include "draw/d3d_texture.h"

namespace {

bool IsRingType(std::int32_t type) { return type >= kDrawCmdPoint && type <= kDrawCmdRect; }

}  // namespace

frame_commands_t::frame_commands_t(cmd_pool_set_t& pools) : pools_(pools) {
    try {
        for (std::int32_t type = kDrawCmdPoint; type <= kDrawCmdRect; ++type) {
            for (std::size_t i = 0; i < kRingCommands; ++i) rings_[type].push_back(Take(type));
        }
        textured_.reserve(kReservedTextured);
    } catch (...) {
        for (auto& ring : rings_) {
            for (STRU_DRAW_COMMAND_BASE* cmd : ring) FreeDrawCommand(pools_, cmd);
        }
        throw;
    }
}

frame_commands_t::~frame_commands_t() {
    for (auto& ring : rings_) {
        for (STRU_DRAW_COMMAND_BASE* cmd : ring) FreeDrawCommand(pools_, cmd);
    }
    for (STRU_RECT_COMMAND* cmd : textured_) {
        if (cmd != nullptr) ReleaseDrawCommand(pools_, cmd);
    }
}

STRU_DRAW_COMMAND_BASE* frame_commands_t::TakeRingCommand(std::int32_t type) {
    if (!IsRingType(type)) return nullptr;
    std::deque<STRU_DRAW_COMMAND_BASE*>& ring = rings_[type];
    STRU_DRAW_COMMAND_BASE* cmd = nullptr;
    if (ringUsed_[type] < ring.size()) {
        cmd = ring.front();
        ring.pop_front();
    } else {
        cmd = Take(type);
    }
    ring.push_back(cmd);
    ++ringUsed_[type];
    cmd->flags = kDrawFlagOpaque;
    return cmd;
}

STRU_RECT_COMMAND* frame_commands_t::TakeTextured() {
    if (texturedUsed_ == textured_.size()) textured_.push_back(nullptr);
    STRU_RECT_COMMAND*& entry = textured_[texturedUsed_];
    if (entry == nullptr) entry = static_cast<STRU_RECT_COMMAND*>(Take(kDrawCmdTexturedRect));
    ++texturedUsed_;
    entry->flags = kDrawFlagOpaque;
    return entry;
}

void frame_commands_t::Reset() {
    for (std::size_t i = 0; i < texturedUsed_; ++i) ReleaseAndClear(textured_[i]->texture);
    texturedUsed_ = 0;
    for (std::size_t& used : ringUsed_) used = 0;
}

STRU_DRAW_COMMAND_BASE* frame_commands_t::Take(std::int32_t type) {
    STRU_DRAW_COMMAND_BASE* cmd = AllocDrawCommand(pools_, type);
    try {
        owned_.insert(cmd);
    } catch (...) {
        FreeDrawCommand(pools_, cmd);
        throw;
    }
    return cmd;
}

std::size_t frame_commands_t::RingSize(std::int32_t type) const {
    return IsRingType(type) ? rings_[type].size() : 0;
}
