#pragma once
// Internal to the image library: one channel of a bit-field pixel, the lowest contiguous run
// of set bits of its mask (BMP files give colour and alpha channels this way).
#include "platform/win32/win32_types.h"

namespace lumi::image {

struct MaskChannel {
    int shift = 0;
    int width = 0;  // 0: the mask is empty

    explicit MaskChannel(DWORD mask) {
        if (mask == 0) return;
        shift = __builtin_ctz(mask);
        const DWORD run = mask >> shift;
        width = run == 0xFFFFFFFFu ? 32 : __builtin_ctz(~run);
    }

    DWORD Raw(DWORD pixel) const {
        return (pixel >> shift) & (width >= 32 ? 0xFFFFFFFFu : ((1u << width) - 1));
    }

    // The channel's bits at the top of a byte (a 5-bit 31 gives 248).
    BYTE Extract(DWORD pixel) const {
        if (width == 0) return 0;
        const DWORD value = Raw(pixel);
        return static_cast<BYTE>(width >= 8 ? value >> (width - 8) : value << (8 - width));
    }

    // The channel stretched to 0..255, so that its largest value is 255 (for alpha: a 1-bit
    // "opaque" must be opaque).
    BYTE ExtractScaled(DWORD pixel) const {
        if (width == 0) return 0;
        if (width >= 8) return Extract(pixel);
        const DWORD top = (1u << width) - 1;
        return static_cast<BYTE>((Raw(pixel) * 255 + top / 2) / top);
    }
};

}  // namespace lumi::image
