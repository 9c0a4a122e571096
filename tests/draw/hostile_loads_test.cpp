// Hostile image files through the renderer's own loading paths: each small crafted file that
// claims a huge picture is refused from its header with a reason in the log, before anything
// near its claimed size is allocated (the allocations are counted); a failed file is not
// decoded again on every poll; animations keep at most 32 frames; an image the device takes
// loads in every texture format.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "core/format_helpers.h"
#include "draw/image_limits.h"
#include "draw/texture_pool.h"
#include "image/raster_gif.h"
#include "tests/draw/tex_mgr_fixture.h"
#include "tests/support/counting/counting_allocator.h"

namespace lumi::test {
namespace {

using Bytes = std::vector<BYTE>;

// What a refused file may cost: its read buffer, the header probe and the records of the
// load itself.
constexpr std::uint64_t kRefusalBytes = 2u << 20;

void Put32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<BYTE>(v >> shift));
}
void Put16Le(Bytes& out, unsigned v) {
    out.push_back(static_cast<BYTE>(v));
    out.push_back(static_cast<BYTE>(v >> 8));
}

void PngChunk(Bytes& out, const char* type, const Bytes& data) {
    Put32(out, static_cast<std::uint32_t>(data.size()));
    Bytes typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    out.insert(out.end(), typed.begin(), typed.end());
    Put32(out, static_cast<std::uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
}

// A PNG whose header says width x height (8-bit grey, or 8-bit RGB) and whose image data is
// `idat` as it stands.
Bytes Png(std::uint32_t width, std::uint32_t height, bool rgb, const Bytes& idat) {
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    Put32(header, width);
    Put32(header, height);
    header.insert(header.end(), {8, static_cast<BYTE>(rgb ? 2 : 0), 0, 0, 0});
    PngChunk(out, "IHDR", header);
    PngChunk(out, "IDAT", idat);
    PngChunk(out, "IEND", {});
    return out;
}

// The zlib stream of `bytes` zeros.
Bytes Zeros(std::size_t bytes) {
    const Bytes raw(bytes, 0);
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes out(size);
    compress(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
    out.resize(size);
    return out;
}

// GIF files: a screen, a two-colour table, `images` one-pixel images of index 1 at (0, 0)
// each of the given size (the data says one pixel whatever the size).
Bytes Gif(unsigned screenWidth, unsigned screenHeight, int images, unsigned imageWidth = 1,
          unsigned imageHeight = 1) {
    Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
    Put16Le(out, screenWidth);
    Put16Le(out, screenHeight);
    out.insert(out.end(), {0x80, 0, 0, 0, 0, 0, 255, 255, 255});
    for (int i = 0; i < images; ++i) {
        out.insert(out.end(), {'!', 0xF9, 4, 0, 5, 0, 0, 0});
        out.push_back(',');
        Put16Le(out, 0);
        Put16Le(out, 0);
        Put16Le(out, imageWidth);
        Put16Le(out, imageHeight);
        out.insert(out.end(), {0, 2, 2, 0x4C, 0x01, 0});
    }
    out.push_back(';');
    return out;
}

// An 8-bit run-length BMP of width x height with a 256-entry palette whose data ends at once.
Bytes RleBmp(int width, int height) {
    Bytes out = {'B', 'M'};
    auto le32 = [&](std::uint32_t v) {
        Put16Le(out, v & 0xFFFF);
        Put16Le(out, v >> 16);
    };
    le32(0);
    le32(0);
    le32(14 + 40 + 1024);
    le32(40);
    le32(static_cast<std::uint32_t>(width));
    le32(static_cast<std::uint32_t>(height));
    Put16Le(out, 1);
    Put16Le(out, 8);
    le32(1);
    for (int i = 0; i < 5; ++i) le32(0);
    out.insert(out.end(), 1024, 0x40);
    out.insert(out.end(), {0, 1});
    return out;
}

Bytes TgaHeader(unsigned width, unsigned height) {
    Bytes out = {0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Put16Le(out, width);
    Put16Le(out, height);
    out.insert(out.end(), {8, 0});
    return out;
}

class HostileLoadsTest : public TexMgrTest {
protected:
    // Loads the file as a texture; false when it stays unloaded.
    bool Load(const std::u16string& name) {
        CD3DTexture* texture = mgr_->FindOrCreateTexture(name.c_str(), false);
        return texture != nullptr && LoadNow(texture);
    }

    // A renderer on a device that takes textures of `side` a side.
    void RecreateWithLargestTexture(DWORD side) {
        mgr_ = nullptr;
        Release();
        DestroyAdapterEnum();
        D3DCAPS9 caps = d3d9ctl::DefaultCaps();
        caps.MaxTextureWidth = side;
        caps.MaxTextureHeight = side;
        d3d9ctl::SetCaps(0, caps);
        ASSERT_NE(Create(), nullptr);
        mgr_ = Renderer()->GetTexMgr();
        RunFrame();
    }
};

TEST_F(HostileLoadsTest, SmallFilesClaimingHugePicturesAreRefusedFromTheirHeaders) {
    struct Case {
        std::u16string name;
        Bytes file;
        std::u16string reason;
    } cases[] = {
        // A 261 KB PNG of 16383 x 16383 grey pixels took 40 s and 1 GB; here the header alone.
        {u"tex/big.png", Png(16383, 16383, false, Zeros(16384 * 16)),
         u"image 16383x16383 larger than the largest texture 4096x4096"},
        {u"tex/zero-screen.gif", Gif(0, 0, 1, 65284, 25087),
         u"image 65284x25087 larger than the largest texture 4096x4096"},
        {u"tex/frames.gif", Gif(8000, 8000, 20), u"image 8000x8000 larger than the largest texture 4096x4096"},
        {u"tex/rle.bmp", RleBmp(8000, 8000), u"image 8000x8000 larger than the largest texture 4096x4096"},
        {u"tex/header.tga", TgaHeader(16000, 16000), u"image 16000x16000 larger than the largest texture 4096x4096"},
    };
    EXPECT_LT(cases[1].file.size(), 50u);
    EXPECT_LT(cases[2].file.size(), 500u);
    for (const Case& c : cases) {
        SCOPED_TRACE(win32::Utf16ToUtf8(c.name));
        WriteBytes(win32::Utf16ToUtf8(c.name), c.file);
        AllocationWatch watch;
        EXPECT_FALSE(Load(c.name));
        EXPECT_LT(watch.PeakBytes(), kRefusalBytes);
        EXPECT_LT(watch.LargestBlock(), kRefusalBytes);
        std::u16string key = c.name;
        NormalizePath(key.data());
        EXPECT_EQ(CountLines(u"CTexMgr: texture load failed.[" + key + u"] " + c.reason), 1);
    }
}

TEST_F(HostileLoadsTest, AnImageTheDeviceTakesButTheBudgetDoesNotIsRefusedAndLogged) {
    RecreateWithLargestTexture(16384);
    // 8192 x 8192 would hold 768 MiB decoded and converted: over the 256 MiB of one load.
    WriteBytes("tex/budget.png", Png(8192, 8192, true, Zeros(1024)));
    AllocationWatch watch;
    EXPECT_FALSE(Load(u"tex/budget.png"));
    EXPECT_LT(watch.PeakBytes(), kRefusalBytes);
    EXPECT_EQ(CountLinesStartingWith(u"CTexMgr: texture load failed.[TEX/BUDGET.PNG] image 8192x8192 needs "), 1);
    EXPECT_TRUE(LogContains(u"over the load budget of 268435456"));

    // What passes the check is held within the budget; a 1024 x 1024 picture is not near it.
    WriteImage(u"tex/fits.png", 1024, 1024, kRasterTypePng);
    AllocationWatch fits;
    EXPECT_TRUE(Load(u"tex/fits.png"));
    EXPECT_GT(fits.PeakBytes(), 1024u * 1024 * 4) << "the counting allocator sees the load";
    EXPECT_LT(fits.PeakBytes(),
              LoadCostBytes(1 << 20, 1024, 1024, kDecodeBytesPerPixel, 4, 1) + kRefusalBytes);
}

TEST_F(HostileLoadsTest, AnImageLargerThanTheConversionScratchLoadsIntoADxtTexture) {
    // Quality 3: PNG textures are DXT3, converted through the pool's scratch texture; an image
    // wider and taller than the scratch is converted a tile at a time, as far as the device goes.
    mgr_ = nullptr;
    Release();
    param_.Quality = 3;
    ASSERT_NE(Create(), nullptr);
    mgr_ = Renderer()->GetTexMgr();
    ASSERT_EQ(Renderer()->GetAlphaFormat(), D3DFMT_DXT3);
    const int side = 1100;
    const int edge = static_cast<int>(CTexturePool::kScratchSide);
    // A colour for each quarter around the corner of the first tile, each kept exactly by the
    // 4-bit rows and the DXT blocks.
    WriteImage(u"tex/large.png", side, side, kRasterTypePng, [edge](int x, int y) {
        return x < edge ? (y < edge ? 0xFFFF0000u : 0xFF00FF00u) : (y < edge ? 0xFF0000FFu : 0xFFFFFFFFu);
    });
    CD3DTexture* texture = mgr_->FindOrCreateTexture(u"tex/large.png", false);
    ASSERT_TRUE(LoadNow(texture));
    EXPECT_EQ(texture->GetFormat(), D3DFMT_DXT3);
    EXPECT_EQ(texture->GetWidth(), 2048);
    const RECT corner{edge - 50, edge - 50, side, side};
    const int shown = side - edge + 50;
    const RECT at{0, 0, shown, shown};
    DrawFrame([&] { renderer_->DrawTexture(texture, &at, &corner, 0xFFFFFFFF, 1); });
    EXPECT_TRUE(AreaIs(0, 0, 50, 50, 0xFF0000));
    EXPECT_TRUE(AreaIs(50, 0, shown, 50, 0x0000FF));
    EXPECT_TRUE(AreaIs(0, 50, 50, shown, 0x00FF00));
    EXPECT_TRUE(AreaIs(50, 50, shown, shown, 0xFFFFFF)) << "up to the image's last row and column";
}

TEST_F(HostileLoadsTest, AFailedFileIsDecodedOnceUntilItChanges) {
    // A PNG whose header is fine and whose data is not: its decode allocates the picture
    // (12 MB) before it fails.
    WriteBytes("tex/broken.png", Png(2000, 2000, true, Bytes(64, 0x5A)));
    CD3DTexture* texture = mgr_->FindOrCreateTexture(u"tex/broken.png", false);
    AllocationWatch first;
    EXPECT_FALSE(LoadNow(texture));
    EXPECT_GT(first.PeakBytes(), 2000u * 2000 * 3) << "decoded once";
    EXPECT_EQ(CountLinesStartingWith(u"CTexMgr: texture load failed.[TEX/BROKEN.PNG] "), 1);

    // Polled and asked for again, unchanged: nothing is read or decoded.
    for (int frame = 0; frame < 20; ++frame) {
        RunFrame();
        EXPECT_EQ(mgr_->FindOrCreateTexture(u"tex/broken.png", false), texture);
        texture->Restore();
        ASSERT_EQ(texture->GetLoad(), nullptr) << "frame " << frame;
    }
    // Frames later the file is read again, found unchanged and not decoded.
    for (std::uint32_t frame = 0; frame < CD3DTexture::kLoadRetryFrames; ++frame) mgr_->OnFrameBegin();
    AllocationWatch again;
    texture->Restore();
    ASSERT_NE(texture->GetLoad(), nullptr);
    EXPECT_FALSE(LoadNow(texture));
    EXPECT_LT(again.PeakBytes(), kRefusalBytes) << "read, not decoded";
    EXPECT_EQ(CountLinesStartingWith(u"CTexMgr: texture load failed.[TEX/BROKEN.PNG] "), 1);

    // The host writes the file anew and asks for it: the next poll loads it.
    WriteImage(u"tex/broken.png", 16, 16, kRasterTypePng);
    EXPECT_EQ(mgr_->FindOrCreateTexture(u"tex/broken.png", false), texture);
    EXPECT_TRUE(LoadNow(texture));
    EXPECT_EQ(texture->GetPixel(3, 5), ImageColor(3, 5));
}

TEST_F(HostileLoadsTest, AnimationsKeepAtMost32FramesAndOnlyFramesThatCanBePacked) {
    // 40 frames of 32 x 32: 32 of them, packed into one texture.
    std::vector<DWORD> delays(40, 5);
    WriteBytes("tex/forty.gif",
               EncodeGifAnimation(32, 32, delays, [](int c) { return RGBQUAD{BYTE(c), BYTE(c), BYTE(c), 0}; },
                                  [](int i, int x, int) { return (i + x) % 200; }));
    AllocationWatch watch;
    ASSERT_TRUE(Load(u"tex/forty.gif"));
    CD3DTexture* forty = mgr_->FindOrCreateTexture(u"tex/forty.gif", false);
    EXPECT_EQ(forty->GetFrameCount(), 32);
    EXPECT_EQ(forty->GetTotalDurationMs(), 32 * 50);
    EXPECT_LT(watch.PeakBytes(), kRefusalBytes);

    // Frames larger than the 256 x 256 square they are packed in: none is kept.
    WriteBytes("tex/wide.gif", Gif(300, 300, 2));
    AllocationWatch wide;
    EXPECT_FALSE(Load(u"tex/wide.gif"));
    EXPECT_LT(wide.PeakBytes(), kRefusalBytes);
    EXPECT_EQ(CountLines(u"CTexMgr: texture load failed.[TEX/WIDE.GIF] animation frames larger than 256x256"), 1);
}

TEST_F(HostileLoadsTest, TheSynchronousPathsCheckTooAndSayWhy) {
    const Bytes big = Png(16383, 16383, false, Zeros(16384 * 16));
    WriteBytes("tex/big.png", big);
    WriteBytes("tex/zero.gif", Gif(0, 0, 1, 65284, 25087));
    AllocationWatch watch;

    // A texture loaded from memory.
    CD3DTexture* memory = mgr_->CreateTexture();
    EXPECT_FALSE(memory->LoadFromMemory(big.data(), static_cast<std::uint32_t>(big.size())));
    EXPECT_EQ(CountLines(u"CD3DTexture::LoadFromMemory() refused. image 16383x16383 larger than the largest texture "
                         u"4096x4096"),
              1);
    // The size of a file texture read at once: the GIF's header only.
    CD3DTexture* named = mgr_->CreateTexture();
    named->SetFileName(u"tex/zero.gif");
    EXPECT_EQ(named->GetImageWidth(), 0u) << "too large for a texture's 16-bit size";
    // The image-file operations.
    EXPECT_FALSE(renderer_->SaveImageRegion(u"tex/big.png", nullptr, u"out.png", nullptr));
    EXPECT_EQ(CountLines(u"CTexMgr::GetCachedSurface() refused.[tex/big.png] image 16383x16383 larger than the "
                         u"largest texture 4096x4096"),
              1);
    EXPECT_LT(watch.PeakBytes(), kRefusalBytes + big.size());
    EXPECT_LT(watch.LargestBlock(), kRefusalBytes);
    mgr_->DestroyTexture(memory);
    mgr_->DestroyTexture(named);
}

}  // namespace
}  // namespace lumi::test
