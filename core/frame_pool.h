#pragma once
// CFramePool: the renderer's commands of one type for draws the host makes without a command
// of its own (the scratch-command value). Each draw of a frame takes the next command; the
// frame's reset makes them all available again. Commands are made on first need and reused
// frame after frame, never freed before the pool goes.
//
// Ownership: the pool owns its commands, with their texture references (type 5) and line
// segment arrays. A command taken this frame may be queued in a draw layer, so the pool must
// not be reset or destroyed before the layers have been emptied.
//
// Failures: Take passes on the command pools' allocation exceptions; nothing is changed then.
// Host thread only.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/build_variant.h"

#if LUMI_LEGACY
#error "the legacy build takes its frame commands from legacy/frame_commands.h"
#endif

struct STRU_DRAW_COMMAND_BASE;

class CFramePool {
public:
    // A pool for command type 0, 1, 2, 3 or 5; lumi::Exception "invalid param." for others.
    explicit CFramePool(std::int32_t type);
    // Every command is released (texture references, segment arrays) back to its pool.
    ~CFramePool();
    CFramePool(const CFramePool&) = delete;
    CFramePool& operator=(const CFramePool&) = delete;

    // The next unused command of this frame, made when the slot is still empty; the slots
    // double when used up (1024 the first time they are empty). The command comes back with
    // its last frame's fields except the flags, which are opaque again: a scratch command
    // must not keep the alpha or grey flags of an earlier use.
    STRU_DRAW_COMMAND_BASE* Take();
    // Frame start: every command may be taken again. Textured rectangles drop their texture
    // references, so that an idle texture is not kept in use by a command of the last frame.
    void Reset();

    std::int32_t GetType() const { return type_; }
    std::uint32_t GetUsedCount() const { return used_; }
    std::size_t GetSlotCount() const { return commands_.size(); }

private:
    static constexpr std::size_t kInitialSlots = 8;
    static constexpr std::size_t kFirstGrowth = 1024;

    std::int32_t type_;
    std::uint32_t used_ = 0;
    std::vector<STRU_DRAW_COMMAND_BASE*> commands_;
};
