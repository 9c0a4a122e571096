#pragma once
// CRasterTGA: reads and writes Truevision TGA files (type 7).
//
// Decode reads image types 1 (colour-mapped), 2 (true colour) and 3 (grey), uncompressed or
// run-length encoded (9, 10, 11), at 8, 15, 16, 24 and 32 bits, in any of the four row and
// column orders. Colour-mapped and grey files become 8-bit palette images, the others 24-bit
// images; 32-bit files also get an alpha plane. Colour maps of 15-, 16-, 24- and 32-bit
// entries are read.
//
// Failures return false with a message in GetLastError(); a run-length or pixel stream that
// ends before the last pixel is "corrupted TGA". The header-only run (escape -1) stores
// width, height and type and returns true. Nothing is thrown.
//
// Encode writes 8-bit images as colour-mapped files with a 256-entry 24-bit map, 24-bit
// images as 24-bit files, and 24-bit images with an alpha plane as 32-bit files; rows from
// the bottom, left to right. Images wider or taller than 65535 pixels are refused.
#include <vector>

#include "image/raster.h"

namespace lumi::image {
class CodecByteReader;
}

class CRasterTGA : public CRaster {
public:
    CRasterTGA() : CRaster(kRasterTypeTga) {}
    ~CRasterTGA() override = default;

    bool Decode(CRasterFile* file);
    bool Encode(CRasterFile* file);

private:
    // A packet that may run across the end of a row into the next.
    struct RlePacket {
        DWORD remaining = 0;  // pixels still to come; 0: read a new packet header
        bool run = false;     // one value repeated, else raw pixels
        BYTE value[4] = {};   // the run's pixel as stored in the file
    };
    struct PixelLayout {
        DWORD depth;       // file bits a pixel: 8, 15, 16, 24, 32
        DWORD file_bytes;  // bytes a pixel in the file
    };

    const char* DecodeBody(CRasterFile* file);
    // Expands one row (file row file_row, stored at target_row). False when the data ends.
    bool DecodeRleRow(lumi::image::CodecByteReader& reader, const PixelLayout& layout, DWORD target_row,
                      DWORD file_row, RlePacket& packet, std::vector<BYTE>& scratch);
    // Reads count pixels and stores them from first_column on. False when the data ends.
    bool ReadRawPixels(lumi::image::CodecByteReader& reader, const PixelLayout& layout, DWORD target_row,
                       DWORD count, DWORD first_column, DWORD file_row, std::vector<BYTE>& scratch);
    void StorePixel(const PixelLayout& layout, BYTE* row, BYTE* alpha_row, DWORD x, const BYTE* value);
    const char* EncodeBody(CRasterFile* file);
};
