// Surface copies in memory: format conversion, stretch filters, colour key, DXT blocks.
#include "platform/d3dx9/surface_copy.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/d3dx9/d3dx9.h"
#include "platform/d3dx9/image_buffer.h"

namespace {

using d3dx::CopySurfaceRect;
using d3dx::ImageBuffer;

ImageBuffer Argb(unsigned width, unsigned height, const std::vector<std::uint32_t>& pixels) {
    ImageBuffer image;
    EXPECT_TRUE(image.Allocate(D3DFMT_A8R8G8B8, width, height));
    for (unsigned i = 0; i < pixels.size(); ++i) d3d9sw::WritePixel(image.View(), static_cast<int>(i % width), static_cast<int>(i / width), pixels[i]);
    return image;
}

std::vector<std::uint32_t> Pixels(ImageBuffer& image) {
    std::vector<std::uint32_t> out;
    for (unsigned y = 0; y < image.height; ++y)
        for (unsigned x = 0; x < image.width; ++x) out.push_back(d3d9sw::ReadPixel(image.View(), static_cast<int>(x), static_cast<int>(y)));
    return out;
}

int Channel(std::uint32_t argb, int shift) { return static_cast<int>((argb >> shift) & 0xFF); }

// Largest per-channel difference between two colours.
int Distance(std::uint32_t a, std::uint32_t b) {
    int worst = 0;
    for (int shift = 0; shift < 32; shift += 8) worst = std::max(worst, std::abs(Channel(a, shift) - Channel(b, shift)));
    return worst;
}

// Colour channels' largest rounding error per format (half a step of the narrowest channel).
struct FormatCase {
    D3DFORMAT format;
    int tolerance;
};
const FormatCase kUncompressed[] = {
    {D3DFMT_A8R8G8B8, 0}, {D3DFMT_X8R8G8B8, 0}, {D3DFMT_R5G6B5, 4},
    {D3DFMT_X1R5G5B5, 4}, {D3DFMT_A1R5G5B5, 4}, {D3DFMT_A4R4G4B4, 9},
};

TEST(SurfaceCopy, OpaqueColoursSurviveEveryPairOfColourFormats) {
    const std::vector<std::uint32_t> colours = {0xFF000000, 0xFFFFFFFF, 0xFF123456, 0xFF808080, 0xFFF0A010, 0xFF0FE0C8};
    ImageBuffer source = Argb(6, 1, colours);
    for (const FormatCase& from : kUncompressed) {
        for (const FormatCase& to : kUncompressed) {
            ImageBuffer a, b, back;
            ASSERT_TRUE(a.Allocate(from.format, 6, 1) && b.Allocate(to.format, 6, 1) && back.Allocate(D3DFMT_A8R8G8B8, 6, 1));
            ASSERT_EQ(CopySurfaceRect(a.View(), nullptr, source.View(), nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
            ASSERT_EQ(CopySurfaceRect(b.View(), nullptr, a.View(), nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
            ASSERT_EQ(CopySurfaceRect(back.View(), nullptr, b.View(), nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
            const std::vector<std::uint32_t> result = Pixels(back);
            for (std::size_t i = 0; i < colours.size(); ++i)
                EXPECT_LE(Distance(result[i], colours[i]), from.tolerance + to.tolerance)
                    << std::hex << from.format << " -> " << to.format << ": " << colours[i] << " came back " << result[i];
        }
    }
}

TEST(SurfaceCopy, AlphaIsKeptQuantisedOrDroppedAsTheFormatHolds) {
    ImageBuffer source = Argb(3, 1, {0x00FF0000, 0x7F00FF00, 0xC00000FF});
    struct Expect {
        D3DFORMAT format;
        int alpha[3];
    } cases[] = {
        {D3DFMT_A8R8G8B8, {0x00, 0x7F, 0xC0}}, {D3DFMT_X8R8G8B8, {0xFF, 0xFF, 0xFF}},
        {D3DFMT_A1R5G5B5, {0x00, 0x00, 0xFF}}, {D3DFMT_A4R4G4B4, {0x00, 0x77, 0xBB}},
        {D3DFMT_A8, {0x00, 0x7F, 0xC0}},
    };
    for (const Expect& c : cases) {
        ImageBuffer converted, back;
        ASSERT_TRUE(converted.Allocate(c.format, 3, 1) && back.Allocate(D3DFMT_A8R8G8B8, 3, 1));
        ASSERT_EQ(CopySurfaceRect(converted.View(), nullptr, source.View(), nullptr, D3DX_FILTER_POINT, 0), D3D_OK);
        ASSERT_EQ(CopySurfaceRect(back.View(), nullptr, converted.View(), nullptr, D3DX_FILTER_POINT, 0), D3D_OK);
        const std::vector<std::uint32_t> result = Pixels(back);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(Channel(result[i], 24), c.alpha[i]) << std::hex << c.format << " pixel " << i;
    }
}

TEST(SurfaceCopy, LuminanceUsesRec709Weights) {
    ImageBuffer source = Argb(3, 1, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF});
    ImageBuffer grey;
    ASSERT_TRUE(grey.Allocate(D3DFMT_L8, 3, 1));
    ASSERT_EQ(CopySurfaceRect(grey.View(), nullptr, source.View(), nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
    // 0.2125, 0.7154, 0.0721 of 255
    EXPECT_NEAR(grey.bits[0], 54, 1);
    EXPECT_NEAR(grey.bits[1], 182, 1);
    EXPECT_NEAR(grey.bits[2], 19, 1);
}

// A smooth 8x8 diagonal ramp in colour and alpha: what DXT blocks handle well.
ImageBuffer Gradient() {
    std::vector<std::uint32_t> pixels;
    for (std::uint32_t y = 0; y < 8; ++y)
        for (std::uint32_t x = 0; x < 8; ++x) {
            const std::uint32_t t = x + y;
            pixels.push_back(((t * 16) << 24) | ((t * 8) << 16) | ((t * 6 + 40) << 8) | 0x40);
        }
    return Argb(8, 8, pixels);
}

TEST(SurfaceCopy, DxtRoundTripStaysWithinTheFormatsError) {
    struct DxtCase {
        D3DFORMAT format;
        int colourError, alphaError;  // alpha -1: one-bit alpha
    } cases[] = {{D3DFMT_DXT1, 12, -1}, {D3DFMT_DXT3, 12, 9}, {D3DFMT_DXT5, 12, 8}};
    ImageBuffer source = Gradient();
    const std::vector<std::uint32_t> original = Pixels(source);
    for (const DxtCase& c : cases) {
        ImageBuffer blocks, back;
        ASSERT_TRUE(blocks.Allocate(c.format, 8, 8) && back.Allocate(D3DFMT_A8R8G8B8, 8, 8));
        ASSERT_EQ(CopySurfaceRect(blocks.View(), nullptr, source.View(), nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
        ASSERT_EQ(CopySurfaceRect(back.View(), nullptr, blocks.View(), nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
        const std::vector<std::uint32_t> result = Pixels(back);
        for (std::size_t i = 0; i < original.size(); ++i) {
            const std::uint32_t a = original[i], b = result[i];
            const int alpha = Channel(a, 24);
            if (c.alphaError < 0) {
                EXPECT_EQ(Channel(b, 24), alpha < 128 ? 0 : 255) << "DXT1 pixel " << i;
                if (alpha < 128) continue;  // transparent black
            } else {
                EXPECT_LE(std::abs(Channel(b, 24) - alpha), c.alphaError) << std::hex << c.format << " alpha of pixel " << i;
            }
            EXPECT_LE(Distance(a | 0xFF000000u, b | 0xFF000000u), c.colourError) << std::hex << c.format << " pixel " << i;
        }
    }
}

TEST(SurfaceCopy, DxtRectangleInsideABlockKeepsTheRestOfTheBlock) {
    ImageBuffer red = Argb(8, 8, std::vector<std::uint32_t>(64, 0xFFFF0000));
    ImageBuffer green = Argb(2, 2, std::vector<std::uint32_t>(4, 0xFF00FF00));
    ImageBuffer blocks, back;
    ASSERT_TRUE(blocks.Allocate(D3DFMT_DXT1, 8, 8) && back.Allocate(D3DFMT_A8R8G8B8, 8, 8));
    ASSERT_EQ(CopySurfaceRect(blocks.View(), nullptr, red.View(), nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
    const RECT inside{1, 1, 3, 3};
    ASSERT_EQ(CopySurfaceRect(blocks.View(), &inside, green.View(), nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
    ASSERT_EQ(CopySurfaceRect(back.View(), nullptr, blocks.View(), nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
    const std::vector<std::uint32_t> result = Pixels(back);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool isGreen = x >= 1 && x < 3 && y >= 1 && y < 3;
            EXPECT_EQ(result[static_cast<std::size_t>(y * 8 + x)], isGreen ? 0xFF00FF00u : 0xFFFF0000u) << x << "," << y;
        }
}

TEST(SurfaceCopy, SameFormatCopyMovesBlocksUnchanged) {
    ImageBuffer source = Gradient();
    ImageBuffer dxt, copy;
    ASSERT_TRUE(dxt.Allocate(D3DFMT_DXT5, 8, 8) && copy.Allocate(D3DFMT_DXT5, 4, 4));
    ASSERT_EQ(CopySurfaceRect(dxt.View(), nullptr, source.View(), nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
    const RECT lowerRight{4, 4, 8, 8};
    ASSERT_EQ(CopySurfaceRect(copy.View(), nullptr, dxt.View(), &lowerRight, D3DX_DEFAULT, 0), D3D_OK);
    EXPECT_TRUE(std::equal(copy.bits.begin(), copy.bits.end(), dxt.bits.begin() + dxt.pitch + 16));
}

constexpr std::uint32_t kBlack = 0xFF000000, kWhite = 0xFFFFFFFF;

std::vector<int> Blues(ImageBuffer& image) {
    std::vector<int> out;
    for (std::uint32_t p : Pixels(image)) out.push_back(Channel(p, 0));
    return out;
}

std::vector<int> Stretch(const std::vector<std::uint32_t>& row, unsigned to, DWORD filter) {
    ImageBuffer source = Argb(static_cast<unsigned>(row.size()), 1, row);
    ImageBuffer dest;
    EXPECT_TRUE(dest.Allocate(D3DFMT_A8R8G8B8, to, 1));
    EXPECT_EQ(CopySurfaceRect(dest.View(), nullptr, source.View(), nullptr, filter, 0), D3D_OK);
    return Blues(dest);
}

TEST(SurfaceCopy, StretchFiltersOnAKnownRow) {
    EXPECT_EQ(Stretch({kBlack, kWhite}, 4, D3DX_FILTER_POINT), (std::vector<int>{0, 0, 255, 255}));
    EXPECT_EQ(Stretch({kBlack, kWhite}, 4, D3DX_FILTER_LINEAR), (std::vector<int>{0, 64, 191, 255}));
    EXPECT_EQ(Stretch({kBlack, kWhite}, 4, D3DX_DEFAULT), (std::vector<int>{0, 64, 191, 255}));
    const std::vector<std::uint32_t> ramp = {0xFF000000, 0xFF000064, 0xFF0000C8, 0xFF0000FF};
    EXPECT_EQ(Stretch(ramp, 2, D3DX_FILTER_BOX), (std::vector<int>{50, 228}));
    EXPECT_EQ(Stretch(ramp, 2, D3DX_DEFAULT), (std::vector<int>{50, 228}));
    EXPECT_EQ(Stretch(ramp, 2, D3DX_FILTER_POINT), (std::vector<int>{100, 255}));
    // Three into two: the middle pixel is shared half and half.
    EXPECT_EQ(Stretch({0xFF000000, 0xFF000060, 0xFF0000C0}, 2, D3DX_FILTER_BOX), (std::vector<int>{32, 160}));
}

TEST(SurfaceCopy, FilterNoneCopiesTopLeftAndLeavesTransparentBlackOutside) {
    ImageBuffer source = Argb(2, 2, {0xFF112233, 0xFF445566, 0xFF778899, 0xFFAABBCC});
    ImageBuffer dest = Argb(3, 3, std::vector<std::uint32_t>(9, 0xFFFFFFFF));
    ASSERT_EQ(CopySurfaceRect(dest.View(), nullptr, source.View(), nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
    EXPECT_EQ(Pixels(dest), (std::vector<std::uint32_t>{0xFF112233, 0xFF445566, 0, 0xFF778899, 0xFFAABBCC, 0, 0, 0, 0}));
    // Shrinking with NONE crops.
    ImageBuffer small;
    ASSERT_TRUE(small.Allocate(D3DFMT_A8R8G8B8, 1, 1));
    ASSERT_EQ(CopySurfaceRect(small.View(), nullptr, source.View(), nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
    EXPECT_EQ(Pixels(small), (std::vector<std::uint32_t>{0xFF112233}));
}

TEST(SurfaceCopy, ColourKeyMakesMatchingPixelsTransparentBlack) {
    ImageBuffer source = Argb(3, 1, {0xFFFF00FF, 0xFF00FF00, 0x80FF00FF});
    ImageBuffer dest;
    ASSERT_TRUE(dest.Allocate(D3DFMT_A8R8G8B8, 3, 1));
    ASSERT_EQ(CopySurfaceRect(dest.View(), nullptr, source.View(), nullptr, D3DX_FILTER_NONE, 0xFFFF00FF), D3D_OK);
    // Only an exact match (alpha included) is keyed.
    EXPECT_EQ(Pixels(dest), (std::vector<std::uint32_t>{0, 0xFF00FF00, 0x80FF00FF}));

    // A format without alpha reads opaque, so an opaque key matches it; the key applies before stretching.
    ImageBuffer r565, wide;
    ASSERT_TRUE(r565.Allocate(D3DFMT_R5G6B5, 3, 1) && wide.Allocate(D3DFMT_A8R8G8B8, 6, 1));
    ASSERT_EQ(CopySurfaceRect(r565.View(), nullptr, source.View(), nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
    ASSERT_EQ(CopySurfaceRect(wide.View(), nullptr, r565.View(), nullptr, D3DX_FILTER_POINT, 0xFFFF00FF), D3D_OK);
    EXPECT_EQ(Pixels(wide), (std::vector<std::uint32_t>{0, 0, 0xFF00FF00, 0xFF00FF00, 0, 0}));
}

TEST(SurfaceCopy, RectanglesSelectSourceAndDestination) {
    ImageBuffer source = Argb(4, 1, {1 | kBlack, 2 | kBlack, 3 | kBlack, 4 | kBlack});
    ImageBuffer dest = Argb(4, 2, std::vector<std::uint32_t>(8, kWhite));
    const RECT from{1, 0, 3, 1}, to{2, 1, 4, 2};
    ASSERT_EQ(CopySurfaceRect(dest.View(), &to, source.View(), &from, D3DX_FILTER_NONE, 0), D3D_OK);
    EXPECT_EQ(Pixels(dest), (std::vector<std::uint32_t>{kWhite, kWhite, kWhite, kWhite, kWhite, kWhite, 2 | kBlack, 3 | kBlack}));
}

TEST(SurfaceCopy, BadRectanglesFiltersAndFormatsAreRefused) {
    ImageBuffer source = Argb(4, 4, std::vector<std::uint32_t>(16, kWhite));
    ImageBuffer dest = Argb(4, 4, std::vector<std::uint32_t>(16, kBlack));
    const RECT outside{2, 2, 5, 4}, empty{1, 1, 1, 3}, inverted{3, 0, 1, 2}, negative{-1, 0, 2, 2};
    for (const RECT* bad : {&outside, &empty, &inverted, &negative}) {
        EXPECT_EQ(CopySurfaceRect(dest.View(), bad, source.View(), nullptr, D3DX_FILTER_POINT, 0), D3DERR_INVALIDCALL);
        EXPECT_EQ(CopySurfaceRect(dest.View(), nullptr, source.View(), bad, D3DX_FILTER_POINT, 0), D3DERR_INVALIDCALL);
    }
    EXPECT_EQ(CopySurfaceRect(dest.View(), nullptr, source.View(), nullptr, 0, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(CopySurfaceRect(dest.View(), nullptr, source.View(), nullptr, 6, 0), D3DERR_INVALIDCALL);
    // Flags above the filter kind are accepted.
    EXPECT_EQ(CopySurfaceRect(dest.View(), nullptr, source.View(), nullptr, D3DX_FILTER_LINEAR | D3DX_FILTER_DITHER, 0), D3D_OK);
    std::vector<std::uint8_t> depthBits(32);
    const d3d9sw::SurfaceView depth{D3DFMT_D16, 4, 4, 8, depthBits.data()};
    EXPECT_EQ(CopySurfaceRect(dest.View(), nullptr, depth, nullptr, D3DX_FILTER_NONE, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(Pixels(dest), std::vector<std::uint32_t>(16, kWhite)) << "only the good calls wrote";
}

TEST(ImageBuffer, RefusesZeroHugeAndUnsupportedSizesBeforeAllocating) {
    ImageBuffer image;
    EXPECT_FALSE(image.Allocate(D3DFMT_A8R8G8B8, 0, 4));
    EXPECT_FALSE(image.Allocate(D3DFMT_A8R8G8B8, 4, 0));
    EXPECT_FALSE(image.Allocate(D3DFMT_A8R8G8B8, d3dx::kMaxImageDimension + 1, 1));
    EXPECT_FALSE(image.Allocate(D3DFMT_A8R8G8B8, d3dx::kMaxImageDimension, d3dx::kMaxImageDimension));  // 1 GiB
    EXPECT_FALSE(image.Allocate(D3DFMT_R8G8B8, 4, 4));
    EXPECT_FALSE(image.Allocate(D3DFMT_D16, 4, 4));
    EXPECT_TRUE(image.bits.empty());
    ASSERT_TRUE(image.Allocate(D3DFMT_DXT1, 5, 5));
    EXPECT_EQ(image.pitch, 16u);
    EXPECT_EQ(image.bits.size(), 32u);
}

}  // namespace
