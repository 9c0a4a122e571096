// The renderer's texture, host-cell and image-file operations through IRenderer, on the
// software device with the resource loader stepped by hand.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/render_target.h"
#include "core/render_window.h"
#include "draw/draw_commands.h"
#include "draw/texture_cell.h"
#include "platform/d3dx9/control.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/win32/text.h"
#include "tests/draw/tex_mgr_fixture.h"

namespace lumi::test {
namespace {

constexpr std::uint32_t kClear = 0x00000000;
constexpr std::uint32_t kRed = 0xFFFF0000;
constexpr std::uint32_t kGreen = 0xFF00FF00;
constexpr std::uint32_t kBlue = 0xFF0000FF;

class RendererResourcesTest : public TexMgrTest {
protected:
    void TearDown() override {
        for (STRU_DRAW_COMMAND_BASE* cmd : commands_) renderer_->ReleasePrimitive(cmd);
        TexMgrTest::TearDown();
    }

    STRU_DRAW_COMMAND_BASE* Command(std::int32_t type = kDrawCmdTexturedRect) {
        commands_.push_back(renderer_->CreatePrimitive(type));
        return commands_.back();
    }

    // Writes ARGB pixels (rows from the top) as an image file through D3DX, in `format`.
    void WriteArgb(const std::u16string& path, int width, int height, const std::vector<std::uint32_t>& pixels,
                   D3DXIMAGE_FILEFORMAT type = D3DXIFF_PNG, D3DFORMAT format = D3DFMT_A8R8G8B8) {
        IDirect3DDevice9* device = Renderer()->GetDevice();
        IDirect3DSurface9* argb = nullptr;
        IDirect3DSurface9* stored = nullptr;
        ASSERT_EQ(device->CreateOffscreenPlainSurface(width, height, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &argb,
                                                      nullptr), S_OK);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(argb->LockRect(&locked, nullptr, 0), S_OK);
        for (int y = 0; y < height; ++y)
            std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch, &pixels[y * width], width * 4);
        argb->UnlockRect();
        ASSERT_EQ(device->CreateOffscreenPlainSurface(width, height, format, D3DPOOL_SYSTEMMEM, &stored, nullptr), S_OK);
        ASSERT_EQ(D3DXLoadSurfaceFromSurface(stored, nullptr, nullptr, argb, nullptr, nullptr, D3DX_FILTER_NONE, 0), S_OK);
        ASSERT_EQ(D3DXSaveSurfaceToFileW(path.c_str(), type, stored, nullptr, nullptr), S_OK);
        argb->Release();
        stored->Release();
    }

    // The pixels of an image file as ARGB rows; empty when it cannot be read.
    std::vector<std::uint32_t> ReadArgb(const std::u16string& path, int* width, int* height) {
        D3DXIMAGE_INFO info{};
        if (FAILED(D3DXGetImageInfoFromFileW(path.c_str(), &info))) return {};
        IDirect3DSurface9* surface = nullptr;
        Renderer()->GetDevice()->CreateOffscreenPlainSurface(info.Width, info.Height, D3DFMT_A8R8G8B8,
                                                             D3DPOOL_SYSTEMMEM, &surface, nullptr);
        std::vector<std::uint32_t> pixels;
        if (SUCCEEDED(D3DXLoadSurfaceFromFileW(surface, nullptr, nullptr, path.c_str(), nullptr, D3DX_FILTER_NONE, 0,
                                               nullptr)))
            pixels = d3d9ctl::ReadPixels(surface, width, height);
        surface->Release();
        return pixels;
    }

    static std::string FileStart(const char* path) {
        char bytes[2] = {};
        FILE* file = std::fopen(path, "rb");
        if (file == nullptr) return "";
        const std::size_t read = std::fread(bytes, 1, 2, file);
        std::fclose(file);
        return std::string(bytes, read);
    }

    // A UI texture holding `pixels`, drawn from by a new textured command.
    CD3DTexture* FilledTexture(int width, int height, const std::vector<std::uint32_t>& pixels) {
        auto* texture = static_cast<CD3DTexture*>(renderer_->CreateUITexture(width, height));
        EXPECT_TRUE(texture->UpdateRect(pixels.data(), width, height, width * 4, 32, 0, 0));
        return texture;
    }

