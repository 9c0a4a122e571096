#pragma once
// CRasterBMP: reads and writes Windows bitmap files (type 1).
//
// Decode reads an optional 14-byte file header ("BM"; without it the data is taken as a
// bare info header followed by palette and bits), an info header of 12 (OS/2), 40, 64 or
// more bytes, the palette, and the bits at 1, 4 and 8 bits (plain, RLE8, RLE4), 16 and 32
// bits (plain or bit fields) and 24 bits. Rows may be stored bottom-up or top-down. 16- and
// 32-bit files become 24-bit images; plain 32-bit files keep their fourth bytes as alpha, and
// bit-field files with an alpha mask (V3 headers and later) their alpha channel, stretched to
// 0..255 (a channel that is 0 throughout means opaque). A file cut short decodes what it
// holds: missing palette entries and pixels read as zero.
//
// Failures return false with a message in GetLastError() (an empty message keeps the one
// already there, CRaster::Create's). The header-only run (escape -1) stores width, height
// and type and returns true with "output dimensions returned". Nothing is thrown.
//
// Encode writes the image block as it is (palette images and images without alpha), or a
// 24-bit image with an alpha plane as 32 bits blue, green, red, alpha.
#include "image/raster.h"

namespace lumi::image {
class CodecByteReader;
}

class CRasterBMP : public CRaster {
public:
    CRasterBMP() : CRaster(kRasterTypeBmp) {}
    ~CRasterBMP() override = default;

    bool Decode(CRasterFile* file);
    bool Encode(CRasterFile* file);

    // Reads the info header at the stream's position into host order and normalises it
    // (OS/2 core headers widened, image bytes and colours used filled in); leaves the stream
    // where the palette (or the bit-field masks) start. False for a short or invalid header.
    bool ReadInfoHeader(BITMAPINFOHEADER& info, CRasterFile* file);

private:
    // Each returns null on success or the failure message ("" keeps the current one).
    const char* DecodeBody(CRasterFile* file);
    const char* ReadPalette(CRasterFile* file, const BITMAPINFOHEADER& file_header, DWORD entry_bytes);
    const char* ReadPlainBits(CRasterFile* file);
    // Red, green, blue and alpha masks (alpha 0: none).
    const char* ReadMasks(CRasterFile* file, const BITMAPINFOHEADER& file_header, DWORD masks[4]);
    const char* ReadBitfieldBits(CRasterFile* file, const BITMAPINFOHEADER& file_header, const DWORD masks[4]);
    // The alpha plane from raw 16- or 32-bit rows through the alpha mask; false without memory.
    bool TakeAlpha(DWORD bits, const BYTE* source, DWORD alphaMask);
    void DecodeRle8(lumi::image::CodecByteReader& reader);
    void DecodeRle4(lumi::image::CodecByteReader& reader);
    const char* EncodeBody(CRasterFile* file);
};
