#pragma once
// CRasterPNG: reads and writes PNG files (type 4) through libpng.
//
// Decode reads every colour type and bit depth: grey (1, 2, 4, 8, 16 bits; 2-bit files
// become 4-bit images, 16-bit samples keep their high byte), palette, RGB, grey with alpha
// and RGB with alpha (an alpha plane). tRNS becomes a background index (grey, or a palette
// whose single entry is fully transparent), a background colour (RGB) or palette alpha; the
// key of a 16-bit grey or RGB file becomes an alpha plane (0 where a sample equals the key in
// all 16 bits), since samples that differ only in their low byte must stay opaque.
// Interlaced files set the PNG codec option word to 1 (0 otherwise); pHYs sets the DPI.
//
// Encode writes grey (8-bit identity palette), palette or RGB images, with an alpha plane as
// grey+alpha or RGBA; interlaced when the PNG codec option word is 1. It never changes the
// image it writes: index swaps and key-colour alpha are applied to private copies.
//
// Failures return false with libpng's message or one of the codec's own in GetLastError()
// (every failed save: "Error saving PNG file"). libpng's errors return through a jump, so the
// frames it crosses hold nothing with a destructor; nothing is thrown and nothing is printed.
#include "image/raster.h"

struct png_struct_def;
struct png_info_def;

class CRasterPNG : public CRaster {
public:
    CRasterPNG() : CRaster(kRasterTypePng) {}
    ~CRasterPNG() override = default;

    bool Decode(CRasterFile* file);
    bool Encode(CRasterFile* file);

    // Widens a row of 2-bit pixels to 4-bit pixels in place, from the last pixel backwards.
    // row must hold (pixels + 1) / 2 bytes.
    static void WidenTwoBitRow(BYTE* row, DWORD pixels);

private:
    // The parts that libpng may leave by a jump: their frames hold only plain data, and the
    // heap row buffer they allocate goes into *row for the caller to free.
    bool DecodeWithJump(png_struct_def* png, png_info_def* png_info, CRasterFile* file, BYTE** row);
    bool EncodeWithJump(png_struct_def* png, png_info_def* png_info, CRasterFile* file, BYTE** row);
    DWORD HighestIndexUsed() const;
};