    std::vector<STRU_DRAW_COMMAND_BASE*> commands_;
};

// Four pixels: one opaque red, one transparent, one half-transparent green, one opaque blue.
const std::vector<std::uint32_t> kQuad = {kRed, kClear, 0x8000FF00, kBlue};

TEST_F(RendererResourcesTest, TexturesOfEveryKindAreMadeQueriedAndDestroyed) {
    STRU_DRAW_COMMAND_BASE* cmd = Command();
    CD3DTexture* ui = FilledTexture(2, 2, kQuad);
    EXPECT_FALSE(renderer_->AttachTexture(cmd, ui, 0));  // attached all the same
    EXPECT_EQ(ui->GetRefCount(), 1);
    EXPECT_EQ(renderer_->GetPixelColor(cmd, 0, 0), kRed);
    EXPECT_EQ(renderer_->GetPixelColor(cmd, 1, 1), kBlue);
    EXPECT_FALSE(renderer_->IsPixelTransparent(cmd, 0, 1));
    EXPECT_TRUE(renderer_->IsPixelTransparent(cmd, 1, 0));
    std::int16_t side = 0;
    EXPECT_TRUE(renderer_->GetTextureSize(cmd, &side, nullptr));
    EXPECT_EQ(side, 2);

    // Without alpha every pixel counts as transparent.
    STRU_DRAW_COMMAND_BASE* other = Command();
    renderer_->AttachTexture(other, renderer_->CreateTexture(2, 2, D3DFMT_X8R8G8B8, 0), 0);
    EXPECT_TRUE(renderer_->IsPixelTransparent(other, 0, 0));
    EXPECT_TRUE(renderer_->IsPixelTransparent(Command(kDrawCmdRect), 0, 0));
    EXPECT_EQ(renderer_->GetPixelColor(ScratchCommand(), 0, 0), 0u);

    // A dynamic request is pooled: memory at once, as a render-target texture.
    auto* pooled = static_cast<CD3DTexture*>(renderer_->CreateTexture(8, 8, D3DFMT_A4R4G4B4, 0x200));
    ASSERT_NE(pooled, nullptr);
    EXPECT_NE(pooled->GetMemory(), nullptr);
    EXPECT_NE(pooled->GetRenderTarget(), nullptr);
    EXPECT_EQ(renderer_->CreateTexture(8, 8, D3DFMT_R5G6B5, 0), nullptr);
    EXPECT_TRUE(LogContains(u"CLumiscriber::CreateTexture() - unknown texture format."));

    ITexture* empty = renderer_->CreateTexture();
    ASSERT_NE(empty, nullptr);
    auto* mask = static_cast<CD3DTexture*>(renderer_->CreateMaskTexture(16.9f));
    ASSERT_NE(mask, nullptr);
    EXPECT_EQ(mask->GetWidth(), 16);
    EXPECT_EQ(mask->GetFormat(), mgr_->GetFontPageFormat());
    EXPECT_EQ(renderer_->CreateMaskTexture(-1.0f), nullptr);

    // A referenced texture survives DestroyTexture; the others go.
    const std::int32_t before = mgr_->UnnamedCount();
    for (ITexture* texture : {static_cast<ITexture*>(ui), static_cast<ITexture*>(pooled), empty,
                              static_cast<ITexture*>(mask)})
        renderer_->DestroyTexture(texture);
    EXPECT_EQ(mgr_->UnnamedCount(), before - 3);
    EXPECT_EQ(renderer_->GetPixelColor(cmd, 0, 0), kRed);
}

TEST_F(RendererResourcesTest, FileTexturesLoadThroughCommandsUnderAnySpellingOfTheirPath) {
    WriteImage(u"tex/Grid.bmp", 4, 4, kRasterTypeBmp);
    STRU_DRAW_COMMAND_BASE* cmd = Command();
    EXPECT_TRUE(renderer_->SetTexture(cmd, u"tex/Grid.bmp", false));
    EXPECT_FALSE(renderer_->IsPrimitiveTextureLoaded(cmd));
    EXPECT_FALSE(renderer_->IsTextureLoaded(u"TEX\\grid.BMP"));
    CResourceLoader::GetSingleton().RunUntilIdle();
    EXPECT_TRUE(renderer_->IsPrimitiveTextureLoaded(cmd));
    EXPECT_TRUE(renderer_->IsTextureLoaded(u"TEX\\grid.BMP"));
    EXPECT_EQ(renderer_->GetPixelColor(cmd, 3, 1), ImageColor(3, 1));

    // The same name gives the same texture; an empty path takes it off the command.
    ITexture* texture = renderer_->CreateTexture(u"tex\\grid.bmp");
    EXPECT_EQ(texture, static_cast<STRU_RECT_COMMAND*>(cmd)->texture);
    EXPECT_EQ(static_cast<CD3DTexture*>(texture)->GetRefCount(), 1);
    EXPECT_TRUE(renderer_->SetTexture(cmd, u"", false));
    EXPECT_EQ(static_cast<CD3DTexture*>(texture)->GetRefCount(), 0);
    EXPECT_TRUE(renderer_->IsPrimitiveTextureLoaded(cmd));
    EXPECT_FALSE(renderer_->SetTexture(Command(kDrawCmdPoint), u"tex/grid.bmp", false));
    EXPECT_FALSE(renderer_->SetTexture(ScratchCommand(), u"tex/grid.bmp", false));

    // Preloading starts the load without any command.
    WriteImage(u"tex/later.png", 2, 2, kRasterTypePng);
    renderer_->PreloadTexture(u"tex/later.png");
    CResourceLoader::GetSingleton().RunUntilIdle();
    ASSERT_TRUE(LoadNow(mgr_->FindOrCreateTexture(u"tex/later.png", false)));
    EXPECT_TRUE(renderer_->IsTextureLoaded(u"tex/later.png"));

    // 259 units make a name; one more overflows, and is never loaded.
    const std::u16string longest = u"tex/" + std::u16string(255, u'a');
    EXPECT_NE(renderer_->CreateTexture(longest.c_str()), nullptr);
    try {
        renderer_->SetTexture(cmd, (longest + u"a").c_str(), true);
        FAIL() << "no exception";
    } catch (const std::exception& error) {
        EXPECT_STREQ(error.what(), "string overflow.");
    }
    EXPECT_FALSE(renderer_->IsTextureLoaded((longest + u"a").c_str()));
}

TEST_F(RendererResourcesTest, HostCellsAreDistinctAndTheirAreaComesBack) {
    ITextureCell* first = renderer_->AllocTextureCell(20);
    ITextureCell* second = renderer_->AllocTextureCell(32);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    const RECT a = *first->GetRect();
    const RECT b = *second->GetRect();
    EXPECT_EQ(a.right - a.left, 32);
    RECT overlap{};
    EXPECT_FALSE(IntersectRect(&overlap, &a, &b));
    ITexture* firstPage = first->GetTexture();
    EXPECT_EQ(second->GetTexture(), firstPage);

    renderer_->ReleaseTextureCell(&first);
    EXPECT_EQ(first, nullptr);
    renderer_->ReleaseTextureCell(&first);
    renderer_->ReleaseTextureCell(nullptr);
    renderer_->ReleaseTextureCell(&second);
    // With every cell back, a whole page can be taken again.
    ITextureCell* page = renderer_->AllocTextureCell(static_cast<std::int32_t>(CTexMgr::kTargetPageSide));
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->GetTexture(), firstPage);
    renderer_->ReleaseTextureCell(&page);
}

