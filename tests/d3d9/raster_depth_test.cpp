// Depth test and write at the depth buffer's precision, and the alpha test.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/d3d9/raster_test_scene.h"

namespace d3d9sw::testing {
namespace {

constexpr std::uint32_t kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u, kBlue = 0xFF0000FFu;

// Every compare function and whether it passes a value below, equal to and above the reference.
struct CompareCase {
    DWORD func;
    bool below, equal, above;
};
constexpr CompareCase kCompareCases[] = {
    {D3DCMP_NEVER, false, false, false},  {D3DCMP_LESS, true, false, false},      {D3DCMP_EQUAL, false, true, false},
    {D3DCMP_LESSEQUAL, true, true, false}, {D3DCMP_GREATER, false, false, true},  {D3DCMP_NOTEQUAL, true, false, true},
    {D3DCMP_GREATEREQUAL, false, true, true}, {D3DCMP_ALWAYS, true, true, true}};

TEST(RasterDepth, LaterQuadsAtSmallerDepthLandInFront) {
    for (D3DFORMAT depthFormat : {D3DFMT_D16, D3DFMT_D24S8, D3DFMT_D24X8}) {
        RasterScene scene(8, 8, D3DFMT_X8R8G8B8, depthFormat);
        UseDiffuseOnly(scene);
        scene.AddQuad(0, 0, 6, 6, 0.6f, kRed);
        scene.AddQuad(2, 2, 8, 8, 0.3f, kGreen);  // in front
        scene.AddQuad(0, 0, 8, 8, 0.9f, kBlue);   // behind both
        ASSERT_EQ(scene.Draw(), D3D_OK);
        EXPECT_EQ(scene.Pixel(1, 1), kRed) << depthFormat;
        EXPECT_EQ(scene.Pixel(3, 3), kGreen) << depthFormat;
        EXPECT_EQ(scene.Pixel(7, 0), kBlue) << depthFormat;
        EXPECT_NEAR(static_cast<double>(scene.Depth(3, 3)), 0.3 * 16777215.0, depthFormat == D3DFMT_D16 ? 256.0 : 1.0)
            << depthFormat;
    }
}

TEST(RasterDepth, D16QuantisesSoNearlyEqualDepthsTie) {
    // 0.5 and 0.5 + 1e-6 are one D16 step apart at most, so they store the same value: a
    // LESSEQUAL test passes the second quad, LESS rejects it. A 24-bit buffer tells them apart.
    const float z0 = 0.5f, z1 = 0.5f + 1e-6f;
    ASSERT_EQ(std::lround(z0 * 65535.0), std::lround(z1 * 65535.0));
    ASSERT_NE(std::lround(z0 * 16777215.0), std::lround(z1 * 16777215.0));
    struct Case {
        D3DFORMAT format;
        DWORD func;
        bool secondDrawn;
    };
    for (const Case& c : {Case{D3DFMT_D16, D3DCMP_LESSEQUAL, true}, Case{D3DFMT_D16, D3DCMP_LESS, false},
                          Case{D3DFMT_D16, D3DCMP_EQUAL, true}, Case{D3DFMT_D24S8, D3DCMP_LESSEQUAL, false},
                          Case{D3DFMT_D24S8, D3DCMP_GREATER, true}}) {
        RasterScene scene(4, 4, D3DFMT_X8R8G8B8, c.format);
        UseDiffuseOnly(scene);
        scene.AddQuad(0, 0, 4, 4, z0, kRed);
        ASSERT_EQ(scene.Draw(), D3D_OK);
        scene.renderStates[D3DRS_ZFUNC] = c.func;
        scene.AddQuad(0, 0, 4, 4, z1, kGreen);
        ASSERT_EQ(scene.Draw(), D3D_OK);
        EXPECT_EQ(scene.Pixel(2, 2), c.secondDrawn ? kGreen : kRed) << "format " << c.format << " func " << c.func;
    }
    // The stored value is round(z * 65535), read back scaled to 24 bits.
    RasterScene scene(2, 2, D3DFMT_X8R8G8B8, D3DFMT_D16);
    UseDiffuseOnly(scene);
    scene.AddQuad(0, 0, 2, 2, 0.25f, kRed);
    ASSERT_EQ(scene.Draw(), D3D_OK);
    EXPECT_EQ(scene.Depth(0, 0), static_cast<std::uint32_t>((16384ull * 0xFFFFFF + 0x7FFF) / 0xFFFF));
}

TEST(RasterDepth, EveryCompareFunctionAndTheWriteSwitch) {
    for (const CompareCase& c : kCompareCases) {
        RasterScene scene(3, 1, D3DFMT_X8R8G8B8, D3DFMT_D16);
        UseDiffuseOnly(scene);
        scene.AddQuad(0, 0, 3, 1, 0.5f, kRed);
        ASSERT_EQ(scene.Draw(), D3D_OK);
        scene.renderStates[D3DRS_ZFUNC] = c.func;
        scene.AddQuad(0, 0, 1, 1, 0.25f, kGreen);
        scene.AddQuad(1, 0, 2, 1, 0.5f, kGreen);
        scene.AddQuad(2, 0, 3, 1, 0.75f, kGreen);
        ASSERT_EQ(scene.Draw(), D3D_OK);
        EXPECT_EQ(scene.Pixel(0, 0) == kGreen, c.below) << "func " << c.func;
        EXPECT_EQ(scene.Pixel(1, 0) == kGreen, c.equal) << "func " << c.func;
        EXPECT_EQ(scene.Pixel(2, 0) == kGreen, c.above) << "func " << c.func;
    }
    // Without depth writes a later, farther quad still passes.
    RasterScene scene(2, 2, D3DFMT_X8R8G8B8, D3DFMT_D24X8);
    UseDiffuseOnly(scene);
    scene.renderStates[D3DRS_ZWRITEENABLE] = FALSE;
    scene.AddQuad(0, 0, 2, 2, 0.2f, kRed);
    scene.AddQuad(0, 0, 2, 2, 0.8f, kGreen);
    ASSERT_EQ(scene.Draw(), D3D_OK);
    EXPECT_EQ(scene.Pixel(0, 0), kGreen);
    EXPECT_EQ(scene.Depth(0, 0), 0xFFFFFFu);
    // ZENABLE FALSE ignores the buffer entirely.
    scene.renderStates[D3DRS_ZENABLE] = D3DZB_FALSE;
    scene.renderStates[D3DRS_ZWRITEENABLE] = TRUE;
    scene.AddQuad(0, 0, 2, 2, 0.9f, kBlue);
    ASSERT_EQ(scene.Draw(), D3D_OK);
    EXPECT_EQ(scene.Pixel(0, 0), kBlue);
    EXPECT_EQ(scene.Depth(0, 0), 0xFFFFFFu);
}

TEST(RasterDepth, ViewportDepthRangeAndInterpolatedDepth) {
    // Z = MinZ + z * (MaxZ - MinZ): with the range 0.5..1 a quad at z 0.5 sits at 0.75.
    RasterScene scene(8, 1, D3DFMT_X8R8G8B8, D3DFMT_D24S8);
    UseDiffuseOnly(scene);
    scene.state.viewport.MinZ = 0.5f;
    scene.AddQuad(0, 0, 8, 1, 0.5f, kRed);
    ASSERT_EQ(scene.Draw(), D3D_OK);
    EXPECT_NEAR(static_cast<double>(scene.Depth(4, 0)), 0.75 * 16777215.0, 1.0);

    // Depth varies linearly across a sloped quad; pixel centres sample it.
    RasterScene slope(8, 1, D3DFMT_X8R8G8B8, D3DFMT_D24S8);
    UseDiffuseOnly(slope);
    const float l = -1.0f - 1.0f / 8, r = 1.0f - 1.0f / 8;  // pixel borders with the half-pixel offset
    const std::uint32_t c = kRed;
    slope.vertices = {{l, 1, 0, c, 0, 0}, {r, 1, 1, c, 0, 0}, {l, -1, 0, c, 0, 0},
                      {r, 1, 1, c, 0, 0}, {r, -1, 1, c, 0, 0}, {l, -1, 0, c, 0, 0}};
    ASSERT_EQ(slope.Draw(), D3D_OK);
    for (int x = 0; x < 8; ++x)
        EXPECT_NEAR(static_cast<double>(slope.Depth(x, 0)), (x + 0.5) / 8 * 16777215.0, 2.0) << "x " << x;
}

TEST(RasterAlphaTest, EveryCompareFunctionAgainstAlphaRef) {
    for (const CompareCase& c : kCompareCases) {
        RasterScene scene(3, 1, D3DFMT_X8R8G8B8, D3DFMT_D16);
        UseDiffuseOnly(scene);
        scene.renderStates[D3DRS_ALPHATESTENABLE] = TRUE;
        scene.renderStates[D3DRS_ALPHAFUNC] = c.func;
        scene.renderStates[D3DRS_ALPHAREF] = 0x80;
        scene.AddQuad(0, 0, 1, 1, 0.5f, 0x7F00FF00u);
        scene.AddQuad(1, 0, 2, 1, 0.5f, 0x8000FF00u);
        scene.AddQuad(2, 0, 3, 1, 0.5f, 0x8100FF00u);
        ASSERT_EQ(scene.Draw(), D3D_OK);
        const bool expected[3] = {c.below, c.equal, c.above};
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(scene.Pixel(x, 0) == kGreen, expected[x]) << "func " << c.func << " x " << x;
            // A pixel the alpha test rejects leaves the depth buffer alone.
            EXPECT_EQ(scene.Depth(x, 0) == 0xFFFFFFu, !expected[x]) << "func " << c.func << " x " << x;
        }
    }
}

}  // namespace
}  // namespace d3d9sw::testing
