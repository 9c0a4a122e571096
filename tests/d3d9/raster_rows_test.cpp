// The rasteriser's fast paths held against its general loop: unrotated rectangles drawn row
// by row, spans of one colour and depth drawn through the row kernels, both with the SSE2 and
// the AVX2 kernels, and draws split into bands over several threads. Each scene is drawn with
// the fast paths off (the reference) and on in every combination, and colour and depth are
// compared pixel for pixel.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

#include "platform/d3d9/pixel_shader.h"
#include "platform/d3d9/raster_draw.h"
#include "platform/d3d9/raster_pipeline.h"
#include "platform/d3d9/raster_quad.h"
#include "platform/d3d9/raster_rows.h"
#include "tests/d3d9/raster_test_scene.h"
#include "tests/d3d9/shader_tokens.h"

namespace d3d9sw::testing {
namespace {

constexpr int kWidth = 192, kHeight = 128;
constexpr int kTextureWidth = 64, kTextureHeight = 48;

// A state setup as the renderer and its neighbours use them.
struct StateSetup {
    const char* name;
    D3DFORMAT target, depth, texture;
    DWORD colorOp, colorArg1, colorArg2;
    DWORD alphaOp, alphaArg1, alphaArg2;
    bool grey;  // the grey pixel shader in place of the stages
    DWORD filter, address;
    bool blend, alphaTest;
    DWORD zFunc;
};

constexpr DWORD T = D3DTA_TEXTURE, D = D3DTA_DIFFUSE, C = D3DTA_CURRENT;
const StateSetup kSetups[] = {
    // name                     target            depth           texture           colour op / args            alpha op / args             grey   filter          address             blend  atest  zfunc
    {"opaque sprites",          D3DFMT_X8R8G8B8, D3DFMT_D16,     D3DFMT_X8R8G8B8, D3DTOP_SELECTARG1, T, C,    D3DTOP_SELECTARG1, T, C,    false, D3DTEXF_LINEAR, D3DTADDRESS_CLAMP, false, false, D3DCMP_LESSEQUAL},
    {"alpha sprites",           D3DFMT_X8R8G8B8, D3DFMT_D16,     D3DFMT_A8R8G8B8, D3DTOP_SELECTARG1, T, D,    D3DTOP_MODULATE, T, D,      false, D3DTEXF_LINEAR, D3DTADDRESS_CLAMP, true,  false, D3DCMP_LESSEQUAL},
    {"text",                    D3DFMT_A8R8G8B8, D3DFMT_D24S8,   D3DFMT_A8R8G8B8, D3DTOP_SELECTARG2, T, D,    D3DTOP_MODULATE, T, D,      false, D3DTEXF_POINT,  D3DTADDRESS_WRAP,  true,  false, D3DCMP_LESSEQUAL},
    {"modulate, alpha test",    D3DFMT_A8R8G8B8, D3DFMT_D24X8,   D3DFMT_A8R8G8B8, D3DTOP_MODULATE, T, D,      D3DTOP_MODULATE, D, T,      false, D3DTEXF_LINEAR, D3DTADDRESS_WRAP,  false, true,  D3DCMP_GREATER},
    {"diffuse only",            D3DFMT_X8R8G8B8, D3DFMT_UNKNOWN, D3DFMT_UNKNOWN,  D3DTOP_DISABLE, T, D,       D3DTOP_DISABLE, T, D,       false, D3DTEXF_POINT,  D3DTADDRESS_CLAMP, true,  false, D3DCMP_LESSEQUAL},
    {"grey filter",             D3DFMT_X8R8G8B8, D3DFMT_D16,     D3DFMT_A8R8G8B8, D3DTOP_SELECTARG1, T, D,    D3DTOP_MODULATE, T, D,      true,  D3DTEXF_LINEAR, D3DTADDRESS_CLAMP, true,  false, D3DCMP_LESSEQUAL},
    {"16-bit texture, add",     D3DFMT_X8R8G8B8, D3DFMT_D16,     D3DFMT_R5G6B5,   D3DTOP_ADD, T, D,           D3DTOP_SELECTARG2, T, D,    false, D3DTEXF_POINT,  D3DTADDRESS_CLAMP, true,  false, D3DCMP_LESS},
    {"16-bit target",           D3DFMT_R5G6B5,   D3DFMT_D16,     D3DFMT_A8R8G8B8, D3DTOP_SELECTARG1, T, D,    D3DTOP_MODULATE, T, D,      false, D3DTEXF_LINEAR, D3DTADDRESS_CLAMP, true,  false, D3DCMP_LESSEQUAL},
};

// What a draw leaves behind.
struct Image {
    std::vector<std::uint32_t> color, depth;
    bool operator==(const Image&) const = default;
};

struct Drawing {
    bool fast;
    int threads;
    bool avx2;
    int bands = 0;  // 0: as Rasterize splits the draw; else this many bands, drawn one by one
};

// A scene of many quads, drawn under one setup: rectangles mapped texel for pixel as the
// renderer maps sprites and glyphs (most of them), some placed off the pixel grid, scaled a
// little, mirrored or reaching over the edges, and some triangles of their own.
class Scene {
public:
    // `quads` rectangles of sides up to `side`, after one triangle of their own when
    // `leadingTriangle` (so that pairs start at odd primitives).
    Scene(const StateSetup& setup, unsigned seed, int quads = 400, int side = 40, bool leadingTriangle = false)
        : setup_(setup), seed_(seed), quads_(quads), side_(side), leadingTriangle_(leadingTriangle) {
        std::mt19937 random(seed);
        texels_.resize(kTextureWidth * kTextureHeight);
        for (auto& t : texels_) t = static_cast<std::uint32_t>(random());
        if (setup.grey) {
            std::string error;
            const std::vector<DWORD> tokens = GreyProgram();
            grey_ = PixelShaderProgram::Parse(tokens.data(), &error);
        }
    }

