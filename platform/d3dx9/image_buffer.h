#pragma once
// Pixels of one image in one surface format, owned: what the file readers produce and what the
// surface copier reads. Sizes are capped before anything is allocated, so a file header that
// lies about its size costs nothing.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/d3d9/pixel_format.h"

namespace d3dx {

inline constexpr unsigned kMaxImageDimension = 16384;           // pixels, either side
inline constexpr std::size_t kMaxImageBytes = std::size_t{1} << 28;  // one level's pixel memory

// Levels of a full mip chain from width x height down to 1x1.
inline unsigned FullMipChain(unsigned width, unsigned height) {
    unsigned levels = 1;
    while (width > 1 || height > 1) {
        width = width > 1 ? width / 2 : 1;
        height = height > 1 ? height / 2 : 1;
        ++levels;
    }
    return levels;
}

struct ImageBuffer {
    D3DFORMAT format = D3DFMT_UNKNOWN;
    unsigned width = 0;
    unsigned height = 0;
    std::size_t pitch = 0;  // bytes per row (per block row for DXT)
    std::vector<std::uint8_t> bits;

    // Sizes the buffer for a zero-filled width x height image of a supported, non-depth format.
    // False (and nothing allocated) for a zero size, a side above kMaxImageDimension, more than
    // kMaxImageBytes, an unsupported format, or when memory runs out.
    bool Allocate(D3DFORMAT newFormat, unsigned newWidth, unsigned newHeight);

    d3d9sw::SurfaceView View() {
        return {format, static_cast<int>(width), static_cast<int>(height), static_cast<int>(pitch), bits.data()};
    }
};

}  // namespace d3dx
