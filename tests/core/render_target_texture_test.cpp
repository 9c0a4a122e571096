// Render targets over a render-target texture: attaching and detaching the texture, the
// depth surface made on first demand and given back on loss, and saving the drawn pixels in
// the format the path's extension names.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/camera.h"
#include "core/render_target_texture.h"
#include "core/scene_manager.h"
#include "core/viewport.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/win32/text.h"
#include "tests/core/render_target_test_host.h"
#include "tests/support/work_folder.h"

namespace lumi::test {
namespace {

class TextureTargetTest : public TargetTest {
protected:
    void SetUp() override {
        TargetTest::SetUp();
        ASSERT_EQ(host_.device->CreateTexture(16, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                              &texture_, nullptr),
                  D3D_OK);
        target_ = std::make_unique<CD3DRenderTarget>(&host_);
        target_->Init("TEX1", 16, 8);
        target_->AttachTexture(texture_);
    }
    void TearDown() override {
        target_.reset();
        if (texture_ != nullptr) texture_->Release();
        TargetTest::TearDown();
    }

    IDirect3DSurface9* Attribute(const char* name) {
        void* out = nullptr;
        target_->GetAttribute(name, &out);
        return static_cast<IDirect3DSurface9*>(out);
    }

    // References held on the texture besides the test's own.
    int OtherTextureReferences() {
        texture_->AddRef();
        return static_cast<int>(texture_->Release()) - 1;
    }

    IDirect3DTexture9* texture_ = nullptr;
    std::unique_ptr<CD3DRenderTarget> target_;
};

TEST_F(TextureTargetTest, AttachHoldsTheTextureAndDetachGivesItBack) {
    EXPECT_EQ(target_->GetTexture(), texture_);
    EXPECT_NE(Attribute("D3DSURFACE"), nullptr);
    // The target's reference and its level-0 surface's (a level counts on its container).
    EXPECT_EQ(OtherTextureReferences(), 2);

    target_->AttachTexture(texture_);  // again: the old binding goes first
    EXPECT_EQ(OtherTextureReferences(), 2);
    target_->DetachTexture();
    EXPECT_EQ(OtherTextureReferences(), 0);
    EXPECT_EQ(Attribute("D3DSURFACE"), nullptr);
    EXPECT_EQ(Attribute("D3DZBUFFER"), nullptr) << "no depth surface without a colour surface";

    void* untouched = reinterpret_cast<void*>(0x1234);
    target_->GetAttribute("OTHER", &untouched);
    EXPECT_EQ(untouched, reinterpret_cast<void*>(0x1234));
}

TEST_F(TextureTargetTest, DepthSurfaceIsMadeOnFirstDemandAndReleasedWithTheColourSurface) {
    EXPECT_EQ(d3d9ctl::CallCount("CreateDepthStencilSurface"), 0);
    IDirect3DSurface9* depth = Attribute("D3DZBUFFER");
    ASSERT_NE(depth, nullptr);
    D3DSURFACE_DESC desc{};
    depth->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 16u);
    EXPECT_EQ(desc.Height, 8u);
    EXPECT_EQ(desc.Format, D3DFMT_D16);
    EXPECT_EQ(Attribute("D3DZBUFFER"), depth);
    EXPECT_EQ(d3d9ctl::CallCount("CreateDepthStencilSurface"), 1);

    const int liveBefore = d3d9ctl::InspectDevice(host_.device).liveDefaultPoolResources;
    target_->ReleaseSurfaces();
    EXPECT_EQ(d3d9ctl::InspectDevice(host_.device).liveDefaultPoolResources, liveBefore - 1);
    EXPECT_EQ(Attribute("D3DSURFACE"), nullptr);
    EXPECT_EQ(target_->GetTexture(), texture_);
}

TEST_F(TextureTargetTest, SaveToFilePicksTheFormatFromTheLastExtension) {
    TempWorkFolder folder;
    CSceneManager scene;
    scene.SetHost(&host_);
    viewport_t* viewport = target_->AddViewport(scene.CreateCamera("c"), 0, 0.0f, 0.0f, 1.0f, 1.0f);
    viewport->SetClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    target_->Render(false);

    struct Case {
        const char16_t* path;
        D3DXIMAGE_FILEFORMAT format;
    };
    for (const Case& c : {Case{u"SHOT.PNG", D3DXIFF_PNG}, Case{u"shot.png.jpg", D3DXIFF_JPG},
                          Case{u"shot.dds", D3DXIFF_DDS}, Case{u"shot.gif", D3DXIFF_BMP}}) {
        const std::string name = win32::Utf16ToUtf8(c.path);
        ASSERT_TRUE(target_->SaveToFile(c.path)) << name;
        D3DXIMAGE_INFO info{};
        ASSERT_EQ(D3DXGetImageInfoFromFileW(c.path, &info), D3D_OK) << name;
        EXPECT_EQ(info.ImageFileFormat, c.format) << name;
        EXPECT_EQ(info.Width, 16u) << name;
        EXPECT_EQ(info.Height, 8u) << name;
    }
    // D3DX writes no TGA files.
    EXPECT_FALSE(target_->SaveToFile(u"shot.Tga"));
    EXPECT_FALSE(std::filesystem::exists(folder.File("shot.Tga")));

    IDirect3DSurface9* readBack = nullptr;
    ASSERT_EQ(host_.device->CreateOffscreenPlainSurface(16, 8, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &readBack, nullptr),
              D3D_OK);
    ASSERT_EQ(D3DXLoadSurfaceFromFileW(readBack, nullptr, nullptr, u"SHOT.PNG", nullptr, D3DX_FILTER_NONE, 0, nullptr),
              D3D_OK);
    EXPECT_EQ(d3d9ctl::ReadPixel(readBack, 15, 7), 0xFF0000FFu);
    readBack->Release();

    EXPECT_FALSE(target_->SaveToFile(u"shot"));
    EXPECT_FALSE(target_->SaveToFile(u""));
    EXPECT_FALSE(target_->SaveToFile(nullptr));
    EXPECT_TRUE(target_->SaveToFileEx(u"ex.bmp", 99));
    target_->DetachTexture();
    EXPECT_FALSE(target_->SaveToFile(u"none.png"));
}

}  // namespace
}  // namespace lumi::test
