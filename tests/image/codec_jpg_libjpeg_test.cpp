// JPEG decoder against files written by libjpeg itself: baseline and progressive, restart
// markers, every common chroma subsampling, optimised and arithmetic coding, grey and CMYK.
// Each decoded pixel is compared with what the encoder was given (within JPEG's loss) and
// with libjpeg's own decode of the same file (exactly).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#include "image/raster.h"
#include "tests/image/codec_test_util.h"
#include "tests/image/jpeg_test_util.h"

namespace {

using lumi::test::Bytes;

constexpr int kWidth = 61, kHeight = 45;  // not a multiple of any MCU size

struct JpegSettings {
    const char* name;
    int components = 3;  // 1 grey, 3 RGB, 4 CMYK
    int h_samp = 2, v_samp = 2;  // of the first component
    bool progressive = false;
    int restart_interval = 0;  // MCUs
    bool optimize = false;
    bool arithmetic = false;
};

// Smooth samples, different in every channel.
std::vector<BYTE> Given(int components) {
    std::vector<BYTE> samples;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            for (int c = 0; c < components; ++c)
                samples.push_back(static_cast<BYTE>(std::clamp(30 + x * (2 + c) + y * (3 - c) + c * 40, 0, 255)));
    return samples;
}

Bytes Write(const JpegSettings& s, const std::vector<BYTE>& samples) {
    lumi::test::JpegSpec spec;
    spec.width = kWidth;
    spec.height = kHeight;
    spec.components = s.components;
    spec.samples = samples;
    spec.h_samp = s.h_samp;
    spec.v_samp = s.v_samp;
    spec.progressive = s.progressive;
    spec.restart_interval = s.restart_interval;
    spec.optimize = s.optimize;
    spec.arithmetic = s.arithmetic;
    return lumi::test::WriteJpeg(spec);
}

// libjpeg's own reading of the file: its output samples, top-down.
std::vector<BYTE> ReadWithLibjpeg(const Bytes& file, int* components) {
    lumi::test::JpegReader reader(file);
    jpeg_decompress_struct& cinfo = reader.cinfo;
    jpeg_start_decompress(&cinfo);
    *components = cinfo.output_components;
    std::vector<BYTE> samples(static_cast<std::size_t>(cinfo.output_width) * cinfo.output_height * *components);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = samples.data() + static_cast<std::size_t>(cinfo.output_scanline) * cinfo.output_width * *components;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    return samples;
}

// Blue, green, red as the image must hold them, from samples of 1, 3 or 4 (CMYK, as stored:
// each channel times K / 255) components.
std::array<int, 3> Bgr(const std::vector<BYTE>& samples, int components, int x, int y) {
    const BYTE* p = samples.data() + (static_cast<std::size_t>(y) * kWidth + x) * components;
    if (components == 1) return {p[0], p[0], p[0]};
    if (components == 3) return {p[2], p[1], p[0]};
    return {p[2] * p[3] / 255, p[1] * p[3] / 255, p[0] * p[3] / 255};
}

TEST(JpegFromLibjpeg, EveryLayoutDecodesAsLibjpegReadsIt) {
    const JpegSettings cases[] = {
        {"baseline 4:2:0"},
        {"baseline 4:4:4", 3, 1, 1},
        {"4:2:2", 3, 2, 1},
        {"4:4:0", 3, 1, 2},
        {"progressive 4:2:0", 3, 2, 2, true},
        {"progressive 4:4:4", 3, 1, 1, true},
        {"restart markers every MCU", 3, 2, 2, false, 1},
        {"restart markers every 7 MCUs, progressive", 3, 2, 1, true, 7},
        {"optimised Huffman tables", 3, 2, 2, false, 0, true},
        {"arithmetic coding", 3, 2, 2, false, 0, false, true},
        {"grey", 1},
        {"grey progressive with restarts", 1, 1, 1, true, 3},
        {"CMYK", 4, 1, 1},
        {"CMYK 4:2:0 progressive", 4, 2, 2, true},
    };
    for (const JpegSettings& s : cases) {
        SCOPED_TRACE(s.name);
        const std::vector<BYTE> given = Given(s.components);
        const Bytes file = Write(s, given);
        int components = 0;
        const std::vector<BYTE> reference = ReadWithLibjpeg(file, &components);
        ASSERT_EQ(components, s.components);

        CRaster image;
        ASSERT_TRUE(lumi::test::DecodeBytes(image, file, kRasterTypeJpg)) << image.GetLastError();
        ASSERT_EQ(image.GetWidth(), static_cast<DWORD>(kWidth));
        ASSERT_EQ(image.GetHeight(), static_cast<DWORD>(kHeight));
        EXPECT_EQ(image.GetBpp(), s.components == 1 ? 8 : 24);
        int worst = 0, differ = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const RGBQUAD got = image.GetPixelColor(x, kHeight - 1 - y, false);
                const std::array<int, 3> decoded{got.rgbBlue, got.rgbGreen, got.rgbRed};
                differ += decoded != Bgr(reference, components, x, y);
                const std::array<int, 3> want = Bgr(given, s.components, x, y);
                for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(decoded[c] - want[c]));
            }
        EXPECT_EQ(differ, 0) << "pixels unlike libjpeg's own decode";
        EXPECT_LE(worst, 6) << "largest difference from the samples given to the encoder";
    }
}

}  // namespace
