#pragma once
// The lowest and highest of a run of 16-bit indices: every indexed draw checks them against its
// vertex range, and the draw queue copies only the vertices between them.
#include <emmintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace d3d9sw {

struct IndexRange {
    std::uint16_t lowest = 0xFFFF;  // both stay as they are for no index
    std::uint16_t highest = 0;
};

// `indices` needs no alignment. Eight at a time: a draw of many sprites has hundreds of
// thousands, and the compiler does not vectorise this reduction by itself.
inline IndexRange RangeOfIndices(const std::uint16_t* indices, std::size_t count) {
    // SSE2 compares signed words; flipping the top bit orders unsigned ones the same way.
    const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
    __m128i low = _mm_set1_epi16(0x7FFF);
    __m128i high = _mm_set1_epi16(static_cast<short>(0x8000));
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i v = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(indices + i)), flip);
        low = _mm_min_epi16(low, v);
        high = _mm_max_epi16(high, v);
    }
    alignas(16) std::uint16_t lows[8];
    alignas(16) std::uint16_t highs[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(lows), _mm_xor_si128(low, flip));
    _mm_store_si128(reinterpret_cast<__m128i*>(highs), _mm_xor_si128(high, flip));
    IndexRange range;
    for (int k = 0; k < 8; ++k) {
        range.lowest = std::min(range.lowest, lows[k]);
        range.highest = std::max(range.highest, highs[k]);
    }
    for (; i < count; ++i) {
        std::uint16_t index;
        std::memcpy(&index, indices + i, sizeof index);
        range.lowest = std::min(range.lowest, index);
        range.highest = std::max(range.highest, index);
    }
    return range;
}

}  // namespace d3d9sw