TEST_F(RendererResourcesTest, HostCellsStayTheHostsAcrossADisplayModeChange) {
    struct Listener : ITextureCellListener {
        void OnCellReleased(ITextureCell* cell) override { told.push_back(cell); }
        std::vector<ITextureCell*> told;
    } listener;
    ITextureCell* kept = renderer_->AllocTextureCell(64);
    ITextureCell* other = renderer_->AllocTextureCell(64);
    ASSERT_NE(kept, nullptr);
    ASSERT_NE(other, nullptr);
    kept->SetListener(&listener);
    const RECT keptRect = *kept->GetRect();
    const RECT otherRect = *other->GetRect();
    ITexture* page = kept->GetTexture();

    ASSERT_TRUE(renderer_->ChangeDisplayMode(400, 300, 32, 1, false, true));
    EXPECT_EQ(listener.told, std::vector<ITextureCell*>{kept}) << "told that its pixels went";
    EXPECT_EQ(kept->GetTexture(), page);
    EXPECT_TRUE(EqualRect(kept->GetRect(), &keptRect));
    EXPECT_TRUE(EqualRect(other->GetRect(), &otherRect));

    // A new cell is another square; giving the old ones back frees only them.
    ITextureCell* fresh = renderer_->AllocTextureCell(64);
    ASSERT_NE(fresh, nullptr);
    EXPECT_NE(fresh, kept);
    EXPECT_NE(fresh, other);
    const RECT freshRect = *fresh->GetRect();
    RECT overlap{};
    EXPECT_FALSE(IntersectRect(&overlap, &freshRect, &keptRect));
    EXPECT_FALSE(IntersectRect(&overlap, &freshRect, &otherRect));
    renderer_->ReleaseTextureCell(&kept);
    renderer_->ReleaseTextureCell(&other);
    EXPECT_EQ(listener.told.size(), 1u) << "the host gave it back itself";
    EXPECT_TRUE(EqualRect(fresh->GetRect(), &freshRect));
    ASSERT_TRUE(RunFrame());
    renderer_->ReleaseTextureCell(&fresh);
    ITextureCell* whole = renderer_->AllocTextureCell(static_cast<std::int32_t>(CTexMgr::kTargetPageSide));
    ASSERT_NE(whole, nullptr) << "every cell back: the whole page again";
    EXPECT_EQ(whole->GetTexture(), page);
    renderer_->ReleaseTextureCell(&whole);
}

