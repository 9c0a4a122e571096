// Headers that claim more than their files hold, screens that hide the size a decode makes,
// frames past a limit, and the reason every failed decode gives. Allocations are counted:
// a refused claim must cost nothing near its size.
#include <string>

#include "image/raster_bmp.h"
#include "image/raster_gif.h"
#include "image/raster_jna.h"
#include "image/raster_jpg.h"
#include "image/raster_png.h"
#include "image/raster_tga.h"
#include "tests/image/codec_test_util.h"
#include "tests/support/counting/counting_allocator.h"

namespace {

using lumi::test::AllocationWatch;
using lumi::test::ByteWriter;
using lumi::test::Bytes;
using lumi::test::DecodeBytes;

constexpr std::uint64_t kSmallDecodeBytes = 1 << 20;  // what a refused claim may cost at most

Bytes TgaHeader(unsigned type, unsigned width, unsigned height, unsigned depth) {
    ByteWriter w;
    w.U8(0).U8(0).U8(type).U16(0).U16(0).U8(0).U16(0).U16(0).U16(width).U16(height).U8(depth).U8(0);
    return w.bytes;
}

Bytes BmpHeader(int width, int height, unsigned bits, unsigned compression, std::size_t paletteEntries) {
    ByteWriter w;
    const std::uint32_t offset = 14 + 40 + static_cast<std::uint32_t>(paletteEntries) * 4;
    w.U8('B').U8('M').U32(0).U32(0).U32(offset);
    w.U32(40).U32(static_cast<std::uint32_t>(width)).U32(static_cast<std::uint32_t>(height)).U16(1).U16(bits);
    w.U32(compression).U32(0).U32(0).U32(0).U32(static_cast<std::uint32_t>(paletteEntries)).U32(0);
    for (std::size_t i = 0; i < paletteEntries; ++i) w.U32(0x00102030u * static_cast<std::uint32_t>(i));
    return w.bytes;
}

// A GIF of `images` one-pixel images on a screen of the given size, each its own frame.
Bytes OnePixelFrames(unsigned screenWidth, unsigned screenHeight, int images) {
    ByteWriter w;
    w.Raw(Bytes{'G', 'I', 'F', '8', '9', 'a'}).U16(screenWidth).U16(screenHeight).U8(0x80).U8(0).U8(0);
    w.U8(0).U8(0).U8(0).U8(255).U8(255).U8(255);
    for (int i = 0; i < images; ++i) {
        w.U8('!').U8(0xF9).U8(4).U8(0).U16(static_cast<unsigned>(i + 1)).U8(0).U8(0);
        // One pixel of index 1: clear, 1, end with 3-bit codes, then the block end.
        w.U8(',').U16(0).U16(0).U16(1).U16(1).U8(0).U8(2).U8(2).U8(0x4C).U8(0x01).U8(0);
    }
    return w.U8(';').bytes;
}

template <class Codec>
std::string NullStreamMessage() {
    Codec codec;
    EXPECT_FALSE(codec.Decode(static_cast<CRasterFile*>(nullptr)));
    return codec.GetLastError();
}

TEST(HostileClaims, HeadersClaimingMoreThanTheFileHoldsFailBeforeAllocating) {
    Bytes rleBmp = BmpHeader(8000, 8000, 8, 1, 2);
    rleBmp.insert(rleBmp.end(), {0, 1});  // end of bitmap: run-length data may be this short
    struct Case {
        const char* name;
        Bytes file;
        DWORD type;
        const char* message;
    } cases[] = {
        // The 18-byte TGA: 16000 x 16000 pixels of one byte would be 244 MiB.
        {"stored TGA", TgaHeader(3, 16000, 16000, 8), kRasterTypeTga, "corrupted TGA"},
        {"stored colour TGA", TgaHeader(2, 9000, 9000, 24), kRasterTypeTga, "corrupted TGA"},
        // A packet covers at most 128 pixels, so 10,000 pixels need 79 packets.
        {"run-length TGA", [] {
             Bytes f = TgaHeader(11, 100, 100, 8);
             f.insert(f.end(), 100, 0xFF);
             return f;
         }(),
         kRasterTypeTga, "corrupted TGA"},
        {"stored BMP", BmpHeader(16000, 16000, 8, 0, 2), kRasterTypeBmp, "BMP file too short for its size"},
        {"stored BMP, detected", BmpHeader(16000, 16000, 8, 0, 2), kRasterTypeNone,
         "BMP file too short for its size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRaster image;
        AllocationWatch watch;
        EXPECT_FALSE(DecodeBytes(image, c.file, c.type));
        EXPECT_STREQ(image.GetLastError(), c.message);
        EXPECT_LT(watch.PeakBytes(), kSmallDecodeBytes);
        EXPECT_LT(watch.LargestBlock(), kSmallDecodeBytes);
    }

    // What a file can say in few bytes is decoded: a run-length BMP that ends at once, and a
    // TGA run packet per 128 pixels.
    CRaster rle;
    EXPECT_TRUE(DecodeBytes(rle, rleBmp, kRasterTypeBmp)) << rle.GetLastError();
    Bytes runs = TgaHeader(11, 128, 2, 8);
    runs.insert(runs.end(), {0xFF, 7, 0xFF, 9});
    CRaster packed;
    ASSERT_TRUE(DecodeBytes(packed, runs, kRasterTypeTga)) << packed.GetLastError();
    EXPECT_EQ(packed.GetPixelIndex(127, 1), 9);
}

TEST(HostileClaims, GifScreenOfZeroReportsTheSizeADecodeMakes) {
    // The 35-byte file: a 0 x 0 screen and one 65284 x 25087 image of two colours.
    ByteWriter w;
    w.Raw(Bytes{'G', 'I', 'F', '8', '9', 'a'}).U16(0).U16(0).U8(0x80).U8(0).U8(0).U8(0).U8(0).U8(0).U8(1).U8(1).U8(1);
    w.U8(',').U16(0).U16(0).U16(65284).U16(25087).U8(0).U8(2).U8(2).U8(0x4C).U8(0x01).U8(0).U8(';');
    CRaster probe;
    probe.RequestHeaderOnly();
    ASSERT_TRUE(DecodeBytes(probe, w.bytes, kRasterTypeGif));
    EXPECT_EQ(probe.GetWidth(), 65284u);
    EXPECT_EQ(probe.GetHeight(), 25087u);

    // Placed far to the right, the image makes a screen of the widest a GIF has.
    Bytes far = w.bytes;
    far[20] = 0x60;  // left 60000 (0xEA60), little-endian after the ',' at 19
    far[21] = 0xEA;
    far[24] = 0x98;  // width 8088 (0x1F98)
    far[25] = 0x1F;
    CRaster wide;
    wide.RequestHeaderOnly();
    ASSERT_TRUE(DecodeBytes(wide, far, kRasterTypeGif));
    EXPECT_EQ(wide.GetWidth(), 65535u);

    // A screen the header gives grows to hold a first image that reaches past it: a small
    // screen hides nothing of the size either.
    w.bytes[6] = 2;
    w.bytes[8] = 1;
    CRaster small;
    small.RequestHeaderOnly();
    ASSERT_TRUE(DecodeBytes(small, w.bytes, kRasterTypeGif));
    EXPECT_EQ(small.GetWidth(), 65284u);
    EXPECT_EQ(small.GetHeight(), 25087u);
    w.bytes[24] = 3;  // the image 3 x 2 on the 2 x 1 screen
    w.bytes[25] = 0;
    w.bytes[26] = 2;
    w.bytes[27] = 0;
    CRaster decoded;
    ASSERT_TRUE(DecodeBytes(decoded, w.bytes, kRasterTypeGif)) << decoded.GetLastError();
    EXPECT_EQ(decoded.GetWidth(), 3u);
    EXPECT_EQ(decoded.GetHeight(), 2u);
}

TEST(HostileClaims, KeptFramesStopAtTheLimitAskedBeforeTheyAreCopied) {
    // 40 frames of 256 x 256: a limit of 32 keeps 32, the screen still shows the last image.
    const Bytes file = OnePixelFrames(256, 256, 40);
    CRasterGIF gif;
    gif.SetLoadAllFrames(true);
    gif.SetMaxKeptFrames(32);
    CRasterMemFile stream(const_cast<BYTE*>(file.data()), static_cast<unsigned>(file.size()));
    AllocationWatch watch;
    ASSERT_TRUE(gif.Decode(&stream)) << gif.GetLastError();
    EXPECT_EQ(gif.GetFrameCount(), 32);
    EXPECT_EQ(gif.GetFrame(31)->GetFrameDelay(), 32u);
    EXPECT_EQ(gif.GetFrameDelay(), 40u);
    // 33 screens of 64 KiB (the kept ones and the screen itself) and the decoder's tables.
    EXPECT_GT(watch.PeakBytes(), 33u * 65536);
    EXPECT_LT(watch.PeakBytes(), 33u * 65536 + kSmallDecodeBytes);

    CRaster all;
    all.SetLoadAllFrames(true);
    ASSERT_TRUE(DecodeBytes(all, file, kRasterTypeGif));
    EXPECT_EQ(all.GetFrameCount(), 40);
}

TEST(HostileClaims, EveryFailedDecodeNamesItsReason) {
    CRaster source(5, 3, 24, kRasterTypeNone);
    lumi::test::FillPattern(source, false);
    auto cut = [&](DWORD type, std::size_t keep) {
        Bytes file = lumi::test::EncodeBytes(source, type);
        file.resize(keep);
        return file;
    };
    const Bytes png = lumi::test::EncodeBytes(source, kRasterTypePng);
    struct Case {
        const char* name;
        Bytes file;
        DWORD type;
        const char* message;  // null: the codec's own message, whatever it is, and not empty
    } cases[] = {
        {"GIF signature", {'G', 'I', 'X', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0}, kRasterTypeGif, "Not a GIF"},
        {"GIF cut in its header", {'G', 'I', 'F', '8', '9', 'a', 1}, kRasterTypeGif, "Not a GIF"},
        {"GIF without image", OnePixelFrames(4, 4, 0), kRasterTypeGif, "GIF without image"},
        {"GIF without image, detected", OnePixelFrames(4, 4, 0), kRasterTypeNone, "GIF without image"},
        {"PNG cut, detected", Bytes(png.begin(), png.begin() + 40), kRasterTypeNone, nullptr},
        {"JPEG cut, detected", cut(kRasterTypeJpg, 2), kRasterTypeNone, nullptr},
        {"TGA cut, detected", cut(kRasterTypeTga, 30), kRasterTypeNone, "corrupted TGA"},
        {"JNA cut, detected", cut(kRasterTypeJna, 10), kRasterTypeNone, nullptr},
        {"no format at all", {'n', 'o', 'p', 'e'}, kRasterTypeNone, "Decode: Unknown or wrong format"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRaster image;
        EXPECT_FALSE(DecodeBytes(image, c.file, c.type));
        if (c.message != nullptr) {
            EXPECT_STREQ(image.GetLastError(), c.message);
        } else {
            EXPECT_STRNE(image.GetLastError(), "");
            EXPECT_STRNE(image.GetLastError(), "Decode: Unknown or wrong format");
        }
    }

    // Detection reports what the codec the data looked like says of it.
    const Bytes cutPng(png.begin(), png.begin() + 40);
    CRaster typed;
    EXPECT_FALSE(DecodeBytes(typed, cutPng, kRasterTypePng));
    CRaster detected;
    EXPECT_FALSE(DecodeBytes(detected, cutPng, kRasterTypeNone));
    EXPECT_STREQ(detected.GetLastError(), typed.GetLastError());

    CRasterGIF late;
    late.SetCurrentFrame(1);
    const Bytes one = OnePixelFrames(4, 4, 1);
    CRasterMemFile stream(const_cast<BYTE*>(one.data()), static_cast<unsigned>(one.size()));
    EXPECT_FALSE(late.Decode(&stream));
    EXPECT_STREQ(late.GetLastError(), "GIF frame out of range");
    CRasterGIF noStream;
    EXPECT_FALSE(noStream.Decode(static_cast<FILE*>(nullptr)));
    EXPECT_STREQ(noStream.GetLastError(), "null file handler");
    EXPECT_EQ(NullStreamMessage<CRasterBMP>(), "null file handler");
    EXPECT_EQ(NullStreamMessage<CRasterGIF>(), "null file handler");
    EXPECT_EQ(NullStreamMessage<CRasterJPG>(), "null file handler");
    EXPECT_EQ(NullStreamMessage<CRasterPNG>(), "null file handler");
    EXPECT_EQ(NullStreamMessage<CRasterTGA>(), "null file handler");
    EXPECT_EQ(NullStreamMessage<CRasterJNA>(), "null file handler");

    CRasterPNG cancelled;
    cancelled.SetEscape(1);
    CRasterMemFile pngStream(const_cast<BYTE*>(png.data()), static_cast<unsigned>(png.size()));
    EXPECT_FALSE(cancelled.Decode(&pngStream));
    EXPECT_STREQ(cancelled.GetLastError(), "Cancelled");
}

TEST(HostileClaims, DecodeExifSaysWhyThereIsNoExif) {
    CRaster source(4, 4, 24, kRasterTypeNone);
    lumi::test::FillPattern(source, false);
    const Bytes plain = lumi::test::EncodeBytes(source, kRasterTypeJpg);
    Bytes badExif = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x10, 'E', 'x', 'i', 'f', 0, 0, 'X', 'X', 0, 0, 0, 0, 0, 0};
    badExif.insert(badExif.end(), plain.begin() + 2, plain.end());
    struct Case {
        const char* name;
        Bytes file;
        const char* message;
    } cases[] = {
        {"no EXIF block", plain, "no EXIF data"},
        {"not a JPEG", {'n', 'o', 'p', 'e'}, "Not a JPEG file"},
        {"bad EXIF block", badExif, "Invalid Exif alignment marker."},
        {"cut in a segment", {0xFF, 0xD8, 0xFF, 0xE5, 0x00, 0x40, 1, 2}, "Premature end of file?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRasterJPG codec;
        CRasterMemFile stream(const_cast<BYTE*>(c.file.data()), static_cast<unsigned>(c.file.size()));
        EXPECT_FALSE(codec.DecodeExif(&stream));
        EXPECT_STREQ(codec.GetLastError(), c.message);
    }
    CRasterJPG codec;
    EXPECT_FALSE(codec.DecodeExif(static_cast<CRasterFile*>(nullptr)));
    EXPECT_STREQ(codec.GetLastError(), "null file handler");
    // A decode that reads no EXIF data on the side leaves no message behind.
    CRaster image;
    ASSERT_TRUE(DecodeBytes(image, plain, kRasterTypeJpg));
    EXPECT_STREQ(image.GetLastError(), "");
}

}  // namespace
