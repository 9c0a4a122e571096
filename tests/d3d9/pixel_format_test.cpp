// Surface layouts, single-pixel conversion and DXT blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

#include "platform/d3d9/pixel_format.h"
#include "tests/d3d9/raster_test_scene.h"

namespace d3d9sw::testing {
namespace {

TEST(PixelFormat, BlockLayoutAndSizeOverflow) {
    EXPECT_EQ(RowPitch(D3DFMT_DXT1, 5), 16u);  // two 8-byte blocks
    EXPECT_EQ(RowCount(D3DFMT_DXT3, 9), 3u);
    EXPECT_EQ(SurfaceBytes(D3DFMT_DXT5, 1, 1), 16u);
    EXPECT_EQ(SurfaceBytes(D3DFMT_R8G8B8, 4, 4), 0u) << "unsupported format";
    constexpr unsigned kHuge = std::numeric_limits<unsigned>::max();
    EXPECT_EQ(SurfaceBytes(D3DFMT_A8R8G8B8, kHuge, kHuge), 0u) << "2^66 bytes overflow";
}

TEST(PixelFormat, WriteThenReadRoundsToEachFormat) {
    struct Case {
        D3DFORMAT format;
        std::uint32_t written, read;
    };
    const Case cases[] = {
        {D3DFMT_A8R8G8B8, 0x12345678u, 0x12345678u}, {D3DFMT_X8R8G8B8, 0x12345678u, 0xFF345678u},
        // 0x34 -> 5 bits: 0x34 * 31 / 255 = 6.3 -> 6 -> 0x31; 0x56 -> 6 bits: 21.2 -> 21 -> 0x55; 0x78 -> 14.6 -> 15 -> 0x7B.
        {D3DFMT_R5G6B5, 0x12345678u, 0xFF31557Bu},
        {D3DFMT_X1R5G5B5, 0x00345678u, 0xFF31527Bu}, {D3DFMT_A1R5G5B5, 0x80345678u, 0xFF31527Bu},
        {D3DFMT_A1R5G5B5, 0x7F345678u, 0x0031527Bu}, {D3DFMT_A4R4G4B4, 0x12345678u, 0x11335577u},
        {D3DFMT_A8, 0x12345678u, 0x12000000u},       {D3DFMT_L8, 0xFFFF0000u, 0xFF363636u},
    };
    for (const Case& c : cases) {
        Surface surface(c.format, 3, 2);
        WritePixel(surface.view, 2, 1, c.written);
        EXPECT_EQ(ReadPixel(surface.view, 2, 1), c.read) << "format " << c.format << " got " << std::hex << ReadPixel(surface.view, 2, 1);
        EXPECT_EQ(ReadPixel(surface.view, 0, 0) & 0x00FFFFFFu, 0u) << "a neighbour changed";
    }
}

TEST(PixelFormat, ClearsStoreAtTheFormatsPrecision) {
    for (bool avx2 : {false, true}) {
        // D24S8 rows of 19: whole vectors and a tail, each pixel's stencil byte its own.
        Surface d16(D3DFMT_D16, 4, 4), d24(D3DFMT_D24S8, 19, 4);
        for (std::size_t i = 0; i < d24.bits.size(); ++i) d24.bits[i] = static_cast<std::uint8_t>(0x5A + i);
        ClearDepth(d16.view, {1, 1, 3, 3}, 0.5f, avx2);
        ClearDepth(d24.view, {-5, -5, 50, 50}, 1.0f, avx2);  // clipped to the surface
        std::uint16_t raw16[2];
        std::memcpy(raw16, d16.bits.data() + 1 * d16.view.pitch, 4);
        EXPECT_EQ(raw16[0], 0) << "outside the rectangle";
        EXPECT_EQ(raw16[1], 32768) << "round(0.5 * 65535)";
        int wrong = 0;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 19; ++x) {
                const std::size_t at = static_cast<std::size_t>(y) * d24.view.pitch + 4 * static_cast<std::size_t>(x);
                std::uint32_t raw24;
                std::memcpy(&raw24, d24.bits.data() + at, 4);
                wrong += raw24 != (0xFFFFFF00u | static_cast<std::uint8_t>(0x5A + at));  // stencil kept
            }
        EXPECT_EQ(wrong, 0) << "AVX2 " << avx2;
        // D24X8 has no stencil: its rows are filled whole, the rectangle's edges kept.
        Surface d24x(D3DFMT_D24X8, 19, 3);
        std::fill(d24x.bits.begin(), d24x.bits.end(), std::uint8_t{0x33});
        ClearDepth(d24x.view, {2, 1, 19, 2}, 0.0f, avx2);
        wrong = 0;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 19; ++x) {
                std::uint32_t raw;
                std::memcpy(&raw, d24x.bits.data() + static_cast<std::size_t>(y) * d24x.view.pitch + 4 * x, 4);
                wrong += raw != (y == 1 && x >= 2 ? 0u : 0x33333333u);
            }
        EXPECT_EQ(wrong, 0) << "D24X8, AVX2 " << avx2;
    }
}

