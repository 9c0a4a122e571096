// Blending with every factor and operation, colour write masks and the target formats.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "platform/d3d9/raster_types.h"
#include "tests/d3d9/raster_test_scene.h"

namespace d3d9sw::testing {
namespace {

// Source and destination colours of every blend case, as 0..255 channels {a, r, g, b}.
constexpr std::uint32_t kSource = 0x60C020A0u;
constexpr std::uint32_t kDest = 0x804080C0u;
constexpr std::uint32_t kBlendFactor = 0x3366CC99u;

// The factor's value for one channel (0 alpha, 1 red, 2 green, 3 blue) in 0..1, from the
// documented definitions.
double FactorValue(DWORD factor, int channel, std::uint32_t src, std::uint32_t dst) {
    auto ch = [](std::uint32_t argb, int c) { return ((argb >> (24 - 8 * c)) & 0xFF) / 255.0; };
    const double as = ch(src, 0), ad = ch(dst, 0);
    switch (factor) {
    case D3DBLEND_ZERO: return 0;
    case D3DBLEND_ONE: return 1;
    case D3DBLEND_SRCCOLOR: return ch(src, channel);
    case D3DBLEND_INVSRCCOLOR: return 1 - ch(src, channel);
    case D3DBLEND_SRCALPHA: return as;
    case D3DBLEND_INVSRCALPHA: return 1 - as;
    case D3DBLEND_DESTALPHA: return ad;
    case D3DBLEND_INVDESTALPHA: return 1 - ad;
    case D3DBLEND_DESTCOLOR: return ch(dst, channel);
    case D3DBLEND_INVDESTCOLOR: return 1 - ch(dst, channel);
    case D3DBLEND_SRCALPHASAT: return channel == 0 ? 1 : std::min(as, 1 - ad);
    case D3DBLEND_BLENDFACTOR: return ch(kBlendFactor, channel);
    case D3DBLEND_INVBLENDFACTOR: return 1 - ch(kBlendFactor, channel);
    default: return -1;
    }
}

std::uint32_t Expected(DWORD srcFactor, DWORD dstFactor, DWORD op) {
    std::uint32_t out = 0;
    for (int c = 0; c < 4; ++c) {
        const double s = ((kSource >> (24 - 8 * c)) & 0xFF), d = ((kDest >> (24 - 8 * c)) & 0xFF);
        const double sf = FactorValue(srcFactor, c, kSource, kDest), df = FactorValue(dstFactor, c, kSource, kDest);
        double v = 0;
        switch (op) {
        case D3DBLENDOP_ADD: v = s * sf + d * df; break;
        case D3DBLENDOP_SUBTRACT: v = s * sf - d * df; break;
        case D3DBLENDOP_REVSUBTRACT: v = d * df - s * sf; break;
        case D3DBLENDOP_MIN: v = std::min(s, d); break;
        default: v = std::max(s, d); break;
        }
        out |= static_cast<std::uint32_t>(std::floor(std::clamp(v, 0.0, 255.0) + 0.5)) << (24 - 8 * c);
    }
    return out;
}

std::uint32_t BlendOnePixel(DWORD srcFactor, DWORD dstFactor, DWORD op, D3DFORMAT format = D3DFMT_A8R8G8B8) {
    RasterScene scene(1, 1, format);
    UseDiffuseOnly(scene);
    ClearColor(scene.state.target, {0, 0, 1, 1}, kDest, true);
    scene.renderStates[D3DRS_ALPHABLENDENABLE] = TRUE;
    scene.renderStates[D3DRS_SRCBLEND] = srcFactor;
    scene.renderStates[D3DRS_DESTBLEND] = dstFactor;
    scene.renderStates[D3DRS_BLENDOP] = op;
    scene.renderStates[D3DRS_BLENDFACTOR] = kBlendFactor;
    scene.AddQuad(0, 0, 1, 1, 0.5f, kSource);
    EXPECT_EQ(scene.Draw(), D3D_OK);
    return scene.Pixel(0, 0);
}

// Every float on either side of each rounding boundary k + 0.5 and each level k, and a sweep
// of the range, round as std::lround did.
TEST(RasterBlend, ChannelsRoundAsTheLibraryRounds) {
    auto library = [](float value) { return static_cast<int>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f)); };
    for (int k = 0; k <= 255; ++k)
        for (float centre : {(k + 0.5f) / 255.0f, k / 255.0f}) {
            float below = centre, above = centre;
            for (int step = 0; step < 64; ++step) {
                ASSERT_EQ(UnitToChannel(below), library(below)) << below;
                ASSERT_EQ(UnitToChannel(above), library(above)) << above;
                below = std::nextafter(below, -1.0f);
                above = std::nextafter(above, 2.0f);
            }
        }
    for (int i = -1000; i <= 1001000; ++i) {
        const float value = static_cast<float>(i) / 1000000.0f;
        ASSERT_EQ(UnitToChannel(value), library(value)) << value;
    }
    EXPECT_EQ(UnitToChannel(std::nanf("")), 0);
    EXPECT_EQ(UnitToChannel(-INFINITY), 0);
    EXPECT_EQ(UnitToChannel(INFINITY), 255);
}

