#include "platform/d3d9/raster_coarse_depth.h"

#include <algorithm>

namespace d3d9sw {

void CoarseDepth::Reset(int top, int bottom, int width, int height, std::uint32_t maxDepth) {
    top_ = std::clamp(top, 0, height);
    bottom_ = std::clamp(bottom, top_, height);
    width_ = std::max(width, 0);
    firstTileRow_ = top_ / kTile;
    tilesPerRow_ = (width_ + kTile - 1) / kTile;
    const int tileRows = bottom_ > top_ ? (bottom_ - 1) / kTile - firstTileRow_ + 1 : 0;
    bounds_.assign(static_cast<std::size_t>(tileRows) * tilesPerRow_ + kSpare, maxDepth);
}

}  // namespace d3d9sw
