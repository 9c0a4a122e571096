// Specialised span loops. Spans of one colour and one depth, as a 2D renderer draws them, go
// through the row kernels whatever the stage setup the kernels know (texel, diffuse or their
// product for colour and for alpha; the grey filter shader), texels fetched pixel by pixel.
// Other spans: diffuse only, or a 32-bit texture modulated by the diffuse colour (nearest or
// bilinear, CLAMP or WRAP), opaque or blended SRCALPHA/INVSRCALPHA, into an X8R8G8B8 or
// A8R8G8B8 target, with or without a depth buffer. All repeat the general loop's arithmetic
// exactly, without its per-pixel dispatch.
#include <algorithm>
#include <cstring>

#include "platform/d3d9/raster_coarse_depth.h"
#include "platform/d3d9/raster_pipeline.h"

namespace d3d9sw {
namespace {

enum TextureMode { kNoTexture, kPoint, kLinear };

// One axis of a 32-bit texture: CLAMP, or WRAP (masked when the size is a power of two).
struct Axis {
    int size;
    bool wrap;
    int mask;  // size - 1 for power-of-two wrapping, else -1

    int Map(std::int64_t i) const {
        if (!wrap) return static_cast<int>(i < 0 ? 0 : (i >= size ? size - 1 : i));
        if (mask >= 0) return static_cast<int>(i & mask);
        const std::int64_t m = i % size;
        return static_cast<int>(m < 0 ? m + size : m);
    }
};

struct Texture32 {
    // The sampler's bilinear arithmetic, so that both paths filter alike.
    static std::int64_t Filtered(std::int64_t c, int size) { return TextureSampler::FilterPosition(c, size); }
    static constexpr auto Bilinear = TextureSampler::Bilinear;

    const std::uint8_t* bits;
    int pitch;
    std::uint32_t alphaOr;  // 0xFF000000 for X8R8G8B8
    Axis u, v;

    std::uint32_t Fetch(int x, int y) const {
        std::uint32_t t;
        std::memcpy(&t, bits + static_cast<std::ptrdiff_t>(y) * pitch + 4 * x, 4);
        return t | alphaOr;
    }
    std::uint32_t Point(std::int64_t cu, std::int64_t cv) const {
        return Fetch(u.Map(TextureSampler::ToTexels(cu, u.size) >> 16), v.Map(TextureSampler::ToTexels(cv, v.size) >> 16));
    }
    std::uint32_t Linear(std::int64_t cu, std::int64_t cv) const {
        const std::int64_t su = Filtered(cu, u.size), sv = Filtered(cv, v.size);
        const unsigned fx = static_cast<unsigned>(su & 0xFF), fy = static_cast<unsigned>(sv & 0xFF);
        const int xa = u.Map(su >> 8), ya = v.Map(sv >> 8);
        if ((fx | fy) == 0) return Fetch(xa, ya);  // on a texel centre, as 1:1 sprites are
        const int xb = u.Map((su >> 8) + 1), yb = v.Map((sv >> 8) + 1);
        return Bilinear(Fetch(xa, ya), Fetch(xb, ya), Fetch(xa, yb), Fetch(xb, yb), fx, fy);
    }

