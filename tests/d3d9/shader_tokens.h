#pragma once
// Token builders for hand-written ps.1.1 programs, and the library's grey program.
#include <bit>
#include <vector>

#include "platform/win32/win32_types.h"

namespace d3d9sw::testing {

constexpr DWORD kVersion11 = 0xFFFF0101u, kEnd = 0x0000FFFFu;
enum : DWORD { kTemp = 0, kInput = 1, kConst = 2, kTexture = 3 };
constexpr DWORD kAll = 0xF, kRgb = 0x7, kAlpha = 0x8;
constexpr DWORD kIdentity = 0xE4, kReplicateAlpha = 0xFF;

inline DWORD Dest(DWORD type, DWORD index, DWORD mask = kAll, DWORD modifiers = 0) {
    return 0x80000000u | (type << 28) | (mask << 16) | modifiers | index;
}
inline DWORD Src(DWORD type, DWORD index, DWORD swizzle = kIdentity, DWORD modifier = 0) {
    return 0x80000000u | (type << 28) | (modifier << 24) | (swizzle << 16) | index;
}
inline DWORD Bits(float f) { return std::bit_cast<DWORD>(f); }

// The library's grey program: def c1, 0.2125, 0.7154, 0.0721, 1.0; tex t0; dp3 r0.rgb, t0, c1;
// mov r0.a, t0.
inline std::vector<DWORD> GreyProgram() {
    return {kVersion11,
            81, Dest(kConst, 1), Bits(0.2125f), Bits(0.7154f), Bits(0.0721f), Bits(1.0f),
            66, Dest(kTexture, 0),
            8, Dest(kTemp, 0, kRgb), Src(kTexture, 0), Src(kConst, 1),
            1, Dest(kTemp, 0, kAlpha), Src(kTexture, 0),
            kEnd};
}

}  // namespace d3d9sw::testing
