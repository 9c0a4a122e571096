// The ps.1.1 assembler: the library's grey shader, co-issue, what it refuses, and the buffers of
// D3DXAssembleShader.
#include "platform/d3dx9/shader_assembler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/d3d9/pixel_shader.h"
#include "platform/d3dx9/d3dx9.h"

namespace {

// The renderer's grey shader, laid out as the renderer writes it.
const char kGreyShader[] =
    "// this pixel shader renders a gray image.\n"
    "    ps.1.1\n"
    "    def c1, 0.2125f, 0.7154f, 0.0721f, 1.0f\n"
    "    tex t0\n"
    "    dp3 r0.rgb, t0, c1\n"
    "    mov r0.a, t0\n";

DWORD Bits(float value) {
    DWORD bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

std::vector<DWORD> Assemble(const std::string& text) {
    std::vector<DWORD> tokens;
    std::string errors;
    EXPECT_TRUE(d3dx::AssemblePixelShader(text, &tokens, &errors)) << errors;
    return tokens;
}

TEST(ShaderAssembler, GreyShaderAssemblesToTheExpectedTokens) {
    const std::vector<DWORD> expected = {
        0xFFFF0101,                                                              // ps.1.1
        0x00000051, 0xA00F0001, Bits(0.2125f), Bits(0.7154f), Bits(0.0721f), Bits(1.0f),  // def c1
        0x00000042, 0xB00F0000,                                                  // tex t0
        0x00000008, 0x80070000, 0xB0E40000, 0xA0E40001,                          // dp3 r0.rgb, t0, c1
        0x00000001, 0x80080000, 0xB0E40000,                                      // mov r0.a, t0
        0x0000FFFF,
    };
    EXPECT_EQ(Assemble(kGreyShader), expected);
}

TEST(ShaderAssembler, GreyShaderRunsInTheDevicesInterpreter) {
    const std::vector<DWORD> tokens = Assemble(kGreyShader);
    std::string error;
    const auto program = d3d9sw::PixelShaderProgram::Parse(tokens.data(), &error);
    ASSERT_NE(program, nullptr) << error;
    EXPECT_EQ(program->SampledStages(), 1u);
    const float texels[1][4] = {{1.0f, 0.5f, 0.25f, 0.75f}};
    const float diffuse[4] = {1, 1, 1, 1};
    float out[4] = {};
    program->Run(texels, diffuse, out);
    const float grey = 0.2125f * 1.0f + 0.7154f * 0.5f + 0.0721f * 0.25f;
    EXPECT_NEAR(out[0], grey, 1e-5);
    EXPECT_NEAR(out[1], grey, 1e-5);
    EXPECT_NEAR(out[2], grey, 1e-5);
    EXPECT_NEAR(out[3], 0.75f, 1e-5);
}

TEST(ShaderAssembler, CoIssueNegationReplicationAndCaseAreEncoded) {
    const std::vector<DWORD> tokens = Assemble(
        "PS_1_1 ; version\n"
        "tex T0\n"
        "mul r0.rgb, t0, v0 // colour\n"
        "+ add r0.a, -v0.a, c0.b\n"
        "lrp r1, c0, r0, v1\n"
        "mad r0, r1, c7.w, -t0\n");
    const std::vector<DWORD> expected = {
        0xFFFF0101, 0x00000042, 0xB00F0000,
        0x00000005, 0x80070000, 0xB0E40000, 0x90E40000,
        0x40000002, 0x80080000, 0x91FF0000, 0xA0AA0000,
        0x00000012, 0x800F0001, 0xA0E40000, 0x80E40000, 0x90E40001,
        0x00000004, 0x800F0000, 0x80E40001, 0xA0FF0007, 0xB1E40000,
        0x0000FFFF,
    };
    EXPECT_EQ(tokens, expected);
    std::string error;
    EXPECT_NE(d3d9sw::PixelShaderProgram::Parse(tokens.data(), &error), nullptr) << error;
}

TEST(ShaderAssembler, RefusesWhatPs11DoesNotHaveWithTheLine) {
    struct Case {
        const char* text;
        const char* line;
    } cases[] = {
        {"mov r0, v0\n", "(1)"},
        {"ps.2.0\nmov r0, v0\n", "(1)"},
        {"ps.1.1\ntexkill t0\n", "(2)"},
        {"ps.1.1\nmov r0.rg, v0\n", "(2)"},
        {"ps.1.1\nmov r0, v0.gbr\n", "(2)"},
        {"ps.1.1\nmov r0, c8\n", "(2)"},
        {"ps.1.1\nmov r2, v0\n", "(2)"},
        {"ps.1.1\nmov r0, t4\n", "(2)"},
        {"ps.1.1\nmov c0, r0\n", "(2)"},
        {"ps.1.1\nmov v0, r0\n", "(2)"},
        {"ps.1.1\nadd r0, v0\n", "(2)"},
        {"ps.1.1\nmov r0, x0\n", "(2)"},
        {"ps.1.1\nmov r0, r\n", "(2)"},
        {"ps.1.1\nmov_sat r0, v0\n", "(2)"},
        {"ps.1.1\nmov r0, v0_bx2\n", "(2)"},
        {"ps.1.1\nmov r0, v0\ndef c0, 1, 1, 1, 1\n", "(3)"},
        {"ps.1.1\nmov r0, v0\ntex t0\n", "(3)"},
        {"ps.1.1\ndef c0, 1, nan?, 0, 0\n", "(2)"},
        {"ps.1.1\ndef c0, 1, 1, 1\n", "(2)"},
        {"ps.1.1\ndef r0, 1, 1, 1, 1\n", "(2)"},
        {"ps.1.1\ntex r0\n", "(2)"},
        {"ps.1.1\n+mov r0.a, v0\n", "(2)"},
        {"ps.1.1\nmov r0.rgb, v0\n+mov r0.rgb, v0\n", "(3)"},
        {"ps.1.1\nmov r0.rgb, v0\n+mov r0.a, v0\n+mov r1.a, v0\n", "(4)"},
        {"ps.1.1\ntex t0\n+tex t1\n", "(3)"},
        {"", "(1)"},
    };
    for (const Case& c : cases) {
        std::vector<DWORD> tokens = {1, 2, 3};
        std::string errors;
        EXPECT_FALSE(d3dx::AssemblePixelShader(c.text, &tokens, &errors)) << c.text;
        EXPECT_TRUE(tokens.empty()) << c.text;
        EXPECT_NE(errors.find(std::string(c.line) + ": error: "), std::string::npos) << c.text << " gave: " << errors;
    }
}

TEST(ShaderAssembler, D3DXAssembleShaderFillsItsBuffers) {
    LPD3DXBUFFER shader = nullptr, errors = nullptr;
    ASSERT_EQ(D3DXAssembleShader(kGreyShader, sizeof kGreyShader - 1, nullptr, nullptr, 0, &shader, &errors), D3D_OK);
    ASSERT_NE(shader, nullptr);
    EXPECT_EQ(errors, nullptr);
    const std::vector<DWORD> tokens = Assemble(kGreyShader);
    ASSERT_EQ(shader->GetBufferSize(), tokens.size() * sizeof(DWORD));
    EXPECT_EQ(std::memcmp(shader->GetBufferPointer(), tokens.data(), shader->GetBufferSize()), 0);
    EXPECT_EQ(shader->Release(), 0u);

    // Every faulty line is reported, each with its number.
    const std::string text = "ps.1.1\nmov r0, v9\nbogus\n";
    ASSERT_EQ(D3DXAssembleShader(text.c_str(), static_cast<UINT>(text.size()), nullptr, nullptr, 0, &shader, &errors),
              D3DXERR_INVALIDDATA);
    EXPECT_EQ(shader, nullptr);
    ASSERT_NE(errors, nullptr);
    const char* message = static_cast<const char*>(errors->GetBufferPointer());
    EXPECT_EQ(message[errors->GetBufferSize() - 1], '\0');
    EXPECT_NE(std::strstr(message, "(2): error: "), nullptr) << message;
    EXPECT_NE(std::strstr(message, "(3): error: "), nullptr) << message;
    errors->Release();

    // Errors without an error buffer; defines and includes are not supported.
    EXPECT_EQ(D3DXAssembleShader(text.c_str(), static_cast<UINT>(text.size()), nullptr, nullptr, 0, &shader, nullptr),
              D3DXERR_INVALIDDATA);
    const D3DXMACRO defines[] = {{"A", "1"}, {nullptr, nullptr}};
    EXPECT_EQ(D3DXAssembleShader(kGreyShader, sizeof kGreyShader - 1, defines, nullptr, 0, &shader, nullptr), E_NOTIMPL);
    EXPECT_EQ(D3DXAssembleShader(nullptr, 4, nullptr, nullptr, 0, &shader, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(shader, nullptr);
}

TEST(D3DXBuffer, HoldsZeroedBytesUntilTheLastRelease) {
    LPD3DXBUFFER buffer = nullptr;
    ASSERT_EQ(D3DXCreateBuffer(16, &buffer), D3D_OK);
    ASSERT_EQ(buffer->GetBufferSize(), 16u);
    const auto* bytes = static_cast<const unsigned char*>(buffer->GetBufferPointer());
    for (int i = 0; i < 16; ++i) EXPECT_EQ(bytes[i], 0);
    ID3DXBuffer* same = nullptr;
    ASSERT_EQ(buffer->QueryInterface(IID_ID3DXBuffer, reinterpret_cast<void**>(&same)), S_OK);
    EXPECT_EQ(same, buffer);
    EXPECT_EQ(buffer->Release(), 1u);
    EXPECT_EQ(same->Release(), 0u);
    EXPECT_EQ(D3DXCreateBuffer(4, nullptr), D3DERR_INVALIDCALL);
}

}  // namespace
