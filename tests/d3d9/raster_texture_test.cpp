// Texture sampling and the texture-stage operations, and the specialised span loops held
// against the general one.
#include <gtest/gtest.h>

#include <random>

#include "platform/d3d9/raster_pipeline.h"
#include "tests/d3d9/raster_test_scene.h"

namespace d3d9sw::testing {
namespace {

// A 4x4 texture of distinct opaque colours.
std::vector<std::uint32_t> Checker4() {
    std::vector<std::uint32_t> texels;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) texels.push_back(0xFF000000u | (x * 0x40u) << 16 | (y * 0x40u) << 8 | 0x11u * (x + y));
    return texels;
}

TEST(RasterTexture, ModulateOfTextureAndDiffuse) {
    RasterScene scene(2, 1);
    scene.stageStates[0][D3DTSS_COLORARG2] = D3DTA_DIFFUSE;
    scene.stageStates[0][D3DTSS_ALPHAOP] = D3DTOP_MODULATE;
    scene.stageStates[0][D3DTSS_ALPHAARG2] = D3DTA_DIFFUSE;
    scene.renderStates[D3DRS_ALPHABLENDENABLE] = TRUE;
    scene.renderStates[D3DRS_SRCBLEND] = D3DBLEND_SRCALPHA;
    scene.renderStates[D3DRS_DESTBLEND] = D3DBLEND_INVSRCALPHA;
    scene.SetTexture(0, D3DFMT_A8R8G8B8, 2, 1, {0xFF804020u, 0x80FFFFFFu});
    scene.AddQuad(0, 0, 2, 1, 0.5f, 0xFF808080u);
    ASSERT_EQ(scene.Draw(), D3D_OK);
    // Texel * diffuse / 255: 0x80 * 0x80 -> 0x40, 0x40 * 0x80 -> 0x20, 0x20 * 0x80 -> 0x10.
    EXPECT_EQ(scene.Pixel(0, 0), 0xFF402010u);
    // Half-transparent grey over black: 0x80 * 0x80 / 255 = 0x40.
    EXPECT_EQ(scene.Pixel(1, 0), 0xFF404040u);
}

TEST(RasterTexture, StageOperationsAndArguments) {
    // texture 0x60C02080 (a 0x60), diffuse 0xA0408020, texture factor 0x20FF0000.
    struct Case {
        DWORD op, arg1, arg2;
        std::uint32_t expected;  // colour only; alpha is SELECTARG1 TEXTURE
    };
    const Case cases[] = {
        {D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0xC02080},
        {D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x408020},
        {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x301010},          // c0*40=3000/ff=30, 20*80=1000/ff=10, 80*20=1000/ff=10
        {D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0xFFA0A0},               // c0+40 saturates
        {D3DTOP_SUBTRACT, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x800060},          // 20-80 clamps at 0
        {D3DTOP_ADDSIGNED, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x802020},         // a + b - 0x80
        {D3DTOP_ADDSMOOTH, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0xD09090},         // a + b - ab: c0+40-30, 20+80-10, 80+20-10
        {D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT, 0, 0x3FDF7F},
        {D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE, 0, 0x606060},
        {D3DTOP_SELECTARG1, D3DTA_DIFFUSE | D3DTA_ALPHAREPLICATE | D3DTA_COMPLEMENT, 0, 0x5F5F5F},
        {D3DTOP_MODULATE, D3DTA_TFACTOR, D3DTA_TEXTURE, 0xC00000},
        {D3DTOP_SELECTARG1, D3DTA_CURRENT, 0, 0x408020},                    // CURRENT is the diffuse in stage 0
    };
    for (const Case& c : cases) {
        RasterScene scene(1, 1);
        scene.renderStates[D3DRS_TEXTUREFACTOR] = 0x20FF0000u;
        scene.stageStates[0][D3DTSS_COLOROP] = c.op;
        scene.stageStates[0][D3DTSS_COLORARG1] = c.arg1;
        scene.stageStates[0][D3DTSS_COLORARG2] = c.arg2;
        scene.SetTexture(0, D3DFMT_A8R8G8B8, 1, 1, {0x60C02080u});
        scene.AddQuad(0, 0, 1, 1, 0.5f, 0xA0408020u);
        ASSERT_EQ(scene.Draw(), D3D_OK);
        EXPECT_EQ(scene.Pixel(0, 0), 0xFF000000u | c.expected)
            << "op " << c.op << " args " << c.arg1 << "," << c.arg2 << " got " << std::hex << scene.Pixel(0, 0);
    }
}

TEST(RasterTexture, StagesChainAndStopAtTheFirstDisabledOne) {
    RasterScene scene(1, 1, D3DFMT_A8R8G8B8);
    scene.SetTexture(0, D3DFMT_A8R8G8B8, 1, 1, {0xFF808080u});
    scene.SetTexture(1, D3DFMT_A8R8G8B8, 1, 1, {0xFF102030u});
    // Stage 0: texture * diffuse; stage 1: current + texture 1; stage 2 is disabled, so stage 3
    // (which would select a black texture factor) never runs.
    scene.stageStates[0][D3DTSS_COLORARG2] = D3DTA_DIFFUSE;
    scene.stageStates[0][D3DTSS_ALPHAOP] = D3DTOP_SELECTARG2;
    scene.stageStates[0][D3DTSS_ALPHAARG2] = D3DTA_DIFFUSE;
    scene.stageStates[1][D3DTSS_COLOROP] = D3DTOP_ADD;
    scene.stageStates[1][D3DTSS_COLORARG1] = D3DTA_CURRENT;
    scene.stageStates[1][D3DTSS_COLORARG2] = D3DTA_TEXTURE;
    scene.stageStates[1][D3DTSS_ALPHAOP] = D3DTOP_DISABLE;  // alpha passes on
    scene.stageStates[3][D3DTSS_COLOROP] = D3DTOP_SELECTARG1;
    scene.stageStates[3][D3DTSS_COLORARG1] = D3DTA_TFACTOR;
    scene.renderStates[D3DRS_TEXTUREFACTOR] = 0;
    scene.AddQuad(0, 0, 1, 1, 0.5f, 0x7F406080u);
    ASSERT_EQ(scene.Draw(), D3D_OK);
    // 0x80 * (0x40, 0x60, 0x80) / 255 = (0x20, 0x30, 0x40); + (0x10, 0x20, 0x30).
    EXPECT_EQ(scene.Pixel(0, 0), 0x7F305070u);

    // Stage 0 disabled: the diffuse colour and alpha, textures ignored.
    scene.stageStates[0][D3DTSS_COLOROP] = D3DTOP_DISABLE;
    scene.AddQuad(0, 0, 1, 1, 0.5f, 0x7F406080u);
    ASSERT_EQ(scene.Draw(), D3D_OK);
    EXPECT_EQ(scene.Pixel(0, 0), 0x7F406080u);

    // A stage reading a texture that is not bound sees opaque white: the default stage
    // (MODULATE of texture and diffuse, alpha from the texture) shows the diffuse colour.
    RasterScene bare(1, 1, D3DFMT_A8R8G8B8);
    bare.AddQuad(0, 0, 1, 1, 0.5f, 0x10203040u);
    ASSERT_EQ(bare.Draw(), D3D_OK);
    EXPECT_EQ(bare.Pixel(0, 0), 0xFF203040u);
    bare.stageStates[0][D3DTSS_ALPHAOP] = D3DTOP_MODULATE;
    bare.stageStates[0][D3DTSS_ALPHAARG2] = D3DTA_DIFFUSE;
    bare.AddQuad(0, 0, 1, 1, 0.5f, 0x10203040u);
    ASSERT_EQ(bare.Draw(), D3D_OK);
    EXPECT_EQ(bare.Pixel(0, 0), 0x10203040u);
    bare.stageStates[0][D3DTSS_COLOROP] = D3DTOP_ADD;
    bare.AddQuad(0, 0, 1, 1, 0.5f, 0x10203040u);
    ASSERT_EQ(bare.Draw(), D3D_OK);
    EXPECT_EQ(bare.Pixel(0, 0), 0x10FFFFFFu);
}

TEST(RasterTexture, TexelCentresMapOntoPixelCentres) {
    // A 4x4 texture on a 4x4 rectangle reads each texel exactly, with either filter.
    for (DWORD filter : {DWORD{D3DTEXF_POINT}, DWORD{D3DTEXF_LINEAR}}) {
        RasterScene scene(6, 6);
        scene.stageStates[0][D3DTSS_COLOROP] = D3DTOP_SELECTARG1;
        scene.samplerStates[0][D3DSAMP_MAGFILTER] = scene.samplerStates[0][D3DSAMP_MINFILTER] = filter;
        scene.samplerStates[0][D3DSAMP_ADDRESSU] = scene.samplerStates[0][D3DSAMP_ADDRESSV] = D3DTADDRESS_CLAMP;
        const auto texels = Checker4();
        scene.SetTexture(0, D3DFMT_X8R8G8B8, 4, 4, texels);
        scene.AddQuad(1, 1, 5, 5, 0.5f, 0xFFFFFFFFu);
        ASSERT_EQ(scene.Draw(), D3D_OK);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(scene.Pixel(x + 1, y + 1), texels[y * 4 + x]) << "filter " << filter << " texel " << x << "," << y;
    }
}

TEST(RasterTexture, LinearFilterAndAddressModes) {
    // A 2x1 texture stretched over 8 pixels: bilinear weights at pixel centres.
    RasterScene scene(8, 1, D3DFMT_A8R8G8B8);
    scene.stageStates[0][D3DTSS_COLOROP] = D3DTOP_SELECTARG1;
    scene.samplerStates[0][D3DSAMP_MAGFILTER] = D3DTEXF_LINEAR;
    scene.samplerStates[0][D3DSAMP_ADDRESSU] = D3DTADDRESS_CLAMP;
    scene.SetTexture(0, D3DFMT_A8R8G8B8, 2, 1, {0xFF000000u, 0xFFFF0000u});
    scene.AddQuad(0, 0, 8, 1, 0.5f, 0xFFFFFFFFu);
    ASSERT_EQ(scene.Draw(), D3D_OK);
    // Pixel x samples u = (x + 0.5) / 8, texel position 2u - 0.5: 0 below 0, 1 above 1 (clamped).
    const int expectedRed[8] = {0, 0, 32, 96, 159, 223, 255, 255};
    for (int x = 0; x < 8; ++x) EXPECT_NEAR(static_cast<int>((scene.Pixel(x, 0) >> 16) & 0xFF), expectedRed[x], 1) << x;

    // Coordinates 0..2 across 8 pixels of a 2x1 texture: WRAP repeats, CLAMP holds the edge,
    // MIRROR reflects, BORDER reads the border colour.
    struct Case {
        DWORD mode;
        const char* pattern;  // texel per pixel: a, b or x (border)
    };
    for (const Case& c : {Case{D3DTADDRESS_WRAP, "aabbaabb"}, Case{D3DTADDRESS_CLAMP, "aabbbbbb"},
                          Case{D3DTADDRESS_MIRROR, "aabbbbaa"}, Case{D3DTADDRESS_BORDER, "aabbxxxx"},
                          Case{D3DTADDRESS_MIRRORONCE, "aabbbbbb"}}) {
        RasterScene s(8, 1, D3DFMT_A8R8G8B8);
        s.stageStates[0][D3DTSS_COLOROP] = D3DTOP_SELECTARG1;
        s.samplerStates[0][D3DSAMP_ADDRESSU] = c.mode;
        s.samplerStates[0][D3DSAMP_BORDERCOLOR] = 0xFF00FF00u;
        s.SetTexture(0, D3DFMT_A8R8G8B8, 2, 1, {0xFF0000FFu, 0xFFFF0000u});
        s.AddQuad(0, 0, 8, 1, 0.5f, 0xFFFFFFFFu, 0, 0, 2, 1);
        ASSERT_EQ(s.Draw(), D3D_OK);
        for (int x = 0; x < 8; ++x) {
            const std::uint32_t want = c.pattern[x] == 'a' ? 0xFF0000FFu : c.pattern[x] == 'b' ? 0xFFFF0000u : 0xFF00FF00u;
            EXPECT_EQ(s.Pixel(x, 0), want) << "mode " << c.mode << " x " << x;
        }
    }
}

// Every filtering path weighs its four texels through TextureSampler::Bilinear: held here to
// the weighting written out channel by channel, at the fractions' extremes and at random.
TEST(RasterTexture, BilinearWeightsEachChannelOfTheFourTexels) {
    auto expected = [](const std::uint32_t t[4], unsigned fx, unsigned fy) {
        const unsigned w[4] = {(256 - fx) * (256 - fy), fx * (256 - fy), (256 - fx) * fy, fx * fy};
        std::uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            unsigned sum = 0x8000;
            for (int i = 0; i < 4; ++i) sum += ((t[i] >> shift) & 0xFF) * w[i];
            out |= (sum >> 16) << shift;
        }
        return out;
    };
    std::mt19937 random(11);
    for (int trial = 0; trial < 20000; ++trial) {
        std::uint32_t t[4];
        for (std::uint32_t& texel : t)
            texel = trial < 16 ? (trial & 1 ? 0xFFFFFFFFu : 0u) ^ (trial & 2 ? 0xFF00FF00u : 0u) : random();
        const unsigned fx = trial < 16 ? (trial & 4 ? 255u : 1u) : random() % 256;
        const unsigned fy = trial < 16 ? (trial & 8 ? 255u : 0u) : random() % 256;
        ASSERT_EQ(TextureSampler::Bilinear(t[0], t[1], t[2], t[3], fx, fy), expected(t, fx, fy))
            << std::hex << t[0] << " " << t[1] << " " << t[2] << " " << t[3] << std::dec << " at " << fx << ", " << fy;
    }
}

