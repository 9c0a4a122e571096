// The legacy texture manager, pool and textures: the memory rule, idle textures shedding
// their video copies, the atlas choice, the two buckets, uploads at once and what a device
// loss leaves of them; file textures loaded by the loading threads through the renderer.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "draw/d3d_texture.h"
#include "draw/huge_texture.h"
#include "draw/tex_mgr.h"
#include "draw/texture_pool.h"
#include "image/raster.h"
#include "legacy/thread_texture_loader.h"
#include "platform/win32/threads.h"
#include "tests/draw/texture_fixture.h"
#include "tests/legacy/legacy_renderer_fixture.h"

namespace lumi::test {
namespace {

class LegacyTexMgrTest : public LegacyRendererTest {
protected:
    void SetUp() override {
        LegacyRendererTest::SetUp();
        ASSERT_NE(Create(), nullptr);
        mgr_ = Renderer()->GetTexMgr();
        pool_ = mgr_->GetTexturePool();
    }

    // Managed textures with memory (and a video copy when asked), each referenced once.
    std::vector<CD3DTexture*> UsedTextures(int count, bool video = false, int side = 4) {
        std::vector<CD3DTexture*> textures;
        for (int i = 0; i < count; ++i) {
            CD3DTexture* texture = mgr_->CreateTexture(side, side, mgr_->GetAlphaFormat(), 0, true);
            texture->SetManaged(true);
            if (video) {
                EXPECT_TRUE(texture->EnsureVideoTexture());
            }
            texture->AddRef();
            textures.push_back(texture);
        }
        return textures;
    }

    // Named file textures (never loaded), used once and idle.
    void IdleFileTextures(int count) {
        for (int i = 0; i < count; ++i) {
            const std::u16string name = u"idle/" + win32::Utf8ToUtf16(std::to_string(i)) + u".png";
            CD3DTexture* texture = mgr_->FindOrCreateTexture(name.c_str(), false);
            texture->AddRef();
            texture->Release();
        }
    }

