// Which pixels a draw touches: pixel centres, the top-left rule, culling, clipping, points and
// lines, and draws rejected before anything is drawn.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "tests/d3d9/raster_test_scene.h"

namespace d3d9sw::testing {
namespace {

constexpr std::uint32_t kBlack = 0xFF000000u;
constexpr std::uint32_t kWhite = 0xFFFFFFFFu;

// Pixels that differ from black, as a bitmap of rows for readable failures.
std::vector<std::string> Coverage(const RasterScene& scene) {
    std::vector<std::string> rows;
    for (int y = 0; y < scene.state.target.height; ++y) {
        std::string row;
        for (int x = 0; x < scene.state.target.width; ++x) row += scene.Pixel(x, y) == kBlack ? '.' : '#';
        rows.push_back(row);
    }
    return rows;
}

TEST(RasterCoverage, RectangleWithHalfPixelOffsetCoversExactlyItsPixels) {
    for (D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A4R4G4B4}) {
        RasterScene scene(16, 12, format);
        UseDiffuseOnly(scene);
        scene.AddQuad(3, 2, 11, 7, 0.5f, kWhite);
        ASSERT_EQ(scene.Draw(), D3D_OK);
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 16; ++x) {
                const bool inside = x >= 3 && x < 11 && y >= 2 && y < 7;
                EXPECT_EQ(scene.Pixel(x, y), inside ? kWhite : kBlack) << "format " << format << " at " << x << "," << y;
            }
    }
}

TEST(RasterCoverage, AdjacentQuadsAndSharedDiagonalsDrawEveryPixelOnce) {
    // Additive blending shows a pixel drawn twice as brighter, a gap as black.
    RasterScene scene(40, 40);
    UseDiffuseOnly(scene);
    scene.renderStates[D3DRS_ALPHABLENDENABLE] = TRUE;
    scene.renderStates[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    scene.renderStates[D3DRS_DESTBLEND] = D3DBLEND_ONE;
    const std::uint32_t grey = 0xFF404040u;
    // A grid of quads with fractional edges, and a fan of triangles around a centre point.
    const float edges[] = {1.0f, 7.3f, 13.5f, 20.0f, 26.75f};
    for (int i = 0; i + 1 < 5; ++i)
        for (int j = 0; j + 1 < 5; ++j) scene.AddQuad(edges[i], edges[j], edges[i + 1], edges[j + 1], 0.5f, grey);
    ASSERT_EQ(scene.Draw(), D3D_OK);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            // Pixel x is inside [e - 0.5, e' - 0.5) when its centre is: x >= e - 0.5 and x < e' - 0.5.
            const bool inside = x + 0.5f >= 1.0f && x + 0.5f < 26.75f && y + 0.5f >= 1.0f && y + 0.5f < 26.75f;
            EXPECT_EQ(scene.Pixel(x, y), inside ? grey : kBlack) << "at " << x << "," << y;
        }

    RasterScene fan(32, 32);
    UseDiffuseOnly(fan);
    fan.renderStates[D3DRS_CULLMODE] = D3DCULL_NONE;
    fan.renderStates[D3DRS_ALPHABLENDENABLE] = TRUE;
    fan.renderStates[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    fan.renderStates[D3DRS_DESTBLEND] = D3DBLEND_ONE;
    const float ring[][2] = {{0.3f, 0.9f}, {0.8f, 0.1f}, {0.6f, -0.7f}, {-0.2f, -0.9f}, {-0.9f, -0.1f}, {-0.5f, 0.7f}};
    for (int i = 0; i < 6; ++i) {
        const auto& a = ring[i];
        const auto& b = ring[(i + 1) % 6];
        for (const Vertex& v : {Vertex{0.05f, 0.02f, 0.5f, grey, 0, 0}, Vertex{a[0], a[1], 0.5f, grey, 0, 0},
                                Vertex{b[0], b[1], 0.5f, grey, 0, 0}})
            fan.vertices.push_back(v);
    }
    ASSERT_EQ(fan.Draw(), D3D_OK);
    int drawn = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const std::uint32_t p = fan.Pixel(x, y);
            EXPECT_TRUE(p == grey || p == kBlack) << "pixel drawn twice at " << x << "," << y;
            drawn += p == grey;
        }
    EXPECT_GT(drawn, 400);
}

