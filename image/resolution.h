#pragma once
// Internal to the image library: the two units of an image's resolution. An image keeps dots
// per inch; its info header, and the resolution fields of BMP and PNG files, hold pixels per
// metre.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/win32/win32_types.h"

namespace lumi::image {

// To the nearest pixel per metre. Saturates: a resolution past about 54 million dpi would not
// fit the header's field.
inline LONG PixelsPerMetre(LONG dpi) {
    const double ppm = std::floor(dpi * 10000.0 / 254.0 + 0.5);
    return static_cast<LONG>(std::clamp(ppm, double(INT32_MIN), double(INT32_MAX)));
}

// To the nearest dot per inch; wide enough for BMP's signed and PNG's unsigned 32-bit fields.
inline LONG DpiOfPixelsPerMetre(std::int64_t ppm) { return static_cast<LONG>(std::floor(ppm * 254.0 / 10000.0 + 0.5)); }

}  // namespace lumi::image
