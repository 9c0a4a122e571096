#include "platform/d3d9/raster_sampler.h"

#include <algorithm>
#include <cstring>

namespace d3d9sw {
namespace {

bool IsAddressMode(DWORD mode) { return mode >= D3DTADDRESS_WRAP && mode <= D3DTADDRESS_MIRRORONCE; }

// Minification and magnification: only nearest and bilinear; mip filters are accepted because
// the device keeps one level per texture view and samples it.
bool ParseFilter(DWORD filter, bool* linear) {
    if (filter == D3DTEXF_POINT) *linear = false;
    else if (filter == D3DTEXF_LINEAR) *linear = true;
    else return false;
    return true;
}

bool IsSampleable(D3DFORMAT format) {
    const FormatInfo info = DescribeFormat(format);
    return info.supported && !info.depth;
}

int PositiveModulo(std::int64_t index, int size) {
    const std::int64_t m = index % size;
    return static_cast<int>(m < 0 ? m + size : m);
}

}  // namespace

bool TextureSampler::Configure(const SurfaceView& texture, const DWORD* samplerStates, std::uint32_t unbound) {
    view_ = texture;
    unbound_ = unbound;
    if (view_.bits == nullptr) return true;
    if (!IsSampleable(view_.format) || view_.width <= 0 || view_.height <= 0) return false;
    const DWORD u = samplerStates[D3DSAMP_ADDRESSU], v = samplerStates[D3DSAMP_ADDRESSV];
    if (!IsAddressMode(u) || !IsAddressMode(v)) return false;
    addressU_ = static_cast<D3DTEXTUREADDRESS>(u);
    addressV_ = static_cast<D3DTEXTUREADDRESS>(v);
    border_ = samplerStates[D3DSAMP_BORDERCOLOR];
    return ParseFilter(samplerStates[D3DSAMP_MINFILTER], &minLinear_) &&
           ParseFilter(samplerStates[D3DSAMP_MAGFILTER], &magLinear_);
}

int TextureSampler::Address(std::int64_t index, int size, D3DTEXTUREADDRESS mode) {
    switch (mode) {
    case D3DTADDRESS_WRAP: return PositiveModulo(index, size);
    case D3DTADDRESS_MIRROR: {
        const int m = PositiveModulo(index, 2 * size);
        return m < size ? m : 2 * size - 1 - m;
    }
    case D3DTADDRESS_BORDER: return index < 0 || index >= size ? -1 : static_cast<int>(index);
    case D3DTADDRESS_MIRRORONCE:
        return static_cast<int>(std::min<std::int64_t>(index < 0 ? -index - 1 : index, size - 1));
    default: return static_cast<int>(std::clamp<std::int64_t>(index, 0, size - 1));
    }
}

std::uint32_t TextureSampler::Fetch(int x, int y) const {
    if (x < 0 || y < 0) return border_;
    const std::uint8_t* row = view_.bits + static_cast<std::ptrdiff_t>(y) * view_.pitch;
    std::uint32_t texel;
    switch (view_.format) {
    case D3DFMT_A8R8G8B8: std::memcpy(&texel, row + 4 * x, 4); return texel;
    case D3DFMT_X8R8G8B8: std::memcpy(&texel, row + 4 * x, 4); return texel | 0xFF000000u;
    default: return ReadPixel(view_, x, y);
    }
}

Rgba TextureSampler::Sample(std::int64_t u, std::int64_t v, bool linear) const {
    if (view_.bits == nullptr) return Rgba::FromArgb(unbound_);
    const int w = view_.width, h = view_.height;
    if (!linear) {
        const int x = Address(ToTexels(u, w) >> 16, w, addressU_);
        const int y = Address(ToTexels(v, h) >> 16, h, addressV_);
        return Rgba::FromArgb(Fetch(x, y));
    }
    const std::int64_t su = FilterPosition(u, w), sv = FilterPosition(v, h);
    const unsigned fx = static_cast<unsigned>(su & 0xFF), fy = static_cast<unsigned>(sv & 0xFF);
    const std::int64_t x0 = su >> 8, y0 = sv >> 8;
    const int xa = Address(x0, w, addressU_), ya = Address(y0, h, addressV_);
    if ((fx | fy) == 0) return Rgba::FromArgb(Fetch(xa, ya));
    const int xb = Address(x0 + 1, w, addressU_), yb = Address(y0 + 1, h, addressV_);
    return Rgba::FromArgb(Bilinear(Fetch(xa, ya), Fetch(xb, ya), Fetch(xa, yb), Fetch(xb, yb), fx, fy));
}

}  // namespace d3d9sw