TEST(RasterBlend, HandComputedPixels) {
    // src (a 96, r 192, g 32, b 160) over dst (a 128, r 64, g 128, b 192).
    // SRCALPHA/INVSRCALPHA: r = (192*96 + 64*159) / 255 = 112.2 -> 112; g = (32*96 + 128*159) / 255
    // = 91.9 -> 92; b = (160*96 + 192*159) / 255 = 179.9 -> 180; a = (96*96 + 128*159) / 255 = 115.9 -> 116.
    EXPECT_EQ(BlendOnePixel(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD), 0x74705CB4u);
    // ONE/ONE saturates: r 255, g 160, b 255, a 224.
    EXPECT_EQ(BlendOnePixel(D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_ADD), 0xE0FFA0FFu);
    // DESTCOLOR/ZERO multiplies: r 192*64/255 = 48.2, g 32*128/255 = 16.1, b 160*192/255 = 120.47, a 96*128/255 = 48.2.
    EXPECT_EQ(BlendOnePixel(D3DBLEND_DESTCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD), 0x30301078u);
    // REVSUBTRACT ONE/ONE: dst - src, clamped at 0: r 0, g 96, b 32, a 32.
    EXPECT_EQ(BlendOnePixel(D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT), 0x20006020u);
    // MIN and MAX ignore the factors.
    EXPECT_EQ(BlendOnePixel(D3DBLEND_ZERO, D3DBLEND_ZERO, D3DBLENDOP_MIN), 0x604020A0u);
    EXPECT_EQ(BlendOnePixel(D3DBLEND_ZERO, D3DBLEND_ZERO, D3DBLENDOP_MAX), 0x80C080C0u);
}

TEST(RasterBlend, EveryFactorPairAndOperation) {
    for (DWORD op = D3DBLENDOP_ADD; op <= D3DBLENDOP_MAX; ++op)
        for (DWORD sf = D3DBLEND_ZERO; sf <= D3DBLEND_INVBLENDFACTOR; ++sf)
            for (DWORD df = D3DBLEND_ZERO; df <= D3DBLEND_INVBLENDFACTOR; ++df) {
                if (sf == D3DBLEND_BOTHSRCALPHA || sf == D3DBLEND_BOTHINVSRCALPHA) continue;
                if (df == D3DBLEND_BOTHSRCALPHA || df == D3DBLEND_BOTHINVSRCALPHA) continue;
                ASSERT_EQ(BlendOnePixel(sf, df, op), Expected(sf, df, op)) << "src " << sf << " dst " << df << " op " << op;
            }
    // BOTHSRCALPHA sets both factors; as a destination factor it is refused.
    EXPECT_EQ(BlendOnePixel(D3DBLEND_BOTHSRCALPHA, D3DBLEND_ZERO, D3DBLENDOP_ADD),
              Expected(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD));
    EXPECT_EQ(BlendOnePixel(D3DBLEND_BOTHINVSRCALPHA, D3DBLEND_ONE, D3DBLENDOP_ADD),
              Expected(D3DBLEND_INVSRCALPHA, D3DBLEND_SRCALPHA, D3DBLENDOP_ADD));
    RasterScene scene(1, 1);
    UseDiffuseOnly(scene);
    scene.renderStates[D3DRS_ALPHABLENDENABLE] = TRUE;
    scene.renderStates[D3DRS_DESTBLEND] = D3DBLEND_BOTHSRCALPHA;
    scene.AddQuad(0, 0, 1, 1, 0.5f, kSource);
    EXPECT_EQ(scene.Draw(), D3DERR_INVALIDCALL);
}