    CTexMgr* mgr_ = nullptr;
    CTexturePool* pool_ = nullptr;
};

TEST_F(LegacyTexMgrTest, MemoryRuleUnloadsDownToSixtyFourIdleOnlyAboveTheLimitAndOverTheInUseCount) {
    IdleFileTextures(70);
    mgr_->Update();
    EXPECT_EQ(mgr_->IdleCount(), 70) << "below 32 MiB of system copies nothing goes";

    for (int i = 0; i < 2; ++i) mgr_->CreateTexture(2048, 2048, D3DFMT_A8R8G8B8, 0, true);
    ASSERT_GE(pool_->GetSystemBytes(), CTexMgr::kIdleLimitBytes);
    std::vector<CD3DTexture*> inUse = UsedTextures(70);
    mgr_->Update();
    EXPECT_EQ(mgr_->IdleCount(), 70) << "as many in use as idle";

    for (int i = 0; i < 5; ++i) inUse[i]->Release();
    ASSERT_EQ(mgr_->IdleCount(), 75);
    mgr_->Update();
    EXPECT_EQ(mgr_->IdleCount(), 65) << "more idle than in use (65) stops it";
    for (int i = 5; i < 70; ++i) inUse[i]->Release();
    mgr_->Update();
    EXPECT_EQ(mgr_->IdleCount(), 64) << "at any age, in one frame, down to 64";
    EXPECT_LT(mgr_->NamedCount(), 70u) << "unloaded named textures are deleted";
}

TEST_F(LegacyTexMgrTest, IdleTexturesPastThirtyTwoShedTheirVideoCopiesOldestFirst) {
    std::vector<CD3DTexture*> textures = UsedTextures(34, true);
    for (int i = 0; i < 32; ++i) textures[i]->Release();
    for (CD3DTexture* texture : textures) EXPECT_NE(texture->GetD3DTexture(), nullptr);
    textures[32]->Release();
    EXPECT_EQ(textures[0]->GetD3DTexture(), nullptr) << "the oldest idle one";
    EXPECT_FALSE(textures[0]->GetCopyFlags() & CD3DTexture::kVideoCopy);
    EXPECT_NE(textures[0]->GetSystemTexture(), nullptr) << "its pixels stay";
    EXPECT_NE(textures[1]->GetD3DTexture(), nullptr);
    textures[33]->Release();
    EXPECT_EQ(textures[1]->GetD3DTexture(), nullptr) << "the oldest went to the back";
    EXPECT_NE(textures[2]->GetD3DTexture(), nullptr);
}

TEST_F(LegacyTexMgrTest, AtlasTakesAnyFormatUpTo256ASideUnlessDrawnByItself) {
    struct Case {
        int width;
        int height;
        bool alpha;
        bool video;
        bool cell;
    } cases[] = {
        {256, 100, false, false, true},  {256, 100, true, false, true}, {100, 256, true, false, true},
        {257, 10, false, false, false},  {10, 257, true, false, false}, {64, 64, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << (c.alpha ? " alpha" : "")
                                        << (c.video ? " video" : ""));
        const D3DFORMAT format = c.alpha ? mgr_->GetAlphaFormat() : mgr_->GetNormalFormat();
        CD3DTexture* texture = mgr_->CreateTexture(c.width, c.height, format, 0, true);
        if (c.video) {
            ASSERT_TRUE(texture->EnsureVideoTexture());
        }
        tex_cell_t* cell = mgr_->GetTextureCell(texture);
        EXPECT_EQ(cell != nullptr, c.cell);
        if (cell != nullptr) {
            EXPECT_EQ(cell->page->GetFormat(), format);
        }
    }
    EXPECT_EQ(mgr_->PageCount(2), 0) << "no host-cell pages";
}

TEST_F(LegacyTexMgrTest, TwoVideoBucketsKeepTheirCapAndGoForGoodAtTheFirstLoss) {
    const D3DFORMAT normal = mgr_->GetNormalFormat();
    const D3DFORMAT alpha = mgr_->GetAlphaFormat();
    const tex_cache_t* small = pool_->FindBucket(normal, D3DPOOL_DEFAULT, 128, 128, 0);
    const tex_cache_t* large = pool_->FindBucket(alpha, D3DPOOL_DEFAULT, 256, 256, 0);
    ASSERT_NE(small, nullptr);
    ASSERT_NE(large, nullptr);
    EXPECT_EQ(small->cap, 16);
    EXPECT_EQ(large->cap, 32);
    EXPECT_EQ(pool_->FindBucket(normal, D3DPOOL_SYSTEMMEM, 128, 128, 0), nullptr) << "no system-memory buckets";

    std::vector<IDirect3DTexture9*> made;
    for (int i = 0; i < 17; ++i) {
        made.push_back(pool_->AllocTexture(normal, 128, 128, 0, D3DPOOL_DEFAULT, false, nullptr));
        ASSERT_NE(made.back(), nullptr);
    }
    const std::uint32_t videoBytes = pool_->GetVideoBytes();
    for (IDirect3DTexture9* texture : made) pool_->FreeTexture(normal, D3DPOOL_DEFAULT, 128, 128, 0, texture);
    EXPECT_EQ(small->freeList.Count(), 16);
    EXPECT_EQ(pool_->GetVideoBytes(), videoBytes - 128 * 128 * 4) << "the 17th is released";

    d3d9ctl::LoseDevice();
    LegacyFrame([] {}, false);
    d3d9ctl::RestoreDevice();
    LegacyFrame([] {}, false);
    ASSERT_FALSE(Renderer()->IsDeviceLost());
    EXPECT_EQ(pool_->FindBucket(normal, D3DPOOL_DEFAULT, 128, 128, 0), nullptr);
    EXPECT_EQ(pool_->FindBucket(alpha, D3DPOOL_DEFAULT, 256, 256, 0), nullptr);
    const std::uint32_t afterLoss = pool_->GetVideoBytes();
    IDirect3DTexture9* texture = pool_->AllocTexture(normal, 128, 128, 0, D3DPOOL_DEFAULT, false, nullptr);
    pool_->FreeTexture(normal, D3DPOOL_DEFAULT, 128, 128, 0, texture);
    EXPECT_EQ(pool_->GetVideoBytes(), afterLoss) << "nothing is kept for reuse any more";
}

TEST_F(LegacyTexMgrTest, PixelsReachTheVideoCopyAtOnceAndComeBackAfterALoss) {
    CD3DTexture* texture = mgr_->CreateTexture(100, 60, D3DFMT_A8R8G8B8, 0, true);
    EXPECT_EQ(texture->GetMemory()->width, 128) << "powers of two on each side";
    EXPECT_EQ(texture->GetMemory()->height, 64);
    ASSERT_TRUE(texture->EnsureVideoTexture());
    const std::vector<std::uint32_t> texels(100 * 60, 0xFF123456u);
    ASSERT_TRUE(texture->UpdateRect(texels.data(), 100, 60, 400, 32, 0, 0));
    EXPECT_FALSE(texture->IsDirty());
    EXPECT_EQ(ReadTexel(texture->GetD3DTexture(), 99, 59), 0xFF123456u) << "no flush needed";

    d3d9ctl::LoseDevice();
    LegacyFrame([] {}, false);
    d3d9ctl::RestoreDevice();
    LegacyFrame([] {}, false);
    ASSERT_NE(texture->GetD3DTexture(), nullptr);
    EXPECT_EQ(ReadTexel(texture->GetD3DTexture(), 50, 30), 0xFF123456u);
}

TEST_F(LegacyTexMgrTest, UpdateRectBindsMemoryBeforeItTestsThePositionAndTheSize) {
    CD3DTexture* texture = mgr_->CreateTexture(8, 8, D3DFMT_A8R8G8B8, 0, false);
    const std::uint32_t texel = 0xFFFFFFFFu;
    EXPECT_FALSE(texture->UpdateRect(&texel, 1, 1, 4, 32, 8, 0));
    EXPECT_NE(texture->GetMemory(), nullptr) << "memory first";
    EXPECT_TRUE(LogContains(u"CD3DTexture::UpdateRect() -- Invalid param"));
    EXPECT_TRUE(texture->UpdateRect(&texel, 0, 0, 4, 32, 7, 7)) << "an empty size after a good position";
}

// The renderer's own loader: file textures drawn by the host load on the threads, and a
// renderer released with loads queued leaves no thread behind.
TEST_F(LegacyTexMgrTest, ThreadedFileTexturesLoadForTheHostAndStopWithTheRenderer) {
    ASSERT_TRUE(mgr_->GetThreadLoader()->IsThreaded());
    std::filesystem::create_directories("tex");
    for (int i = 0; i < 40; ++i) {
        CRaster image(16, 16, 24, kRasterTypePng);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) image.SetPixelColor(x, y, RGBQUAD{0, 0, BYTE(i), 0});
        const std::u16string name = u"tex/" + win32::Utf8ToUtf16(std::to_string(i)) + u".png";
        ASSERT_TRUE(image.Save(name.c_str(), kRasterTypePng));
        ITexture* texture = renderer_->CreateTexture(name.c_str());
        ASSERT_NE(texture, nullptr);
        EXPECT_FALSE(static_cast<CD3DTexture*>(texture)->Restore()) << "requested, not loaded yet";
    }
    mgr_->WaitForResourceLoader();
    CD3DTexture* first = mgr_->FindOrCreateTexture(u"tex/0.png", false);
    EXPECT_TRUE(first->Restore());
    EXPECT_EQ(first->GetPixel(3, 3), 0xFF000000u);
    CD3DTexture* last = mgr_->FindOrCreateTexture(u"tex/39.png", false);
    EXPECT_TRUE(last->Restore());
    EXPECT_EQ(last->GetPixel(3, 3), 0xFF270000u);

