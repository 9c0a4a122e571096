// The flat form: round trips, and data that lies about its sizes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image/raster.h"
#include "tests/image/raster_test_util.h"
#include "tests/support/counting/counting_allocator.h"

namespace {

using lumi::test::FramedRaster;

std::vector<BYTE> FlattenAll(const CRaster& image) {
    std::vector<BYTE> bytes(image.FlatSize());
    EXPECT_EQ(image.Flatten(bytes.data(), bytes.size()), bytes.size());
    return bytes;
}

TEST(RasterFlat, RoundTripWithPlanesLayersAndFrames) {
    FramedRaster source(5, 3, 4, kRasterTypeTga);
    source.SetPaletteColor(2, 10, 20, 30);
    source.SetPixelIndex(4, 2, 2);
    ASSERT_TRUE(source.CreateAlpha());
    source.SetAlphaAt(1, 1, 77);
    source.AddPixelToSelection(3, 0, 5);
    source.SetDpiX(300);
    ASSERT_TRUE(source.AddLayer());
    source.GetLayer(0)->Create(2, 2, 24, 0);
    source.GetLayer(0)->SetPixelColor(1, 1, RGBQUAD{1, 2, 3, 0});
    source.AttachFrames(2, 3, 3);

    const std::vector<BYTE> bytes = FlattenAll(source);
    std::vector<BYTE> tooSmall(bytes.size() - 1);
    EXPECT_EQ(source.Flatten(tooSmall.data(), tooSmall.size()), 0u);

    CRaster copy(9, 9, 8, 0);
    ASSERT_EQ(copy.Unflatten(bytes.data(), bytes.size()), bytes.size());
    EXPECT_EQ(copy.GetWidth(), 5u);
    EXPECT_EQ(copy.GetBpp(), 4);
    EXPECT_EQ(copy.GetType(), kRasterTypeTga);
    EXPECT_EQ(copy.GetDpiX(), 300);
    EXPECT_EQ(copy.GetPixelIndex(4, 2), 2);
    EXPECT_EQ(copy.GetPaletteColor(2).rgbRed, 10);
    EXPECT_EQ(copy.GetAlphaAt(1, 1), 77);
    EXPECT_EQ(copy.GetSelectionAt(3, 0), 5);
    EXPECT_EQ(copy.GetSelectionBox().left, 3);
    ASSERT_EQ(copy.GetLayerCount(), 1);
    EXPECT_EQ(copy.GetLayer(0)->GetParent(), &copy);
    EXPECT_EQ(copy.GetLayer(0)->GetPixelColor(1, 1).rgbRed, 3);
    ASSERT_EQ(copy.GetFrameCount(), 2);
    EXPECT_EQ(copy.GetFrame(1)->GetPixelIndex(2, 2), 2);
    // Stored pointers are never believed: the copy owns fresh buffers.
    EXPECT_NE(copy.GetDIB(), source.GetDIB());
    EXPECT_TRUE(copy.Destroy());

    CRaster empty;
    const std::vector<BYTE> emptyBytes = FlattenAll(empty);
    CRaster restored(2, 2, 8, 0);
    ASSERT_EQ(restored.Unflatten(emptyBytes.data(), emptyBytes.size()), emptyBytes.size());
    EXPECT_FALSE(restored.IsValid());
}

TEST(RasterFlat, RejectsShortAndLyingDataAndLeavesTheImage) {
    CRaster source(4, 4, 8, 0);
    ASSERT_TRUE(source.AddLayer());
    source.GetLayer(0)->Create(3, 3, 8, 0);
    const std::vector<BYTE> bytes = FlattenAll(source);

    CRaster target(2, 1, 24, 0);
    target.SetPixelColor(1, 0, RGBQUAD{9, 9, 9, 0});
    auto unchanged = [&target] {
        return target.GetWidth() == 2 && target.GetPixelColor(1, 0).rgbBlue == 9;
    };
    // Every truncation fails without touching the target.
    for (std::size_t n : {std::size_t{0}, std::size_t{39}, std::size_t{100}, bytes.size() / 2, bytes.size() - 1}) {
        EXPECT_EQ(target.Unflatten(bytes.data(), n), 0u) << n;
        ASSERT_TRUE(unchanged()) << n;
    }
    EXPECT_EQ(target.Unflatten(nullptr, 100), 0u);

    auto corrupt = [&bytes](std::size_t offset, const void* value, std::size_t size) {
        std::vector<BYTE> copy = bytes;
        std::memcpy(copy.data() + offset, value, size);
        return copy;
    };
    const LONG hugeWidth = 0x7FFFFFFF;
    const DWORD wrongColors = 2;
    const LONG manyLayers = 1000000;
    const BYTE badFlag = 7;
    const std::size_t blockEnd = 40 + sizeof(raster_info_t) + source.GetSize();
    const std::vector<std::vector<BYTE>> lies = {
        corrupt(offsetof(BITMAPINFOHEADER, biWidth), &hugeWidth, 4),
        corrupt(offsetof(BITMAPINFOHEADER, biClrUsed), &wrongColors, 4),
        corrupt(40 + offsetof(raster_info_t, layer_count), &manyLayers, 4),
        corrupt(blockEnd, &badFlag, 1),
    };
    for (std::size_t i = 0; i < lies.size(); ++i) {
        EXPECT_EQ(target.Unflatten(lies[i].data(), lies[i].size()), 0u) << "lie " << i;
        ASSERT_TRUE(unchanged()) << i;
    }

    // Garbage in the stored pointers and flag bytes does no harm.
    std::vector<BYTE> garbage = bytes;
    std::memset(garbage.data() + 40 + offsetof(raster_info_t, pixels), 0xAB, 3 * sizeof(void*));
    garbage[40 + offsetof(raster_info_t, enabled)] = 0x5A;
    CRaster fromGarbage;
    ASSERT_EQ(fromGarbage.Unflatten(garbage.data(), garbage.size()), garbage.size());
    EXPECT_TRUE(fromGarbage.Destroy());  // not a view of a stale owner
    EXPECT_TRUE(fromGarbage.IsEnabled());

    CRaster view;
    view.ShareFrom(source);
    EXPECT_EQ(view.Unflatten(bytes.data(), bytes.size()), 0u);
}

// The pixels are stored raw: a header claiming a picture the data cannot hold costs nothing
// near its size.
TEST(RasterFlat, SizesBeyondTheDataFailBeforeTheBlockIsMade) {
    CRaster source(4, 4, 24, 0);
    std::vector<BYTE> bytes = FlattenAll(source);
    const LONG side = 8000;  // 8000 x 8000 at 24 bits: 183 MiB
    const DWORD imageBytes = 8000 * 8000 * 3;
    std::memcpy(bytes.data() + offsetof(BITMAPINFOHEADER, biWidth), &side, 4);
    std::memcpy(bytes.data() + offsetof(BITMAPINFOHEADER, biHeight), &side, 4);
    std::memcpy(bytes.data() + offsetof(BITMAPINFOHEADER, biSizeImage), &imageBytes, 4);
    CRaster target;
    lumi::test::AllocationWatch watch;
    EXPECT_EQ(target.Unflatten(bytes.data(), bytes.size()), 0u);
    EXPECT_LT(watch.LargestBlock(), 1u << 20);
}

// Layers nested deeper than the reader allows are refused instead of recursing on.
TEST(RasterFlat, NestingIsBounded) {
    CRaster root(1, 1, 8, 0);
    CRaster* level = &root;
    for (int i = 0; i < 12; ++i) {
        ASSERT_TRUE(level->AddLayer());
        level = level->GetLayer(0);
    }
    const std::vector<BYTE> bytes = FlattenAll(root);
    CRaster target;
    EXPECT_EQ(target.Unflatten(bytes.data(), bytes.size()), 0u);
}

}  // namespace
