// Every transform on the smallest images of every depth, on views and with absurd
// arguments: a result and, where the library has one, a message; never a crash (the
// sanitizer build runs this too).
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "image/raster.h"

namespace {

// Runs every transform once on a fresh copy of `source` and returns how many succeeded.
int RunAll(const CRaster& source, LONG size, float value) {
    const RGBQUAD canvas{1, 2, 3, 4};
    int ok = 0;
    auto run = [&](auto&& op) {
        CRaster image(source);
        CRaster out;
        ok += op(image, out) ? 1 : 0;
    };
    run([&](CRaster& i, CRaster& o) { return i.TurnLeft(&o) && i.TurnRight() && i.Turn180(); });
    run([&](CRaster& i, CRaster&) { return i.Rotate(value); });
    run([&](CRaster& i, CRaster& o) {
        return i.RotateInterpolated(value, kInterpolateLanczos, kOverflowMirror, &canvas, true, false, &o);
    });
    run([&](CRaster& i, CRaster&) { return i.CropToRect(-size, -size, size, size); });
    run([&](CRaster& i, CRaster&) { return i.CropAtAngle(0, 0, size, size, value); });
    run([&](CRaster& i, CRaster&) { return i.AddBorders(size, 0, size, 1, canvas); });
    run([&](CRaster& i, CRaster&) { return i.PadToSize(size, size, canvas); });
    run([&](CRaster& i, CRaster&) { return i.MakeThumbnail(size, size, canvas); });
    run([&](CRaster& i, CRaster&) { return i.Shear(value, value, size, -size, true) && i.Shear(value, 1, 0, 0, false); });
    run([&](CRaster& i, CRaster&) { return i.RadialTransform(3, size, value) && i.RadialTransform(0, 0, value); });
    run([&](CRaster& i, CRaster&) { return i.Resample(size, size); });
    run([&](CRaster& i, CRaster& o) { return i.ResampleInterpolated(size, size, kInterpolateBessel, kOverflowWrap, &o); });
    run([&](CRaster& i, CRaster&) { return i.QIShrink(size, size, nullptr, true); });
    run([&](CRaster& i, CRaster&) { return i.DecreaseBpp(1, true, &canvas, 1) && i.RaiseBpp(24); });
    run([&](CRaster& i, CRaster&) { return i.ConvertToGray() && i.Invert() && i.DitherToMono(6); });
    (void)source.SampleArea(value, value, value, value, kInterpolateCubic, kOverflowMirror);
    (void)source.SampleInterpolated(value, -value, kInterpolateLanczos, kOverflowWrap, &canvas);
    return ok;
}

TEST(TransformBadInput, SmallestImagesOfEveryDepthAndAbsurdArguments) {
    for (WORD bpp : {WORD{1}, WORD{4}, WORD{8}, WORD{24}}) {
        CRaster pixel(1, 1, bpp, 0);
        pixel.SetBackgroundIndex(0);
        ASSERT_TRUE(pixel.CreateAlpha());
        ASSERT_TRUE(pixel.AddPixelToSelection(0, 0));
        // All but two: QIShrink cannot enlarge, and a 3 x 3 angled crop does not fit.
        EXPECT_EQ(RunAll(pixel, 3, 33.0f), 13) << bpp << " bits, ordinary arguments";
        for (LONG size : {0, -7, INT_MAX})
            for (float value : {NAN, INFINITY, -1e30f, 0.0f}) RunAll(pixel, size, value);
        // A view is a source like any other; it is only never replaced.
        CRaster view;
        view.ShareFrom(pixel);
        CRaster out;
        EXPECT_TRUE(view.ResampleInterpolated(2, 2, kInterpolateCubic, kOverflowColor, &out));
        EXPECT_FALSE(view.ResampleInterpolated(2, 2, kInterpolateCubic, kOverflowColor));
        EXPECT_FALSE(view.DitherToMono());
        EXPECT_EQ(view.GetWidth(), 1u);
    }
    const CRaster empty;
    EXPECT_EQ(RunAll(empty, 3, 10.0f), 0) << "an image without pixels fails every transform";
}

// A view as the source of every transform that may hand the source over unchanged or build
// on a copy of it: the destination gets pixels of its own, never a second view of the
// owner's, and the owner stays as it was.
TEST(TransformBadInput, ViewSourceGivesTheDestinationItsOwnPixels) {
    CRaster owner(4, 2, 24, 0);
    owner.SetPixelColor(1, 1, RGBQUAD{10, 20, 30, 0});
    CRaster view;
    view.ShareFrom(owner);
    const RGBQUAD white{255, 255, 255, 0};
    auto check = [&](bool result, CRaster& out, const char* what) {
        ASSERT_TRUE(result) << what;
        ASSERT_TRUE(out.IsValid()) << what;
        EXPECT_NE(out.GetBits(), owner.GetBits()) << what;
        if (out.GetWidth() == owner.GetWidth()) {
            EXPECT_EQ(out.GetPixelColor(1, 1).rgbRed, 30) << what;
        }
        out.Clear(0xEE);
        EXPECT_EQ(owner.GetPixelColor(1, 1).rgbRed, 30) << what;
        EXPECT_EQ(owner.GetPixelColor(0, 0).rgbRed, 0) << what;
    };
    CRaster same, shrunk, turned, thumb;
    check(view.ResampleInterpolated(4, 2, kInterpolateCubic, kOverflowColor, &same), same, "same-size resample");
    check(view.QIShrink(4, 2, &shrunk), shrunk, "same-size shrink");
    check(view.RotateInterpolated(0.01f, kInterpolateCubic, kOverflowColor, nullptr, true, false, &turned), turned,
          "rotation by no right angle");
    check(view.MakeThumbnail(2, 2, white, &thumb), thumb, "thumbnail");
    EXPECT_EQ(thumb.GetWidth(), 2u);
    CRaster padded;
    check(view.MakeThumbnail(6, 6, white, &padded), padded, "thumbnail of a small picture");
    EXPECT_EQ(padded.GetWidth(), 6u);
}

}  // namespace