    // More loads queued, then the renderer goes.
    for (int i = 0; i < 40; ++i) {
        const std::u16string name = u"tex/more" + win32::Utf8ToUtf16(std::to_string(i)) + u".png";
        static_cast<CD3DTexture*>(mgr_->FindOrCreateTexture(name.c_str(), false))->Restore();
    }
    mgr_ = nullptr;
    Release();
    EXPECT_EQ(win32::OpenThreadHandleCount(), 0);
}

TEST_F(LegacyTexMgrTest, LoadsEndingWhileTheDeviceIsLostAreTakenAfterTheReset) {
    std::filesystem::create_directories("tex");
    CRaster image(8, 8, 24, kRasterTypePng);
    ASSERT_TRUE(image.Save(u"tex/lost.png", kRasterTypePng));
    CD3DTexture* texture = mgr_->FindOrCreateTexture(u"tex/lost.png", false);
    EXPECT_FALSE(texture->Restore());
    d3d9ctl::LoseDevice();
    LegacyFrame([] {}, false);
    mgr_->WaitForResourceLoader();
    EXPECT_FALSE(texture->Restore()) << "nothing is taken while the device is lost";
    EXPECT_NE(texture->GetLoad(), nullptr);
    d3d9ctl::RestoreDevice();
    LegacyFrame([] {}, false);
    EXPECT_TRUE(texture->Restore());
}

}  // namespace
}  // namespace lumi::test
