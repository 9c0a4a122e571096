// Host pixels written through UpdateRect in each source depth and texture format, read back
// by GetPixel and, after the upload, from the video copy the device draws with.
#include <cstring>
#include <vector>

#include "tests/draw/texture_fixture.h"

namespace lumi::test {
namespace {

using TexturePixelsTest = TextureTest;

struct FormatCase {
    const char* what;
    D3DFORMAT format;
    std::int32_t bitsPerPixel;
    std::vector<std::uint8_t> pixel;  // one source pixel (or a byte of bits)
    D3DCOLOR expected;
};

TEST_F(TexturePixelsTest, UpdateRectConvertsEachDepthIntoTheTextureFormat) {
    const FormatCase cases[] = {
        {"32 -> A8R8G8B8", D3DFMT_A8R8G8B8, 32, {0x10, 0x20, 0x30, 0x40}, 0x40302010},
        {"32 -> X8R8G8B8", D3DFMT_X8R8G8B8, 32, {0x10, 0x20, 0x30, 0x40}, 0x40302010},
        {"24 -> A8R8G8B8 opaque", D3DFMT_A8R8G8B8, 24, {0x10, 0x20, 0x30}, 0xFF302010},
        {"24 -> R5G6B5 in its own layout", D3DFMT_R5G6B5, 24, {0x08, 0xFC, 0xF8}, 0xFFF8FC08},
        {"24 -> A4R4G4B4 opaque", D3DFMT_A4R4G4B4, 24, {0xC0, 0xB0, 0xA0}, 0xF0A0B0C0},
        {"16 -> R5G6B5 copied", D3DFMT_R5G6B5, 16, {0x1F, 0x00}, 0xFF0000F8},
        {"8 -> A8 alpha", D3DFMT_A8, 8, {0x7F}, 0x7F000000},
        {"8 -> A4R4G4B4 alpha nibble", D3DFMT_A4R4G4B4, 8, {0x9A}, 0x90000000},
        {"8 -> A8R8G8B8 alpha byte", D3DFMT_A8R8G8B8, 8, {0x55}, 0x55000000},
        {"1 -> A8 set bit", D3DFMT_A8, 1, {0x80}, 0xFF000000},
        {"12 bits: only cleared", D3DFMT_A8R8G8B8, 12, {0xFF, 0xFF}, 0},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.what);
        CD3DTexture* texture = MakeTexture(c.format, 8, 8, true);
        ASSERT_EQ(texture->GetFormat(), c.format);
        ASSERT_TRUE(texture->UpdateRect(c.pixel.data(), 1, 1, 4, c.bitsPerPixel, 3, 2));
        EXPECT_EQ(texture->GetPixel(3, 2), c.expected);
        texture->UploadDirtyRect();
        const std::uint32_t drawn = ReadTexel(texture->GetD3DTexture(), 3, 2);
        // The device's read-back widens every format to 8 bits a channel; compare the bits
        // the format keeps (X8 reads back opaque).
        if (c.format == D3DFMT_A8R8G8B8 || c.format == D3DFMT_A4R4G4B4 || c.format == D3DFMT_R5G6B5) {
            EXPECT_EQ(drawn & 0xF0F0F0F0u, c.expected & 0xF0F0F0F0u) << std::hex << drawn;
        }
    }
}

TEST_F(TexturePixelsTest, OneBitRowsStartAtEachSourceRow) {
    CD3DTexture* texture = MakeTexture(D3DFMT_A8, 16, 4);
    const std::uint8_t bits[2][2] = {{0xA0, 0x01}, {0x00, 0x80}};  // pitch 2 bytes
    ASSERT_TRUE(texture->UpdateRect(bits, 16, 2, 2, 1, 0, 0));
    EXPECT_EQ(texture->GetPixel(0, 0), 0xFF000000u);
    EXPECT_EQ(texture->GetPixel(1, 0), 0u);
    EXPECT_EQ(texture->GetPixel(15, 0), 0xFF000000u);
    EXPECT_EQ(texture->GetPixel(8, 1), 0xFF000000u) << "the second row starts at its own pitch";
}

TEST_F(TexturePixelsTest, RectanglesAreClippedAndBadPositionsRefused) {
    CD3DTexture* texture = MakeTexture(D3DFMT_A8R8G8B8, 4, 4);
    std::vector<std::uint32_t> white(9, 0xFFFFFFFF);
    ASSERT_TRUE(texture->UpdateRect(white.data(), 3, 3, 12, 32, 2, 2));
    EXPECT_EQ(texture->GetPixel(3, 3), 0xFFFFFFFFu);
    EXPECT_EQ(texture->GetPixel(1, 1), 0u);

    EXPECT_TRUE(texture->UpdateRect(white.data(), 0, 3, 12, 32, 0, 0)) << "nothing to write";
    EXPECT_FALSE(texture->UpdateRect(white.data(), 1, 1, 4, 32, 4, 0));
    EXPECT_TRUE(LogHas(u"CD3DTexture::UpdateRect() -- Invalid param"));
    EXPECT_FALSE(texture->UpdateRect(white.data(), 2, 2, 8, 32, -1, 0)) << "negative x";
    EXPECT_FALSE(texture->UpdateRect(white.data(), 2, 2, 8, 32, 0, -5)) << "negative y";
    EXPECT_EQ(texture->GetPixel(0, 0), 0u) << "refused writes change nothing";
    EXPECT_EQ(texture->GetPixel(-1, 0), 0u) << "outside the texture";
}

TEST_F(TexturePixelsTest, FailedLocksAreLoggedAndReportFailure) {
    CD3DTexture* texture = MakeTexture(D3DFMT_A8R8G8B8, 4, 4);
    const std::uint32_t red = 0xFFFF0000;
    ASSERT_TRUE(texture->UpdateRect(&red, 1, 1, 4, 32, 0, 0));
    d3d9ctl::FailCall("LockRect", 1, D3DERR_INVALIDCALL);
    EXPECT_FALSE(texture->UpdateRect(&red, 1, 1, 4, 32, 1, 0));
    EXPECT_TRUE(LogHas(u"CD3DTexture::UpdateRect() -- LockRect failed ["));
    d3d9ctl::FailCall("LockRect", 1, D3DERR_INVALIDCALL);
    EXPECT_EQ(texture->GetPixel(0, 0), 0u);
    EXPECT_TRUE(LogHas(u"LockRect error: "));
    owner_.lost = true;
    EXPECT_EQ(texture->GetPixel(0, 0), 0u) << "no reads while the device is lost";
}

TEST_F(TexturePixelsTest, Dxt3PixelsReadTheirExplicitAlphaFromTheirBlock) {
    CD3DTexture* texture = MakeTexture(D3DFMT_DXT3, 8, 8);
    IDirect3DTexture9* system = texture->GetSystemTexture();
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(system->LockRect(0, &locked, nullptr, 0), D3D_OK);
    auto* blocks = static_cast<std::uint8_t*>(locked.pBits);
    // Second block of the second block row, pixel (1, 2) of the block: row 2, nibble 1.
    std::uint8_t* block = blocks + locked.Pitch + 16;
    block[4] = 0xB0;
    system->UnlockRect(0);
    EXPECT_EQ(texture->GetPixel(5, 6), 0xB0000000u);
    EXPECT_EQ(texture->GetPixel(4, 6), 0u);
    const std::uint8_t alpha = 0xFF;
    EXPECT_FALSE(texture->UpdateRect(&alpha, 1, 1, 1, 8, 0, 0)) << "block texels take no host pixels";
}

TEST_F(TexturePixelsTest, DirtyRectanglesMergeAndUploadOnlyTheirArea) {
    CD3DTexture* texture = MakeTexture(D3DFMT_A8R8G8B8, 16, 16, true);
    texture->UploadDirtyRect();  // the whole texture, once

    const std::uint32_t green = 0xFF00FF00;
    ASSERT_TRUE(texture->UpdateRect(&green, 1, 1, 4, 32, 1, 1));
    ASSERT_TRUE(texture->UpdateRect(&green, 1, 1, 4, 32, 6, 9));
    const RECT dirty = texture->GetDirtyRect();
    EXPECT_EQ(dirty.left, 1);
    EXPECT_EQ(dirty.top, 1);
    EXPECT_EQ(dirty.right, 7);
    EXPECT_EQ(dirty.bottom, 10);

    // A texel outside the dirty area changes behind the texture's back: it must not travel.
    IDirect3DTexture9* system = texture->GetSystemTexture();
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(system->LockRect(0, &locked, nullptr, 0), D3D_OK);
    reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) + 12 * locked.Pitch)[12] = green;
    system->UnlockRect(0);

    const int before = d3d9ctl::CallCount("UpdateSurface");
    texture->UploadDirtyRect();
    texture->UploadDirtyRect();
    EXPECT_EQ(d3d9ctl::CallCount("UpdateSurface") - before, 1) << "one upload for both rectangles";
    EXPECT_EQ(ReadTexel(texture->GetD3DTexture(), 1, 1), green);
    EXPECT_EQ(ReadTexel(texture->GetD3DTexture(), 6, 9), green);
    EXPECT_EQ(ReadTexel(texture->GetD3DTexture(), 12, 12), 0u);

    texture->MarkWhollyDirty();
    texture->UploadDirtyRect();
    EXPECT_EQ(ReadTexel(texture->GetD3DTexture(), 12, 12), green);
}

TEST_F(TexturePixelsTest, UpdateRectBindsMemoryAndStopsManagement) {
    CD3DTexture* texture = Keep(new CD3DTexture(&owner_, D3DFMT_A8R8G8B8, 8, 8, 0, false));
    texture->SetManaged(true);
    EXPECT_FALSE(texture->IsLoaded());
    const std::uint32_t blue = 0xFF0000FF;
    ASSERT_TRUE(texture->UpdateRect(&blue, 1, 1, 4, 32, 0, 0));
    EXPECT_FALSE(texture->IsManaged()) << "host pixels cannot be reloaded from a file";
    EXPECT_FALSE(texture->IsPixelTransparent(0, 0));
    EXPECT_TRUE(texture->IsPixelTransparent(1, 0));
}

}  // namespace
}  // namespace lumi::test
