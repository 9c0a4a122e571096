#pragma once
// Values shared by the rasteriser's stages: vertex attributes, colours and the fixed-point
// stepping every span uses, so that the general and the specialised span paths compute
// bit-identical pixels.
#include <algorithm>
#include <cmath>
#include <cstdint>

namespace d3d9sw {

constexpr std::int64_t kSubpixels = 256;  // positions snap to 1/256 pixel

// Integer division rounding down and up; `b` > 0.
inline std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}
inline std::int64_t CeilDiv(std::int64_t a, std::int64_t b) { return -FloorDiv(-a, b); }

// A position in 1/256 pixel, as every primitive snaps it: rounded half away from zero, as
// llround does. For a float times 256, adding one half is exact in double whenever it can
// matter (a float has 24 significant bits), so truncating the sum rounds the same way.
inline std::int64_t Snap(float pixels) {
    const double scaled = static_cast<double>(pixels) * kSubpixels;
    if (!(std::fabs(scaled) < 4503599627370496.0)) return std::llround(scaled);  // 2^52 and beyond, NaN
    return static_cast<std::int64_t>(scaled >= 0.0 ? scaled + 0.5 : scaled - 0.5);
}

// Interpolated attributes in the order spans consume them. Colours are 0..255, depth is the
// viewport depth (MinZ..MaxZ), u and v are texture coordinates.
enum Attribute : int { kAttrZ, kAttrB, kAttrG, kAttrR, kAttrA, kAttrU, kAttrV, kAttributeCount };

struct RasterVertex {
    float x = 0, y = 0;              // clip space before mapping, pixels after
    float attr[kAttributeCount] = {};  // kAttrZ holds clip z before mapping
};

// One colour with 8-bit channels held in ints so arithmetic needs no casts.
struct Rgba {
    int b = 0, g = 0, r = 0, a = 0;

    static Rgba FromArgb(std::uint32_t argb) {
        return {static_cast<int>(argb & 0xFF), static_cast<int>((argb >> 8) & 0xFF),
                static_cast<int>((argb >> 16) & 0xFF), static_cast<int>(argb >> 24)};
    }
    std::uint32_t ToArgb() const {
        return (static_cast<std::uint32_t>(a) << 24) | (static_cast<std::uint32_t>(r) << 16) |
               (static_cast<std::uint32_t>(g) << 8) | static_cast<std::uint32_t>(b);
    }
};

// 8-bit channels to the shader's 0..1 floats and back, as every shading path converts them.
inline float ChannelToUnit(int channel) { return static_cast<float>(channel) / 255.0f; }
// Rounds half away from zero as std::lround, without the library call every shaded pixel made:
// in 0..255, v - trunc(v) is exact. NaN gives 0.
inline int UnitToChannel(float value) {
    const float v = std::clamp(value, 0.0f, 1.0f) * 255.0f;
    if (!(v >= 0.0f)) return 0;
    const int whole = static_cast<int>(v);
    return whole + (v - static_cast<float>(whole) >= 0.5f ? 1 : 0);
}

// Attribute values at the first pixel of a span and their change per pixel to the right.
struct SpanStart {
    double value[kAttributeCount] = {};
    double step[kAttributeCount] = {};
};

// Fixed-point cursor over a span: colours 16.16 (0..255), texture coordinates 32.32 in
// texture units (64-bit so wrapping coordinates far outside 0..1 stay exact), depth 16.16 in
// depth-buffer units. Every span path steps through this one type.
struct SpanCursor {
    std::int32_t color[4], colorStep[4];  // b, g, r, a
    std::int64_t u, uStep, v, vStep;
    std::int64_t z, zStep;

    // `depthScale` is the depth buffer's largest value (65535 for 16 bits, 16777215 for 24).
    void Init(const SpanStart& s, double depthScale) {
        for (int c = 0; c < 4; ++c) {
            color[c] = static_cast<std::int32_t>(Fixed(s.value[kAttrB + c], 65536.0, 30000.0));
            colorStep[c] = static_cast<std::int32_t>(Fixed(s.step[kAttrB + c], 65536.0, 30000.0));
        }
        constexpr double kTexLimit = 1048576.0;  // texture units; keeps texel maths in 64 bits
        u = Fixed(s.value[kAttrU], 4294967296.0, kTexLimit);
        uStep = Fixed(s.step[kAttrU], 4294967296.0, kTexLimit);
        v = Fixed(s.value[kAttrV], 4294967296.0, kTexLimit);
        vStep = Fixed(s.step[kAttrV], 4294967296.0, kTexLimit);
        z = FixedDepth(s.value[kAttrZ], depthScale);
        zStep = Fixed(s.step[kAttrZ] * depthScale, 65536.0, 1e9);
    }
    void Advance() {
        for (int c = 0; c < 4; ++c) color[c] += colorStep[c];
        u += uStep;
        v += vStep;
        z += zStep;
    }
    // Whether colour and depth are the same at every pixel of the span.
    bool Flat() const { return (colorStep[0] | colorStep[1] | colorStep[2] | colorStep[3]) == 0 && zStep == 0; }
    int Channel(int c) const { return std::clamp((color[c] + 0x8000) >> 16, 0, 255); }
    Rgba Diffuse() const { return {Channel(0), Channel(1), Channel(2), Channel(3)}; }
    // Depth rounded to the buffer's precision, clamped to its range.
    std::uint32_t Depth(std::int64_t maxDepth) const { return RoundDepth(z, maxDepth); }
    // The depth every pixel of a span gets whose viewport depth is `value` at each of them:
    // Init then Depth, without the other attributes.
    static std::uint32_t FlatDepth(double value, double depthScale, std::int64_t maxDepth) {
        return RoundDepth(FixedDepth(value, depthScale), maxDepth);
    }

private:
    static std::int64_t FixedDepth(double value, double depthScale) {
        return Fixed(std::clamp(value, 0.0, 1.0) * depthScale, 65536.0, 1e9);
    }
    static std::uint32_t RoundDepth(std::int64_t z, std::int64_t maxDepth) {
        return static_cast<std::uint32_t>(std::clamp<std::int64_t>((z + 0x8000) >> 16, 0, maxDepth));
    }
    // Rounds half away from zero like llround, without the library call.
    static std::int64_t Fixed(double value, double one, double limit) {
        if (std::isnan(value)) return 0;  // extreme gradients can give inf * 0
        const double scaled = std::clamp(value, -limit, limit) * one;
        return static_cast<std::int64_t>(scaled + (scaled >= 0.0 ? 0.5 : -0.5));
    }
};

}  // namespace d3d9sw
