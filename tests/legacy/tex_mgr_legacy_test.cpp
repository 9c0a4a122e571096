// The legacy texture manager, pool and textures: the memory rule, idle textures shedding
// their video copies, the atlas choice, the two buckets, uploads at once and what a device
// loss leaves of them; file textures of any name, and DXT ones larger than the conversion
// scratch, loaded by the loading threads through the renderer; every copy made without a
// usage, a render target drawing into a texture of its own that stands for the video copy,
// single pixels read back by format, and a pool that counts and reports nothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/render_target_texture.h"
#include "draw/d3d_texture.h"
#include "draw/huge_texture.h"
#include "draw/tex_mgr.h"
#include "draw/texture_pool.h"
#include "image/raster.h"
#include "legacy/thread_texture_loader.h"
#include "platform/d3dx9/control.h"
#include "platform/win32/threads.h"
#include "tests/draw/texture_fixture.h"
#include "tests/legacy/legacy_renderer_fixture.h"
#include "tests/support/message_capture.h"

namespace lumi::test {
namespace {

DWORD UsageOf(IDirect3DTexture9* texture) {
    D3DSURFACE_DESC desc{};
    if (texture == nullptr || FAILED(texture->GetLevelDesc(0, &desc))) return 0xDEADBEEF;
    return desc.Usage;
}

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

