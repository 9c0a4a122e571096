// The D3DX functions over the software device: texture creation, files saved and loaded through
// wide paths, surface-to-surface copies, and the grey shader drawn.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/d3d9/control.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/control.h"
#include "platform/d3dx9/d3dx9.h"
#include "tests/d3d9/d3d9_fixture.h"
#include "tests/support/work_folder.h"

namespace {

using d3d9test::Ref;
using d3d9test::Vertex;

int Distance(std::uint32_t a, std::uint32_t b) {
    int worst = 0;
    for (int shift = 0; shift < 32; shift += 8)
        worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    return worst;
}

// The software device's fixture, with the device made on request over caps of the test's own.
class D3DXDeviceTest : public d3d9test::D3D9Test {
protected:
    // Caps must be set before the device exists. An 8x8 back buffer without depth.
    void CreateDevice(DWORD textureCaps = D3DPTEXTURECAPS_ALPHA, DWORD maxSize = 4096, DWORD aspectRatio = 4096) {
        D3DCAPS9 caps = d3d9ctl::DefaultCaps();
        caps.TextureCaps = textureCaps;
        caps.MaxTextureWidth = caps.MaxTextureHeight = maxSize;
        caps.MaxTextureAspectRatio = aspectRatio;
        d3d9ctl::SetCaps(0, caps);
        D3DPRESENT_PARAMETERS params = d3d9test::WindowedParams(window_, 8, 8);
        params.EnableAutoDepthStencil = FALSE;
        params.AutoDepthStencilFormat = D3DFMT_UNKNOWN;
        ASSERT_EQ(D3D9Test::CreateDevice(params), D3D_OK);
    }

    D3DSURFACE_DESC CreatedDesc(UINT w, UINT h, UINT levels, D3DFORMAT format, UINT* levelCount = nullptr) {
        Ref<IDirect3DTexture9> texture;
        D3DSURFACE_DESC desc{};
        EXPECT_EQ(D3DXCreateTexture(device_.get(), w, h, levels, 0, format, D3DPOOL_SYSTEMMEM, texture.out()), D3D_OK);
        if (texture.get() == nullptr) return desc;
        texture->GetLevelDesc(0, &desc);
        if (levelCount != nullptr) *levelCount = texture->GetLevelCount();
        return desc;
    }

    // A system-memory surface filled with `pixels` (row-major ARGB).
    void MakeSurface(Ref<IDirect3DSurface9>& surface, int w, int h, D3DFORMAT format, const std::vector<std::uint32_t>& pixels) {
        ASSERT_EQ(device_->CreateOffscreenPlainSurface(w, h, format, D3DPOOL_SYSTEMMEM, surface.out(), nullptr), D3D_OK);
        const d3d9sw::SurfaceView view = d3d9ctl::SurfaceMemory(surface.get());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) d3d9sw::WritePixel(view, x, y, pixels[static_cast<std::size_t>(y * w + x)]);
    }
};

std::vector<std::uint32_t> Pattern(int w, int h) {
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            pixels.push_back(static_cast<std::uint32_t>(((0x40 + x * 50) << 24) | ((x * 60) << 16) | ((200 - y * 50) << 8) | (x * 20 + y * 30)));
    return pixels;
}

TEST_F(D3DXDeviceTest, CreateTextureAdjustsSizeAndFormatAsTheCapsRequire) {
    CreateDevice(D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_ALPHA, 512);
    D3DSURFACE_DESC desc = CreatedDesc(100, 30, 1, D3DFMT_UNKNOWN);
    EXPECT_EQ(desc.Width, 128u);
    EXPECT_EQ(desc.Height, 32u);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    desc = CreatedDesc(3000, 0, 1, D3DFMT_R5G6B5);
    EXPECT_EQ(desc.Width, 512u) << "clamped to the caps' maximum";
    EXPECT_EQ(desc.Height, 256u) << "zero means D3DX's default";
    EXPECT_EQ(desc.Format, D3DFMT_R5G6B5);
    UINT levels = 0;
    desc = CreatedDesc(16, 4, D3DX_DEFAULT, D3DFMT_A8R8G8B8, &levels);
    EXPECT_EQ(levels, 5u) << "the full chain 16x4 .. 1x1";
    CreatedDesc(16, 4, 9, D3DFMT_A8R8G8B8, &levels);
    EXPECT_EQ(levels, 5u) << "more levels than the chain has are cut";
}

