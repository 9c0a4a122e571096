// Texture manager: file textures found by name and loaded through the resource loader, in
// the background and synchronously; missing and broken files; long names; textures and the
// manager going away while loads run.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/exception.h"
#include "core/pool_table.h"
#include "tests/draw/tex_mgr_fixture.h"

namespace lumi::test {
namespace {

class TexMgrLoadingTest : public TexMgrTest {};

TEST_F(TexMgrLoadingTest, BackgroundLoadIsPolledUntilDecodedThenCarriesTheFilePixels) {
    WriteImage(u"tex/tile.png", 16, 16, kRasterTypePng);
    CD3DTexture* texture = mgr_->FindOrCreateTexture(u"tex\\Tile.png", false);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(std::u16string(texture->GetName()), u"TEX/TILE.PNG");
    EXPECT_EQ(mgr_->FindOrCreateTexture(u"TEX/tile.PNG", false), texture) << "any spelling of the path";
    EXPECT_EQ(texture->GetRefCount(), 0) << "the caller adds the reference";

    texture->AddRef();
    EXPECT_FALSE(texture->Restore());
    EXPECT_TRUE(CResourceLoader::GetSingleton().HasResourceProcessing());
    EXPECT_EQ(mgr_->GetTextureCell(texture), nullptr) << "nothing to draw while loading";
    ASSERT_TRUE(CResourceLoader::GetSingleton().Step());  // read
    EXPECT_FALSE(texture->Restore());
    EXPECT_FALSE(mgr_->IsTextureLoaded(u"tex/tile.png"));
    ASSERT_TRUE(CResourceLoader::GetSingleton().Step());  // decode
    EXPECT_TRUE(texture->Restore());
    EXPECT_TRUE(mgr_->IsTextureLoaded(u"tex/tile.png"));
    EXPECT_EQ(texture->GetLoad(), nullptr);
    EXPECT_EQ(texture->GetPixel(3, 5), ImageColor(3, 5));
    EXPECT_EQ(texture->GetPixel(15, 0), ImageColor(15, 0));

    // Drawn from the alpha atlas page: the page's video copy holds the file's pixels.
    tex_cell_t* cell = mgr_->GetTextureCell(texture);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->page, mgr_->GetPage(1, 0));
    EXPECT_EQ(ReadTexel(cell->page->GetD3DTexture(), cell->rect.left + 7, cell->rect.top + 2), ImageColor(7, 2));
    texture->Release();
}

// Counts the opens of the host-thread file callbacks.
int g_foregroundOpens = 0;
std::int32_t CountingOpen(const WCHAR* path, std::int32_t* size, LumiFileHandle* file) {
    ++g_foregroundOpens;
    return DefaultFileCallbacks().Open(path, size, file);
}

TEST_F(TexMgrLoadingTest, SynchronousLoadingReadsInTheHostThreadThroughTheSecondCallbacks) {
    WriteImage(u"tex/sync.bmp", 8, 8, kRasterTypeBmp);
    const STRU_FILE_CALLBACKS defaults = DefaultFileCallbacks();
    renderer_->SetFileSystem(defaults.Open, defaults.Close, defaults.Read, defaults.Seek, &CountingOpen,
                             defaults.Close, defaults.Read, defaults.Seek);
    g_foregroundOpens = 0;
    Renderer()->SetSyncLoading(true);
    CD3DTexture* texture = mgr_->FindOrCreateTexture(u"tex/sync.bmp", true);
    EXPECT_EQ(texture->GetPriority(), CD3DTexture::kUrgentPriority);
    texture->Restore();
    EXPECT_FALSE(CResourceLoader::GetSingleton().HasResourceProcessing()) << "nothing queued";
    EXPECT_EQ(g_foregroundOpens, 1);
    EXPECT_TRUE(texture->Restore()) << "the next poll takes the finished image, no step needed";
    EXPECT_EQ(texture->GetFormat(), Renderer()->GetNormalFormat());
    EXPECT_EQ(texture->GetPixel(6, 1) & 0xFFFFFFu, ImageColor(6, 1) & 0xFFFFFFu);
}

TEST_F(TexMgrLoadingTest, MissingAndBrokenFilesStayUnloadedAndAreTriedAgainFramesLater) {
    static constexpr char kBroken[] = "\x89PNG\r\n\x1a\n this is not a png";
    WriteBytes("tex/broken.png", std::string(kBroken, sizeof(kBroken) - 1));
    for (const char16_t* name : {u"tex/missing.png", u"tex/broken.png"}) {
        SCOPED_TRACE(win32::Utf16ToUtf8(name));
        CD3DTexture* texture = mgr_->FindOrCreateTexture(name, false);
        EXPECT_FALSE(LoadNow(texture));
        EXPECT_EQ(texture->GetMemory(), nullptr);
        EXPECT_EQ(mgr_->GetTextureCell(texture), nullptr);
        for (std::uint32_t frame = 1; frame < CD3DTexture::kLoadRetryFrames; ++frame) {
            mgr_->OnFrameBegin();
            texture->Restore();
            ASSERT_EQ(texture->GetLoad(), nullptr) << "frame " << frame << ": the failure is remembered";
        }
        mgr_->OnFrameBegin();
        texture->Restore();
        EXPECT_NE(texture->GetLoad(), nullptr) << "tried again";
        EXPECT_FALSE(LoadNow(texture));
    }
    // The second attempts failed as the first ones did: not logged again.
    EXPECT_EQ(CountLines(u"CTexMgr: texture load failed.[TEX/MISSING.PNG] the file does not open"), 1);
    EXPECT_EQ(CountLinesStartingWith(u"CTexMgr: texture load failed.[TEX/BROKEN.PNG] "), 1);
}

TEST_F(TexMgrLoadingTest, NamesUpTo259CharactersAreKept) {
    const std::u16string longest(259, u'a');
    CD3DTexture* texture = mgr_->FindOrCreateTexture(longest.c_str(), false);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(std::u16string(texture->GetName()), std::u16string(259, u'A'));
    const std::u16string tooLong(260, u'a');
    try {
        mgr_->FindOrCreateTexture(tooLong.c_str(), false);
        FAIL() << "no exception";
    } catch (const ::lumi::Exception& error) {
        EXPECT_STREQ(error.what(), "string overflow.");
    }
    EXPECT_FALSE(mgr_->IsTextureLoaded(tooLong.c_str()));
    EXPECT_EQ(mgr_->FindOrCreateTexture(u"", false), nullptr);
    EXPECT_EQ(mgr_->FindOrCreateTexture(nullptr, false), nullptr);
    EXPECT_EQ(mgr_->NamedCount(), 1u);
}

TEST_F(TexMgrLoadingTest, ARenamedTextureIsFoundByItsNewNameOnlyAndDestroyingChecksFirst) {
    const std::int32_t unnamed = mgr_->UnnamedCount();
    CD3DTexture* renamed = mgr_->FindOrCreateTexture(u"tex/old.png", false);
    CD3DTexture* holder = mgr_->FindOrCreateTexture(u"tex/taken.png", false);
    renamed->SetFileName(u"tex\\New.png");
    EXPECT_EQ(mgr_->FindOrCreateTexture(u"tex/new.png", false), renamed);
    CD3DTexture* other = mgr_->FindOrCreateTexture(u"tex/old.png", false);
    EXPECT_NE(other, renamed) << "the old name finds it no more";
    EXPECT_EQ(mgr_->NamedCount(), 3u);

    // A name another texture holds stays that texture's; the renamed one is kept unnamed.
    other->SetFileName(u"tex/taken.png");
    EXPECT_EQ(mgr_->FindOrCreateTexture(u"tex/taken.png", false), holder);
    EXPECT_FALSE(other->IsNamed());
    EXPECT_EQ(mgr_->NamedCount(), 2u);
    EXPECT_EQ(mgr_->UnnamedCount(), unnamed + 1);

    // Each goes with its own entry, so the names are free for new textures.
    mgr_->DestroyTexture(renamed);
    mgr_->DestroyTexture(other);
    EXPECT_EQ(mgr_->NamedCount(), 1u);
    EXPECT_EQ(mgr_->UnnamedCount(), unnamed);
    ASSERT_NE(mgr_->FindOrCreateTexture(u"tex/new.png", false), nullptr);
    EXPECT_EQ(mgr_->NamedCount(), 2u) << "a new texture, not the destroyed one";

    // A texture the manager does not hold by name or as an unnamed texture is refused where it is.
    CD3DHugeTexture* page = mgr_->GetPage(2, 0);
    try {
        mgr_->DestroyTexture(page);
        FAIL() << "no exception";
    } catch (const ::lumi::Exception& error) {
        EXPECT_STREQ(error.what(), "invalid texture data.");
    }
    EXPECT_EQ(mgr_->PageCount(2), 1);
    EXPECT_EQ(mgr_->GetPage(2, 0), page);
}

TEST_F(TexMgrLoadingTest, TextureDestroyedWhileItsLoadRunsWaitsForItFirst) {
    const std::int32_t bitmaps = PoolOf<CD3DBitmap>().BlocksInUse();
    CD3DTexture* texture = FileTexture(u"tex/gone.tga", 8, true, kRasterTypeTga);
    sleeps_.Clear();
    mgr_->DestroyTexture(texture);
    EXPECT_EQ(sleeps_.Sleeps(), (std::vector<DWORD>{5, 5})) << "5 ms polls, each a loader step";
    EXPECT_FALSE(CResourceLoader::GetSingleton().HasResourceProcessing());
    EXPECT_EQ(mgr_->NamedCount(), 0u);
    EXPECT_EQ(PoolOf<CD3DBitmap>().BlocksInUse(), bitmaps);
}

TEST_F(TexMgrLoadingTest, ReleasedRendererWaitsForRunningAndGivenUpLoads) {
    const std::int32_t bitmaps = PoolOf<CD3DBitmap>().BlocksInUse();
    // Queued behind the live texture's load, so that load ends first.
    FileTexture(u"tex/b.png", 8, true);
    CD3DTexture* parked = FileTexture(u"tex/a.png", 8);
    UseOnce(parked);
    parked->Restore();
    FrameAfter(CTexMgr::kIdleKeepMs);
    ASSERT_TRUE(mgr_->UnloadIdleTexture());
    EXPECT_EQ(mgr_->GetResourceLoader()->GetPendingCount(), 1u) << "the idle texture went, its load stays";
    sleeps_.Clear();
    Release();
    const std::vector<DWORD> sleeps = sleeps_.Sleeps();
    EXPECT_NE(std::find(sleeps.begin(), sleeps.end(), 5u), sleeps.end()) << "the live texture's load";
    EXPECT_NE(std::find(sleeps.begin(), sleeps.end(), 15u), sleeps.end()) << "the given-up load";
    EXPECT_FALSE(CResourceLoader::GetSingleton().HasResourceProcessing());
    EXPECT_EQ(PoolOf<CD3DBitmap>().BlocksInUse(), bitmaps);
}

// The demo's mode: a worker thread reads and decodes while the host polls (the sanitizer
// builds watch the hand-over).
TEST_F(TexMgrLoadingTest, ThreadedLoaderFinishesLoadsTheHostWaitsFor) {
    CResourceLoader::GetSingleton().Reset(CResourceLoader::Mode::Threaded);
    CD3DTexture* first = FileTexture(u"tex/t1.png", 16, true);
    CD3DTexture* second = FileTexture(u"tex/t2.tga", 8, true, kRasterTypeTga);
    mgr_->WaitForResourceLoader();
    EXPECT_TRUE(first->Restore());
    EXPECT_TRUE(second->Restore());
    EXPECT_EQ(first->GetPixel(9, 4), ImageColor(9, 4));
    EXPECT_EQ(second->GetPixel(7, 7), ImageColor(7, 7));
}

}  // namespace
}  // namespace lumi::test