TEST_F(RendererResourcesTest, SavedTexturesReadBackAndPickTheirTypeByExtension) {
    CD3DTexture* texture = FilledTexture(2, 2, kQuad);
    ASSERT_TRUE(renderer_->SaveTexture(texture, u"saved.png"));
    int width = 0;
    int height = 0;
    EXPECT_EQ(ReadArgb(u"saved.png", &width, &height), kQuad);
    EXPECT_TRUE(renderer_->SaveTexture(texture, u"saved.JPG"));
    EXPECT_EQ(FileStart("saved.JPG"), "\xFF\xD8");
    EXPECT_TRUE(renderer_->SaveTexture(texture, u"saved"));
    EXPECT_EQ(FileStart("saved"), "BM");

    STRU_DRAW_COMMAND_BASE* cmd = Command();
    renderer_->AttachTexture(cmd, texture, 0);
    const RECT right{1, 0, 2, 2};
    ASSERT_TRUE(renderer_->SavePrimitiveTexture(cmd, u"column.png", &right));
    EXPECT_EQ(ReadArgb(u"column.png", &width, &height), (std::vector<std::uint32_t>{kClear, kBlue}));
    EXPECT_FALSE(renderer_->SavePrimitiveTexture(Command(kDrawCmdRect), u"column.png", &right));
}

TEST_F(RendererResourcesTest, EachFailingStepOfASaveIsLoggedAndRefusedAsIsAFailedEviction) {
    CD3DTexture* texture = FilledTexture(2, 2, kQuad);
    auto* target = static_cast<CD3DTexture*>(renderer_->CreateTexture(4, 4, D3DFMT_A8R8G8B8, 0x200));
    ASSERT_NE(target, nullptr);
    // A render-target texture is read back through system memory.
    ASSERT_TRUE(renderer_->SaveTexture(target, u"target.png"));

    struct Step {
        const char* call;
        CD3DTexture* texture;
        std::u16string line;
    };
    const Step steps[] = {
        {"GetLevelDesc", texture, u"IDirect3DTexture9::GetLevelDesc() error. Desc = ["},
        {"GetSurfaceLevel", texture, u"IDirect3DDevice9::GetSurfaceLevel() error. Desc = ["},
        {"CreateOffscreenPlainSurface", target, u"IDirect3DDevice9::CreateOffscreenPlainSurface error. Desc = ["},
        {"GetRenderTargetData", target, u"IDirect3DDevice9::GetRenderTargetData() error. Desc = ["},
    };
    for (const Step& step : steps) {
        d3d9ctl::FailCall(step.call, 1, E_FAIL);
        EXPECT_FALSE(renderer_->SaveTexture(step.texture, u"failed.png")) << step.call;
        EXPECT_TRUE(LogContains(step.line)) << step.call;
        d3d9ctl::ClearFailures();
    }
    d3d9ctl::FailCall("EvictManagedResources", 1, D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_FALSE(Renderer()->EvictManagedResources());
    EXPECT_FALSE(renderer_->SaveTexture(texture, u"missing/folder/x.png"));
    EXPECT_TRUE(LogHasInOrder({u"CLumiscriber::SaveTexture() error."}));
    EXPECT_TRUE(LogContains(u"file=[missing/folder/x.png]"));
}

TEST_F(RendererResourcesTest, ImageRegionsAreSavedAsIsOrScaled) {
    // Quadrants of 4 x 4: red, green / blue, transparent.
    std::vector<std::uint32_t> image(64);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) image[y * 8 + x] = y < 4 ? (x < 4 ? kRed : kGreen) : (x < 4 ? kBlue : kClear);
    WriteArgb(u"quads.png", 8, 8, image);

    const RECT green{4, 0, 8, 4};
    ASSERT_TRUE(renderer_->SaveImageRegion(u"quads.png", &green, u"green.png", nullptr));
    int width = 0;
    int height = 0;
    EXPECT_EQ(ReadArgb(u"green.png", &width, &height), std::vector<std::uint32_t>(16, kGreen));

    // Another size scales the region to fill the whole file.
    const RECT blue{0, 4, 4, 8};
    const SIZE doubled{8, 8};
    ASSERT_TRUE(renderer_->SaveImageRegion(u"quads.png", &blue, u"blue.png", &doubled));
    EXPECT_EQ(ReadArgb(u"blue.png", &width, &height), std::vector<std::uint32_t>(64, kBlue));

    d3d9ctl::FailCall("CreateOffscreenPlainSurface", 1, E_OUTOFMEMORY);
    EXPECT_FALSE(renderer_->SaveImageRegion(u"quads.png", &blue, u"fail.png", &doubled));
    const RECT outside{6, 6, 12, 12};
    EXPECT_FALSE(renderer_->SaveImageRegion(u"quads.png", &outside, u"fail.png", &doubled));
    EXPECT_FALSE(renderer_->SaveImageRegion(u"absent.png", &blue, u"fail.png", nullptr));
    // Nothing of a failed call is in the way of the next.
    const SIZE small{2, 2};
    ASSERT_TRUE(renderer_->SaveImageRegion(u"quads.png", &green, u"small.bmp", &small));
    EXPECT_EQ(ReadArgb(u"small.bmp", &width, &height), std::vector<std::uint32_t>(4, kGreen));
}