    // The texture drawn at (x, y) in a frame on black, presented to the host window; at
    // twice its size it is drawn from its own video copy, never from the atlas.
    void DrawAt(CD3DTexture* texture, int x, int y, int scale = 1) {
        LegacyFrame([&] {
            renderer_->SetBackgroundColor(0xFF000000u);
            const RECT whole{0, 0, texture->GetWidth(), texture->GetHeight()};
            const RECT at{x, y, x + scale * texture->GetWidth(), y + scale * texture->GetHeight()};
            renderer_->DrawTexture(texture, &at, &whole, 0xFFFFFFFFu, 0);
        });
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

TEST_F(LegacyTexMgrTest, NamesOfNoKnownTypeLoadInTheNormalFormat) {
    // Another extension, none, or a name ending in '.': code 0, the normal format, and the
    // file's decoder chosen from its content.
    std::filesystem::create_directories("tex");
    for (const char16_t* name : {u"tex/pic.img", u"tex/picture", u"tex/picture."}) {
        SCOPED_TRACE(win32::Utf16ToUtf8(name));
        CRaster image(4, 4, 24, kRasterTypeBmp);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) image.SetPixelColor(x, y, RGBQUAD{0x30, 0x20, 0x10, 0});
        ASSERT_TRUE(image.Save(name, kRasterTypeBmp));
        auto* texture = static_cast<CD3DTexture*>(renderer_->CreateTexture(name));
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(texture->GetFormat(), mgr_->GetNormalFormat());
        EXPECT_EQ(static_cast<std::int32_t>(texture->GetImageInfo()->ImageFileFormat), 0);
        texture->Restore();
        mgr_->WaitForResourceLoader();
        ASSERT_TRUE(texture->Restore());
        EXPECT_EQ(texture->GetPixel(2, 1) & 0xFFFFFFu, 0x102030u);
        renderer_->DestroyTexture(texture);
    }
}

TEST_F(LegacyTexMgrTest, AnImageLargerThanTheConversionScratchLoadsIntoADxtTexture) {
    // Quality 3: PNG textures are DXT3, converted through the pool's 512-square scratch
    // texture, a tile at a time for a larger image.
    mgr_ = nullptr;
    pool_ = nullptr;
    Release();
    param_.Quality = 3;
    ASSERT_NE(Create(), nullptr);
    mgr_ = Renderer()->GetTexMgr();
    ASSERT_EQ(mgr_->GetAlphaFormat(), D3DFMT_DXT3);
    const int side = 520;
    const int edge = static_cast<int>(CTexturePool::kScratchSide);
    // A colour for each quarter around the corner of the first tile, each kept exactly by the
    // 4-bit rows and the DXT blocks.
    std::filesystem::create_directories("tex");
    CRaster image(side, side, 24, kRasterTypePng);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const std::uint32_t c =
                x < edge ? (y < edge ? 0xFF0000u : 0x00FF00u) : (y < edge ? 0x0000FFu : 0xFFFFFFu);
            // Rows counted from the bottom.
            image.SetPixelColor(x, side - 1 - y, RGBQUAD{BYTE(c), BYTE(c >> 8), BYTE(c >> 16), 0});
        }
    }
    ASSERT_TRUE(image.Save(u"tex/large.png", kRasterTypePng));
    auto* texture = static_cast<CD3DTexture*>(renderer_->CreateTexture(u"tex/large.png"));
    ASSERT_NE(texture, nullptr);
    texture->Restore();
    mgr_->WaitForResourceLoader();
    ASSERT_TRUE(texture->Restore());
    EXPECT_FALSE(texture->IsInvalid());
    EXPECT_EQ(texture->GetWidth(), 1024);
    const RECT corner{edge - 8, edge - 8, side, side};
    const RECT at{0, 0, 16, 16};
    LegacyFrame([&] {
        renderer_->SetBackgroundColor(0xFF000000u);
        renderer_->DrawTexture(texture, &at, &corner, 0xFFFFFFFFu, 0);
    });
    EXPECT_TRUE(AreaIs(0, 0, 8, 8, 0xFF0000));
    EXPECT_TRUE(AreaIs(8, 0, 16, 8, 0x0000FF));
    EXPECT_TRUE(AreaIs(0, 8, 8, 16, 0x00FF00));
    EXPECT_TRUE(AreaIs(8, 8, 16, 16, 0xFFFFFF)) << "up to the image's last row and column";
    renderer_->DestroyTexture(texture);
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

TEST_F(LegacyTexMgrTest, ARenderTargetDrawsIntoATextureOfItsOwnWhichIsTheVideoCopy) {
    CD3DTexture* texture = mgr_->CreateTexture(16, 16, D3DFMT_A8R8G8B8, CD3DTexture::kUsageRenderTarget, true);
    CD3DRenderTarget* target = texture->GetD3DRenderTarget();
    ASSERT_NE(target, nullptr);
    ASSERT_NE(target->GetTexture(), nullptr);
    EXPECT_EQ(UsageOf(target->GetTexture()), static_cast<DWORD>(D3DUSAGE_RENDERTARGET));
    const mem_obj_t* memory = texture->GetMemory();
    ASSERT_NE(memory->videoCopy, nullptr);
    EXPECT_EQ(UsageOf(memory->videoCopy), 0u) << "the memory's copy has no usage";
    EXPECT_EQ(memory->videoUsage, 0u);
    EXPECT_EQ(texture->GetD3DTexture(), target->GetTexture());
    EXPECT_TRUE(texture->EnsureVideoTexture());
    EXPECT_EQ(mgr_->GetTextureCell(texture), nullptr) << "has a video copy: never in the atlas";

    // Drawn into, then drawn as a texture.
    Renderer()->SetRenderTargetTexture(target);
    renderer_->SetBackgroundColor(0xFFFF0000u);
    Renderer()->SetRenderTargetTexture(nullptr);
    DrawAt(texture, 40, 40);
    EXPECT_EQ(Pixel(47, 47), 0xFF0000u);
    EXPECT_EQ(Pixel(39, 39), 0x000000u);

    // Giving back the video copy gives back the memory's one; the target keeps its own.
    texture->ReleaseVideoCopy();
    EXPECT_EQ(texture->GetMemory()->videoCopy, nullptr);
    EXPECT_FALSE(texture->GetCopyFlags() & CD3DTexture::kVideoCopy);
    EXPECT_EQ(texture->GetD3DTexture(), target->GetTexture());
    DrawAt(texture, 40, 40);
    EXPECT_EQ(Pixel(47, 47), 0xFF0000u);

    // A loss takes the render target; afterwards the texture is drawn from a memory copy
    // without usage (the reset succeeds: nothing of the default pool was kept).
    d3d9ctl::LoseDevice();
    LegacyFrame([] {}, false);
    d3d9ctl::RestoreDevice();
    LegacyFrame([] {}, false);
    ASSERT_FALSE(Renderer()->IsDeviceLost());
    EXPECT_EQ(texture->GetD3DRenderTarget(), nullptr);
    EXPECT_EQ(texture->GetD3DTexture(), nullptr) << "it had given back its video copy";
    ASSERT_TRUE(texture->EnsureVideoTexture());
    EXPECT_EQ(texture->GetD3DTexture(), texture->GetMemory()->videoCopy);
    EXPECT_EQ(UsageOf(texture->GetD3DTexture()), 0u);
    renderer_->DestroyTexture(texture);
}

TEST_F(LegacyTexMgrTest, AVideoCopyIsMadeWithoutUsageAndTakesThePixelsAtOnce) {
    CD3DTexture* bare = mgr_->CreateTexture(8, 8, D3DFMT_A8R8G8B8, 0, false);
    EXPECT_FALSE(bare->EnsureVideoTexture()) << "without memory";

    CD3DTexture* texture = mgr_->CreateTexture(8, 8, D3DFMT_A8R8G8B8, CD3DTexture::kUsageDynamic, true);
    const std::vector<std::uint32_t> texels(64, 0xFF00FF00u);
    ASSERT_TRUE(texture->UpdateRect(texels.data(), 8, 8, 32, 32, 0, 0));
    ASSERT_EQ(texture->GetD3DTexture(), nullptr);
    ASSERT_TRUE(texture->EnsureVideoTexture());
    EXPECT_EQ(UsageOf(texture->GetD3DTexture()), 0u) << "not dynamic";
    EXPECT_EQ(ReadTexel(texture->GetD3DTexture(), 7, 7), 0xFF00FF00u) << "uploaded at once";
    EXPECT_FALSE(texture->IsDirty());
    EXPECT_TRUE(texture->GetCopyFlags() & CD3DTexture::kVideoCopy);

    // The pool cannot make one: no success is claimed, and nothing is drawn in its place.
    CD3DTexture* refused = mgr_->CreateTexture(8, 8, D3DFMT_A8R8G8B8, 0, true);
    ASSERT_TRUE(refused->UpdateRect(texels.data(), 8, 8, 32, 32, 0, 0));
    d3dxctl::FailCall(d3dxctl::Function::kCreateTexture, 1, E_OUTOFMEMORY, 1000);
    EXPECT_FALSE(refused->EnsureVideoTexture());
    EXPECT_EQ(refused->GetD3DTexture(), nullptr);
    EXPECT_FALSE(refused->GetCopyFlags() & CD3DTexture::kVideoCopy);
    EXPECT_TRUE(refused->IsDirty()) << "its pixels wait for a copy";
    EXPECT_TRUE(LogContains(u"Texture Pool alloc memory failed.[8x8xD3DFMT_A8R8G8B8]"));
    DrawAt(refused, 40, 40, 2);
    EXPECT_EQ(Pixel(43, 43), 0x000000u);
    d3d9ctl::ClearFailures();
    DrawAt(refused, 40, 40, 2);
    EXPECT_EQ(Pixel(43, 43), 0x00FF00u) << "made when next drawn";
}

TEST_F(LegacyTexMgrTest, APixelIsReadFromItsOwnTexelOrItsBlock) {
    // Each texture holds `texel` at (5, 6) and 0 elsewhere; DXT blocks are 16 bytes for
    // DXT3 and DXT5, 8 for DXT1.
    struct Case {
        D3DFORMAT format;
        std::vector<std::uint8_t> texel;  // the bytes at (5, 6), or of the block at (4, 4)
        D3DCOLOR expected;
    } cases[] = {
        {D3DFMT_A8R8G8B8, {0x33, 0x22, 0x11, 0x80}, 0x80112233u},
        {D3DFMT_X8R8G8B8, {0x33, 0x22, 0x11, 0xFF}, 0xFF112233u},
        {D3DFMT_R5G6B5, {0xFF, 0xFF}, 0xFFF8FCF8u},
        {D3DFMT_A4R4G4B4, {0x21, 0x43}, 0x40302010u},
        {D3DFMT_A8, {0x7F}, 0x7F000000u},
        // Explicit alpha: row 2 of the block, pixel 1 is the high nibble of byte 4.
        {D3DFMT_DXT3, {0, 0, 0, 0, 0xA0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}, 0xA0000000u},
        {D3DFMT_DXT1, {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}, 0u},
        {D3DFMT_DXT5, {0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}, 0u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.format);
        CD3DTexture* texture = mgr_->CreateTexture(8, 8, c.format, 0, true);
        IDirect3DTexture9* system = texture->GetSystemTexture();
        ASSERT_NE(system, nullptr);
        const bool dxt = CD3DTexture::IsDXTFormat(c.format);
        D3DLOCKED_RECT locked{};
        const RECT at = dxt ? RECT{4, 4, 8, 8} : RECT{5, 6, 6, 7};
        ASSERT_EQ(system->LockRect(0, &locked, &at, 0), D3D_OK);
        std::memcpy(locked.pBits, c.texel.data(), c.texel.size());
        system->UnlockRect(0);

        EXPECT_EQ(texture->GetPixel(5, 6), c.expected);
        if (!dxt) {
            EXPECT_EQ(texture->GetPixel(0, 0) & 0x00FFFFFFu, 0u) << "the pixel's own texel, not the first";
        }
        EXPECT_EQ(texture->GetPixel(8, 6), 0u) << "outside";
    }
    EXPECT_FALSE(LogContains(u"LockRect error")) << "every lock was one the platform takes";
}

TEST_F(LegacyTexMgrTest, ThePoolCountsNoHitsOrMissesAndSaysNothingWhenItGoes) {
    const D3DFORMAT normal = mgr_->GetNormalFormat();
    IDirect3DTexture9* made = pool_->AllocTexture(normal, 128, 128, 0, D3DPOOL_DEFAULT, false, nullptr);
    ASSERT_NE(made, nullptr);
    pool_->FreeTexture(normal, D3DPOOL_DEFAULT, 128, 128, 0, made);
    IDirect3DTexture9* again = pool_->AllocTexture(normal, 128, 128, 0, D3DPOOL_DEFAULT, false, nullptr);
    EXPECT_EQ(again, made) << "a bucket hit";
    pool_->FreeTexture(normal, D3DPOOL_DEFAULT, 128, 128, 0, again);
    const tex_cache_t* bucket = pool_->FindBucket(normal, D3DPOOL_DEFAULT, 128, 128, 0);
    ASSERT_NE(bucket, nullptr);
    EXPECT_EQ(pool_->GetHitCount(), 0);
    EXPECT_EQ(pool_->GetMissCount(), 0);
    EXPECT_EQ(bucket->hits + bucket->misses + bucket->refused, 0);

    MessageCapture capture;
    mgr_ = nullptr;
    pool_ = nullptr;
    Release();
    EXPECT_FALSE(capture.Contains("Texture Alloc:"));
    EXPECT_FALSE(capture.Contains("Alloc Hit Count"));
}

}  // namespace
}  // namespace lumi::test
