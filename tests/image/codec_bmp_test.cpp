// BMP codec: round trips, hand-built files of every variant, and hostile files.
#include <climits>
#include <tuple>

#include "image/raster_bmp.h"
#include "tests/image/codec_test_util.h"

namespace {

using lumi::test::ByteWriter;
using lumi::test::Bytes;
using lumi::test::Bgr;
using lumi::test::DecodeBytes;
using lumi::test::ExpectColor;

struct BmpSpec {
    bool file_header = true;
    DWORD info_size = 40;
    LONG width = 1, height = 1;
    WORD bits = 24;
    DWORD compression = 0;
    DWORD image_bytes = 0;
    LONG ppm = 0;
    DWORD colors_used = 0;
    WORD planes = 1;
    std::vector<RGBQUAD> palette;
    std::vector<DWORD> masks;  // after the header, or inside a long one
    Bytes bits_data;
    long offset = -1;  // -1: right after the palette
};

Bytes BuildBmp(const BmpSpec& s) {
    ByteWriter info;
    if (s.info_size == 12) {
        info.U32(12).U16(s.width).U16(s.height).U16(s.planes).U16(s.bits);
    } else {
        info.U32(s.info_size).U32(s.width).U32(s.height).U16(s.planes).U16(s.bits).U32(s.compression);
        info.U32(s.image_bytes).U32(s.ppm).U32(s.ppm).U32(s.colors_used).U32(0);
        if (s.info_size > 40)
            for (DWORD m : s.masks) info.U32(m);
        while (info.bytes.size() < s.info_size) info.U8(0);
    }
    if (s.info_size <= 40)
        for (DWORD m : s.masks) info.U32(m);
    for (const RGBQUAD& c : s.palette) {
        info.U8(c.rgbBlue).U8(c.rgbGreen).U8(c.rgbRed);
        if (s.info_size != 12) info.U8(0x77);  // the fourth byte must not survive
    }
    ByteWriter out;
    if (s.file_header) {
        const std::uint32_t offset = s.offset >= 0 ? static_cast<std::uint32_t>(s.offset) : 14 + info.bytes.size();
        out.U16(0x4D42).U32(14 + info.bytes.size() + s.bits_data.size()).U32(0).U32(offset);
    }
    return out.Raw(info.bytes).Raw(s.bits_data).bytes;
}

TEST(BmpCodec, RoundTripsEveryDepth) {
    for (DWORD bits : {1u, 4u, 8u, 24u}) {
        for (bool withAlpha : {false, true}) {
            if (withAlpha && bits != 24) continue;
            SCOPED_TRACE(testing::Message() << bits << " bits, alpha " << withAlpha);
            CRaster source(13, 7, bits, 0);
            lumi::test::FillPattern(source, withAlpha);
            const Bytes file = lumi::test::EncodeBytes(source, kRasterTypeBmp);
            ASSERT_FALSE(file.empty()) << source.GetLastError();
            EXPECT_EQ(file[28], withAlpha ? 32 : bits) << "bits per pixel as written";
            CRaster decoded;
            ASSERT_TRUE(DecodeBytes(decoded, file, kRasterTypeBmp)) << decoded.GetLastError();
            EXPECT_EQ(decoded.GetBpp(), bits);
            lumi::test::ExpectSamePixels(source, decoded);
        }
    }
}

TEST(BmpCodec, DecodesHeaderVariants) {
    // OS/2 core header: 16-bit fields and 3-byte palette entries.
    BmpSpec os2;
    os2.info_size = 12;
    os2.width = 2;
    os2.bits = 1;
    os2.palette = {Bgr(1, 2, 3), Bgr(200, 100, 50)};
    os2.bits_data = {0x80, 0, 0, 0};
    CRaster image;
    ASSERT_TRUE(DecodeBytes(image, BuildBmp(os2), kRasterTypeBmp)) << image.GetLastError();
    ExpectColor(image, 0, 0, Bgr(200, 100, 50));
    ExpectColor(image, 1, 0, Bgr(1, 2, 3));

    // Bare info header without "BM", width 3: rows of 9 pixel bytes and 3 padding bytes.
    BmpSpec bare;
    bare.file_header = false;
    bare.width = 3;
    bare.height = 2;
    bare.ppm = 11811;
    bare.bits_data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0};
    ASSERT_TRUE(DecodeBytes(image, BuildBmp(bare), kRasterTypeBmp)) << image.GetLastError();
    ExpectColor(image, 2, 0, Bgr(7, 8, 9));
    ExpectColor(image, 0, 1, Bgr(10, 11, 12));
    EXPECT_EQ(image.GetDpiX(), 300);