TEST(PixelFormat, ColourClearsFillTheirRectangleInEveryPixelSize) {
    // Rows of 31 of 37 pixels: whole vectors and a tail for the 32-bit kernels; widths that are
    // not powers of two for the other sizes, whose row is filled by doubling its first pixel.
    for (bool avx2 : {false, true})
        for (D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A4R4G4B4, D3DFMT_A8}) {
            Surface surface(format, 37, 5);
            Surface one(format, 1, 1);
            WritePixel(one.view, 0, 0, 0x9C3E71A5u);
            const std::uint32_t cleared = ReadPixel(one.view, 0, 0), untouched = ReadPixel(surface.view, 0, 0);
            ASSERT_NE(cleared, untouched) << "format " << format;
            ClearColor(surface.view, {3, 1, 34, 4}, 0x9C3E71A5u, avx2);
            int wrong = 0;
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 37; ++x) {
                    const bool inside = x >= 3 && x < 34 && y >= 1 && y < 4;
                    wrong += ReadPixel(surface.view, x, y) != (inside ? cleared : untouched);
                }
            EXPECT_EQ(wrong, 0) << "format " << format << " AVX2 " << avx2;
        }
}

// Largest channel difference between two ARGB colours.
int MaxChannelError(std::uint32_t a, std::uint32_t b, bool withAlpha) {
    int worst = 0;
    for (int shift = 0; shift < (withAlpha ? 32 : 24); shift += 8)
        worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    return worst;
}

TEST(PixelFormat, DxtRoundTripWithinTheFormatsError) {
    std::mt19937 random(11);
    for (D3DFORMAT format : {D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_DXT5}) {
        for (int trial = 0; trial < 50; ++trial) {
            // A smooth gradient block between two colours, with a gradient of alpha: what the
            // encoder can represent within its 4-colour (and 8-alpha) palette.
            std::uint32_t in[16], out[16];
            const std::uint32_t c0 = random(), c1 = random();
            for (int i = 0; i < 16; ++i) {
                std::uint32_t p = 0;
                const int t = (i % 4) * 85;  // 0, 85, 170, 255 across the row
                for (int shift = 0; shift < 24; shift += 8) {
                    const int a = (c0 >> shift) & 0xFF, b = (c1 >> shift) & 0xFF;
                    p |= static_cast<std::uint32_t>((a * (255 - t) + b * t) / 255) << shift;
                }
                const std::uint32_t alpha = format == D3DFMT_DXT1 ? 255 : static_cast<std::uint32_t>((i / 4) * 85);
                in[i] = p | alpha << 24;
            }
            std::uint8_t block[16];
            EncodeDxtBlock(format, in, block);
            DecodeDxtBlock(format, block, out);
            for (int i = 0; i < 16; ++i) {
                // 5/6/5 endpoints and thirds between them: within 12 levels on a gradient;
                // DXT3 alpha has 4 bits (error <= 8); DXT5 alpha spans 0..255 in seven steps
                // here (error <= 255 / 14).
                EXPECT_LE(MaxChannelError(in[i], out[i], false), 12) << "format " << format << std::hex << " " << in[i] << " -> " << out[i];
                const int alphaError = std::abs(static_cast<int>(in[i] >> 24) - static_cast<int>(out[i] >> 24));
                EXPECT_LE(alphaError, format == D3DFMT_DXT1 ? 0 : format == D3DFMT_DXT3 ? 8 : 18) << "format " << format;
            }
        }
    }
}

TEST(PixelFormat, DxtEdgeCases) {
    // A solid block comes back exactly (for colours on the 5/6/5 grid), alpha included.
    std::uint32_t solid[16], out[16];
    std::fill(std::begin(solid), std::end(solid), 0xFF84C6F7u);  // r 0x84, g 0xC6 = 6-bit 49, b 0xF7
    for (D3DFORMAT format : {D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_DXT5}) {
        std::uint8_t block[16];
        EncodeDxtBlock(format, solid, block);
        DecodeDxtBlock(format, block, out);
        for (int i = 0; i < 16; ++i) EXPECT_LE(MaxChannelError(solid[i], out[i], true), 4) << format << std::hex << " " << out[i];
    }
    // DXT1 one-bit alpha: transparent pixels decode as transparent black, the rest stay opaque.
    std::uint32_t cutout[16];
    for (int i = 0; i < 16; ++i) cutout[i] = (i % 3 == 0) ? 0x00FFFFFFu : 0xFF2040C0u + (i & 1) * 0x00101010u;
    std::uint8_t block[8];
    EncodeDxtBlock(D3DFMT_DXT1, cutout, block);
    DecodeDxtBlock(D3DFMT_DXT1, block, out);
    for (int i = 0; i < 16; ++i) {
        if (i % 3 == 0) {
            EXPECT_EQ(out[i], 0u) << i;
        } else {
            EXPECT_EQ(out[i] >> 24, 0xFFu) << i;
            EXPECT_LE(MaxChannelError(cutout[i], out[i], false), 12) << i;
        }
    }
    // Hand-made blocks: DXT1 with c0 <= c1 is the three-colour mode with transparent index 3.
    const std::uint8_t threeColour[8] = {0x00, 0x00, 0xFF, 0xFF, 0b11100100, 0, 0, 0};  // indices 0,1,2,3
    DecodeDxtBlock(D3DFMT_DXT1, threeColour, out);
    EXPECT_EQ(out[0], 0xFF000000u);
    EXPECT_EQ(out[1], 0xFFFFFFFFu);
    EXPECT_EQ(out[2], 0xFF808080u);
    EXPECT_EQ(out[3], 0x00000000u);
    // DXT5 alpha with a0 <= a1 has explicit 0 and 255 at indices 6 and 7.
    std::uint8_t dxt5[16] = {10, 200};
    dxt5[2] = 6 | (7 << 3);  // pixel 0 -> index 6, pixel 1 -> index 7
    DecodeDxtBlock(D3DFMT_DXT5, dxt5, out);
    EXPECT_EQ(out[0] >> 24, 0u);
    EXPECT_EQ(out[1] >> 24, 255u);
    EXPECT_EQ(out[2] >> 24, 10u);
}

}  // namespace
}  // namespace d3d9sw::testing
