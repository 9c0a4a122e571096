// The sub-pixel sampler: every interpolation method at a known position, the bilinear
// fixed-point path, edge handling, area averages and the kernels' defining values.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "image/raster.h"
#include "image/raster_resample_kernels.h"
#include "image/raster_transform_geometry.h"
#include "tests/image/raster_test_util.h"

namespace {

using namespace lumi::image;
using lumi::test::GrayImage;

// Black 16x16 with one pixel of 200 at (9, 8).
CRaster Impulse(WORD bpp) {
    CRaster image(16, 16, bpp, 0);
    if (bpp == 8) image.SetGrayPalette();
    image.SetPixelColor(9, 8, RGBQUAD{200, 200, 200, 0});
    return image;
}

TEST(TransformSampler, EveryMethodWeighsTheImpulseByItsKernel) {
    // Sampling at (8.25, 8): the impulse lies 0.75 away in x and 0 in y, so the result is
    // 200 x w(0.75) x w(0), each weight divided by the sum of its axis' weights, rounded.
    // Hand-computed from each kernel's formula (Blackman: 0.0664 / 1.68 across and 1 / 2
    // up, since it weighs whole distances 0 and 2 alike).
    struct Case {
        int method;
        int expected;
    };
    const Case cases[] = {
        {kInterpolateNearest, 0},  // the pixel at (8, 8)
        {kInterpolateBilinear, 50},     {kInterpolateBSpline, 42},   {kInterpolateCubic, 59},
        {kInterpolateCubicParam, 45},   {kInterpolateLanczos, 58},   {kInterpolateBox, 0},
        {kInterpolateHermite, 31},      {kInterpolateHamming, 38},   {kInterpolateSinc, 67},
        {kInterpolateBlackman, 4},      {kInterpolateBessel, 56},    {kInterpolateGaussian, 41},
        {kInterpolateQuadratic, 42},    {kInterpolateMitchell, 46},  {kInterpolateCatmullRom, 45},
        {kInterpolateHanning, 11},      {kInterpolatePower, 64},
    };
    // The 24-bit image is read straight from its rows; the palette copy goes through
    // SamplePixel. Both must agree.
    for (WORD bpp : {WORD{24}, WORD{8}}) {
        const CRaster image = Impulse(bpp);
        for (const Case& c : cases) {
            const RGBQUAD s = image.SampleInterpolated(8.25f, 8.0f, c.method, kOverflowColor);
            EXPECT_EQ(s.rgbRed, c.expected) << "method " << c.method << " at " << bpp << " bits";
            EXPECT_EQ(s.rgbBlue, s.rgbRed);
            EXPECT_EQ(s.rgbReserved, 0) << "no alpha plane, no fourth byte";
        }
    }
    const CRaster image = Impulse(24);
    EXPECT_EQ(image.SampleInterpolated(8.6f, 8.4f, kInterpolateNearest, kOverflowColor).rgbRed, 200);
    for (int outOfRange : {0, 19, -3}) {
        const RGBQUAD s = image.SampleInterpolated(8.25f, 8.0f, outOfRange, kOverflowColor);
        EXPECT_EQ(s.rgbRed, 50) << "method " << outOfRange << " samples as bilinear";
    }
}

TEST(TransformSampler, BilinearFixedPointAndFloatPaths) {
    CRaster image = GrayImage(4, 5, {0, 0, 0, 0,  //
                                     0, 0, 0, 0,  //
                                     0, 0, 0, 0,  //
                                     0, 0, 0, 100,  //
                                     0, 0, 200, 40});
    // (2.5, 3.5): 64/256 on each neighbour: (0 + 100 + 200 + 40) x 64 >> 8.
    EXPECT_EQ(image.SampleInterpolated(2.5f, 3.5f, kInterpolateBilinear, kOverflowColor).rgbGreen, 85);
    // Alpha follows the same weights when the image has a plane.
    ASSERT_TRUE(image.CreateAlpha());
    image.SetAlphaAt(2, 3, 0);
    EXPECT_EQ(image.SampleInterpolated(2.5f, 3.5f, kInterpolateBilinear, kOverflowColor).rgbReserved,
              (255 * 3 * 64) >> 8);
    // At the top-right corner the block reaches outside: float weights over SamplePixel,
    // with the outside neighbours white (no replacement colour given).
    const RGBQUAD corner = image.SampleInterpolated(3.5f, 4.0f, kInterpolateBilinear, kOverflowColor);
    EXPECT_EQ(corner.rgbRed, 148) << "(40 + 255) / 2, rounded";
    const RGBQUAD black{0, 0, 0, 9};
    EXPECT_EQ(image.SampleInterpolated(3.5f, 4.0f, kInterpolateBilinear, kOverflowColor, &black).rgbRed, 20);
}

TEST(TransformSampler, OverflowMethodsOutsideTheImage) {
    CRaster image = GrayImage(4, 1, {10, 20, 30, 40});
    const RGBQUAD red{0, 0, 255, 7};
    // Colour: the replacement, or white with fourth byte 0.
    RGBQUAD c = image.SamplePixel(-1, 0, kOverflowColor);
    EXPECT_EQ((std::array<int, 4>{c.rgbBlue, c.rgbGreen, c.rgbRed, c.rgbReserved}), (std::array<int, 4>{255, 255, 255, 0}));
    EXPECT_EQ(image.SamplePixel(4, 0, kOverflowColor, &red).rgbReserved, 7);
    EXPECT_EQ(image.SamplePixel(4, 0, 99, &red).rgbRed, 255) << "unknown methods act as the colour method";
    // Background and transparent without a background index or alpha: as the colour method.
    EXPECT_EQ(image.SamplePixel(-1, 0, kOverflowBackground, &red).rgbReserved, 7);
    EXPECT_EQ(image.SamplePixel(-1, 0, kOverflowTransparent).rgbGreen, 255);
    // With a background index, the background colour.
    image.SetBackgroundColor(RGBQUAD{1, 2, 3, 0});
    image.SetBackgroundIndex(0);
    EXPECT_EQ(image.SamplePixel(-1, 0, kOverflowBackground, &red).rgbGreen, 2);
    EXPECT_EQ(image.SamplePixel(-1, 0, kOverflowTransparent, &red).rgbGreen, 2);
    // With an alpha plane, transparent gives the replacement with alpha 0.
    ASSERT_TRUE(image.CreateAlpha());
    c = image.SamplePixel(-1, 0, kOverflowTransparent, &red);
    EXPECT_EQ(c.rgbRed, 255);
    EXPECT_EQ(c.rgbReserved, 0);
    // Wrap, repeat, mirror (-1 reads column 1, the width reads the last column).
    EXPECT_EQ(image.SamplePixel(-1, 0, kOverflowWrap).rgbRed, 40);
    EXPECT_EQ(image.SamplePixel(9, 0, kOverflowWrap).rgbRed, 20);
    EXPECT_EQ(image.SamplePixel(-7, 0, kOverflowRepeat).rgbRed, 10);
    EXPECT_EQ(image.SamplePixel(12, 5, kOverflowRepeat).rgbRed, 40);
    EXPECT_EQ(image.SamplePixel(-1, 0, kOverflowMirror).rgbRed, 20);
    EXPECT_EQ(image.SamplePixel(4, 0, kOverflowMirror).rgbRed, 40);

    // A palette image's background is the palette entry of its index.
    CRaster indexed(4, 1, 8, 0);
    indexed.SetPaletteColor(3, BYTE{90}, BYTE{80}, BYTE{70});
    indexed.SetBackgroundIndex(3);
    EXPECT_EQ(indexed.SamplePixel(5, 0, kOverflowBackground).rgbRed, 90);
}

TEST(TransformSampler, ResolveEdgeCoordinates) {
    const CRaster image(4, 3, 24, 0);
    LONG x = -1, y = 5;
    image.ResolveEdgeCoordinates(x, y, kOverflowWrap);
    EXPECT_EQ(x, 3);
    EXPECT_EQ(y, 2);
    x = INT32_MIN;
    y = 7;
    image.ResolveEdgeCoordinates(x, y, kOverflowMirror);  // no overflow negating the lowest value
    EXPECT_EQ(x, static_cast<LONG>(2147483648ll % 4));
    EXPECT_EQ(y, 3 - 1 - 1);
    x = 2;
    y = -4;
    image.ResolveEdgeCoordinates(x, y, kOverflowColor);
    EXPECT_EQ(y, -4) << "other methods leave positions alone";

    float fx = -0.5f, fy = 4.5f;
    image.ResolveEdgeCoordinates(fx, fy, kOverflowWrap);
    EXPECT_FLOAT_EQ(fx, 3.5f);
    EXPECT_FLOAT_EQ(fy, 1.5f);
    fx = 4.5f;
    fy = -2.25f;
    image.ResolveEdgeCoordinates(fx, fy, kOverflowMirror);
    EXPECT_FLOAT_EQ(fx, 2.5f);
    EXPECT_FLOAT_EQ(fy, 2.25f);
    fx = 9.0f;
    image.ResolveEdgeCoordinates(fx, fy, kOverflowRepeat);
    EXPECT_FLOAT_EQ(fx, 3.0f);

    // A sample whose whole neighbourhood is outside resolves its position first.
    const CRaster row = GrayImage(4, 1, {10, 20, 30, 40});
    EXPECT_EQ(row.SampleInterpolated(-3.0f, 0.0f, kInterpolateCubic, kOverflowWrap).rgbRed, 20);
    EXPECT_EQ(row.SampleInterpolated(-30.0f, 0.0f, kInterpolateCubic, kOverflowColor).rgbRed, 255);
    EXPECT_EQ(row.SampleInterpolated(NAN, 0.0f, kInterpolateCubic, kOverflowWrap).rgbRed, 255);
}

TEST(TransformSampler, AreaAverages) {
    const CRaster image = GrayImage(3, 2, {10, 20, 0,  //
                                           30, 40, 0});
    // A 2x2 area centred between four pixels covers each of them wholly.
    EXPECT_EQ(image.SampleArea(0.5f, 0.5f, 2.0f, 2.0f, kInterpolateBilinear, kOverflowColor).rgbRed, 25);
    // 2 wide and 1 high at (1, 0): half of pixel 0, all of pixel 1, half of pixel 2.
    const CRaster row = GrayImage(3, 1, {0, 100, 200});
    EXPECT_EQ(row.SampleArea(1.0f, 0.0f, 2.0f, 1.0f, kInterpolateBilinear, kOverflowColor).rgbRed, 100);
    // Small areas are plain samples.
    EXPECT_EQ(row.SampleArea(1.5f, 0.0f, 1.0f, 0.5f, kInterpolateBilinear, kOverflowColor).rgbRed, 150);
    // Outside pixels count with the overflow colour (white here).
    EXPECT_EQ(row.SampleArea(-0.5f, 0.0f, 2.0f, 2.0f, kInterpolateBilinear, kOverflowColor).rgbRed,
              static_cast<BYTE>((255 * 3 + 0) / 4.0f));
    EXPECT_EQ(row.SampleArea(1.0f, 0.0f, 1e12f, 1e3f, kInterpolateBilinear, kOverflowColor).rgbRed, 255)
        << "areas too large to visit give the overflow colour instead of running for hours";

    float sums[4] = {1, 0, 0, 0};
    AccumulateWeighted(RGBQUAD{10, 20, 30, 40}, 0.5f, sums);
    EXPECT_FLOAT_EQ(sums[0], 6.0f);
    EXPECT_FLOAT_EQ(sums[3], 20.0f);
}

TEST(TransformSampler, KernelEdgesAndBessel) {
    // Half-open ranges: the lower edge belongs to the kernel, the upper one does not.
    EXPECT_FLOAT_EQ(WeightBox(-0.5f), 1);
    EXPECT_FLOAT_EQ(WeightBox(0.5f), 0);
    EXPECT_FLOAT_EQ(WeightLinear(-1.0f), 0);
    EXPECT_FLOAT_EQ(WeightLinear(-0.25f), 0.75f);
    EXPECT_FLOAT_EQ(WeightQuadratic(-1.5f), 0);
    EXPECT_FLOAT_EQ(WeightQuadratic(-1.0f), 0.125f);
    EXPECT_FLOAT_EQ(WeightLanczos(6.5f, 6), 0);
    EXPECT_FLOAT_EQ(WeightPower(-0.5f, 3.0f), 0.875f) << "|x^p| also for odd powers of negative distances";
    // J1 against reference values, in both branches of the approximation.
    EXPECT_NEAR(BesselJ1(1.0f), 0.4400506f, 1e-6);
    EXPECT_NEAR(BesselJ1(-10.0f), -0.0434727f, 1e-6);
    EXPECT_FLOAT_EQ(WeightBessel(0), 0.7853982f);
}

TEST(TransformSampler, RectanglesThatDoNotMeetIntersectInNothing) {
    const RectF2 a(0, 0, 4, 2);
    EXPECT_FLOAT_EQ(a.Intersect(RectF2(1, -1, 6, 1)).Area(), 3);
    const RectF2 none = a.Intersect(RectF2(5, 5, 6, 6));
    EXPECT_FLOAT_EQ(none.left, 0);
    EXPECT_FLOAT_EQ(none.top, 0);
}

}  // namespace
