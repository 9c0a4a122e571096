#pragma once
// cmd_pool_set_t: where the legacy renderer's draw-command records come from: one typed
// object pool per record structure, 128 records per block. The renderer builds its set with
// itself and tears it down (in reverse member order) with itself; records still handed out
// then are gone with it.
//
// AllocDrawCommand and FreeDrawCommand are the legacy counterparts of draw_commands.h's: the
// records are filled and emptied the same way (a line record's segments, a text record's
// layout and font description go with it), from and to these pools. Host thread only.
#include <cstdint>

#include "core/build_variant.h"
#include "draw/draw_commands.h"
#include "legacy/object_pool.h"

#if !LUMI_LEGACY
#error "the command pool set belongs to the legacy build"
#endif

inline constexpr std::uint32_t kCommandPoolGrowth = 128;  // records per block

struct cmd_pool_set_t {
    CMemoryPool<STRU_RECT_COMMAND, kCommandPoolGrowth> rect;  // types 3 and 5
    CMemoryPool<STRU_POINT_COMMAND, kCommandPoolGrowth> point;
    CMemoryPool<STRU_TRI_COMMAND, kCommandPoolGrowth> tri;
    CMemoryPool<STRU_LINE_COMMAND, kCommandPoolGrowth> line;
    CMemoryPool<STRU_TEXT_COMMAND, kCommandPoolGrowth> text;
    CMemoryPool<STRU_PARTICLE_COMMAND, kCommandPoolGrowth> particle;
};

// A record of `type` from its pool, ready to fill: list node clear, texture null, flags 1
// (particle: 2), everything else zero, lists empty, no font description. Types 0, 1, 2, 3,
// 5 (a rectangle record of type 5), 6 and 7; null for 4 and any other value. Throws
// lumi::Exception "out of memory" when a pool cannot grow.
STRU_DRAW_COMMAND_BASE* AllocDrawCommand(cmd_pool_set_t& pools, std::int32_t type);

// Gives a record back to the pool of its type with what it owns: a line record's segment
// array, a text record's word nodes, word draws, page draw lists and font description. Takes
// it out of a list it is still in. Does not touch the texture reference or the emitter. False,
// with nothing touched, for null, the scratch-command value, type 4 or an unknown type, and a
// record that is not handed out by this set (another set's, or one already given back).
bool FreeDrawCommand(cmd_pool_set_t& pools, STRU_DRAW_COMMAND_BASE* cmd);

// The end of a record a host or the renderer held: its texture reference is released (types 5
// and 7), then FreeDrawCommand. False as FreeDrawCommand, with the texture left alone.
bool ReleaseDrawCommand(cmd_pool_set_t& pools, STRU_DRAW_COMMAND_BASE* cmd);