    // OS/2 2.x (64 bytes) and V5 (124 bytes) headers are skipped to the palette; a V5 file
    // with a palette and image bytes 0 is valid.
    for (DWORD size : {64u, 124u}) {
        BmpSpec longer;
        longer.info_size = size;
        longer.bits = 4;
        longer.colors_used = size == 124 ? 2 : 0;
        longer.palette = {Bgr(9, 9, 9), Bgr(40, 50, 60)};
        if (size == 64) longer.palette.resize(16);
        longer.bits_data = {0x10, 0, 0, 0};
        ASSERT_TRUE(DecodeBytes(image, BuildBmp(longer), kRasterTypeBmp)) << size << ": " << image.GetLastError();
        ExpectColor(image, 0, 0, Bgr(40, 50, 60));
        EXPECT_EQ(image.GetPaletteColor(0).rgbReserved, 0);
    }
}

TEST(BmpCodec, DecodesBitFieldsAndAlpha) {
    BmpSpec plain16;  // no masks: 5-5-5
    plain16.width = 2;
    plain16.bits = 16;
    plain16.bits_data = {0x00, 0x7C, 0x1F, 0x00};
    CRaster image;
    ASSERT_TRUE(DecodeBytes(image, BuildBmp(plain16), kRasterTypeBmp)) << image.GetLastError();
    EXPECT_EQ(image.GetBpp(), 24);
    ExpectColor(image, 0, 0, Bgr(0, 0, 0xF8));
    ExpectColor(image, 1, 0, Bgr(0xF8, 0, 0));

    BmpSpec rgb565 = plain16;
    rgb565.compression = 3;
    rgb565.masks = {0xF800, 0x07E0, 0x001F};
    rgb565.bits_data = {0xE0, 0x07, 0x00, 0xF8};
    ASSERT_TRUE(DecodeBytes(image, BuildBmp(rgb565), kRasterTypeBmp)) << image.GetLastError();
    ExpectColor(image, 0, 0, Bgr(0, 0xFC, 0));
    ExpectColor(image, 1, 0, Bgr(0, 0, 0xF8));

    // 32 bits with the channels in unusual bytes.
    BmpSpec swapped;
    swapped.bits = 32;
    swapped.compression = 3;
    swapped.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};
    swapped.bits_data = {10, 20, 30, 40};
    ASSERT_TRUE(DecodeBytes(image, BuildBmp(swapped), kRasterTypeBmp)) << image.GetLastError();
    ExpectColor(image, 0, 0, Bgr(30, 20, 10));
    EXPECT_FALSE(image.HasAlpha()) << "a 40-byte header has no alpha mask";

    // Plain 32 bits: fourth bytes are alpha, all-zero fourth bytes mean opaque. Top-down rows
    // come out upright with their alpha.
    BmpSpec alpha32;
    alpha32.bits = 32;
    alpha32.width = 1;
    alpha32.height = -2;
    alpha32.bits_data = {1, 2, 3, 0, 4, 5, 6, 0};
    ASSERT_TRUE(DecodeBytes(image, BuildBmp(alpha32), kRasterTypeBmp)) << image.GetLastError();
    EXPECT_EQ(image.GetAlphaAt(0, 0), 255);
    EXPECT_EQ(image.GetAlphaAt(0, 1), 255);
    alpha32.bits_data = {1, 2, 3, 0x80, 4, 5, 6, 0};
    ASSERT_TRUE(DecodeBytes(image, BuildBmp(alpha32), kRasterTypeBmp)) << image.GetLastError();
    ExpectColor(image, 0, 1, Bgr(1, 2, 3));  // the first file row is the top one
    EXPECT_EQ(image.GetAlphaAt(0, 1), 0x80);
    EXPECT_EQ(image.GetAlphaAt(0, 0), 0);
}