TEST(RasterTexture, SamplesEveryTextureFormat) {
    struct Case {
        D3DFORMAT format;
        std::uint32_t written, sampled;
    };
    const Case cases[] = {
        {D3DFMT_A8R8G8B8, 0x80123456u, 0x80123456u}, {D3DFMT_X8R8G8B8, 0x00123456u, 0xFF123456u},
        {D3DFMT_R5G6B5, 0xFFFF8000u, 0xFFFF8200u},   {D3DFMT_X1R5G5B5, 0x00FF8000u, 0xFFFF8400u},
        {D3DFMT_A1R5G5B5, 0x7FFF8000u, 0x00FF8400u}, {D3DFMT_A4R4G4B4, 0x80FF8000u, 0x88FF8800u},
        {D3DFMT_A8, 0x80FFFFFFu, 0x80000000u},       {D3DFMT_L8, 0xFF808080u, 0xFF808080u},
        {D3DFMT_DXT1, 0xFF00FF00u, 0xFF00FF00u},     {D3DFMT_DXT3, 0x88FF0000u, 0x88FF0000u},
        {D3DFMT_DXT5, 0x40FFFFFFu, 0x40FFFFFFu},
    };
    for (const Case& c : cases) {
        RasterScene scene(1, 1, D3DFMT_A8R8G8B8);
        scene.stageStates[0][D3DTSS_COLOROP] = D3DTOP_SELECTARG1;
        scene.SetTexture(0, c.format, 4, 4, std::vector<std::uint32_t>(16, c.written));
        scene.AddQuad(0, 0, 1, 1, 0.5f, 0xFFFFFFFFu);
        ASSERT_EQ(scene.Draw(), D3D_OK);
        EXPECT_EQ(scene.Pixel(0, 0), c.sampled) << "format " << c.format << " got " << std::hex << scene.Pixel(0, 0);
    }
}

