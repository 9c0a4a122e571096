// Alpha and selection planes, alpha merging, and Flip/Mirror.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "image/raster.h"
#include "tests/image/raster_test_util.h"

namespace {

using lumi::test::Box;

TEST(RasterAlpha, PlaneLifecycleAndBounds) {
    CRaster image(3, 2, 24, 0);
    EXPECT_EQ(image.GetAlphaAt(0, 0), 0);
    image.SetAlphaAt(0, 0, 5);  // ignored without a plane
    ASSERT_TRUE(image.CreateAlpha());
    EXPECT_EQ(image.GetColorType(), 4);
    EXPECT_EQ(image.GetAlphaAt(2, 1), 255);
    image.SetAlphaAt(2, 1, 7);
    image.SetAlphaAt(3, 1, 9);   // outside: ignored
    image.SetAlphaAt(-1, 0, 9);
    EXPECT_EQ(*image.GetAlphaPointer(2, 1), 7);
    EXPECT_EQ(image.GetAlphaPointer(3, 0), nullptr);
    image.InvertAlpha();
    EXPECT_EQ(image.GetAlphaAt(2, 1), 248);
    EXPECT_EQ(image.GetAlphaAt(0, 0), 0);

    CRaster gray;
    const BYTE levels[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(gray.CreateFromBuffer(levels, 3, 2, 8, 3, false));
    ASSERT_TRUE(image.SetAlphaFromGray(gray));
    EXPECT_EQ(image.GetAlphaAt(1, 1), 5);
    CRaster alphaImage;
    ASSERT_TRUE(image.MakeAlphaImage(alphaImage));
    EXPECT_EQ(alphaImage.GetPixelIndex(2, 0), 3);
    CRaster other(3, 2, 8, 0);
    ASSERT_TRUE(other.CopyAlphaFrom(image));
    EXPECT_EQ(other.GetAlphaAt(0, 1), 4);
    CRaster wrongSize(2, 2, 8, 0);
    EXPECT_FALSE(wrongSize.CopyAlphaFrom(image));
    EXPECT_FALSE(wrongSize.SetAlphaFromGray(gray));
}

TEST(RasterAlpha, TransparencyToAlphaAndMerging) {
    CRaster indexed(2, 1, 8, 0);
    indexed.SetPaletteColor(1, 200, 100, 0);
    indexed.SetPixelIndex(1, 0, 1);
    indexed.SetBackgroundIndex(0);
    ASSERT_TRUE(indexed.ConvertTransparencyToAlpha());
    EXPECT_EQ(indexed.GetAlphaAt(0, 0), 0);
    EXPECT_EQ(indexed.GetAlphaAt(1, 0), 255);

    // Merging a palette image rebuilds it as 24 bits against the background colour.
    indexed.SetBackgroundColor(RGBQUAD{0, 0, 255, 0});
    indexed.SetBackgroundIndex(-1);
    indexed.MergeAlpha();
    ASSERT_EQ(indexed.GetBpp(), 24);
    EXPECT_FALSE(indexed.HasAlpha());
    const RGBQUAD merged0 = indexed.GetPixelColor(0, 0);
    EXPECT_EQ(merged0.rgbRed, 255);  // a = 0: all background
    const RGBQUAD merged1 = indexed.GetPixelColor(1, 0);
    EXPECT_EQ(merged1.rgbRed, (255 * 200 + 255 * 1) >> 8);
    EXPECT_EQ(merged1.rgbGreen, (255 * 100) >> 8);

    CRaster rgb(1, 1, 24, 0);
    rgb.SetPixelColor(0, 0, RGBQUAD{100, 100, 100, 0});
    ASSERT_TRUE(rgb.CreateAlpha());
    rgb.SetAlphaAt(0, 0, 128);
    rgb.SetAlphaMax(255);
    rgb.MergeAlpha();
    EXPECT_FALSE(rgb.HasAlpha());
    EXPECT_EQ(rgb.GetPixelColor(0, 0).rgbBlue, (128 * 100) >> 8);

    CRaster palette(1, 1, 8, 0);
    palette.SetPaletteColor(0, RGBQUAD{1, 2, 3, 4});
    EXPECT_TRUE(palette.HasPaletteAlpha());
    palette.StripPaletteAlpha();
    EXPECT_FALSE(palette.HasPaletteAlpha());
}

TEST(RasterSelection, BoxGrowsAndShapesMarkPixels) {
    CRaster image(10, 8, 24, 0);
    EXPECT_TRUE(image.IsSelected(3, 3));  // no plane: everything
    ASSERT_TRUE(image.CreateSelection());
    EXPECT_EQ(Box(image), (std::array<LONG, 4>{10, 0, 0, 8}));
    EXPECT_FALSE(image.IsSelected(3, 3));

    ASSERT_TRUE(image.AddRectToSelection(RECT{2, 5, 4, 1}));  // x 2..3, y 1..4
    EXPECT_EQ(Box(image), (std::array<LONG, 4>{2, 5, 4, 1}));
    EXPECT_TRUE(image.IsSelected(3, 4));
    EXPECT_FALSE(image.IsSelected(4, 4));
    ASSERT_TRUE(image.AddRectToSelection(RECT{-50, 100, 50, -100}));  // clamped
    EXPECT_TRUE(image.IsSelected(9, 7));
    image.ClearSelection();
    EXPECT_FALSE(image.HasSelection());

    EXPECT_FALSE(image.AddEllipseToSelection(RECT{2, 2, 2, 6}));  // zero half axis
    ASSERT_TRUE(image.AddEllipseToSelection(RECT{0, 8, 10, 0}));
    EXPECT_TRUE(image.IsSelected(5, 4));
    EXPECT_FALSE(image.IsSelected(0, 0));

    // Triangle (0,0) (8,0) (0,6): inside exactly where 6x + 8y <= 48.
    CRaster tri(10, 8, 8, 0);
    const POINT corners[3] = {{0, 0}, {8, 0}, {0, 6}};
    EXPECT_FALSE(tri.AddPolygonToSelection(corners, 2));
    ASSERT_TRUE(tri.AddPolygonToSelection(corners, 3));
    for (LONG y = 0; y < 8; ++y)
        for (LONG x = 0; x < 10; ++x) {
            const bool inside = 6 * x + 8 * y <= 48;
            if (inside == tri.IsSelected(x, y)) continue;
            // Pixels next to the slanted edge may go either way with the outline's rounding.
            EXPECT_LE(std::abs(6 * x + 8 * y - 48), 10) << x << "," << y;
        }
    EXPECT_TRUE(tri.IsSelected(1, 1));
    EXPECT_FALSE(tri.IsSelected(7, 5));

    // A polygon larger than the image selects all of it.
    CRaster big(4, 4, 8, 0);
    const POINT around[4] = {{-10, -10}, {20, -10}, {20, 20}, {-10, 20}};
    ASSERT_TRUE(big.AddPolygonToSelection(around, 4));
    for (LONG y = 0; y < 4; ++y)
        for (LONG x = 0; x < 4; ++x) EXPECT_TRUE(big.IsSelected(x, y)) << x << "," << y;
}

TEST(RasterSelection, GrayImagesRegionsAndInversion) {
    CRaster image(3, 2, 24, 0);
    CRaster notGray(3, 2, 24, 0);
    EXPECT_FALSE(image.SelectionSet(notGray));
    EXPECT_STREQ(image.GetLastError(), "CRaster::SelectionSet: wrong width or height, or image is not gray scale");
    CRaster gray;
    const BYTE levels[6] = {0, 9, 9, 0, 0, 9};
    ASSERT_TRUE(gray.CreateFromBuffer(levels, 3, 2, 8, 3, false));
    ASSERT_TRUE(image.SelectionSet(gray));
    EXPECT_EQ(Box(image), (std::array<LONG, 4>{1, 2, 3, 0}));

    std::vector<RECT> runs;
    ASSERT_TRUE(image.BuildSelectionRegion(runs));
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].left, 1);
    EXPECT_EQ(runs[0].right, 3);
    EXPECT_EQ(runs[1].left, 2);