    // Linear(cu + i * du, cv + i * dv) into out[i] for i < count. Positions only grow or only
    // shrink along a span, so the pixels whose four texels all lie inside the texture make one
    // stretch of it: the pixels on either side are addressed one by one, the stretch needs no
    // addressing and goes to `vectorised` when there is one and the texture fits it.
    void LinearRun(std::int64_t cu, std::int64_t cv, std::int64_t du, std::int64_t dv, int count,
                   BilinearRunFunction vectorised, std::uint32_t* out) const {
        auto inside = [&](int i) {
            auto axis = [](std::int64_t s, int size) { return s >= 0 && (s >> 8) <= size - 2; };
            return axis(Filtered(cu + i * du, u.size), u.size) && axis(Filtered(cv + i * dv, v.size), v.size);
        };
        int first = 0, end = count;
        for (; first < end && !inside(first); ++first) out[first] = Linear(cu + first * du, cv + first * dv);
        for (; end > first && !inside(end - 1); --end) out[end - 1] = Linear(cu + (end - 1) * du, cv + (end - 1) * dv);
        cu += first * du, cv += first * dv, out += first, count = end - first;
        constexpr int kLargest = 65536;
        if (vectorised != nullptr && u.size <= kLargest && v.size <= kLargest && pitch > 0 &&
            static_cast<std::int64_t>(pitch) * v.size < (std::int64_t{1} << 31)) {
            if (count > 0) vectorised({bits, pitch, u.size, v.size, alphaOr, cu, cv, du, dv}, count, out);
            return;
        }
        for (int i = 0; i < count; ++i, cu += du, cv += dv) {
            const std::int64_t su = Filtered(cu, u.size), sv = Filtered(cv, v.size);
            const std::uint8_t* at = bits + static_cast<std::ptrdiff_t>(sv >> 8) * pitch + 4 * (su >> 8);
            std::uint32_t t[4];
            std::memcpy(&t[0], at, 8);
            std::memcpy(&t[2], at + pitch, 8);
            const unsigned fx = static_cast<unsigned>(su & 0xFF), fy = static_cast<unsigned>(sv & 0xFF);
            out[i] = (fx | fy) == 0 ? t[0] | alphaOr
                                    : Bilinear(t[0] | alphaOr, t[1] | alphaOr, t[2] | alphaOr, t[3] | alphaOr, fx, fy);
        }
    }
};

bool IsClampOrWrap(D3DTEXTUREADDRESS mode) { return mode == D3DTADDRESS_CLAMP || mode == D3DTADDRESS_WRAP; }

// The texture of stage 0 as Texture32 reads it, when it is one.
bool AsTexture32(const TextureSampler& s, Texture32* tex) {
    if (!s.HasTexture() || !s.Is32Bit() || !IsClampOrWrap(s.AddressU()) || !IsClampOrWrap(s.AddressV())) return false;
    const SurfaceView& view = s.View();
    auto axis = [](int size, D3DTEXTUREADDRESS mode) {
        const bool pow2 = (size & (size - 1)) == 0;
        return Axis{size, mode == D3DTADDRESS_WRAP, pow2 ? size - 1 : -1};
    };
    *tex = {view.bits, view.pitch, view.format == D3DFMT_X8R8G8B8 ? 0xFF000000u : 0u, axis(view.width, s.AddressU()),
            axis(view.height, s.AddressV())};
    return true;
}

// A colour held as four 16-bit lanes (blue lowest), so that one 64-bit multiply scales all four
// channels by a common factor (255 * 255 fits a lane).
constexpr std::uint64_t kLaneLow8 = 0x00FF00FF00FF00FFull;
constexpr std::uint64_t kLaneHalf = 0x007F007F007F007Full;  // rounds the division by 255
constexpr std::uint64_t kLaneOne = 0x0001000100010001ull;

inline std::uint64_t Spread(std::uint32_t argb) {
    std::uint64_t v = argb;
    v = (v | (v << 16)) & 0x0000FFFF0000FFFFull;
    return (v | (v << 8)) & kLaneLow8;
}
inline std::uint32_t Pack(std::uint64_t lanes) {
    lanes = (lanes | (lanes >> 8)) & 0x0000FFFF0000FFFFull;
    return static_cast<std::uint32_t>(lanes | (lanes >> 16));
}
// floor(n / 255) in every lane, exact for lanes up to 65534.
inline std::uint64_t DivideLanesBy255(std::uint64_t n) { return ((n + kLaneOne + ((n >> 8) & kLaneLow8)) >> 8) & kLaneLow8; }
inline std::uint64_t Lanes(std::uint64_t b, std::uint64_t g, std::uint64_t r, std::uint64_t a) {
    return b | (g << 16) | (r << 32) | (a << 48);
}

template <DepthBuffer::Kind Depth, TextureMode Tex, bool Blend, bool TargetAlpha>
void SpecialisedSpan(const PixelPipeline& p, int y, int x0, int x1, SpanCursor& cursor) {
    Texture32 tex{};
    if constexpr (Tex != kNoTexture) AsTexture32(p.samplers[0], &tex);
    // Everything the loop reads is copied to locals: the pixel stores below may alias any memory,
    // so fields read through `p` or `cursor` would be reloaded on every pixel.
    std::uint8_t* row = p.targetView.bits + static_cast<std::ptrdiff_t>(y) * p.targetView.pitch;
    std::uint8_t* depthRow = Depth != DepthBuffer::Kind::kNone ? p.depth.Address(0, y) : nullptr;
    constexpr int kDepthBytes = Depth == DepthBuffer::Kind::k16 ? 2 : 4;
    const std::int64_t maxDepth = p.depth.MaxValue();
    const D3DCMPFUNC depthFunc = p.depth.Func();
    const bool depthWrite = p.depth.Writes();
    const bool alphaTest = p.alphaTest;
    const D3DCMPFUNC alphaFunc = p.alphaFunc;
    const std::uint32_t alphaRef = p.alphaRef;
    constexpr std::uint32_t kTargetAlphaOr = TargetAlpha ? 0u : 0xFF000000u;
    SpanCursor c = cursor;

    for (int x = x0; x < x1; ++x, c.Advance()) {
        std::uint32_t z = 0;
        if constexpr (Depth != DepthBuffer::Kind::kNone) {
            z = c.Depth(maxDepth);
            const std::uint32_t stored = DepthBuffer::Load(Depth, depthRow + kDepthBytes * x);
            if (depthFunc == D3DCMP_LESSEQUAL ? z > stored : !CompareWith(depthFunc, z, stored)) continue;
        }
        const std::uint64_t b = static_cast<unsigned>(c.Channel(0)), g = static_cast<unsigned>(c.Channel(1));
        const std::uint64_t r = static_cast<unsigned>(c.Channel(2)), a = static_cast<unsigned>(c.Channel(3));
        std::uint64_t color;
        if constexpr (Tex != kNoTexture) {
            // Texel times diffuse, rounded: (t * d + 127) / 255 per channel.
            const std::uint32_t t = Tex == kPoint ? tex.Point(c.u, c.v) : tex.Linear(c.u, c.v);
            color = DivideLanesBy255(Lanes(b * (t & 0xFF), g * ((t >> 8) & 0xFF), r * ((t >> 16) & 0xFF), a * (t >> 24)) +
                                     kLaneHalf);
        } else {
            color = Lanes(b, g, r, a);
        }
        const std::uint64_t alpha = color >> 48;
        if (alphaTest && !CompareWith(alphaFunc, static_cast<std::uint32_t>(alpha), alphaRef)) continue;
        if constexpr (Depth != DepthBuffer::Kind::kNone) {
            if (depthWrite) DepthBuffer::Store(Depth, depthRow + kDepthBytes * x, z);
        }
        std::uint8_t* pixel = row + 4 * x;
        if constexpr (Blend) {
            // src * alpha + dst * (255 - alpha), rounded, alpha channel included.
            std::uint32_t d;
            std::memcpy(&d, pixel, 4);
            color = DivideLanesBy255(color * alpha + Spread(d | kTargetAlphaOr) * (255 - alpha) + kLaneHalf);
        }
        const std::uint32_t out = Pack(color) | kTargetAlphaOr;
        std::memcpy(pixel, &out, 4);
    }
}

using Span = PixelPipeline::SpanFunction;

template <DepthBuffer::Kind Depth, TextureMode Tex>
Span Pick(bool blend, bool targetAlpha) {
    if (blend) return targetAlpha ? SpecialisedSpan<Depth, Tex, true, true> : SpecialisedSpan<Depth, Tex, true, false>;
    return targetAlpha ? SpecialisedSpan<Depth, Tex, false, true> : SpecialisedSpan<Depth, Tex, false, false>;
}

template <DepthBuffer::Kind Depth>
Span PickTexture(TextureMode tex, bool blend, bool targetAlpha) {
    switch (tex) {
    case kPoint: return Pick<Depth, kPoint>(blend, targetAlpha);
    case kLinear: return Pick<Depth, kLinear>(blend, targetAlpha);
    default: return Pick<Depth, kNoTexture>(blend, targetAlpha);
    }
}

}  // namespace

void DrawKernelSpan(const PixelPipeline& p, int y, int x0, int x1, SpanCursor& cursor) {
    if (!cursor.Flat()) {
        p.FallbackSpan()(p, y, x0, x1, cursor);
        return;
    }
    constexpr int kRun = 256;  // pixels fetched and shaded at a time
    const RowPlan& plan = p.Rows();
    const bool textured = (p.sampledStages & 1u) != 0;
    const bool linear = p.linear[0];
    Texture32 tex{};
    const bool fast = textured && AsTexture32(p.samplers[0], &tex);
    const Rgba diffuse = cursor.Diffuse();
    RowShading shading = plan.shading;
    shading.diffuse = diffuse.ToArgb();
    RowOutput output = plan.output;
    const bool hasDepth = output.depthBytes != 0;
    output.depth = hasDepth ? cursor.Depth(p.depth.MaxValue()) : 0;
    // A span that fails the depth test in every tile it crosses draws nothing: its texels are
    // not worth fetching.
    if (p.coarse != nullptr && hasDepth && !p.coarse->MayPassInRow(x0, x1, y, output.depth, p.depth.Func())) return;
    std::uint8_t* row = p.targetView.bits + static_cast<std::ptrdiff_t>(y) * p.targetView.pitch;
    std::uint8_t* depthRow = hasDepth ? p.depth.Address(0, y) : nullptr;
    std::int64_t u = cursor.u, v = cursor.v;
    std::uint32_t texels[kRun], source[kRun];
    for (int x = x0; x < x1; x += kRun) {
        const int count = std::min(kRun, x1 - x);
        if (textured) {
            // Texels as the general loop samples them, pixel by pixel.
            if (fast && linear) {
                tex.LinearRun(u, v, cursor.uStep, cursor.vStep, count, plan.kernels->bilinearRun, texels);
                u += count * cursor.uStep;
                v += count * cursor.vStep;
            } else {
                for (int i = 0; i < count; ++i, u += cursor.uStep, v += cursor.vStep)
                    texels[i] = fast ? tex.Point(u, v) : p.samplers[0].Sample(u, v, linear).ToArgb();
            }
        }
        if (plan.shadeRows) {
            plan.kernels->shade(shading, textured ? texels : nullptr, count, source);
        } else {
            p.ShadeTexels(diffuse, textured ? texels : nullptr, count, source);
        }
        plan.kernels->output(output, source, count, row + 4 * static_cast<std::ptrdiff_t>(x),
                             hasDepth ? depthRow + output.depthBytes * static_cast<std::ptrdiff_t>(x) : nullptr);
    }
}

PixelPipeline::SpanFunction FindSpecialisedSpan(const PixelPipeline& p, bool linear) {
    if (p.shader != nullptr || !p.target.WritesAll()) return nullptr;
    const D3DFORMAT format = p.targetView.format;
    if (format != D3DFMT_X8R8G8B8 && format != D3DFMT_A8R8G8B8) return nullptr;
    if (p.blender.Enabled() && !p.blender.IsSourceAlphaOver()) return nullptr;

    TextureMode tex = kNoTexture;
    switch (p.stages.GetShape()) {
    case TextureStages::Shape::kDiffuse: break;
    case TextureStages::Shape::kModulateTexture: {
        Texture32 texture;
        if (!AsTexture32(p.samplers[0], &texture)) return nullptr;
        tex = linear ? kLinear : kPoint;
        break;
    }
    default: return nullptr;
    }
    const bool blend = p.blender.Enabled(), targetAlpha = format == D3DFMT_A8R8G8B8;
    switch (p.depth.GetKind()) {
    case DepthBuffer::Kind::k16: return PickTexture<DepthBuffer::Kind::k16>(tex, blend, targetAlpha);
    case DepthBuffer::Kind::k24: return PickTexture<DepthBuffer::Kind::k24>(tex, blend, targetAlpha);
    default: return PickTexture<DepthBuffer::Kind::kNone>(tex, blend, targetAlpha);
    }
}

}  // namespace d3d9sw