TEST(RasterBlend, SeparateAlphaAndTargetsWithoutAlpha) {
    RasterScene scene(1, 1, D3DFMT_A8R8G8B8);
    UseDiffuseOnly(scene);
    ClearColor(scene.state.target, {0, 0, 1, 1}, kDest, true);
    scene.renderStates[D3DRS_ALPHABLENDENABLE] = TRUE;
    scene.renderStates[D3DRS_SRCBLEND] = D3DBLEND_SRCALPHA;
    scene.renderStates[D3DRS_DESTBLEND] = D3DBLEND_INVSRCALPHA;
    scene.renderStates[D3DRS_SEPARATEALPHABLENDENABLE] = TRUE;
    scene.renderStates[D3DRS_SRCBLENDALPHA] = D3DBLEND_ONE;
    scene.renderStates[D3DRS_DESTBLENDALPHA] = D3DBLEND_ONE;
    scene.AddQuad(0, 0, 1, 1, 0.5f, kSource);
    ASSERT_EQ(scene.Draw(), D3D_OK);
    EXPECT_EQ(scene.Pixel(0, 0), 0xE0705CB4u);  // colour as SRCALPHA/INVSRCALPHA, alpha 96 + 128

    // An X8R8G8B8 target reads destination alpha as 1: DESTALPHA/ZERO leaves the source.
    EXPECT_EQ(BlendOnePixel(D3DBLEND_DESTALPHA, D3DBLEND_ZERO, D3DBLENDOP_ADD, D3DFMT_X8R8G8B8), 0xFFC020A0u);
    EXPECT_EQ(BlendOnePixel(D3DBLEND_ONE, D3DBLEND_INVDESTALPHA, D3DBLENDOP_ADD, D3DFMT_R5G6B5),
              0xFFBD209Cu);  // the source at 5/6/5 bits: r 23/31, g 8/63, b 19/31
}

TEST(RasterBlend, ColorWriteEnableMasksChannels) {
    RasterScene scene(1, 1, D3DFMT_A8R8G8B8);
    UseDiffuseOnly(scene);
    ClearColor(scene.state.target, {0, 0, 1, 1}, kDest, true);
    scene.renderStates[D3DRS_COLORWRITEENABLE] = 0x1 | 0x8;  // red and alpha
    scene.AddQuad(0, 0, 1, 1, 0.5f, kSource);
    ASSERT_EQ(scene.Draw(), D3D_OK);
    EXPECT_EQ(scene.Pixel(0, 0), 0x60C080C0u);
}

TEST(RasterBlend, GouraudAndFlatShading) {
    // A quad from red on the left to blue on the right: Gouraud interpolates at pixel centres,
    // FLAT takes each triangle's first vertex.
    for (DWORD shade : {DWORD{D3DSHADE_GOURAUD}, DWORD{D3DSHADE_FLAT}}) {
        RasterScene scene(4, 1);
        UseDiffuseOnly(scene);
        scene.renderStates[D3DRS_SHADEMODE] = shade;
        const float l = -1.0f - 0.25f, r = 1.0f - 0.25f;  // pixel borders -0.5 .. 3.5
        const std::uint32_t red = 0xFFFF0000u, blue = 0xFF0000FFu;
        scene.vertices = {{l, 1, 0.5f, red, 0, 0},  {r, 1, 0.5f, blue, 0, 0}, {l, -1, 0.5f, red, 0, 0},
                          {r, 1, 0.5f, blue, 0, 0}, {r, -1, 0.5f, blue, 0, 0}, {l, -1, 0.5f, red, 0, 0}};
        ASSERT_EQ(scene.Draw(), D3D_OK);
        if (shade == D3DSHADE_GOURAUD) {
            // Centres at 0.5/4 .. 3.5/4 of the way: red 223, 159, 96, 32.
            EXPECT_EQ(scene.Pixel(0, 0), 0xFFDF0020u);
            EXPECT_EQ(scene.Pixel(3, 0), 0xFF2000DFu);
        } else {
            for (int x = 0; x < 4; ++x) {
                const std::uint32_t p = scene.Pixel(x, 0);
                EXPECT_TRUE(p == red || p == blue) << std::hex << p;
            }
        }
    }
}

}  // namespace
}  // namespace d3d9sw::testing
