#pragma once
// Upper bounds of the depths stored in 8x8 tiles of one band of a depth buffer's rows, kept
// while a run of draws that only ever lower stored depths (LESS or LESSEQUAL, depth written) is
// drawn into the band. A rectangle that covers a tile whole and discards nothing leaves nothing
// there above its depth; a rectangle whose depth fails against a tile's bound fails at every
// pixel of it, so its rows skip the tile without reading the per-pixel depths. Nothing else
// writes the band while the run is drawn; the bounds start unknown with every run.
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

    // Whether a fragment of depth `z` fails `func` (LESS or LESSEQUAL) at every pixel of tile
    // (tx, ty) (ty counted from row 0 of the buffer).
    bool Fails(int tx, int ty, std::uint32_t z, D3DCMPFUNC func) const {
        const std::uint32_t bound = bounds_[Index(tx, ty)];
        return func == D3DCMP_LESS ? z >= bound : z > bound;
    }
    // Whether pixels [left, right) x [top, bottom), inside the tile, are all of its pixels in the band.
    bool CoversTile(int tx, int ty, int left, int top, int right, int bottom) const {
        return left <= tx * kTile && right >= std::min((tx + 1) * kTile, width_) && top <= std::max(ty * kTile, top_) &&
               bottom >= std::min((ty + 1) * kTile, bottom_);
    }
    // Every pixel of the tile now holds `z` or less.
    void Lower(int tx, int ty, std::uint32_t z) {
        std::uint32_t& bound = bounds_[Index(tx, ty)];
        if (z < bound) bound = z;
    }

private:
    std::size_t Index(int tx, int ty) const { return static_cast<std::size_t>(ty - firstTileRow_) * tilesPerRow_ + tx; }

    int top_ = 0, bottom_ = 0, width_ = 0;
    int firstTileRow_ = 0, tilesPerRow_ = 0;
    std::vector<std::uint32_t> bounds_;
};

}  // namespace d3d9sw