TEST_F(D3DXDeviceTest, CreateTextureSquaresAndKeepsConditionalNonPowerOfTwo) {
    CreateDevice(D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL | D3DPTEXTURECAPS_SQUAREONLY);
    D3DSURFACE_DESC desc = CreatedDesc(100, 30, 1, D3DFMT_A8R8G8B8);
    EXPECT_EQ(desc.Width, 100u);
    EXPECT_EQ(desc.Height, 100u);
    desc = CreatedDesc(100, 30, 2, D3DFMT_A8R8G8B8);
    EXPECT_EQ(desc.Width, 128u) << "mip levels need powers of two";
    EXPECT_EQ(desc.Height, 128u);
}

TEST_F(D3DXDeviceTest, CreateTextureKeepsTheAspectRatioTheCapsAllow) {
    CreateDevice(D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_POW2, 4096, 4);
    D3DSURFACE_DESC desc = CreatedDesc(256, 16, 1, D3DFMT_A8R8G8B8);
    EXPECT_EQ(desc.Width, 256u);
    EXPECT_EQ(desc.Height, 64u) << "grown to a quarter of the width";
    desc = CreatedDesc(10, 100, 1, D3DFMT_A8R8G8B8);
    EXPECT_EQ(desc.Width, 32u);
    EXPECT_EQ(desc.Height, 128u);
}

TEST_F(D3DXDeviceTest, CreateTextureReplacesFormatsTheAdapterCannotTexture) {
    d3d9ctl::FormatSupport notTexture;  // still a back buffer and surface format
    notTexture.renderTarget = notTexture.surface = true;
    d3d9ctl::SetFormatSupport(0, D3DFMT_DXT3, {});
    d3d9ctl::SetFormatSupport(0, D3DFMT_A8R8G8B8, notTexture);
    d3d9ctl::SetFormatSupport(0, D3DFMT_X8R8G8B8, notTexture);
    CreateDevice();
    EXPECT_EQ(CreatedDesc(8, 8, 1, D3DFMT_DXT3).Format, D3DFMT_A4R4G4B4) << "alpha is kept";
    EXPECT_EQ(CreatedDesc(8, 8, 1, D3DFMT_X8R8G8B8).Format, D3DFMT_R5G6B5);
    EXPECT_EQ(CreatedDesc(8, 8, 1, D3DFMT_DXT1).Format, D3DFMT_DXT1);
}

