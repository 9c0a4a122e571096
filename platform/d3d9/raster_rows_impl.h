// The row kernels of raster_rows.h, written once with the compiler's vector types and built
// twice: raster_rows_sse2.cpp and raster_rows_avx2.cpp include this file inside a namespace of
// their own, the latter with AVX2 code generation switched on. Everything here is local to
// that namespace and calls nothing from a header, so that no function built for AVX2 can be
// picked by the linker for a caller on a CPU without it.
//
// Pixels go eight at a time as 32-bit lanes 0xAARRGGBB. Arithmetic on channels works on two
// words per pixel, (red, blue) and (alpha, green), each channel in a 16-bit lane, so that one
// 16-bit multiply scales two channels and the sums stay below 65536: 255 * 255 + 127 at most.
// No #pragma once: each build includes it into its own namespace.

typedef std::uint32_t V32 __attribute__((vector_size(32)));
typedef std::uint16_t V16 __attribute__((vector_size(32)));
typedef std::uint16_t H16 __attribute__((vector_size(16)));

constexpr int kLanes = 8;

inline V32 Load(const void* p) {
    V32 v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}
inline void Store(void* p, V32 v) { __builtin_memcpy(p, &v, sizeof v); }
inline V32 Splat(std::uint32_t x) { return V32{} + x; }
inline V32 Select(V32 mask, V32 a, V32 b) { return (a & mask) | (b & ~mask); }

// floor(t / 255) per 16-bit lane, exact for t up to 65534 (see DivideLanesBy255).
inline V16 Divide255(V16 t) { return (t + 1 + (t >> 8)) >> 8; }

// Two channel words times two channel words, rounded: (a * b + 127) / 255 per channel.
inline V32 Modulate(V32 a, V32 b) { return (V32)Divide255((V16)a * (V16)b + 127); }

inline V32 Compare(D3DCMPFUNC func, V32 value, V32 reference) {
    switch (func) {
    case D3DCMP_NEVER: return V32{};
    case D3DCMP_LESS: return (V32)(value < reference);
    case D3DCMP_EQUAL: return (V32)(value == reference);
    case D3DCMP_LESSEQUAL: return (V32)(value <= reference);
    case D3DCMP_GREATER: return (V32)(value > reference);
    case D3DCMP_NOTEQUAL: return (V32)(value != reference);
    case D3DCMP_GREATEREQUAL: return (V32)(value >= reference);
    default: return ~V32{};
    }
}

constexpr std::uint32_t kLow8 = 0x00FF00FFu;

template <RowSource Source>
inline V32 Group(V32 texel, V32 diffuse) {
    if constexpr (Source == RowSource::kTexture) return texel;
    else if constexpr (Source == RowSource::kDiffuse) return diffuse;
    else return Modulate(texel, diffuse);
}

template <RowSource Color, RowSource Alpha>
inline void ShadeBlock(const RowShading& s, const std::uint32_t* texels, std::uint32_t* source) {
    constexpr bool kReadsTexel = Color != RowSource::kDiffuse || Alpha != RowSource::kDiffuse;
    const V32 texel = kReadsTexel ? Load(texels) | s.texelAlphaOr : V32{};
    const V32 rbTexel = texel & kLow8, agTexel = (texel >> 8) & kLow8;
    const V32 rbDiffuse = Splat(s.diffuse & kLow8), agDiffuse = Splat((s.diffuse >> 8) & kLow8);
    const V32 rb = Group<Color>(rbTexel, rbDiffuse);
    const V32 green = Group<Color>(agTexel, agDiffuse);
    const V32 alpha = Alpha == Color ? green : Group<Alpha>(agTexel, agDiffuse);
    Store(source, rb | (((green & 0xFFFFu) | (alpha & 0xFFFF0000u)) << 8));
}

