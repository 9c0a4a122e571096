#pragma once
// The process-wide frame clock and the two other values every renderer of the process
// shares. Written only by the renderer's frame loop (TickFrame, OnFrameEnd) and device
// creation; read by everything that animates. Host thread only.
#include <cstdint>

#include "platform/win32/win32_types.h"

extern std::uint32_t g_FrameTimeMs;  // TimeGet_S at the last tick; 0 before the first
extern float g_FrameTime;            // the same instant in seconds
extern float g_FrameDelta;           // seconds between the last two ticks; 0 on the first
extern bool g_FrameTicked;           // set by the tick, cleared at frame end

// TimeGet_S of the last device creation or display-mode change; a draw command records it
// and a text command whose stamp differs lays itself out again.
extern std::int32_t g_DisplayStamp;

// Sets g_DisplayStamp to `nowMs` for a new device; when the clock has not passed the stamp
// already held, the stamp moves on by one instead, since text laid out for an earlier device
// must see the change.
void StampDisplayChange(std::uint32_t nowMs);

// Texture operations copy and normalise a path here before handing it on. Not re-entrant.
inline constexpr int kPathBufferUnits = 260;
extern WCHAR g_PathBuffer[kPathBufferUnits];

// One tick of the clock at `nowMs`. Does nothing and returns false when this frame has
// already ticked. The delta is taken from the millisecond difference, so it keeps its
// resolution however long the process runs and survives the 49.7-day wrap of the clock.
bool AdvanceFrameClock(std::uint32_t nowMs);

// The frame is over: the next AdvanceFrameClock ticks again.
void EndFrameClock();

// Back to the state of a fresh process (all zero); for hosts that restart and for tests.
void ResetFrameClock();