TEST_F(D3DXDeviceTest, CreateTextureRoundsDxtToBlocksAndPassesDeviceErrorsOn) {
    CreateDevice();
    const D3DSURFACE_DESC desc = CreatedDesc(30, 6, 1, D3DFMT_DXT5);
    EXPECT_EQ(desc.Width, 32u);
    EXPECT_EQ(desc.Height, 8u);
    d3d9ctl::FailCall("CreateTexture", 1, D3DERR_OUTOFVIDEOMEMORY);
    Ref<IDirect3DTexture9> texture;
    EXPECT_EQ(D3DXCreateTexture(device_.get(), 64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, texture.out()),
              D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(texture.get(), nullptr);
    EXPECT_EQ(D3DXCreateTexture(nullptr, 64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, texture.out()), D3DERR_INVALIDCALL);
}

TEST_F(D3DXDeviceTest, EveryFileTypeSavesAndLoadsBackThroughWidePaths) {
    lumi::test::TempWorkFolder folder;
    CreateDevice();
    const std::vector<std::uint32_t> pixels = Pattern(5, 3);
    Ref<IDirect3DSurface9> source;
    MakeSurface(source, 5, 3, D3DFMT_A8R8G8B8, pixels);
    struct Case {
        const char16_t* file;
        D3DXIMAGE_FILEFORMAT type, reads;
        D3DFORMAT format;
        int tolerance;
    } cases[] = {
        {u"shot.bmp", D3DXIFF_BMP, D3DXIFF_BMP, D3DFMT_A8R8G8B8, 0},
        {u"shot.dib", D3DXIFF_DIB, D3DXIFF_BMP, D3DFMT_A8R8G8B8, 0},
        {u"shot.png", D3DXIFF_PNG, D3DXIFF_PNG, D3DFMT_A8R8G8B8, 0},
        {u"shot.dds", D3DXIFF_DDS, D3DXIFF_DDS, D3DFMT_A8R8G8B8, 0},
        {u"shot.jpg", D3DXIFF_JPG, D3DXIFF_JPG, D3DFMT_X8R8G8B8, 40},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(D3DXSaveSurfaceToFileW(c.file, c.type, source.get(), nullptr, nullptr), D3D_OK) << c.type;
        D3DXIMAGE_INFO info{};
        ASSERT_EQ(D3DXGetImageInfoFromFileW(c.file, &info), D3D_OK) << c.type;
        EXPECT_EQ(info.ImageFileFormat, c.reads);
        EXPECT_EQ(info.Format, c.format) << c.type;
        // As the texture manager caches a file: a surface of the file's size and format.
        Ref<IDirect3DSurface9> loaded;
        ASSERT_EQ(device_->CreateOffscreenPlainSurface(info.Width, info.Height, info.Format, D3DPOOL_SYSTEMMEM, loaded.out(), nullptr),
                  D3D_OK);
        ASSERT_EQ(D3DXLoadSurfaceFromFileW(loaded.get(), nullptr, nullptr, c.file, nullptr, D3DX_DEFAULT, 0, nullptr), D3D_OK);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                std::uint32_t want = pixels[static_cast<std::size_t>(y * 5 + x)];
                if (c.format == D3DFMT_X8R8G8B8) want |= 0xFF000000u;
                EXPECT_LE(Distance(d3d9ctl::ReadPixel(loaded.get(), x, y), want), c.tolerance) << c.type << " at " << x << "," << y;
            }
    }
    // The save functions refuse the types D3DX 9 documents as unsaved.
    for (D3DXIMAGE_FILEFORMAT type : {D3DXIFF_TGA, D3DXIFF_PPM})
        EXPECT_EQ(D3DXSaveSurfaceToFileW(u"shot.x", type, source.get(), nullptr, nullptr), D3DERR_INVALIDCALL) << type;
    ASSERT_EQ(D3DXSaveSurfaceToFileW(u"shot.pfm", D3DXIFF_PFM, source.get(), nullptr, nullptr), D3D_OK);
    // Texture keys are upper-cased: the file is found without regard to case.
    D3DXIMAGE_INFO info{};
    EXPECT_EQ(D3DXGetImageInfoFromFileW(u"SHOT.PNG", &info), D3D_OK);
    EXPECT_EQ(D3DXGetImageInfoFromFileW(u"missing.png", &info), D3DERR_INVALIDCALL);
}

TEST_F(D3DXDeviceTest, SavingARegionAndWholeTextures) {
    lumi::test::TempWorkFolder folder;
    CreateDevice();
    const std::vector<std::uint32_t> pixels = Pattern(5, 3);
    Ref<IDirect3DSurface9> source;
    MakeSurface(source, 5, 3, D3DFMT_A8R8G8B8, pixels);
    const RECT region{2, 1, 5, 3};
    ASSERT_EQ(D3DXSaveSurfaceToFileW(u"region.png", D3DXIFF_PNG, source.get(), nullptr, &region), D3D_OK);
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(D3DXGetImageInfoFromFileW(u"region.png", &info), D3D_OK);
    EXPECT_EQ(info.Width, 3u);
    EXPECT_EQ(info.Height, 2u);
    const RECT outside{2, 1, 6, 3};
    EXPECT_EQ(D3DXSaveSurfaceToFileW(u"bad.png", D3DXIFF_PNG, source.get(), nullptr, &outside), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXSaveSurfaceToFileW(u"no/such/folder/x.png", D3DXIFF_PNG, source.get(), nullptr, nullptr), D3DERR_INVALIDCALL);

    Ref<IDirect3DTexture9> texture;
    ASSERT_EQ(device_->CreateTexture(8, 8, 0, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, texture.out(), nullptr), D3D_OK);
    ASSERT_EQ(D3DXSaveTextureToFileW(u"target.dds", D3DXIFF_DDS, texture.get(), nullptr), D3D_OK);
    ASSERT_EQ(D3DXGetImageInfoFromFileW(u"target.dds", &info), D3D_OK);
    EXPECT_EQ(info.MipLevels, 4u) << "DDS keeps every level";
    EXPECT_EQ(info.Format, D3DFMT_DXT1);
    ASSERT_EQ(D3DXSaveTextureToFileW(u"target.png", D3DXIFF_PNG, texture.get(), nullptr), D3D_OK);
    ASSERT_EQ(D3DXGetImageInfoFromFileW(u"target.png", &info), D3D_OK);
    EXPECT_EQ(info.Width, 8u);
}

