#include "core/frame_pool.h"

#include "core/com_release.h"
#include "core/exception.h"
#include "draw/d3d_texture.h"
#include "draw/draw_commands.h"

CFramePool::CFramePool(std::int32_t type) : type_(type), commands_(kInitialSlots, nullptr) {
    const bool pooled = type == kDrawCmdPoint || type == kDrawCmdLine || type == kDrawCmdTriangle ||
                        type == kDrawCmdRect || type == kDrawCmdTexturedRect;
    if (!pooled) throw lumi::Exception("invalid param.");
}

CFramePool::~CFramePool() {
    // The scratch types hold no emitter, so no give-back is needed and the release cannot throw.
    for (STRU_DRAW_COMMAND_BASE* command : commands_) {
        if (command != nullptr) ReleaseDrawCommand(command, EmitterGiveBack());
    }
}

STRU_DRAW_COMMAND_BASE* CFramePool::Take() {
    while (used_ >= commands_.size()) commands_.resize(commands_.empty() ? kFirstGrowth : commands_.size() * 2, nullptr);
    STRU_DRAW_COMMAND_BASE*& slot = commands_[used_];
    if (slot == nullptr) slot = AllocDrawCommand(type_);
    slot->flags = kDrawFlagOpaque;
    ++used_;
    return slot;
}

void CFramePool::Reset() {
    if (type_ == kDrawCmdTexturedRect) {
        for (std::uint32_t i = 0; i < used_; ++i) ReleaseAndClear(commands_[i]->texture);
    }
    used_ = 0;
}
