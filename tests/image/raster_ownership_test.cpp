// Copies, moves, views, layers and frames: who owns what (run under ASan for double frees).
#include <gtest/gtest.h>

#include "image/raster.h"
#include "tests/image/raster_test_util.h"

namespace {

using lumi::test::FramedRaster;

CRaster MakePattern(DWORD width, DWORD height, DWORD bits) {
    CRaster image(width, height, bits, kRasterTypeBmp);
    for (LONG y = 0; y < static_cast<LONG>(height); ++y)
        for (LONG x = 0; x < static_cast<LONG>(width); ++x)
            image.SetPixelColor(x, y, RGBQUAD{static_cast<BYTE>(x * 10), static_cast<BYTE>(y * 10), 7, 0});
    return image;
}

TEST(RasterCopy, DeepCopyWithPlanes) {
    CRaster source = MakePattern(3, 2, 24);
    ASSERT_TRUE(source.CreateAlpha());
    source.SetAlphaAt(1, 1, 9);
    source.AddPixelToSelection(2, 0);
    source.SetBackgroundIndex(-1);
    source.SetQuality(42.0f);

    CRaster copy(source);
    EXPECT_NE(copy.GetDIB(), source.GetDIB());
    EXPECT_EQ(copy.GetPixelColor(2, 1).rgbBlue, 20);
    EXPECT_EQ(copy.GetAlphaAt(1, 1), 9);
    EXPECT_EQ(copy.GetSelectionAt(2, 0), 255);
    EXPECT_EQ(copy.GetQuality(), 42.0f);
    EXPECT_EQ(copy.GetType(), kRasterTypeBmp);

    CRaster noPlanes(source, false, false);
    EXPECT_FALSE(noPlanes.HasAlpha());
    EXPECT_FALSE(noPlanes.HasSelection());

    CRaster target = MakePattern(9, 9, 8);
    ASSERT_TRUE(target.AddLayer());
    target = source;  // layers of the old image go; sizes follow the source
    EXPECT_EQ(target.GetWidth(), 3u);
    EXPECT_EQ(target.GetLayerCount(), 0);
    target = target;
    EXPECT_EQ(target.GetWidth(), 3u);
}

TEST(RasterCopy, CopyKeepsOwnFramesAndDropsLayers) {
    FramedRaster target(4, 4, 8, 0);
    target.AttachFrames(2, 4, 4);
    CRaster source = MakePattern(2, 2, 24);
    ASSERT_TRUE(source.AddLayer());
    ASSERT_TRUE(source.AddLayer());
    target.Copy(source);
    EXPECT_EQ(target.GetLayerCount(), 0);  // layers are not copied
    EXPECT_EQ(target.GetFrameCount(), 2);
    EXPECT_NE(target.GetFrame(1), nullptr);
}

TEST(RasterViews, ShareWithoutOwning) {
    CRaster owner = MakePattern(4, 3, 24);
    ASSERT_TRUE(owner.CreateAlpha());
    {
        CRaster view;
        view.ShareFrom(owner);
        EXPECT_EQ(view.GetDIB(), owner.GetDIB());
        EXPECT_FALSE(view.Destroy());
        EXPECT_FALSE(view.DestroyFrames());
        EXPECT_EQ(view.Create(2, 2, 8, 0), nullptr);
        EXPECT_EQ(view.GetDIB(), owner.GetDIB());
        view.DeleteAlpha();
        EXPECT_TRUE(owner.HasAlpha());
        EXPECT_FALSE(view.AddLayer());

        // A view of a view and a copy of a view share the same buffers.
        CRaster viewOfView;
        viewOfView.ShareFrom(view);
        CRaster copyOfView(view);
        EXPECT_EQ(viewOfView.GetDIB(), owner.GetDIB());
        EXPECT_EQ(copyOfView.GetDIB(), owner.GetDIB());
        EXPECT_FALSE(copyOfView.Destroy());

        // Moving out of a view would free the owner's buffers twice.
        CRaster thief;
        EXPECT_FALSE(thief.MoveFrom(view, true));
        EXPECT_EQ(thief.GetDIB(), nullptr);
        EXPECT_FALSE(view.Mirror());
    }
    // The views are gone; the owner still reads its own pixels.
    EXPECT_EQ(owner.GetPixelColor(3, 2).rgbBlue, 30);
}

TEST(RasterViews, AssigningIntoAViewMakesAnOwnCopy) {
    CRaster owner = MakePattern(2, 2, 24);
    CRaster other = MakePattern(5, 1, 8);
    CRaster view;
    view.ShareFrom(owner);
    view = other;
    EXPECT_TRUE(view.Destroy());  // owns its copy now
    EXPECT_EQ(owner.GetWidth(), 2u);
    EXPECT_NE(owner.GetDIB(), nullptr);

    // Sharing releases what the image owned before.
    CRaster sharer = MakePattern(8, 8, 24);
    ASSERT_TRUE(sharer.CreateAlpha());
    sharer.ShareFrom(owner);
    EXPECT_EQ(sharer.GetWidth(), 2u);
    EXPECT_FALSE(sharer.HasAlpha());
}

TEST(RasterMove, TakesEverythingAndEmptiesTheSource) {
    FramedRaster source(3, 3, 24, kRasterTypePng);
    ASSERT_TRUE(source.AddLayer());
    source.AttachFrames(3, 2, 2);
    ASSERT_TRUE(source.CreateAlpha());
    FramedRaster target(1, 1, 8, 0);
    target.AttachFrames(1, 1, 1);

    ASSERT_TRUE(target.MoveFrom(source, false));
    EXPECT_EQ(target.GetWidth(), 3u);
    EXPECT_EQ(target.GetType(), kRasterTypePng);
    EXPECT_TRUE(target.HasAlpha());
    ASSERT_EQ(target.GetLayerCount(), 1);
    EXPECT_EQ(target.GetLayer(0)->GetParent(), &target);
    // Without frames each side keeps its own.
    EXPECT_EQ(target.GetFrameCount(), 1);
    EXPECT_EQ(source.GetFrameCount(), 3);
    EXPECT_FALSE(source.IsValid());
    EXPECT_EQ(source.GetLayerCount(), 0);

    FramedRaster second(2, 2, 24, 0);
    second.AttachFrames(2, 5, 5);
    ASSERT_TRUE(target.MoveFrom(second, true));
    EXPECT_EQ(target.GetFrameCount(), 2);
    EXPECT_EQ(target.GetFrame(-1)->GetWidth(), 5u);
    EXPECT_EQ(second.GetFrameCount(), 0);
    EXPECT_EQ(second.GetFrame(0), nullptr);
}

TEST(RasterLayers, InsertDeleteAndFrameIndexing) {
    CRaster image(2, 2, 8, 0);
    ASSERT_TRUE(image.AddLayer());
    ASSERT_TRUE(image.AddLayer(0));  // in front of the first
    image.GetLayer(1)->Create(7, 1, 8, 0);
    ASSERT_TRUE(image.AddLayer(99));  // too large: appended
    EXPECT_EQ(image.GetLayerCount(), 3);
    EXPECT_EQ(image.GetLayer(1)->GetWidth(), 7u);
    EXPECT_EQ(image.GetLayer(0)->GetParent(), &image);
    EXPECT_EQ(image.GetLayer(3), nullptr);
    EXPECT_EQ(image.GetLayer(-1), nullptr);
    ASSERT_TRUE(image.DeleteLayer(0));
    EXPECT_EQ(image.GetLayer(0)->GetWidth(), 7u);
    EXPECT_FALSE(image.DeleteLayer(5));
    ASSERT_TRUE(image.DeleteLayer());
    ASSERT_TRUE(image.DeleteLayer());
    EXPECT_FALSE(image.DeleteLayer());
    EXPECT_EQ(image.GetLayerCount(), 0);

    FramedRaster animated(2, 2, 8, 0);
    EXPECT_EQ(animated.GetFrame(0), nullptr);
    EXPECT_EQ(animated.GetFrame(-1), nullptr);
    animated.AttachFrames(3, 2, 2);
    EXPECT_EQ(animated.GetFrame(-1), animated.GetFrame(2));
    EXPECT_EQ(animated.GetFrame(-1)->GetPixelIndex(0, 0), 3);
    EXPECT_EQ(animated.GetFrame(3), nullptr);
    EXPECT_EQ(animated.GetFrame(-2), nullptr);
    EXPECT_TRUE(animated.DestroyFrames());
    EXPECT_EQ(animated.GetFrameCount(), 0);
}

TEST(RasterSettings, CopySettingsNeverTakesPointersOrCounts) {
    CRaster caller(3, 3, 8, 0);
    ASSERT_TRUE(caller.AddLayer());
    caller.SetLoadAllFrames(true);
    caller.SetQuality(33.0f);
    caller.RequestHeaderOnly();
    CRaster view;
    view.ShareFrom(caller);

    CRaster codec(kRasterTypeGif);
    codec.CopySettings(view);  // a view's settings must not make the codec a view
    EXPECT_TRUE(codec.GetLoadAllFrames());
    EXPECT_EQ(codec.GetQuality(), 33.0f);
    EXPECT_EQ(codec.GetEscape(), -1);
    EXPECT_EQ(codec.GetType(), kRasterTypeGif);
    EXPECT_EQ(codec.GetLayerCount(), 0);
    EXPECT_NE(codec.Create(2, 2, 8, kRasterTypeGif), nullptr);

    CRaster holder(1, 1, 8, 0);
    holder.CopySettings(caller);  // ignored while a block exists
    EXPECT_FALSE(holder.GetLoadAllFrames());
}

}  // namespace