TEST_F(D3DXDeviceTest, TextureFromFileTakesTheFilesSizeFormatAndColourKey) {
    lumi::test::TempWorkFolder folder;
    CreateDevice();
    std::vector<std::uint32_t> pixels = Pattern(5, 3);
    pixels[0] = 0xFFFF00FF;
    Ref<IDirect3DSurface9> source;
    MakeSurface(source, 5, 3, D3DFMT_A8R8G8B8, pixels);
    ASSERT_EQ(D3DXSaveSurfaceToFileW(u"image.png", D3DXIFF_PNG, source.get(), nullptr, nullptr), D3D_OK);

    // As the renderer checks transparency: the file's size and format, in system memory.
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(D3DXGetImageInfoFromFileW(u"image.png", &info), D3D_OK);
    Ref<IDirect3DTexture9> texture;
    D3DXIMAGE_INFO seen{};
    ASSERT_EQ(D3DXCreateTextureFromFileExW(device_.get(), u"image.png", info.Width, info.Height, 1, 0, info.Format,
                                           D3DPOOL_SYSTEMMEM, D3DX_FILTER_NONE, D3DX_FILTER_NONE, 0xFFFF00FF, &seen,
                                           nullptr, texture.out()),
              D3D_OK);
    EXPECT_EQ(seen.Width, 5u);
    EXPECT_EQ(seen.ImageFileFormat, D3DXIFF_PNG);
    D3DSURFACE_DESC desc{};
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 5u);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(desc.Pool, D3DPOOL_SYSTEMMEM);
    Ref<IDirect3DSurface9> level;
    ASSERT_EQ(texture->GetSurfaceLevel(0, level.out()), D3D_OK);
    EXPECT_EQ(d3d9ctl::ReadPixel(level.get(), 0, 0), 0u) << "the colour key made it transparent black";
    EXPECT_EQ(d3d9ctl::ReadPixel(level.get(), 4, 2), pixels[14]);

    // Default sizes round up to powers of two and stretch; a mip chain is filtered down.
    ASSERT_EQ(D3DXCreateTextureFromFileExW(device_.get(), u"image.png", D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                           D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr,
                                           nullptr, texture.out()),
              D3D_OK);
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 8u);
    EXPECT_EQ(desc.Height, 4u);
    EXPECT_EQ(texture->GetLevelCount(), 4u);

    EXPECT_EQ(D3DXCreateTextureFromFileExW(device_.get(), u"absent.png", 0, 0, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                           D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, texture.out()),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(texture.get(), nullptr);
}

TEST_F(D3DXDeviceTest, SurfaceToSurfaceConvertsIntoDxtAndStretches) {
    CreateDevice();
    // The bitmap path: an A4R4G4B4 scratch texture converted into a DXT3 texture.
    std::vector<std::uint32_t> flat(64, 0xCC3366FF);
    Ref<IDirect3DTexture9> scratch, dxt;
    ASSERT_EQ(D3DXCreateTexture(device_.get(), 8, 8, 1, 0, D3DFMT_A4R4G4B4, D3DPOOL_SYSTEMMEM, scratch.out()), D3D_OK);
    ASSERT_EQ(D3DXCreateTexture(device_.get(), 8, 8, 1, 0, D3DFMT_DXT3, D3DPOOL_SYSTEMMEM, dxt.out()), D3D_OK);
    Ref<IDirect3DSurface9> from, to;
    ASSERT_EQ(scratch->GetSurfaceLevel(0, from.out()), D3D_OK);
    ASSERT_EQ(dxt->GetSurfaceLevel(0, to.out()), D3D_OK);
    const d3d9sw::SurfaceView view = d3d9ctl::SurfaceMemory(from.get());
    for (int i = 0; i < 64; ++i) d3d9sw::WritePixel(view, i % 8, i / 8, flat[static_cast<std::size_t>(i)]);
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(to.get(), nullptr, nullptr, from.get(), nullptr, nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
    EXPECT_LE(Distance(d3d9ctl::ReadPixel(to.get(), 5, 6), 0xCC3366FF), 8);

    // The cursor path: a region of a texture into a 32x32 DEFAULT-pool surface, without filtering.
    Ref<IDirect3DSurface9> cursor;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(32, 32, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, cursor.out(), nullptr), D3D_OK);
    const RECT part{4, 4, 8, 8};
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(cursor.get(), nullptr, nullptr, from.get(), nullptr, &part, D3DX_FILTER_NONE, 0), D3D_OK);
    EXPECT_EQ(d3d9ctl::ReadPixel(cursor.get(), 3, 3), 0xCC3366FFu);
    EXPECT_EQ(d3d9ctl::ReadPixel(cursor.get(), 4, 3), 0u) << "outside the source: transparent black";

    // A region stretched into a smaller surface with the default filter.
    Ref<IDirect3DSurface9> small;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(2, 2, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, small.out(), nullptr), D3D_OK);
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(small.get(), nullptr, nullptr, from.get(), nullptr, nullptr, D3DX_DEFAULT, 0), D3D_OK);
    EXPECT_EQ(d3d9ctl::ReadPixel(small.get(), 1, 1), 0xFF3366FFu);

    EXPECT_EQ(D3DXLoadSurfaceFromSurface(nullptr, nullptr, nullptr, from.get(), nullptr, nullptr, D3DX_DEFAULT, 0), D3DERR_INVALIDCALL);
    const RECT outside{0, 0, 9, 8};
    EXPECT_EQ(D3DXLoadSurfaceFromSurface(small.get(), nullptr, nullptr, from.get(), nullptr, &outside, D3DX_DEFAULT, 0),
              D3DERR_INVALIDCALL);
}

