#pragma once
// What the decode benchmarks share: photo-like pictures written by the library's own
// encoders, and the bare libraries decoding the same bytes into a buffer of their own,
// allocated per decode as CRaster allocates its image.
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs it first
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "image/raster.h"

// A side x side picture of smooth gradients with some per-pixel noise, so that the
// compressors work about as hard as on real textures; with an alpha plane on request.
inline CRaster MakePicture(DWORD side, bool withAlpha) {
    CRaster image(side, side, 24, 0);
    if (withAlpha) image.CreateAlpha();
    unsigned seed = 12345;
    for (DWORD y = 0; y < side; ++y) {
        BYTE* row = image.GetBits(y);
        for (DWORD x = 0; x < side; ++x) {
            seed = seed * 1103515245u + 12345u;
            const BYTE noise = static_cast<BYTE>((seed >> 16) & 7);
            row[x * 3] = static_cast<BYTE>(x * 256 / side + noise);
            row[x * 3 + 1] = static_cast<BYTE>(y * 256 / side + noise);
            row[x * 3 + 2] = static_cast<BYTE>((x + y) * 128 / side + noise);
            if (withAlpha) image.SetAlphaAt(static_cast<LONG>(x), static_cast<LONG>(y), static_cast<BYTE>((x ^ y) * 256 / side));
        }
    }
    return image;
}

// The file the library's encoder writes of `image`; empty when it cannot.
inline std::vector<BYTE> EncodeImage(CRaster& image, DWORD type) {
    BYTE* buffer = nullptr;
    long size = 0;
    if (!image.Encode(buffer, size, type)) return {};
    std::vector<BYTE> file(buffer, buffer + size);
    std::free(buffer);
    return file;
}

inline std::vector<BYTE> EncodePicture(DWORD side, bool withAlpha, DWORD type) {
    CRaster image = MakePicture(side, withAlpha);
    return EncodeImage(image, type);
}

struct MemorySource {
    const BYTE* data;
    std::size_t size, position;
};

inline void ReadMemory(png_structp png, png_bytep out, size_t n) {
    auto* source = static_cast<MemorySource*>(png_get_io_ptr(png));
    if (n > source->size - source->position) png_error(png, "short");
    std::memcpy(out, source->data + source->position, n);
    source->position += n;
}

// Bare libpng, in the file's own layout. The frame that setjmp covers holds only plain data.
inline bool BareLibpng(MemorySource* source, std::unique_ptr<BYTE[]>* pixels, std::vector<png_bytep>* rows) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, source, ReadMemory);
    png_read_info(png, info);
    png_read_update_info(png, info);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    pixels->reset(new BYTE[rowBytes * height]);
    rows->resize(height);
    for (png_uint_32 y = 0; y < height; ++y) (*rows)[y] = pixels->get() + y * rowBytes;
    png_read_image(png, rows->data());
    png_read_end(png, info);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

inline bool BareLibpng(const std::vector<BYTE>& file, std::unique_ptr<BYTE[]>* pixels) {
    MemorySource source{file.data(), file.size(), 0};
    std::vector<png_bytep> rows;
    return BareLibpng(&source, pixels, &rows);
}

// Bare libjpeg, red-green-blue.
inline bool BareLibjpeg(const std::vector<BYTE>& file, std::unique_ptr<BYTE[]>* pixels) {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    const std::size_t rowBytes = static_cast<std::size_t>(cinfo.output_width) * cinfo.output_components;
    pixels->reset(new BYTE[rowBytes * cinfo.output_height]);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pixels->get() + rowBytes * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}
