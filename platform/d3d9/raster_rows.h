#pragma once
// Vectorised row kernels: the per-pixel work of a row whose diffuse colour and depth are the
// same at every pixel and whose texels lie side by side in memory, as in the rows of an
// unrotated quad mapped texel for pixel. Two passes over a run of pixels: shading (texel and
// diffuse into the source colour) and output (depth test and write, alpha test, blending,
// the target write). Both repeat the general loop's arithmetic exactly. Besides, bilinear
// filtering of the texels of a rotated or stretched span, AVX2 only.
//
// Each kernel exists twice, built for SSE2 (every x86-64 CPU) and for AVX2; the AVX2 form is
// used when the CPU has it and the caller allows it.
#include <cstdint>

#include "platform/d3d9/d3d9_types.h"

namespace d3d9sw {

// Where a channel group of the source colour comes from.
enum class RowSource : std::uint8_t {
    kTexture,   // the texel
    kDiffuse,   // the diffuse colour
    kModulate,  // texel times diffuse, (t * d + 127) / 255
};

struct RowShading {
    RowSource color = RowSource::kDiffuse;  // red, green, blue
    RowSource alpha = RowSource::kDiffuse;
    std::uint32_t diffuse = 0;       // 0xAARRGGBB
    std::uint32_t texelAlphaOr = 0;  // 0xFF000000 for a texture without alpha
};

struct RowOutput {
    int depthBytes = 0;  // 0: no depth test; 2: D16; 4: D24 in the high bits
    D3DCMPFUNC depthFunc = D3DCMP_LESSEQUAL;
    bool depthWrite = false;
    std::uint32_t depth = 0;  // the depth of every pixel, in depth-buffer units
    bool alphaTest = false;
    D3DCMPFUNC alphaFunc = D3DCMP_ALWAYS;
    std::uint32_t alphaRef = 0;
    bool blend = false;               // SRCALPHA / INVSRCALPHA / ADD, alpha included
    std::uint32_t targetAlphaOr = 0;  // 0xFF000000 for an X8R8G8B8 target
};

// A block of pixels: `height` rows of `width`, each array's rows `...Pitch` bytes apart.
struct RowBlock {
    const std::uint8_t* texels = nullptr;  // 32-bit texel of the first pixel; null when unread
    std::ptrdiff_t texelPitch = 0;
    std::uint8_t* target = nullptr;  // first pixel of a 32-bit target
    std::ptrdiff_t targetPitch = 0;
    std::uint8_t* depth = nullptr;   // its depth (null without a depth test)
    std::ptrdiff_t depthPitch = 0;
    int width = 0, height = 0;
};

// A run of pixels filtered bilinearly from a 32-bit texture at texture coordinates (32.32
// fixed point) u + i * uStep, v + i * vStep, as TextureSampler::Bilinear filters them, the four
// texels of every pixel inside the texture (no addressing). The texture is at most 65536 texels
// either way and height * pitch below 2^31 bytes.
struct BilinearRun {
    const std::uint8_t* bits = nullptr;  // the top-left texel
    std::ptrdiff_t pitch = 0;
    int width = 0, height = 0;
    std::uint32_t alphaOr = 0;  // 0xFF000000 for a texture without alpha
    std::int64_t u = 0, v = 0, uStep = 0, vStep = 0;
};
// texels[i] for `count` pixels of `run`.
using BilinearRunFunction = void (*)(const BilinearRun& run, int count, std::uint32_t* texels);

// source[i] for `count` pixels from texels[i] (read only when a group takes the texel, so
// null otherwise).
using RowShadeFunction = void (*)(const RowShading& shading, const std::uint32_t* texels, int count,
                                  std::uint32_t* source);

// Both passes over blocks, with the kernels for one shading and output set-up chosen once (per
// draw): what the set-up leaves open is the diffuse colour and the depth.
struct BlockKernel {
    void (*rows)(const RowShading& shading, RowShadeFunction shade, const RowOutput& output, const RowBlock& block) = nullptr;
    RowShadeFunction shade = nullptr;  // null: each texel is the source colour

    void Draw(const RowShading& shading, const RowOutput& output, const RowBlock& block) const {
        rows(shading, shade, output, block);
    }
};

struct RowKernels {
    RowShadeFunction shade;
    // Draws `count` pixels of 32-bit `target` from source[i]; `depth` points at the first
    // pixel's depth (null without a depth test).
    void (*output)(const RowOutput& output, const std::uint32_t* source, int count, std::uint8_t* target,
                   std::uint8_t* depth);
    // The block kernel for the set-up's sources, depth format and function and blending;
    // `shade` false takes each texel as the source colour.
    BlockKernel (*pickBlock)(const RowShading& shading, bool shade, const RowOutput& output);
    // Whole rows of 32-bit pixels: to[i] = bits, as a clear; to[i] = (to[i] & 0xFF) | bits, as
    // a depth clear that keeps the stencil byte; and to[i] = from[i] | bits, as a present of
    // 32-bit pixels.
    void (*fillPixels)(std::uint32_t* to, int count, std::uint32_t bits);
    void (*fillKeepingLowByte)(std::uint32_t* to, int count, std::uint32_t bits);
    void (*copyPixelsOr)(std::uint32_t* to, const std::uint8_t* from, int count, std::uint32_t bits);
    // Null in the SSE2 build, which has no gathers: the caller's scalar loop serves there.
    BilinearRunFunction bilinearRun;
};

// Whether the CPU runs AVX2.
bool CpuHasAvx2();
// The AVX2 kernels when `avx2` is set and the CPU has it, the SSE2 ones otherwise.
const RowKernels& SelectRowKernels(bool avx2);

// The two builds (raster_rows_sse2.cpp, raster_rows_avx2.cpp).
const RowKernels& RowKernelsSse2();
const RowKernels& RowKernelsAvx2();

}  // namespace d3d9sw
