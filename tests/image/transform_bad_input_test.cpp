// Every transform on the smallest images of every depth, on views and with absurd
// arguments: a result and, where the library has one, a message; never a crash (the
// sanitizer build runs this too).
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "image/raster_quantize.h"
#include "image/raster_resample.h"
#include "image/raster_transform.h"

namespace {

using namespace lumi::image;

// Runs every transform once on a fresh copy of `source` and returns how many succeeded.
int RunAll(const CRaster& source, LONG size, float value) {
    const RGBQUAD canvas{1, 2, 3, 4};
    int ok = 0;
    auto run = [&](auto&& op) {
        CRaster image(source);
        CRaster out;
        ok += op(image, out) ? 1 : 0;
    };
    run([&](CRaster& i, CRaster& o) { return TurnLeft(i, &o) && TurnRight(i) && Turn180(i); });
    run([&](CRaster& i, CRaster&) { return Rotate(i, value); });
    run([&](CRaster& i, CRaster& o) {
        return RotateInterpolated(i, value, kInterpolateLanczos, kOverflowMirror, &canvas, true, false, &o);
    });
    run([&](CRaster& i, CRaster&) { return CropToRect(i, -size, -size, size, size); });
    run([&](CRaster& i, CRaster&) { return CropAtAngle(i, 0, 0, size, size, value); });
    run([&](CRaster& i, CRaster&) { return AddBorders(i, size, 0, size, 1, canvas); });
    run([&](CRaster& i, CRaster&) { return PadToSize(i, size, size, canvas); });
    run([&](CRaster& i, CRaster&) { return MakeThumbnail(i, size, size, canvas); });
    run([&](CRaster& i, CRaster&) { return Shear(i, value, value, size, -size, true) && Shear(i, value, 1, 0, 0, false); });
    run([&](CRaster& i, CRaster&) { return RadialTransform(i, 3, size, value) && RadialTransform(i, 0, 0, value); });
    run([&](CRaster& i, CRaster&) { return Resample(i, size, size); });
    run([&](CRaster& i, CRaster& o) { return ResampleInterpolated(i, size, size, kInterpolateBessel, kOverflowWrap, &o); });
    run([&](CRaster& i, CRaster&) { return QIShrink(i, size, size, nullptr, true); });
    run([&](CRaster& i, CRaster&) { return DecreaseBpp(i, 1, true, &canvas, 1) && RaiseBpp(i, 24); });
    run([&](CRaster& i, CRaster&) { return ConvertToGray(i) && Invert(i) && DitherToMono(i, 6); });
    (void)SampleArea(source, value, value, value, value, kInterpolateCubic, kOverflowMirror);
    (void)SampleInterpolated(source, value, -value, kInterpolateLanczos, kOverflowWrap, &canvas);
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
        EXPECT_TRUE(ResampleInterpolated(view, 2, 2, kInterpolateCubic, kOverflowColor, &out));
        EXPECT_FALSE(ResampleInterpolated(view, 2, 2, kInterpolateCubic, kOverflowColor));
        EXPECT_FALSE(DitherToMono(view));
        EXPECT_EQ(view.GetWidth(), 1u);
    }
    const CRaster empty;
    EXPECT_EQ(RunAll(empty, 3, 10.0f), 0) << "an image without pixels fails every transform";
}

}  // namespace
