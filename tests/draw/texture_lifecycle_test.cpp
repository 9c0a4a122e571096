// Textures over their life: reference counts and the idle list, names and image types,
// frames timed by their own durations, files saved and loaded from memory, destruction.
#include "core/render_target_host.h"
#include "core/render_target_texture.h"
#include "draw/huge_texture.h"
#include "draw/texture_load.h"
#include "platform/d3dx9/control.h"
#include "tests/draw/texture_fixture.h"
#include "tests/support/message_capture.h"
#include "tests/support/sleep_hook.h"

namespace lumi::test {
namespace {

using TextureLifecycleTest = TextureTest;

TEST_F(TextureLifecycleTest, ReferencesMoveManagedTexturesBetweenInUseAndIdle) {
    CD3DTexture* texture = MakeTexture(D3DFMT_A8R8G8B8, 8, 8);
    texture->SetManaged(true);
    g_FrameTimeMs = 12345;
    EXPECT_EQ(texture->AddRef(), 1);
    EXPECT_EQ(texture->Node()->owner, &owner_.inUse);
    EXPECT_EQ(texture->GetLastUseMs(), 12345u);
    EXPECT_EQ(texture->Release(), 0);
    EXPECT_EQ(texture->Node()->owner, &owner_.idle) << "idle, not deleted";
    EXPECT_EQ(texture->Release(), 0) << "a count of 0 stays";

    CD3DTexture* unmanaged = MakeTexture(D3DFMT_A8R8G8B8, 8, 8);
    unmanaged->AddRef();
    unmanaged->Release();
    EXPECT_FALSE(unmanaged->IsInList());
}

TEST_F(TextureLifecycleTest, NamesGiveTheImageTypeAndFormat) {
    struct Case {
        const char16_t* path;
        std::int32_t code;
        D3DFORMAT format;
    };
    const Case cases[] = {
        {u"a/b.c/pic.tga.PNG", D3DXIFF_PNG, D3DFMT_A8R8G8B8},  // the text after the last dot
        {u"photo.jpg", D3DXIFF_JPG, D3DFMT_X8R8G8B8},
        {u"photo.JPEG", D3DXIFF_JPG, D3DFMT_X8R8G8B8},
        {u"plain.bmp", D3DXIFF_BMP, D3DFMT_X8R8G8B8},
        {u"anim.gif", kImageFileFormatGif, D3DFMT_A8R8G8B8},
        {u"pack.dds", D3DXIFF_DDS, D3DFMT_A8R8G8B8},
        {u"notes.txt", D3DXIFF_BMP, D3DFMT_UNKNOWN},
    };
    for (const Case& c : cases) {
        CD3DTexture* texture = Keep(new CD3DTexture(&owner_, c.path));
        EXPECT_EQ(static_cast<std::int32_t>(texture->GetImageInfo()->ImageFileFormat), c.code);
        EXPECT_EQ(texture->GetFormat(), c.format);
    }
    CD3DTexture* dotted = Keep(new CD3DTexture(&owner_, u"name.png."));
    EXPECT_FALSE(dotted->HasImageInfo()) << "a trailing dot keeps the type";

    CD3DTexture* empty = Keep(new CD3DTexture(&owner_, D3DFMT_A8R8G8B8, 4, 4, 0, false));
    empty->SetFileName(u"Dir\\Sub\\Tile.png");
    EXPECT_EQ(std::u16string(empty->GetName()), u"DIR/SUB/TILE.PNG");
    EXPECT_EQ(owner_.imageInfoReads, 1) << "the file's size is read at once";

    std::u16string longPath(400, u'x');
    CD3DTexture* clipped = Keep(new CD3DTexture(&owner_, longPath.c_str()));
    EXPECT_EQ(std::u16string(clipped->GetName()).size(), 259u);
}

TEST_F(TextureLifecycleTest, FramesShowForTheirOwnDurations) {
    CD3DTexture* texture = MakeTexture(D3DFMT_A8R8G8B8, 64, 64);
    EXPECT_THROW(texture->GetCurrentFrame(), lumi::Exception);
    texture->AddFrame({RECT{0, 0, 32, 32}, 100});
    texture->AddFrame({RECT{32, 0, 64, 32}, 300});
    texture->AddFrame({RECT{0, 32, 32, 64}, 100});
    const std::uint32_t start = g_FrameTimeMs;
    const struct {
        std::uint32_t at;
        LONG left, top;
    } steps[] = {{0, 0, 0}, {99, 0, 0}, {100, 32, 0}, {399, 32, 0}, {400, 0, 32}, {499, 0, 32}, {500, 0, 0}, {1150, 32, 0}};
    for (const auto& step : steps) {
        g_FrameTimeMs = start + step.at;
        const tex_frame_t& frame = texture->GetCurrentFrame();
        EXPECT_EQ(frame.rect.left, step.left) << "at " << step.at << " ms";
        EXPECT_EQ(frame.rect.top, step.top) << "at " << step.at << " ms";
    }

    CD3DTexture* still = MakeTexture(D3DFMT_A8R8G8B8, 64, 64);
    for (int i = 0; i < 20; ++i) still->AddFrame({RECT{i, 0, i + 1, 1}, 0});
    g_FrameTimeMs = start + 777;
    EXPECT_EQ(still->GetCurrentFrame().rect.left, 0) << "no durations: always the first frame";
}

TEST_F(TextureLifecycleTest, SavedFilesLoadBackFromMemory) {
    CD3DTexture* texture = MakeTexture(D3DFMT_A8R8G8B8, 4, 4);
    const std::uint32_t pixels[2] = {0xFF112233, 0x80FFEEDD};
    ASSERT_TRUE(texture->UpdateRect(pixels, 2, 1, 8, 32, 1, 2));
    ASSERT_TRUE(texture->SaveToFile(u"saved.png", nullptr));
    EXPECT_FALSE(texture->SaveToFile(u"saved.xyz", nullptr)) << "unknown extension";
    EXPECT_FALSE(Keep(new CD3DTexture(&owner_, u"x.png"))->SaveToFile(u"none.png", nullptr)) << "no pixels";

    const std::vector<char> bytes = ReadBytes(folder_.File("saved.png"));
    ASSERT_FALSE(bytes.empty());
    CD3DTexture* loaded = Keep(new CD3DTexture(&owner_, D3DFMT_UNKNOWN, 0, 0, 0, false));
    ASSERT_TRUE(loaded->LoadFromMemory(bytes.data(), static_cast<std::uint32_t>(bytes.size())));
    EXPECT_EQ(loaded->GetFormat(), D3DFMT_A8R8G8B8) << "PNG takes the alpha format";
    EXPECT_EQ(loaded->GetPixel(1, 2), pixels[0]);
    EXPECT_EQ(loaded->GetPixel(2, 2), pixels[1]);

    const char junk[] = "not an image";
    EXPECT_FALSE(loaded->LoadFromMemory(junk, sizeof(junk)));
    for (d3dxctl::Function step : {d3dxctl::Function::kGetImageInfoFromFileInMemory,
                                   d3dxctl::Function::kLoadSurfaceFromFileInMemory}) {
        d3dxctl::FailCall(step, 1, E_OUTOFMEMORY);
        EXPECT_FALSE(loaded->LoadFromMemory(bytes.data(), static_cast<std::uint32_t>(bytes.size()))) << d3dxctl::NameOf(step);
    }
}

TEST_F(TextureLifecycleTest, AFailedLoadFromMemoryLeavesTheTextureAsItWas) {
    CD3DTexture* image = MakeTexture(D3DFMT_A8R8G8B8, 128, 128);
    const std::vector<char> bytes = SavedBytes(image, u"image.png");
    ASSERT_FALSE(bytes.empty());
    // Its memory of the image's shape goes back to the pool, which hands it out again.
    const std::uint32_t green = 0xFF00FF00;
    ASSERT_TRUE(image->UpdateRect(&green, 1, 1, 4, 32, 0, 0));
    Forget(image);

    CD3DTexture* shown = MakeTexture(D3DFMT_A8R8G8B8, 16, 16);
    const std::uint32_t red = 0xFFFF0000;
    ASSERT_TRUE(shown->UpdateRect(&red, 1, 1, 4, 32, 0, 0));
    CD3DTexture* empty = Keep(new CD3DTexture(&owner_, D3DFMT_UNKNOWN, 0, 0, 0, false));
    for (CD3DTexture* texture : {shown, empty}) {
        d3dxctl::FailCall(d3dxctl::Function::kLoadSurfaceFromFileInMemory, 1, E_FAIL);
        EXPECT_FALSE(texture->LoadFromMemory(bytes.data(), static_cast<std::uint32_t>(bytes.size())));
    }
    EXPECT_TRUE(shown->IsLoaded());
    EXPECT_EQ(shown->GetWidth(), 16);
    EXPECT_EQ(shown->GetHeight(), 16);
    EXPECT_EQ(shown->GetFormat(), D3DFMT_A8R8G8B8);
    EXPECT_EQ(shown->GetPixel(0, 0), red) << "its own pixels, not the recycled memory's";
    EXPECT_FALSE(empty->IsLoaded());
    EXPECT_EQ(empty->GetMemory(), nullptr);
    EXPECT_EQ(empty->GetWidth(), 0);
    EXPECT_EQ(empty->GetFormat(), D3DFMT_UNKNOWN);
}

TEST_F(TextureLifecycleTest, DestructionNeverThrowsAndGivesEverythingBack) {
    CD3DHugeTexture* page = Keep(new CD3DHugeTexture(&owner_, 64, D3DFMT_A8R8G8B8, 0));
    ASSERT_TRUE(page->BindMemoryFromPool());
    const std::int32_t cells = PoolOf<CTextureCell>().BlocksInUse();
    const int live = pool_->GetLiveCount();

    CD3DTexture* texture = new CD3DTexture(&owner_, D3DFMT_A8R8G8B8, 16, 16, 0, false);
    ASSERT_TRUE(texture->BindMemoryFromPool());
    ASSERT_NE(page->CopyTexture(texture), nullptr);
    texture->SetManaged(true);
    texture->AddRef();  // on the in-use list
    MessageCapture capture;
    EXPECT_NO_THROW(delete texture);
    EXPECT_TRUE(capture.Contains("texture still in list.")) << "reported, not thrown";
    EXPECT_EQ(owner_.inUse.Count(), 0);
    EXPECT_EQ(pool_->GetLiveCount(), live);
    EXPECT_EQ(PoolOf<CTextureCell>().BlocksInUse(), cells) << "its cell merged back";
}

// A loader whose single load ends when the test says so; a finished load binds memory as a
// decoded image would.
class ManualLoader : public ITextureLoader {
public:
    CTextureLoad* Request(CD3DTexture*) override {
        ++requests;
        return Token();
    }
    bool IsLoading(CTextureLoad*) override { return loading; }
    bool Poll(CD3DTexture* texture, CTextureLoad*) override {
        if (loading) return false;
        texture->BindMemoryFromPool();
        return true;
    }
    void Cancel(CTextureLoad* load) override { cancelled += load == Token() ? 1 : 0; }
    void WaitAll() override {}
    CTextureLoad* Token() { return reinterpret_cast<CTextureLoad*>(&token_); }

