// Additional swap chains and render-target textures of the legacy renderer: drawing into them
// through the clip scale of their own size, presenting a swap chain into a window, the device's
// own target coming back, the off-screen draws (DrawTex2Tex, Draw2Texture) that leave the
// host's frame alone (Draw2Texture into textures of every format), and the refusals of bad
// handles and sizes.
#include <gtest/gtest.h>

#include <vector>

#include "draw/d3d_texture.h"
#include "image/raster.h"
#include "legacy/clip_scale.h"
#include "tests/legacy/legacy_renderer_fixture.h"

namespace lumi::test {
namespace {

constexpr D3DCOLOR kRed = 0xFFFF0000;
constexpr D3DCOLOR kGreen = 0xFF00FF00;
constexpr D3DCOLOR kBlue = 0xFF0000FF;

class LegacyTargets : public LegacyRendererTest {
protected:
    void SetUp() override {
        LegacyRendererTest::SetUp();
        ASSERT_NE(Create(), nullptr);
    }

    // A 4 x 4 BMP file of one colour, in the scratch folder; its path.
    std::u16string WriteImage(const char* name, std::uint32_t rgb) {
        CRaster image(4, 4, 24, kRasterTypeBmp);
        const RGBQUAD colour{static_cast<BYTE>(rgb), static_cast<BYTE>(rgb >> 8), static_cast<BYTE>(rgb >> 16), 0};
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) image.SetPixelColor(x, y, colour);
        const std::u16string path = win32::Utf8ToUtf16(folder_.File(name));
        EXPECT_TRUE(image.Save(path.c_str(), kRasterTypeBmp));
        return path;
    }
};

TEST_F(LegacyTargets, ASwapChainDrawsThroughItsOwnSizeAndPresentsIntoAnyWindow) {
    HWND second = win32::CreateTestWindow(u"second", 400, 0, 64, 48);
    ISwapChain* swapChain = renderer_->CreateAdditionalSwapChain(64, 48);
    ASSERT_NE(swapChain, nullptr);
    EXPECT_EQ(swapChain->GetWidth(), 64);
    EXPECT_EQ(swapChain->GetHeight(), 48);
    LegacyFrame([&] { renderer_->SetBackgroundColor(0xFF000000u); });

    renderer_->AttachSwapChain(swapChain);
    EXPECT_EQ(g_ClipWidth, 64);
    LegacyFrame([&] {
        renderer_->SetBackgroundColor(0xFF000040u);
        renderer_->DrawRect(ScratchCommand(), 60, 40, 64, 48, kRed, true);
    }, false);
    ASSERT_EQ(swapChain->Present(nullptr, nullptr, second), D3D_OK);
    EXPECT_EQ(WindowPixel(second, 62, 44) & 0xFFFFFF, 0xFF0000u) << "the rectangle at the swap chain's corner";
    EXPECT_EQ(WindowPixel(second, 59, 44) & 0xFFFFFF, 0x000040u);
    EXPECT_EQ(Pixel(62, 44), 0x000000u) << "the main window kept its frame";

    // Detached: the device's own back buffer again, at its size.
    renderer_->AttachSwapChain(nullptr);
    EXPECT_EQ(g_ClipWidth, kWidth);
    LegacyFrame([&] { renderer_->DrawRect(ScratchCommand(), kWidth - 4, 0, kWidth, 4, kGreen, true); });
    EXPECT_EQ(Pixel(kWidth - 2, 2), 0x00FF00u);
    EXPECT_EQ(WindowPixel(second, 62, 44) & 0xFFFFFF, 0xFF0000u);

    // Attached and destroyed: drawing goes back to the device's back buffer first.
    renderer_->AttachSwapChain(swapChain);
    renderer_->DestroySwapChain(swapChain);
    EXPECT_EQ(Renderer()->GetAttachedSwapChain(), nullptr);
    EXPECT_EQ(Renderer()->GetSwapChainCount(), 0u);
    EXPECT_EQ(g_ClipWidth, kWidth);
    renderer_->DestroySwapChain(swapChain);  // no longer the renderer's: ignored
    renderer_->DestroySwapChain(nullptr);
}

TEST_F(LegacyTargets, BadSwapChainsAndRestoresAreRefusedWithALogLine) {
    EXPECT_EQ(renderer_->CreateAdditionalSwapChain(0, 48), nullptr);
    EXPECT_EQ(renderer_->CreateAdditionalSwapChain(64, 70000), nullptr);
    EXPECT_EQ(CountLines(u"CLumiscriber::CreateAdditionalSwapChain() error. desc=[The method call is invalid: a parameter has an invalid value.]"), 2);
    d3d9ctl::FailCall("CreateAdditionalSwapChain", 1, D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(renderer_->CreateAdditionalSwapChain(64, 48), nullptr);
    EXPECT_TRUE(LogContains(u"CLumiscriber::CreateAdditionalSwapChain() error. desc=[There is not enough display memory to complete the operation.]"));

    ISwapChain* swapChain = renderer_->CreateAdditionalSwapChain(64, 48);
    ASSERT_NE(swapChain, nullptr);
    renderer_->AttachSwapChain(reinterpret_cast<ISwapChain*>(&param_));  // not the renderer's
    EXPECT_TRUE(LogContains(u"CLumiscriber::AttachSwapChain() error. Invalid param"));
    EXPECT_EQ(Renderer()->GetAttachedSwapChain(), nullptr);
    d3d9ctl::FailCall("GetBackBuffer", 1, D3DERR_INVALIDCALL);
    renderer_->AttachSwapChain(swapChain);
    EXPECT_TRUE(LogContains(u"Error Swap Chain : The method call is invalid: a parameter has an invalid value."));
    EXPECT_EQ(Renderer()->GetAttachedSwapChain(), nullptr);

    // Nothing to restore: the device's own target was never put aside.
    Renderer()->SetRenderTargetSurface(nullptr);
    EXPECT_TRUE(LogContains(u"can not restore rendertarget, default render target lost."));
    renderer_->DestroySwapChain(swapChain);
}

TEST_F(LegacyTargets, ARenderTargetHoldsWhatDrawTex2TexDrawsAndTheFrameGoesOn) {
    const std::u16string red = WriteImage("red.bmp", 0xFF0000);
    IRenderTarget* target = renderer_->CreateRenderTarget(16, 16);
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->GetWidth(), 16);
    EXPECT_EQ(TargetPixel(target, 0, 0), 0u) << "cleared to transparent black";

    // Mid-frame: the host's queued rectangle still reaches the window, not the target.
    renderer_->BeginScene();
    renderer_->SetBackgroundColor(0xFF000000u);
    renderer_->DrawRect(ScratchCommand(), 0, 0, 8, 8, kBlue, true);
    const POINT at{4, 8};
    EXPECT_TRUE(renderer_->DrawTex2Tex(red.c_str(), nullptr, target, &at));
    EXPECT_EQ(Renderer()->GetFrameSubmissions(), 1u);
    EXPECT_EQ(g_ClipWidth, kWidth) << "the device's own target is back";
    ASSERT_TRUE(renderer_->EndScene(true));
    EXPECT_EQ(Pixel(2, 2), 0x0000FFu);
    EXPECT_EQ(TargetPixel(target, 4, 8), 0xFFFF0000u);
    EXPECT_EQ(TargetPixel(target, 7, 11), 0xFFFF0000u);
    EXPECT_EQ(TargetPixel(target, 3, 8), 0u);
    EXPECT_EQ(TargetPixel(target, 2, 2), 0u) << "the host's rectangle stayed out of the target";

    // A second image goes beside the first: the target keeps its pixels.
    const std::u16string green = WriteImage("green.bmp", 0x00FF00);
    const RECT half{0, 0, 2, 4};
    EXPECT_TRUE(renderer_->DrawTex2Tex(green.c_str(), &half, target, nullptr));
    EXPECT_EQ(TargetPixel(target, 1, 1), 0xFF00FF00u);
    EXPECT_EQ(TargetPixel(target, 2, 1), 0u) << "only the source's two columns";
    EXPECT_EQ(TargetPixel(target, 4, 8), 0xFFFF0000u);
    const std::string saved = folder_.File("target.png");
    EXPECT_TRUE(target->SaveToFile(win32::Utf8ToUtf16(saved).c_str()));
    EXPECT_FALSE(renderer_->DrawTex2Tex(u"missing.bmp", nullptr, target, nullptr)) << "nothing to draw";
    renderer_->DestroyRenderTarget(target);
    EXPECT_EQ(Renderer()->GetRenderTargetCount(), 0u);
}

TEST_F(LegacyTargets, BadRenderTargetsAndDrawsAreRefused) {
    EXPECT_EQ(renderer_->CreateRenderTarget(0, 16), nullptr);
    EXPECT_EQ(renderer_->CreateRenderTarget(16, -1), nullptr);
    EXPECT_EQ(renderer_->CreateRenderTarget(8192, 16), nullptr) << "larger than the device's textures";
    EXPECT_EQ(Renderer()->GetRenderTargetCount(), 0u);

    IRenderTarget* target = renderer_->CreateRenderTarget(8, 8);
    ASSERT_NE(target, nullptr);
    const std::u16string red = WriteImage("red.bmp", 0xFF0000);
    EXPECT_FALSE(renderer_->DrawTex2Tex(nullptr, nullptr, target, nullptr));
    EXPECT_FALSE(renderer_->DrawTex2Tex(red.c_str(), nullptr, nullptr, nullptr));
    EXPECT_EQ(CountLines(u"CLumiscriber::DrawTex2Tex() - \t\t\t\t\t\t\t   invalided param!"), 2);
    renderer_->DestroyRenderTarget(target);
    renderer_->DestroyRenderTarget(target);  // gone: refused, never touched
    renderer_->DestroyRenderTarget(nullptr);
    EXPECT_EQ(CountLines(u"CLumiscriber::DestroyRenderTarget() - \t\t\t\t\t\t\t\t   invalid rendertarget pointer."), 2);
    EXPECT_FALSE(renderer_->DrawTex2Tex(red.c_str(), nullptr, target, nullptr));

    ITexture* texture = FilledTexture(8, 8, 0xFF000000u);
    EXPECT_FALSE(renderer_->Draw2Texture(texture, nullptr, nullptr, nullptr, 0, 0xFFFFFFFFu, true));
    EXPECT_FALSE(renderer_->Draw2Texture(nullptr, red.c_str(), nullptr, nullptr, 0, 0xFFFFFFFFu, true));
    EXPECT_EQ(CountLines(u"CLumiscriber::Draw2Texture() - invalided param!"), 2);
    d3d9ctl::LoseDevice();
    renderer_->BeginScene();
    EXPECT_FALSE(renderer_->Draw2Texture(texture, red.c_str(), nullptr, nullptr, 0, 0xFFFFFFFFu, true));
    d3d9ctl::RestoreDevice();
    renderer_->DestroyTexture(texture);
}

TEST_F(LegacyTargets, Draw2TextureDrawsAnImageOverATexture) {
    const std::u16string red = WriteImage("red.bmp", 0xFF0000);
    ITexture* texture = FilledTexture(8, 8, 0xFF0000FFu);
    ASSERT_NE(texture, nullptr);
    auto* d3dTexture = static_cast<CD3DTexture*>(texture);
    const RECT source{0, 0, 4, 4};
    const RECT destination{2, 2, 6, 6};

    // Over the texture's own pixels.
    EXPECT_TRUE(renderer_->Draw2Texture(texture, red.c_str(), &source, &destination, 0, 0xFFFFFFFFu, false));
    EXPECT_EQ(d3dTexture->GetPixel(3, 3), 0xFFFF0000u);
    EXPECT_EQ(d3dTexture->GetPixel(0, 0), 0xFF0000FFu);
    // Drawn where the texture is drawn.
    LegacyFrame([&] {
        renderer_->SetBackgroundColor(0xFF000000u);
        const RECT whole{0, 0, 8, 8};
        const RECT at{40, 40, 48, 48};
        renderer_->DrawTexture(texture, &at, &whole, 0xFFFFFFFFu, 0);
    });
    EXPECT_EQ(Pixel(43, 43), 0xFF0000u);
    EXPECT_EQ(Pixel(40, 40), 0x0000FFu);

    // Cleared first: only the image is left.
    EXPECT_TRUE(renderer_->Draw2Texture(texture, red.c_str(), &source, &destination, 0, 0xFFFFFFFFu, true));
    EXPECT_EQ(d3dTexture->GetPixel(3, 3), 0xFFFF0000u);
    EXPECT_EQ(d3dTexture->GetPixel(0, 0), 0u);
    renderer_->DestroyTexture(texture);
}

TEST_F(LegacyTargets, Draw2TextureDrawsIntoTexturesOfEveryFormat) {
    // A PNG texture is A8R8G8B8 at quality 1 and DXT3 at quality 3: what is drawn is converted
    // into either.
    for (const std::int32_t quality : {1, 3}) {
        SCOPED_TRACE(quality);
        Release();
        param_.Quality = quality;
        ASSERT_NE(Create(), nullptr);
        const std::u16string red = WriteImage("red.bmp", 0xFF0000);
        CRaster blue(8, 8, 24, kRasterTypePng);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) blue.SetPixelColor(x, y, RGBQUAD{255, 0, 0, 0});
        const std::u16string bluePath = win32::Utf8ToUtf16(folder_.File("blue.png"));
        ASSERT_TRUE(blue.Save(bluePath.c_str(), kRasterTypePng));
        ITexture* texture = renderer_->CreateTexture(bluePath.c_str());
        ASSERT_NE(texture, nullptr);
        const RECT source{0, 0, 4, 4};
        const RECT destination{4, 4, 8, 8};  // one 4 x 4 block of a DXT texture
        EXPECT_TRUE(renderer_->Draw2Texture(texture, red.c_str(), &source, &destination, 0, 0xFFFFFFFFu, false));
        EXPECT_EQ(static_cast<CD3DTexture*>(texture)->GetFormat(), quality == 3 ? D3DFMT_DXT3 : D3DFMT_A8R8G8B8);
        LegacyFrame([&] {
            renderer_->SetBackgroundColor(0xFF000000u);
            const RECT whole{0, 0, 8, 8};
            const RECT at{40, 40, 48, 48};
            renderer_->DrawTexture(texture, &at, &whole, 0xFFFFFFFFu, 0);
        });
        EXPECT_TRUE(AreaIs(44, 44, 48, 48, 0xFF0000)) << "the image";
        EXPECT_TRUE(AreaIs(40, 40, 48, 44, 0x0000FF)) << "the texture's own pixels";
        EXPECT_TRUE(AreaIs(40, 44, 44, 48, 0x0000FF)) << "the texture's own pixels";
        renderer_->DestroyTexture(texture);
    }
}

