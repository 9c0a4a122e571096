#pragma once
// Upper bounds of the depths stored in 8x8 tiles of one band of a depth buffer's rows, kept
// while a run of draws that only ever lower stored depths (LESS or LESSEQUAL, depth written) is
// drawn into the band. A rectangle that covers a tile whole and discards nothing leaves nothing
// there above its depth; a rectangle whose depth fails against a tile's bound fails at every
// pixel of it, so its rows skip the tile without reading the per-pixel depths. Nothing else
// writes the band while the run is drawn; the bounds start unknown with every run.
#include <emmintrin.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/d3d9/d3d9_types.h"

namespace d3d9sw {

class CoarseDepth {
public:
    static constexpr int kTile = 8;  // pixels a side

    // Every bound unknown, for rows [top, bottom) of a buffer `width` x `height` pixels (the
    // smaller of the target and the depth buffer).
    void Reset(int top, int bottom, int width, int height, std::uint32_t maxDepth);

    // Tiles tx .. tx + count - 1 (count <= 32) of tile row ty (counted from row 0 of the
    // buffer): bit k set where a fragment of depth `z` may pass `func` (LESS or LESSEQUAL) at
    // some pixel of tile tx + k.
    std::uint32_t MayPass(int tx, int ty, int count, std::uint32_t z, D3DCMPFUNC func) const {
        // A tile fails whole when its bound is at most z - 1 (LESSEQUAL) or z (LESS). Depths
        // have 24 bits at most, so signed 32-bit lanes compare them, four tiles at a time (the
        // bounds run on past the last tile: lanes beyond `count` are dropped).
        const __m128i limit = _mm_set1_epi32(static_cast<std::int32_t>(z) - (func == D3DCMP_LESSEQUAL ? 1 : 0));
        const std::uint32_t* bound = &bounds_[Index(tx, ty)];
        std::uint32_t pass = 0;
        for (int k = 0; k < count; k += 4) {
            const __m128i bounds = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bound + k));
            pass |= static_cast<std::uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(bounds, limit)))) << k;
        }
        return count == 32 ? pass : pass & ((1u << count) - 1);
    }
    // Whether a fragment of depth `z` may pass `func` at some pixel left <= x < right of row y.
    bool MayPassInRow(int left, int right, int y, std::uint32_t z, D3DCMPFUNC func) const {
        const int last = (right - 1) / kTile;
        for (int tx = left / kTile; tx <= last; tx += 32)
            if (MayPass(tx, y / kTile, std::min(32, last - tx + 1), z, func) != 0) return true;
        return false;
    }
    // Pixels [left, right) x [top, bottom) of tile row ty now hold `z` or less: the tiles whose
    // every pixel in the band they cover are bounded by z.
    void Lower(int ty, int left, int top, int right, int bottom, std::uint32_t z) {
        if (top > std::max(ty * kTile, top_) || bottom < std::min((ty + 1) * kTile, bottom_)) return;
        const int first = (left + kTile - 1) / kTile;
        const int end = right >= width_ ? tilesPerRow_ : right / kTile;
        std::uint32_t* bound = &bounds_[Index(0, ty)];
        for (int tx = first; tx < end; ++tx) bound[tx] = std::min(bound[tx], z);
    }

private:
    static constexpr int kSpare = 3;  // bounds readable past the last tile, for MayPass's lanes

    std::size_t Index(int tx, int ty) const { return static_cast<std::size_t>(ty - firstTileRow_) * tilesPerRow_ + tx; }

    int top_ = 0, bottom_ = 0, width_ = 0;
    int firstTileRow_ = 0, tilesPerRow_ = 0;
    std::vector<std::uint32_t> bounds_;
};

}  // namespace d3d9sw