// Draws the same random scene with and without the specialised span loops.
TEST(RasterTexture, SpecialisedSpansMatchTheGeneralLoop) {
    struct Config {
        D3DFORMAT target, depth, texture;
        DWORD filter, address;
        bool blend, textured;
    };
    const Config configs[] = {
        {D3DFMT_X8R8G8B8, D3DFMT_D16, D3DFMT_A8R8G8B8, D3DTEXF_LINEAR, D3DTADDRESS_CLAMP, true, true},
        {D3DFMT_A8R8G8B8, D3DFMT_D24S8, D3DFMT_X8R8G8B8, D3DTEXF_POINT, D3DTADDRESS_WRAP, true, true},
        {D3DFMT_X8R8G8B8, D3DFMT_UNKNOWN, D3DFMT_A8R8G8B8, D3DTEXF_POINT, D3DTADDRESS_CLAMP, false, true},
        {D3DFMT_A8R8G8B8, D3DFMT_UNKNOWN, D3DFMT_A8R8G8B8, D3DTEXF_LINEAR, D3DTADDRESS_WRAP, false, true},
        {D3DFMT_A8R8G8B8, D3DFMT_D16, D3DFMT_A8R8G8B8, D3DTEXF_POINT, D3DTADDRESS_WRAP, true, false},
    };
    for (const Config& config : configs) {
        std::vector<std::uint32_t> image[2];
        for (int pass = 0; pass < 2; ++pass) {
            PixelPipeline::SetSpecialisedSpansEnabled(pass == 0);
            RasterScene scene(48, 40, config.target, config.depth);
            std::mt19937 random(7);
            std::uniform_real_distribution<float> coord(-1.2f, 1.2f), depth(0.0f, 1.0f), uv(-1.5f, 2.5f);
            std::vector<std::uint32_t> texels(24 * 20);
            for (auto& t : texels) t = static_cast<std::uint32_t>(random());
            scene.SetTexture(0, config.texture, 24, 20, texels);
            scene.renderStates[D3DRS_CULLMODE] = D3DCULL_NONE;
            scene.renderStates[D3DRS_ALPHABLENDENABLE] = config.blend;
            scene.renderStates[D3DRS_SRCBLEND] = D3DBLEND_SRCALPHA;
            scene.renderStates[D3DRS_DESTBLEND] = D3DBLEND_INVSRCALPHA;
            scene.renderStates[D3DRS_ALPHATESTENABLE] = TRUE;
            scene.renderStates[D3DRS_ALPHAFUNC] = D3DCMP_GREATER;
            scene.renderStates[D3DRS_ALPHAREF] = 0x10;
            scene.stageStates[0][D3DTSS_COLOROP] = config.textured ? D3DTOP_MODULATE : D3DTOP_DISABLE;
            scene.stageStates[0][D3DTSS_COLORARG2] = D3DTA_DIFFUSE;
            scene.stageStates[0][D3DTSS_ALPHAOP] = D3DTOP_MODULATE;
            scene.stageStates[0][D3DTSS_ALPHAARG2] = D3DTA_DIFFUSE;
            scene.samplerStates[0][D3DSAMP_MAGFILTER] = scene.samplerStates[0][D3DSAMP_MINFILTER] = config.filter;
            scene.samplerStates[0][D3DSAMP_ADDRESSU] = scene.samplerStates[0][D3DSAMP_ADDRESSV] = config.address;
            for (int i = 0; i < 60 * 3; ++i)
                scene.vertices.push_back({coord(random), coord(random), depth(random), static_cast<std::uint32_t>(random()),
                                          uv(random), uv(random)});
            ASSERT_EQ(scene.Draw(), D3D_OK);
            for (int y = 0; y < 40; ++y)
                for (int x = 0; x < 48; ++x) image[pass].push_back(scene.Pixel(x, y));
        }
        PixelPipeline::SetSpecialisedSpansEnabled(true);
        int differing = 0;
        for (std::size_t i = 0; i < image[0].size(); ++i) differing += image[0][i] != image[1][i];
        EXPECT_EQ(differing, 0) << "target " << config.target << " depth " << config.depth << " filter " << config.filter;
        EXPECT_GT(std::count_if(image[0].begin(), image[0].end(), [](std::uint32_t p) { return (p & 0xFFFFFF) != 0; }), 500);
    }
}

}  // namespace
}  // namespace d3d9sw::testing
