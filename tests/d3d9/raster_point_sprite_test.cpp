// Points with a size of their own (FVF 0x62) and point sprites: the square each vertex covers,
// the texture spread across it, and the layouts and states that are refused.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/d3d9/raster_test_scene.h"

namespace d3d9sw::testing {
namespace {

constexpr std::uint32_t kBlack = 0xFF000000u;

struct SizedPoint {  // FVF 0x62
    float x, y, z;
    float size;
    std::uint32_t diffuse;
};
static_assert(sizeof(SizedPoint) == 20);

void SetFloat(RasterScene& scene, D3DRENDERSTATETYPE state, float value) {
    std::memcpy(&scene.renderStates[state], &value, sizeof value);
}

// A point centred on pixel corner (px, py) of the scene's target, so that an even size covers
// whole pixels.
SizedPoint At(const RasterScene& scene, float px, float py, float size, std::uint32_t diffuse) {
    const auto w = static_cast<float>(scene.state.target.width), h = static_cast<float>(scene.state.target.height);
    return {(px - 0.5f) / w * 2.0f - 1.0f, 1.0f - (py - 0.5f) / h * 2.0f, 0.5f, size, diffuse};
}

HRESULT DrawPoints(RasterScene& scene, const std::vector<SizedPoint>& points,
                   D3DPRIMITIVETYPE type = D3DPT_POINTLIST) {
    DrawCall call;
    call.type = type;
    call.fvf = kFvfPointSize;
    call.vertices = reinterpret_cast<const std::uint8_t*>(points.data());
    call.vertexStride = sizeof(SizedPoint);
    call.vertexCount = static_cast<UINT>(points.size());
    call.primitiveCount = static_cast<UINT>(type == D3DPT_POINTLIST ? points.size() : points.size() / 3);
    return Rasterize(scene.state, call);
}

TEST(RasterPointSprites, EachPointCoversTheSquareOfItsOwnSizeWithinTheLimits) {
    RasterScene scene(16, 8);
    UseDiffuseOnly(scene);
    SetFloat(scene, D3DRS_POINTSIZE_MIN, 0.0f);
    SetFloat(scene, D3DRS_POINTSIZE_MAX, 4.0f);
    const std::uint32_t red = 0xFFFF0000u, green = 0xFF00FF00u, blue = 0xFF0000FFu;
    // Sizes 2, 6 (held to 4) and 0 (nothing).
    ASSERT_EQ(DrawPoints(scene, {At(scene, 2, 2, 2, red), At(scene, 9, 4, 6, green), At(scene, 14, 2, 0, blue)}),
              D3D_OK);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            std::uint32_t want = kBlack;
            if (x >= 1 && x < 3 && y >= 1 && y < 3) want = red;
            if (x >= 7 && x < 11 && y >= 2 && y < 6) want = green;
            EXPECT_EQ(scene.Pixel(x, y), want) << "pixel " << x << "," << y;
        }
}

TEST(RasterPointSprites, ASpriteSpreadsTheTextureOverItsSquare) {
    RasterScene scene(12, 12);
    scene.stageStates[0][D3DTSS_COLOROP] = D3DTOP_SELECTARG1;
    SetFloat(scene, D3DRS_POINTSIZE_MAX, 100.0f);
    scene.renderStates[D3DRS_POINTSPRITEENABLE] = TRUE;
    // 2 x 2 texels, drawn as an 8-pixel sprite: each texel covers 4 x 4 pixels.
    const std::vector<std::uint32_t> texels = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
    scene.SetTexture(0, D3DFMT_A8R8G8B8, 2, 2, texels);
    ASSERT_EQ(DrawPoints(scene, {At(scene, 6, 6, 8, 0xFFFFFFFFu)}), D3D_OK);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) {
            const bool inside = x >= 2 && x < 10 && y >= 2 && y < 10;
            const std::uint32_t want = inside ? texels[(y - 2) / 4 * 2 + (x - 2) / 4] : kBlack;
            EXPECT_EQ(scene.Pixel(x, y), want) << "pixel " << x << "," << y;
        }

    // Without sprites the point takes the vertex's coordinates (0, 0): the first texel.
    scene.renderStates[D3DRS_POINTSPRITEENABLE] = FALSE;
    ASSERT_EQ(DrawPoints(scene, {At(scene, 6, 6, 8, 0xFFFFFFFFu)}), D3D_OK);
    EXPECT_EQ(scene.Pixel(9, 9), texels[0]);
}

TEST(RasterPointSprites, ScaledPointsAndSizedTrianglesAreRefused) {
    RasterScene scene(8, 8);
    UseDiffuseOnly(scene);
    const std::vector<SizedPoint> points = {At(scene, 2, 2, 2, 0xFFFFFFFFu), At(scene, 6, 2, 2, 0xFFFFFFFFu),
                                            At(scene, 2, 6, 2, 0xFFFFFFFFu)};
    EXPECT_EQ(DrawPoints(scene, points, D3DPT_TRIANGLELIST), D3DERR_INVALIDCALL);
    scene.renderStates[D3DRS_POINTSCALEENABLE] = TRUE;
    EXPECT_EQ(DrawPoints(scene, points), D3DERR_INVALIDCALL);
    EXPECT_EQ(scene.CountPixels(kBlack), 64) << "nothing is drawn";
}

}  // namespace
}  // namespace d3d9sw::testing
