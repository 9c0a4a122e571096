// Crops, borders, padding, thumbnails and the in-place distortions.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "image/raster.h"
#include "tests/image/raster_test_util.h"

namespace {

using lumi::test::Box;

// A w x h 24-bit image whose pixel (x, y) has blue x + 10 y.
CRaster Numbered(DWORD w, DWORD h) {
    CRaster image(w, h, 24, 0);
    for (LONG y = 0; y < static_cast<LONG>(h); ++y)
        for (LONG x = 0; x < static_cast<LONG>(w); ++x) image.SetPixelColor(x, y, RGBQUAD{BYTE(x + 10 * y), 0, 0, 0});
    return image;
}

int Blue(const CRaster& image, LONG x, LONG y) { return image.GetPixelColor(x, y, false).rgbBlue; }

TEST(TransformCanvas, CropToRectClampsSwapsAndRefusesEmpty) {
    CRaster image = Numbered(4, 4);
    ASSERT_TRUE(image.CreateAlpha());
    image.SetAlphaAt(2, 3, 7);
    ASSERT_TRUE(image.AddRectToSelection(RECT{0, 4, 4, 0}));
    CRaster out;
    // Top-down rows 0..1 are stored rows 3 and 2.
    ASSERT_TRUE(image.CropToRect(1, 0, 3, 2, &out));
    ASSERT_EQ(out.GetWidth(), 2u);
    ASSERT_EQ(out.GetHeight(), 2u);
    EXPECT_EQ(Blue(out, 0, 0), 21);
    EXPECT_EQ(Blue(out, 1, 1), 32);
    EXPECT_EQ(out.GetAlphaAt(1, 1), 7);
    EXPECT_FALSE(out.HasSelection());
    ASSERT_TRUE(image.CropToRect(RECT{3, 2, 1, 0}, &out));  // reversed pairs
    EXPECT_EQ(Blue(out, 0, 0), 21);
    ASSERT_TRUE(image.CropToRect(-5, -5, 2, 100, &out));  // clamped to the image
    EXPECT_EQ(out.GetWidth(), 2u);
    EXPECT_EQ(out.GetHeight(), 4u);
    EXPECT_FALSE(image.CropToRect(2, 0, 2, 4));
    EXPECT_FALSE(image.CropToRect(0, 5, 4, 9)) << "entirely below: empty after clamping";
    EXPECT_EQ(image.GetWidth(), 4u);

    // Sub-byte pixels from an odd column.
    CRaster mono(13, 2, 1, 0);
    for (LONG x = 0; x < 13; x += 3) mono.SetPixelIndex(x, 1, 1);
    ASSERT_TRUE(mono.CropToRect(3, 0, 10, 1, &out));
    ASSERT_EQ(out.GetWidth(), 7u);
    for (LONG x = 0; x < 7; ++x) EXPECT_EQ(out.GetPixelIndex(x, 0), x % 3 == 0 ? 1 : 0) << x;
}

TEST(TransformCanvas, CropAtAngle) {
    CRaster image = Numbered(4, 4);
    CRaster upright, expected;
    ASSERT_TRUE(image.CropAtAngle(1, 0, 2, 2, 0.0001f, &upright));
    ASSERT_TRUE(image.CropToRect(1, 0, 3, 2, &expected));
    EXPECT_EQ(std::memcmp(upright.GetBits(), expected.GetBits(), expected.GetRowStride() * 2), 0);
    // A quarter turn: the rectangle from (1, 3) runs up the picture; set upright it is the
    // block's clockwise turn.
    ASSERT_TRUE(image.CropAtAngle(1, 3, 2, 2, 1.5707964f, &upright));
    ASSERT_TRUE(image.CropToRect(1, 1, 3, 3, &expected));
    ASSERT_TRUE(expected.TurnRight());
    ASSERT_EQ(upright.GetWidth(), 2u);
    ASSERT_EQ(upright.GetHeight(), 2u);
    for (LONG y = 0; y < 2; ++y)
        for (LONG x = 0; x < 2; ++x) EXPECT_EQ(Blue(upright, x, y), Blue(expected, x, y)) << x << "," << y;
    EXPECT_FALSE(image.CropAtAngle(1, 3, 9, 2, 0.5f)) << "the opposite corner lies outside";
    EXPECT_FALSE(image.CropAtAngle(1, 3, 2, 2, NAN));
}

TEST(TransformCanvas, BordersPaddingAndThumbnails) {
    CRaster image = Numbered(2, 1);
    ASSERT_TRUE(image.CreateAlpha());
    ASSERT_TRUE(image.AddPixelToSelection(1, 0));
    const RGBQUAD canvas{5, 6, 7, 77};
    ASSERT_TRUE(image.AddBorders(1, 2, 0, 1, canvas));
    ASSERT_EQ(image.GetWidth(), 3u);
    ASSERT_EQ(image.GetHeight(), 4u);
    // The bottom border is stored row 0; the picture sits in row 1 from column 1.
    EXPECT_EQ(Blue(image, 1, 1), 0);
    EXPECT_EQ(Blue(image, 2, 1), 1);
    EXPECT_EQ(image.GetPixelColor(0, 1).rgbRed, 7);
    EXPECT_EQ(image.GetPixelColor(2, 0).rgbGreen, 6);
    EXPECT_EQ(image.GetPixelColor(1, 3).rgbBlue, 5);
    EXPECT_EQ(image.GetAlphaAt(0, 0), 77);
    EXPECT_EQ(image.GetAlphaAt(1, 1), 255);
    EXPECT_EQ(image.GetSelectionAt(2, 1), 255);
    EXPECT_EQ(image.GetSelectionAt(1, 1), 0);
    EXPECT_EQ(Box(image), (std::array<LONG, 4>{2, 2, 3, 1}));
    EXPECT_FALSE(image.AddBorders(-1, 0, 0, 0, canvas));
    EXPECT_FALSE(image.AddBorders(0x7FFFFFFF, 0, 0x7FFFFFFF, 0, canvas));
    EXPECT_STREQ(image.GetLastError(), "RASTER_MAX_MEMORY exceeded");

    // Palette images fill with the nearest entry, nibble by nibble at 4 bits.
    CRaster indexed(3, 1, 4, 0);
    indexed.SetDefaultPalette();
    indexed.Clear(2);
    ASSERT_TRUE(indexed.AddBorders(1, 0, 2, 0, RGBQUAD{250, 0, 0, 0}));  // blue: entry 12
    ASSERT_EQ(indexed.GetWidth(), 6u);
    EXPECT_EQ(indexed.GetPixelIndex(0, 0), 12);
    EXPECT_EQ(indexed.GetPixelIndex(1, 0), 2);
    EXPECT_EQ(indexed.GetPixelIndex(3, 0), 2);
    EXPECT_EQ(indexed.GetPixelIndex(5, 0), 12);

    // Padding splits the difference: 3 more columns are 1 left, 2 right.
    CRaster padded = Numbered(3, 3);
    ASSERT_TRUE(padded.PadToSize(6, 5, canvas));
    EXPECT_EQ(Blue(padded, 1, 1), 0);
    EXPECT_EQ(Blue(padded, 0, 1), 5);
    EXPECT_EQ(Blue(padded, 3, 3), 22);
    EXPECT_EQ(Blue(padded, 4, 3), 5);
    EXPECT_FALSE(padded.PadToSize(5, 9, canvas));

    // A thumbnail is exactly the box, the picture scaled to fit and centred.
    CRaster wide = Numbered(8, 4), thumb;
    ASSERT_TRUE(wide.MakeThumbnail(4, 4, canvas, &thumb));
    EXPECT_EQ(wide.GetWidth(), 8u) << "the source stays when a destination is given";
    ASSERT_EQ(thumb.GetWidth(), 4u);
    ASSERT_EQ(thumb.GetHeight(), 4u);
    EXPECT_EQ(thumb.GetPixelColor(0, 0).rgbRed, 7);
    EXPECT_EQ(thumb.GetPixelColor(3, 3).rgbRed, 7);
    EXPECT_EQ(thumb.GetPixelColor(1, 1).rgbRed, 0);
    CRaster tall = Numbered(3, 9);
    ASSERT_TRUE(tall.MakeThumbnail(5, 4, canvas));
    EXPECT_EQ(tall.GetWidth(), 5u);
    EXPECT_EQ(tall.GetHeight(), 4u);
    EXPECT_FALSE(tall.MakeThumbnail(0, 4, canvas));
}

TEST(TransformCanvas, ShearHandComputed) {
    CRaster image = Numbered(4, 3);
    image.SetBackgroundColor(RGBQUAD{99, 0, 0, 0});
    image.SetBackgroundIndex(0);
    // x gain 1 about row 0: row y takes the pixels y columns to its right.
    ASSERT_TRUE(image.Shear(1.0f, 0.0f, 0, 0, false));
    EXPECT_EQ(Blue(image, 0, 0), 0);
    EXPECT_EQ(Blue(image, 1, 1), 12);
    EXPECT_EQ(Blue(image, 1, 2), 23);
    EXPECT_EQ(Blue(image, 2, 2), 99) << "beyond the right edge: the background";

    // Half a pixel, bilinear: row 1 blends each pair of neighbours.
    image = Numbered(4, 3);
    image.SetBackgroundColor(RGBQUAD{99, 0, 0, 0});
    image.SetBackgroundIndex(0);
    ASSERT_TRUE(image.Shear(0.5f, 0.0f, 0, 0, true));
    EXPECT_EQ(Blue(image, 0, 1), (10 + 11) / 2);
    EXPECT_EQ(Blue(image, 3, 1), (13 + 99) / 2);
    EXPECT_EQ(Blue(image, 2, 0), 2);

    // Only the selection moves.
    image = Numbered(4, 3);
    ASSERT_TRUE(image.AddPixelToSelection(0, 2));
    ASSERT_TRUE(image.Shear(1.0f, 0.0f, 0, 0, false));
    EXPECT_EQ(Blue(image, 0, 2), 22);
    EXPECT_EQ(Blue(image, 1, 2), 21);
}

TEST(TransformCanvas, RadialTransformHandComputed) {
    // 8 x 8, centre (4, 4), automatic radius sqrt(32). Pixel (6, 4) lies 2 to the right.
    for (int kind : {0, 1}) {
        CRaster image = Numbered(8, 8);
        ASSERT_TRUE(image.RadialTransform(kind, 0, 0.0f));
        // kind 0: 2 x 2 / 5.657 = 0.71 -> column 4; kind 1: sqrt(2 x 5.657) = 3.36 -> column 7.
        EXPECT_EQ(Blue(image, 6, 4), kind == 0 ? 44 : 47) << "kind " << kind;
        EXPECT_EQ(Blue(image, 4, 4), 44) << "the centre stays";
    }
    // Outside a radius of 1 everything takes the source (-1, -1): the background here.
    CRaster image = Numbered(8, 8);
    image.SetBackgroundColor(RGBQUAD{99, 0, 0, 0});
    image.SetBackgroundIndex(0);
    ASSERT_TRUE(image.RadialTransform(2, 1, 0.0f));
    EXPECT_EQ(Blue(image, 4, 4), 44);
    EXPECT_EQ(Blue(image, 6, 4), 99);
    // Polar unrolling: the centre (angle 0, distance 0) reads pixel (0, 0).
    image = Numbered(8, 8);
    ASSERT_TRUE(image.RadialTransform(3, 0, 1.0f));
    EXPECT_EQ(Blue(image, 4, 4), 0);
    // The ripple moves x by (x mod 32) - 16 and keeps y.
    CRaster wide = Numbered(40, 2);
    ASSERT_TRUE(wide.RadialTransform(9, 0, 1.0f));
    EXPECT_EQ(Blue(wide, 20, 1), 10 + 24);
    EXPECT_EQ(Blue(wide, 10, 0), 4);
    CRaster empty;
    EXPECT_FALSE(empty.RadialTransform(0, 0, 1.0f));
    EXPECT_FALSE(empty.Shear(1.0f, 1.0f, 0, 0, true));
}

}  // namespace
