// The JPEG codec: round trips, scaling, resolution, CMYK, option bits, and bad input. Fixtures
// that the codec must read are written and checked with libjpeg directly, an independent path.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#include "image/raster.h"
#include "image/raster_jpg.h"
#include "image/raster_mem_file.h"
#include "tests/image/codec_test_util.h"
#include "tests/image/jpeg_test_util.h"

namespace {

using lumi::test::Bytes;
using lumi::test::EncodeOk;

// A smooth colour picture whose three channels differ, so a red/blue swap shows.
CRaster MakeColourImage(DWORD w, DWORD h) {
    CRaster image(w, h, 24, kRasterTypeJpg);  // the JPEG option slot is the image's own
    for (DWORD y = 0; y < h; ++y)
        for (DWORD x = 0; x < w; ++x)
            image.SetPixelColor(static_cast<LONG>(x), static_cast<LONG>(y),
                                RGBQUAD{static_cast<BYTE>(40 + x * 2), static_cast<BYTE>(60 + y * 3),
                                        static_cast<BYTE>(220 - x - y), 0});
    return image;
}


double Psnr(const CRaster& a, const CRaster& b) {
    double sum = 0;
    std::size_t n = 0;
    for (LONG y = 0; y < static_cast<LONG>(a.GetHeight()); ++y)
        for (LONG x = 0; x < static_cast<LONG>(a.GetWidth()); ++x) {
            const RGBQUAD p = a.GetPixelColor(x, y, false), q = b.GetPixelColor(x, y, false);
            for (auto [u, v] : {std::pair{p.rgbBlue, q.rgbBlue}, {p.rgbGreen, q.rgbGreen}, {p.rgbRed, q.rgbRed}}) {
                sum += (u - v) * (u - v);
                ++n;
            }
        }
    const double mse = sum / static_cast<double>(n);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// What libjpeg itself says a file is.
struct JpegFacts {
    int components = 0;
    bool progressive = false;
    bool arithmetic = false;
    int h_samp = 0;
    int v_samp = 0;
    int density_unit = -1;
    int x_density = 0;
};

JpegFacts ReadFacts(const Bytes& file) {
    const lumi::test::JpegReader reader(file);
    const jpeg_decompress_struct& cinfo = reader.cinfo;
    return JpegFacts{cinfo.num_components, cinfo.progressive_mode != 0, cinfo.arith_code != 0,
                     cinfo.comp_info[0].h_samp_factor, cinfo.comp_info[0].v_samp_factor,
                     cinfo.saw_JFIF_marker ? cinfo.density_unit : -1, cinfo.X_density};
}

// A flat-coloured file written by libjpeg: 3 (RGB), 1 (grey) or 4 (CMYK) samples a pixel.
Bytes WriteFlatJpeg(int w, int h, std::vector<BYTE> pixel, int densityUnit = 1, int xDensity = 72,
                    int yDensity = 72) {
    lumi::test::JpegSpec spec;
    spec.width = w;
    spec.height = h;
    spec.components = static_cast<int>(pixel.size());
    for (int i = 0; i < w * h; ++i) spec.samples.insert(spec.samples.end(), pixel.begin(), pixel.end());
    spec.h_samp = spec.v_samp = pixel.size() == 4 ? 1 : 2;
    spec.density_unit = densityUnit;
    spec.x_density = xDensity;
    spec.y_density = yDensity;
    return lumi::test::WriteJpeg(spec);
}

std::string LibjpegText(int code) {
    jpeg_error_mgr err{};
    jpeg_std_error(&err);
    return err.jpeg_message_table[code];
}

bool DecodeJpeg(CRaster& image, Bytes file) {
    return image.Decode(file.empty() ? nullptr : file.data(), static_cast<DWORD>(file.size()), kRasterTypeJpg);
}

TEST(JpegCodec, ColourRoundTripStaysWithinJpegErrorAndImprovesWithQuality) {
    CRaster source = MakeColourImage(63, 48);  // rows padded by three bytes
    double previous = 0;
    for (float quality : {50.0f, 75.0f, 95.0f}) {
        source.SetQuality(quality);
        CRaster decoded;
        ASSERT_TRUE(DecodeJpeg(decoded, EncodeOk(source, kRasterTypeJpg))) << decoded.GetLastError();
        EXPECT_EQ(decoded.GetType(), kRasterTypeJpg);
        EXPECT_EQ(decoded.GetBpp(), 24);
        ASSERT_EQ(decoded.GetWidth(), 63u);
        ASSERT_EQ(decoded.GetHeight(), 48u);
        lumi::test::ExpectZeroRowPadding(decoded);
        const double psnr = Psnr(source, decoded);
        EXPECT_GT(psnr, 30.0) << "quality " << quality;
        EXPECT_GT(psnr, previous) << "quality " << quality << " should beat the lower one";
        previous = psnr;
    }
}

TEST(JpegCodec, GreyImagesWriteOneComponentAndReadBackWithGreyPalette) {
    for (WORD bits : {WORD{1}, WORD{4}, WORD{8}}) {
        // Entry i is grey i: the index is the sample, also below 8 bits.
        CRaster grey(32, 16, bits, kRasterTypeNone);
        const DWORD colours = grey.GetColorsUsed();
        for (DWORD i = 0; i < colours; ++i) grey.SetPaletteColor(static_cast<BYTE>(i), RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0});
        for (LONG y = 0; y < 16; ++y)
            for (LONG x = 0; x < 32; ++x) grey.SetPixelIndex(x, y, static_cast<BYTE>((x / 8) % colours));
        grey.SetQuality(100);
        const Bytes file = EncodeOk(grey, kRasterTypeJpg);
        EXPECT_EQ(ReadFacts(file).components, 1) << bits << " bits";

        CRaster decoded;
        ASSERT_TRUE(DecodeJpeg(decoded, file));
        EXPECT_EQ(decoded.GetBpp(), 8);
        EXPECT_EQ(decoded.GetColorsUsed(), 256u);
        EXPECT_TRUE(decoded.IsGrayScale());
        for (LONG x = 0; x < 32; x += 9)
            EXPECT_NEAR(decoded.GetPixelIndex(x, 5), (x / 8) % colours, 1) << bits << " bits, x " << x;
    }

    CRaster colourPalette(8, 8, 4, kRasterTypeNone);
    colourPalette.SetDefaultPalette();
    BYTE* buffer = nullptr;
    long size = 0;
    EXPECT_FALSE(colourPalette.Encode(buffer, size, kRasterTypeJpg));
    EXPECT_STREQ(colourPalette.GetLastError(), "JPEG can save only RGB or GreyScale images");
    EXPECT_EQ(buffer, nullptr);
}

TEST(JpegCodec, ScaleSettingPicksOneOfTheFourSizes) {
    CRaster source = MakeColourImage(64, 48);
    const Bytes file = EncodeOk(source, kRasterTypeJpg);
    const struct {
        BYTE scale;
        DWORD w, h;
    } cases[] = {{0, 64, 48}, {1, 64, 48}, {2, 32, 24}, {3, 32, 24}, {4, 16, 12}, {7, 16, 12}, {8, 8, 6}, {200, 8, 6}};
    for (const auto& c : cases) {
        CRaster decoded;
        decoded.SetJpegScale(c.scale);
        ASSERT_TRUE(DecodeJpeg(decoded, file));
        EXPECT_EQ(decoded.GetWidth(), c.w) << "scale " << int(c.scale);
        EXPECT_EQ(decoded.GetHeight(), c.h) << "scale " << int(c.scale);
        EXPECT_EQ(decoded.GetJpegScale(), c.scale);
    }
}

TEST(JpegCodec, ResolutionComesFromJfifAndIsWritten) {
    const struct {
        int unit, x, y;
        LONG dpiX, dpiY;
    } cases[] = {{1, 72, 72, 72, 72}, {2, 28, 28, 71, 71}, {0, 1, 2, 96, 192}};
    for (const auto& c : cases) {
        CRaster decoded;
        ASSERT_TRUE(DecodeJpeg(decoded, WriteFlatJpeg(8, 8, {10, 20, 30}, c.unit, c.x, c.y)));
        EXPECT_EQ(decoded.GetDpiX(), c.dpiX) << "unit " << c.unit;
        EXPECT_EQ(decoded.GetDpiY(), c.dpiY) << "unit " << c.unit;
    }
    CRaster source = MakeColourImage(8, 8);
    source.SetDpiX(150);
    const JpegFacts facts = ReadFacts(EncodeOk(source, kRasterTypeJpg));
    EXPECT_EQ(facts.density_unit, 1);
    EXPECT_EQ(facts.x_density, 150);
}

TEST(JpegCodec, CmykFoldsTheBlackChannelIntoBlueGreenRed) {
    CRaster decoded;
    ASSERT_TRUE(DecodeJpeg(decoded, WriteFlatJpeg(15, 16, {200, 100, 50, 128})));
    EXPECT_EQ(decoded.GetBpp(), 24);
    lumi::test::ExpectZeroRowPadding(decoded);
    const RGBQUAD p = decoded.GetPixelColor(7, 7, false);
    EXPECT_NEAR(p.rgbBlue, 50 * 128 / 255, 3);
    EXPECT_NEAR(p.rgbGreen, 100 * 128 / 255, 3);
    EXPECT_NEAR(p.rgbRed, 200 * 128 / 255, 3);
}

TEST(JpegCodec, DecoderOptionBits) {
    CRaster source = MakeColourImage(64, 48);
    const Bytes file = EncodeOk(source, kRasterTypeJpg);

    CRaster grey(kRasterTypeJpg);
    grey.SetCodecOption(0x80);
    ASSERT_TRUE(DecodeJpeg(grey, file));
    EXPECT_EQ(grey.GetBpp(), 8);
    EXPECT_TRUE(grey.IsGrayScale());
    EXPECT_NEAR(grey.GetPixelIndex(10, 10), source.GetPixelGray(10, 10), 8);

    CRaster quantised(kRasterTypeJpg);
    quantised.SetCodecOption(0x100);  // two passes: the colours come from the picture
    quantised.SetQuality(16);  // the number of colours
    ASSERT_TRUE(DecodeJpeg(quantised, file)) << quantised.GetLastError();
    EXPECT_EQ(quantised.GetBpp(), 8);
    const DWORD important = quantised.GetImportantColors();
    EXPECT_GT(important, 1u);
    EXPECT_LE(important, 16u);
    for (LONG y = 0; y < 48; y += 7)
        for (LONG x = 0; x < 64; x += 7) EXPECT_LT(quantised.GetPixelIndex(x, y), important);
    EXPECT_GT(Psnr(source, quantised), 18.0) << "the colour map describes the picture";
}

TEST(JpegCodec, EncoderOptionBitsReachTheFile) {
    CRaster source = MakeColourImage(40, 24);
    const struct {
        DWORD option;
        bool progressive, arithmetic;
        int components, h, v;
    } cases[] = {{0, false, false, 3, 2, 2},      {0x10, true, false, 3, 2, 2}, {0x02, false, true, 3, 2, 2},
                 {0x04, false, false, 1, 2, 2},   {0x1000, false, false, 3, 2, 1},
                 {0x2000 | 0x08, false, false, 3, 1, 1}};
    for (const auto& c : cases) {
        source.SetCodecOption(c.option);
        const Bytes file = EncodeOk(source, kRasterTypeJpg);
        const JpegFacts f = ReadFacts(file);
        EXPECT_EQ(f.progressive, c.progressive) << std::hex << c.option;
        EXPECT_EQ(f.arithmetic, c.arithmetic) << std::hex << c.option;
        EXPECT_EQ(f.components, c.components) << std::hex << c.option;
        if (c.components == 3) {
            EXPECT_EQ(f.h_samp, c.h) << std::hex << c.option;
            EXPECT_EQ(f.v_samp, c.v) << std::hex << c.option;
        }
        CRaster decoded;
        ASSERT_TRUE(DecodeJpeg(decoded, file)) << std::hex << c.option << ": " << decoded.GetLastError();
        if (c.components == 3) {
            EXPECT_GT(Psnr(source, decoded), 30.0) << std::hex << c.option;
        }
    }
}

TEST(JpegCodec, HeaderOnlyAndCancel) {
    CRaster source = MakeColourImage(64, 48);
    const Bytes file = EncodeOk(source, kRasterTypeJpg);

    CRaster probe;
    probe.SetJpegScale(2);
    probe.RequestHeaderOnly();
    ASSERT_TRUE(DecodeJpeg(probe, file));
    EXPECT_EQ(probe.GetWidth(), 32u);
    EXPECT_EQ(probe.GetHeight(), 24u);
    EXPECT_EQ(probe.GetType(), kRasterTypeJpg);
    EXPECT_FALSE(probe.IsValid());

    CRasterJPG codec;
    codec.SetEscape(1);
    CRasterMemFile stream(const_cast<BYTE*>(file.data()), static_cast<unsigned>(file.size()));
    EXPECT_FALSE(codec.Decode(&stream));
    EXPECT_FALSE(codec.IsValid());
    EXPECT_STREQ(codec.GetLastError(), "Cancelled");
}

TEST(JpegCodec, TruncatedFileDecodesAndEmptyFileFailsWithLibjpegText) {
    CRaster source = MakeColourImage(128, 128);
    Bytes file = EncodeOk(source, kRasterTypeJpg);
    file.resize(file.size() * 3 / 4);

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    CRaster decoded;
    const bool truncatedOk = DecodeJpeg(decoded, file);
    CRasterJPG empty;
    CRasterMemFile nothing;
    nothing.Open();
    const bool emptyOk = empty.Decode(&nothing);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    EXPECT_TRUE(truncatedOk) << decoded.GetLastError();
    EXPECT_EQ(decoded.GetWidth(), 128u);
    EXPECT_FALSE(emptyOk);
    EXPECT_EQ(std::string(empty.GetLastError()), LibjpegText(JERR_INPUT_EMPTY));
}

TEST(JpegCodec, CorruptFilesFailAndLeaveTheImageAlone) {
    CRaster source = MakeColourImage(64, 48);
    const Bytes good = EncodeOk(source, kRasterTypeJpg);
    std::vector<Bytes> corrupt;
    corrupt.push_back({0xFF, 0xD8, 0xFF});                          // ends inside the first marker
    corrupt.push_back({0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x01, 0x00});  // segment length below 2
    Bytes noFrame = {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x08, 1, 1, 0, 0, 63, 0, 0xFF, 0xD9};  // scan before frame
    corrupt.push_back(noFrame);
    // The file with bytes of its first `marker` segment (counted from the 0xFF) replaced.
    auto patched = [](Bytes file, BYTE marker, std::vector<std::pair<std::size_t, BYTE>> bytes) {
        for (std::size_t i = 2; i + 9 < file.size(); ++i)
            if (file[i] == 0xFF && file[i + 1] == marker) {
                for (auto [at, value] : bytes) file[i + at] = value;
                break;
            }
        return file;
    };
    corrupt.push_back(patched(good, 0xC0, {{9, 0}}));  // zero components
    corrupt.push_back(patched(good, 0xC0, {{5, 0xFF}, {6, 0xFF}, {7, 0xFF}, {8, 0xFF}}));  // 65535 x 65535
    // Progressive: whole-image buffers of 30000 x 30000 would need gigabytes; refused, not made.
    source.SetCodecOption(0x10);
    corrupt.push_back(patched(EncodeOk(source, kRasterTypeJpg), 0xC2, {{5, 0x75}, {6, 0x30}, {7, 0x75}, {8, 0x30}}));

    CRaster image = MakeColourImage(5, 7);
    const DWORD typeBefore = image.GetType();
    const RGBQUAD before = image.GetPixelColor(2, 3);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    for (std::size_t i = 0; i < corrupt.size(); ++i) {
        EXPECT_FALSE(DecodeJpeg(image, corrupt[i])) << "case " << i;
        EXPECT_NE(std::string(image.GetLastError()), "") << "case " << i;
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(image.GetWidth(), 5u);
    EXPECT_EQ(image.GetType(), typeBefore);
    EXPECT_EQ(image.GetPixelColor(2, 3).rgbRed, before.rgbRed);
}

TEST(JpegCodec, FileOfEndlessScansIsRefused) {
    CRaster source = MakeColourImage(64, 48);
    source.SetCodecOption(0x10);
    const Bytes file = EncodeOk(source, kRasterTypeJpg);
    std::size_t lastScan = 0;
    for (std::size_t i = 2; i + 1 < file.size(); ++i)
        if (file[i] == 0xFF && file[i + 1] == 0xDA) lastScan = i;
    ASSERT_GT(lastScan, 0u);
    // The last scan again and again: libjpeg only warns about a repeated scan.
    Bytes repeated(file.begin(), file.end() - 2);
    for (int i = 0; i < 1000; ++i) repeated.insert(repeated.end(), file.begin() + lastScan, file.end() - 2);
    repeated.insert(repeated.end(), {0xFF, 0xD9});
    CRaster decoded;
    EXPECT_FALSE(DecodeJpeg(decoded, repeated));
    EXPECT_STREQ(decoded.GetLastError(), "JPEG has too many scans");
}

TEST(JpegCodec, WriteFailureReportsLibjpegText) {
    CRaster source = MakeColourImage(256, 256);
    source.SetQuality(100);
    for (std::size_t limit : {std::size_t{0}, std::size_t{5000}}) {  // first buffer, then the last
        lumi::test::FailingWriteFile file(limit);
        EXPECT_FALSE(source.Encode(&file, kRasterTypeJpg)) << limit;
        EXPECT_EQ(std::string(source.GetLastError()), LibjpegText(JERR_FILE_WRITE)) << limit;
    }
}

}  // namespace

namespace {

// A JNA file holding one colour block.
Bytes JnaWithColourBlock(const Bytes& jpeg, int w, int h) {
    lumi::test::ByteWriter out;
    out.U8(0x00).U8(0x41).U8(0x4E).U8(0x4A).U32(1000).U16(w).U16(h).U8(24).U8(1);
    out.U8(1).U32(static_cast<std::uint32_t>(jpeg.size())).Raw(jpeg);
    return out.bytes;
}

TEST(JpegCodec, ReusedImageKeepsNothingOfTheEarlierFile) {
    // The first file leaves a transparent index, a transparent colour and 300 dpi behind.
    lumi::test::PngSpec png;
    png.width = png.height = 2;
    png.color_type = PNG_COLOR_TYPE_PALETTE;
    png.palette = {{1, 2, 3}, {4, 5, 6}};
    png.rows = {{0, 1}, {1, 0}};
    png.trns_alpha = {0};
    png.phys = 11811;
    // Density unit 0 gives only the aspect ratio: the resolution is the default.
    const Bytes jpeg = WriteFlatJpeg(8, 8, {10, 20, 30}, 0, 1, 1);
    const struct {
        const char* name;
        Bytes file;
        DWORD type;
    } cases[] = {{"jpeg", jpeg, kRasterTypeJpg}, {"jna", JnaWithColourBlock(jpeg, 8, 8), kRasterTypeJna},
                 {"detected jpeg", jpeg, kRasterTypeNone}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CRaster image;
        ASSERT_TRUE(lumi::test::DecodeBytes(image, lumi::test::WritePng(png), kRasterTypePng)) << image.GetLastError();
        ASSERT_EQ(image.GetBackgroundIndex(), 0);
        image.SetBackgroundColor(RGBQUAD{10, 20, 30, 0});
        ASSERT_EQ(image.GetDpiX(), 300);
        ASSERT_TRUE(lumi::test::DecodeBytes(image, c.file, c.type)) << image.GetLastError();
        EXPECT_EQ(image.GetBackgroundIndex(), -1);
        EXPECT_EQ(lumi::test::Hex(image.GetBackgroundColor()), "000000/00");
        EXPECT_FALSE(image.IsTransparent(3, 3));
        EXPECT_EQ(image.GetDpiX(), 96);
        EXPECT_EQ(image.GetDpiY(), 96);
    }

    // The exported codec object decoded on its own, twice.
    CRasterJPG codec;
    CRasterMemFile first(const_cast<BYTE*>(jpeg.data()), static_cast<unsigned>(jpeg.size()));
    codec.SetDpiX(300);
    ASSERT_TRUE(codec.Decode(&first));
    EXPECT_EQ(codec.GetDpiX(), 96);
}

}  // namespace
