// Texture manager: the idle-texture memory rule, loads given up and reaped one per frame,
// the waits on the loader, device loss and reset, and display-mode changes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "draw/texture_pool.h"
#include "tests/draw/tex_mgr_fixture.h"

namespace lumi::test {
namespace {

class TexMgrMemoryTest : public TexMgrTest {
protected:
    // `count` loaded file textures that were used once in this frame and are idle now.
    std::vector<CD3DTexture*> IdleTextures(int count) {
        std::vector<CD3DTexture*> textures;
        for (int i = 0; i < count; ++i) {
            const std::u16string name = u"tex/idle" + std::u16string(1, static_cast<char16_t>(u'a' + i)) + u".png";
            CD3DTexture* texture = FileTexture(name, 4);
            EXPECT_TRUE(LoadNow(texture));
            UseOnce(texture);
            textures.push_back(texture);
        }
        return textures;
    }

    // Unmanaged textures whose system copies take the pool's system total past the limit.
    void FillSystemMemory() {
        for (int i = 0; i < 2; ++i) mgr_->CreateTexture(2048, 2048, D3DFMT_A8R8G8B8, 0, true);
        ASSERT_GE(mgr_->GetTexturePool()->GetSystemBytes(), CTexMgr::kIdleLimitBytes);
    }
};

TEST_F(TexMgrMemoryTest, IdleTexturesAreUnloadedOnlyAboveTheLimitWithMoreThanEightAndAfter2400Ms) {
    std::vector<CD3DTexture*> textures = IdleTextures(14);
    FrameAfter(CTexMgr::kIdleKeepMs);
    EXPECT_EQ(mgr_->IdleCount(), 14) << "below 32 MiB nothing goes";

    FillSystemMemory();
    for (CD3DTexture* texture : textures) UseOnce(texture);  // used again, in the same order
    FrameAfter(CTexMgr::kIdleKeepMs - 1);
    EXPECT_EQ(mgr_->IdleCount(), 14) << "used 2399 ms ago";
    FrameAfter(1);
    EXPECT_EQ(mgr_->IdleCount(), 9) << "five a frame, oldest first";
    EXPECT_EQ(mgr_->NamedCount(), 9u) << "unloaded named textures are deleted";
    EXPECT_TRUE(textures[13]->IsLoaded());
    FrameAfter(0);
    EXPECT_EQ(mgr_->IdleCount(), 8);
    FrameAfter(0);
    EXPECT_EQ(mgr_->IdleCount(), 8) << "eight idle textures are always kept";

    // A texture unloaded this way loads again when it is used.
    CD3DTexture* again = mgr_->FindOrCreateTexture(u"tex/idlea.png", false);
    EXPECT_FALSE(again->IsLoaded());
    EXPECT_TRUE(LoadNow(again));
    EXPECT_EQ(again->GetPixel(1, 2), ImageColor(1, 2));
}

TEST_F(TexMgrMemoryTest, UnnamedIdleTexturesAreKeptWithoutMemoryAndEvictionOnlyTouchesIdleOnes) {
    CD3DTexture* unnamed = mgr_->CreateTexture(16, 16, D3DFMT_A8R8G8B8, 0, true);
    unnamed->SetManaged(true);
    unnamed->SetCopyFlags(CD3DTexture::kSystemCopy | CD3DTexture::kVideoCopy);
    ASSERT_TRUE(unnamed->EnsureVideoTexture());
    UseOnce(unnamed);
    std::vector<CD3DTexture*> used = IdleTextures(1);
    used[0]->AddRef();
    ASSERT_TRUE(used[0]->EnsureVideoTexture());

    EXPECT_TRUE(mgr_->EvictIdleTextures());
    EXPECT_EQ(unnamed->GetD3DTexture(), nullptr);
    EXPECT_NE(used[0]->GetD3DTexture(), nullptr) << "in use: kept";

    const std::int32_t unnamedCount = mgr_->UnnamedCount();
    FrameAfter(CTexMgr::kIdleKeepMs);
    ASSERT_TRUE(mgr_->UnloadIdleTexture());
    EXPECT_EQ(mgr_->UnnamedCount(), unnamedCount);
    EXPECT_EQ(unnamed->GetMemory(), nullptr);
    EXPECT_FALSE(mgr_->UnloadIdleTexture()) << "the idle list is empty";
    EXPECT_FALSE(mgr_->EvictIdleTextures());
    used[0]->Release();
}

TEST_F(TexMgrMemoryTest, LoadsOfUnloadedTexturesArePendingAndReapedOnePerFrameOnceEnded) {
    for (const char16_t* name : {u"tex/p1.png", u"tex/p2.png"}) {
        CD3DTexture* texture = FileTexture(name, 4);
        UseOnce(texture);
        texture->Restore();
    }
    FrameAfter(CTexMgr::kIdleKeepMs);
    ASSERT_TRUE(mgr_->UnloadIdleTexture());
    ASSERT_TRUE(mgr_->UnloadIdleTexture());
    EXPECT_EQ(mgr_->NamedCount(), 0u) << "deleted at once";
    CResourceTextureLoader* loader = mgr_->GetResourceLoader();
    EXPECT_EQ(loader->GetPendingCount(), 2u);
    FrameAfter(16);
    EXPECT_EQ(loader->GetPendingCount(), 2u) << "still loading";
    CResourceLoader::GetSingleton().RunUntilIdle();
    FrameAfter(16);
    EXPECT_EQ(loader->GetPendingCount(), 1u);
    FrameAfter(16);
    EXPECT_EQ(loader->GetPendingCount(), 0u);
}

TEST_F(TexMgrMemoryTest, WaitsOnTheLoaderGoThroughSleepAndStepIt) {
    CD3DTexture* texture = FileTexture(u"tex/w.png", 4, true);
    sleeps_.Clear();
    renderer_->RequestLoadWait();
    RunFrame();
    EXPECT_EQ(sleeps_.Sleeps(), (std::vector<DWORD>{5, 5}));
    EXPECT_TRUE(texture->Restore());
}

TEST_F(TexMgrMemoryTest, LossAndResetWithTexturesInEveryState) {
    CD3DTexture* used = FileTexture(u"tex/used.png", 32);
    used->AddRef();
    ASSERT_TRUE(LoadNow(used));
    ASSERT_NE(mgr_->GetTextureCell(used), nullptr);
    CD3DTexture* idle = IdleTextures(1)[0];
    CD3DTexture* loading = FileTexture(u"tex/later.png", 8, true);
    CD3DTexture* never = mgr_->FindOrCreateTexture(u"tex/never.png", false);
    CD3DTexture* target = mgr_->CreateTexture(64, 64, D3DFMT_A8R8G8B8, CD3DTexture::kUsageRenderTarget, true);
    ASSERT_NE(target->GetD3DTexture(), nullptr);

    Renderer()->EnterLostState();
    EXPECT_EQ(used->GetCell(), nullptr);
    EXPECT_EQ(mgr_->GetTextureCell(used), nullptr);
    EXPECT_EQ(target->GetD3DTexture(), nullptr);
    EXPECT_EQ(mgr_->GetPage(0, 0)->GetD3DTexture(), nullptr);
    never->Restore();
    EXPECT_EQ(never->GetLoad(), nullptr) << "no load starts while lost";
    CResourceLoader::GetSingleton().RunUntilIdle();
    EXPECT_FALSE(loading->Restore());

    Renderer()->ResetDevice();
    ASSERT_FALSE(Renderer()->IsDeviceLost()) << "the reset found nothing of the default pool held";
    EXPECT_NE(target->GetD3DTexture(), nullptr);
    EXPECT_TRUE(loading->Restore()) << "the load finished during the loss";
    EXPECT_FALSE(LoadNow(never)) << "no such file";
    tex_cell_t* cell = mgr_->GetTextureCell(used);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(ReadTexel(cell->page->GetD3DTexture(), cell->rect.left + 31, cell->rect.top + 9), ImageColor(31, 9))
        << "placed again from the system copy";
    EXPECT_EQ(idle->GetPixel(2, 3), ImageColor(2, 3));
    used->Release();
}

TEST_F(TexMgrMemoryTest, DisplayModeChangeWaitsForRunningLoadsAndGivesThePagesMemoryAgain) {
    CD3DTexture* texture = FileTexture(u"tex/mode.png", 8, true);
    sleeps_.Clear();
    ASSERT_TRUE(renderer_->ChangeDisplayMode(400, 300, 32, 1, false, true));
    EXPECT_EQ(sleeps_.Sleeps(), (std::vector<DWORD>{5, 5})) << "the load ran to its end first";
    EXPECT_FALSE(texture->IsLoaded());
    EXPECT_EQ(texture->GetLoad(), nullptr);
    for (std::int32_t list = 0; list < 3; ++list) EXPECT_NE(mgr_->GetPage(list, 0)->GetMemory(), nullptr) << list;
    EXPECT_TRUE(LoadNow(texture));
    EXPECT_NE(mgr_->GetTextureCell(texture), nullptr);
}

}  // namespace
}  // namespace lumi::test