    Image Draw(const Drawing& how, bool flatTriangles) const {
        PixelPipeline::SetSpecialisedSpansEnabled(how.fast);
        RasterScene scene(kWidth, kHeight, setup_.target, setup_.depth);
        if (setup_.texture != D3DFMT_UNKNOWN) scene.SetTexture(0, setup_.texture, kTextureWidth, kTextureHeight, texels_);
        DWORD* rs = scene.renderStates;
        rs[D3DRS_CULLMODE] = D3DCULL_NONE;
        rs[D3DRS_ZFUNC] = setup_.zFunc;
        rs[D3DRS_ALPHABLENDENABLE] = setup_.blend;
        rs[D3DRS_SRCBLEND] = D3DBLEND_SRCALPHA;
        rs[D3DRS_DESTBLEND] = D3DBLEND_INVSRCALPHA;
        rs[D3DRS_ALPHATESTENABLE] = setup_.alphaTest;
        rs[D3DRS_ALPHAFUNC] = D3DCMP_GREATEREQUAL;
        rs[D3DRS_ALPHAREF] = 0x60;
        DWORD* ts = scene.stageStates[0];
        ts[D3DTSS_COLOROP] = setup_.colorOp;
        ts[D3DTSS_COLORARG1] = setup_.colorArg1;
        ts[D3DTSS_COLORARG2] = setup_.colorArg2;
        ts[D3DTSS_ALPHAOP] = setup_.alphaOp;
        ts[D3DTSS_ALPHAARG1] = setup_.alphaArg1;
        ts[D3DTSS_ALPHAARG2] = setup_.alphaArg2;
        scene.samplerStates[0][D3DSAMP_MAGFILTER] = scene.samplerStates[0][D3DSAMP_MINFILTER] = setup_.filter;
        scene.samplerStates[0][D3DSAMP_ADDRESSU] = scene.samplerStates[0][D3DSAMP_ADDRESSV] = setup_.address;
        scene.state.pixelShader = grey_.get();
        scene.state.threads = how.threads;
        scene.state.avx2 = how.avx2;
        if (setup_.depth != D3DFMT_UNKNOWN) ClearDepth(scene.state.depth, {0, 0, kWidth, kHeight}, 0.75f);

        std::mt19937 random(seed_ + 1);
        if (flatTriangles) AddFlatTriangles(scene, random);
        else AddQuads(scene, random, quads_, side_, leadingTriangle_);
        if (how.bands == 0) {
            EXPECT_EQ(scene.Draw(), D3D_OK);
        } else {
            DrawInBands(scene, how.bands, how.threads);
        }
        PixelPipeline::SetSpecialisedSpansEnabled(true);

        Image image;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                image.color.push_back(scene.Pixel(x, y));
                if (setup_.depth != D3DFMT_UNKNOWN) image.depth.push_back(scene.Depth(x, y));
            }
        return image;
    }

private:
    // The triangles sorted into bands once, then band after band, as the device's queue draws.
    static void DrawInBands(RasterScene& scene, int bands, int threads) {
        DrawCall call;
        call.vertices = reinterpret_cast<const std::uint8_t*>(scene.vertices.data());
        call.vertexCount = static_cast<UINT>(scene.vertices.size());
        call.indices = scene.indices.data();
        call.indexCount = static_cast<UINT>(scene.indices.size());
        call.primitiveCount = call.indexCount / 3;
        PixelPipeline pipeline;
        DrawSettings settings;
        ASSERT_EQ(PrepareDraw(scene.state, call, &pipeline, &settings), D3D_OK);
        BandedTriangles sorted;
        const int rows = pipeline.targetView.height;
        SortIntoBands(call, pipeline, settings.cullMode, bands, rows, threads, &sorted);
        for (int band = 0; band < bands; ++band) DrawPreparedBand(call, settings, pipeline, band, bands, rows, sorted);
    }

