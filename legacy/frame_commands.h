#pragma once
// frame_commands_t: the legacy renderer's own commands for the draws a host makes without a
// command of its own. The immediate shapes given ScratchCommand() take theirs from four rings
// (points, lines, triangles, rectangles) filled at construction: the front command moves to
// the back and is used, so the rings' commands are used in turn. DrawTexture takes a
// textured-rectangle command from one vector: the entry at the frame's count, made when
// empty, appended when the vector is used up.
//
// A ring never hands out one command twice in a frame: once all of its commands were used
// since the last Reset, it takes a fresh one from the pools and keeps it. (The processors
// copy a command at submission, so this is not needed for drawing; a host that keeps the
// pointer DrawPoint returns holds its command until the next frame.)
//
// Ownership: the commands are the set's, with their texture references and segment arrays,
// and go back to the pools with it. Host thread only.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <unordered_set>
#include <vector>

#include "core/build_variant.h"
#include "legacy/cmd_pool_set.h"

#if !LUMI_LEGACY
#error "the frame commands belong to the legacy build"
#endif

class frame_commands_t {
public:
    static constexpr std::size_t kRingCommands = 1024;
    static constexpr std::size_t kReservedTextured = 1024;

    // Fills each ring with kRingCommands commands from `pools` (which must outlive the set)
    // and reserves the vector. Throws the pools' exceptions, giving back what it took.
    explicit frame_commands_t(cmd_pool_set_t& pools);
    // Every command back to the pools; textured rectangles drop their textures first.
    ~frame_commands_t();
    frame_commands_t(const frame_commands_t&) = delete;
    frame_commands_t& operator=(const frame_commands_t&) = delete;

    // The next command of a ring: type 0 point, 1 line, 2 triangle, 3 rectangle; null for any
    // other type. Its flags are opaque again: an earlier use must not leave them blended.
    STRU_DRAW_COMMAND_BASE* TakeRingCommand(std::int32_t type);
    // The frame's next textured-rectangle command, with the texture of its last use (the
    // caller swaps it).
    STRU_RECT_COMMAND* TakeTextured();
    // A new frame: the textured commands used since the last reset drop their textures, and
    // every command may be taken again.
    void Reset();

    // Whether the command is one of the set's.
    bool Holds(const STRU_DRAW_COMMAND_BASE* cmd) const { return owned_.count(cmd) != 0; }

    std::size_t RingSize(std::int32_t type) const;
    std::size_t TexturedUsed() const { return texturedUsed_; }
    std::size_t TexturedSize() const { return textured_.size(); }
    std::size_t TexturedCapacity() const { return textured_.capacity(); }

private:
    static constexpr int kRings = 4;

    // A new command of the type from the pools, known as the set's.
    STRU_DRAW_COMMAND_BASE* Take(std::int32_t type);

    cmd_pool_set_t& pools_;
    std::deque<STRU_DRAW_COMMAND_BASE*> rings_[kRings];
    std::size_t ringUsed_[kRings] = {};  // since the last reset
    std::vector<STRU_RECT_COMMAND*> textured_;
    std::size_t texturedUsed_ = 0;
    std::unordered_set<const STRU_DRAW_COMMAND_BASE*> owned_;
};
