#include "legacy/clip_scale.h"

#include "core/exception.h"

std::uint16_t g_ClipWidth = 0;
std::uint16_t g_ClipHeight = 0;
float g_ClipScaleX = 0.0f;
float g_ClipScaleY = 0.0f;

void SetClipScale(std::int32_t width, std::int32_t height) {
    const auto width16 = static_cast<std::uint16_t>(width);
    const auto height16 = static_cast<std::uint16_t>(height);
    if (width16 == 0 || height16 == 0) throw lumi::Exception("div by zero.");
    g_ClipWidth = width16;
    g_ClipHeight = height16;
    g_ClipScaleX = 2.0f / static_cast<float>(width16);
    g_ClipScaleY = 2.0f / static_cast<float>(height16);
}