    // Rectangles as the renderer writes them: four vertices, indices 0 1 2, 2 1 3.
    static void AddRectangle(RasterScene& scene, float l, float t, float r, float b, float z, std::uint32_t color,
                             float u0, float v0, float u1, float v1) {
        auto cx = [](float px) { return (px - 0.5f) / kWidth * 2.0f - 1.0f; };
        auto cy = [](float py) { return 1.0f - (py - 0.5f) / kHeight * 2.0f; };
        const auto base = static_cast<std::uint16_t>(scene.vertices.size());
        scene.vertices.push_back({cx(l), cy(t), z, color, u0, v0});
        scene.vertices.push_back({cx(r), cy(t), z, color, u1, v0});
        scene.vertices.push_back({cx(l), cy(b), z, color, u0, v1});
        scene.vertices.push_back({cx(r), cy(b), z, color, u1, v1});
        for (int i : {0, 1, 2, 2, 1, 3}) scene.indices.push_back(static_cast<std::uint16_t>(base + i));
    }

    static void AddQuads(RasterScene& scene, std::mt19937& random, int quads, int largest, bool leadingTriangle) {
        std::uniform_int_distribution<int> side(1, largest), x(-8, kWidth - 4), y(-8, kHeight - 4), kind(0, 9);
        std::uniform_real_distribution<float> depth(0.0f, 1.0f);
        if (leadingTriangle) AddFlatTriangles(scene, random, 1);
        for (int i = 0; i < quads; ++i) {
            const int w = side(random), h = side(random);
            const int tx = std::uniform_int_distribution<int>(0, kTextureWidth - w > 0 ? kTextureWidth - w : 0)(random);
            const int ty = std::uniform_int_distribution<int>(0, kTextureHeight - h > 0 ? kTextureHeight - h : 0)(random);
            float l = static_cast<float>(x(random)), t = static_cast<float>(y(random));
            float u0 = static_cast<float>(tx) / kTextureWidth, v0 = static_cast<float>(ty) / kTextureHeight;
            float u1 = static_cast<float>(tx + w) / kTextureWidth, v1 = static_cast<float>(ty + h) / kTextureHeight;
            switch (kind(random)) {
            case 0: l += 0.3f; break;                         // off the pixel grid
            case 1: u1 = u0 + (u1 - u0) * 1.01f; break;       // scaled a little
            case 2: std::swap(u0, u1); break;                 // mirrored
            case 3: u0 += 0.25f / kTextureWidth; break;       // a quarter texel over
            case 4: t += 0.5f; break;                         // between rows
            default: break;                                   // texel for pixel
            }
            const auto color = static_cast<std::uint32_t>(random());
            AddRectangle(scene, l, t, l + static_cast<float>(w), t + static_cast<float>(h), depth(random), color, u0, v0, u1, v1);
        }
    }

    // Triangles of one colour and one depth each, at any angle and scale.
    static void AddFlatTriangles(RasterScene& scene, std::mt19937& random, int count = 120) {
        std::uniform_real_distribution<float> coord(-1.1f, 1.1f), depth(0.0f, 1.0f), uv(-0.5f, 1.5f);
        for (int i = 0; i < count; ++i) {
            const auto color = static_cast<std::uint32_t>(random());
            const float z = depth(random);
            const auto base = static_cast<std::uint16_t>(scene.vertices.size());
            for (int k = 0; k < 3; ++k) scene.vertices.push_back({coord(random), coord(random), z, color, uv(random), uv(random)});
            for (int k = 0; k < 3; ++k) scene.indices.push_back(static_cast<std::uint16_t>(base + k));
        }
    }