TEST(RasterCoverage, CullModesFollowScreenWinding) {
    struct Case {
        DWORD cull;
        bool clockwiseDrawn, counterClockwiseDrawn;
    };
    for (const Case& c : {Case{D3DCULL_NONE, true, true}, Case{D3DCULL_CW, false, true}, Case{D3DCULL_CCW, true, false}}) {
        RasterScene scene(8, 8);
        UseDiffuseOnly(scene);
        scene.renderStates[D3DRS_CULLMODE] = c.cull;
        scene.AddQuad(0, 0, 4, 8, 0.5f, kWhite);  // clockwise, as the library winds rectangles
        scene.AddQuad(8, 0, 4, 8, 0.5f, kWhite);  // mirrored: counter-clockwise
        ASSERT_EQ(scene.Draw(), D3D_OK);
        EXPECT_EQ(scene.Pixel(1, 1) == kWhite, c.clockwiseDrawn) << "cull " << c.cull;
        EXPECT_EQ(scene.Pixel(6, 1) == kWhite, c.counterClockwiseDrawn) << "cull " << c.cull;
    }
}

TEST(RasterCoverage, ClipsToViewportAndDepthRange) {
    RasterScene scene(16, 16);
    UseDiffuseOnly(scene);
    scene.state.viewport = {4, 2, 8, 6, 0.0f, 1.0f};
    // A triangle far larger than the clip volume fills exactly the viewport.
    for (const Vertex& v : {Vertex{-5, 5, 0.5f, kWhite, 0, 0}, Vertex{5, 5, 0.5f, kWhite, 0, 0}, Vertex{-5, -5, 0.5f, kWhite, 0, 0},
                            Vertex{5, 5, 0.5f, kWhite, 0, 0}, Vertex{5, -5, 0.5f, kWhite, 0, 0}, Vertex{-5, -5, 0.5f, kWhite, 0, 0}})
        scene.vertices.push_back(v);
    ASSERT_EQ(scene.Draw(), D3D_OK);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(scene.Pixel(x, y), (x >= 4 && x < 12 && y >= 2 && y < 8) ? kWhite : kBlack) << x << "," << y;

    // z exactly 1 and 0 draw; beyond either end nothing does.
    RasterScene depth(4, 1);
    UseDiffuseOnly(depth);
    depth.AddQuad(0, 0, 1, 1, 1.0f, kWhite);
    depth.AddQuad(1, 0, 2, 1, 0.0f, kWhite);
    depth.AddQuad(2, 0, 3, 1, 1.0001f, kWhite);
    depth.AddQuad(3, 0, 4, 1, -0.0001f, kWhite);
    ASSERT_EQ(depth.Draw(), D3D_OK);
    EXPECT_EQ(Coverage(depth)[0], "##..");

    // A triangle crossing z = 1 keeps only its near part.
    RasterScene slope(8, 1);
    UseDiffuseOnly(slope);
    const float l = -1.0f, r = 1.0f;
    for (const Vertex& v : {Vertex{l, 1, 0.5f, kWhite, 0, 0}, Vertex{r, 1, 1.5f, kWhite, 0, 0}, Vertex{l, -1, 0.5f, kWhite, 0, 0},
                            Vertex{r, 1, 1.5f, kWhite, 0, 0}, Vertex{r, -1, 1.5f, kWhite, 0, 0}, Vertex{l, -1, 0.5f, kWhite, 0, 0}})
        slope.vertices.push_back(v);
    ASSERT_EQ(slope.Draw(), D3D_OK);
    EXPECT_EQ(Coverage(slope)[0], "####....");
}

// A vertex at screen position (X, Y) in pixels of a 10 x 10 target.
Vertex At(float x, float y) { return Vertex{x / 5 - 1, 1 - y / 5, 0.5f, kWhite, 0, 0}; }

TEST(RasterCoverage, PointsAreSquaresUnderTheTopLeftRule) {
    struct Case {
        float x, y, size;
        RECT lit;
    } cases[] = {
        {2.0f, 3.0f, 1.0f, {2, 3, 3, 4}},  // on a pixel centre
        {2.5f, 3.5f, 1.0f, {2, 3, 3, 4}},  // on a corner (the library's offset): the square's top-left one
        {2.49f, 3.51f, 1.0f, {2, 4, 3, 5}},
        {2.51f, 3.49f, 1.0f, {3, 3, 4, 4}},
        {3.0f, 3.0f, 2.0f, {2, 2, 4, 4}},  // [2, 4): centres on the left and top edges are in
        {3.0f, 3.0f, 3.0f, {2, 2, 5, 5}},
        {0.2f, 9.8f, 4.0f, {0, 8, 3, 10}},  // cut by the viewport
    };
    for (const Case& c : cases) {
        RasterScene scene(10, 10);
        UseDiffuseOnly(scene);
        std::memcpy(&scene.renderStates[D3DRS_POINTSIZE], &c.size, sizeof c.size);
        scene.vertices = {At(c.x, c.y)};
        ASSERT_EQ(scene.Draw(D3DPT_POINTLIST), D3D_OK);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x) {
                const bool lit = x >= c.lit.left && x < c.lit.right && y >= c.lit.top && y < c.lit.bottom;
                EXPECT_EQ(scene.Pixel(x, y), lit ? kWhite : kBlack) << "point at " << c.x << "," << c.y << " size "
                                                                    << c.size << ": pixel " << x << "," << y;
            }
    }
}