TEST_F(RendererResourcesTest, EveryD3DXFailureOfAnImageOperationIsRefused) {
    // One image per case: the cached surface of an image that was read once is not read again.
    for (const char16_t* name : {u"a.png", u"b.png", u"c.png", u"d.png"})
        WriteArgb(name, 4, 4, std::vector<std::uint32_t>(16, kGreen));
    CD3DTexture* texture = FilledTexture(2, 2, kQuad);
    STRU_DRAW_COMMAND_BASE* cmd = Command();
    renderer_->AttachTexture(cmd, texture, 0);
    auto* canvas = static_cast<CD3DTexture*>(renderer_->CreateTexture(4, 4, D3DFMT_A8R8G8B8, 0x200));
    ASSERT_NE(canvas, nullptr);
    STRU_DRAW_COMMAND_BASE* onCanvas = Command();
    renderer_->AttachTexture(onCanvas, canvas, 0);
    const RECT region{0, 0, 2, 2};
    const SIZE doubled{4, 4};
    RECT box{};

    using d3dxctl::Function;
    struct Case {
        const char* what;
        Function function;
        std::function<bool()> works;
    } cases[] = {
        {"texture save", Function::kSaveSurfaceToFile, [&] { return renderer_->SaveTexture(texture, u"x.png"); }},
        {"command texture save", Function::kSaveSurfaceToFile,
         [&] { return renderer_->SavePrimitiveTexture(cmd, u"x.png", nullptr); }},
        {"render-target save", Function::kSaveTextureToFile, [&] { return canvas->GetRenderTarget()->SaveToFile(u"x.png"); }},
        {"video-only texture save", Function::kSaveSurfaceToFile,
         [&] { return renderer_->SavePrimitiveTexture(onCanvas, u"x.png", nullptr); }},
        {"region: image information", Function::kGetImageInfoFromFile,
         [&] { return renderer_->SaveImageRegion(u"a.png", &region, u"x.png", nullptr); }},
        {"region: cached surface", Function::kLoadSurfaceFromFile,
         [&] { return renderer_->SaveImageRegion(u"b.png", &region, u"x.png", nullptr); }},
        {"region: scaling", Function::kLoadSurfaceFromSurface,
         [&] { return renderer_->SaveImageRegion(u"c.png", &region, u"x.png", &doubled); }},
        {"region: save", Function::kSaveSurfaceToFile,
         [&] { return renderer_->SaveImageRegion(u"d.png", &region, u"x.png", nullptr); }},
        {"transparency: information", Function::kGetImageInfoFromFile, [&] { return !renderer_->IsImageTransparent(u"a.png"); }},
        {"transparency: load", Function::kCreateTextureFromFileEx, [&] { return !renderer_->IsImageTransparent(u"a.png"); }},
        {"visible box: load", Function::kCreateTextureFromFileEx,
         [&] { return renderer_->GetTexOptimizationRect(u"a.png", &box); }},
        {"file size", Function::kGetImageInfoFromFile, [&] { return renderer_->GetImageFileSize(u"a.png").Width == 4; }},
    };
    for (const Case& c : cases) {
        d3dxctl::FailCall(c.function, 1, E_OUTOFMEMORY);
        EXPECT_FALSE(c.works()) << c.what;
        EXPECT_TRUE(c.works()) << c.what << " works again";
        d3d9ctl::ClearFailures();
    }
    EXPECT_TRUE(d3d9ctl::MisuseReports().empty());
    EXPECT_TRUE(LogHasInOrder({u"CLumiscriber::SaveTexture() error.",
                               u"D3DXSaveSurfaceToFile() failed. [There is not enough memory to complete the operation.] file=[x.png]"}));
    EXPECT_TRUE(LogContains(u"CLumiscriber::GetTexOptimizationRect() fail."));
}

