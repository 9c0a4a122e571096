// The rasteriser's fast paths held against its general loop: unrotated rectangles drawn row
// by row, spans of one colour and depth drawn through the row kernels, both with the SSE2 and
// the AVX2 kernels, and draws split into bands over several threads. Each scene is drawn with
// the fast paths off (the reference) and on in every combination, and colour and depth are
// compared pixel for pixel.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <random>

#include "platform/d3d9/pixel_shader.h"
#include "platform/d3d9/raster_coarse_depth.h"
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

// How the scene writes a quad: most as the renderer writes sprites and glyphs, mapped texel
// for pixel; the others just off what the rectangle path takes, or in shapes that only its
// full search finds.
enum class QuadKind {
    kTexelForPixel,
    kOffGrid,            // 0.3 pixel right
    kBetweenRows,        // half a pixel down
    kScaled,             // u over 1% more
    kMirroredTexture,    // u from right to left
    kQuarterTexelOver,
    kWithinTolerance,    // texels 0.0018 off their centres: still one texel each
    kBeyondTolerance,    // 0.0022 off: left to the triangles
    kFilteredTwoTexels,  // 0.003 off: bilinear filtering mixes in a neighbour
    kMirroredPlace,      // right edge written first, u following it: the same rectangle
    kUpsideDown,         // bottom edge written first, v following it
    kOtherDiagonal,      // triangles 0 1 3 and 0 3 2
    kUnindexed,          // six vertices, the shared ones copied
    kCornerColour,       // one corner of another colour
    kNoWidth,
    kNoPixelCentre,      // a fifth of a pixel across, between two centres
    kNotANumber,         // v of one corner NaN: the triangle loop drops its triangle
    kBeyondFarPlane,     // every corner's depth past 1: clipped away whole
};
constexpr int kQuadKinds = static_cast<int>(QuadKind::kBeyondFarPlane) + 1;

// A scene of many quads, drawn under one setup (QuadKind), and some triangles of their own.
class Scene {
public:
    // `quads` rectangles of sides up to `side`, after one triangle of their own when
    // `leadingTriangle` (so that pairs start at odd primitives). `viewport` null: the target's.
    Scene(const StateSetup& setup, unsigned seed, int quads = 400, int side = 40, bool leadingTriangle = false,
          DWORD cullMode = D3DCULL_NONE, const D3DVIEWPORT9* viewport = nullptr)
        : setup_(setup), seed_(seed), quads_(quads), side_(side), leadingTriangle_(leadingTriangle), cullMode_(cullMode),
          viewport_(viewport != nullptr ? *viewport : D3DVIEWPORT9{0, 0, kWidth, kHeight, 0.0f, 1.0f}) {
        std::mt19937 random(seed);
        texels_.resize(kTextureWidth * kTextureHeight);
        for (auto& t : texels_) t = static_cast<std::uint32_t>(random());
        if (setup.grey) {
            std::string error;
            const std::vector<DWORD> tokens = GreyProgram();
            grey_ = PixelShaderProgram::Parse(tokens.data(), &error);
        }
    }

    // Every quad of `kind`, the same size at the same place, wholly on the target.
    Scene& Only(QuadKind kind) {
        only_ = kind;
        return *this;
    }

