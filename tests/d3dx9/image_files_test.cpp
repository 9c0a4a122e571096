// Image files in memory: every type written and read back, its information, and corrupt files
// (built here by truncating valid ones and lying in their headers) refused.
#include "platform/d3dx9/image_files.h"

#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/d3dx9/dds.h"

namespace {

using d3dx::DecodeImage;
using d3dx::EncodeSurface;
using d3dx::ImageBuffer;
using d3dx::ReadImageInfo;
using Bytes = std::vector<std::uint8_t>;

// 5x3 (not a multiple of 4 wide, so BMP rows are padded) with varied colour and alpha.
ImageBuffer Sample(D3DFORMAT format, bool smooth = false) {
    ImageBuffer argb, image;
    EXPECT_TRUE(argb.Allocate(D3DFMT_A8R8G8B8, 5, 3) && image.Allocate(format, 5, 3));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const std::uint32_t a = 0x30 + x * 40, r = smooth ? 100 + x * 4 : x * 60, g = smooth ? 120 + y * 4 : 255 - y * 70,
                                b = smooth ? 140 : (x * 37 + y * 91) & 0xFF;
            d3d9sw::WritePixel(argb.View(), x, y, (a << 24) | (r << 16) | (g << 8) | b);
        }
    if (format == D3DFMT_A8R8G8B8) return argb;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) d3d9sw::WritePixel(image.View(), x, y, d3d9sw::ReadPixel(argb.View(), x, y));
    return image;
}

Bytes Encode(D3DXIMAGE_FILEFORMAT type, ImageBuffer& image, const RECT* rect = nullptr) {
    Bytes bytes;
    EXPECT_EQ(EncodeSurface(type, image.View(), rect, &bytes), D3D_OK) << "file type " << type;
    return bytes;
}

int Distance(std::uint32_t a, std::uint32_t b) {
    int worst = 0;
    for (int shift = 0; shift < 32; shift += 8)
        worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    return worst;
}

// Decodes and compares with `expected` read as ARGB, forcing alpha opaque when asked.
void ExpectDecodesTo(const Bytes& bytes, ImageBuffer& expected, int tolerance, bool opaque, const char* what) {
    ImageBuffer decoded;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(DecodeImage(bytes.data(), bytes.size(), &decoded, &info), D3D_OK) << what;
    ASSERT_EQ(decoded.width, expected.width) << what;
    ASSERT_EQ(decoded.height, expected.height) << what;
    for (int y = 0; y < static_cast<int>(expected.height); ++y)
        for (int x = 0; x < static_cast<int>(expected.width); ++x) {
            std::uint32_t want = d3d9sw::ReadPixel(expected.View(), x, y);
            if (opaque) want |= 0xFF000000u;
            const std::uint32_t got = d3d9sw::ReadPixel(decoded.View(), x, y);
            EXPECT_LE(Distance(want, got), tolerance) << what << " at " << x << "," << y << std::hex << ": " << want << " vs " << got;
        }
}

