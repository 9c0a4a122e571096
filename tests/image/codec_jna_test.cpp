// The JNA format: the bytes the writer lays out, round trips with and without alpha, files
// built by hand (short and long runs, odd blocks), and files that lie.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/raster.h"
#include "image/raster_jna.h"
#include "image/raster_mem_file.h"
#include "tests/image/codec_test_util.h"

namespace {

using lumi::test::Bytes;
using lumi::test::EncodeOk;

CRaster MakeImage(DWORD w, DWORD h, bool withAlpha) {
    CRaster image(w, h, 24, kRasterTypeNone);
    for (LONG y = 0; y < static_cast<LONG>(h); ++y)
        for (LONG x = 0; x < static_cast<LONG>(w); ++x)
            image.SetPixelColor(x, y, RGBQUAD{BYTE(30 + x * 4), BYTE(200 - y * 3), BYTE(100 + x + y), 0});
    if (withAlpha) {
        image.CreateAlpha();
        // 260 bytes of 7 then the rest 9: runs split at 255.
        BYTE* plane = image.GetAlphaPointer(0, 0);
        const std::size_t n = std::size_t{w} * h;
        for (std::size_t i = 0; i < n; ++i) plane[i] = i < 260 ? 7 : 9;
    }
    return image;
}

Bytes Encode(CRaster& image) { return EncodeOk(image, kRasterTypeJna); }

bool Decode(CRaster& image, Bytes file, DWORD type = kRasterTypeJna) {
    return image.Decode(file.data(), static_cast<DWORD>(file.size()), type);
}

std::uint32_t Le32(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

Bytes Header(WORD w, WORD h, BYTE bits, BYTE blocks, DWORD version = 1000) {
    return {0x00, 0x41, 0x4E, 0x4A, BYTE(version), BYTE(version >> 8), BYTE(version >> 16), BYTE(version >> 24),
            BYTE(w), BYTE(w >> 8), BYTE(h), BYTE(h >> 8), bits, blocks};
}

Bytes Block(BYTE type, const Bytes& payload) {
    const std::size_t n = payload.size();
    Bytes b = {type, BYTE(n), BYTE(n >> 8), BYTE(n >> 16), BYTE(n >> 24)};
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(JnaFormat, WriterLayout) {
    CRaster image = MakeImage(20, 15, true);
    const Bytes file = Encode(image);
    ASSERT_GE(file.size(), 14u + 5u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 14), Header(20, 15, 32, 2));
    EXPECT_EQ(file[14], 1);
    const std::uint32_t jpegLength = Le32(file, 15);
    ASSERT_LE(19 + jpegLength + 5, file.size());
    EXPECT_EQ(file[19], 0xFF);
    EXPECT_EQ(file[20], 0xD8);
    const std::size_t alphaAt = 19 + jpegLength;
    EXPECT_EQ(Bytes(file.begin() + alphaAt, file.end()), Block(2, {255, 7, 5, 7, 40, 9}));

    CRaster plain = MakeImage(20, 15, false);
    const Bytes noAlpha = Encode(plain);
    EXPECT_EQ(Bytes(noAlpha.begin(), noAlpha.begin() + 14), Header(20, 15, 24, 1));
    EXPECT_EQ(noAlpha.size(), 19 + Le32(noAlpha, 15));
}

TEST(JnaFormat, RoundTripKeepsAlphaExactlyAndColourWithinJpegError) {
    for (bool withAlpha : {true, false}) {
        CRaster source = MakeImage(40, 30, withAlpha);
        if (withAlpha)  // a plane with more than two values and long runs
            for (LONG x = 0; x < 40; ++x) source.SetAlphaAt(x, 29, BYTE(x * 6));
        CRaster decoded;
        ASSERT_TRUE(Decode(decoded, Encode(source))) << decoded.GetLastError();
        EXPECT_EQ(decoded.GetType(), kRasterTypeJna);
        EXPECT_EQ(decoded.GetBpp(), 24);
        ASSERT_EQ(decoded.GetWidth(), 40u);
        ASSERT_EQ(decoded.GetHeight(), 30u);
        ASSERT_EQ(decoded.HasAlpha(), withAlpha);
        if (withAlpha) {
            EXPECT_EQ(std::memcmp(decoded.GetAlphaPointer(0, 0), source.GetAlphaPointer(0, 0), 1200), 0);
        }
        int worst = 0;
        for (LONG y = 0; y < 30; ++y)
            for (LONG x = 0; x < 40; ++x) {
                const RGBQUAD a = source.GetPixelColor(x, y, false), b = decoded.GetPixelColor(x, y, false);
                worst = std::max({worst, std::abs(a.rgbRed - b.rgbRed), std::abs(a.rgbBlue - b.rgbBlue)});
            }
        EXPECT_LE(worst, 20);
    }
}

TEST(JnaFormat, GreyImagesWriteEightBitsAndReadBack) {
    CRaster grey(16, 8, 8, kRasterTypeNone);
    grey.SetGrayPalette();
    grey.Clear(90);
    const Bytes file = Encode(grey);
    EXPECT_EQ(file[12], 8);
    CRaster decoded;
    ASSERT_TRUE(Decode(decoded, file)) << decoded.GetLastError();
    EXPECT_EQ(decoded.GetBpp(), 8);
    EXPECT_NEAR(decoded.GetPixelIndex(3, 3), 90, 2);

    grey.CreateAlpha();
    EXPECT_EQ(Encode(grey)[12], 16);
}

TEST(JnaFormat, HandBuiltFilesFollowTheBlockRules) {
    CRaster colour = MakeImage(8, 4, false);
    const Bytes jpeg = EncodeOk(colour, kRasterTypeJpg);
    const BYTE plane = 32;
    struct Case {
        const char* what;
        Bytes file;
        bool alpha;
        std::vector<BYTE> expected;  // the whole plane when alpha
    };
    auto planeOf = [&](std::initializer_list<std::pair<int, BYTE>> runs) {
        std::vector<BYTE> p;
        for (auto [n, v] : runs) p.insert(p.end(), n, v);
        p.resize(plane, 255);
        return p;
    };
    const Case cases[] = {
        {"short runs leave 255", Concat({Header(8, 4, 32, 2), Block(1, jpeg), Block(2, {10, 1, 0, 5, 4, 2})}), true,
         planeOf({{10, 1}, {4, 2}})},
        {"a run past the end stops there", Concat({Header(8, 4, 32, 2), Block(1, jpeg), Block(2, {30, 3, 5, 4, 2, 6})}),
         true, planeOf({{30, 3}})},
        {"unknown block between", Concat({Header(8, 4, 32, 3), Block(1, jpeg), Block(9, {1, 2, 3}), Block(2, {32, 77})}),
         true, planeOf({{32, 77}})},
        {"alpha before colour is replaced", Concat({Header(8, 4, 32, 2), Block(2, {32, 0}), Block(1, jpeg)}), false, {}},
        {"other version", Concat({Header(8, 4, 24, 1, 7), Block(1, jpeg)}), false, {}},
        {"odd trailing byte", Concat({Header(8, 4, 32, 2), Block(1, jpeg), Block(2, {32, 5, 9})}), true,
         planeOf({{32, 5}})},
    };
    for (const Case& c : cases) {
        CRaster decoded;
        ASSERT_TRUE(Decode(decoded, c.file)) << c.what << ": " << decoded.GetLastError();
        EXPECT_EQ(decoded.GetWidth(), 8u) << c.what;
        ASSERT_EQ(decoded.HasAlpha(), c.alpha) << c.what;
        if (c.alpha) {
            const BYTE* got = decoded.GetAlphaPointer(0, 0);
            EXPECT_EQ(std::vector<BYTE>(got, got + plane), c.expected) << c.what;
        }
    }

    // Without a colour block the pixels are zeroed.
    CRaster bare;
    ASSERT_TRUE(Decode(bare, Concat({Header(3, 2, 32, 1), Block(2, {6, 128})})));
    EXPECT_EQ(bare.GetPixelColor(1, 1, false).rgbRed, 0);
    EXPECT_EQ(bare.GetAlphaAt(2, 1), 128);

    // Header only: size and type, no pixels; found by detection too.
    CRaster probe;
    probe.RequestHeaderOnly();
    ASSERT_TRUE(Decode(probe, cases[0].file));
    EXPECT_EQ(probe.GetWidth(), 8u);
    EXPECT_EQ(probe.GetType(), kRasterTypeJna);
    EXPECT_FALSE(probe.IsValid());
    CRaster detected;
    ASSERT_TRUE(Decode(detected, cases[0].file, kRasterTypeNone));
    EXPECT_EQ(detected.GetType(), kRasterTypeJna);
}

TEST(JnaFormat, BadFilesFailWithTheirMessageAndLeaveTheImageAlone) {
    CRaster colour = MakeImage(8, 4, false);
    const Bytes jpeg = EncodeOk(colour, kRasterTypeJpg);
    Bytes corruptJpeg = jpeg;
    corruptJpeg.resize(20);
    Bytes shortHeader = Header(8, 4, 24, 1);
    shortHeader.pop_back();
    const struct {
        Bytes file;
        const char* message;
    } cases[] = {
        {shortHeader, "Not a JNA"},
        {Concat({{0x00, 0x41, 0x4E, 0x4B, 0, 0, 0, 0, 8, 0, 4, 0, 24, 1}, Block(1, jpeg)}), "invalid JNA signature"},
        {Concat({Header(0, 4, 24, 1), Block(1, jpeg)}), "bad JNA header"},
        {Concat({Header(8, 4, 12, 1), Block(1, jpeg)}), "bad JNA header"},
        // A block length far past the stream: refused before anything that size is allocated.
        {Concat({Header(8, 4, 24, 1), Bytes{1, 0xF0, 0xFF, 0xFF, 0xFF}, jpeg}), "JNA block decode failed"},
        {Concat({Header(8, 4, 32, 2), Block(1, jpeg)}), "JNA block decode failed"},   // a block missing
        {Concat({Header(8, 4, 24, 1), Block(1, corruptJpeg)}), "JNA block decode failed"},
        {Concat({Header(8, 4, 24, 1), Bytes{1, 10, 0}}), "JNA block decode failed"},  // cut block head
        {Concat({Header(20000, 20000, 24, 1), Block(1, jpeg)}), "JNA Create failed"},
        // A colour image of another size than the header says: callers judge the header.
        {Concat({Header(2, 2, 24, 1), Block(1, jpeg)}), "JNA block decode failed"},
    };
    CRaster image = MakeImage(5, 3, true);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    for (const auto& c : cases) {
        EXPECT_FALSE(Decode(image, c.file)) << c.message;
        EXPECT_STREQ(image.GetLastError(), c.message);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(image.GetWidth(), 5u);
    EXPECT_TRUE(image.HasAlpha());
    EXPECT_EQ(image.GetType(), kRasterTypeNone);

    CRaster cancelled;
    cancelled.SetEscape(1);
    EXPECT_FALSE(Decode(cancelled, Concat({Header(8, 4, 24, 1), Block(1, jpeg)})));
    EXPECT_STREQ(cancelled.GetLastError(), "Cancelled");
}

TEST(JnaFormat, WriterRefusesWhatTheFormatCannotHold) {
    CRaster wide(70000, 1, 24, kRasterTypeNone);
    BYTE* buffer = nullptr;
    long size = 0;
    EXPECT_FALSE(wide.Encode(buffer, size, kRasterTypeJna));
    EXPECT_STREQ(wide.GetLastError(), "image too large for format");

    CRaster palette(4, 4, 8, kRasterTypeNone);
    palette.SetDefaultPalette();
    CRasterMemFile out;
    out.Open();
    EXPECT_FALSE(palette.Encode(&out, kRasterTypeJna));
    EXPECT_STREQ(palette.GetLastError(), "JPEG can save only RGB or GreyScale images");
    EXPECT_EQ(out.Tell(), 0) << "nothing written";
}

}  // namespace