TEST(RasterCoverage, LinesLightThePixelsWhoseDiamondsTheyLeave) {
    struct Case {
        const char* what;
        Vertex from, to;
        BOOL lastPixel;
        std::vector<std::string> lit;
    } cases[] = {
        {"centre to centre", At(1, 1), At(6, 1), TRUE, {"..........", ".######..."}},
        {"the last pixel left out", At(1, 1), At(6, 1), FALSE, {"..........", ".#####...."}},
        // Ends on pixel corners (the library's offset): a horizontal line touches only the
        // bottom corners of the row above, a vertical one the right corners of the column left.
        {"horizontal on corners", At(0.5f, 1.5f), At(5.5f, 1.5f), TRUE, {"..........", ".#####...."}},
        {"vertical on corners", At(2.5f, 0.5f), At(2.5f, 3.5f), TRUE, {"..........", "..#.......", "..#.......", "..#......."}},
        {"diagonal through centres", At(1, 1), At(4, 4), TRUE, {"..........", ".#........", "..#.......", "...#......", "....#....."}},
        {"steep, from a diamond's inside", At(6.2f, 0.9f), At(7.2f, 3.4f), FALSE,
         {"..........", "......#...", ".......#..", ".......#.."}},
        {"right to left", At(5, 2), At(1, 2), FALSE, {"..........", "..........", "..####...."}},
    };
    for (const Case& c : cases) {
        RasterScene scene(10, 10);
        UseDiffuseOnly(scene);
        scene.renderStates[D3DRS_LASTPIXEL] = c.lastPixel;
        scene.vertices = {c.from, c.to};
        ASSERT_EQ(scene.Draw(D3DPT_LINELIST), D3D_OK);
        std::vector<std::string> expected = c.lit;
        for (std::string& row : expected) row.resize(10, '.');
        expected.resize(10, "..........");
        EXPECT_EQ(Coverage(scene), expected) << c.what;
    }

    // Colours are interpolated along the line.
    RasterScene shaded(10, 1);
    UseDiffuseOnly(shaded);
    shaded.vertices = {Vertex{-0.9f, 0, 0.5f, 0xFF000000u, 0, 0}, Vertex{0.9f, 0, 0.5f, 0xFF0000F0u, 0, 0}};
    ASSERT_EQ(shaded.Draw(D3DPT_LINELIST), D3D_OK);
    EXPECT_EQ(shaded.Pixel(5, 0) & 0xFF, 0x78u) << "half way along";
}

TEST(RasterCoverage, NonFiniteOrExtremeVerticesDrawNothingWrong) {
    RasterScene scene(8, 8);
    scene.stageStates[0][D3DTSS_COLOROP] = D3DTOP_SELECTARG2;
    scene.stageStates[0][D3DTSS_COLORARG2] = D3DTA_DIFFUSE;
    scene.renderStates[D3DRS_CULLMODE] = D3DCULL_NONE;
    scene.SetTexture(0, D3DFMT_A8R8G8B8, 1, 1, {0xFFFFFFFFu});
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    for (D3DPRIMITIVETYPE type : {D3DPT_POINTLIST, D3DPT_LINELIST, D3DPT_TRIANGLELIST}) {
        scene.vertices = {{nan, 0, 0.5f, kWhite, 0, 0}, {0.5f, inf, 0.5f, kWhite, 0, 0}, {0, 0, nan, kWhite, nan, 0},
                          {0, 0, 0.5f, kWhite, inf, 0}, {0, 0.5f, 0.5f, kWhite, 0, -inf}, {0.5f, 0, inf, kWhite, 0, 0}};
        EXPECT_EQ(scene.Draw(type), D3D_OK) << type;
    }
    EXPECT_EQ(scene.CountPixels(kBlack), 64) << "every vertex has a non-finite coordinate";
    // Coordinates beyond double precision clip to something arbitrary, but safely.
    scene.vertices = {{-1e30f, -1e30f, 0.5f, kWhite, 0, 0}, {1e30f, 0, 0.5f, kWhite, 0, 0}, {0, 1e30f, 0.5f, kWhite, 0, 0}};
    EXPECT_EQ(scene.Draw(), D3D_OK);
    // A large but representable triangle around the volume covers the whole target.
    scene.vertices = {{-1e7f, -1e7f, 0.5f, kWhite, 0, 0}, {1e7f, 0, 0.5f, kWhite, 0, 0}, {0, 1e7f, 0.5f, kWhite, 0, 0}};
    EXPECT_EQ(scene.Draw(), D3D_OK);
    EXPECT_EQ(scene.CountPixels(kWhite), 64);
    // A sliver with wildly different texture coordinates keeps its interpolants finite.
    scene.vertices = {{-1, -1, 0.5f, kWhite, -3e38f, 0}, {1, -0.999f, 0.5f, kWhite, 3e38f, 3e38f}, {1, 1, 0.5f, kWhite, 0, -3e38f}};
    EXPECT_EQ(scene.Draw(), D3D_OK);
}

