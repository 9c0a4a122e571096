#pragma once
// A JPEG writer and reader over libjpeg itself, an independent path from the codec, for the
// tests of the JPEG decoder.
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <vector>

#include <jpeglib.h>

namespace lumi::test {

struct JpegSpec {
    int width = 1, height = 1;
    int components = 3;          // 1 grey, 3 RGB, 4 CMYK
    std::vector<std::uint8_t> samples;  // top-down, components a pixel
    int quality = 95;
    int h_samp = 2, v_samp = 2;  // of the first component
    bool progressive = false;
    int restart_interval = 0;    // MCUs
    bool optimize = false;
    bool arithmetic = false;
    int density_unit = 1;        // JFIF
    int x_density = 72, y_density = 72;
};

inline std::vector<std::uint8_t> WriteJpeg(const JpegSpec& s) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = static_cast<JDIMENSION>(s.width);
    cinfo.image_height = static_cast<JDIMENSION>(s.height);
    cinfo.input_components = s.components;
    cinfo.in_color_space = s.components == 1 ? JCS_GRAYSCALE : s.components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, s.quality, TRUE);
    if (s.components > 1) {
        cinfo.comp_info[0].h_samp_factor = s.h_samp;
        cinfo.comp_info[0].v_samp_factor = s.v_samp;
    }
    if (s.progressive) jpeg_simple_progression(&cinfo);
    cinfo.restart_interval = static_cast<unsigned>(s.restart_interval);
    cinfo.optimize_coding = s.optimize;
    cinfo.arith_code = s.arithmetic;
    cinfo.write_JFIF_header = TRUE;
    cinfo.density_unit = static_cast<UINT8>(s.density_unit);
    cinfo.X_density = static_cast<UINT16>(s.x_density);
    cinfo.Y_density = static_cast<UINT16>(s.y_density);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<std::uint8_t*>(s.samples.data()) +
                       static_cast<std::size_t>(cinfo.next_scanline) * s.width * s.components;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<std::uint8_t> file(out, out + size);
    std::free(out);
    return file;
}

// A libjpeg decompressor over a file's bytes with the header read.
struct JpegReader {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr err{};

    explicit JpegReader(const std::vector<std::uint8_t>& file) {
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
        jpeg_read_header(&cinfo, TRUE);
    }
    ~JpegReader() { jpeg_destroy_decompress(&cinfo); }
    JpegReader(const JpegReader&) = delete;
    JpegReader& operator=(const JpegReader&) = delete;
};

}  // namespace lumi::test