    Image Draw(const Drawing& how, bool flatTriangles) const {
        PixelPipeline::SetSpecialisedSpansEnabled(how.fast);
        RasterScene scene(kWidth, kHeight, setup_.target, setup_.depth);
        if (setup_.texture != D3DFMT_UNKNOWN) scene.SetTexture(0, setup_.texture, kTextureWidth, kTextureHeight, texels_);
        scene.state.viewport = viewport_;
        DWORD* rs = scene.renderStates;
        rs[D3DRS_CULLMODE] = cullMode_;
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
        if (setup_.depth != D3DFMT_UNKNOWN) ClearDepth(scene.state.depth, {0, 0, kWidth, kHeight}, 0.75f, how.avx2);

        std::mt19937 random(seed_ + 1);
        if (flatTriangles) AddFlatTriangles(scene, random);
        else AddQuads(scene, random);
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

    // A rectangle as the renderer writes it, mapped through the viewport: four vertices
    // (left-top, right-top, left-bottom, right-bottom), indices 0 1 2, 2 1 3; or as `kind` says.
    void AddRectangle(RasterScene& scene, QuadKind kind, float l, float t, float r, float b, float z, std::uint32_t color,
                      float u0, float v0, float u1, float v1) const {
        const D3DVIEWPORT9& vp = viewport_;
        auto cx = [&vp](float px) { return (px - 0.5f - static_cast<float>(vp.X)) / static_cast<float>(vp.Width) * 2.0f - 1.0f; };
        auto cy = [&vp](float py) { return 1.0f - (py - 0.5f - static_cast<float>(vp.Y)) / static_cast<float>(vp.Height) * 2.0f; };
        if (kind == QuadKind::kMirroredPlace) {
            std::swap(l, r);
            std::swap(u0, u1);
        } else if (kind == QuadKind::kUpsideDown) {
            std::swap(t, b);
            std::swap(v0, v1);
        }
        Vertex corners[4] = {{cx(l), cy(t), z, color, u0, v0},
                             {cx(r), cy(t), z, color, u1, v0},
                             {cx(l), cy(b), z, color, u0, v1},
                             {cx(r), cy(b), z, color, u1, v1}};
        if (kind == QuadKind::kCornerColour) corners[3].diffuse ^= 0x00010000u;
        if (kind == QuadKind::kNotANumber) corners[3].v = std::numeric_limits<float>::quiet_NaN();
        if (kind == QuadKind::kBeyondFarPlane)
            for (Vertex& corner : corners) corner.z = 1.25f;
        static constexpr int kRenderer[6] = {0, 1, 2, 2, 1, 3}, kOther[6] = {0, 1, 3, 0, 3, 2};
        const int* order = kind == QuadKind::kOtherDiagonal ? kOther : kRenderer;
        if (kind == QuadKind::kUnindexed) {
            // Indices to vertices of their own, alike byte for byte where shared.
            for (int i = 0; i < 6; ++i) {
                scene.indices.push_back(static_cast<std::uint16_t>(scene.vertices.size()));
                scene.vertices.push_back(corners[order[i]]);
            }
            return;
        }
        const auto base = static_cast<std::uint16_t>(scene.vertices.size());
        for (const Vertex& corner : corners) scene.vertices.push_back(corner);
        for (int i = 0; i < 6; ++i) scene.indices.push_back(static_cast<std::uint16_t>(base + order[i]));
    }

    void AddQuads(RasterScene& scene, std::mt19937& random) const {
        std::uniform_int_distribution<int> side(1, side_), x(-8, kWidth - 4), y(-8, kHeight - 4);
        std::uniform_int_distribution<int> kind(0, 2 * kQuadKinds - 1);  // half of them texel for pixel
        std::uniform_real_distribution<float> depth(0.0f, 1.0f);
        if (leadingTriangle_) AddFlatTriangles(scene, random, 1);
        for (int i = 0; i < quads_; ++i) {
            int w = side(random), h = side(random);
            int tx = std::uniform_int_distribution<int>(0, kTextureWidth - w > 0 ? kTextureWidth - w : 0)(random);
            int ty = std::uniform_int_distribution<int>(0, kTextureHeight - h > 0 ? kTextureHeight - h : 0)(random);
            float l = static_cast<float>(x(random)), t = static_cast<float>(y(random));
            if (only_) {
                w = 24, h = 20, tx = 8, ty = 4;
                l = 20, t = 16;
            }
            float r = l + static_cast<float>(w), b = t + static_cast<float>(h);
            float u0 = static_cast<float>(tx) / kTextureWidth, v0 = static_cast<float>(ty) / kTextureHeight;
            float u1 = static_cast<float>(tx + w) / kTextureWidth, v1 = static_cast<float>(ty + h) / kTextureHeight;
            const int k = kind(random);
            const QuadKind quad = only_ ? *only_ : k < kQuadKinds ? static_cast<QuadKind>(k) : QuadKind::kTexelForPixel;
            auto shiftTexels = [&](float texels) {
                u0 += texels / kTextureWidth;
                u1 += texels / kTextureWidth;
                v0 -= texels / kTextureHeight;
                v1 -= texels / kTextureHeight;
            };
            switch (quad) {
            case QuadKind::kOffGrid: l += 0.3f; r += 0.3f; break;
            case QuadKind::kBetweenRows: t += 0.5f; b += 0.5f; break;
            case QuadKind::kScaled: u1 = u0 + (u1 - u0) * 1.01f; break;
            case QuadKind::kMirroredTexture: std::swap(u0, u1); break;
            case QuadKind::kQuarterTexelOver: u0 += 0.25f / kTextureWidth; break;
            case QuadKind::kWithinTolerance: shiftTexels(0.0018f); break;
            case QuadKind::kBeyondTolerance: shiftTexels(0.0022f); break;
            case QuadKind::kFilteredTwoTexels: shiftTexels(0.003f); break;
            case QuadKind::kNoWidth: r = l; break;
            case QuadKind::kNoPixelCentre: l += 0.3f; r = l + 0.2f; break;
            default: break;
            }
            const auto color = static_cast<std::uint32_t>(random());
            const float z = depth(random);
            AddRectangle(scene, quad, l, t, r, b, only_ ? 0.5f : z, color, u0, v0, u1, v1);
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
    DWORD cullMode_;
    D3DVIEWPORT9 viewport_;
    std::optional<QuadKind> only_;
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
            // About half of the 400 map texel for pixel, and of those the ones wholly on the
            // target (over a hundred) take the rectangle path.
            EXPECT_GT(RectanglesDrawnByRows() - before, 100u) << setup.name;
        }
    }
}

// Which quads the rectangle path takes, one at a time, and that it draws them as the triangle
// loop does: the renderer's shape and the shapes its full search finds, texels near enough
// their centres; textured, not quads off the pixel grid or the texel grid; never quads of
// several colours, empty ones, or ones the triangle loop drops.
TEST(RasterRows, EachKindOfQuadTakesItsPathAndMatchesTheGeneralLoop) {
    struct Case {
        QuadKind kind;
        bool byRows;            // textured
        bool byRowsUntextured;  // where only the edges and the corners' colour and depth count
    };
    const Case cases[] = {
        {QuadKind::kTexelForPixel, true, true},      {QuadKind::kOffGrid, false, true},
        {QuadKind::kBetweenRows, false, true},       {QuadKind::kScaled, false, true},
        {QuadKind::kMirroredTexture, false, true},   {QuadKind::kQuarterTexelOver, false, true},
        {QuadKind::kWithinTolerance, true, true},    {QuadKind::kBeyondTolerance, false, true},
        {QuadKind::kFilteredTwoTexels, false, true}, {QuadKind::kMirroredPlace, true, true},
        {QuadKind::kUpsideDown, true, true},         {QuadKind::kOtherDiagonal, true, true},
        {QuadKind::kUnindexed, true, true},          {QuadKind::kCornerColour, false, false},
        {QuadKind::kNoWidth, false, false},          {QuadKind::kNoPixelCentre, false, false},
        {QuadKind::kNotANumber, false, false},       {QuadKind::kBeyondFarPlane, false, false},
    };
    static_assert(std::size(cases) == kQuadKinds);
    for (const Case& c : cases)
        for (const StateSetup& setup : {kSetups[0], kSetups[2], kSetups[4]}) {
            Scene scene(setup, 7, 1);
            scene.Only(c.kind);
            const Image reference = scene.Draw({false, 1, false}, false);
            const std::uint64_t before = RectanglesDrawnByRows();
            EXPECT_TRUE(scene.Draw({true, 1, CpuHasAvx2()}, false) == reference)
                << "kind " << static_cast<int>(c.kind) << ", " << setup.name;
            const bool byRows = setup.texture != D3DFMT_UNKNOWN ? c.byRows : c.byRowsUntextured;
            EXPECT_EQ(RectanglesDrawnByRows() - before, byRows ? 1u : 0u)
                << "kind " << static_cast<int>(c.kind) << ", " << setup.name;
        }
}

// Culling keeps or drops the two triangles of a rectangle as the triangle loop does, whichever
// way round its corners are written; a viewport reaching past the target clips the rectangles
// to the target, and one that starts inside it moves and scales them.
TEST(RasterRows, RectanglesCulledAndClippedMatchTheGeneralLoop) {
    const D3DVIEWPORT9 pastTheTarget{10, 6, kWidth + 30, kHeight + 20, 0.0f, 1.0f};
    const D3DVIEWPORT9 inside{4, 2, kWidth - 20, kHeight - 10, 0.25f, 0.75f};
    struct Case {
        const char* name;
        DWORD cullMode;
        const D3DVIEWPORT9* viewport;
    };
    for (const Case& c : {Case{"cull clockwise", D3DCULL_CW, nullptr}, Case{"cull counter-clockwise", D3DCULL_CCW, nullptr},
                          Case{"viewport past the target", D3DCULL_NONE, &pastTheTarget},
                          Case{"viewport inside the target", D3DCULL_CCW, &inside}})
        for (const StateSetup& setup : {kSetups[0], kSetups[2]}) {
            const Scene scene(setup, 17, 400, 40, false, c.cullMode, c.viewport);
            const Image reference = scene.Draw({false, 1, false}, false);
            for (const Drawing& how : FastDrawings({1, 3}))
                EXPECT_TRUE(scene.Draw(how, false) == reference)
                    << c.name << ", " << setup.name << ", threads " << how.threads << ", AVX2 " << how.avx2;
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

// Present's row copy: each pixel once, `bits` OR-ed in, nothing past the count, from a source
// at any byte offset; every length around the vector widths, both builds.
TEST(RasterRows, RowCopiesOrInTheirBitsAndStopAtTheCount) {
    std::vector<std::uint8_t> from(4 * 64 + 3);
    for (std::size_t i = 0; i < from.size(); ++i) from[i] = static_cast<std::uint8_t>(i * 37 + 11);
    for (const RowKernels* kernels : {&RowKernelsSse2(), &SelectRowKernels(true)})
        for (int offset : {0, 3})
            for (int count = 0; count <= 40; ++count) {
                std::vector<std::uint32_t> to(64, 0x12345678u);
                kernels->copyPixelsOr(to.data(), from.data() + offset, count, 0xFF000000u);
                int wrong = 0;
                for (int i = 0; i < 64; ++i) {
                    std::uint32_t expected = 0x12345678u;
                    if (i < count) std::memcpy(&expected, from.data() + offset + 4 * i, 4), expected |= 0xFF000000u;
                    wrong += to[static_cast<std::size_t>(i)] != expected;
                }
                EXPECT_EQ(wrong, 0) << "offset " << offset << ", count " << count;
            }
}

// The AVX2 bilinear run held against the sampler's position and weighting pixel by pixel: runs
// of every length around the vector width, at random places and steps (either way) inside
// textures with and without alpha, some on texel centres stepping whole texels.
TEST(RasterRows, BilinearRunsFilterEachPixelAsTheSampler) {
    const BilinearRunFunction run = SelectRowKernels(true).bilinearRun;
    if (run == nullptr) GTEST_SKIP() << "no AVX2";
    std::mt19937 random(5);
    auto below = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    int edgeFractions[2] = {};  // pixels at fraction 0 and at 255, either axis
    for (int trial = 0; trial < 2000; ++trial) {
        const bool centres = trial % 4 == 0;  // power-of-two sizes, on texel centres
        const int width = centres ? 2 << below(6) : 2 + below(70), height = centres ? 2 << below(5) : 2 + below(40);
        const int pitch = 4 * width + 4 * below(3);
        std::vector<std::uint8_t> texture(static_cast<std::size_t>(pitch) * height);
        for (std::uint8_t& byte : texture) byte = static_cast<std::uint8_t>(random());
        const std::uint32_t alphaOr = trial & 1 ? 0xFF000000u : 0u;
        const int count = trial < 400 ? 1 + trial % 40 : 1 + below(300);
        auto inside = [](std::int64_t c, int size) {
            const std::int64_t s = TextureSampler::FilterPosition(c, size);
            return s >= 0 && (s >> 8) <= size - 2;
        };
        // Coordinates of the first and last pixel, both inside; the step between them.
        auto axis = [&](int size, std::int64_t* first, std::int64_t* step) {
            if (centres) {
                const int shift = 31 - std::countr_zero(static_cast<unsigned>(size));
                const int at = below(size - 1), to = below(size - 1);
                *first = std::int64_t{2 * at + 1} << shift;
                *step = count > 1 ? ((std::int64_t{to} - at) / (count - 1)) << (shift + 1) : 0;
                return;
            }
            std::int64_t last;
            do *first = random(), last = random();
            while (!inside(*first, size) || !inside(last, size));
            *step = count > 1 ? (last - *first) / (count - 1) : static_cast<std::int32_t>(random());
        };
        BilinearRun r{texture.data(), pitch, width, height, alphaOr};
        axis(width, &r.u, &r.uStep);
        axis(height, &r.v, &r.vStep);
        std::vector<std::uint32_t> out(static_cast<std::size_t>(count) + 1, 0xDEADBEEFu);
        run(r, count, out.data());
        int wrong = 0;
        for (int i = 0; i < count; ++i) {
            const std::int64_t su = TextureSampler::FilterPosition(r.u + i * r.uStep, width);
            const std::int64_t sv = TextureSampler::FilterPosition(r.v + i * r.vStep, height);
            auto texel = [&](std::int64_t x, std::int64_t y) {
                std::uint32_t t;
                std::memcpy(&t, texture.data() + y * pitch + 4 * x, 4);
                return t | alphaOr;
            };
            const std::int64_t x = su >> 8, y = sv >> 8;
            const unsigned fx = su & 0xFF, fy = sv & 0xFF;
            const std::uint32_t expected = TextureSampler::Bilinear(texel(x, y), texel(x + 1, y), texel(x, y + 1),
                                                                    texel(x + 1, y + 1), fx, fy);
            wrong += out[static_cast<std::size_t>(i)] != expected;
            edgeFractions[0] += fx == 0 || fy == 0;
            edgeFractions[1] += fx == 255 || fy == 255;
        }
        ASSERT_EQ(wrong, 0) << width << "x" << height << ", count " << count << ", trial " << trial;
        ASSERT_EQ(out.back(), 0xDEADBEEFu) << "written past the count, trial " << trial;
    }
    EXPECT_GT(edgeFractions[0], 1000);
    EXPECT_GT(edgeFractions[1], 100);
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

// As the draw queue draws a run of draws that replace pixels: in reverse, over the depth
// bounds of 8x8 tiles, skipping the tiles where a rectangle fails whole. Rectangles wider than
// the 32 tiles looked at at once, of rows that pass alike and not, give the general loop's
// pixels drawing them in order.
TEST(RasterRows, WideRectanglesDrawnInReverseOverTileBoundsMatchTheGeneralLoop) {
    constexpr int kWide = 640, kHigh = 56;
    struct Quad {
        float l, t, r, b, z;
        std::uint32_t color;
    };
    std::vector<Quad> quads;
    std::mt19937 random(3);
    std::uniform_int_distribution<int> x(-4, kWide - 40), width(8, 600), y(-4, kHigh - 4), height(4, 40), step(0, 2);
    float z = 1.0f;
    for (int i = 0; i < 80; ++i) {
        const auto l = static_cast<float>(x(random)), t = static_cast<float>(y(random));
        z -= static_cast<float>(step(random)) / 256;  // nearer than the one before, or as near
        quads.push_back({l, t, l + static_cast<float>(width(random)), t + static_cast<float>(height(random)), z,
                         0xFF000000u | static_cast<std::uint32_t>(random())});
    }
    auto draw = [&](bool reversed) {
        PixelPipeline::SetSpecialisedSpansEnabled(reversed);
        RasterScene scene(kWide, kHigh, D3DFMT_X8R8G8B8, D3DFMT_D24S8);
        UseDiffuseOnly(scene);
        scene.renderStates[D3DRS_CULLMODE] = D3DCULL_NONE;
        for (const Quad& q : quads) scene.AddQuad(q.l, q.t, q.r, q.b, q.z, q.color);
        if (!reversed) {
            EXPECT_EQ(scene.Draw(), D3D_OK);
        } else {
            DrawCall call;
            call.vertices = reinterpret_cast<const std::uint8_t*>(scene.vertices.data());
            call.vertexCount = static_cast<UINT>(scene.vertices.size());
            call.primitiveCount = call.vertexCount / 3;
            PixelPipeline pipeline;
            DrawSettings settings;
            EXPECT_EQ(PrepareDraw(scene.state, call, &pipeline, &settings), D3D_OK);
            EXPECT_TRUE(pipeline.ReplacesPixels());
            BandedTriangles sorted;
            SortIntoBands(call, pipeline, settings.cullMode, 1, kHigh, 1, &sorted);
            CoarseDepth coarse;
            coarse.Reset(0, kHigh, kWide, kHigh, static_cast<std::uint32_t>(pipeline.depth.MaxValue()));
            DrawPreparedBand(call, settings, pipeline, 0, 1, kHigh, sorted, PrimitiveSpan{0, call.primitiveCount, true}, &coarse);
        }
        PixelPipeline::SetSpecialisedSpansEnabled(true);
        Image image;
        for (int py = 0; py < kHigh; ++py)
            for (int px = 0; px < kWide; ++px) {
                image.color.push_back(scene.Pixel(px, py));
                image.depth.push_back(scene.Depth(px, py));
            }
        return image;
    };
    const std::uint64_t before = RectanglesDrawnByRows();
    EXPECT_TRUE(draw(true) == draw(false));
    EXPECT_GT(RectanglesDrawnByRows() - before, 20u);  // those wholly on the target
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