TEST(RasterCoverage, IndexedDrawsUseBaseVertex) {
    RasterScene scene(4, 4);
    UseDiffuseOnly(scene);
    scene.AddQuad(9, 9, 10, 10, 0.5f, 0xFFFF0000u);  // vertices 0-5, never referenced
    scene.AddQuad(1, 1, 3, 3, 0.5f, kWhite);         // vertices 6-11
    scene.indices = {0, 1, 2, 3, 4, 5};
    DrawCall call;
    call.type = D3DPT_TRIANGLELIST;
    call.primitiveCount = 2;
    call.vertices = reinterpret_cast<const std::uint8_t*>(scene.vertices.data());
    call.vertexCount = 12;
    call.indices = scene.indices.data();
    call.indexCount = 6;
    call.baseVertex = 6;
    ASSERT_EQ(Rasterize(scene.state, call), D3D_OK);
    EXPECT_EQ(scene.CountPixels(kWhite), 4);
    EXPECT_EQ(scene.Pixel(1, 1), kWhite);
}

TEST(RasterCoverage, RejectsBadDrawsBeforeDrawingAnything) {
    RasterScene scene(4, 4);
    UseDiffuseOnly(scene);
    std::vector<Vertex> quad;
    scene.AddQuad(0, 0, 4, 4, 0.5f, kWhite);
    quad = scene.vertices;
    scene.vertices.clear();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(quad.data());
    const std::uint16_t indices[] = {0, 1, 2, 3, 4, 6};  // 6 is past the last vertex
    const std::uint16_t validIndices[] = {0, 1, 2, 3, 4, 5};

    DrawCall call;
    call.vertices = bytes;
    call.vertexCount = 6;
    call.primitiveCount = 3;  // needs 9 vertices
    EXPECT_EQ(Rasterize(scene.state, call), D3DERR_INVALIDCALL);
    call.primitiveCount = 2;
    call.indices = indices;
    call.indexCount = 6;
    EXPECT_EQ(Rasterize(scene.state, call), D3DERR_INVALIDCALL);
    call.indices = validIndices;
    call.indexCount = 5;  // fewer indices than the primitives need
    EXPECT_EQ(Rasterize(scene.state, call), D3DERR_INVALIDCALL);
    call.indices = nullptr;
    call.baseVertex = 0;
    for (D3DPRIMITIVETYPE type : {D3DPT_TRIANGLESTRIP, D3DPT_TRIANGLEFAN, D3DPT_LINESTRIP}) {
        call.type = type;
        call.primitiveCount = 1;
        EXPECT_EQ(Rasterize(scene.state, call), D3DERR_INVALIDCALL) << "type " << type;
    }
    call.type = D3DPT_TRIANGLELIST;
    call.primitiveCount = 2;
    // States whose effect is not drawn fail the draw instead of being ignored.
    for (auto [stateIndex, value] : {std::pair{D3DRS_FILLMODE, DWORD{D3DFILL_WIREFRAME}}, std::pair{D3DRS_LIGHTING, DWORD{TRUE}},
                                     std::pair{D3DRS_STENCILENABLE, DWORD{TRUE}}, std::pair{D3DRS_FOGENABLE, DWORD{TRUE}},
                                     std::pair{D3DRS_SRCBLEND, DWORD{99}}}) {
        const DWORD saved = scene.renderStates[stateIndex];
        scene.renderStates[stateIndex] = value;
        scene.renderStates[D3DRS_ALPHABLENDENABLE] = stateIndex == D3DRS_SRCBLEND;
        EXPECT_EQ(Rasterize(scene.state, call), D3DERR_INVALIDCALL) << "state " << stateIndex;
        scene.renderStates[stateIndex] = saved;
        scene.renderStates[D3DRS_ALPHABLENDENABLE] = FALSE;
    }
    scene.stageStates[0][D3DTSS_COLOROP] = D3DTOP_BUMPENVMAP;
    EXPECT_EQ(Rasterize(scene.state, call), D3DERR_INVALIDCALL);
    EXPECT_EQ(scene.CountPixels(kBlack), 16) << "a rejected draw drew";

    UseDiffuseOnly(scene);
    EXPECT_EQ(Rasterize(scene.state, call), D3D_OK);
    EXPECT_EQ(scene.CountPixels(kWhite), 16);
}

}  // namespace
}  // namespace d3d9sw::testing