    ASSERT_TRUE(image.InvertSelection());
    EXPECT_EQ(image.GetSelectionAt(0, 0), 255);
    EXPECT_EQ(image.GetSelectionAt(1, 0), 246);
    ASSERT_TRUE(image.FillSelection(0));
    EXPECT_EQ(image.GetSelectionBox().right, 0);
    CRaster selectionImage;
    ASSERT_TRUE(image.MakeSelectionImage(selectionImage));
    EXPECT_EQ(selectionImage.GetPixelIndex(2, 1), 0);
}

TEST(RasterOrientation, FlipSwapsStoredRowsWithAlpha) {
    CRaster image(2, 3, 8, 0);
    for (LONG y = 0; y < 3; ++y) image.SetPixelIndex(0, y, static_cast<BYTE>(y + 1));
    ASSERT_TRUE(image.CreateAlpha());
    image.SetAlphaAt(1, 0, 11);
    image.AddPixelToSelection(0, 0);
    ASSERT_TRUE(image.Flip());
    for (LONG y = 0; y < 3; ++y) EXPECT_EQ(image.GetPixelIndex(0, y), 3 - y) << "row " << y;
    EXPECT_EQ(image.GetAlphaAt(1, 2), 11);
    EXPECT_EQ(image.GetSelectionAt(0, 0), 255);  // the selection stays

    CRaster one(3, 1, 24, 0);
    one.SetPixelColor(1, 0, RGBQUAD{1, 2, 3, 0});
    ASSERT_TRUE(one.Flip());
    EXPECT_EQ(one.GetPixelColor(1, 0).rgbRed, 3);
    CRaster empty;
    EXPECT_FALSE(empty.Flip());
    EXPECT_FALSE(empty.Mirror());
}

