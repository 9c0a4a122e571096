// The legacy draw path, through the legacy IRenderer on the software device: every primitive
// on exactly its pixels through the process-wide clip scale, alpha nodes without a vertex
// limit but for the 16-bit cap, the grey and subtract colour operations, alpha formats always
// blended, and point sprites.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <vector>

#include "core/exception.h"
#include "draw/alpha_processor.h"
#include "draw/d3d_texture.h"
#include "draw/draw_layer.h"
#include "legacy/clip_scale.h"
#include "tests/legacy/legacy_renderer_fixture.h"

namespace lumi::test {
namespace {

constexpr D3DCOLOR kRed = 0xFFFF0000;
constexpr D3DCOLOR kGreen = 0xFF00FF00;
constexpr D3DCOLOR kBlue = 0xFF0000FF;
constexpr D3DCOLOR kYellow = 0xFFFFFF00;
constexpr D3DCOLOR kCyan = 0xFF00FFFF;

// Each channel of `rgb` within 2 of `expected`'s.
::testing::AssertionResult Near(std::uint32_t rgb, std::uint32_t expected) {
    for (int shift : {0, 8, 16}) {
        const int got = static_cast<int>(rgb >> shift & 0xFF);
        const int want = static_cast<int>(expected >> shift & 0xFF);
        if (std::abs(got - want) > 2)
            return ::testing::AssertionFailure() << std::hex << "0x" << rgb << ", expected 0x" << expected;
    }
    return ::testing::AssertionSuccess();
}

class LegacyDrawPath : public LegacyRendererTest {
protected:
    CAlphaBlendDrawCmdBatchProcessor* AlphaProcessor() const {
        return static_cast<CAlphaBlendDrawCmdBatchProcessor*>(Renderer()->GetDrawLayer()->alphaProcessor);
    }