template <RowSource Color, RowSource Alpha>
void ShadeRun(const RowShading& shading, const std::uint32_t* texels, int count, std::uint32_t* source) {
    const RowShading s = shading;  // a copy the pixel stores cannot alias
    int i = 0;
    for (; i + kLanes <= count; i += kLanes) ShadeBlock<Color, Alpha>(s, texels + i, source + i);
    if (i == count) return;
    std::uint32_t in[kLanes] = {}, out[kLanes];
    const int rest = count - i;
    if (Color != RowSource::kDiffuse || Alpha != RowSource::kDiffuse)
        __builtin_memcpy(in, texels + i, sizeof(std::uint32_t) * rest);
    ShadeBlock<Color, Alpha>(s, in, out);
    __builtin_memcpy(source + i, out, sizeof(std::uint32_t) * rest);
}

using ShadeFunction = void (*)(const RowShading&, const std::uint32_t*, int, std::uint32_t*);
using OutputFunction = void (*)(const RowOutput&, const std::uint32_t*, int, std::uint8_t*, std::uint8_t*);

template <RowSource Color>
ShadeFunction PickShadeByAlpha(RowSource alpha) {
    switch (alpha) {
    case RowSource::kTexture: return ShadeRun<Color, RowSource::kTexture>;
    case RowSource::kDiffuse: return ShadeRun<Color, RowSource::kDiffuse>;
    default: return ShadeRun<Color, RowSource::kModulate>;
    }
}

ShadeFunction PickShade(const RowShading& s) {
    switch (s.color) {
    case RowSource::kTexture: return PickShadeByAlpha<RowSource::kTexture>(s.alpha);
    case RowSource::kDiffuse: return PickShadeByAlpha<RowSource::kDiffuse>(s.alpha);
    default: return PickShadeByAlpha<RowSource::kModulate>(s.alpha);
    }
}

void Shade(const RowShading& s, const std::uint32_t* texels, int count, std::uint32_t* source) {
    PickShade(s)(s, texels, count, source);
}

// Eight pixels: depth test, alpha test, depth write, blend, write; masked-off pixels keep
// their target and depth values.
// LessEqual: the depth function is D3DCMP_LESSEQUAL, the 2D renderer's, without the switch.
template <int DepthBytes, bool Blend, bool LessEqual>
inline void OutputBlock(const RowOutput& o, const std::uint32_t* sourcePixels, std::uint8_t* target,
                        std::uint8_t* depth) {
    V32 mask = ~V32{};
    V32 stored{}, raw{};
    const V32 z = Splat(o.depth);
    if constexpr (DepthBytes == 2) {
        H16 d16;
        __builtin_memcpy(&d16, depth, sizeof d16);
        stored = __builtin_convertvector(d16, V32);
        mask &= LessEqual ? (V32)(z <= stored) : Compare(o.depthFunc, z, stored);
    } else if constexpr (DepthBytes == 4) {
        raw = Load(depth);
        stored = raw >> 8;
        mask &= LessEqual ? (V32)(z <= stored) : Compare(o.depthFunc, z, stored);
    }
    const V32 source = Load(sourcePixels);
    if (o.alphaTest) mask &= Compare(o.alphaFunc, source >> 24, Splat(o.alphaRef));
    if constexpr (DepthBytes == 2) {
        if (o.depthWrite) {
            const H16 d16 = __builtin_convertvector(Select(mask, z, stored), H16);
            __builtin_memcpy(depth, &d16, sizeof d16);
        }
    } else if constexpr (DepthBytes == 4) {
        if (o.depthWrite) Store(depth, Select(mask, (z << 8) | (raw & 0xFFu), raw));
    }
    const V32 old = Load(target);
    V32 color = source;
    if constexpr (Blend) {
        const V32 destination = old | o.targetAlphaOr;
        const V32 alpha = source >> 24, inverse = 255 - alpha;
        const V16 a = (V16)(alpha | (alpha << 16)), ia = (V16)(inverse | (inverse << 16));
        const V32 rb = (V32)Divide255((V16)(source & kLow8) * a + (V16)(destination & kLow8) * ia + 127);
        const V32 ag = (V32)Divide255((V16)((source >> 8) & kLow8) * a + (V16)((destination >> 8) & kLow8) * ia + 127);
        color = rb | (ag << 8);
    }
    Store(target, Select(mask, color | o.targetAlphaOr, old));
}