// V4 and V5 headers as paint programs write them: bit fields with an alpha mask.
TEST(BmpCodec, BitFieldsWithAnAlphaMaskKeepTheirAlpha) {
    const struct {
        const char* name;
        DWORD info_size;
        WORD bits;
        std::vector<DWORD> masks;
        Bytes bits_data;  // two pixels
        BYTE alpha[2];
        RGBQUAD colour[2];
    } cases[] = {
        {"V5 BGRA", 124, 32, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
         {10, 20, 30, 0x80, 40, 50, 60, 0xFF}, {0x80, 0xFF}, {Bgr(10, 20, 30), Bgr(40, 50, 60)}},
        {"V4 RGBA", 108, 32, {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000},
         {10, 20, 30, 0, 40, 50, 60, 7}, {0, 7}, {Bgr(30, 20, 10), Bgr(60, 50, 40)}},
        {"V4 ARGB4444", 108, 16, {0x0F00, 0x00F0, 0x000F, 0xF000},
         {0x21, 0x83, 0x00, 0xF0, 0, 0, 0, 0}, {136, 255}, {Bgr(0x10, 0x20, 0x30), Bgr(0, 0, 0)}},
        {"V5 ARGB1555", 124, 16, {0x7C00, 0x03E0, 0x001F, 0x8000},
         {0x1F, 0x80, 0x00, 0x7C, 0, 0, 0, 0}, {255, 0}, {Bgr(0xF8, 0, 0), Bgr(0, 0, 0xF8)}},
        // Alpha left at 0 throughout means no alpha, not an invisible picture.
        {"V5 zero alpha", 124, 32, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
         {1, 2, 3, 0, 4, 5, 6, 0}, {255, 255}, {Bgr(1, 2, 3), Bgr(4, 5, 6)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BmpSpec spec;
        spec.info_size = c.info_size;
        spec.width = 2;
        spec.bits = c.bits;
        spec.compression = 3;
        spec.masks = c.masks;
        spec.bits_data = c.bits_data;
        CRaster image;
        ASSERT_TRUE(DecodeBytes(image, BuildBmp(spec), kRasterTypeBmp)) << image.GetLastError();
        ASSERT_TRUE(image.HasAlpha());
        for (LONG x = 0; x < 2; ++x) {
            EXPECT_EQ(image.GetAlphaAt(x, 0), c.alpha[x]) << x;
            ExpectColor(image, x, 0, c.colour[x]);
        }
    }
    // An alpha mask that overlaps a colour channel is ignored; the colours still come.
    BmpSpec overlapping;
    overlapping.info_size = 124;
    overlapping.bits = 32;
    overlapping.compression = 3;
    overlapping.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x000000F0};
    overlapping.bits_data = {1, 2, 3, 4};
    CRaster image;
    ASSERT_TRUE(DecodeBytes(image, BuildBmp(overlapping), kRasterTypeBmp)) << image.GetLastError();
    EXPECT_FALSE(image.HasAlpha());
    ExpectColor(image, 0, 0, Bgr(1, 2, 3));
}

TEST(BmpCodec, FilesCutShortDecodeWhatTheyHold) {
    // 2 x 2 at 24 bits: rows of 6 pixel bytes and 2 padding bytes, the bottom row first.
    BmpSpec full;
    full.width = 2;
    full.height = 2;
    full.bits_data = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    const Bytes file = BuildBmp(full);
    CRaster image;
    ASSERT_TRUE(DecodeBytes(image, Bytes(file.begin(), file.end() - 5), kRasterTypeBmp)) << image.GetLastError();
    ExpectColor(image, 1, 0, Bgr(4, 5, 6));
    ExpectColor(image, 0, 1, Bgr(7, 8, 9));
    ExpectColor(image, 1, 1, Bgr(0, 0, 0));  // 10, 11, 12 were cut off

    // Every cut past the header decodes, whatever the layout; the pixels it lost are zero.
    BmpSpec palette8;
    palette8.width = 3;
    palette8.height = 2;
    palette8.bits = 8;
    palette8.colors_used = 3;
    palette8.palette = {Bgr(9, 9, 9), Bgr(40, 50, 60), Bgr(70, 80, 90)};
    palette8.bits_data = {1, 2, 1, 0, 2, 2, 2, 0};
    BmpSpec rle8 = palette8;
    rle8.compression = 1;
    rle8.bits_data = {3, 2, 0, 0, 2, 1, 0, 1};
    BmpSpec alpha32;
    alpha32.info_size = 124;
    alpha32.width = 2;
    alpha32.bits = 32;
    alpha32.compression = 3;
    alpha32.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    alpha32.bits_data = {1, 2, 3, 0x40, 4, 5, 6, 0x80};
    BmpSpec rgb565;
    rgb565.width = 3;
    rgb565.bits = 16;
    rgb565.compression = 3;
    rgb565.masks = {0xF800, 0x07E0, 0x001F};
    rgb565.bits_data = {0xE0, 0x07, 0x00, 0xF8, 0x1F, 0x00, 0, 0};
    for (const BmpSpec* spec : {&full, &palette8, &rle8, &alpha32, &rgb565}) {
        const Bytes whole = BuildBmp(*spec);
        CRaster reference;
        ASSERT_TRUE(DecodeBytes(reference, whole, kRasterTypeBmp)) << reference.GetLastError();
        const std::size_t headers = whole.size() - spec->bits_data.size();
        // 16-bit pixels are cut at whole pixels: half a word is another colour.
        for (std::size_t n = headers; n < whole.size(); n += spec->bits == 16 ? 2 : 1) {
            SCOPED_TRACE(testing::Message() << spec->bits << " bits, cut to " << n << " of " << whole.size());
            CRaster cut;
            ASSERT_TRUE(DecodeBytes(cut, Bytes(whole.begin(), whole.begin() + n), kRasterTypeBmp)) << cut.GetLastError();
            ASSERT_EQ(cut.GetWidth(), reference.GetWidth());
            ASSERT_EQ(cut.HasAlpha(), reference.HasAlpha());
            for (LONG y = 0; y < static_cast<LONG>(cut.GetHeight()); ++y)
                for (LONG x = 0; x < static_cast<LONG>(cut.GetWidth()); ++x) {
                    // Each byte is the whole file's or a cleared one (a pixel may be cut in two).
                    const RGBQUAD got = cut.GetPixelColor(x, y, false), want = reference.GetPixelColor(x, y, false);
                    const RGBQUAD zero = cut.GetPaletteColor(0);
                    for (auto [g, w, z] : {std::tuple{got.rgbBlue, want.rgbBlue, zero.rgbBlue},
                                           {got.rgbGreen, want.rgbGreen, zero.rgbGreen}, {got.rgbRed, want.rgbRed, zero.rgbRed}})
                        EXPECT_TRUE(g == w || g == z) << "(" << x << ", " << y << "): " << lumi::test::Hex(got);
                }
        }
    }

    // Bits past the end, a palette cut short, or far more palette entries than the data
    // holds: a cleared picture.
    BmpSpec far = full;
    far.offset = 100000;
    BmpSpec lying = palette8;
    lying.file_header = false;
    lying.colors_used = 1000000;
    const Bytes palette = BuildBmp(palette8);
    for (const Bytes& f : {BuildBmp(far), BuildBmp(lying), Bytes(palette.begin(), palette.begin() + 54 + 6)}) {
        CRaster cleared;
        ASSERT_TRUE(DecodeBytes(cleared, f, kRasterTypeBmp)) << cleared.GetLastError();
        EXPECT_EQ(lumi::test::Hex(cleared.GetPixelColor(0, 0, false)), lumi::test::Hex(cleared.GetPaletteColor(0)));
        EXPECT_EQ(cleared.GetPixelColor(1, 1, false).rgbRed, cleared.GetPaletteColor(0).rgbRed);
    }
}

TEST(BmpCodec, DecodesRunLengthStreams) {
    BmpSpec rle8;
    rle8.width = 6;
    rle8.height = 3;
    rle8.bits = 8;
    rle8.compression = 1;
    rle8.colors_used = 16;
    rle8.palette.resize(16);
    // Run, odd absolute run with its pad byte, end of line, delta (2, 1), run; no end code.
    rle8.bits_data = {3, 5, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 1, 2, 9};
    CRaster image;
    ASSERT_TRUE(DecodeBytes(image, BuildBmp(rle8), kRasterTypeBmp)) << image.GetLastError();
    const BYTE expected8[3][6] = {{5, 5, 5, 1, 2, 3}, {0, 0, 0, 0, 0, 0}, {0, 0, 9, 9, 0, 0}};
    for (LONG y = 0; y < 3; ++y)
        for (LONG x = 0; x < 6; ++x) EXPECT_EQ(image.GetPixelIndex(x, y), expected8[y][x]) << x << "," << y;

    BmpSpec rle4 = rle8;
    rle4.width = 8;
    rle4.height = 2;
    rle4.bits = 4;
    rle4.compression = 2;
    // Run of 3 (nibbles alternate), absolute run of 5 padded to 16 bits, end of line,
    // delta (3, 0) to an odd pixel, run of 2, end of bitmap, then bytes that must be ignored.
    rle4.bits_data = {3, 0x12, 0, 5, 0x34, 0x56, 0x70, 0, 0, 0, 0, 2, 3, 0, 2, 0x77, 0, 1, 4, 0xFF};
    ASSERT_TRUE(DecodeBytes(image, BuildBmp(rle4), kRasterTypeBmp)) << image.GetLastError();
    const BYTE expected4[2][8] = {{1, 2, 1, 3, 4, 5, 6, 7}, {0, 0, 0, 7, 7, 0, 0, 0}};
    for (LONG y = 0; y < 2; ++y)
        for (LONG x = 0; x < 8; ++x) EXPECT_EQ(image.GetPixelIndex(x, y), expected4[y][x]) << x << "," << y;

    // Runs past the row end and deltas past the last row are dropped, not written.
    rle8.bits_data = {255, 7, 0, 255};
    for (int i = 0; i < 255; ++i) rle8.bits_data.push_back(4);
    rle8.bits_data.insert(rle8.bits_data.end(), {0, 0, 2, 255, 255, 3, 3});
    ASSERT_TRUE(DecodeBytes(image, BuildBmp(rle8), kRasterTypeBmp)) << image.GetLastError();
    EXPECT_EQ(image.GetPixelIndex(5, 0), 7);
    EXPECT_EQ(image.GetPixelIndex(0, 1), 0);
}

TEST(BmpCodec, HeaderOnlyReturnsDimensions) {
    BmpSpec spec;
    spec.width = 70;
    spec.height = -20;
    CRaster image;
    image.RequestHeaderOnly();
    ASSERT_TRUE(DecodeBytes(image, BuildBmp(spec), kRasterTypeBmp));
    EXPECT_EQ(image.GetWidth(), 70u);
    EXPECT_EQ(image.GetHeight(), 20u);
    EXPECT_FALSE(image.IsValid());
    EXPECT_STREQ(image.GetLastError(), "output dimensions returned");

    CRaster cancelled;
    cancelled.SetEscape(1);
    EXPECT_FALSE(DecodeBytes(cancelled, BuildBmp(spec), kRasterTypeBmp));
    EXPECT_STREQ(cancelled.GetLastError(), "Cancelled");
}

TEST(BmpCodec, RejectsHostileFilesAndKeepsTheCallersImage) {
    auto spec = [](auto change) {
        BmpSpec s;
        s.width = 2;
        s.height = 2;
        s.bits_data.assign(16, 0x11);
        change(s);
        return BuildBmp(s);
    };
    Bytes valid = spec([](BmpSpec&) {});
    Bytes valid16 = spec([](BmpSpec& s) { s.bits = 16; s.compression = 3; s.masks = {0xF800, 0x07E0, 0x001F}; });
    struct Case {
        const char* name;
        Bytes file;
        const char* message;
    } cases[] = {
        {"short file header", Bytes(valid.begin(), valid.begin() + 10), "Not a BMP"},
        {"short info header", Bytes(valid.begin(), valid.begin() + 40), "Error reading BMP info"},
        {"width 0", spec([](BmpSpec& s) { s.width = 0; }), "Error reading BMP info"},
        {"negative width", spec([](BmpSpec& s) { s.width = -1; }), "Error reading BMP info"},
        {"height INT_MIN", spec([](BmpSpec& s) { s.height = INT_MIN; }), "Error reading BMP info"},
        {"header size 30", spec([](BmpSpec& s) { s.info_size = 30; }), "Error reading BMP info"},
        {"header size 2000", spec([](BmpSpec& s) { s.info_size = 2000; }), "Error reading BMP info"},
        {"V5 header with 300 colours",
         spec([](BmpSpec& s) { s.info_size = 124; s.bits = 8; s.colors_used = 300; }), "Error reading BMP info"},
        {"2 bits", spec([](BmpSpec& s) { s.bits = 2; }), "compression type not supported"},
        {"12 bits", spec([](BmpSpec& s) { s.bits = 12; }), "compression type not supported"},
        {"RLE8 on 4 bits", spec([](BmpSpec& s) { s.bits = 4; s.compression = 1; s.palette.resize(16); }),
         "compression type not supported"},
        {"RLE on 24 bits", spec([](BmpSpec& s) { s.compression = 1; }), "unknown compression"},
        {"zero mask", spec([](BmpSpec& s) { s.bits = 32; s.compression = 3; s.masks = {0xFF0000, 0, 0xFF}; }),
         "Error reading BMP info"},
        {"overlapping masks",
         spec([](BmpSpec& s) { s.bits = 16; s.compression = 3; s.masks = {0xFFFF, 0x00F0, 0x000F}; }),
         "Error reading BMP info"},
        {"mask outside 16 bits",
         spec([](BmpSpec& s) { s.bits = 16; s.compression = 3; s.masks = {0x70000, 0x00F0, 0x000F}; }),
         "Error reading BMP info"},
        {"masks cut short", Bytes(valid16.begin(), valid16.begin() + 60), "Error reading BMP info"},
        {"too large", spec([](BmpSpec& s) { s.width = 60000; s.height = 60000; s.bits = 8; s.compression = 1; }),
         "RASTER_MAX_MEMORY exceeded"},
        // 1,000 x 1,000 at 24 bits wants 3 MB of bits: 16 bytes are far too few to be a
        // file cut short, whatever the depth or the layout.
        {"claims far more than it holds", spec([](BmpSpec& s) { s.width = 1000; s.height = 1000; }),
         "BMP file too short for its size"},
        {"claims far more at 8 bits",
         spec([](BmpSpec& s) { s.width = 4000; s.height = 4000; s.bits = 8; s.palette.resize(2); s.colors_used = 2; }),
         "BMP file too short for its size"},
        {"claims far more with masks",
         spec([](BmpSpec& s) { s.width = 3000; s.height = 3000; s.bits = 16; s.compression = 3; s.masks = {0xF800, 0x07E0, 0x001F}; }),
         "BMP file too short for its size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRaster image(3, 1, 8, kRasterTypeGif);
        image.SetPixelIndex(1, 0, 42);
        EXPECT_FALSE(DecodeBytes(image, c.file, kRasterTypeBmp));
        EXPECT_STREQ(image.GetLastError(), c.message);
        EXPECT_EQ(image.GetWidth(), 3u);
        EXPECT_EQ(image.GetType(), kRasterTypeGif);
        EXPECT_EQ(image.GetPixelIndex(1, 0), 42);
    }

    // A lying palette count with a file header only skips the extra entries.
    CRaster image;
    EXPECT_TRUE(DecodeBytes(image, spec([](BmpSpec& s) {
                                s.bits = 8;
                                s.colors_used = 1000000;
                                s.palette.resize(256);
                                s.offset = 54 + 1024;
                            }),
                            kRasterTypeBmp))
        << image.GetLastError();
}

TEST(BmpCodec, FailedWritesAreReported) {
    CRaster image(4, 4, 24, 0);
    lumi::test::FillPattern(image, true);
    for (std::size_t budget : {10u, 60u, 80u}) {
        lumi::test::FailingWriteFile file(budget);
        EXPECT_FALSE(image.Encode(&file, kRasterTypeBmp)) << budget;
        EXPECT_STREQ(image.GetLastError(), "Write Error");
    }
}

}  // namespace