TEST_F(RendererResourcesTest, ImageFileOperationsWorkForEveryKindOfFile) {
    // The file's format as D3DX reports it (R8G8B8, P8, X8R8G8B8...) is one most devices have no
    // surfaces of; the operations still work.
    struct Kind {
        const char16_t* name;
        DWORD type;
        DWORD bitsPerPixel;
        D3DFORMAT stored;
    } kinds[] = {
        {u"k24.bmp", kRasterTypeBmp, 24, D3DFMT_R8G8B8}, {u"k8.bmp", kRasterTypeBmp, 8, D3DFMT_P8},
        {u"k24.tga", kRasterTypeTga, 24, D3DFMT_R8G8B8}, {u"k8.tga", kRasterTypeTga, 8, D3DFMT_P8},
        {u"k24.png", kRasterTypePng, 24, D3DFMT_R8G8B8}, {u"k8.png", kRasterTypePng, 8, D3DFMT_P8},
        {u"k24.jpg", kRasterTypeJpg, 24, D3DFMT_X8R8G8B8},
    };
    const RECT region{1, 0, 3, 2};
    for (const Kind& k : kinds) {
        const std::string what = win32::Utf16ToUtf8(k.name);
        CRaster image(6, 3, k.bitsPerPixel, k.type);
        for (BYTE i = 0; i < 4 && k.bitsPerPixel == 8; ++i) image.SetPaletteColor(i, 0x40 * i, 0xFF - 0x40 * i, 0x80);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 6; ++x) {
                if (k.bitsPerPixel == 8) {
                    image.SetPixelIndex(x, y, static_cast<BYTE>((x + y) % 4));
                } else {
                    image.SetPixelColor(x, y, RGBQUAD{static_cast<BYTE>(x * 40), static_cast<BYTE>(y * 80), 0x80, 0});
                }
            }
        ASSERT_TRUE(image.Save(k.name, k.type)) << what;
        D3DXIMAGE_INFO info{};
        ASSERT_EQ(D3DXGetImageInfoFromFileW(k.name, &info), D3D_OK) << what;
        EXPECT_EQ(info.Format, k.stored) << what;

        EXPECT_EQ(renderer_->GetImageFileSize(k.name).Width, 6) << what;
        EXPECT_FALSE(renderer_->IsImageTransparent(k.name)) << what;
        RECT box{};
        EXPECT_FALSE(renderer_->GetTexOptimizationRect(k.name, &box)) << what;
        const RECT whole{0, 0, 6, 3};
        EXPECT_TRUE(EqualRect(&box, &whole)) << what;
        EXPECT_TRUE(renderer_->SaveImageRegion(k.name, &region, u"region.png", nullptr)) << what;
        int width = 0, height = 0;
        const std::vector<std::uint32_t> saved = ReadArgb(u"region.png", &width, &height);
        EXPECT_EQ(width, 2) << what;
        EXPECT_EQ(height, 2) << what;
        std::vector<std::uint32_t> original = ReadArgb(k.name, &width, &height);
        ASSERT_EQ(original.size(), 18u) << what;
        EXPECT_EQ(saved, (std::vector<std::uint32_t>{original[1], original[2], original[7], original[8]})) << what;
    }
    EXPECT_FALSE(LogContains(u"CLumiscriber::GetTexOptimizationRect() fail."));
}

TEST_F(RendererResourcesTest, TransparencyAndTheVisibleBoxOfImageFiles) {
    std::vector<std::uint32_t> dot(16, 0x00FFFFFF);
    dot[1 * 4 + 2] = 0x01000000;
    WriteArgb(u"dot.png", 4, 4, dot);
    EXPECT_FALSE(renderer_->IsImageTransparent(u"dot.png"));
    RECT box{};
    EXPECT_TRUE(renderer_->GetTexOptimizationRect(u"dot.png", &box));
    const RECT visible{2, 1, 3, 2};
    EXPECT_TRUE(EqualRect(&box, &visible));
    EXPECT_EQ(renderer_->GetImageFileSize(u"dot.png").Width, 4);

    WriteArgb(u"clear.png", 4, 2, std::vector<std::uint32_t>(8, 0x00FF0000));
    EXPECT_TRUE(renderer_->IsImageTransparent(u"clear.png"));
    box = RECT{1, 1, 1, 1};
    EXPECT_TRUE(renderer_->GetTexOptimizationRect(u"clear.png", &box));
    EXPECT_TRUE(IsRectEmpty(&box) && box.left == 0 && box.top == 0);

    // Other alpha formats are looked at too; formats without alpha are opaque.
    std::vector<std::uint32_t> faint(16, 0x00000000);
    faint[15] = 0xF0102030;
    WriteArgb(u"faint.dds", 4, 4, faint, D3DXIFF_DDS, D3DFMT_A4R4G4B4);
    EXPECT_FALSE(renderer_->IsImageTransparent(u"faint.dds"));
    WriteImage(u"plain.bmp", 6, 3, kRasterTypeBmp);
    EXPECT_FALSE(renderer_->IsImageTransparent(u"plain.bmp"));
    EXPECT_FALSE(renderer_->GetTexOptimizationRect(u"plain.bmp", &box));
    const RECT whole{0, 0, 6, 3};
    EXPECT_TRUE(EqualRect(&box, &whole));
    EXPECT_TRUE(LogContains(u"CLumiscriber::GetTexOptimizationRect() error [plain.bmp][Not D3DFMT_A8R8G8B8 format]"));
}

