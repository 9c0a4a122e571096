#pragma once
// Helpers shared by the codec tests: little-endian byte builders for hand-made files, a PNG
// writer over libpng itself (an independent path from the codec), streams that fail, and
// pixel comparisons.
#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/raster.h"
#include "image/raster_mem_file.h"

namespace lumi::test {

using Bytes = std::vector<std::uint8_t>;

// Appends little-endian fields.
struct ByteWriter {
    Bytes bytes;
    ByteWriter& U8(unsigned v) { bytes.push_back(static_cast<std::uint8_t>(v)); return *this; }
    ByteWriter& U16(unsigned v) { return U8(v & 0xFF).U8((v >> 8) & 0xFF); }
    ByteWriter& U32(std::uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
    ByteWriter& Raw(const Bytes& b) { bytes.insert(bytes.end(), b.begin(), b.end()); return *this; }
};

inline bool DecodeBytes(CRaster& image, const Bytes& bytes, DWORD type) {
    return image.Decode(const_cast<BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), type);
}

// Encodes through the library's entry point; empty on failure.
inline Bytes EncodeBytes(CRaster& image, DWORD type) {
    BYTE* buffer = nullptr;
    long size = 0;
    if (!image.Encode(buffer, size, type)) return {};
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

// EncodeBytes for encodes that must succeed: a failure is reported with the codec's message.
inline Bytes EncodeOk(CRaster& image, DWORD type) {
    Bytes out = EncodeBytes(image, type);
    EXPECT_FALSE(out.empty()) << image.GetLastError();
    return out;
}

// A memory stream whose writes stop succeeding after `budget` bytes.
class FailingWriteFile : public CRasterMemFile {
public:
    explicit FailingWriteFile(std::size_t budget) : budget_(budget) { Open(); }
    unsigned Write(const void* buffer, unsigned size, unsigned count) override {
        const std::size_t bytes = static_cast<std::size_t>(size) * count;
        if (bytes > budget_) return 0;
        budget_ -= bytes;
        return CRasterMemFile::Write(buffer, size, count);
    }

private:
    std::size_t budget_;
};

// A deterministic image: every pixel a function of (x, y), alpha optional.
inline void FillPattern(CRaster& image, bool withAlpha) {
    const LONG w = static_cast<LONG>(image.GetWidth()), h = static_cast<LONG>(image.GetHeight());
    const DWORD colors = image.GetColorsUsed();
    for (DWORD i = 0; i < colors; ++i)
        image.SetPaletteColor(static_cast<BYTE>(i), RGBQUAD{static_cast<BYTE>(i * 7), static_cast<BYTE>(255 - i),
                                                            static_cast<BYTE>(i * 13 + 5), 0});
    if (withAlpha) image.CreateAlpha();
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x) {
            if (colors)
                image.SetPixelIndex(x, y, static_cast<BYTE>((x * 3 + y * 5) % colors));
            else
                image.SetPixelColor(x, y, RGBQUAD{static_cast<BYTE>(x * 9), static_cast<BYTE>(y * 11),
                                                  static_cast<BYTE>(x + y * 3), 0});
            if (withAlpha) image.SetAlphaAt(x, y, static_cast<BYTE>((x * 17 + y * 29) & 0xFF));
        }
}

inline std::string Hex(RGBQUAD c) {
    char s[16];
    std::snprintf(s, sizeof(s), "%02x%02x%02x/%02x", c.rgbRed, c.rgbGreen, c.rgbBlue, c.rgbReserved);
    return s;
}

inline RGBQUAD Bgr(BYTE b, BYTE g, BYTE r) { return RGBQUAD{b, g, r, 0}; }

inline void ExpectColor(const CRaster& image, LONG x, LONG y, RGBQUAD expected) {
    EXPECT_EQ(Hex(image.GetPixelColor(x, y, false)), Hex(expected)) << "at (" << x << ", " << y << ")";
}

// Same size, same colours (blue, green, red) and, where either has a plane, same alpha.
// The bytes that pad each row to its stride are zero, whatever the decoder wrote.
inline void ExpectZeroRowPadding(const CRaster& image) {
    const std::size_t used = (static_cast<std::size_t>(image.GetWidth()) * image.GetBpp() + 7) / 8;
    for (DWORD y = 0; y < image.GetHeight(); ++y)
        for (std::size_t i = used; i < image.GetRowStride(); ++i)
            ASSERT_EQ(image.GetBits(y)[i], 0) << "row " << y << ", byte " << i << " of " << image.GetRowStride();
}

inline void ExpectSamePixels(const CRaster& expected, const CRaster& actual) {
    ASSERT_EQ(expected.GetWidth(), actual.GetWidth());
    ASSERT_EQ(expected.GetHeight(), actual.GetHeight());
    ASSERT_EQ(expected.HasAlpha(), actual.HasAlpha());
    int mismatches = 0;
    for (LONG y = 0; y < static_cast<LONG>(expected.GetHeight()); ++y)
        for (LONG x = 0; x < static_cast<LONG>(expected.GetWidth()); ++x) {
            RGBQUAD a = expected.GetPixelColor(x, y, false), b = actual.GetPixelColor(x, y, false);
            a.rgbReserved = expected.GetAlphaAt(x, y);
            b.rgbReserved = actual.GetAlphaAt(x, y);
            if (std::memcmp(&a, &b, 4) != 0 && ++mismatches <= 3)
                ADD_FAILURE() << "pixel (" << x << ", " << y << "): expected " << Hex(a) << ", got " << Hex(b);
        }
    EXPECT_EQ(mismatches, 0);
}

// A PNG written by libpng directly. Rows are top-down and packed as the PNG format wants.
struct PngSpec {
    png_uint_32 width = 1, height = 1;
    int bit_depth = 8;
    int color_type = PNG_COLOR_TYPE_RGB;
    bool interlaced = false;
    std::vector<Bytes> rows;
    std::vector<png_color> palette;
    Bytes trns_alpha;           // palette tRNS
    bool trns_key = false;      // grey or RGB tRNS
    png_color_16 key{};
    png_uint_32 phys = 0;       // pixels a unit, both axes; 0: no pHYs
    int phys_unit = PNG_RESOLUTION_METER;
};

namespace png_detail {
inline void Append(png_structp png, png_bytep data, size_t n) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}
inline void NoFlush(png_structp) {}
// The frame that setjmp covers holds only plain data; out and spec outlive it.
inline bool Write(const PngSpec& spec, Bytes* out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, Append, NoFlush);
    png_set_IHDR(png, info, spec.width, spec.height, spec.bit_depth, spec.color_type,
                 spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!spec.palette.empty())
        png_set_PLTE(png, info, spec.palette.data(), static_cast<int>(spec.palette.size()));
    if (!spec.trns_alpha.empty())
        png_set_tRNS(png, info, spec.trns_alpha.data(), static_cast<int>(spec.trns_alpha.size()), nullptr);
    if (spec.trns_key) png_set_tRNS(png, info, nullptr, 1, &spec.key);
    if (spec.phys) png_set_pHYs(png, info, spec.phys, spec.phys, spec.phys_unit);
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < spec.height; ++y) png_write_row(png, spec.rows[y].data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}
}  // namespace png_detail

inline Bytes WritePng(const PngSpec& spec) {
    Bytes out;
    EXPECT_TRUE(png_detail::Write(spec, &out)) << "libpng refused the test file";
    return out;
}

}  // namespace lumi::test