TEST_F(D3DXDeviceTest, LoadingFromMemoryRefusesCorruptDataAndLeavesTheSurface) {
    lumi::test::TempWorkFolder folder;
    CreateDevice();
    Ref<IDirect3DSurface9> source, target;
    MakeSurface(source, 4, 4, D3DFMT_A8R8G8B8, Pattern(4, 4));
    ASSERT_EQ(D3DXSaveSurfaceToFileW(u"a.dds", D3DXIFF_DDS, source.get(), nullptr, nullptr), D3D_OK);
    std::ifstream in(folder.File("a.dds"), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 128u);

    MakeSurface(target, 4, 4, D3DFMT_A4R4G4B4, std::vector<std::uint32_t>(16, 0xFFFFFFFF));
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(D3DXGetImageInfoFromFileInMemory(bytes.data(), static_cast<UINT>(bytes.size()), &info), D3D_OK);
    EXPECT_EQ(info.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(bytes.data(), 100, &info), D3DXERR_INVALIDDATA);
    EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(bytes.data(), 0, &info), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXLoadSurfaceFromFileInMemory(target.get(), nullptr, nullptr, bytes.data(), static_cast<UINT>(bytes.size() - 1),
                                              nullptr, D3DX_FILTER_NONE, 0, nullptr),
              D3DXERR_INVALIDDATA);
    EXPECT_EQ(d3d9ctl::ReadPixel(target.get(), 0, 0), 0xFFFFFFFFu);
    ASSERT_EQ(D3DXLoadSurfaceFromFileInMemory(target.get(), nullptr, nullptr, bytes.data(), static_cast<UINT>(bytes.size()),
                                              nullptr, D3DX_FILTER_NONE, 0, &info),
              D3D_OK);
    EXPECT_LE(Distance(d3d9ctl::ReadPixel(target.get(), 2, 1), Pattern(4, 4)[6]), 9);
    std::ofstream(folder.File("broken.png"), std::ios::binary) << "\x89PNG\r\n\x1a\n not really";
    EXPECT_EQ(D3DXLoadSurfaceFromFileW(target.get(), nullptr, nullptr, u"broken.png", nullptr, D3DX_DEFAULT, 0, nullptr),
              D3DXERR_INVALIDDATA);
}