TEST_F(RendererResourcesTest, UnreadableImagesAndFailedLoadsOrLocks) {
    EXPECT_TRUE(renderer_->IsImageTransparent(u"none.png"));
    RECT box{};
    EXPECT_FALSE(renderer_->GetTexOptimizationRect(u"none.png", &box));
    EXPECT_TRUE(LogHasInOrder({u"CLumiscriber::GetTexOptimizationRect() fail.", u"file not found.[none.png]"}));
    const STRU_IMAGE_FILE_SIZE size = renderer_->GetImageFileSize(u"none.png");
    EXPECT_EQ(size.Width, 0);
    EXPECT_EQ(size.Height, 0);

    std::vector<std::uint32_t> dot(4, 0x00000000);
    dot[0] = kRed;
    WriteArgb(u"dot.png", 2, 2, dot);
    // A failed load is logged; a failed lock of the loaded image (after D3DX's own lock while
    // loading it) is not.
    const int failedBefore = CountLines(u"CLumiscriber::GetTexOptimizationRect() fail.");
    struct Case {
        const char* call;
        int nth;
        HRESULT error;
    };
    for (const Case& c : {Case{"CreateTexture", 1, D3DERR_OUTOFVIDEOMEMORY}, Case{"LockRect", 2, D3DERR_INVALIDCALL}}) {
        d3d9ctl::FailCall(c.call, c.nth, c.error);
        EXPECT_TRUE(renderer_->IsImageTransparent(u"dot.png")) << c.call;
        d3d9ctl::FailCall(c.call, c.nth, c.error);
        EXPECT_FALSE(renderer_->GetTexOptimizationRect(u"dot.png", &box)) << c.call;
        EXPECT_EQ(CountLines(u"CLumiscriber::GetTexOptimizationRect() fail."), failedBefore + 1) << c.call;
    }
    EXPECT_FALSE(renderer_->IsImageTransparent(u"dot.png"));
}

