// Decoded file images taken into textures: one frame, several frames packed as an
// animation, DXT through the scratch texture, DDS files through D3DX, and images refused.
#include <cstdlib>
#include <cstring>

#include "draw/bitmap_load.h"
#include "tests/draw/texture_fixture.h"

namespace lumi::test {
namespace {

using TextureBitmapTest = TextureTest;

// A frame of `width` x `height` 32-bit pixels, each its own (x, y) coded in red and green.
void FillFrame(bitmap_record_t& frame, int width, int height, int bits, std::int32_t delayMs) {
    frame.width = width;
    frame.height = height;
    frame.bitsPerPixel = bits;
    frame.pitch = width * bits / 8;
    frame.delayMs = delayMs;
    frame.pixels = static_cast<BYTE*>(std::calloc(static_cast<std::size_t>(frame.pitch) * height, 1));
    if (bits != 32) return;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t color = 0xFF000000u | static_cast<std::uint32_t>(x) << 16 |
                                        static_cast<std::uint32_t>(y) << 8 | static_cast<std::uint32_t>(delayMs & 0xFF);
            std::memcpy(frame.pixels + y * frame.pitch + x * 4, &color, 4);
        }
    }
}

TEST_F(TextureBitmapTest, OneFrameFillsAPowerOfTwoTexture) {
    bitmap_load_t load;
    load.width = 3;
    load.height = 5;
    load.frameCount = 1;
    load.imageInfo.Width = 3;
    load.imageInfo.Height = 5;
    FillFrame(load.frames[0], 3, 5, 32, 7);
    CD3DTexture* texture = Keep(new CD3DTexture(&owner_, u"a.png"));
    ASSERT_TRUE(texture->CopyFromBitmap(load));
    EXPECT_EQ(texture->GetWidth(), 4);
    EXPECT_EQ(texture->GetHeight(), 8);
    EXPECT_EQ(texture->GetPixel(2, 4), 0xFF020407u);
    EXPECT_EQ(texture->GetPixel(3, 4), 0u) << "outside the image";

    bitmap_load_t empty;  // a failed decode
    CD3DTexture* other = Keep(new CD3DTexture(&owner_, u"b.png"));
    EXPECT_FALSE(other->CopyFromBitmap(empty));
    EXPECT_FALSE(other->IsLoaded());

    bitmap_load_t noPixels;
    noPixels.width = 4;
    noPixels.height = 4;
    noPixels.frameCount = 1;
    const int live = pool_->GetLiveCount();
    EXPECT_FALSE(other->CopyFromBitmap(noPixels)) << "a frame without pixels is refused, not thrown";
    EXPECT_EQ(pool_->GetLiveCount(), live) << "its memory went back";
}

TEST_F(TextureBitmapTest, SeveralFramesBecomeAnAnimation) {
    bitmap_load_t load;
    load.width = 20;
    load.height = 20;
    load.frameCount = 3;
    const std::int32_t delays[3] = {100, 300, 100};
    for (int i = 0; i < 3; ++i) FillFrame(load.frames[i], 20, 20, 32, delays[i]);
    CD3DTexture* texture = Keep(new CD3DTexture(&owner_, u"anim.gif"));
    ASSERT_TRUE(texture->CopyFromBitmap(load));
    EXPECT_EQ(texture->GetWidth(), 64) << "three 20-wide frames need a 64 square";
    ASSERT_EQ(texture->GetFrameCount(), 3);
    const RECT third = texture->GetFrame(2)->rect;
    EXPECT_EQ(third.left, 40);
    EXPECT_EQ(texture->GetPixel(third.left + 5, third.top + 6), 0xFF050664u) << "the third frame's own pixels";

    const std::uint32_t start = g_FrameTimeMs;
    g_FrameTimeMs = start + 50;
    EXPECT_EQ(texture->GetCurrentFrame().rect.left, 0);
    g_FrameTimeMs = start + 350;
    EXPECT_EQ(texture->GetCurrentFrame().rect.left, 20);
}

TEST_F(TextureBitmapTest, DxtTexturesAreConvertedThroughTheScratch) {
    owner_.normalFormat = D3DFMT_R5G6B5;  // a 16-bit normal format: the scratch is A4R4G4B4
    owner_.alphaFormat = D3DFMT_DXT3;
    DestroyAll();
    MakePool();
    bitmap_load_t load;
    load.width = 8;
    load.height = 8;
    load.frameCount = 1;
    FillFrame(load.frames[0], 8, 8, 16, 0);
    const std::uint16_t halfAlphaWhite = 0x8FFF;
    std::memcpy(load.frames[0].pixels + 2 * load.frames[0].pitch + 2 * 3, &halfAlphaWhite, 2);
    CD3DTexture* texture = Keep(new CD3DTexture(&owner_, u"ui.png"));
    ASSERT_EQ(texture->GetFormat(), D3DFMT_DXT3);
    ASSERT_TRUE(texture->CopyFromBitmap(load));
    EXPECT_EQ(texture->GetPixel(3, 2), 0x80000000u);
    EXPECT_EQ(texture->GetPixel(4, 2), 0u);
}

TEST_F(TextureBitmapTest, DdsFilesLoadFromTheBuffer) {
    CD3DTexture* source = MakeTexture(D3DFMT_A8R8G8B8, 8, 4);
    const std::uint32_t color = 0xC0112233;
    ASSERT_TRUE(source->UpdateRect(&color, 1, 1, 4, 32, 6, 3));
    const std::vector<char> bytes = SavedBytes(source, u"tile.dds");
    ASSERT_FALSE(bytes.empty());

    bitmap_load_t load;
    load.dds = 1;
    ASSERT_TRUE(EnsureBufferCapacity(load.buffer, static_cast<std::uint32_t>(bytes.size())));
    std::memcpy(load.buffer.data, bytes.data(), bytes.size());
    load.buffer.bytesRead = static_cast<std::uint32_t>(bytes.size());
    CD3DTexture* texture = Keep(new CD3DTexture(&owner_, u"tile.dds"));
    ASSERT_TRUE(texture->CopyFromBitmap(load));
    EXPECT_EQ(texture->GetWidth(), 8);
    EXPECT_EQ(texture->GetHeight(), 4);
    EXPECT_EQ(texture->GetPixel(6, 3), color);

    load.buffer.bytesRead = 10;  // cut short
    CD3DTexture* broken = Keep(new CD3DTexture(&owner_, u"broken.dds"));
    EXPECT_FALSE(broken->CopyFromBitmap(load));
    EXPECT_FALSE(broken->IsLoaded());
}

}  // namespace
}  // namespace lumi::test
