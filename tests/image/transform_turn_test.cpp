// Quarter and half turns, rotation by any angle, and what every new-picture transform
// shares: destinations, frames and layers left alone, views, cancelling.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>

#include "image/raster.h"
#include "tests/image/raster_test_util.h"

namespace {

// Index (palette images) or packed blue-green-red of a pixel.
DWORD PixelAt(const CRaster& image, LONG x, LONG y) {
    if (image.IsIndexed()) return image.GetPixelIndex(x, y);
    const RGBQUAD c = image.GetPixelColor(x, y, false);
    return c.rgbBlue | (c.rgbGreen << 8) | (c.rgbRed << 16);
}

// A w x h image whose every pixel differs from its neighbours, with alpha and selection.
CRaster Patterned(DWORD w, DWORD h, WORD bpp) {
    CRaster image(w, h, bpp, 0);
    if (bpp < 24) image.SetDefaultPalette();
    const DWORD colors = bpp < 24 ? (1u << bpp) : 0;
    EXPECT_TRUE(image.CreateAlpha());
    for (LONG y = 0; y < static_cast<LONG>(h); ++y)
        for (LONG x = 0; x < static_cast<LONG>(w); ++x) {
            const DWORD v = static_cast<DWORD>(x * 7 + y * 13 + x * y);
            if (colors) image.SetPixelIndex(x, y, static_cast<BYTE>(v % colors));
            else image.SetPixelColor(x, y, RGBQUAD{BYTE(v), BYTE(v >> 8), BYTE(x ^ y), 0});
            image.SetAlphaAt(x, y, static_cast<BYTE>(v * 3));
        }
    EXPECT_TRUE(image.AddRectToSelection(RECT{2, 9, 5, 1}));  // x 2..4, y 1..8
    return image;
}

TEST(TransformTurn, QuarterAndHalfTurnsMoveEveryPixelAtEveryDepth) {
    // 130 x 70 crosses the 64-pixel tiles in both directions.
    for (WORD bpp : {WORD{1}, WORD{4}, WORD{8}, WORD{24}}) {
        const CRaster source = Patterned(130, 70, bpp);
        CRaster left, right, half;
        CRaster image(source);
        ASSERT_TRUE(image.TurnLeft(&left));
        ASSERT_TRUE(image.TurnRight(&right));
        ASSERT_TRUE(image.Turn180(&half));
        ASSERT_EQ(left.GetWidth(), 70u);
        ASSERT_EQ(left.GetHeight(), 130u);
        ASSERT_EQ(half.GetWidth(), 130u);
        EXPECT_EQ(left.GetBpp(), bpp);
        EXPECT_TRUE(left.IsPaletteEqual(source) || bpp == 24);
        int wrong = 0;
        for (LONG y = 0; y < 70; ++y)
            for (LONG x = 0; x < 130; ++x) {
                const DWORD p = PixelAt(source, x, y);
                const BYTE a = source.GetAlphaAt(x, y);
                // Counter-clockwise, y up: (x, y) goes to (h - 1 - y, x).
                wrong += PixelAt(left, 69 - y, x) != p || left.GetAlphaAt(69 - y, x) != a;
                wrong += PixelAt(right, y, 129 - x) != p || right.GetAlphaAt(y, 129 - x) != a;
                wrong += PixelAt(half, 129 - x, 69 - y) != p || half.GetAlphaAt(129 - x, 69 - y) != a;
                wrong += left.GetSelectionAt(69 - y, x) != source.GetSelectionAt(x, y);
            }
        EXPECT_EQ(wrong, 0) << bpp << " bits";
        // The selection box turns with the plane; the half turn carries no selection.
        const RECT box = left.GetSelectionBox();
        EXPECT_EQ((std::array<LONG, 4>{box.left, box.top, box.right, box.bottom}), (std::array<LONG, 4>{61, 5, 69, 2}));
        EXPECT_FALSE(half.HasSelection());
        ASSERT_TRUE(left.TurnRight());
        EXPECT_EQ(std::memcmp(left.GetBits(), source.GetBits(), source.GetRowStride() * 70), 0)
            << "a left then a right turn restores the picture at " << bpp << " bits";
        EXPECT_EQ(PixelAt(image, 5, 5), PixelAt(source, 5, 5)) << "the source stays when a destination is given";
    }
}

TEST(TransformTurn, HandComputedTurnsOfASmallPicture) {
    // 3 x 2, bottom row first:  row 1: d e f / row 0: a b c (as seen: d e f above a b c).
    CRaster image(3, 2, 8, 0);
    const BYTE a = 1, b = 2, c = 3, d = 4, e = 5, f = 6;
    const BYTE rows[2][3] = {{a, b, c}, {d, e, f}};
    for (LONG y = 0; y < 2; ++y)
        for (LONG x = 0; x < 3; ++x) image.SetPixelIndex(x, y, rows[y][x]);
    CRaster left, right;
    ASSERT_TRUE(image.TurnLeft(&left));
    ASSERT_TRUE(image.TurnRight(&right));
    // Stored rows bottom first. Counter-clockwise, seen: f c / e b / d a.
    // Clockwise, seen: a d / b e / c f.
    const BYTE wantLeft[3][2] = {{d, a}, {e, b}, {f, c}}, wantRight[3][2] = {{c, f}, {b, e}, {a, d}};
    for (LONG y = 0; y < 3; ++y)
        for (LONG x = 0; x < 2; ++x) {
            EXPECT_EQ(left.GetPixelIndex(x, y), wantLeft[y][x]) << "left at " << x << "," << y;
            EXPECT_EQ(right.GetPixelIndex(x, y), wantRight[y][x]) << "right at " << x << "," << y;
        }
    // Rotate by 90 degrees is the counter-clockwise turn; by 0 it copies.
    CRaster rotated;
    ASSERT_TRUE(image.Rotate(90.0f, &rotated));
    ASSERT_EQ(rotated.GetWidth(), 2u);
    ASSERT_EQ(rotated.GetHeight(), 3u);
    EXPECT_EQ(std::memcmp(rotated.GetBits(), left.GetBits(), left.GetRowStride() * 3), 0);
    ASSERT_TRUE(image.Rotate(-270.0f, &rotated));
    EXPECT_EQ(std::memcmp(rotated.GetBits(), left.GetBits(), left.GetRowStride() * 3), 0);
    ASSERT_TRUE(image.Rotate(0.0f, &rotated));
    EXPECT_EQ(rotated.GetPixelIndex(2, 1), f);
}

TEST(TransformTurn, RotateByAnArbitraryAngle) {
    // 2 x 2 by 45 degrees: a 3 x 3 picture (2 x sqrt 2 rounded). Hand-computed back
    // rotations of the pixel centres: the middle column takes (0,0), (1,1), the centre
    // (1,1); (0,1) and (2,1) take (0,1) and (1,0); the corners fall outside.
    CRaster image(2, 2, 24, 0);
    for (LONG i = 0; i < 4; ++i) image.SetPixelColor(i % 2, i / 2, RGBQUAD{BYTE(10 * (i + 1)), 0, 0, 0});
    ASSERT_TRUE(image.CreateAlpha());
    image.SetBackgroundColor(RGBQUAD{99, 0, 0, 0});
    image.SetBackgroundIndex(0);
    ASSERT_TRUE(image.Rotate(45.0f));
    ASSERT_EQ(image.GetWidth(), 3u);
    ASSERT_EQ(image.GetHeight(), 3u);
    const int want[5][3] = {{1, 0, 10}, {1, 1, 40}, {1, 2, 40}, {0, 1, 30}, {2, 1, 20}};  // x, y, blue
    for (const auto& w : want) EXPECT_EQ(image.GetPixelColor(w[0], w[1]).rgbBlue, w[2]) << w[0] << "," << w[1];
    EXPECT_EQ(image.GetPixelColor(0, 0, false).rgbBlue, 99) << "outside the source: the background colour";
    EXPECT_EQ(image.GetAlphaAt(0, 0), 0);
    EXPECT_EQ(image.GetAlphaAt(1, 1), 255);
    EXPECT_FALSE(image.Rotate(NAN));
}

TEST(TransformTurn, RotateInterpolatedShortcutAndKeepSize) {
    const CRaster source = Patterned(10, 6, 24);
    CRaster image(source), turned, sampled;
    ASSERT_TRUE(image.TurnLeft(&turned));
    // Within a quarter pixel of the turn: the turn itself, selection and all.
    ASSERT_TRUE(image.RotateInterpolated(90.5f, kInterpolateBilinear, kOverflowColor, nullptr, true, false, &sampled));
    EXPECT_EQ(std::memcmp(sampled.GetBits(), turned.GetBits(), turned.GetRowStride() * 10), 0);
    EXPECT_TRUE(sampled.HasSelection());
    ASSERT_TRUE(image.RotateInterpolated(95.0f, kInterpolateBilinear, kOverflowColor, nullptr, true, false, &sampled));
    EXPECT_FALSE(sampled.HasSelection()) << "past the tolerance the sampler rotates";
    CRaster half;
    ASSERT_TRUE(image.RotateInterpolated(-180.1f, kInterpolateCubic, kOverflowColor, nullptr, true, false, &half));
    EXPECT_EQ(PixelAt(half, 0, 0), PixelAt(source, 9, 5));
    // No turn at all copies into the destination.
    CRaster copy;
    ASSERT_TRUE(image.RotateInterpolated(0.01f, kInterpolateCubic, kOverflowColor, nullptr, true, false, &copy));
    EXPECT_EQ(PixelAt(copy, 3, 2), PixelAt(source, 3, 2));

    // Keep-size by 180: the same size, each pixel sampled exactly at the opposite one.
    const RGBQUAD red{0, 0, 255, 0};
    ASSERT_TRUE(image.RotateInterpolated(180.0f, kInterpolateNearest, kOverflowColor, &red, false, true, &sampled));
    ASSERT_EQ(sampled.GetWidth(), 10u);
    EXPECT_EQ(PixelAt(sampled, 2, 1), PixelAt(source, 7, 4));
    // Keep-size by 90 on a 10 x 6: the corners reach outside and take the replacement.
    ASSERT_TRUE(image.RotateInterpolated(90.0f, kInterpolateNearest, kOverflowColor, &red, false, true, &sampled));
    ASSERT_EQ(sampled.GetHeight(), 6u);
    EXPECT_EQ(sampled.GetPixelColor(0, 0).rgbRed, 255);
    EXPECT_EQ(sampled.GetPixelColor(0, 0).rgbBlue, 0);
    EXPECT_EQ(sampled.GetAlphaAt(0, 0), 0);
}

TEST(TransformTurn, NewPicturesLeaveFramesLayersAndViewsAlone) {
    lumi::test::FramedRaster image(8, 4, 24, kRasterTypeGif);
    image.AttachFrames(3, 8, 4);
    ASSERT_TRUE(image.AddLayer());
    image.SetDpiX(300);
    image.SetBackgroundIndex(0);
    image.SetBackgroundColor(RGBQUAD{1, 2, 3, 0});
    ASSERT_TRUE(image.TurnLeft());
    EXPECT_EQ(image.GetWidth(), 4u);
    EXPECT_EQ(image.GetFrameCount(), 3);
    ASSERT_NE(image.GetFrame(2), nullptr);
    EXPECT_EQ(image.GetFrame(2)->GetPixelIndex(0, 0), 3) << "frames are never turned or dropped";
    EXPECT_EQ(image.GetLayerCount(), 1);
    EXPECT_EQ(image.GetLayer(0)->GetParent(), &image);
    EXPECT_EQ(image.GetType(), kRasterTypeGif);
    EXPECT_EQ(image.GetDpiX(), 300);
    EXPECT_EQ(image.GetBackgroundColor().rgbGreen, 2);

    // A view owns nothing, so it cannot be replaced; it can still be the source.
    CRaster view;
    view.ShareFrom(image);
    EXPECT_FALSE(view.Turn180());
    CRaster out;
    EXPECT_TRUE(view.Turn180(&out));
    EXPECT_FALSE(image.TurnLeft(&view));
    EXPECT_EQ(view.GetWidth(), 4u);

    CRaster empty;
    EXPECT_FALSE(empty.TurnLeft());
    EXPECT_FALSE(empty.Rotate(10.0f));
}

TEST(TransformTurn, CancelledTurnHandsOverThePartBuilt) {
    CRaster image = Patterned(20, 10, 24);
    image.SetEscape(1);
    ASSERT_TRUE(image.TurnLeft()) << "a cancelled transform still succeeds";
    EXPECT_EQ(image.GetWidth(), 10u);
    EXPECT_EQ(image.GetHeight(), 20u);
    EXPECT_EQ(PixelAt(image, 3, 3), 0u) << "nothing was built: the new picture is blank";
    EXPECT_EQ(image.GetProgress(), 0);
    image.SetEscape(0);
    ASSERT_TRUE(image.Rotate(30.0f));
    EXPECT_EQ(image.GetProgress(), 100);
}

}  // namespace
