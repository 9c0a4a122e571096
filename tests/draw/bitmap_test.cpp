// Bitmaps: reading a file into the power-of-two buffer, decoding every frame into the
// texture's pixel layout, and the load through the resource loader's manual mode.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/file_callbacks.h"
#include "draw/bitmap_load.h"
#include "draw/d3d_bitmap.h"
#include "image/raster.h"
#include "platform/engine/resource_loader.h"
#include "tests/draw/texture_fixture.h"

namespace {

using lumi::test::TempWorkFolder;
using lumi::test::WriteBytes;
using Bytes = std::vector<BYTE>;

void SetBuffer(bitmap_load_t& load, const Bytes& bytes) {
    ASSERT_TRUE(EnsureBufferCapacity(load.buffer, static_cast<std::uint32_t>(bytes.size())));
    std::memcpy(load.buffer.data, bytes.data(), bytes.size());
    load.buffer.bytesRead = static_cast<std::uint32_t>(bytes.size());
}

Bytes Encode(CRaster& image, DWORD type) {
    BYTE* buffer = nullptr;
    long size = 0;
    if (!image.Encode(buffer, size, type)) return {};
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

// An animation of `count` 3 x 2 frames; frame i is filled with palette entry i, whose colour
// is (B, G, R) = (i, 2i, 3i), and shows for `delay` hundredths of a second.
Bytes AnimatedGif(int count, DWORD delay) {
    return lumi::test::EncodeGifAnimation(
        3, 2, std::vector<DWORD>(count, delay),
        [](int c) { return RGBQUAD{static_cast<BYTE>(c), static_cast<BYTE>(c * 2), static_cast<BYTE>(c * 3), 0}; },
        [](int frame, int, int) { return frame; });
}

std::uint32_t Texel32(const bitmap_record_t& record, int x, int y) {
    std::uint32_t value = 0;
    std::memcpy(&value, record.pixels + y * record.pitch + x * 4, 4);
    return value;
}

// Callbacks over one in-memory file whose reads can be cut short.
struct FakeFile {
    static inline Bytes content;
    static inline std::int32_t readLimit = -1;  // -1: all
    static inline int closes = 0;
    static std::int32_t Open(const WCHAR*, std::int32_t* size, LumiFileHandle* file) {
        *size = static_cast<std::int32_t>(content.size());
        *file = &content;
        return 0;
    }
    static std::int32_t Close(LumiFileHandle) { return ++closes, 0; }
    static std::int32_t Read(LumiFileHandle, void* buffer, std::int32_t length, std::int32_t* count) {
        const std::int32_t n = readLimit >= 0 && readLimit < length ? readLimit : length;
        std::memcpy(buffer, content.data(), static_cast<std::size_t>(n));
        *count = n;
        return 0;
    }
};

TEST(BitmapLoad, BufferGrowsToPowersOfTwoAndReadsWholeFiles) {
    TempWorkFolder folder;
    WriteBytes(folder.File("small.bin"), Bytes(100, 7));
    WriteBytes(folder.File("large.bin"), Bytes(1000, 9));
    const STRU_FILE_CALLBACKS callbacks = DefaultFileCallbacks();

    bitmap_load_t load;
    SetBitmapSource(load, u"small.bin", D3DFMT_A8R8G8B8);
    ASSERT_TRUE(PrepareBitmapLoad(load, &callbacks));
    EXPECT_EQ(load.buffer.capacity, 128u);
    EXPECT_EQ(load.buffer.bytesRead, 100u);
    EXPECT_EQ(load.buffer.data[99], 7);

    SetBitmapSource(load, u"large.bin", D3DFMT_A8R8G8B8);
    ASSERT_TRUE(PrepareBitmapLoad(load, &callbacks));
    EXPECT_EQ(load.buffer.capacity, 1024u);
    EXPECT_EQ(load.buffer.bytesRead, 1000u);
    EXPECT_EQ(load.buffer.data[999], 9);

    // Failures: no callbacks, a missing file, a short read (the file is closed all the same),
    // and a size no 32-bit power of two holds.
    EXPECT_FALSE(PrepareBitmapLoad(load, nullptr));
    SetBitmapSource(load, u"missing.bin", D3DFMT_A8R8G8B8);
    EXPECT_FALSE(PrepareBitmapLoad(load, &callbacks));
    FakeFile::content = Bytes(50, 1);
    FakeFile::readLimit = 20;
    FakeFile::closes = 0;
    const STRU_FILE_CALLBACKS fake{FakeFile::Open, FakeFile::Close, FakeFile::Read, nullptr};
    EXPECT_FALSE(PrepareBitmapLoad(load, &fake));
    EXPECT_EQ(FakeFile::closes, 1);

    bitmap_buffer_t huge;
    EXPECT_FALSE(EnsureBufferCapacity(huge, 0x80000001u));
    EXPECT_EQ(huge.capacity, 0u);
    EXPECT_EQ(huge.data, nullptr);
}

TEST(BitmapLoad, SourceNameGivesTypeDdsByteAndDepth) {
    const std::u16string longName(400, u'a');
    const struct {
        std::u16string name;
        D3DFORMAT format;
        DWORD type;
        int dds;
        std::uint32_t bits;
    } cases[] = {
        {u"ui/Button.Hover.PNG", D3DFMT_A4R4G4B4, kRasterTypePng, 0, 16},
        {u"SKY.DDS", D3DFMT_DXT3, 0, 1, 16},  // through the A4R4G4B4 scratch
        {u"photo.jpeg", D3DFMT_X8R8G8B8, kRasterTypeJpg, 0, 32},
        {longName, D3DFMT_UNKNOWN, 0, 0, 0},
    };
    bitmap_load_t load;
    for (const auto& c : cases) {
        SetBitmapSource(load, c.name.c_str(), c.format);
        const std::string what = std::to_string(c.name.size()) + " chars, format " + std::to_string(c.format);
        EXPECT_EQ(load.imageType, c.type) << what;
        EXPECT_EQ(load.dds, c.dds) << what;
        EXPECT_EQ(load.bitsPerPixel, c.bits) << what;
    }
    EXPECT_EQ(std::u16string(load.fileName).size(), 259u) << "the long name is clipped";
}

TEST(BitmapLoad, AnimationKeepsFirst32FramesWithDelaysInMs) {
    const Bytes gif = AnimatedGif(40, 5);
    ASSERT_FALSE(gif.empty());
    bitmap_load_t load;
    SetBitmapSource(load, u"anim.gif", D3DFMT_A8R8G8B8);
    SetBuffer(load, gif);
    ASSERT_TRUE(DecodeBitmapLoad(load));
    EXPECT_EQ(load.width, 3u);
    EXPECT_EQ(load.height, 2u);
    ASSERT_EQ(load.frameCount, 32);
    for (int i = 0; i < 32; ++i) {
        const bitmap_record_t& record = load.frames[i];
        ASSERT_NE(record.pixels, nullptr) << i;
        EXPECT_EQ(record.pitch, 12);
        EXPECT_EQ(record.delayMs, 50) << i;
        const std::uint32_t expected = 0xFF000000u | (i * 3u) << 16 | (i * 2u) << 8 | i;
        EXPECT_EQ(Texel32(record, 2, 1), expected) << "frame " << i;
    }
    EXPECT_EQ(static_cast<int>(load.imageInfo.ImageFileFormat), kImageFileFormatGif);
}

TEST(BitmapLoad, FailedDecodesLeaveAnEmptyImage) {
    bitmap_load_t load;
    SetBitmapSource(load, u"anim.gif", D3DFMT_A8R8G8B8);
    EXPECT_FALSE(DecodeBitmapLoad(load));  // nothing read

    SetBuffer(load, AnimatedGif(2, 1));
    ASSERT_TRUE(DecodeBitmapLoad(load));
    ASSERT_EQ(load.frameCount, 2);

    // Garbage, and a format without a pixel layout, both after a good decode.
    SetBuffer(load, Bytes(64, 0xAB));
    EXPECT_FALSE(DecodeBitmapLoad(load));
    EXPECT_EQ(load.width, 0u);
    EXPECT_EQ(load.frameCount, 0);
    EXPECT_EQ(load.frames[0].pixels, nullptr);

    SetBuffer(load, AnimatedGif(2, 1));
    SetBitmapSource(load, u"anim.gif", D3DFMT_UNKNOWN);
    EXPECT_FALSE(DecodeBitmapLoad(load));
    EXPECT_EQ(load.frameCount, 0);

    // DDS is left to D3DX: bytes are enough.
    SetBitmapSource(load, u"A.DDS", D3DFMT_A8R8G8B8);
    EXPECT_TRUE(DecodeBitmapLoad(load));
    EXPECT_EQ(load.frameCount, 0);
    EXPECT_EQ(load.width, 0u);
}

// A 2 x 2 image converted into each layout; texels are (x, y, value), y from the top.
struct Conversion : ::testing::Test {
    struct Texel {
        int x, y;
        std::uint32_t value;
    };
    bitmap_load_t load;
    bitmap_record_t record;
    ~Conversion() override { std::free(record.pixels); }

    bool Convert(const CRaster& image, D3DFORMAT format) {
        SetBitmapSource(load, u"x.png", format);
        return Image2Bitmap(load, image, record);
    }
    void Expect(const CRaster& image, D3DFORMAT format, std::initializer_list<Texel> texels) {
        ASSERT_TRUE(Convert(image, format)) << format;
        const int bytes = record.bitsPerPixel / 8;
        EXPECT_EQ(record.pitch, 2 * bytes) << format;
        for (const Texel& t : texels) {
            std::uint32_t value = 0;
            std::memcpy(&value, record.pixels + t.y * record.pitch + t.x * bytes, static_cast<std::size_t>(bytes));
            EXPECT_EQ(value, t.value) << "format " << format << " at " << t.x << "," << t.y;
        }
    }
};

TEST_F(Conversion, PaletteImageWithTransparentColour) {
    CRaster image(2, 2, 8, kRasterTypeGif);
    image.SetPaletteColor(0, RGBQUAD{0x10, 0x20, 0x30, 0});
    image.SetPaletteColor(1, RGBQUAD{0xF0, 0x80, 0x4C, 0});
    image.SetBackgroundIndex(0);
    image.SetPixelIndex(0, 1, 0);  // top row: transparent, colour 1
    image.SetPixelIndex(1, 1, 1);
    image.SetPixelIndex(0, 0, 1);  // bottom row: colour 1, transparent
    image.SetPixelIndex(1, 0, 0);

    Expect(image, D3DFMT_A4R4G4B4, {{0, 0, 0x0000}, {1, 0, 0xF48F}, {0, 1, 0xF48F}, {1, 1, 0x0000}});
    Expect(image, D3DFMT_A8R8G8B8, {{0, 0, 0u}, {1, 0, 0xFF4C80F0u}});
    // R5G6B5 cannot hold alpha: a transparent pixel is black.
    Expect(image, D3DFMT_R5G6B5, {{0, 0, 0x0000}, {1, 0, (0x4C >> 3) << 11 | (0x80 >> 2) << 5 | 0xF0 >> 3}});
}

TEST_F(Conversion, TrueColourWithAlphaPlane) {
    CRaster image(2, 2, 24, kRasterTypePng);
    image.CreateAlpha();
    image.SetPixelColor(0, 1, RGBQUAD{0x12, 0x34, 0x56, 0});
    image.SetAlphaAt(0, 1, 0x78);
    image.SetPixelColor(1, 0, RGBQUAD{0xFF, 0xFF, 0xFF, 0});
    image.SetAlphaAt(1, 0, 0x80);

    Expect(image, D3DFMT_A4R4G4B4, {{0, 0, 0x7531}, {1, 1, 0x8FFF}});
    Expect(image, D3DFMT_A8R8G8B8, {{0, 0, 0x78563412u}, {1, 1, 0x80FFFFFFu}});
    // Alpha below half drops the pixel's alpha bit.
    Expect(image, D3DFMT_A1R5G5B5, {{0, 0, (0x56 >> 3) << 10 | (0x34 >> 3) << 5 | 0x12 >> 3}, {1, 1, 0xFFFF}});
}

TEST_F(Conversion, PlainTrueColourIsOpaqueInEveryLayout) {
    CRaster image(2, 2, 24, kRasterTypeBmp);
    image.SetPixelColor(0, 1, RGBQUAD{0x08, 0x80, 0xFF, 0});  // top-left; the rest black

    Expect(image, D3DFMT_R5G6B5, {{0, 0, 0xFC01}, {0, 1, 0x0000}});
    Expect(image, D3DFMT_A4R4G4B4, {{0, 0, 0xFF80}, {1, 1, 0xF000}});
    Expect(image, D3DFMT_X8R8G8B8, {{0, 0, 0xFFFF8008u}, {1, 1, 0xFF000000u}});

    // A 24-bit image with a transparent colour.
    image.SetBackgroundColor(RGBQUAD{0x08, 0x80, 0xFF, 0});
    image.SetBackgroundIndex(0);
    Expect(image, D3DFMT_A8R8G8B8, {{0, 0, 0u}, {1, 0, 0xFF000000u}});

    // No layout at all, and an empty image.
    EXPECT_FALSE(Convert(image, D3DFMT_UNKNOWN));
    EXPECT_EQ(record.pixels, nullptr);
    EXPECT_FALSE(Convert(CRaster(), D3DFMT_A8R8G8B8));
}

// The bitmap as the texture manager drives it through the resource loader.
class BitmapResourceTest : public lumi::test::TextureTest {
protected:
    void SetUp() override {
        TextureTest::SetUp();
        CResourceLoader::GetSingleton().Reset(CResourceLoader::Mode::Manual);
        callbacks_ = DefaultFileCallbacks();
    }
    void TearDown() override {
        CResourceLoader::GetSingleton().Reset();
        TextureTest::TearDown();
    }

    // Starts a background load of `texture`'s file as the texture does.
    std::unique_ptr<CD3DBitmap> Start(CD3DTexture* texture) {
        auto bitmap = std::make_unique<CD3DBitmap>(texture, &callbacks_);
        bitmap->AddListener(&listener_);
        bitmap->SetBackgroundLoaded(true);
        bitmap->SetLoadState(CResource::LOADSTATE_LOADING);
        CResourceLoader::GetSingleton().PrepareResource(bitmap.get());
        return bitmap;
    }

    STRU_FILE_CALLBACKS callbacks_{};
    CBitmapListener listener_;
};

TEST_F(BitmapResourceTest, PrepareThenDecodeThroughTheListener) {
    CRaster image(4, 2, 24, kRasterTypeTga);
    image.SetPixelColor(3, 0, RGBQUAD{0x40, 0x50, 0x60, 0});  // bottom-right
    WriteBytes(folder_.File("tex.tga"), Encode(image, kRasterTypeTga));
    CD3DTexture* texture = Keep(new CD3DTexture(&owner_, u"tex.tga"));
    ASSERT_EQ(texture->GetFormat(), D3DFMT_A8R8G8B8);

    auto bitmap = Start(texture);
    EXPECT_TRUE(bitmap->IsLoading());
    ASSERT_TRUE(CResourceLoader::GetSingleton().Step());  // prepare; the listener asks for the decode
    EXPECT_FALSE(bitmap->IsLoaded());
    EXPECT_EQ(bitmap->GetLoad().buffer.bytesRead, Encode(image, kRasterTypeTga).size());
    EXPECT_EQ(bitmap->GetImageWidth(), 0u);
    ASSERT_TRUE(CResourceLoader::GetSingleton().Step());  // decode
    EXPECT_FALSE(CResourceLoader::GetSingleton().Step());
    ASSERT_TRUE(bitmap->IsLoaded());
    EXPECT_FALSE(bitmap->IsLoading());
    EXPECT_EQ(bitmap->GetImageWidth(), 4u);
    EXPECT_EQ(bitmap->GetImageHeight(), 2u);
    ASSERT_EQ(bitmap->GetLoad().frameCount, 1);
    EXPECT_EQ(Texel32(bitmap->GetLoad().frames[0], 3, 1), 0xFF605040u);
    EXPECT_EQ(bitmap->GetLoad().imageInfo.ImageFileFormat, D3DXIFF_TGA);
}

TEST_F(BitmapResourceTest, FailedStepsEndLoadedWithAnEmptyImage) {
    WriteBytes(folder_.File("broken.png"), Bytes(200, 0x5A));
    CD3DTexture* missing = Keep(new CD3DTexture(&owner_, u"missing.png"));
    CD3DTexture* broken = Keep(new CD3DTexture(&owner_, u"broken.png"));

    auto first = Start(missing);
    auto second = Start(broken);
    CResourceLoader::GetSingleton().RunUntilIdle();
    ASSERT_TRUE(first->IsLoaded());
    ASSERT_TRUE(second->IsLoaded());
    EXPECT_EQ(first->GetImageWidth(), 0u);
    EXPECT_EQ(second->GetImageWidth(), 0u);
    EXPECT_EQ(second->GetLoad().frameCount, 0);

    // Synchronous loading: both steps inside the requests, no listener involved.
    CD3DBitmap bitmap(nullptr, &callbacks_);
    bitmap.SetSource(u"broken.png", D3DFMT_A8R8G8B8);
    bitmap.SetBackgroundLoaded(false);
    bitmap.SetLoadState(CResource::LOADSTATE_LOADING);
    CResourceLoader::GetSingleton().PrepareResource(&bitmap);
    CResourceLoader::GetSingleton().DecodeResource(&bitmap);
    EXPECT_TRUE(bitmap.IsLoaded());
    EXPECT_EQ(bitmap.GetImageWidth(), 0u);
}

}  // namespace
