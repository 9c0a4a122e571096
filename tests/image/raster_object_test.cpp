// CRaster creation, settings, pixels and palettes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image/raster.h"

namespace {

bool SameColor(RGBQUAD a, RGBQUAD b) { return std::memcmp(&a, &b, sizeof(a)) == 0; }

TEST(RasterCreate, RoundsDepthAndLaysOutTheBlock) {
    CRaster image;
    ASSERT_NE(image.Create(1, 1, 3, 7), nullptr);
    EXPECT_EQ(image.GetBpp(), 4);
    EXPECT_EQ(image.GetColorsUsed(), 16u);
    EXPECT_EQ(image.GetRowStride(), 4u);
    EXPECT_EQ(image.GetSize(), 40u + 16 * 4 + 4);
    EXPECT_EQ(image.GetType(), 7u);

    const struct { DWORD bpp, width; WORD bits; DWORD stride; } cases[] = {
        {0, 33, 1, 8}, {1, 32, 1, 4}, {8, 5, 8, 8}, {9, 3, 24, 12}, {32, 5, 24, 16}};
    for (const auto& c : cases) {
        ASSERT_NE(image.Create(c.width, 2, c.bpp, 0), nullptr) << c.bpp;
        EXPECT_EQ(image.GetBpp(), c.bits) << c.bpp;
        EXPECT_EQ(image.GetRowStride(), c.stride) << c.bpp;
        const BYTE* block = image.GetDIB();  // palette and pixels start zeroed
        for (DWORD i = 40; i < image.GetSize(); ++i) ASSERT_EQ(block[i], 0) << c.bpp << " bits, byte " << i;
    }
}

TEST(RasterCreate, RejectsEmptyAndOversizedImages) {
    CRaster image;
    EXPECT_EQ(image.Create(5, 0, 8, 0), nullptr);
    EXPECT_STREQ(image.GetLastError(), "CRaster::Create : width and height must be greater than zero");
    EXPECT_EQ(image.Create(0, 5, 8, 0), nullptr);

    // 32-bit products wrap to 0 here; the check must not.
    EXPECT_EQ(image.Create(65536, 65536, 24, 0), nullptr);
    EXPECT_STREQ(image.GetLastError(), "RASTER_MAX_MEMORY exceeded");
    // Narrow 1-bit rows pad to 4 bytes: the padded size is what counts.
    EXPECT_EQ(image.Create(1, (1u << 26) + 1, 1, 0), nullptr);
    EXPECT_EQ(image.Create(0x80000000u, 1, 1, 0), nullptr);
    EXPECT_FALSE(image.IsValid());

    // Exactly 256 MB of pixels is still allowed; one more row is not.
    EXPECT_NE(image.Create(16384, 16384, 8, 0), nullptr);
    EXPECT_EQ(image.Create(16384, 16385, 8, 0), nullptr);
}

TEST(RasterSettings, DpiQualityAndFlagsSaturate) {
    CRaster image(2, 2, 24, 0);
    const auto* h = reinterpret_cast<const BITMAPINFOHEADER*>(image.GetDIB());
    EXPECT_EQ(h->biXPelsPerMeter, 3780);
    image.SetDpiX(300);
    EXPECT_EQ(h->biXPelsPerMeter, 11811);
    image.SetDpiX(INT32_MAX);
    EXPECT_EQ(h->biXPelsPerMeter, INT32_MAX) << "a huge resolution saturates the header field";
    EXPECT_EQ(image.SetDpiY(0), 96);

    image.SetQuality(300.0f);
    EXPECT_EQ(image.GetRoundedQuality(), 255);  // saturates instead of wrapping
    image.SetQuality(-3.0f);
    EXPECT_EQ(image.GetQuality(), 0.0f);
    image.SetFlags(0x12345678, true);
    EXPECT_EQ(image.GetFlags(), 0x5678u);
}

TEST(RasterSettings, CodecOptionSlotsFollowTheType) {
    CRaster image(kRasterTypePng);
    image.SetCodecOption(1);
    EXPECT_EQ(image.GetCodecOption(kRasterTypePng), 1u);
    EXPECT_EQ(image.GetCodecOption(0), 1u);
    EXPECT_EQ(image.GetCodecOption(99), 1u);
    EXPECT_EQ(image.GetCodecOption(kRasterTypeGif), 0u);
    EXPECT_EQ(CRaster::SlotOfTypeId(kRasterTypeJna), 6);
    EXPECT_EQ(CRaster::TypeIdOfSlot(5), kRasterTypeTga);
    EXPECT_EQ(CRaster::TypeIdOfSlot(7), 0u);
}

// Every pixel of a 9 x 3 image set to a distinct index, then read back; neighbours in the
// same byte must survive each write.
TEST(RasterPixels, IndexRoundTripAtEveryPaletteDepth) {
    for (DWORD bits : {1u, 4u, 8u}) {
        CRaster image(9, 3, bits, 0);
        ASSERT_TRUE(image.IsValid());
        const int colors = 1 << bits;
        for (LONG y = 0; y < 3; ++y)
            for (LONG x = 0; x < 9; ++x) image.SetPixelIndex(x, y, static_cast<BYTE>((x * 3 + y) % colors));
        for (LONG y = 0; y < 3; ++y)
            for (LONG x = 0; x < 9; ++x)
                ASSERT_EQ(image.GetPixelIndex(x, y), (x * 3 + y) % colors) << bits << " bits at " << x << "," << y;
        // Writes are cut to the depth instead of spilling into the neighbour.
        image.SetPixelIndex(0, 0, 0xFF);
        EXPECT_EQ(image.GetPixelIndex(1, 0), (3 % colors)) << bits;
        // Row padding stays untouched.
        if (bits < 8) {
            EXPECT_EQ(image.GetBits(0)[image.GetRowStride() - 1], 0) << bits;
        }
    }
    CRaster bits1(9, 1, 1, 0);
    bits1.SetPixelIndex(0, 0, 1);
    EXPECT_EQ(bits1.GetBits(0)[0], 0x80);  // leftmost pixel in the high bit
    CRaster bits4(2, 1, 4, 0);
    bits4.SetPixelIndex(0, 0, 0xA);
    bits4.SetPixelIndex(1, 0, 0x5);
    EXPECT_EQ(bits4.GetBits(0)[0], 0xA5);
}

TEST(RasterPixels, ColorsAt24And32Bits) {
    CRaster image(3, 2, 24, 0);
    const RGBQUAD red{0, 0, 255, 0};
    image.SetPixelColor(2, 1, red);
    EXPECT_TRUE(SameColor(image.GetPixelColor(2, 1), red));
    image.SetPixelColor(0, 0, COLORREF{0x00112233});  // 0x00BBGGRR
    const RGBQUAD c = image.GetPixelColor(0, 0);
    EXPECT_EQ(c.rgbRed, 0x33);
    EXPECT_EQ(c.rgbGreen, 0x22);
    EXPECT_EQ(c.rgbBlue, 0x11);
    EXPECT_EQ(image.GetPixelGray(2, 1), (255 * 306) >> 10);

    // 32-bit rows of blue, green, red, alpha become pixels plus the alpha plane; flip
    // reverses the row order.
    const BYTE rows[2][8] = {{1, 2, 3, 40, 5, 6, 7, 80}, {9, 10, 11, 120, 13, 14, 15, 160}};
    CRaster rgba;
    ASSERT_TRUE(rgba.CreateFromBuffer(&rows[0][0], 2, 2, 32, 8, true));
    EXPECT_EQ(rgba.GetBpp(), 24);
    ASSERT_TRUE(rgba.HasAlpha());
    EXPECT_TRUE(SameColor(rgba.GetPixelColor(1, 0, true), RGBQUAD{13, 14, 15, 160}));
    EXPECT_TRUE(SameColor(rgba.GetPixelColor(0, 1, true), RGBQUAD{1, 2, 3, 40}));

    CRaster gray;
    const BYTE grayRows[4] = {0, 7, 200, 255};
    ASSERT_TRUE(gray.CreateFromBuffer(grayRows, 2, 2, 8, 2, false));
    EXPECT_TRUE(gray.IsGrayScale());
    EXPECT_EQ(gray.GetPixelColor(0, 1).rgbGreen, 200);
    EXPECT_FALSE(gray.CreateFromBuffer(grayRows, 2, 2, 16, 2, false));
    EXPECT_FALSE(gray.CreateFromBuffer(nullptr, 2, 2, 8, 2, false));
}

TEST(RasterPixels, OutsideTheImageAndEmptyImages) {
    CRaster image(4, 4, 8, 0);
    image.SetPaletteColor(3, 10, 20, 30);
    image.SetPaletteColor(5, 1, 2, 3);
    image.SetPixelIndex(0, 0, 5);
    EXPECT_TRUE(SameColor(image.GetPixelColor(-1, 0), image.GetPaletteColor(5)));  // pixel (0, 0)
    image.SetBackgroundIndex(3);
    EXPECT_TRUE(SameColor(image.GetPixelColor(4, 0), RGBQUAD{30, 20, 10, 0}));
    EXPECT_EQ(image.GetPixelIndex(9, 9), 3);
    image.SetBackgroundIndex(999);
    EXPECT_EQ(image.GetBackgroundIndex(), 0);

    CRaster empty;
    EXPECT_EQ(empty.GetPixelIndex(0, 0), 0);
    EXPECT_EQ(empty.GetBits(0), nullptr);
    empty.SetPixelColor(0, 0, RGBQUAD{1, 2, 3, 4});
    empty.Clear(3);
    EXPECT_FALSE(empty.IsTransparent(0, 0));
    EXPECT_EQ(image.GetBits(4), nullptr);
}

TEST(RasterPixels, TransparencyRules) {
    CRaster rgb(2, 2, 24, 0);
    for (LONG y = -1; y < 3; ++y)
        for (LONG x = -1; x < 3; ++x) EXPECT_FALSE(rgb.IsTransparent(x, y));
    ASSERT_TRUE(rgb.CreateAlpha());
    rgb.SetAlphaAt(1, 1, 0);
    EXPECT_TRUE(rgb.IsTransparent(1, 1));
    EXPECT_FALSE(rgb.IsTransparent(0, 1));
    EXPECT_TRUE(rgb.IsTransparent(5, 5));  // alpha reads 0 outside

    CRaster keyed(2, 1, 24, 0);
    keyed.SetPixelColor(0, 0, RGBQUAD{1, 2, 3, 0});
    keyed.SetBackgroundColor(RGBQUAD{1, 2, 3, 99});
    keyed.SetBackgroundIndex(0);
    EXPECT_TRUE(keyed.IsTransparent(0, 0));
    EXPECT_FALSE(keyed.IsTransparent(1, 0));

    CRaster indexed(2, 1, 4, 0);
    indexed.SetPixelIndex(1, 0, 6);
    indexed.SetBackgroundIndex(6);
    EXPECT_TRUE(indexed.IsTransparent(1, 0));
    EXPECT_FALSE(indexed.IsTransparent(0, 0));
}

TEST(RasterPixels, ClearDrawLineAndBlend) {
    CRaster nibbles(3, 1, 4, 0);
    nibbles.Clear(0x1C);
    EXPECT_EQ(nibbles.GetBits(0)[0], 0xCC);
    CRaster mono(3, 1, 1, 0);
    mono.Clear(2);
    EXPECT_EQ(mono.GetBits(0)[0], 0xFF);

    CRaster canvas(5, 5, 24, 0);
    const RGBQUAD white{255, 255, 255, 0};
    canvas.DrawLine(0, 4, 0, 4, white);  // x1, x2, y1, y2
    for (LONG i = 0; i < 5; ++i) EXPECT_TRUE(SameColor(canvas.GetPixelColor(i, i), white)) << i;
    EXPECT_FALSE(SameColor(canvas.GetPixelColor(1, 0), white));
    canvas.DrawLine(-1000000, 1000000, 2, 2, white);  // clipped, both ends far outside
    EXPECT_TRUE(SameColor(canvas.GetPixelColor(0, 2), white));

    canvas.BlendPixel(1, 0, RGBQUAD{200, 100, 0, 0}, 0.5f);
    EXPECT_EQ(canvas.GetPixelColor(1, 0).rgbBlue, 100);
    EXPECT_EQ(canvas.GetPixelColor(1, 0).rgbGreen, 50);
}

TEST(RasterPixels, ExpandBitfieldsInPlaceAndWithOddMasks) {
    CRaster image(3, 2, 24, 0);
    // 16-bit source rows are ((3 + 1) / 2) x 4 = 8 bytes; widened inside the pixel area.
    const WORD rows[2][4] = {{0xF800, 0x07E0, 0x001F, 0}, {0xFFFF, 0x0000, 0x8410, 0}};
    std::memcpy(image.GetBits(0), rows, sizeof(rows));
    image.ExpandBitfields(16, image.GetBits(0), 0xF800, 0x07E0, 0x001F);
    EXPECT_TRUE(SameColor(image.GetPixelColor(0, 0), RGBQUAD{0, 0, 0xF8, 0}));
    EXPECT_TRUE(SameColor(image.GetPixelColor(1, 0), RGBQUAD{0, 0xFC, 0, 0}));
    EXPECT_TRUE(SameColor(image.GetPixelColor(2, 0), RGBQUAD{0xF8, 0, 0, 0}));
    EXPECT_TRUE(SameColor(image.GetPixelColor(0, 1), RGBQUAD{0xF8, 0xFC, 0xF8, 0}));
    EXPECT_TRUE(SameColor(image.GetPixelColor(2, 1), RGBQUAD{0x80, 0x80, 0x80, 0}));

    // Zero, wide and scattered masks must not shift out of range (UBSan guards this).
    const DWORD pixel32[6] = {0xFFFFFFFF, 0x12345678, 0, 0, 0, 0};
    image.ExpandBitfields(32, reinterpret_cast<const BYTE*>(pixel32), 0, 0xFFFFFFFF, 0x80000001);
    EXPECT_EQ(image.GetPixelColor(0, 0).rgbRed, 0);
    EXPECT_EQ(image.GetPixelColor(0, 0).rgbGreen, 0xFF);
    image.ExpandBitfields(32, reinterpret_cast<const BYTE*>(pixel32), 0x00FF0000, 0x0000FF00, 0x000000FF);
    EXPECT_TRUE(SameColor(image.GetPixelColor(1, 0), RGBQUAD{0x78, 0x56, 0x34, 0}));
}

TEST(RasterPalette, EntriesGrayAndNearestCache) {
    CRaster image(4, 1, 8, 0);
    image.SetGrayPalette();
    EXPECT_TRUE(image.IsGrayScale());
    EXPECT_EQ(image.GetPaletteSize(), 1024u);
    CRaster mono(4, 1, 1, 0);
    mono.SetGrayPalette();
    EXPECT_EQ(mono.GetPaletteColor(1).rgbRed, 255);
    EXPECT_FALSE(mono.IsGrayScale());  // an identity test, not "is grey"
    EXPECT_TRUE(SameColor(mono.GetPaletteColor(2), RGBQUAD{0, 0, 0, 0}));
    mono.SetPaletteColor(5, 1, 2, 3);  // ignored, out of range

    EXPECT_EQ(image.FindNearestPaletteIndex(RGBQUAD{100, 100, 100, 0}), 100);
    EXPECT_EQ(image.FindNearestPaletteIndex(RGBQUAD{100, 101, 100, 0}), 100);
    // A palette write must drop the cached answer.
    image.SetPaletteColor(7, 100, 100, 100);
    EXPECT_EQ(image.FindNearestPaletteIndex(RGBQUAD{100, 100, 100, 0}), 7);

    // Ties go to the first entry.
    CRaster tie(1, 1, 1, 0);
    tie.SetPaletteColor(0, 10, 10, 10);
    tie.SetPaletteColor(1, 10, 10, 10);
    EXPECT_EQ(tie.FindNearestPaletteIndex(RGBQUAD{0, 0, 0, 0}), 0);

    // Palette images store the nearest entry for a colour.
    image.SetPixelColor(3, 0, RGBQUAD{100, 100, 100, 0});
    EXPECT_EQ(image.GetPixelIndex(3, 0), 7);
    image.SwapPaletteIndexes(7, 9);
    EXPECT_EQ(image.GetPixelIndex(3, 0), 9);
    EXPECT_EQ(image.GetPaletteColor(9).rgbRed, 100);

    image.SetImportantColors(1000);
    EXPECT_EQ(image.GetImportantColors(), 0u);
    mono.SetImportantColors(100);
    EXPECT_EQ(mono.GetImportantColors(), 2u);
}

TEST(RasterPalette, DefaultTablesAndTint) {
    CRaster image(1, 1, 8, 0);
    image.SetDefaultPalette();
    EXPECT_TRUE(SameColor(image.GetPaletteColor(1), RGBQUAD{0, 0, 0x80, 0}));    // dark red
    EXPECT_TRUE(SameColor(image.GetPaletteColor(255), RGBQUAD{255, 255, 255, 0}));
    EXPECT_TRUE(SameColor(image.GetPaletteColor(246), RGBQUAD{0xF0, 0xFB, 0xFF, 0}));
    EXPECT_EQ(image.GetPaletteColor(226).rgbRed, 0xF2);
    EXPECT_EQ(image.GetPaletteColor(227).rgbRed, 0xE6);
    CRaster vga(1, 1, 4, 0);
    vga.SetDefaultPalette();
    EXPECT_TRUE(SameColor(vga.GetPaletteColor(7), RGBQUAD{0xC0, 0xC0, 0xC0, 0}));
    vga.TintPalette(RGBQUAD{0, 0, 200, 0}, 250);  // capped at 100 percent
    EXPECT_EQ(vga.GetPaletteColor(0).rgbRed, 200);
    vga.SwapRedBlue();
    EXPECT_EQ(vga.GetPaletteColor(0).rgbBlue, 200);
}

}  // namespace
