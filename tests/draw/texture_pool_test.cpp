// The texture pool: buckets that recycle common shapes, their caps and trimming, byte
// totals, eviction and retry when video memory runs out, and video copies across a loss.
#include "tests/draw/texture_fixture.h"
#include "tests/support/message_capture.h"

namespace lumi::test {
namespace {

using TexturePoolTest = TextureTest;

constexpr std::uint32_t k128Alpha = 128 * 128 * 4;

IDirect3DTexture9* Alloc(CTexturePool& pool, D3DFORMAT format, std::uint16_t side, D3DPOOL where) {
    std::uint32_t bytes = 0;
    return pool.AllocTexture(format, side, side, 0, where, false, &bytes);
}

TEST_F(TexturePoolTest, ReleasedBucketTexturesAreReusedOldestFirst) {
    IDirect3DTexture9* first = Alloc(*pool_, D3DFMT_A8R8G8B8, 128, D3DPOOL_SYSTEMMEM);
    IDirect3DTexture9* second = Alloc(*pool_, D3DFMT_A8R8G8B8, 128, D3DPOOL_SYSTEMMEM);
    ASSERT_NE(first, nullptr);
    pool_->FreeTexture(D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, 128, 128, 0, first);
    pool_->FreeTexture(D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, 128, 128, 0, second);
    EXPECT_EQ(pool_->GetSystemBytes(), 2 * k128Alpha) << "kept textures still count";

    const int creations = d3d9ctl::CallCount("CreateTexture");
    EXPECT_EQ(Alloc(*pool_, D3DFMT_A8R8G8B8, 128, D3DPOOL_SYSTEMMEM), first);
    EXPECT_EQ(Alloc(*pool_, D3DFMT_A8R8G8B8, 128, D3DPOOL_SYSTEMMEM), second);
    EXPECT_EQ(d3d9ctl::CallCount("CreateTexture"), creations);
    EXPECT_EQ(pool_->GetHitCount(), 2);

    // Other shapes meet no bucket: made and released every time.
    IDirect3DTexture9* small = Alloc(*pool_, D3DFMT_A8R8G8B8, 64, D3DPOOL_SYSTEMMEM);
    pool_->FreeTexture(D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, 64, 64, 0, small);
    Alloc(*pool_, D3DFMT_A8R8G8B8, 64, D3DPOOL_SYSTEMMEM)->Release();  // hand-released: not counted back
    EXPECT_EQ(d3d9ctl::CallCount("CreateTexture"), creations + 2);
    EXPECT_EQ(pool_->GetHitCount(), 2);
    first->Release();
    second->Release();
}

TEST_F(TexturePoolTest, FullBucketsRefuseAndTrimBucketsAgeDownToTheirCap) {
    std::vector<IDirect3DTexture9*> normal;
    for (int i = 0; i < 65; ++i) normal.push_back(Alloc(*pool_, D3DFMT_X8R8G8B8, 128, D3DPOOL_SYSTEMMEM));
    for (IDirect3DTexture9* texture : normal) {
        pool_->FreeTexture(D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, 128, 128, 0, texture);
    }
    const tex_cache_t* bucket = pool_->FindBucket(D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, 128, 128, 0);
    ASSERT_NE(bucket, nullptr);
    EXPECT_EQ(bucket->freeList.Count(), 64);
    EXPECT_EQ(bucket->refused, 1);
    EXPECT_EQ(pool_->GetSystemBytes(), 64u * 128 * 128 * 4) << "the refused texture's bytes are gone";

    std::vector<IDirect3DTexture9*> video;
    for (int i = 0; i < 6; ++i) video.push_back(Alloc(*pool_, D3DFMT_A8R8G8B8, 128, D3DPOOL_DEFAULT));
    for (IDirect3DTexture9* texture : video) {
        pool_->FreeTexture(D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, 128, 128, 0, texture);
    }
    const tex_cache_t* trim = pool_->FindBucket(D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, 128, 128, 0);
    ASSERT_NE(trim, nullptr);
    EXPECT_EQ(trim->freeList.Count(), 6) << "a trim bucket keeps any number";
    const std::uint32_t returned = g_FrameTimeMs;
    g_FrameTimeMs = returned + 1200;
    pool_->Trim();
    EXPECT_EQ(trim->freeList.Count(), 6) << "not older than 1200 ms yet";
    g_FrameTimeMs = returned + 1201;
    pool_->Trim();
    EXPECT_EQ(trim->freeList.Count(), 5) << "one per call";
    pool_->Trim();
    pool_->Trim();
    EXPECT_EQ(trim->freeList.Count(), 4) << "down to the cap";
    EXPECT_EQ(pool_->GetVideoBytes(), 4 * k128Alpha);
    EXPECT_EQ(bucket->freeList.Count(), 64) << "buckets without trim are never aged";
}

TEST_F(TexturePoolTest, OutOfVideoMemoryEvictsIdleTexturesAndRetriesOnce) {
    CD3DTexture* idle = MakeTexture(D3DFMT_A8R8G8B8, 64, 64, true);
    idle->SetManaged(true);
    idle->AddRef();
    idle->Release();
    ASSERT_NE(idle->GetD3DTexture(), nullptr);

    d3d9ctl::FailCall("CreateTexture", 1, D3DERR_OUTOFVIDEOMEMORY);
    IDirect3DTexture9* texture = Alloc(*pool_, D3DFMT_A8R8G8B8, 32, D3DPOOL_DEFAULT);
    EXPECT_NE(texture, nullptr) << "made on the second try";
    EXPECT_EQ(owner_.evictions, 1);
    EXPECT_EQ(idle->GetD3DTexture(), nullptr) << "the idle texture gave back its video copy";
    texture->Release();

    idle->AddRef();  // nothing idle any more
    d3d9ctl::FailCall("CreateTexture", 1, D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(Alloc(*pool_, D3DFMT_A8R8G8B8, 64, D3DPOOL_DEFAULT), nullptr);
    EXPECT_EQ(owner_.evictions, 2);
    EXPECT_TRUE(LogHas(u"Texture Pool alloc memory failed.[64x64xD3DFMT_A8R8G8B8]"));

    // A failure twice in a row is not retried again.
    idle->Release();
    d3d9ctl::FailCall("CreateTexture", 1, D3DERR_OUTOFVIDEOMEMORY, 2);
    EXPECT_EQ(Alloc(*pool_, D3DFMT_A8R8G8B8, 64, D3DPOOL_DEFAULT), nullptr);
    EXPECT_EQ(owner_.evictions, 3);
}

TEST_F(TexturePoolTest, MemoryObjectsFollowTheDeviceRulesAndFailCleanly) {
    owner_.squareOnly = true;
    CD3DTexture* wide = MakeTexture(D3DFMT_A8R8G8B8, 100, 20);
    EXPECT_EQ(wide->GetWidth(), 128);
    EXPECT_EQ(wide->GetHeight(), 128);
    owner_.squareOnly = false;

    const int live = pool_->GetLiveCount();
    const std::int32_t blocks = PoolOf<mem_obj_t>().BlocksInUse();
    CD3DTexture* texture = Keep(new CD3DTexture(&owner_, D3DFMT_A8R8G8B8, 40, 40, 0, false));
    d3d9ctl::FailCall("CreateTexture", 1, D3DERR_INVALIDCALL);
    EXPECT_THROW(pool_->CreateMemObj(texture, false), lumi::Exception);
    EXPECT_EQ(pool_->GetLiveCount(), live);
    EXPECT_EQ(PoolOf<mem_obj_t>().BlocksInUse(), blocks) << "no memory object leaked";
    d3d9ctl::FailCall("CreateTexture", 1, D3DERR_INVALIDCALL);
    EXPECT_FALSE(texture->BindMemoryFromPool());
    EXPECT_FALSE(texture->IsLoaded());

    // A failed video copy is simply absent.
    texture->SetCopyFlags(CD3DTexture::kSystemCopy | CD3DTexture::kVideoCopy);
    d3d9ctl::FailCall("CreateTexture", 2, D3DERR_INVALIDCALL);
    ASSERT_TRUE(texture->BindMemoryFromPool());
    EXPECT_NE(texture->GetSystemTexture(), nullptr);
    EXPECT_EQ(texture->GetD3DTexture(), nullptr);
    EXPECT_TRUE(texture->EnsureVideoTexture());

    mem_obj_t wild;
    EXPECT_THROW(pool_->EnsureVideoTexture(&wild), lumi::Exception);
}

TEST_F(TexturePoolTest, VideoCopiesGoOnLossAndComeBackAfterReset) {
    CD3DTexture* texture = MakeTexture(D3DFMT_A8R8G8B8, 128, 128, true);
    const std::uint32_t color = 0xFF123456;
    ASSERT_TRUE(texture->UpdateRect(&color, 1, 1, 4, 32, 5, 7));
    texture->UploadDirtyRect();
    IDirect3DTexture9* spare = Alloc(*pool_, D3DFMT_A8R8G8B8, 128, D3DPOOL_DEFAULT);
    pool_->FreeTexture(D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, 128, 128, 0, spare);

    texture->OnLostDevice();
    pool_->ReleaseVideoCopies();
    EXPECT_EQ(texture->GetD3DTexture(), nullptr);
    EXPECT_EQ(pool_->GetVideoBytes(), 0u) << "buckets emptied too";
    EXPECT_NE(texture->GetSystemTexture(), nullptr);

    pool_->RestoreVideoTextures();
    ASSERT_NE(texture->GetD3DTexture(), nullptr);
    texture->UploadDirtyRect();
    EXPECT_EQ(ReadTexel(texture->GetD3DTexture(), 5, 7), color);

    pool_->ReleaseAll();
    EXPECT_EQ(texture->GetSystemTexture(), nullptr);
    EXPECT_EQ(pool_->GetSystemBytes(), 0u);
    EXPECT_EQ(pool_->GetVideoBytes(), 0u);
}

TEST_F(TexturePoolTest, ClearingAndTheClosingReport) {
    IDirect3DTexture9* texture = Alloc(*pool_, D3DFMT_A8R8G8B8, 128, D3DPOOL_SYSTEMMEM);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    static_cast<std::uint32_t*>(locked.pBits)[3] = 0xFFFFFFFF;
    texture->UnlockRect(0);
    pool_->FreeTexture(D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, 128, 128, 0, texture);
    std::uint32_t bytes = 0;
    IDirect3DTexture9* reused = pool_->AllocTexture(D3DFMT_A8R8G8B8, 128, 128, 0, D3DPOOL_SYSTEMMEM, true, &bytes);
    ASSERT_EQ(reused, texture);
    EXPECT_EQ(ReadTexel(reused, 3, 0), 0u) << "a recycled texture asked clear is zero-filled";
    EXPECT_EQ(bytes, k128Alpha);
    d3d9ctl::FailCall("LockRect", 1, D3DERR_INVALIDCALL);
    EXPECT_FALSE(pool_->ClearTextureLevel0(reused));
    EXPECT_TRUE(LogHas(u"can NOT Lock texture."));
    reused->Release();

    MessageCapture capture;
    DestroyAll();
    const auto messages = capture.DevMsgs();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "Texture Alloc:\n");
    EXPECT_EQ(messages[1], "Alloc Hit Count: 1\nAlloc Miss Count: 1\n");
}

}  // namespace
}  // namespace lumi::test