TEST(RasterOrientation, MirrorEveryDepthWithoutReadingPadding) {
    CRaster mono(9, 2, 1, 0);
    mono.SetPixelIndex(0, 0, 1);
    mono.GetBits(0)[3] = 0xFF;  // padding bytes of row 0 must never show up as pixels
    mono.GetBits(0)[2] = 0xFF;
    mono.GetBits(0)[1] &= 0x7F;  // leaves pixel 8 clear
    ASSERT_TRUE(mono.Mirror());
    EXPECT_EQ(mono.GetPixelIndex(8, 0), 1);
    for (LONG x = 0; x < 8; ++x) EXPECT_EQ(mono.GetPixelIndex(x, 0), 0) << x;

    CRaster nibbles(3, 1, 4, 0);
    nibbles.SetPixelIndex(0, 0, 0xA);
    nibbles.SetPixelIndex(2, 0, 0x3);
    ASSERT_TRUE(nibbles.Mirror());
    EXPECT_EQ(nibbles.GetPixelIndex(0, 0), 0x3);
    EXPECT_EQ(nibbles.GetPixelIndex(2, 0), 0xA);

    CRaster rgb(3, 1, 24, 0);
    rgb.SetPixelColor(0, 0, RGBQUAD{1, 2, 3, 0});
    ASSERT_TRUE(rgb.CreateAlpha());
    rgb.SetAlphaAt(0, 0, 4);
    rgb.AddPixelToSelection(0, 0);
    ASSERT_TRUE(rgb.AddLayer());
    ASSERT_TRUE(rgb.Mirror());
    EXPECT_EQ(rgb.GetPixelColor(2, 0).rgbRed, 3);
    EXPECT_EQ(rgb.GetAlphaAt(2, 0), 4);
    EXPECT_EQ(rgb.GetSelectionAt(0, 0), 255);  // unmirrored
    EXPECT_EQ(rgb.GetLayerCount(), 1);
    EXPECT_EQ(rgb.GetLayer(0)->GetParent(), &rgb);

    CRaster bytes(4, 1, 8, 0);
    bytes.SetPixelIndex(0, 0, 9);
    ASSERT_TRUE(bytes.Mirror());
    EXPECT_EQ(bytes.GetPixelIndex(3, 0), 9);
}

}  // namespace