    StateSetup setup_;
    unsigned seed_;
    int quads_, side_;
    bool leadingTriangle_;
    std::vector<std::uint32_t> texels_;
    std::unique_ptr<PixelShaderProgram> grey_;
};

// The fast drawings every scene is drawn with; AVX2 only where the CPU has it.
std::vector<Drawing> FastDrawings(std::initializer_list<int> threadCounts) {
    std::vector<Drawing> drawings;
    for (int threads : threadCounts) {
        drawings.push_back({true, threads, false});
        if (CpuHasAvx2()) drawings.push_back({true, threads, true});
    }
    return drawings;
}

TEST(RasterRows, RectanglesMatchTheGeneralLoop) {
    for (const StateSetup& setup : kSetups) {
        const Scene scene(setup, 11);
        const Image reference = scene.Draw({false, 1, false}, false);
        for (const Drawing& how : FastDrawings({1, 3})) {
            const std::uint64_t before = RectanglesDrawnByRows();
            EXPECT_TRUE(scene.Draw(how, false) == reference)
                << setup.name << ", threads " << how.threads << ", AVX2 " << how.avx2;
            // Half of the 400 map texel for pixel, and of those the ones wholly on the target
            // (over a hundred) take the rectangle path.
            EXPECT_GT(RectanglesDrawnByRows() - before, 100u) << setup.name;
        }
    }
}

TEST(RasterRows, SpansOfOneColourMatchTheGeneralLoop) {
    for (const StateSetup& setup : kSetups) {
        const Scene scene(setup, 23);
        const Image reference = scene.Draw({false, 1, false}, true);
        for (const Drawing& how : FastDrawings({1}))
            EXPECT_TRUE(scene.Draw(how, true) == reference) << setup.name << ", AVX2 " << how.avx2;
    }
}

// Named for the ThreadSanitizer pass: bands drawn at once never touch the same pixel.
TEST(RasterRows, ThreadedBandsGiveThePixelsOfOneThread) {
    const Scene scene(kSetups[1], 5);
    const Image one = scene.Draw({true, 1, true}, false);
    for (int threads : {2, 4, 8, 13}) {
        EXPECT_TRUE(scene.Draw({true, threads, true}, false) == one) << threads << " threads";
        EXPECT_TRUE(scene.Draw({true, threads, false}, true) == scene.Draw({true, 1, false}, true)) << threads << " threads";
    }
}

// Triangles sorted into bands once per draw reach every band they touch, down to bands of one
// row, and keep their order and rectangle pairs.
TEST(RasterRows, TrianglesSortedIntoBandsGiveThePixelsOfOneBand) {
    for (const StateSetup& setup : {kSetups[0], kSetups[1], kSetups[4]}) {
        const Scene scene(setup, 31);
        for (bool flat : {false, true}) {
            const Image one = scene.Draw({true, 1, true, 1}, flat);
            for (int bands : {2, 5, 16, kHeight - 1})
                EXPECT_TRUE(scene.Draw({true, 1, true, bands}, flat) == one) << setup.name << ", " << bands << " bands";
        }
    }
}

// Named for the ThreadSanitizer pass: a large draw is sorted in chunks of its primitives by
// several threads at once; rectangle pairs never straddle two chunks, whether they start at
// even or odd primitives.
TEST(RasterRows, ThreadedSortInChunksGivesThePixelsOfOneChunk) {
    for (bool leadingTriangle : {false, true}) {
        const Scene scene(kSetups[0], 41, 12000, 3, leadingTriangle);
        const Image one = scene.Draw({true, 1, true, 16}, false);
        for (int threads : {2, 5})
            EXPECT_TRUE(scene.Draw({true, threads, true, 16}, false) == one) << threads << " threads, " << leadingTriangle;
    }
}

TEST(RasterRows, SnapRoundsHalfAwayFromZeroAsLlroundDoes) {
    std::mt19937 random(3);
    std::uniform_real_distribution<float> anywhere(-40000.0f, 40000.0f), near(-2.0f, 2.0f);
    for (int i = 0; i < 200000; ++i) {
        const float f = i % 2 ? anywhere(random) : near(random);
        ASSERT_EQ(Snap(f), std::llround(static_cast<double>(f) * kSubpixels)) << f;
    }
    for (float f : {0.5f / 256, -0.5f / 256, 1.5f / 256, -1.5f / 256, 1e-30f, -1e-30f, 0.0f, -0.0f})
        EXPECT_EQ(Snap(f), std::llround(static_cast<double>(f) * kSubpixels)) << f;
}

}  // namespace
}  // namespace d3d9sw::testing