TEST(ImageFiles, ColourFilesRoundTripWithTheirInformation) {
    struct Case {
        D3DXIMAGE_FILEFORMAT write, reads;
        D3DFORMAT surface, infoFormat;
        int tolerance;
        bool opaque;
        bool smooth;
    } cases[] = {
        {D3DXIFF_BMP, D3DXIFF_BMP, D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8, 0, false, false},
        {D3DXIFF_DIB, D3DXIFF_BMP, D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8, 0, false, false},
        {D3DXIFF_TGA, D3DXIFF_TGA, D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8, 0, false, false},
        {D3DXIFF_PNG, D3DXIFF_PNG, D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8, 0, false, false},
        {D3DXIFF_BMP, D3DXIFF_BMP, D3DFMT_X8R8G8B8, D3DFMT_R8G8B8, 0, true, false},
        {D3DXIFF_TGA, D3DXIFF_TGA, D3DFMT_R5G6B5, D3DFMT_R8G8B8, 0, true, false},
        {D3DXIFF_PNG, D3DXIFF_PNG, D3DFMT_X8R8G8B8, D3DFMT_R8G8B8, 0, true, false},
        {D3DXIFF_PPM, D3DXIFF_PPM, D3DFMT_A8R8G8B8, D3DFMT_R8G8B8, 0, true, false},
        {D3DXIFF_JPG, D3DXIFF_JPG, D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, 6, true, true},
        {D3DXIFF_HDR, D3DXIFF_HDR, D3DFMT_X8R8G8B8, D3DFMT_A32B32G32R32F, 1, true, false},
    };
    for (const Case& c : cases) {
        const std::string what = "file type " + std::to_string(c.write) + " from format " + std::to_string(c.surface);
        ImageBuffer image = Sample(c.surface, c.smooth);
        const Bytes bytes = Encode(c.write, image);
        D3DXIMAGE_INFO info{};
        ASSERT_EQ(ReadImageInfo(bytes.data(), bytes.size(), &info), D3D_OK) << what;
        EXPECT_EQ(info.Width, 5u) << what;
        EXPECT_EQ(info.Height, 3u) << what;
        EXPECT_EQ(info.Depth, 1u) << what;
        EXPECT_EQ(info.MipLevels, 1u) << what;
        EXPECT_EQ(info.Format, c.infoFormat) << what;
        EXPECT_EQ(info.ResourceType, D3DRTYPE_TEXTURE) << what;
        EXPECT_EQ(info.ImageFileFormat, c.reads) << what;
        ExpectDecodesTo(bytes, image, c.tolerance, c.opaque, what.c_str());
    }
}

TEST(ImageFiles, RunLengthHdrRowsAreReadWhole) {
    // Rows of 8 or more pixels are run-length coded; a cut in the last row must be caught.
    ImageBuffer image;
    ASSERT_TRUE(image.Allocate(D3DFMT_X8R8G8B8, 12, 2));
    for (int x = 0; x < 12; ++x) d3d9sw::WritePixel(image.View(), x, 1, 0xFF000000u | (x * 20u) << 16 | 0x4080);
    const Bytes bytes = Encode(D3DXIFF_HDR, image);
    ExpectDecodesTo(bytes, image, 1, true, "run-length HDR");
    ImageBuffer decoded;
    const Bytes cut(bytes.begin(), bytes.end() - 3);
    EXPECT_EQ(DecodeImage(cut.data(), cut.size(), &decoded, nullptr), D3DXERR_INVALIDDATA);
}

TEST(ImageFiles, DdsKeepsEveryDeviceFormatByteForByte) {
    for (D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5,
                             D3DFMT_A4R4G4B4, D3DFMT_A8, D3DFMT_L8, D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_DXT5}) {
        ImageBuffer image;
        ASSERT_TRUE(image.Allocate(format, 5, 3));
        for (std::size_t i = 0; i < image.bits.size(); ++i) image.bits[i] = static_cast<std::uint8_t>(i * 29 + 7);
        const Bytes bytes = Encode(D3DXIFF_DDS, image);
        D3DXIMAGE_INFO info{};
        ASSERT_EQ(ReadImageInfo(bytes.data(), bytes.size(), &info), D3D_OK) << format;
        EXPECT_EQ(info.Format, format);
        EXPECT_EQ(info.ImageFileFormat, D3DXIFF_DDS);
        EXPECT_EQ(info.Width, 5u);
        EXPECT_EQ(info.Height, 3u);
        EXPECT_EQ(info.MipLevels, 1u);
        ImageBuffer decoded;
        ASSERT_EQ(DecodeImage(bytes.data(), bytes.size(), &decoded, nullptr), D3D_OK) << format;
        EXPECT_EQ(decoded.format, format);
        EXPECT_EQ(decoded.bits, image.bits) << "format " << format;
    }
}

TEST(ImageFiles, DdsWithMipLevelsReportsThem) {
    ImageBuffer top, middle, bottom;
    ASSERT_TRUE(top.Allocate(D3DFMT_DXT1, 4, 4) && middle.Allocate(D3DFMT_DXT1, 2, 2) && bottom.Allocate(D3DFMT_DXT1, 1, 1));
    Bytes bytes;
    ASSERT_EQ(d3dx::EncodeDds({top.View(), middle.View(), bottom.View()}, &bytes), D3D_OK);
    EXPECT_EQ(bytes.size(), 128u + 3 * 8);
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(ReadImageInfo(bytes.data(), bytes.size(), &info), D3D_OK);
    EXPECT_EQ(info.MipLevels, 3u);
    bytes.resize(bytes.size() - 1);  // the last level cut short
    EXPECT_EQ(ReadImageInfo(bytes.data(), bytes.size(), &info), D3DXERR_INVALIDDATA);
}