    bool loading = true;
    int requests = 0;
    int cancelled = 0;

private:
    int token_ = 0;
};

TEST_F(TextureLifecycleTest, FileTexturesLoadThroughTheLoaderAndWaitForItWhenUnloaded) {
    ManualLoader loader;
    owner_.loader = &loader;
    owner_.alphaFormat = D3DFMT_A8R8G8B8;
    CD3DTexture* texture = Keep(new CD3DTexture(&owner_, u"ui/button.png"));
    texture->SetAllocatedSize(16, 16);
    EXPECT_FALSE(texture->Restore());
    EXPECT_EQ(loader.requests, 1);
    EXPECT_EQ(texture->GetPixel(0, 0), 0u) << "still loading";
    EXPECT_EQ(loader.requests, 1) << "one load at a time";
    loader.loading = false;
    EXPECT_TRUE(texture->Restore());
    EXPECT_EQ(texture->GetLoad(), nullptr);

    texture->Unload();
    loader.loading = true;
    owner_.lost = true;
    EXPECT_FALSE(texture->Restore()) << "no loads while the device is lost";
    EXPECT_EQ(loader.requests, 1);
    owner_.lost = false;
    texture->Restore();
    ASSERT_EQ(loader.requests, 2);

    FakeClock clock(1000);
    SleepRecorder sleeps(&clock);
    int polls = 0;
    sleeps.OnSleep([&](DWORD) {
        if (++polls == 3) loader.loading = false;
    });
    texture->Unload();
    EXPECT_EQ(sleeps.Sleeps(), (std::vector<DWORD>{5, 5, 5})) << "waits in 5 ms steps until the load ends";
    EXPECT_EQ(loader.cancelled, 1);
    EXPECT_EQ(texture->GetLoad(), nullptr);
    EXPECT_FALSE(texture->IsLoaded());
}

TEST_F(TextureLifecycleTest, FramesArePackedOnShelvesUpTo256) {
    const std::int32_t widths[] = {20, 20, 30, 10};
    const std::int32_t heights[] = {10, 16, 8, 40};
    RECT rects[4];
    // 20+20 fit a 32 row only one at a time, and the 40-high frame cannot fit 32: 64.
    ASSERT_EQ(CD3DTexture::PackFrames(widths, heights, 4, rects), 64u);
    EXPECT_EQ(rects[1].left, 20);
    EXPECT_EQ(rects[1].top, 0);
    EXPECT_EQ(rects[2].left, 0) << "past the right edge: a new shelf";
    EXPECT_EQ(rects[2].top, 16) << "below the lowest bottom so far";
    EXPECT_EQ(rects[3].left, 30);
    EXPECT_EQ(rects[3].bottom, 56);

    const std::int32_t big[] = {200, 200};
    EXPECT_EQ(CD3DTexture::PackFrames(big, big, 2, rects), 0u) << "more than 256 x 256";
    const std::int32_t wide[] = {257};
    const std::int32_t flat[] = {1};
    EXPECT_EQ(CD3DTexture::PackFrames(wide, flat, 1, rects), 0u);
}

// A host that gives render targets the test's device and nothing else.
class DeviceOnlyHost : public CRenderTargetHost {
public:
    explicit DeviceOnlyHost(IDirect3DDevice9* device) : device_(device) {}
    IDirect3DDevice9* GetDevice() const override { return device_; }
    const STRU_DEVICE_SETTINGS& GetDeviceSettings() const override { return settings_; }
    bool IsDeviceLost() const override { return false; }
    void EnterLostState() override {}
    void UnregisterRenderTarget(CRenderTarget* target) override { unregistered.push_back(target); }
    void ApplyViewport(viewport_t*) override {}
    std::vector<CRenderTarget*> unregistered;

private:
    IDirect3DDevice9* device_;
    STRU_DEVICE_SETTINGS settings_{};
};

TEST_F(TextureLifecycleTest, RenderTargetTexturesFollowTheirVideoCopyAcrossALoss) {
    DeviceOnlyHost host(owner_.device);
    owner_.targetHost = &host;
    CD3DTexture* texture = new CD3DTexture(&owner_, D3DFMT_A8R8G8B8, 64, 32, CD3DTexture::kUsageRenderTarget, false);
    ASSERT_EQ(owner_.registeredTargets.size(), 1u);
    CD3DRenderTarget* target = texture->GetD3DRenderTarget();
    EXPECT_EQ(owner_.registeredTargets[0], target);
    EXPECT_EQ(target->GetName().rfind("RttTex", 0), 0u);

    EXPECT_EQ(texture->GetRenderTarget(), target) << "memory is bound on demand";
    ASSERT_NE(texture->GetD3DTexture(), nullptr);
    EXPECT_EQ(texture->GetSystemTexture(), nullptr);
    EXPECT_EQ(target->GetTexture(), texture->GetD3DTexture());

    texture->OnLostDevice();
    EXPECT_EQ(target->GetTexture(), nullptr) << "the target lets go of the video copy";
    pool_->ReleaseVideoCopies();
    pool_->RestoreVideoTextures();
    ASSERT_NE(texture->GetD3DTexture(), nullptr);
    EXPECT_EQ(target->GetTexture(), texture->GetD3DTexture());

    CD3DTexture* other = Keep(new CD3DTexture(&owner_, D3DFMT_A8R8G8B8, 8, 8, CD3DTexture::kUsageRenderTarget, false));
    EXPECT_NE(other->GetD3DRenderTarget()->GetName(), target->GetName());
    delete texture;
    ASSERT_EQ(host.unregistered.size(), 1u);
    EXPECT_EQ(host.unregistered[0], target);
    Forget(other);
}

}  // namespace
}  // namespace lumi::test
