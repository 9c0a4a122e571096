// The renderer on devices whose textures are restricted as the caps of older cards were:
// powers of two only, square only, a largest aspect ratio, a small largest side. Textures of
// every kind (host-filled, file, render target) must still draw their pixels where they
// belong, without misuse of the device.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "core/render_target.h"
#include "draw/d3d_texture.h"
#include "tests/draw/tex_mgr_fixture.h"

namespace lumi::test {
namespace {

struct Restriction {
    const char* name;
    DWORD textureCaps;
    DWORD aspectRatio;
    DWORD largestSide;

    friend void PrintTo(const Restriction& restriction, std::ostream* out) { *out << restriction.name; }
};

class RendererCapsTest : public TexMgrTest, public ::testing::WithParamInterface<Restriction> {
protected:
    // TexMgrTest's set-up, with the restriction in the caps before the renderer is made.
    void SetUp() override {
        RendererTest::SetUp();
        D3DCAPS9 caps = d3d9ctl::DefaultCaps();
        caps.TextureCaps |= GetParam().textureCaps;
        caps.MaxTextureAspectRatio = GetParam().aspectRatio;
        caps.MaxTextureWidth = caps.MaxTextureHeight = GetParam().largestSide;
        d3d9ctl::SetCaps(0, caps);
        CResourceLoader::GetSingleton().Reset(CResourceLoader::Mode::Manual);
        sleeps_.OnSleep([](DWORD) { CResourceLoader::GetSingleton().Step(); });
        std::filesystem::create_directories("tex");
        ASSERT_NE(Create(), nullptr);
        mgr_ = Renderer()->GetTexMgr();
        RunFrame();
    }

    // One frame of `draws`, presented.
    template <class Draws>
    void Frame(Draws draws) {
        renderer_->OnFrameBegin();
        renderer_->BeginScene();
        draws();
        ASSERT_TRUE(renderer_->EndScene(true));
        renderer_->OnFrameEnd();
    }

    // The window shows ImageColor over [x, x + width) x [y, y + height), shifted by the origin.
    ::testing::AssertionResult ShowsImage(int x, int y, int width, int height) const {
        for (int row = 0; row < height; ++row)
            for (int column = 0; column < width; ++column) {
                const std::uint32_t want = ImageColor(column, row) & 0xFFFFFF;
                const std::uint32_t got = WindowPixel(window_, x + column, y + row) & 0xFFFFFF;
                if (got != want)
                    return ::testing::AssertionFailure() << "pixel (" << column << ", " << row << ") is " << std::hex
                                                         << got << ", not " << want;
            }
        return ::testing::AssertionSuccess();
    }
};

TEST_P(RendererCapsTest, TexturesOfEveryKindDrawTheirPixels) {
    // A host-filled texture of an awkward size.
    constexpr int kWidth = 36, kHeight = 6;
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) pixels.push_back(ImageColor(x, y));
    ITexture* filled = renderer_->CreateUITexture(kWidth, kHeight);
    ASSERT_NE(filled, nullptr);
    ASSERT_TRUE(filled->UpdateRect(pixels.data(), kWidth, kHeight, kWidth * 4, 32, 0, 0));

    // A file texture, and a render target that a file is drawn into.
    CD3DTexture* file = FileTexture(u"tex/file.png", 12, true);
    ASSERT_TRUE(LoadNow(file));
    WriteImage(u"tex/wide.png", kWidth, kHeight, kRasterTypePng);
    auto* canvas = static_cast<CD3DTexture*>(renderer_->CreateTexture(kWidth, kHeight, D3DFMT_A8R8G8B8, 0x200));
    ASSERT_NE(canvas, nullptr);
    const POINT origin{0, 0};
    ASSERT_TRUE(renderer_->DrawTex2Tex(u"tex/wide.png", nullptr, canvas->GetRenderTarget(), &origin));

    const RECT wholeFilled{0, 0, kWidth, kHeight};
    const RECT atFilled{10, 10, 10 + kWidth, 10 + kHeight};
    const RECT wholeFile{0, 0, 12, 12};
    const RECT atFile{10, 30, 22, 42};
    const RECT atCanvas{100, 10, 100 + kWidth, 10 + kHeight};
    Frame([&] {
        renderer_->DrawTexture(filled, &atFilled, &wholeFilled, 0xFFFFFFFF, 1);
        renderer_->DrawTexture(file, &atFile, &wholeFile, 0xFFFFFFFF, 1);
        renderer_->DrawTexture(canvas, &atCanvas, &wholeFilled, 0xFFFFFFFF, 1);
    });
    EXPECT_TRUE(ShowsImage(10, 10, kWidth, kHeight)) << "host-filled";
    EXPECT_TRUE(ShowsImage(10, 30, 12, 12)) << "file";
    EXPECT_TRUE(ShowsImage(100, 10, kWidth, kHeight)) << "render target";
    EXPECT_FALSE(Renderer()->IsDeviceLost());

    // On a small device an image larger than its largest side cannot be made a texture of: it
    // stays unloaded, without harm, as one that fits loads.
    if (GetParam().largestSide <= 512) {
        const int side = static_cast<int>(GetParam().largestSide);
        EXPECT_TRUE(LoadNow(FileTexture(u"tex/fits.png", side, true)));
        EXPECT_FALSE(LoadNow(FileTexture(u"tex/larger.png", side + 1, true)));
        RunFrame();
    }
    EXPECT_TRUE(d3d9ctl::MisuseReports().empty());
}


INSTANTIATE_TEST_SUITE_P(Restrictions, RendererCapsTest,
                         ::testing::Values(Restriction{"PowersOfTwo", D3DPTEXTURECAPS_POW2, 4096, 4096},
                                           Restriction{"ConditionalPowersOfTwo",
                                                       D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL, 4096, 4096},
                                           Restriction{"SquareOnly", D3DPTEXTURECAPS_SQUAREONLY, 4096, 4096},
                                           Restriction{"AspectRatioFour", 0, 4, 4096},
                                           Restriction{"LargestSide512", 0, 4096, 512}),
                         [](const ::testing::TestParamInfo<Restriction>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lumi::test
