#pragma once
// Texture sampling for one stage: point and bilinear filtering of the top level with the
// WRAP, MIRROR, CLAMP, BORDER and MIRRORONCE address modes, from any sampleable format.
#include <cstdint>

#include "platform/d3d9/d3d9_types.h"
#include "platform/d3d9/pixel_format.h"
#include "platform/d3d9/raster_types.h"

namespace d3d9sw {

class TextureSampler {
public:
    // Takes the stage's texture (bits == null: none, read as `unbound`, 0xAARRGGBB) and sampler
    // states (indexed by D3DSAMPLERSTATETYPE). Returns false for a filter, address mode or
    // texture format this sampler does not implement. The view must outlive the sampler.
    bool Configure(const SurfaceView& texture, const DWORD* samplerStates, std::uint32_t unbound);

    bool HasTexture() const { return view_.bits != nullptr; }
    bool Is32Bit() const { return view_.format == D3DFMT_A8R8G8B8 || view_.format == D3DFMT_X8R8G8B8; }
    bool MinLinear() const { return minLinear_; }
    bool MagLinear() const { return magLinear_; }
    D3DTEXTUREADDRESS AddressU() const { return addressU_; }
    D3DTEXTUREADDRESS AddressV() const { return addressV_; }
    int Width() const { return view_.width; }
    const SurfaceView& View() const { return view_; }
    int Height() const { return view_.height; }

    // Samples at texture coordinates given in 32.32 fixed point (1.0 = 1 << 32). Without a
    // texture the result is the unbound colour. `linear` picks bilinear over nearest filtering.
    Rgba Sample(std::int64_t u, std::int64_t v, bool linear) const;

    // Texel position in 16.16 fixed point for a 32.32 texture coordinate along `size` texels.
    static std::int64_t ToTexels(std::int64_t coordinate, int size) { return ((coordinate >> 8) * size) >> 8; }
    // Where bilinear filtering samples, in 1/256 texel less half a texel: the integer part is
    // the upper-left texel of the four filtered, the fraction their weights. Positions are
    // rounded to 1/256 texel, so coordinates on a texel centre up to float error read it alone.
    static std::int64_t FilterPosition(std::int64_t coordinate, int size) {
        return (ToTexels(coordinate, size) - 0x8000 + 0x80) >> 8;
    }
    // The texels at (x, y), (x + 1, y), (x, y + 1), (x + 1, y + 1) (0xAARRGGBB) weighted by
    // fractions fx and fy (0..255): per channel sum(texel * weight) + 0x8000, >> 16.
    static std::uint32_t Bilinear(std::uint32_t t0, std::uint32_t t1, std::uint32_t t2, std::uint32_t t3, unsigned fx,
                                  unsigned fy) {
        const std::uint64_t w0 = (256 - fx) * (256 - fy), w1 = fx * (256 - fy), w2 = (256 - fx) * fy, w3 = fx * fy;
        // Two channels to a 64-bit word in 32-bit lanes: the weights add up to 65536, so no
        // lane exceeds 24 bits.
        constexpr std::uint64_t kRound = 0x0000800000008000ull;
        auto even = [](std::uint32_t t) { return (t & 0xFFu) | (std::uint64_t{t & 0xFF0000u} << 16); };    // blue, red
        auto odd = [](std::uint32_t t) { return ((t >> 8) & 0xFFu) | (std::uint64_t{t >> 24} << 32); };  // green, alpha
        const std::uint64_t br = even(t0) * w0 + even(t1) * w1 + even(t2) * w2 + even(t3) * w3 + kRound;
        const std::uint64_t ga = odd(t0) * w0 + odd(t1) * w1 + odd(t2) * w2 + odd(t3) * w3 + kRound;
        return static_cast<std::uint32_t>(((br >> 16) & 0xFFu) | ((ga >> 8) & 0xFF00u) | ((br >> 32) & 0xFF0000u) |
                                          ((ga >> 24) & 0xFF000000u));
    }
    // Maps a texel index into 0..size-1 by an address mode; -1 for BORDER outside the texture.
    static int Address(std::int64_t index, int size, D3DTEXTUREADDRESS mode);

private:
    std::uint32_t Fetch(int x, int y) const;  // -1 indices read the border colour

    SurfaceView view_;
    D3DTEXTUREADDRESS addressU_ = D3DTADDRESS_WRAP;
    D3DTEXTUREADDRESS addressV_ = D3DTADDRESS_WRAP;
    bool minLinear_ = false;
    bool magLinear_ = false;
    std::uint32_t border_ = 0;
    std::uint32_t unbound_ = 0xFF000000u;
};

}  // namespace d3d9sw