TEST_F(D3DXDeviceTest, PixelsAreReachedThroughTheDeviceAsOnThePlatform) {
    lumi::test::TempWorkFolder folder;
    CreateDevice();
    Ref<IDirect3DSurface9> source;
    MakeSurface(source, 4, 4, D3DFMT_A8R8G8B8, std::vector<std::uint32_t>(16, 0xFF336699u));
    struct Case {
        const char* what;
        DWORD usage;
        HRESULT load, save;
    } cases[] = {
        {"plain video texture", 0, D3DERR_INVALIDCALL, D3DERR_INVALIDCALL},
        {"dynamic texture", D3DUSAGE_DYNAMIC, D3D_OK, D3D_OK},
        {"render target", D3DUSAGE_RENDERTARGET, D3D_OK, D3D_OK},
    };
    for (const Case& c : cases) {
        Ref<IDirect3DTexture9> texture;
        ASSERT_EQ(device_->CreateTexture(4, 4, 1, c.usage, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, texture.out(), nullptr), D3D_OK);
        Ref<IDirect3DSurface9> level;
        ASSERT_EQ(texture->GetSurfaceLevel(0, level.out()), D3D_OK);
        EXPECT_EQ(D3DXLoadSurfaceFromSurface(level.get(), nullptr, nullptr, source.get(), nullptr, nullptr, D3DX_FILTER_NONE, 0),
                  c.load)
            << c.what;
        if (SUCCEEDED(c.load)) {
            EXPECT_EQ(d3d9ctl::ReadPixel(level.get(), 3, 3), 0xFF336699u) << c.what;
        }
        EXPECT_EQ(D3DXSaveSurfaceToFileW(u"level.png", D3DXIFF_PNG, level.get(), nullptr, nullptr), c.save) << c.what;
        EXPECT_EQ(D3DXSaveTextureToFileW(u"level.dds", D3DXIFF_DDS, texture.get(), nullptr), c.save) << c.what;
    }

    // A locked surface and a scripted lock failure fail the copy; nothing is written.
    Ref<IDirect3DSurface9> target;
    MakeSurface(target, 4, 4, D3DFMT_A8R8G8B8, std::vector<std::uint32_t>(16, 0u));
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(target->LockRect(&locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(D3DXLoadSurfaceFromSurface(target.get(), nullptr, nullptr, source.get(), nullptr, nullptr, D3DX_FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
    ASSERT_EQ(target->UnlockRect(), D3D_OK);
    d3d9ctl::FailCall("LockRect", 2, D3DERR_WASSTILLDRAWING);  // the source's lock, after the target's
    EXPECT_EQ(D3DXLoadSurfaceFromSurface(target.get(), nullptr, nullptr, source.get(), nullptr, nullptr, D3DX_FILTER_NONE, 0),
              D3DERR_WASSTILLDRAWING);
    EXPECT_EQ(d3d9ctl::ReadPixel(target.get(), 0, 0), 0u);
    EXPECT_EQ(D3DXLoadSurfaceFromSurface(target.get(), nullptr, nullptr, source.get(), nullptr, nullptr, D3DX_FILTER_NONE, 0),
              D3D_OK);
    EXPECT_EQ(d3d9ctl::ReadPixel(target.get(), 0, 0), 0xFF336699u);

    // A file loaded into a video texture goes through a system-memory copy.
    ASSERT_EQ(D3DXSaveSurfaceToFileW(u"blue.bmp", D3DXIFF_BMP, source.get(), nullptr, nullptr), D3D_OK);
    Ref<IDirect3DTexture9> video;
    ASSERT_EQ(D3DXCreateTextureFromFileExW(device_.get(), u"blue.bmp", 0, 0, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_DEFAULT,
                                           D3DX_FILTER_NONE, D3DX_FILTER_NONE, 0, nullptr, nullptr, video.out()),
              D3D_OK);
    Ref<IDirect3DSurface9> videoLevel;
    ASSERT_EQ(video->GetSurfaceLevel(0, videoLevel.out()), D3D_OK);
    EXPECT_EQ(d3d9ctl::ReadPixel(videoLevel.get(), 1, 1), 0xFF336699u);
}

TEST_F(D3DXDeviceTest, FileFormatsTheDeviceCannotHoldAreAdjustedOrRefused) {
    lumi::test::TempWorkFolder folder;
    CreateDevice();
    Ref<IDirect3DSurface9> opaque;
    MakeSurface(opaque, 4, 2, D3DFMT_X8R8G8B8, std::vector<std::uint32_t>(8, 0xFF102030u));
    ASSERT_EQ(D3DXSaveSurfaceToFileW(u"rgb.bmp", D3DXIFF_BMP, opaque.get(), nullptr, nullptr), D3D_OK);
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(D3DXGetImageInfoFromFileW(u"rgb.bmp", &info), D3D_OK);
    EXPECT_EQ(info.Format, D3DFMT_R8G8B8) << "a format the device has no surfaces of";
    Ref<IDirect3DTexture9> texture;
    EXPECT_EQ(D3DXCreateTextureFromFileExW(device_.get(), u"rgb.bmp", D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 1, 0,
                                           D3DFMT_FROM_FILE, D3DPOOL_SYSTEMMEM, D3DX_FILTER_NONE, D3DX_FILTER_NONE, 0,
                                           nullptr, nullptr, texture.out()),
              D3DERR_INVALIDCALL)
        << "the file's format exactly";
    ASSERT_EQ(D3DXCreateTextureFromFileExW(device_.get(), u"rgb.bmp", D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 1, 0,
                                           D3DFMT_UNKNOWN, D3DPOOL_SYSTEMMEM, D3DX_FILTER_NONE, D3DX_FILTER_NONE, 0,
                                           nullptr, nullptr, texture.out()),
              D3D_OK);
    D3DSURFACE_DESC desc{};
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8) << "the nearest format the device has";
}

TEST_F(D3DXDeviceTest, EveryFunctionTheLibraryCallsCanBeScriptedToFail) {
    lumi::test::TempWorkFolder folder;
    CreateDevice();
    Ref<IDirect3DSurface9> surface;
    MakeSurface(surface, 4, 4, D3DFMT_A8R8G8B8, std::vector<std::uint32_t>(16, 0xFF00FF00u));
    ASSERT_EQ(D3DXSaveSurfaceToFileW(u"green.png", D3DXIFF_PNG, surface.get(), nullptr, nullptr), D3D_OK);
    std::ifstream in("green.png", std::ios::binary);
    const std::vector<char> png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Ref<IDirect3DTexture9> texture;
    ASSERT_EQ(D3DXCreateTexture(device_.get(), 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.out()), D3D_OK);
    D3DXIMAGE_INFO info{};
    using d3dxctl::Function;
    struct Case {
        Function function;
        std::function<HRESULT()> call;
    } cases[] = {
        {Function::kCreateTexture,
         [&] { return D3DXCreateTexture(device_.get(), 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.out()); }},
        {Function::kCreateTextureFromFileEx,
         [&] {
             return D3DXCreateTextureFromFileExW(device_.get(), u"green.png", 0, 0, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                                 D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, texture.out());
         }},
        {Function::kGetImageInfoFromFile, [&] { return D3DXGetImageInfoFromFileW(u"green.png", &info); }},
        {Function::kGetImageInfoFromFileInMemory,
         [&] { return D3DXGetImageInfoFromFileInMemory(png.data(), static_cast<UINT>(png.size()), &info); }},
        {Function::kLoadSurfaceFromFile,
         [&] { return D3DXLoadSurfaceFromFileW(surface.get(), nullptr, nullptr, u"green.png", nullptr, D3DX_DEFAULT, 0, nullptr); }},
        {Function::kLoadSurfaceFromFileInMemory,
         [&] {
             return D3DXLoadSurfaceFromFileInMemory(surface.get(), nullptr, nullptr, png.data(), static_cast<UINT>(png.size()),
                                                    nullptr, D3DX_DEFAULT, 0, nullptr);
         }},
        {Function::kLoadSurfaceFromSurface,
         [&] { return D3DXLoadSurfaceFromSurface(surface.get(), nullptr, nullptr, surface.get(), nullptr, nullptr, D3DX_DEFAULT, 0); }},
        {Function::kSaveSurfaceToFile, [&] { return D3DXSaveSurfaceToFileW(u"out.png", D3DXIFF_PNG, surface.get(), nullptr, nullptr); }},
        {Function::kSaveTextureToFile, [&] { return D3DXSaveTextureToFileW(u"out.bmp", D3DXIFF_BMP, texture.get(), nullptr); }},
        {Function::kAssembleShader,
         [&] {
             Ref<ID3DXBuffer> code;
             return D3DXAssembleShader("ps.1.1\nmov r0, v0\n", 17, nullptr, nullptr, 0, code.out(), nullptr);
         }},
    };
    for (const Case& c : cases) {
        const int before = d3dxctl::CallCount(c.function);
        d3dxctl::FailCall(c.function, 1, E_OUTOFMEMORY);
        EXPECT_EQ(c.call(), E_OUTOFMEMORY) << d3dxctl::NameOf(c.function);
        EXPECT_EQ(c.call(), D3D_OK) << d3dxctl::NameOf(c.function);
        EXPECT_EQ(d3dxctl::CallCount(c.function), before + 2) << d3dxctl::NameOf(c.function);
    }
    EXPECT_EQ(d3dxctl::CallCount(Function::kCreateTexture), 3) << "calls inside D3DX are not counted";
}

TEST_F(D3DXDeviceTest, GreyShaderDrawsAColourTextureGrey) {
    CreateDevice();
    const char source[] =
        "// this pixel shader renders a gray image.\n"
        "    ps.1.1\n"
        "    def c1, 0.2125f, 0.7154f, 0.0721f, 1.0f\n"
        "    tex t0\n"
        "    dp3 r0.rgb, t0, c1\n"
        "    mov r0.a, t0\n";
    Ref<ID3DXBuffer> code;
    ASSERT_EQ(D3DXAssembleShader(source, sizeof source - 1, nullptr, nullptr, 0, code.out(), nullptr), D3D_OK);
    Ref<IDirect3DPixelShader9> shader;
    ASSERT_EQ(device_->CreatePixelShader(static_cast<const DWORD*>(code->GetBufferPointer()), shader.out()), D3D_OK);

    // An 8x8 texture of coloured texels, one per back-buffer pixel.
    const std::vector<std::uint32_t> colours = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF, 0xFF804020, 0xFF10E0A0};
    std::vector<std::uint32_t> texels(64);
    for (std::size_t i = 0; i < 64; ++i) texels[i] = colours[i % colours.size()];
    Ref<IDirect3DTexture9> texture;
    ASSERT_EQ(D3DXCreateTexture(device_.get(), 8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.out()), D3D_OK);
    {
        Ref<IDirect3DSurface9> level;
        ASSERT_EQ(texture->GetSurfaceLevel(0, level.out()), D3D_OK);
        const d3d9sw::SurfaceView view = d3d9ctl::SurfaceMemory(level.get());
        for (int i = 0; i < 64; ++i) d3d9sw::WritePixel(view, i % 8, i / 8, texels[static_cast<std::size_t>(i)]);
    }

    // The whole target as two triangles with the library's -0.5 offset: each pixel centre samples its texel's centre.
    auto cx = [](float px) { return (px - 0.5f) / 8.0f * 2.0f - 1.0f; };
    auto cy = [](float py) { return 1.0f - (py - 0.5f) / 8.0f * 2.0f; };
    const float l = cx(0), r = cx(8), t = cy(0), b = cy(8);
    const Vertex quad[6] = {{l, t, 0.5f, 0xFFFFFFFF, 0, 0}, {r, t, 0.5f, 0xFFFFFFFF, 1, 0}, {l, b, 0.5f, 0xFFFFFFFF, 0, 1},
                            {r, t, 0.5f, 0xFFFFFFFF, 1, 0}, {r, b, 0.5f, 0xFFFFFFFF, 1, 1}, {l, b, 0.5f, 0xFFFFFFFF, 0, 1}};
    Ref<IDirect3DVertexBuffer9> vertices;
    ASSERT_EQ(device_->CreateVertexBuffer(sizeof quad, D3DUSAGE_WRITEONLY, 0x142, D3DPOOL_MANAGED, vertices.out(), nullptr), D3D_OK);
    void* data = nullptr;
    ASSERT_EQ(vertices->Lock(0, 0, &data, 0), D3D_OK);
    std::memcpy(data, quad, sizeof quad);
    vertices->Unlock();

    ASSERT_EQ(device_->SetFVF(0x142), D3D_OK);
    ASSERT_EQ(device_->SetStreamSource(0, vertices.get(), 0, sizeof(Vertex)), D3D_OK);
    ASSERT_EQ(device_->SetTexture(0, texture.get()), D3D_OK);
    ASSERT_EQ(device_->SetPixelShader(shader.get()), D3D_OK);
    ASSERT_EQ(device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE), D3D_OK);
    ASSERT_EQ(device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), D3D_OK);
    ASSERT_EQ(device_->SetRenderState(D3DRS_LIGHTING, FALSE), D3D_OK);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), D3D_OK);
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    device_->SetTexture(0, nullptr);
    device_->SetPixelShader(nullptr);
    device_->SetStreamSource(0, nullptr, 0, 0);

    Ref<IDirect3DSurface9> backBuffer;
    ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, backBuffer.out()), D3D_OK);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const std::uint32_t texel = texels[static_cast<std::size_t>(y * 8 + x)];
            const double grey = 0.2125 * ((texel >> 16) & 0xFF) + 0.7154 * ((texel >> 8) & 0xFF) + 0.0721 * (texel & 0xFF);
            const auto g = static_cast<std::uint32_t>(grey + 0.5);
            EXPECT_LE(Distance(d3d9ctl::ReadPixel(backBuffer.get(), x, y), 0xFF000000u | g << 16 | g << 8 | g), 1)
                << "pixel " << x << "," << y << " from texel " << std::hex << texel;
        }
}

}  // namespace