    // A sprite of `texture` drawn 1:1 at (x, y) with `flags` and `color`.
    void DrawSprite(ITexture* texture, LONG x, LONG y, std::int32_t flags, D3DCOLOR color) {
        const RECT source{0, 0, texture->GetWidth(), texture->GetHeight()};
        const RECT destination{x, y, x + texture->GetWidth(), y + texture->GetHeight()};
        renderer_->DrawTexture(texture, &destination, &source, color, flags);
    }
};

TEST_F(LegacyDrawPath, ShapesAndSpritesCoverExactlyTheirPixels) {
    ASSERT_NE(Create(), nullptr);
    ITexture* texture = FilledTexture(4, 4, 0xFF123456u);
    ASSERT_NE(texture, nullptr);
    LegacyFrame([&] {
        renderer_->SetBackgroundColor(0xFF000000u);
        renderer_->DrawPoint(ScratchCommand(), 5, 6, kRed);
        renderer_->DrawRect(ScratchCommand(), 10, 10, 20, 16, kGreen, true);
        renderer_->DrawRect(ScratchCommand(), 30, 10, 40, 20, kBlue, false);
        renderer_->DrawLine(ScratchCommand(), 50, 5, 60, 5, kYellow);
        renderer_->DrawTriangle(ScratchCommand(), 70, 10, 80, 10, 70, 20, kCyan, true);
        DrawSprite(texture, 100, 100, 0, 0xFFFFFFFFu);
    });
    // The vertices sit half a pixel up and left of the coordinates: rectangles cover exactly
    // their pixels, points and lines light the pixels up and left of their corners.
    EXPECT_EQ(Pixel(4, 5), 0xFF0000u);
    EXPECT_EQ(Count(0xFF0000), 1);
    EXPECT_TRUE(AreaIs(10, 10, 20, 16, 0x00FF00));
    EXPECT_EQ(Count(0x00FF00), 60);
    EXPECT_TRUE(AreaIs(50, 4, 60, 5, 0xFFFF00));
    EXPECT_EQ(Count(0xFFFF00), 10);
    EXPECT_TRUE(AreaIs(30, 9, 40, 10, 0x0000FF));
    EXPECT_TRUE(AreaIs(29, 10, 30, 20, 0x0000FF));
    EXPECT_EQ(Count(0x0000FF), 39);
    EXPECT_TRUE(AreaIs(70, 10, 79, 11, 0x00FFFF));
    EXPECT_EQ(Count(0x00FFFF), 45);
    EXPECT_TRUE(AreaIs(100, 100, 104, 104, 0x123456));
    EXPECT_EQ(Count(0x123456), 16);
    renderer_->DestroyTexture(texture);
}

TEST_F(LegacyDrawPath, TheClipScaleIsProcessWideAndRefusesAZeroSize) {
    SetClipScale(800, 600);
    EXPECT_FLOAT_EQ(g_ClipScaleX, 2.0f / 800.0f);
    EXPECT_FLOAT_EQ(PixelToClipX(400.0f), 0.0f);
    EXPECT_FLOAT_EQ(PixelToClipY(600.0f), -1.0f);
    // What the processors write for a pixel: half a pixel up and left.
    const clip_space_t clip = ClipSpaceOf(nullptr);
    EXPECT_FLOAT_EQ(clip.X(0.0f), -1.0f - 0.5f * 2.0f / 800.0f);
    EXPECT_FLOAT_EQ(clip.Y(0.0f), 1.0f + 0.5f * 2.0f / 600.0f);
    EXPECT_FLOAT_EQ(clip.X(799.0f), 1.0f - 1.5f * 2.0f / 800.0f);
    EXPECT_FLOAT_EQ(clip.Y(599.0f), -1.0f + 1.5f * 2.0f / 600.0f);
    for (const auto& size : {std::pair{0, 600}, std::pair{800, 0}, std::pair{65536, 10}}) {
        try {
            SetClipScale(size.first, size.second);
            ADD_FAILURE() << size.first << " x " << size.second << " was taken";
        } catch (const lumi::Exception& error) {
            EXPECT_STREQ(error.what(), "div by zero.");
        }
    }
    EXPECT_EQ(g_ClipWidth, 800) << "a refused size changes nothing";
}

TEST_F(LegacyDrawPath, LikeAlphaCommandsShareOneNodeButTrianglesStopAtSixteenBitIndices) {
    ASSERT_NE(Create(), nullptr);
    renderer_->BeginScene();
    renderer_->SetBackgroundColor(0xFF000000u);
    for (int i = 0; i < 1000; ++i) renderer_->DrawRect(ScratchCommand(), 0, 0, 2, 2, 0x80FFFFFFu, true);
    EXPECT_EQ(AlphaProcessor()->GetActiveCount(), 1) << "1000 quads, far past the current build's 1024 vertices";
    const auto draws = d3d9ctl::GetCounters().drawCalls;
    ASSERT_TRUE(renderer_->EndScene(true));
    EXPECT_EQ(d3d9ctl::GetCounters().drawCalls, draws + 1);

    // 21,845 triangles fill a node to 65,535 vertices; the next one opens another, so the last
    // triangle's indices do not wrap onto the first vertices.
    constexpr int kTriangles = 21846;
    renderer_->BeginScene();
    renderer_->SetBackgroundColor(0xFF000000u);
    for (int i = 0; i < kTriangles - 1; ++i)
        renderer_->DrawTriangle(ScratchCommand(), 0, 0, 2, 0, 0, 2, 0x80FF0000u, true);
    renderer_->DrawTriangle(ScratchCommand(), 200, 100, 240, 100, 200, 140, 0x8000FF00u, true);
    EXPECT_EQ(AlphaProcessor()->GetActiveCount(), 2);
    ASSERT_TRUE(renderer_->EndScene(true));
    EXPECT_TRUE(Near(Pixel(205, 105), 0x008000));
}

TEST_F(LegacyDrawPath, GreyAndSubtractColourOperations) {
    const std::uint32_t texel = 0xFF804020u;
    auto drawWith = [&](std::int32_t flags, D3DCOLOR color) {
        ITexture* texture = FilledTexture(4, 4, texel);
        LegacyFrame([&] {
            renderer_->SetBackgroundColor(0xFF000000u);
            DrawSprite(texture, 20, 20, flags, color);
        });
        renderer_->DestroyTexture(texture);
        return Pixel(21, 21);
    };
    ASSERT_NE(Create(), nullptr);
    // With pixel shader 1.1: the grey shader, the stage left as it is.
    const auto grey = static_cast<std::uint32_t>(std::lround(0.2125 * 0x80 + 0.7154 * 0x40 + 0.0721 * 0x20));
    EXPECT_TRUE(Near(drawWith(kDrawFlagGrey | kDrawFlagAlpha, 0xFFFFFFFFu), grey * 0x010101u));
    // Subtract: the texture minus the colour.
    EXPECT_TRUE(Near(drawWith(kDrawFlagSubtract | kDrawFlagAlpha, 0xFF101010u), 0x703010u));
    Release();

    // Without it: the texture minus grey 0x60 per channel.
    D3DCAPS9 caps = d3d9ctl::DefaultCaps();
    caps.PixelShaderVersion = 0xFFFF0000;
    d3d9ctl::SetCaps(0, caps);
    DestroyAdapterEnum();
    ASSERT_NE(Create(), nullptr);
    EXPECT_FALSE(Renderer()->HasPixelShader11());
    EXPECT_TRUE(Near(drawWith(kDrawFlagGrey | kDrawFlagAlpha, 0xFFFFFFFFu), 0x200000u));
}

TEST_F(LegacyDrawPath, ATextureWithAlphaIsAlwaysBlended) {
    ASSERT_NE(Create(), nullptr);
    ITexture* texture = FilledTexture(4, 4, 0x80FFFFFFu);
    LegacyFrame([&] {
        renderer_->SetBackgroundColor(0xFF000000u);
        DrawSprite(texture, 10, 10, kDrawFlagOpaque, 0xFFFFFFFFu);  // asked for opaque
    });
    EXPECT_TRUE(Near(Pixel(11, 11), 0x808080u));
    renderer_->DestroyTexture(texture);
}

TEST_F(LegacyDrawPath, APreparedPointBatchIsDrawnAsPointSprites) {
    ASSERT_NE(Create(), nullptr);
    ITexture* texture = renderer_->CreateTexture(2, 2, D3DFMT_A8R8G8B8);
    const std::uint32_t texels[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
    texture->UpdateRect(texels, 2, 2, 8, 32, 0, 0);

    STRU_DRAW_PRIMITIVE states;
    states.primitiveType = D3DPT_POINTLIST;
    states.primitiveCount = 1;
    states.colorOp = D3DTOP_SELECTARG1;
    states.alphaOp = D3DTOP_SELECTARG1;
    states.sourceBlend = D3DBLEND_SRCALPHA;
    states.destinationBlend = D3DBLEND_INVSRCALPHA;
    states.cullMode = D3DCULL_NONE;
    states.magFilter = D3DTEXF_POINT;
    states.minFilter = D3DTEXF_POINT;
    struct SizedPoint {
        float x, y, z, size;
        D3DCOLOR diffuse;
    };
    // An 8-pixel sprite centred on the corner of pixel (60, 60): pixels 56..63 each way.
    const SizedPoint point{PixelToClipX(59.5f), PixelToClipY(59.5f), 0.5f, 8.0f, 0xFFFFFFFFu};
    prepared_batch_t batch;
    batch.states = &states;
    batch.vertices = &point;
    batch.vertexCount = 1;
    batch.vertexStride = kPointSpriteStride;

    LegacyFrame([&] {
        renderer_->SetBackgroundColor(0xFF000000u);
        ASSERT_TRUE(AlphaProcessor()->AddPreparedBatch(batch, static_cast<CD3DTexture*>(texture)));
        EXPECT_EQ(AlphaProcessor()->GetVertexBytes(), kPointSpriteStride) << "sized for the buffers";
        // A node after it turns the sprites off again.
        renderer_->DrawRect(ScratchCommand(), 100, 100, 104, 104, 0x80FFFFFFu, true);
    });
    EXPECT_TRUE(AreaIs(56, 56, 60, 60, 0xFF0000));
    EXPECT_TRUE(AreaIs(60, 56, 64, 60, 0x00FF00));
    EXPECT_TRUE(AreaIs(56, 60, 60, 64, 0x0000FF));
    EXPECT_TRUE(AreaIs(60, 60, 64, 64, 0xFFFFFF));
    EXPECT_EQ(Count(0xFF0000), 16);
    EXPECT_TRUE(Near(Pixel(101, 101), 0x808080u));
    DWORD value = 0;
    Renderer()->GetDevice()->GetRenderState(D3DRS_POINTSPRITEENABLE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(FALSE));
    Renderer()->GetDevice()->GetRenderState(D3DRS_POINTSIZE_MAX, &value);
    EXPECT_EQ(std::bit_cast<float>(value), 100.0f);

    // Empty batches and indexed ones past 65,536 vertices are refused.
    batch.vertexCount = 0;
    EXPECT_FALSE(AlphaProcessor()->AddPreparedBatch(batch, nullptr));
    const std::uint16_t index = 0;
    batch.vertexCount = 65537;
    batch.indices = &index;
    batch.indexCount = 1;
    EXPECT_FALSE(AlphaProcessor()->AddPreparedBatch(batch, nullptr));
    renderer_->DestroyTexture(texture);
}

}  // namespace
}  // namespace lumi::test
