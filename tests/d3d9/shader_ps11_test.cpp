// The ps.1.1 interpreter: token validation, instruction semantics, and the grey program drawn
// through the rasteriser.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "platform/d3d9/pixel_shader.h"
#include "tests/d3d9/raster_test_scene.h"
#include "tests/d3d9/shader_tokens.h"

namespace d3d9sw::testing {
namespace {

TEST(ShaderPs11, GreyProgramTurnsAColourTextureGrey) {
    std::string error;
    const std::vector<DWORD> tokens = GreyProgram();
    auto program = PixelShaderProgram::Parse(tokens.data(), &error);
    ASSERT_NE(program, nullptr) << error;
    EXPECT_EQ(program->SampledStages(), 1u);
    EXPECT_EQ(program->Tokens(), tokens);

    RasterScene scene(3, 1, D3DFMT_A8R8G8B8);
    scene.stageStates[0][D3DTSS_COLOROP] = D3DTOP_BUMPENVMAP;  // bypassed: the shader decides
    scene.state.pixelShader = program.get();
    const std::vector<std::uint32_t> texels = {0x80C86432u, 0xFFFF0000u, 0x400000FFu};
    scene.SetTexture(0, D3DFMT_A8R8G8B8, 3, 1, texels);
    scene.AddQuad(0, 0, 3, 1, 0.5f, 0xFF00FF00u);
    ASSERT_EQ(scene.Draw(), D3D_OK);
    for (int x = 0; x < 3; ++x) {
        const std::uint32_t t = texels[x];
        const double grey = 0.2125 * ((t >> 16) & 0xFF) + 0.7154 * ((t >> 8) & 0xFF) + 0.0721 * (t & 0xFF);
        const auto g = static_cast<std::uint32_t>(std::lround(grey));
        EXPECT_EQ(scene.Pixel(x, 0), (t & 0xFF000000u) | g << 16 | g << 8 | g) << "texel " << std::hex << t;
    }
    // (200, 100, 50) -> 42.5 + 71.54 + 3.605 = 117.6 -> 118.
    EXPECT_EQ(scene.Pixel(0, 0), 0x80767676u);
}

TEST(ShaderPs11, ArithmeticModifiersAndCoissue) {
    // c0 = (0.5, 0.25, 1, 0.8), v0 = diffuse, t0 = texel.
    const std::vector<DWORD> tokens = {
        kVersion11,
        81, Dest(kConst, 0), Bits(0.5f), Bits(0.25f), Bits(1.0f), Bits(0.8f),
        66, Dest(kTexture, 0),
        5, Dest(kTemp, 1), Src(kTexture, 0), Src(kConst, 0),                    // r1 = t0 * c0
        4, Dest(kTemp, 0), Src(kInput, 0), Src(kConst, 0), Src(kTemp, 1),       // r0 = v0 * c0 + r1
        3, Dest(kTemp, 1), Src(kTemp, 0), Src(kConst, 0, kReplicateAlpha),      // r1 = r0 - c0.a
        18, Dest(kTemp, 0, kRgb), Src(kConst, 0), Src(kTexture, 0), Src(kInput, 0),  // lrp
        0x40000000u | 2, Dest(kTemp, 0, kAlpha, 1u << 20), Src(kTemp, 0), Src(kTemp, 0),  // +add_sat r0.a, r0, r0
        kEnd};
    std::string error;
    auto program = PixelShaderProgram::Parse(tokens.data(), &error);
    ASSERT_NE(program, nullptr) << error;
    const float texels[1][4] = {{0.2f, 0.4f, 0.6f, 1.0f}};
    const float diffuse[4] = {0.8f, 0.6f, 0.4f, 0.5f};
    float out[4];
    program->Run(texels, diffuse, out);
    // lrp with c0 = (0.5, 0.25, 1): r = 0.5*0.2 + 0.5*0.8 = 0.5, g = 0.25*0.4 + 0.75*0.6 = 0.55, b = 0.6.
    EXPECT_NEAR(out[0], 0.5f, 1e-5f);
    EXPECT_NEAR(out[1], 0.55f, 1e-5f);
    EXPECT_NEAR(out[2], 0.6f, 1e-5f);
    // The co-issued add reads r0.a from before the pair: v0.a * c0.a + t0.a * c0.a = 0.4 + 0.8
    // = 1.2, clamped to 1 by the register range, doubled and saturated: 1.
    EXPECT_NEAR(out[3], 1.0f, 1e-5f);

    // Source modifiers and result shift: r0 = (1 - t0) _x2, then -(bias) and bx2.
    const std::vector<DWORD> modifiers = {
        kVersion11, 66, Dest(kTexture, 0),
        1, Dest(kTemp, 0, kAll, 1u << 24), Src(kTexture, 0, kIdentity, 6),  // mov_x2 r0, 1-t0
        2, Dest(kTemp, 1), Src(kTexture, 0, kIdentity, 4), Src(kTexture, 0, kIdentity, 3),  // t0_bx2 + -t0_bias
        2, Dest(kTemp, 0, kAlpha), Src(kTemp, 1), Src(kTemp, 1),
        kEnd};
    program = PixelShaderProgram::Parse(modifiers.data(), &error);
    ASSERT_NE(program, nullptr) << error;
    program->Run(texels, diffuse, out);
    EXPECT_NEAR(out[0], 1.0f, 1e-5f);   // (1 - 0.2) * 2 = 1.6 -> 1
    EXPECT_NEAR(out[1], 1.0f, 1e-5f);   // 1.2 -> 1
    EXPECT_NEAR(out[2], 0.8f, 1e-5f);   // 0.4 * 2
    EXPECT_NEAR(out[3], 1.0f, 1e-5f);   // 2 * ((2*1 - 1) + (0.5 - 1)) = 1
}

TEST(ShaderPs11, RejectsWhatItDoesNotRun) {
    struct Case {
        const char* what;
        std::vector<DWORD> tokens;
    };
    const Case cases[] = {
        {"version 2.0", {0xFFFF0200u, 1, Dest(kTemp, 0), Src(kInput, 0), kEnd}},
        {"vertex shader", {0xFFFE0101u, kEnd}},
        {"texkill", {kVersion11, 65, Dest(kTexture, 0), 1, Dest(kTemp, 0), Src(kInput, 0), kEnd}},
        {"constant out of range", {kVersion11, 1, Dest(kTemp, 0), Src(kConst, 8), kEnd}},
        {"temp read before write", {kVersion11, 1, Dest(kTemp, 0), Src(kTemp, 1), kEnd}},
        {"texture not sampled", {kVersion11, 1, Dest(kTemp, 0), Src(kTexture, 0), kEnd}},
        {"r0 never written", {kVersion11, 1, Dest(kTemp, 1), Src(kInput, 0), kEnd}},
        {"co-issue first", {kVersion11, 0x40000001u, Dest(kTemp, 0), Src(kInput, 0), kEnd}},
        {"ps 1.4 source modifier", {kVersion11, 1, Dest(kTemp, 0), Src(kInput, 0, kIdentity, 7), kEnd}},
        {"write to a constant", {kVersion11, 1, Dest(kConst, 0), Src(kInput, 0), kEnd}},
        {"tex after arithmetic", {kVersion11, 1, Dest(kTemp, 0), Src(kInput, 0), 66, Dest(kTexture, 0), kEnd}},
        {"parameter as instruction", {kVersion11, Dest(kTemp, 0), kEnd}},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_EQ(PixelShaderProgram::Parse(c.tokens.data(), &error), nullptr) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
    }
    // A comment block is skipped.
    const std::vector<DWORD> commented = {kVersion11, 0x0002FFFEu, 0x12345678u, 0x9ABCDEF0u,
                                          1, Dest(kTemp, 0), Src(kInput, 0), kEnd};
    std::string error;
    EXPECT_NE(PixelShaderProgram::Parse(commented.data(), &error), nullptr) << error;
}

}  // namespace
}  // namespace d3d9sw::testing
