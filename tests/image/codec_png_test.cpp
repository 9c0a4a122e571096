// PNG codec: files written by libpng itself at every colour type and depth, transparency,
// interlacing, resolution, hostile input, and the encoder (round trips, and files libpng
// reads back).
#include "image/raster_png.h"
#include "tests/image/codec_test_util.h"

namespace {

using lumi::test::Bytes;
using lumi::test::DecodeBytes;
using lumi::test::Hex;
using lumi::test::PngSpec;
using lumi::test::WritePng;

int SamplesOf(int colorType) {
    switch (colorType) {
        case PNG_COLOR_TYPE_RGB: return 3;
        case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
        case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
        default: return 1;
    }
}

unsigned Sample(png_uint_32 x, png_uint_32 y, int channel, int depth) {
    const unsigned v = ((x * 37 + y * 91 + channel * 53) * 2654435761u) >> 7;
    return v & ((1u << depth) - 1);
}

// A w x h file whose samples are Sample(...), with a palette of 2^depth distinct colours.
PngSpec PatternSpec(int colorType, int depth, png_uint_32 w, png_uint_32 h) {
    PngSpec spec;
    spec.width = w;
    spec.height = h;
    spec.bit_depth = depth;
    spec.color_type = colorType;
    const int samples = SamplesOf(colorType);
    for (png_uint_32 y = 0; y < h; ++y) {
        Bytes row((w * samples * depth + 7) / 8, 0);
        for (png_uint_32 x = 0; x < w; ++x)
            for (int c = 0; c < samples; ++c) {
                const unsigned v = Sample(x, y, c, depth);
                const std::size_t bit = (static_cast<std::size_t>(x) * samples + c) * depth;
                if (depth == 16) {
                    row[bit / 8] = static_cast<BYTE>(v >> 8);
                    row[bit / 8 + 1] = static_cast<BYTE>(v);
                } else {
                    row[bit / 8] |= static_cast<BYTE>(v << (8 - depth - bit % 8));
                }
            }
        spec.rows.push_back(row);
    }
    if (colorType == PNG_COLOR_TYPE_PALETTE)
        for (int i = 0; i < (1 << depth); ++i)
            spec.palette.push_back(png_color{static_cast<BYTE>(i * 3), static_cast<BYTE>(255 - i), static_cast<BYTE>(i ^ 0x5A)});
    return spec;
}

// What the decoder must give for pixel (x, y) of the file (y from the top).
RGBQUAD ExpectedColor(const PngSpec& s, png_uint_32 x, png_uint_32 y) {
    const int d = s.bit_depth;
    auto high = [&](int c) { return static_cast<BYTE>(d == 16 ? Sample(x, y, c, d) >> 8 : Sample(x, y, c, d)); };
    switch (s.color_type) {
        case PNG_COLOR_TYPE_PALETTE: {
            const png_color p = s.palette[Sample(x, y, 0, d)];
            return RGBQUAD{p.blue, p.green, p.red, 255};
        }
        case PNG_COLOR_TYPE_GRAY:
        case PNG_COLOR_TYPE_GRAY_ALPHA: {
            const BYTE v = d >= 8 ? high(0) : static_cast<BYTE>(Sample(x, y, 0, d) * 255 / ((1 << d) - 1));
            return RGBQUAD{v, v, v, static_cast<BYTE>(s.color_type == PNG_COLOR_TYPE_GRAY_ALPHA ? high(1) : 255)};
        }
        default:
            return RGBQUAD{high(2), high(1), high(0),
                           static_cast<BYTE>(s.color_type == PNG_COLOR_TYPE_RGB_ALPHA ? high(3) : 255)};
    }
}

void ExpectDecodedAs(const PngSpec& spec, const CRaster& image) {
    ASSERT_EQ(image.GetWidth(), spec.width);
    ASSERT_EQ(image.GetHeight(), spec.height);
    const bool withAlpha = spec.color_type & PNG_COLOR_MASK_ALPHA;
    EXPECT_EQ(image.HasAlpha(), withAlpha);
    int bad = 0;
    for (png_uint_32 y = 0; y < spec.height; ++y)
        for (png_uint_32 x = 0; x < spec.width; ++x) {
            const LONG iy = static_cast<LONG>(spec.height - 1 - y);
            RGBQUAD got = image.GetPixelColor(static_cast<LONG>(x), iy, false);
            got.rgbReserved = withAlpha ? image.GetAlphaAt(static_cast<LONG>(x), iy) : 255;
            const RGBQUAD want = ExpectedColor(spec, x, y);
            if (std::memcmp(&got, &want, 4) != 0 && ++bad <= 3)
                ADD_FAILURE() << "file pixel (" << x << ", " << y << "): expected " << Hex(want) << ", got " << Hex(got);
        }
    EXPECT_EQ(bad, 0);
}

TEST(PngCodec, DecodesEveryColourTypeAndDepthInterlacedOrNot) {
    const struct {
        int type, depth;
        WORD bpp;
    } formats[] = {{0, 1, 1},  {0, 2, 4},  {0, 4, 4},  {0, 8, 8},  {0, 16, 8}, {2, 8, 24}, {2, 16, 24},
                   {3, 1, 1},  {3, 2, 4},  {3, 4, 4},  {3, 8, 8},  {4, 8, 8},  {4, 16, 8}, {6, 8, 24},
                   {6, 16, 24}};
    for (const auto& f : formats) {
        // Odd sizes leave some Adam7 passes empty or partial.
        for (png_uint_32 size : {1u, 13u}) {
            for (bool interlaced : {false, true}) {
                SCOPED_TRACE(testing::Message() << "type " << f.type << ", depth " << f.depth << ", size " << size
                                                << (interlaced ? ", interlaced" : ""));
                PngSpec spec = PatternSpec(f.type, f.depth, size, size + 2);
                spec.interlaced = interlaced;
                CRaster image;
                ASSERT_TRUE(DecodeBytes(image, WritePng(spec), kRasterTypePng)) << image.GetLastError();
                EXPECT_EQ(image.GetType(), kRasterTypePng);
                EXPECT_EQ(image.GetBpp(), f.bpp);
                EXPECT_EQ(image.GetCodecOption(), interlaced ? 1u : 0u);
                ExpectDecodedAs(spec, image);
                lumi::test::ExpectZeroRowPadding(image);
            }
        }
    }
}

TEST(PngCodec, TransparencyBecomesIndexColourOrPaletteAlpha) {
    PngSpec palette = PatternSpec(PNG_COLOR_TYPE_PALETTE, 8, 5, 5);
    palette.trns_alpha.resize(16);
    for (int i = 0; i < 16; ++i) palette.trns_alpha[i] = static_cast<BYTE>(i * 10);
    CRaster image;
    ASSERT_TRUE(DecodeBytes(image, WritePng(palette), kRasterTypePng)) << image.GetLastError();
    EXPECT_TRUE(image.GetAlphaPaletteEnabled());
    EXPECT_FALSE(image.HasAlpha());
    EXPECT_EQ(image.GetPaletteColor(15).rgbReserved, 150);
    EXPECT_EQ(image.GetPaletteColor(16).rgbReserved, 255);

    // One fully transparent entry: a transparent index. One half-transparent entry stays
    // alpha, so no opaque-looking index becomes invisible.
    palette.trns_alpha = {0};
    ASSERT_TRUE(DecodeBytes(image, WritePng(palette), kRasterTypePng)) << image.GetLastError();
    EXPECT_EQ(image.GetBackgroundIndex(), 0);
    for (LONG y = 0; y < 5; ++y)
        for (LONG x = 0; x < 5; ++x) EXPECT_EQ(image.IsTransparent(x, y), image.GetPixelIndex(x, y) == 0);
    palette.trns_alpha = {128};
    ASSERT_TRUE(DecodeBytes(image, WritePng(palette), kRasterTypePng)) << image.GetLastError();
    EXPECT_EQ(image.GetBackgroundIndex(), -1);
    EXPECT_EQ(image.GetPaletteColor(0).rgbReserved, 128);
    EXPECT_EQ(image.GetPaletteColor(1).rgbReserved, 255);

    PngSpec grey = PatternSpec(PNG_COLOR_TYPE_GRAY, 8, 4, 4);
    grey.trns_key = true;
    grey.key.gray = 7;
    ASSERT_TRUE(DecodeBytes(image, WritePng(grey), kRasterTypePng)) << image.GetLastError();
    EXPECT_EQ(image.GetBackgroundIndex(), 7);

    PngSpec rgb = PatternSpec(PNG_COLOR_TYPE_RGB, 8, 4, 4);
    rgb.trns_key = true;
    rgb.key.red = static_cast<png_uint_16>(Sample(2, 1, 0, 8));
    rgb.key.green = static_cast<png_uint_16>(Sample(2, 1, 1, 8));
    rgb.key.blue = static_cast<png_uint_16>(Sample(2, 1, 2, 8));
    ASSERT_TRUE(DecodeBytes(image, WritePng(rgb), kRasterTypePng)) << image.GetLastError();
    EXPECT_TRUE(image.IsTransparent(2, 2));  // file row 1 of 4 is image row 2
    EXPECT_FALSE(image.IsTransparent(1, 2));
}

TEST(PngCodec, SixteenBitKeysMatchAllSixteenBits) {
    // Samples 0x0712 (the key), 0x0713 and 0x07FF share their high byte: only the first is
    // transparent. RGB keys must match in every channel.
    PngSpec grey;
    grey.width = 3;
    grey.bit_depth = 16;
    grey.color_type = PNG_COLOR_TYPE_GRAY;
    grey.rows = {{0x07, 0x12, 0x07, 0x13, 0x07, 0xFF}};
    grey.trns_key = true;
    grey.key.gray = 0x0712;
    PngSpec rgb = grey;
    rgb.color_type = PNG_COLOR_TYPE_RGB;
    rgb.rows = {{1, 2, 3, 4, 5, 6, /**/ 1, 2, 3, 4, 5, 7, /**/ 1, 3, 3, 4, 5, 6}};
    rgb.key.red = 0x0102;
    rgb.key.green = 0x0304;
    rgb.key.blue = 0x0506;
    for (bool interlaced : {false, true}) {
        for (PngSpec* spec : {&grey, &rgb}) {
            SCOPED_TRACE(testing::Message() << "colour type " << spec->color_type << (interlaced ? ", interlaced" : ""));
            spec->interlaced = interlaced;
            CRaster image;
            ASSERT_TRUE(DecodeBytes(image, WritePng(*spec), kRasterTypePng)) << image.GetLastError();
            EXPECT_EQ(image.GetBackgroundIndex(), -1);
            ASSERT_TRUE(image.HasAlpha());
            EXPECT_EQ(image.GetAlphaAt(0, 0), 0);
            EXPECT_EQ(image.GetAlphaAt(1, 0), 255);
            EXPECT_EQ(image.GetAlphaAt(2, 0), 255);
            const RGBQUAD high = image.GetPixelColor(1, 0, false);
            if (spec == &grey)
                EXPECT_EQ(Hex(high), "070707/00");
            else
                EXPECT_EQ(Hex(high), "010305/00");
        }
    }

}

TEST(PngCodec, ResolutionHeaderOnlyAndBrokenFiles) {
    PngSpec spec = PatternSpec(PNG_COLOR_TYPE_RGB, 8, 6, 3);
    spec.phys = 3780;
    CRaster image;
    ASSERT_TRUE(DecodeBytes(image, WritePng(spec), kRasterTypePng));
    EXPECT_EQ(image.GetDpiX(), 96);
    spec.phys = 2;
    spec.phys_unit = PNG_RESOLUTION_UNKNOWN;
    ASSERT_TRUE(DecodeBytes(image, WritePng(spec), kRasterTypePng));
    EXPECT_EQ(image.GetDpiY(), 2);

    const Bytes file = WritePng(spec);
    CRaster header;
    header.RequestHeaderOnly();
    ASSERT_TRUE(DecodeBytes(header, file, kRasterTypePng));
    EXPECT_EQ(header.GetWidth(), 6u);
    EXPECT_FALSE(header.IsValid());

    Bytes badIhdr = file;
    badIhdr[16] = 0x80;  // width 2^31 and more: libpng's own message
    for (const auto& [bytes, message] : {std::pair{Bytes(file.begin(), file.end() - 20), "Read Error"},
                                          std::pair{Bytes(file.begin(), file.begin() + 8), "Read Error"},
                                          std::pair{badIhdr, ""}}) {
        CRaster kept(2, 2, 8, kRasterTypeGif);
        kept.SetPixelIndex(1, 1, 9);
        EXPECT_FALSE(DecodeBytes(kept, bytes, kRasterTypePng));
        if (*message) {
            EXPECT_STREQ(kept.GetLastError(), message);
        } else {
            EXPECT_STRNE(kept.GetLastError(), "");
        }
        EXPECT_EQ(kept.GetType(), kRasterTypeGif);
        EXPECT_EQ(kept.GetPixelIndex(1, 1), 9);
    }
}

TEST(PngCodec, EncoderRoundTripsAndLibpngReadsItsOutput) {
    const struct {
        DWORD bits;
        bool grey, alpha;
    } kinds[] = {{1, false, false}, {4, false, false}, {8, false, false}, {8, true, false},
                 {8, true, true},   {24, false, false}, {24, false, true}};
    for (const auto& k : kinds) {
        for (bool interlaced : {false, true}) {
            SCOPED_TRACE(testing::Message() << k.bits << " bits, grey " << k.grey << ", alpha " << k.alpha
                                            << ", interlaced " << interlaced);
            CRaster source(9, 7, k.bits, kRasterTypePng);
            lumi::test::FillPattern(source, k.alpha);
            if (k.grey) source.SetGrayPalette();
            source.SetCodecOption(interlaced ? 1 : 0);
            const Bytes file = lumi::test::EncodeBytes(source, kRasterTypePng);
            ASSERT_FALSE(file.empty()) << source.GetLastError();
            CRaster decoded;
            ASSERT_TRUE(DecodeBytes(decoded, file, kRasterTypePng)) << decoded.GetLastError();
            lumi::test::ExpectSamePixels(source, decoded);
            EXPECT_EQ(decoded.GetCodecOption(), interlaced ? 1u : 0u);

            // libpng's own reading, as RGBA, must see the same picture.
            png_image png{};
            png.version = PNG_IMAGE_VERSION;
            ASSERT_TRUE(png_image_begin_read_from_memory(&png, file.data(), file.size()));
            png.format = PNG_FORMAT_RGBA;
            Bytes rgba(PNG_IMAGE_SIZE(png));
            ASSERT_TRUE(png_image_finish_read(&png, nullptr, rgba.data(), 0, nullptr));
            const BYTE* top = rgba.data() + (png.height - 1) * png.width * 4;  // image row 0
            const RGBQUAD c = source.GetPixelColor(3, 0, false);
            EXPECT_EQ(top[12], c.rgbRed);
            EXPECT_EQ(top[13], c.rgbGreen);
            EXPECT_EQ(top[14], c.rgbBlue);
            EXPECT_EQ(top[15], k.alpha ? source.GetAlphaAt(3, 0) : 255);
        }
    }
}

TEST(PngCodec, EncoderNeverChangesTheCallersImage) {
    // A transparent index other than 0 is moved to entry 0 in the file only.
    CRaster source(8, 8, 8, kRasterTypePng);
    lumi::test::FillPattern(source, false);
    source.SetBackgroundIndex(5);
    const CRaster before(source);
    for (std::size_t budget : {std::size_t(60), std::size_t(1) << 20}) {
        lumi::test::FailingWriteFile file(budget);
        const bool ok = source.Encode(&file, kRasterTypePng);
        EXPECT_EQ(ok, budget > 60) << source.GetLastError();
        if (!ok) {
            EXPECT_STREQ(source.GetLastError(), "Error saving PNG file");
        }
        ASSERT_EQ(std::memcmp(source.GetDIB(), before.GetDIB(), before.GetSize()), 0) << "budget " << budget;
        if (!ok) continue;
        CRaster decoded;
        ASSERT_TRUE(decoded.Decode(file.GetBuffer(), static_cast<DWORD>(file.Size()), kRasterTypePng));
        for (LONG y = 0; y < 8; ++y)
            for (LONG x = 0; x < 8; ++x) {
                EXPECT_EQ(decoded.IsTransparent(x, y), source.GetPixelIndex(x, y) == 5) << x << "," << y;
                EXPECT_EQ(Hex(decoded.GetPixelColor(x, y, false)), Hex(source.GetPixelColor(x, y, false)));
            }
    }

    // Key-colour pixels of an image with alpha are written transparent; the plane stays.
    CRaster rgba(4, 4, 24, kRasterTypePng);
    lumi::test::FillPattern(rgba, true);
    rgba.FillAlpha(200);
    const RGBQUAD key = rgba.GetPixelColor(1, 1, false);
    rgba.SetBackgroundColor(key);
    rgba.SetBackgroundIndex(0);
    const Bytes file = lumi::test::EncodeBytes(rgba, kRasterTypePng);
    ASSERT_FALSE(file.empty()) << rgba.GetLastError();
    EXPECT_EQ(rgba.GetAlphaAt(1, 1), 200);
    CRaster decoded;
    ASSERT_TRUE(DecodeBytes(decoded, file, kRasterTypePng));
    EXPECT_EQ(decoded.GetAlphaAt(1, 1), 0);
    EXPECT_EQ(decoded.GetAlphaAt(2, 1), 200);
}

TEST(PngCodec, PaletteAlphaSurvivesARoundTripAndColourPalettesWithAlphaCannotBeSaved) {
    PngSpec spec = PatternSpec(PNG_COLOR_TYPE_PALETTE, 4, 6, 6);
    spec.trns_alpha = {10, 255, 30};
    CRaster image;
    ASSERT_TRUE(DecodeBytes(image, WritePng(spec), kRasterTypePng));
    CRaster again;
    ASSERT_TRUE(DecodeBytes(again, lumi::test::EncodeBytes(image, kRasterTypePng), kRasterTypePng));
    EXPECT_TRUE(again.GetAlphaPaletteEnabled());
    for (BYTE i = 0; i < 16; ++i) EXPECT_EQ(again.GetPaletteColor(i).rgbReserved, i < 3 ? spec.trns_alpha[i] : 255);

    image.CreateAlpha();
    EXPECT_TRUE(lumi::test::EncodeBytes(image, kRasterTypePng).empty());
    EXPECT_STREQ(image.GetLastError(), "Error saving PNG file");
}

TEST(PngCodec, DetectionFindsEachCodec) {
    CRaster source(5, 4, 24, 0);
    lumi::test::FillPattern(source, false);
    for (DWORD type : {kRasterTypeBmp, kRasterTypePng, kRasterTypeTga}) {
        CRaster decoded;
        ASSERT_TRUE(DecodeBytes(decoded, lumi::test::EncodeBytes(source, type), kRasterTypeNone)) << type;
        EXPECT_EQ(decoded.GetType(), type);
        lumi::test::ExpectSamePixels(source, decoded);
    }
}

}  // namespace