TEST_F(LegacyTargets, Draw2TextureIntoATextureTheFrameDrawsLeavesTheFrameWhereItWas) {
    const std::u16string red = WriteImage("red.bmp", 0xFF0000);
    HWND second = win32::CreateTestWindow(u"second", 400, 0, 64, 48);
    ISwapChain* swapChain = renderer_->CreateAdditionalSwapChain(64, 48);
    ITexture* texture = FilledTexture(8, 8, 0xFF0000FFu);
    ASSERT_NE(swapChain, nullptr);
    ASSERT_NE(texture, nullptr);
    renderer_->AttachSwapChain(swapChain);
    renderer_->BeginScene();
    renderer_->SetBackgroundColor(0xFF000000u);
    const RECT whole{0, 0, 8, 8};
    const RECT at{0, 0, 8, 8};
    renderer_->DrawTexture(texture, &at, &whole, 0xFFFFFFFFu, 0);
    renderer_->DrawRect(ScratchCommand(), 56, 40, 64, 48, kGreen, true);
    const RECT source{0, 0, 4, 4};
    EXPECT_TRUE(renderer_->Draw2Texture(texture, red.c_str(), &source, &source, 0, 0xFFFFFFFFu, false));
    EXPECT_EQ(Renderer()->GetAttachedSwapChain(), swapChain);
    EXPECT_EQ(g_ClipWidth, 64) << "the swap chain's back buffer is the target again";
    EXPECT_EQ(Renderer()->GetFrameSubmissions(), 2u);
    ASSERT_TRUE(renderer_->EndScene(false));
    ASSERT_EQ(swapChain->Present(nullptr, nullptr, second), D3D_OK);
    // The texture is drawn as it is when the frame is drawn.
    EXPECT_EQ(WindowPixel(second, 1, 1) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(WindowPixel(second, 6, 6) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(WindowPixel(second, 60, 44) & 0xFFFFFF, 0x00FF00u);
    renderer_->AttachSwapChain(nullptr);
    renderer_->DestroyTexture(texture);
    renderer_->DestroySwapChain(swapChain);
}

}  // namespace
}  // namespace lumi::test