template <int DepthBytes, bool Blend, bool LessEqual>
void OutputRun(const RowOutput& output, const std::uint32_t* source, int count, std::uint8_t* target, std::uint8_t* depth) {
    const RowOutput o = output;  // a copy the pixel stores cannot alias
    int i = 0;
    for (; i + kLanes <= count; i += kLanes)
        OutputBlock<DepthBytes, Blend, LessEqual>(o, source + i, target + 4 * i, DepthBytes ? depth + DepthBytes * i : nullptr);
    if (i == count) return;
    // The last few pixels go through a block of copies, written back only as far as they reach.
    const int rest = count - i;
    std::uint32_t in[kLanes] = {}, pixels[kLanes] = {}, depths[kLanes] = {};
    __builtin_memcpy(in, source + i, sizeof(std::uint32_t) * rest);
    __builtin_memcpy(pixels, target + 4 * i, sizeof(std::uint32_t) * rest);
    if constexpr (DepthBytes != 0) __builtin_memcpy(depths, depth + DepthBytes * i, DepthBytes * rest);
    OutputBlock<DepthBytes, Blend, LessEqual>(o, in, reinterpret_cast<std::uint8_t*>(pixels),
                                              reinterpret_cast<std::uint8_t*>(depths));
    __builtin_memcpy(target + 4 * i, pixels, sizeof(std::uint32_t) * rest);
    if constexpr (DepthBytes != 0) __builtin_memcpy(depth + DepthBytes * i, depths, DepthBytes * rest);
}

template <bool Blend>
OutputFunction PickOutputByDepth(const RowOutput& o) {
    const bool lessEqual = o.depthFunc == D3DCMP_LESSEQUAL;
    switch (o.depthBytes) {
    case 2: return lessEqual ? OutputRun<2, Blend, true> : OutputRun<2, Blend, false>;
    case 4: return lessEqual ? OutputRun<4, Blend, true> : OutputRun<4, Blend, false>;
    default: return OutputRun<0, Blend, false>;
    }
}

OutputFunction PickOutput(const RowOutput& o) { return o.blend ? PickOutputByDepth<true>(o) : PickOutputByDepth<false>(o); }

void Output(const RowOutput& o, const std::uint32_t* source, int count, std::uint8_t* target, std::uint8_t* depth) {
    PickOutput(o)(o, source, count, target, depth);
}

void DrawBlock(const RowShading& shading, bool shade, const RowOutput& output, const RowBlock& b) {
    constexpr int kRun = 256;  // pixels shaded into the buffer at a time
    const ShadeFunction shadeRun = PickShade(shading);
    const OutputFunction outputRun = PickOutput(output);
    std::uint32_t buffer[kRun];
    const std::uint8_t* texels = b.texels;
    std::uint8_t* target = b.target;
    std::uint8_t* depth = b.depth;
    for (int y = 0; y < b.height; ++y) {
        for (int x = 0; x < b.width; x += kRun) {
            const int count = b.width - x < kRun ? b.width - x : kRun;
            const std::uint32_t* row = texels != nullptr ? reinterpret_cast<const std::uint32_t*>(texels) + x : nullptr;
            const std::uint32_t* source = row;
            if (shade) {
                shadeRun(shading, row, count, buffer);
                source = buffer;
            }
            outputRun(output, source, count, target + 4 * x, depth != nullptr ? depth + output.depthBytes * x : nullptr);
        }
        if (texels != nullptr) texels += b.texelPitch;
        target += b.targetPitch;
        if (depth != nullptr) depth += b.depthPitch;
    }
}

const RowKernels kKernels{Shade, Output, DrawBlock};