TEST(ImageFiles, SourceRectangleSavesOnlyThatRegion) {
    ImageBuffer image = Sample(D3DFMT_A8R8G8B8);
    const RECT rect{1, 1, 4, 3};
    for (D3DXIMAGE_FILEFORMAT type : {D3DXIFF_PNG, D3DXIFF_DDS}) {
        const Bytes bytes = Encode(type, image, &rect);
        ImageBuffer decoded;
        ASSERT_EQ(DecodeImage(bytes.data(), bytes.size(), &decoded, nullptr), D3D_OK);
        ASSERT_EQ(decoded.width, 3u);
        ASSERT_EQ(decoded.height, 2u);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(d3d9sw::ReadPixel(decoded.View(), x, y), d3d9sw::ReadPixel(image.View(), x + 1, y + 1)) << type;
    }
    // A DXT region cut out of its blocks is re-encoded.
    ImageBuffer dxt;
    ASSERT_TRUE(dxt.Allocate(D3DFMT_DXT5, 8, 8));
    const RECT unaligned{1, 2, 6, 7};
    const Bytes bytes = Encode(D3DXIFF_DDS, dxt, &unaligned);
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(ReadImageInfo(bytes.data(), bytes.size(), &info), D3D_OK);
    EXPECT_EQ(info.Width, 5u);
    EXPECT_EQ(info.Format, D3DFMT_DXT5);
}

TEST(ImageFiles, GreyPngReadsAsL8) {
    const std::uint8_t grey[6] = {0, 40, 80, 120, 160, 255};
    Bytes bytes;
    stbi_write_png_to_func([](void* context, void* data, int size) {
        auto* out = static_cast<Bytes*>(context);
        out->insert(out->end(), static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + size);
    }, &bytes, 3, 2, 1, grey, 3);
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(ReadImageInfo(bytes.data(), bytes.size(), &info), D3D_OK);
    EXPECT_EQ(info.Format, D3DFMT_L8);
    ImageBuffer decoded;
    ASSERT_EQ(DecodeImage(bytes.data(), bytes.size(), &decoded, nullptr), D3D_OK);
    EXPECT_EQ(d3d9sw::ReadPixel(decoded.View(), 1, 1), 0xFFA0A0A0u);
}

void Put32(Bytes* bytes, std::size_t at, std::uint32_t value) { std::memcpy(bytes->data() + at, &value, 4); }
void Put16(Bytes* bytes, std::size_t at, std::uint16_t value) { std::memcpy(bytes->data() + at, &value, 2); }

TEST(ImageFiles, PortableFloatMapsAreWrittenBottomUp) {
    ImageBuffer image = Sample(D3DFMT_A8R8G8B8);
    const Bytes bytes = Encode(D3DXIFF_PFM, image);
    const std::string header = "PF\n5 3\n-1.0\n";
    ASSERT_EQ(bytes.size(), header.size() + 5 * 3 * 3 * sizeof(float));
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(header.size())), header);
    float first[3];  // the bottom row's first pixel: red, green, blue
    std::memcpy(first, bytes.data() + header.size(), sizeof first);
    const std::uint32_t pixel = d3d9sw::ReadPixel(image.View(), 0, 2);
    EXPECT_FLOAT_EQ(first[0], ((pixel >> 16) & 0xFF) / 255.0f);
    EXPECT_FLOAT_EQ(first[1], ((pixel >> 8) & 0xFF) / 255.0f);
    EXPECT_FLOAT_EQ(first[2], (pixel & 0xFF) / 255.0f);
}

