// TGA codec: round trips, every image type and orientation, colour maps, hostile files.
#include "image/raster_tga.h"
#include "tests/image/codec_test_util.h"

namespace {

using lumi::test::ByteWriter;
using lumi::test::Bytes;
using lumi::test::Bgr;
using lumi::test::DecodeBytes;
using lumi::test::ExpectColor;
using lumi::test::Hex;

struct TgaSpec {
    BYTE cmap_type = 0;
    BYTE type = 2;
    WORD cmap_first = 0, cmap_length = 0;
    BYTE cmap_bits = 0;
    WORD width = 1, height = 1;
    BYTE depth = 24;
    BYTE descriptor = 0;
    Bytes id, cmap, pixels;
};

Bytes BuildTga(const TgaSpec& s) {
    ByteWriter w;
    w.U8(s.id.size()).U8(s.cmap_type).U8(s.type).U16(s.cmap_first).U16(s.cmap_length).U8(s.cmap_bits);
    w.U16(0).U16(0).U16(s.width).U16(s.height).U8(s.depth).U8(s.descriptor);
    return w.Raw(s.id).Raw(s.cmap).Raw(s.pixels).bytes;
}

TEST(TgaCodec, RoundTripsEveryDepth) {
    for (DWORD bits : {8u, 24u}) {
        for (bool withAlpha : {false, true}) {
            if (withAlpha && bits != 24) continue;
            SCOPED_TRACE(testing::Message() << bits << " bits, alpha " << withAlpha);
            CRaster source(11, 6, bits, 0);
            lumi::test::FillPattern(source, withAlpha);
            const Bytes file = lumi::test::EncodeBytes(source, kRasterTypeTga);
            ASSERT_FALSE(file.empty()) << source.GetLastError();
            CRaster decoded;
            ASSERT_TRUE(DecodeBytes(decoded, file, kRasterTypeTga)) << decoded.GetLastError();
            lumi::test::ExpectSamePixels(source, decoded);
        }
    }
    CRaster mono(4, 4, 1, 0);
    EXPECT_TRUE(lumi::test::EncodeBytes(mono, kRasterTypeTga).empty());
    EXPECT_STREQ(mono.GetLastError(), "Bit depth must be 8 or 24");
    // 16-bit size fields cannot hold it: refused rather than written truncated.
    CRaster wide(70000, 1, 8, 0);
    EXPECT_TRUE(lumi::test::EncodeBytes(wide, kRasterTypeTga).empty());
    EXPECT_STREQ(wide.GetLastError(), "image too large for format");
    CRaster colour(8, 8, 24, 0);
    lumi::test::FailingWriteFile file(100);
    EXPECT_FALSE(colour.Encode(&file, kRasterTypeTga));
    EXPECT_STREQ(colour.GetLastError(), "Write Error");
}

TEST(TgaCodec, PacketsCarryAcrossRows) {
    TgaSpec rle;
    rle.type = 10;
    rle.width = 3;
    rle.height = 2;
    // A run of 4 crosses the end of row 0, then 2 raw pixels finish row 1.
    rle.pixels = {0x83, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9};
    CRaster image;
    ASSERT_TRUE(DecodeBytes(image, BuildTga(rle), kRasterTypeTga)) << image.GetLastError();
    const RGBQUAD want[2][3] = {{Bgr(1, 2, 3), Bgr(1, 2, 3), Bgr(1, 2, 3)}, {Bgr(1, 2, 3), Bgr(4, 5, 6), Bgr(7, 8, 9)}};
    for (LONG y = 0; y < 2; ++y)
        for (LONG x = 0; x < 3; ++x) ExpectColor(image, x, y, want[y][x]);

    // One run for the whole image: the last row needs no bytes of its own.
    rle.pixels = {0x85, 7, 7, 7};
    ASSERT_TRUE(DecodeBytes(image, BuildTga(rle), kRasterTypeTga)) << image.GetLastError();
    ExpectColor(image, 2, 1, Bgr(7, 7, 7));

    // A raw packet of 4 crosses the row end, then a run of 2.
    rle.pixels = {0x03, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 0x81, 5, 5, 5};
    ASSERT_TRUE(DecodeBytes(image, BuildTga(rle), kRasterTypeTga)) << image.GetLastError();
    ExpectColor(image, 2, 0, Bgr(3, 3, 3));
    ExpectColor(image, 0, 1, Bgr(4, 4, 4));
    ExpectColor(image, 2, 1, Bgr(5, 5, 5));
}

TEST(TgaCodec, DecodesColourMapsGreyAndSixteenBits) {
    // Colour-mapped, 16-bit entries numbered from 2, behind an image ID; raw and run-length.
    TgaSpec mapped;
    mapped.type = 1;
    mapped.cmap_type = 1;
    mapped.cmap_first = 2;
    mapped.cmap_length = 2;
    mapped.cmap_bits = 16;
    mapped.depth = 8;
    mapped.width = 2;
    mapped.id = {'h', 'i'};
    mapped.cmap = {0x1F, 0x00, 0x00, 0x7C};
    mapped.pixels = {3, 2};
    CRaster image;
    ASSERT_TRUE(DecodeBytes(image, BuildTga(mapped), kRasterTypeTga)) << image.GetLastError();
    ExpectColor(image, 0, 0, Bgr(0, 0, 0xF8));
    ExpectColor(image, 1, 0, Bgr(0xF8, 0, 0));
    mapped.type = 9;
    mapped.cmap_bits = 32;
    mapped.cmap = {1, 2, 3, 4, 5, 6, 7, 8};
    mapped.pixels = {0x81, 3};
    ASSERT_TRUE(DecodeBytes(image, BuildTga(mapped), kRasterTypeTga)) << image.GetLastError();
    ExpectColor(image, 1, 0, Bgr(5, 6, 7));
    EXPECT_FALSE(image.HasAlpha());

    for (BYTE type : {3, 11}) {
        TgaSpec grey;
        grey.type = type;
        grey.depth = 8;
        grey.width = 2;
        grey.pixels = type == 3 ? Bytes{0x40, 0xC0} : Bytes{0x00, 0x40, 0x80, 0xC0};
        ASSERT_TRUE(DecodeBytes(image, BuildTga(grey), kRasterTypeTga)) << image.GetLastError();
        ExpectColor(image, 1, 0, Bgr(0xC0, 0xC0, 0xC0));
    }

    for (BYTE depth : {15, 16}) {
        TgaSpec packed;
        packed.depth = depth;
        packed.width = 4;
        packed.pixels = {0xFF, 0xFF, 0x1F, 0x00, 0xE0, 0x03, 0x00, 0x7C};
        ASSERT_TRUE(DecodeBytes(image, BuildTga(packed), kRasterTypeTga)) << image.GetLastError();
        const RGBQUAD want[4] = {Bgr(0xF8, 0xF8, 0xF8), Bgr(0xF8, 0, 0), Bgr(0, 0xF8, 0), Bgr(0, 0, 0xF8)};
        for (LONG x = 0; x < 4; ++x) ExpectColor(image, x, 0, want[x]);
    }
}

TEST(TgaCodec, EveryOrientationKeepsAlphaWithItsPixel) {
    // File order p0 p1 / p2 p3; each pixel's alpha is its own blue value.
    const Bytes pixels = {10, 0, 0, 10, 20, 0, 0, 20, 30, 0, 0, 30, 40, 0, 0, 40};
    struct Layout {
        BYTE descriptor;
        LONG x[4], y[4];  // where p0..p3 land (y from the bottom)
    } layouts[] = {{0x00, {0, 1, 0, 1}, {0, 0, 1, 1}},
                   {0x10, {1, 0, 1, 0}, {0, 0, 1, 1}},
                   {0x20, {0, 1, 0, 1}, {1, 1, 0, 0}},
                   {0x30, {1, 0, 1, 0}, {1, 1, 0, 0}}};
    for (const Layout& l : layouts) {
        for (BYTE type : {2, 10}) {
            SCOPED_TRACE(testing::Message() << "descriptor " << int(l.descriptor) << ", type " << int(type));
            TgaSpec spec;
            spec.type = type;
            spec.depth = 32;
            spec.width = spec.height = 2;
            spec.descriptor = l.descriptor;
            spec.pixels = pixels;
            if (type == 10) spec.pixels.insert(spec.pixels.begin(), 0x03);
            CRaster image;
            ASSERT_TRUE(DecodeBytes(image, BuildTga(spec), kRasterTypeTga)) << image.GetLastError();
            for (int i = 0; i < 4; ++i) {
                EXPECT_EQ(image.GetPixelColor(l.x[i], l.y[i], false).rgbBlue, (i + 1) * 10) << "p" << i;
                EXPECT_EQ(image.GetAlphaAt(l.x[i], l.y[i]), (i + 1) * 10) << "alpha of p" << i;
            }
        }
    }
}

TEST(TgaCodec, RejectsHostileFilesAndKeepsTheCallersImage) {
    auto spec = [](auto change) {
        TgaSpec s;
        s.width = 2;
        s.height = 2;
        s.pixels.assign(12, 0x22);
        change(s);
        return BuildTga(s);
    };
    const Bytes valid = spec([](TgaSpec&) {});
    struct Case {
        const char* name;
        Bytes file;
        const char* message;
    } cases[] = {
        {"short header", Bytes(valid.begin(), valid.begin() + 17), "Not a TGA"},
        {"type 4", spec([](TgaSpec& s) { s.type = 4; }), "Unknown TGA image type"},
        {"type 0", spec([](TgaSpec& s) { s.type = 0; }), "Unknown TGA image type"},
        {"257 map entries",
         spec([](TgaSpec& s) { s.type = 1; s.depth = 8; s.cmap_type = 1; s.cmap_bits = 24; s.cmap_length = 257; }),
         "bad TGA header"},
        {"width 0", spec([](TgaSpec& s) { s.width = 0; }), "bad TGA header"},
        {"depth 12", spec([](TgaSpec& s) { s.depth = 12; }), "bad TGA header"},
        {"mapped without map", spec([](TgaSpec& s) { s.type = 1; s.depth = 8; }), "bad TGA header"},
        {"map entries of 7 bits",
         spec([](TgaSpec& s) { s.type = 1; s.depth = 8; s.cmap_type = 1; s.cmap_bits = 7; s.cmap_length = 2; }),
         "bad TGA header"},
        {"short map",
         spec([](TgaSpec& s) { s.type = 1; s.depth = 8; s.cmap_type = 1; s.cmap_bits = 24; s.cmap_length = 200; }),
         "corrupted TGA"},
        {"short pixels", Bytes(valid.begin(), valid.end() - 1), "corrupted TGA"},
        {"pixels missing", Bytes(valid.begin(), valid.begin() + 18), "corrupted TGA"},
        {"short run", spec([](TgaSpec& s) { s.type = 10; s.pixels = {0x82, 1, 2, 3}; }), "corrupted TGA"},
        {"run value cut", spec([](TgaSpec& s) { s.type = 10; s.pixels = {0x81, 1}; }), "corrupted TGA"},
        {"short raw packet", spec([](TgaSpec& s) { s.type = 10; s.pixels = {0x03, 1, 2, 3, 4}; }), "corrupted TGA"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRaster image(3, 1, 8, kRasterTypeGif);
        image.SetPixelIndex(1, 0, 42);
        EXPECT_FALSE(DecodeBytes(image, c.file, kRasterTypeTga));
        EXPECT_STREQ(image.GetLastError(), c.message);
        EXPECT_EQ(image.GetType(), kRasterTypeGif);
        EXPECT_EQ(image.GetPixelIndex(1, 0), 42);
    }

    // The largest map is fine; header-only needs no pixels.
    Bytes full = spec([](TgaSpec& s) {
        s.type = 1, s.depth = 8, s.cmap_type = 1, s.cmap_bits = 24, s.cmap_length = 256;
        s.cmap.assign(768, 9);
        s.pixels.assign(4, 255);
    });
    CRaster image;
    ASSERT_TRUE(DecodeBytes(image, full, kRasterTypeTga)) << image.GetLastError();
    ExpectColor(image, 1, 1, Bgr(9, 9, 9));
    CRaster header;
    header.RequestHeaderOnly();
    ASSERT_TRUE(DecodeBytes(header, Bytes(valid.begin(), valid.begin() + 18), kRasterTypeTga));
    EXPECT_EQ(header.GetWidth(), 2u);
    EXPECT_FALSE(header.IsValid());
    CRaster cancelled;
    cancelled.SetEscape(1);
    EXPECT_FALSE(DecodeBytes(cancelled, valid, kRasterTypeTga));
    EXPECT_STREQ(cancelled.GetLastError(), "Cancelled");
}

}  // namespace
