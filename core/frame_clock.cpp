#include "core/frame_clock.h"

std::uint32_t g_FrameTimeMs = 0;
float g_FrameTime = 0.0f;
float g_FrameDelta = 0.0f;
bool g_FrameTicked = false;
std::int32_t g_DisplayStamp = 0;
WCHAR g_PathBuffer[kPathBufferUnits] = {};

bool AdvanceFrameClock(std::uint32_t nowMs) {
    if (g_FrameTicked) return false;
    if (g_FrameTimeMs == 0) {
        g_FrameDelta = 0.0f;
    } else {
        g_FrameDelta = static_cast<float>(static_cast<std::uint32_t>(nowMs - g_FrameTimeMs)) / 1000.0f;
    }
    g_FrameTimeMs = nowMs;
    g_FrameTime = static_cast<float>(static_cast<double>(nowMs) / 1000.0);
    g_FrameTicked = true;
    return true;
}

void StampDisplayChange(std::uint32_t nowMs) {
    // Stamps only move on, so no command holds the new one from an earlier change (several
    // changes within one millisecond would otherwise take turns between two stamps).
    const auto last = static_cast<std::uint32_t>(g_DisplayStamp);
    const bool later = static_cast<std::int32_t>(nowMs - last) > 0;
    g_DisplayStamp = static_cast<std::int32_t>(later ? nowMs : last + 1);
}

void EndFrameClock() { g_FrameTicked = false; }

void ResetFrameClock() {
    g_FrameTimeMs = 0;
    g_FrameTime = 0.0f;
    g_FrameDelta = 0.0f;
    g_FrameTicked = false;
}
