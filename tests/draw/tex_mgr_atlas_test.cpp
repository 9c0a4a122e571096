// Texture manager: textures placed on the atlas pages, host cells, the surface cache of image
// files, and the dumps of the textures the atlas does not take.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "draw/texture_cell.h"
#include "tests/draw/tex_mgr_fixture.h"

namespace lumi::test {
namespace {

class TexMgrAtlasTest : public TexMgrTest {
protected:
    CD3DTexture* Filled(std::uint16_t width, std::uint16_t height, D3DFORMAT format, std::uint32_t color) {
        CD3DTexture* texture = mgr_->CreateTexture(width, height, format, 0, true);
        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height, color);
        EXPECT_TRUE(texture->UpdateRect(pixels.data(), width, height, width * 4, 32, 0, 0));
        return texture;
    }
};

TEST_F(TexMgrAtlasTest, TexturesGoToThePageOfTheirFormatMostRecentlyUsedFirst) {
    EXPECT_EQ(mgr_->PageCount(1), 1);
    EXPECT_EQ(mgr_->PageCount(2), 1);

    tex_cell_t* square = mgr_->GetTextureCell(Filled(128, 128, D3DFMT_A8R8G8B8, 0x80FF0000));
    ASSERT_NE(square, nullptr);
    EXPECT_EQ(square->page, mgr_->GetPage(1, 0));
    EXPECT_EQ(mgr_->GetTextureCell(Filled(128, 64, D3DFMT_A8R8G8B8, 0)), nullptr) << "alpha textures must be square";
    EXPECT_EQ(mgr_->GetTextureCell(Filled(16, 16, D3DFMT_R5G6B5, 0)), nullptr) << "no page of that format";

    CD3DHugeTexture* first = mgr_->GetPage(0, 0);
    CD3DTexture* small = Filled(20, 20, D3DFMT_X8R8G8B8, 0xFF123456);
    tex_cell_t* cell = mgr_->GetTextureCell(small);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->side, 32u);
    EXPECT_EQ(cell->page, first);
    EXPECT_EQ(ReadTexel(first->GetD3DTexture(), cell->rect.left + 19, cell->rect.top + 19) & 0xFFFFFFu, 0x123456u);

    // A whole page: the first cannot take it any more, the second can, and moves to the front.
    tex_cell_t* whole = mgr_->GetTextureCell(mgr_->CreateTexture(1024, 1024, D3DFMT_X8R8G8B8, 0, true));
    ASSERT_NE(whole, nullptr);
    EXPECT_NE(whole->page, first);
    EXPECT_EQ(mgr_->GetPage(0, 0), whole->page);
    EXPECT_EQ(mgr_->GetPage(0, 1), first);
    for (int i = 0; i < 4; ++i) mgr_->GetTextureCell(mgr_->CreateTexture(1024, 1024, D3DFMT_X8R8G8B8, 0, true));
    EXPECT_EQ(mgr_->GetTextureCell(mgr_->CreateTexture(1024, 1024, D3DFMT_X8R8G8B8, 0, true)), nullptr)
        << "five opaque pages at most";
    EXPECT_EQ(mgr_->PageCount(0), 5);

    // Idle, then used again after a change: the same cell, with the new pixels.
    small->SetManaged(true);
    UseOnce(small);
    EXPECT_EQ(small->GetCell(), cell) << "inactive, pixels kept";
    const std::uint32_t green = 0xFF00FF00;
    ASSERT_TRUE(small->UpdateRect(&green, 1, 1, 4, 32, 0, 0));
    small->AddRef();
    EXPECT_EQ(mgr_->GetTextureCell(small), cell);
    EXPECT_EQ(ReadTexel(first->GetD3DTexture(), cell->rect.left, cell->rect.top) & 0xFFFFFFu, 0x00FF00u);
    small->Release();
}

TEST_F(TexMgrAtlasTest, HostCellsComeFromRenderTargetPagesOfAtLeast32Pixels) {
    CTextureCell* tiny = mgr_->CreateTextureCell(10);
    ASSERT_NE(tiny, nullptr);
    EXPECT_EQ(tiny->side, 32u);
    EXPECT_EQ(tiny->GetTexture(), static_cast<ITexture*>(mgr_->GetPage(2, 0)));
    EXPECT_EQ(mgr_->CreateTextureCell(513), nullptr) << "larger than a host-cell page";
    CTextureCell* whole = mgr_->CreateTextureCell(512);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(mgr_->PageCount(2), 2) << "the first page is split: a second one is added";
    EXPECT_EQ(whole->page, mgr_->GetPage(2, 1));
}

TEST_F(TexMgrAtlasTest, ImageSurfacesAreCachedAndTheSmallestNamesEvictedPast64) {
    for (int i = 0; i < 66; ++i) {
        char name[32];
        std::snprintf(name, sizeof(name), "tex/s%02d.bmp", i);
        WriteImage(win32::Utf8ToUtf16(name), 2, 2, kRasterTypeBmp);
    }
    IDirect3DSurface9* first = mgr_->GetCachedSurface(u"tex/s00.bmp");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(d3d9ctl::ReadPixel(first, 1, 1) & 0xFFFFFFu, ImageColor(1, 1) & 0xFFFFFFu);
    EXPECT_EQ(mgr_->GetCachedSurface(u"tex/s00.bmp"), first);
    EXPECT_EQ(mgr_->GetCachedSurface(u"tex/none.bmp"), nullptr);
    for (int i = 1; i < 66; ++i) {
        char name[32];
        std::snprintf(name, sizeof(name), "tex/s%02d.bmp", i);
        ASSERT_NE(mgr_->GetCachedSurface(win32::Utf8ToUtf16(name).c_str()), nullptr);
    }
    EXPECT_EQ(mgr_->CachedSurfaceCount(), 50u) << "65 held: the 16 smallest names went before the 66th";

    Renderer()->EnterLostState();
    EXPECT_EQ(mgr_->CachedSurfaceCount(), 0u);
    Renderer()->ResetDevice();
    EXPECT_FALSE(Renderer()->IsDeviceLost());
}

TEST_F(TexMgrAtlasTest, DumpsHoldTheNotPackableTexturesOfTheInUseAndIdleLists) {
    CD3DTexture* active = FileTexture(u"tex/act.png", 4);
    CD3DTexture* idle = FileTexture(u"tex/ina.png", 4);
    CD3DTexture* plain = FileTexture(u"tex/plain.png", 4);
    for (CD3DTexture* texture : {active, idle, plain}) {
        ASSERT_TRUE(LoadNow(texture));
        texture->AddRef();
    }
    idle->Release();
    active->SetNotPackable(true);
    idle->SetNotPackable(true);

    Renderer()->DumpTextureAtlas();
    for (const char16_t* name : {u"act1000.png", u"ina1000.png"}) {
        CRaster image;
        ASSERT_TRUE(image.Load(name, kRasterTypePng)) << win32::Utf16ToUtf8(name);
        RGBQUAD pixel = image.GetPixelColor(2, 4 - 1 - 3);
        EXPECT_EQ(static_cast<std::uint32_t>(pixel.rgbRed) << 16 | pixel.rgbGreen << 8 | pixel.rgbBlue,
                  ImageColor(2, 3) & 0xFFFFFFu);
    }
    EXPECT_FALSE(std::filesystem::exists("act1001.png")) << "packable textures are not dumped";
    EXPECT_THROW(active->Release(), tarnel::FatalError) << "a not-packable texture may not go idle";
    plain->Release();
}

}  // namespace
}  // namespace lumi::test
