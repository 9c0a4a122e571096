// Depth changes, grey, negative and dithering against hand-computed pixels.
#include <gtest/gtest.h>

#include <vector>

#include "image/raster.h"

namespace {

CRaster Gray24(DWORD w, DWORD h, BYTE level) {
    CRaster image(w, h, 24, 0);
    for (LONG y = 0; y < static_cast<LONG>(h); ++y)
        for (LONG x = 0; x < static_cast<LONG>(w); ++x) image.SetPixelColor(x, y, RGBQUAD{level, level, level, 0});
    return image;
}

std::vector<int> Indexes(const CRaster& image, LONG y) {
    std::vector<int> out;
    for (LONG x = 0; x < static_cast<LONG>(image.GetWidth()); ++x) out.push_back(image.GetPixelIndex(x, y));
    return out;
}

TEST(TransformQuantize, DecreaseBppNearestAndDiffused) {
    // Grey 100 to black and white: nearest is black everywhere.
    CRaster image = Gray24(4, 1, 100);
    ASSERT_TRUE(image.DecreaseBpp(1, false));
    EXPECT_EQ(image.GetBpp(), 1);
    EXPECT_EQ(Indexes(image, 0), (std::vector<int>{0, 0, 0, 0}));
    // With diffusion, 7/16 of each error goes right (truncating toward zero):
    // 100 -> black (e 100) -> 143 white (e -112) -> 51 black (e 51) -> 122 black.
    image = Gray24(4, 1, 100);
    ASSERT_TRUE(image.DecreaseBpp(1, true));
    EXPECT_EQ(Indexes(image, 0), (std::vector<int>{0, 1, 0, 0}));
    // Up a row: 4/16 straight up, 2/16 up-left, 1/16 up-right.
    // Row 0: 100 black (e 100; up +25, up-right +6), 143 white (e -112; up-left -14, up -28).
    // Row 1: 100 + 25 - 14 = 111 black (e 111 -> right +48), 100 + 6 - 28 + 48 = 126 black.
    image = Gray24(2, 2, 100);
    ASSERT_TRUE(image.DecreaseBpp(1, true));
    EXPECT_EQ(Indexes(image, 0), (std::vector<int>{0, 1}));
    EXPECT_EQ(Indexes(image, 1), (std::vector<int>{0, 0}));

    // A caller's palette limited to its important colours; selection and alpha carried.
    image = Gray24(3, 1, 0);
    image.SetPixelColor(1, 0, RGBQUAD{0, 0, 250, 0});
    image.SetPixelColor(2, 0, RGBQUAD{0, 240, 0, 0});
    ASSERT_TRUE(image.CreateAlpha());
    image.SetAlphaAt(2, 0, 5);
    const RGBQUAD palette[3] = {{0, 0, 0, 0}, {0, 0, 255, 0}, {0, 255, 0, 0}};
    ASSERT_TRUE(image.DecreaseBpp(8, false, palette, 2));
    EXPECT_EQ(image.GetBpp(), 8);
    EXPECT_EQ(image.GetImportantColors(), 2u);
    EXPECT_EQ(Indexes(image, 0), (std::vector<int>{0, 1, 0})) << "green is not among the two important entries";
    EXPECT_EQ(image.GetAlphaAt(2, 0), 5);
    // Without a palette: the standard one (4 bits: pure red is entry 9).
    image = Gray24(1, 1, 0);
    image.SetPixelColor(0, 0, RGBQUAD{0, 0, 255, 0});
    ASSERT_TRUE(image.DecreaseBpp(4, false));
    EXPECT_EQ(image.GetPixelIndex(0, 0), 9);
}

TEST(TransformQuantize, DecreaseBppRefusalsAndNoOps) {
    CRaster image(2, 2, 4, 0);
    image.SetDefaultPalette();
    image.SetPixelIndex(1, 1, 7);
    const BYTE* bits = image.GetBits();
    EXPECT_FALSE(image.DecreaseBpp(8, false));
    EXPECT_STREQ(image.GetLastError(), "DecreaseBpp: target BPP greater than source BPP");
    EXPECT_TRUE(image.DecreaseBpp(4, true));
    EXPECT_EQ(image.GetBits(), bits) << "the same depth without important colours changes nothing";
    image.SetImportantColors(4);
    EXPECT_TRUE(image.DecreaseBpp(3, false, nullptr, 9));
    EXPECT_EQ(image.GetBits(), bits) << "the image already keeps to fewer colours";
    ASSERT_TRUE(image.DecreaseBpp(4, false, nullptr, 2));
    EXPECT_EQ(image.GetImportantColors(), 2u);
    // Light grey against the first two entries only: dark red (64^2 + 2 x 192^2) beats
    // black (3 x 192^2).
    EXPECT_EQ(image.GetPixelIndex(1, 1), 1);
    CRaster empty;
    EXPECT_FALSE(empty.DecreaseBpp(1, false));
    // Cancelled: the blank new picture is handed over and the call succeeds.
    CRaster cancelled = Gray24(4, 4, 255);
    cancelled.SetEscape(1);
    ASSERT_TRUE(cancelled.DecreaseBpp(1, true));
    EXPECT_EQ(cancelled.GetBpp(), 1);
    EXPECT_EQ(Indexes(cancelled, 3), (std::vector<int>{0, 0, 0, 0}));
}

TEST(TransformQuantize, RaiseBppKeepsEveryColour) {
    CRaster image(5, 2, 1, 0);
    image.SetPaletteColor(0, BYTE{10}, BYTE{20}, BYTE{30});
    image.SetPaletteColor(1, RGBQUAD{200, 100, 50, 128});  // blue, green, red, alpha
    image.SetPixelIndex(3, 1, 1);
    image.SetBackgroundIndex(0);
    ASSERT_TRUE(image.RaiseBpp(4));
    ASSERT_TRUE(image.RaiseBpp(8));
    EXPECT_EQ(image.GetPixelIndex(3, 1), 1);
    EXPECT_EQ(image.GetPaletteColor(1).rgbBlue, 200);
    ASSERT_TRUE(image.RaiseBpp(24));
    EXPECT_EQ(image.GetBpp(), 24);
    EXPECT_EQ(image.GetPixelColor(3, 1, false).rgbRed, 50);
    EXPECT_EQ(image.GetPixelColor(0, 0, false).rgbRed, 10);
    ASSERT_TRUE(image.HasAlpha()) << "palette alpha becomes an alpha plane";
    EXPECT_EQ(image.GetAlphaAt(3, 1), 128);
    EXPECT_EQ(image.GetBackgroundColor().rgbRed, 10) << "the background index's colour";
    EXPECT_TRUE(image.RaiseBpp(24));
    EXPECT_FALSE(image.RaiseBpp(8));
    EXPECT_FALSE(image.RaiseBpp(16));
}

TEST(TransformQuantize, ConvertToGrayAndInvert) {
    CRaster image = Gray24(2, 1, 0);
    image.SetPixelColor(0, 0, RGBQUAD{50, 100, 200, 0});  // (306 x 200 + 601 x 100 + 117 x 50) >> 10
    ASSERT_TRUE(image.CreateAlpha());
    image.SetAlphaAt(1, 0, 3);
    ASSERT_TRUE(image.ConvertToGray());
    EXPECT_EQ(image.GetBpp(), 8);
    EXPECT_TRUE(image.IsGrayScale());
    EXPECT_EQ(image.GetPixelIndex(0, 0), 124);
    EXPECT_EQ(image.GetAlphaAt(1, 0), 3);

    // 8-bit in place: indexes become grey values, the background index too.
    CRaster indexed(2, 1, 8, 0);
    indexed.SetPaletteColor(5, BYTE{200}, BYTE{100}, BYTE{50});
    indexed.SetPixelIndex(0, 0, 5);
    indexed.SetBackgroundIndex(5);
    ASSERT_TRUE(indexed.ConvertToGray());
    EXPECT_EQ(indexed.GetPixelIndex(0, 0), 124);
    EXPECT_EQ(indexed.GetBackgroundIndex(), 124);
    // 4 bits become a new 8-bit grey image.
    CRaster nibble(3, 1, 4, 0);
    nibble.SetDefaultPalette();
    nibble.SetPixelIndex(2, 0, 15);
    ASSERT_TRUE(nibble.ConvertToGray());
    EXPECT_EQ(nibble.GetBpp(), 8);
    EXPECT_EQ(nibble.GetPixelIndex(2, 0), 255);

    // Negative: 24 bits byte-wise (only the selection when there is one).
    CRaster colour = Gray24(2, 1, 10);
    ASSERT_TRUE(colour.Invert());
    EXPECT_EQ(colour.GetPixelColor(1, 0).rgbGreen, 245);
    ASSERT_TRUE(colour.AddPixelToSelection(0, 0));
    ASSERT_TRUE(colour.Invert());
    EXPECT_EQ(colour.GetPixelColor(0, 0).rgbGreen, 10);
    EXPECT_EQ(colour.GetPixelColor(1, 0).rgbGreen, 245);
    // A grey ramp complements the indexes; any other palette its entries.
    ASSERT_TRUE(image.Invert());
    EXPECT_EQ(image.GetPixelIndex(0, 0), 255 - 124);
    CRaster mono(1, 1, 1, 0);
    mono.SetDefaultPalette();
    ASSERT_TRUE(mono.Invert());
    EXPECT_EQ(mono.GetPaletteColor(0).rgbRed, 255);
    EXPECT_EQ(mono.GetPixelIndex(0, 0), 0);
}

TEST(TransformQuantize, DitherToMono) {
    // Floyd-Steinberg on grey 100: 100 black (e 100, +43) -> 143 white (e -112, -49) ->
    // 51 black (+22) -> 122 black.
    CRaster image = Gray24(4, 1, 100);
    ASSERT_TRUE(image.DitherToMono(0));
    EXPECT_EQ(image.GetBpp(), 1);
    EXPECT_EQ(image.GetPaletteColor(1).rgbGreen, 255);
    EXPECT_EQ(Indexes(image, 0), (std::vector<int>{0, 1, 0, 0}));
    // The threshold: 128 is still black.
    image = Gray24(1, 1, 128);
    ASSERT_TRUE(image.DitherToMono(0));
    EXPECT_EQ(image.GetPixelIndex(0, 0), 0);
    // Ordered 4x4 at grey 100: white where the matrix value x 16 + 8 is below 100,
    // i.e. entries 0 to 5: row 0 of the matrix is 0 8 2 10.
    image = Gray24(4, 2, 100);
    ASSERT_TRUE(image.DitherToMono(1));
    EXPECT_EQ(Indexes(image, 0), (std::vector<int>{1, 0, 1, 0}));
    EXPECT_EQ(Indexes(image, 1), (std::vector<int>{0, 1, 0, 0}));  // 12 4 14 6

    // Every method gives about half white on mid grey and all black or white at the ends.
    for (int method = 0; method <= 8; ++method) {
        for (BYTE level : {BYTE{0}, BYTE{128}, BYTE{255}}) {
            CRaster flat = Gray24(32, 32, level);
            ASSERT_TRUE(flat.DitherToMono(method));
            int white = 0;
            for (LONG y = 0; y < 32; ++y)
                for (LONG x = 0; x < 32; ++x) white += flat.GetPixelIndex(x, y);
            const int expected = level == 0 ? 0 : level == 255 ? 1024 : 512;
            EXPECT_NEAR(white, expected, level == 128 ? 40 : 0) << "method " << method << " level " << int{level};
        }
    }
}

}  // namespace
