// Resizing: Resample, ResampleInterpolated and QIShrink against hand-computed pixels.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "image/raster.h"
#include "tests/image/raster_test_util.h"

namespace {

using lumi::test::GrayImage;

std::vector<int> Row(const CRaster& image, LONG y) {
    std::vector<int> out;
    for (LONG x = 0; x < static_cast<LONG>(image.GetWidth()); ++x) out.push_back(image.GetPixelColor(x, y).rgbGreen);
    return out;
}

TEST(TransformResize, ResampleInterpolatedHandComputed) {
    // Enlarging 2 -> 4: positions -0.25, 0.25, 0.75, 1.25 between 0 and 200 (repeat at the edges).
    CRaster image = GrayImage(2, 1, {0, 200});
    CRaster out;
    ASSERT_TRUE(image.ResampleInterpolated(4, 1, kInterpolateBilinear, kOverflowRepeat, &out));
    EXPECT_EQ(Row(out, 0), (std::vector<int>{0, 50, 150, 200}));
    // Shrinking 4 -> 2 averages the two pixels each output pixel covers...
    image = GrayImage(4, 2, {0, 100, 50, 250,  //
                             20, 40, 60, 80});
    ASSERT_TRUE(image.ResampleInterpolated(2, 1, kInterpolateCubic, kOverflowColor, &out));
    EXPECT_EQ(Row(out, 0), (std::vector<int>{40, 110}));
    // ...unless averaging is off: then the sampler alone, at (0.5, 0.5) and (2.5, 0.5).
    ASSERT_TRUE(image.ResampleInterpolated(2, 1, kInterpolateBilinear, kOverflowRepeat, &out, true));
    EXPECT_EQ(Row(out, 0), (std::vector<int>{40, 110}));
    ASSERT_TRUE(image.ResampleInterpolated(2, 1, kInterpolateNearest, kOverflowRepeat, &out, true));
    EXPECT_EQ(Row(out, 0), (std::vector<int>{40, 80}));
    // A palette image stores the nearest entry of each sampled colour; alpha is sampled too.
    CRaster indexed(4, 1, 8, 0);
    indexed.SetGrayPalette();
    for (LONG x = 0; x < 4; ++x) indexed.SetPixelIndex(x, 0, static_cast<BYTE>(x * 60));
    ASSERT_TRUE(indexed.CreateAlpha());
    indexed.SetAlphaAt(0, 0, 0);
    ASSERT_TRUE(indexed.ResampleInterpolated(2, 1, kInterpolateBilinear, kOverflowColor));
    EXPECT_EQ(indexed.GetPixelIndex(0, 0), 30);
    EXPECT_EQ(indexed.GetPixelIndex(1, 0), 150);
    EXPECT_EQ(indexed.GetAlphaAt(0, 0), 128) << "(0 + 255) / 2, rounded";
    EXPECT_EQ(indexed.GetAlphaAt(1, 0), 255);
}

TEST(TransformResize, FlatPictureStaysFlatUnderEveryMethodAndSize) {
    const RGBQUAD flat{37, 200, 123, 77};
    CRaster colour(13, 11, 24, 0);
    ASSERT_TRUE(colour.CreateAlpha());
    CRaster indexed(13, 11, 8, 0);
    indexed.SetGrayPalette();
    indexed.SetPaletteColor(5, RGBQUAD{37, 200, 123, 0});
    for (LONG y = 0; y < 11; ++y)
        for (LONG x = 0; x < 13; ++x) {
            colour.SetPixelColor(x, y, flat, true);
            indexed.SetPixelIndex(x, y, 5);
        }
    const std::pair<LONG, LONG> sizes[] = {{1, 1}, {4, 3}, {13, 4}, {30, 9}, {9, 30}, {41, 37}};
    auto expectFlat = [&](const CRaster& out, bool withAlpha) {
        int differ = 0;
        for (LONG y = 0; y < static_cast<LONG>(out.GetHeight()); ++y)
            for (LONG x = 0; x < static_cast<LONG>(out.GetWidth()); ++x) {
                RGBQUAD c = out.GetPixelColor(x, y, true);
                if (!withAlpha) c.rgbReserved = flat.rgbReserved;
                differ += std::memcmp(&c, &flat, 4) != 0;
            }
        return differ;
    };
    for (int method = 0; method <= kInterpolatePower + 1; ++method)
        for (int overflow : {kOverflowRepeat, kOverflowMirror, kOverflowWrap})
            for (auto [width, height] : sizes)
                for (bool averaging : {true, false}) {
                    SCOPED_TRACE(testing::Message() << "method " << method << ", overflow " << overflow << ", "
                                                    << width << " x " << height << (averaging ? "" : ", no averaging"));
                    CRaster out;
                    ASSERT_TRUE(colour.ResampleInterpolated(width, height, method, overflow, &out, !averaging));
                    EXPECT_EQ(expectFlat(out, true), 0);
                    ASSERT_TRUE(indexed.ResampleInterpolated(width, height, method, overflow, &out, !averaging));
                    EXPECT_EQ(expectFlat(out, false), 0);
                }
    for (auto [width, height] : sizes) {
        CRaster fast(colour);
        ASSERT_TRUE(fast.Resample(width, height));
        EXPECT_EQ(expectFlat(fast, true), 0) << width << " x " << height;
    }
}

TEST(TransformResize, PrecomputedPathsMatchTheSampler) {
    // The resizer computes kernel weights and area extents once per column and row; each
    // output pixel must still be exactly what the sampler gives at its position.
    CRaster image(23, 17, 24, 0);
    ASSERT_TRUE(image.CreateAlpha());
    unsigned seed = 12345;
    for (LONG y = 0; y < 17; ++y)
        for (LONG x = 0; x < 23; ++x) {
            seed = seed * 1103515245u + 12345u;
            image.SetPixelColor(x, y, RGBQUAD{BYTE(seed >> 8), BYTE(seed >> 16), BYTE(seed >> 24), BYTE(seed >> 4)}, true);
        }
    for (int method : {+kInterpolateBilinear, +kInterpolateCubic, +kInterpolateLanczos, +kInterpolateBessel}) {
        for (auto [width, height] : {std::pair<LONG, LONG>{9, 7}, {41, 30}, {30, 9}}) {
            CRaster out;
            ASSERT_TRUE(image.ResampleInterpolated(width, height, method, kOverflowMirror, &out));
            const float sx = 23.0f / static_cast<float>(width), sy = 17.0f / static_cast<float>(height);
            int differ = 0;
            for (LONG j = 0; j < height; ++j)
                for (LONG i = 0; i < width; ++i) {
                    const float xs = sx * (i + 0.5f) - 0.5f, ys = sy * (j + 0.5f) - 0.5f;
                    const RGBQUAD want = sx <= 1.0f && sy <= 1.0f
                                             ? image.SampleInterpolated(xs, ys, method, kOverflowMirror)
                                             : image.SampleArea(xs, ys, sx, sy, method, kOverflowMirror);
                    const RGBQUAD got = out.GetPixelColor(i, j, true);
                    differ += std::memcmp(&want, &got, 4) != 0;
                }
            EXPECT_EQ(differ, 0) << "method " << method << ", " << width << " x " << height;
        }
    }
}

TEST(TransformResize, SizesAndFailures) {
    CRaster image = GrayImage(3, 2, {1, 2, 3, 4, 5, 6});
    const BYTE* bits = image.GetBits();
    EXPECT_TRUE(image.ResampleInterpolated(3, 2, kInterpolateCubic, kOverflowColor));
    EXPECT_EQ(image.GetBits(), bits) << "the same size leaves the pixels alone";
    CRaster copy;
    EXPECT_TRUE(image.ResampleInterpolated(3, 2, kInterpolateCubic, kOverflowColor, &copy));
    EXPECT_EQ(copy.GetPixelColor(2, 1).rgbRed, 6);
    EXPECT_FALSE(image.ResampleInterpolated(0, 2, kInterpolateCubic, kOverflowColor));
    EXPECT_FALSE(image.ResampleInterpolated(3, -1, kInterpolateCubic, kOverflowColor));
    EXPECT_FALSE(image.ResampleInterpolated(70000, 70000, kInterpolateCubic, kOverflowColor));
    EXPECT_STREQ(image.GetLastError(), "RASTER_MAX_MEMORY exceeded");
    EXPECT_EQ(image.GetWidth(), 3u);
    EXPECT_FALSE(image.Resample(0, 5));
    EXPECT_TRUE(image.Resample(3, 2));
    EXPECT_EQ(image.GetBits(), bits);
    CRaster empty;
    EXPECT_FALSE(empty.Resample(2, 2));
    EXPECT_FALSE(empty.QIShrink(1, 1));
}

TEST(TransformResize, ResampleAreaAverageAndLinear) {
    // Shrinking a 24-bit image both ways averages the covered area (rounded).
    CRaster image = GrayImage(4, 4, {10, 20, 30, 40,  //
                                     50, 60, 70, 80,  //
                                     0, 0, 255, 255,  //
                                     0, 1, 255, 254});
    ASSERT_TRUE(image.Resample(2, 2));
    EXPECT_EQ(Row(image, 0), (std::vector<int>{35, 55}));
    EXPECT_EQ(Row(image, 1), (std::vector<int>{0, 255}));  // 0.25 and 254.75 rounded
    // 3 -> 2 covers one and a half pixels per output pixel: (30 + 60 x 0.5) / 1.5 = 40.
    image = GrayImage(3, 3, {30, 60, 90, 30, 60, 90, 30, 60, 90});
    ASSERT_TRUE(image.Resample(2, 2));
    EXPECT_EQ(Row(image, 0), (std::vector<int>{40, 80}));

    // Enlarging: position x x old/new, no half-pixel offset, the next pixel clamped.
    image = GrayImage(2, 2, {0, 100, 200, 40});
    ASSERT_TRUE(image.CreateAlpha());
    image.SetAlphaAt(1, 0, 9);
    ASSERT_TRUE(image.Resample(4, 4));
    EXPECT_EQ(Row(image, 0), (std::vector<int>{0, 50, 100, 100}));
    EXPECT_EQ(Row(image, 1), (std::vector<int>{100, 85, 70, 70}));
    EXPECT_EQ(Row(image, 2), (std::vector<int>{200, 120, 40, 40}));
    EXPECT_EQ(image.GetAlphaAt(3, 0), 9) << "alpha from the pixel at the truncated position";
    EXPECT_EQ(image.GetAlphaAt(1, 0), 255);
}

TEST(TransformResize, QIShrinkBoxes) {
    CRaster image = GrayImage(4, 4, {10, 20, 30, 40,  //
                                     50, 60, 70, 81,  //
                                     0, 0, 255, 255,  //
                                     0, 3, 255, 254});
    CRaster out;
    ASSERT_TRUE(image.QIShrink(2, 2, &out));
    EXPECT_EQ(Row(out, 0), (std::vector<int>{35, 55}));  // 55.25 truncated
    EXPECT_EQ(Row(out, 1), (std::vector<int>{0, 254}));  // 0.75 and 254.75 truncated
    // 5 -> 2: columns {0, 1} and {2, 3, 4}; rows {0, 1, 2} and {3, 4}.
    image = GrayImage(5, 5, std::vector<BYTE>{0, 0, 30, 30, 30, 0, 0, 30, 30, 30, 0, 0, 30, 30, 30,  //
                                              90, 90, 60, 60, 60, 90, 90, 60, 60, 60});
    ASSERT_TRUE(image.QIShrink(2, 2, &out));
    EXPECT_EQ(Row(out, 0), (std::vector<int>{0, 30}));
    EXPECT_EQ(Row(out, 1), (std::vector<int>{90, 60}));
    // Palette sources: palette colours averaged, stored as the nearest entry or 24 bits.
    CRaster indexed(2, 1, 8, 0);
    indexed.SetGrayPalette();
    indexed.SetPixelIndex(0, 0, 10);
    indexed.SetPixelIndex(1, 0, 21);
    ASSERT_TRUE(indexed.CreateAlpha());
    indexed.SetAlphaAt(0, 0, 100);
    ASSERT_TRUE(indexed.QIShrink(1, 1, &out, true));
    EXPECT_EQ(out.GetBpp(), 24);
    EXPECT_EQ(out.GetPixelColor(0, 0).rgbRed, 15);
    EXPECT_EQ(out.GetAlphaAt(0, 0), 177);
    ASSERT_TRUE(indexed.QIShrink(1, 1));
    EXPECT_EQ(indexed.GetBpp(), 8);
    EXPECT_EQ(indexed.GetPixelIndex(0, 0), 15);

    EXPECT_FALSE(image.QIShrink(6, 2));
    EXPECT_STREQ(image.GetLastError(), "QIShrink can't enlarge image");
    EXPECT_EQ(image.GetWidth(), 5u);
    EXPECT_FALSE(image.QIShrink(0, 2));
    EXPECT_STREQ(image.GetLastError(), "CRaster::Create : width and height must be greater than zero");
    CRaster same;
    ASSERT_TRUE(image.QIShrink(5, 5, &same));
    EXPECT_EQ(same.GetPixelColor(0, 4).rgbRed, 90);
}

TEST(TransformResize, CancelledResampleHandsOverABlankPicture) {
    CRaster image = GrayImage(4, 4, std::vector<BYTE>(16, 200));
    image.SetEscape(5);
    ASSERT_TRUE(image.ResampleInterpolated(8, 8, kInterpolateCubic, kOverflowColor));
    EXPECT_EQ(image.GetWidth(), 8u);
    EXPECT_EQ(image.GetPixelColor(4, 4).rgbRed, 0);
    EXPECT_EQ(image.GetProgress(), 0);
}

}  // namespace