// A BMP or TGA file of `bits` per pixel, 2 x 1, with the given header fields.
Bytes Bmp(std::uint16_t bits, std::uint32_t compression, std::vector<std::uint32_t> masks, std::uint32_t headerSize = 40) {
    const std::uint32_t tableEntries = bits <= 8 ? 1u << bits : 0;
    const std::uint32_t extraMasks = headerSize == 40 ? static_cast<std::uint32_t>(masks.size()) * 4 : 0;
    const std::uint32_t offset = 14 + headerSize + extraMasks + tableEntries * 4;
    Bytes bytes(offset + 8, 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    Put32(&bytes, 2, static_cast<std::uint32_t>(bytes.size()));
    Put32(&bytes, 10, offset);
    Put32(&bytes, 14, headerSize);
    Put32(&bytes, 18, 2);
    Put32(&bytes, 22, 1);
    Put16(&bytes, 26, 1);
    Put16(&bytes, 28, bits);
    Put32(&bytes, 30, compression);
    for (std::size_t i = 0; i < masks.size(); ++i) Put32(&bytes, 54 + 4 * i, masks[i]);
    return bytes;
}

Bytes Tga(std::uint8_t type, std::uint8_t bits, std::uint8_t descriptor) {
    const bool mapped = type == 1;
    Bytes bytes(18 + (mapped ? 2 * 3 : 0) + 2 * ((bits + 7) / 8), 0);
    bytes[1] = mapped ? 1 : 0;
    bytes[2] = type;
    if (mapped) {
        Put16(&bytes, 5, 2);  // two entries of 24 bits
        bytes[7] = 24;
    }
    Put16(&bytes, 12, 2);
    Put16(&bytes, 14, 1);
    bytes[16] = bits;
    bytes[17] = descriptor;
    return bytes;
}

TEST(ImageFiles, InformationReportsTheFormatTheFileStores) {
    const Bytes greyAlphaPng = [] {
        const std::uint8_t pixels[4] = {10, 200, 20, 100};
        Bytes bytes;
        stbi_write_png_to_func([](void* context, void* data, int size) {
            auto* out = static_cast<Bytes*>(context);
            out->insert(out->end(), static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + size);
        }, &bytes, 2, 1, 2, pixels, 4);
        return bytes;
    }();
    struct Case {
        const char* what;
        Bytes bytes;
        D3DFORMAT format;
    } cases[] = {
        {"8-bit BMP", Bmp(8, 0, {}), D3DFMT_P8},
        {"4-bit BMP", Bmp(4, 0, {}), D3DFMT_P8},
        {"16-bit BMP", Bmp(16, 0, {}), D3DFMT_X1R5G5B5},
        {"16-bit BMP with 5-6-5 masks", Bmp(16, 3, {0xF800, 0x07E0, 0x001F}), D3DFMT_R5G6B5},
        {"16-bit BMP with an alpha bit", Bmp(16, 3, {0x7C00, 0x03E0, 0x001F, 0x8000}, 108), D3DFMT_A1R5G5B5},
        {"24-bit BMP", Bmp(24, 0, {}), D3DFMT_R8G8B8},
        {"32-bit BMP", Bmp(32, 0, {}), D3DFMT_X8R8G8B8},
        {"32-bit BMP with an alpha mask", Bmp(32, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000u}, 108), D3DFMT_A8R8G8B8},
        {"colour-mapped TGA", Tga(1, 8, 0), D3DFMT_P8},
        {"grey TGA", Tga(3, 8, 0), D3DFMT_L8},
        {"16-bit TGA", Tga(2, 16, 0), D3DFMT_X1R5G5B5},
        {"16-bit TGA with an alpha bit", Tga(2, 16, 1), D3DFMT_A1R5G5B5},
        {"24-bit TGA", Tga(2, 24, 0), D3DFMT_R8G8B8},
        {"32-bit TGA without alpha bits", Tga(2, 32, 0), D3DFMT_X8R8G8B8},
        {"grey PNG with alpha", greyAlphaPng, D3DFMT_A8L8},
    };
    for (const Case& c : cases) {
        D3DXIMAGE_INFO info{};
        ASSERT_EQ(ReadImageInfo(c.bytes.data(), c.bytes.size(), &info), D3D_OK) << c.what;
        EXPECT_EQ(info.Format, c.format) << c.what;
        EXPECT_EQ(info.Width, 2u) << c.what;
    }
}