TEST_F(RendererResourcesTest, DrawingIntoATextureInTheMiddleOfAFrameKeepsTheFrame) {
    std::vector<std::uint32_t> image(16, kBlue);
    WriteArgb(u"tex/blue.png", 4, 4, image);
    auto* canvas = static_cast<CD3DTexture*>(renderer_->CreateTexture(16, 16, D3DFMT_A8R8G8B8, 0x200));
    ASSERT_NE(canvas, nullptr);
    IRenderTarget* target = canvas->GetRenderTarget();
    ASSERT_NE(target, nullptr);

    renderer_->OnFrameBegin();
    renderer_->BeginScene();
    // Enough submissions ahead that a counter left rewound would put the green one behind.
    for (int i = 0; i < 4; ++i) renderer_->DrawPoint(ScratchCommand(), 300, 200 + i, kBlue);
    renderer_->DrawRect(ScratchCommand(), 10, 10, 30, 30, kRed, true);
    const POINT at{8, 4};
    const RECT source{0, 0, 3, 2};
    EXPECT_TRUE(renderer_->DrawTex2Tex(u"tex/blue.png", &source, target, &at));
    EXPECT_EQ(Renderer()->GetCurrentRenderTarget(), static_cast<CRenderTarget*>(Renderer()->GetMainRenderWindow()));
    renderer_->DrawRect(ScratchCommand(), 20, 20, 40, 40, kGreen, true);
    ASSERT_TRUE(renderer_->EndScene(true));
    renderer_->OnFrameEnd();

    // The window: both rectangles, the later one in front.
    EXPECT_EQ(WindowPixel(window_, 15, 15) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(WindowPixel(window_, 25, 25) & 0xFFFFFF, 0x00FF00u);
    // The texture: the source's 3 x 2 pixels at (8, 4), nothing else.
    ASSERT_TRUE(renderer_->SaveTexture(canvas, u"canvas.png"));
    int width = 0;
    int height = 0;
    const std::vector<std::uint32_t> pixels = ReadArgb(u"canvas.png", &width, &height);
    ASSERT_EQ(pixels.size(), 256u);
    int blue = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) blue += (pixels[y * 16 + x] & 0xFFFFFF) == 0x0000FF ? 1 : 0;
    EXPECT_EQ(blue, 6);
    EXPECT_EQ(pixels[4 * 16 + 8] & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(pixels[5 * 16 + 10] & 0xFFFFFF, 0x0000FFu);

    EXPECT_FALSE(renderer_->DrawTex2Tex(u"tex/blue.png", &source, renderer_->GetMainWindow(), &at));
    EXPECT_FALSE(renderer_->DrawTex2Tex(u"", &source, target, &at));
    EXPECT_EQ(CountLines(u"CLumiscriber::DrawTex2Tex() - \t\t\t\t\t\t\t   invalided param!"), 2);
}

TEST_F(RendererResourcesTest, DrawingIntoATextureSaysWhetherItDrewAndLetsItsTextureGoAtOnce) {
    WriteArgb(u"tex/blue.png", 4, 4, std::vector<std::uint32_t>(16, kBlue));
    WriteBytes("tex/broken.png", std::string("\x89PNG not really"));
    auto* canvas = static_cast<CD3DTexture*>(renderer_->CreateTexture(16, 16, D3DFMT_A8R8G8B8, 0x200));
    ASSERT_NE(canvas, nullptr);
    IRenderTarget* target = canvas->GetRenderTarget();
    ASSERT_NE(target, nullptr);

    // Outside any frame: the texture is drawn and idle again when the call returns.
    EXPECT_TRUE(renderer_->DrawTex2Tex(u"tex/blue.png", nullptr, target, nullptr));
    CD3DTexture* blue = mgr_->FindOrCreateTexture(u"tex/blue.png", false);
    EXPECT_EQ(blue->GetRefCount(), 0);

    // Nothing drawn is no success.
    EXPECT_FALSE(renderer_->DrawTex2Tex(u"tex/missing.png", nullptr, target, nullptr));
    EXPECT_FALSE(renderer_->DrawTex2Tex(u"tex/broken.png", nullptr, target, nullptr));
    d3d9ctl::LoseDevice();
    RunFrame();
    ASSERT_TRUE(Renderer()->IsDeviceLost());
    EXPECT_FALSE(renderer_->DrawTex2Tex(u"tex/blue.png", nullptr, target, nullptr));
    d3d9ctl::RestoreDevice();
}

TEST_F(RendererResourcesTest, ImageFilesLargerThanTheDeviceTakesAreRefusedBeforeTheyAreDecoded) {
    // A device that takes 512 texels a side.
    Release();
    DestroyAdapterEnum();
    D3DCAPS9 caps = d3d9ctl::DefaultCaps();
    caps.MaxTextureWidth = 512;
    caps.MaxTextureHeight = 512;
    d3d9ctl::SetCaps(0, caps);
    ASSERT_NE(Create(), nullptr);
    std::vector<std::uint32_t> pixels(600 * 2, kClear);
    pixels[1 * 600 + 7] = kRed;
    pixels[0 * 600 + 590] = kRed;  // beyond what the device takes
    WriteArgb(u"wide.png", 600, 2, pixels);
    RECT box{1, 1, 1, 1};
    EXPECT_FALSE(renderer_->GetTexOptimizationRect(u"wide.png", &box));
    EXPECT_EQ(CountLines(u"CLumiscriber::GetTexOptimizationRect() refused.[wide.png] image 600x2 larger than the "
                         u"largest texture 512x512"),
              1);
    EXPECT_EQ(CountLines(u"CLumiscriber::GetTexOptimizationRect() fail."), 1);
    EXPECT_TRUE(renderer_->IsImageTransparent(u"wide.png")) << "what cannot be looked at counts as transparent";
    EXPECT_EQ(CountLines(u"CLumiscriber::IsImageTransparent() refused.[wide.png] image 600x2 larger than the largest "
                         u"texture 512x512"),
              1);
    const STRU_IMAGE_FILE_SIZE size = renderer_->GetImageFileSize(u"wide.png");
    EXPECT_EQ(size.Width, 600) << "the size alone is read, whatever it is";

    // What fits is looked at whole.
    std::vector<std::uint32_t> fits(512 * 2, kClear);
    fits[1 * 512 + 511] = kRed;
    WriteArgb(u"fits.png", 512, 2, fits);
    EXPECT_TRUE(renderer_->GetTexOptimizationRect(u"fits.png", &box));
    const RECT seen{511, 1, 512, 2};
    EXPECT_TRUE(EqualRect(&box, &seen)) << box.left << " " << box.top << " " << box.right << " " << box.bottom;
    EXPECT_FALSE(renderer_->IsImageTransparent(u"fits.png"));
}

TEST_F(RendererResourcesTest, ADisplayModeChangeKeepsNothingOfThePreviousDevice) {
    // Quality 3: alpha textures are DXT3, whose pixels go through the pool's scratch texture.
    Release();
    param_.Quality = 3;
    ASSERT_NE(Create(), nullptr);
    mgr_ = Renderer()->GetTexMgr();
    ASSERT_EQ(Renderer()->GetAlphaFormat(), D3DFMT_DXT3);
    WriteImage(u"tex/a.png", 8, 8, kRasterTypePng);
    CD3DTexture* texture = mgr_->FindOrCreateTexture(u"tex/a.png", false);
    ASSERT_TRUE(LoadNow(texture));
    EXPECT_TRUE(renderer_->SaveImageRegion(u"tex/a.png", nullptr, u"region.png", nullptr));  // a cached surface
    ASSERT_TRUE(RunFrame());
    EXPECT_EQ(d3d9ctl::CountLiveObjects().devices, 1);

    ASSERT_TRUE(renderer_->ChangeDisplayMode(400, 300, 32, 3, false, true));
    EXPECT_EQ(d3d9ctl::CountLiveObjects().devices, 1) << "the previous device is released";
    // The scratch texture is made again on the new device: DXT3 textures still load.
    EXPECT_TRUE(LoadNow(texture));
    EXPECT_EQ(texture->GetFormat(), D3DFMT_DXT3);
    ASSERT_TRUE(RunFrame());

    mgr_ = nullptr;
    Release();
    EXPECT_EQ(d3d9ctl::CountLiveObjects().devices, 0);
}

}  // namespace
}  // namespace lumi::test
