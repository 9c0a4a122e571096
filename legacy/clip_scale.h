#pragma once
// The legacy build's clip space: one scale for the whole process, that of the render target
// drawn into now. The renderer sets it at construction and whenever it makes another target
// current; every batch processor maps pixels through it (ClipSpaceOf, draw/batch_processor.h):
// x = (px - 0.5) x (2/width) - 1 and y = 1 - (py - 0.5) x (2/height), the half pixel putting
// pixel centres on integer coordinates. Host thread only.
#include <cstdint>

#include "core/build_variant.h"

#if !LUMI_LEGACY
#error "the process-wide clip scale belongs to the legacy build"
#endif

extern std::uint16_t g_ClipWidth;   // of the current target
extern std::uint16_t g_ClipHeight;
extern float g_ClipScaleX;          // 2 / width
extern float g_ClipScaleY;          // 2 / height

// Stores the size (low 16 bits) and its scales. lumi::Exception "div by zero." for a width or
// height of 0, with nothing changed.
void SetClipScale(std::int32_t width, std::int32_t height);

// Clip space of a pixel coordinate, without the half-pixel shift.
inline float PixelToClipX(float x) { return x * g_ClipScaleX - 1.0f; }
inline float PixelToClipY(float y) { return 1.0f - y * g_ClipScaleY; }