TEST(ImageFiles, UnsupportedRequestsAreRefused) {
    ImageBuffer image = Sample(D3DFMT_A8R8G8B8);
    Bytes bytes;
    EXPECT_EQ(EncodeSurface(static_cast<D3DXIMAGE_FILEFORMAT>(42), image.View(), nullptr, &bytes), D3DERR_INVALIDCALL);
    const RECT outside{0, 0, 6, 3}, extreme{INT32_MIN, 0, INT32_MAX, 3};
    EXPECT_EQ(EncodeSurface(D3DXIFF_PNG, image.View(), &outside, &bytes), D3DERR_INVALIDCALL);
    EXPECT_EQ(EncodeSurface(D3DXIFF_PNG, image.View(), &extreme, &bytes), D3DERR_INVALIDCALL);
    std::vector<std::uint8_t> depth(30);
    EXPECT_EQ(EncodeSurface(D3DXIFF_DDS, {D3DFMT_D16, 5, 3, 10, depth.data()}, nullptr, &bytes), D3DERR_INVALIDCALL);
}

Bytes Truncated(Bytes bytes, std::size_t keep) {
    bytes.resize(std::min(keep, bytes.size()));
    return bytes;
}

TEST(ImageFiles, CorruptFilesAreRefusedAsInvalidData) {
    ImageBuffer image = Sample(D3DFMT_A8R8G8B8);
    ImageBuffer opaque = Sample(D3DFMT_X8R8G8B8);
    const Bytes bmp = Encode(D3DXIFF_BMP, image), bmp24 = Encode(D3DXIFF_BMP, opaque), tga = Encode(D3DXIFF_TGA, image),
                png = Encode(D3DXIFF_PNG, image), jpg = Encode(D3DXIFF_JPG, image), dds = Encode(D3DXIFF_DDS, image),
                ppm = Encode(D3DXIFF_PPM, image), hdr = Encode(D3DXIFF_HDR, image);
    struct Case {
        const char* what;
        Bytes bytes;
    };
    std::vector<Case> cases = {
        {"BMP cut in its pixels", Truncated(bmp, bmp.size() - 3)},
        {"24-bit BMP cut in its pixels", Truncated(bmp24, bmp24.size() - 2)},
        {"BMP cut in its header", Truncated(bmp, 20)},
        {"TGA cut in its pixels", Truncated(tga, tga.size() - 4)},
        {"PNG cut before its end", Truncated(png, png.size() - 12)},
        {"PNG cut in half", Truncated(png, png.size() / 2)},
        {"JPG cut in half", Truncated(jpg, jpg.size() / 2)},
        {"DDS cut in its pixels", Truncated(dds, dds.size() - 1)},
        {"DDS header only", Truncated(dds, 100)},
        {"PPM cut in its pixels", Truncated(ppm, ppm.size() - 5)},
        {"PPM cut in its header", Truncated(ppm, 6)},
        {"HDR cut in its pixels", Truncated(hdr, hdr.size() - 6)},
        {"signature only", Truncated(png, 8)},
        {"garbage", Bytes(64, 0xAB)},
        {"a few bytes", Bytes{'B', 'M', 0, 0}},
    };
    Bytes tall = bmp;  // claims more rows than it holds
    Put32(&tall, 22, 3000);
    cases.push_back({"BMP lying about its height", tall});
    Bytes wide = bmp;
    Put32(&wide, 18, 100000);
    cases.push_back({"BMP beyond the size cap", wide});
    Bytes zero = bmp;
    Put32(&zero, 18, 0);
    cases.push_back({"BMP of width 0", zero});
    Bytes tgaTall = tga;
    Put16(&tgaTall, 14, 60000);
    cases.push_back({"TGA lying about its height", tgaTall});
    Bytes pngHuge = png;  // IHDR width (big-endian) at 16
    pngHuge[16] = 0x7F;
    cases.push_back({"PNG beyond the size cap", pngHuge});
    Bytes pngZero = png;
    std::memset(pngZero.data() + 16, 0, 4);
    cases.push_back({"PNG of width 0", pngZero});
    Bytes ddsHuge = dds;  // height at 12, width at 16
    Put32(&ddsHuge, 16, 1u << 20);
    cases.push_back({"DDS beyond the size cap", ddsHuge});
    Bytes ddsZero = dds;
    Put32(&ddsZero, 12, 0);
    cases.push_back({"DDS of height 0", ddsZero});
    Bytes ddsTall = dds;
    Put32(&ddsTall, 12, 4000);
    cases.push_back({"DDS lying about its height", ddsTall});
    Bytes ddsLevels = dds;  // flags at 8, mip count at 28
    Put32(&ddsLevels, 8, 0x21007);
    Put32(&ddsLevels, 28, 40);
    cases.push_back({"DDS with more levels than its size allows", ddsLevels});
    Bytes ddsFormat = dds;  // pixel format bit count at 88
    Put32(&ddsFormat, 88, 24);
    cases.push_back({"DDS of an unknown pixel format", ddsFormat});
    Bytes ddsFourCC = dds;  // pixel format flags at 80, FourCC at 84
    Put32(&ddsFourCC, 80, 0x4);
    Put32(&ddsFourCC, 84, MAKEFOURCC('D', 'X', 'T', '2'));
    cases.push_back({"DDS of an unsupported FourCC", ddsFourCC});
    Bytes ddsCube = dds;  // caps2 at 112
    Put32(&ddsCube, 112, 0x200);
    cases.push_back({"DDS cube map", ddsCube});
    Bytes ddsSize = dds;  // header size at 4
    Put32(&ddsSize, 4, 100);
    cases.push_back({"DDS with a wrong header size", ddsSize});
    // A Huffman table of 257 codes, one more than a table holds, right after the start of image.
    Bytes huffman = {0xFF, 0xD8, 0xFF, 0xC4, 0x01, 0x14, 0x00};
    for (int i = 0; i < 16; ++i) huffman.push_back(i == 14 ? 2 : i == 15 ? 255 : 0);
    huffman.insert(huffman.end(), 257, 0x01);
    huffman.insert(huffman.end(), jpg.begin() + 2, jpg.end());
    cases.push_back({"JPG with a Huffman table of 257 codes", huffman});
    Bytes undefinedTable = jpg;  // the first scan component's tables become slot 3, never defined
    const std::uint8_t kStartOfScan[] = {0xFF, 0xDA};
    const auto scan = std::search(undefinedTable.begin(), undefinedTable.end(), kStartOfScan, kStartOfScan + 2);
    ASSERT_NE(scan, undefinedTable.end());
    scan[6] = 0x33;
    cases.push_back({"JPG scan using a Huffman table never defined", undefinedTable});
    Bytes segment = {0xFF, 0xD8, 0xFF, 0xE1, 0x7F, 0xFF, 0x00, 0xFF, 0xD9};
    cases.push_back({"JPG segment passing its end", segment});
    Bytes emptyData = png;  // an empty image data chunk right after IHDR, ahead of the real one
    const Bytes emptyChunk = {0, 0, 0, 0, 'I', 'D', 'A', 'T', 0x35, 0xAF, 0x06, 0x1E};
    emptyData.insert(emptyData.begin() + 33, emptyChunk.begin(), emptyChunk.end());
    cases.push_back({"PNG whose first image data is empty", emptyData});
    Bytes deep = {'P', '5', '\n', '2', ' ', '2', '\n', '6', '5', '5', '3', '5', '\n'};
    deep.insert(deep.end(), 8, 0x7F);
    cases.push_back({"PGM of 16-bit samples", deep});

    for (const Case& c : cases) {
        D3DXIMAGE_INFO info{};
        ImageBuffer decoded;
        EXPECT_EQ(ReadImageInfo(c.bytes.data(), c.bytes.size(), &info), D3DXERR_INVALIDDATA) << c.what;
        EXPECT_EQ(DecodeImage(c.bytes.data(), c.bytes.size(), &decoded, &info), D3DXERR_INVALIDDATA) << c.what;
        EXPECT_TRUE(decoded.bits.empty()) << c.what;
    }
    D3DXIMAGE_INFO info{};
    EXPECT_EQ(ReadImageInfo(png.data(), 0, &info), D3DERR_INVALIDCALL);
    EXPECT_EQ(ReadImageInfo(nullptr, 10, &info), D3DERR_INVALIDCALL);
}

}  // namespace
