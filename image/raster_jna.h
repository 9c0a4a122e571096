#pragma once
// CRasterJNA: the library's own format for images with alpha (type 20): a JPEG colour block
// and a run-length alpha block, so that textures with transparency get JPEG-sized files.
//
// Layout, little-endian, field by field: a 14-byte header (signature bytes 00 41 4E 4A,
// version, width and height as u16, bits, block count) and that many blocks, each a type
// byte, a u32 payload length and the payload. Block 1 holds a complete JPEG stream (written
// at quality 75); block 2 holds (run length, value) byte pairs covering the alpha plane in
// plane order (bottom row first); other blocks are skipped.
//
// Decode accepts bits 8, 16, 24 and 32 and ignores the version; the header-only run (escape
// -1) stores width, height and type. Each block's length is checked against the stream
// before anything is allocated, and a colour block whose JPEG is of another size than the
// header's fails ("JNA block decode failed") before its pixels are decoded, so that the
// header-only size is the decoded size. Failures return false with a message in GetLastError() and
// leave the image as it was. Encode writes the bits the colour block holds (8 for grey, 24
// for colour) plus 8 with an alpha plane, and fails for images wider or taller than 65535.
#include <cstdint>

#include "image/raster.h"

struct jna_header_t {
    std::uint32_t signature;  // 0x4A4E4100
    std::uint32_t version;    // written 1000
    std::uint16_t width;
    std::uint16_t height;
    std::uint8_t bits;        // bits per pixel of the colour, plus 8 with an alpha block
    std::uint8_t block_count;
};

struct jna_block_t {
    std::uint8_t type;  // 1 colour, 2 alpha
    std::uint32_t length;
};

class CRasterJNA : public CRaster {
public:
    static constexpr std::uint32_t kSignature = 0x4A4E4100;
    static constexpr std::uint32_t kVersion = 1000;
    static constexpr std::uint8_t kColorBlock = 1;
    static constexpr std::uint8_t kAlphaBlock = 2;
    static constexpr int kRead = 1;
    static constexpr int kWrite = 2;

    CRasterJNA() : CRaster(kRasterTypeJna) {}
    ~CRasterJNA() override = default;

    using CRaster::Decode;
    using CRaster::Encode;
    bool Decode(CRasterFile* file);
    bool Encode(CRasterFile* file);

    // kRead reads the six header fields (false when one is short), kWrite writes them.
    static bool SerializeHeader(int mode, jna_header_t& header, CRasterFile* file);
    // kRead reads one block into block and applies it to image; kWrite writes image's block
    // of block.type. False on failure (a failed colour block's message goes to this image).
    bool SerializeBlock(CRaster& image, CRasterFile* file, jna_block_t& block, int mode);

private:
    const char* DecodeInto(CRaster& image, CRasterFile* file);
    bool ReadBlock(CRaster& image, CRasterFile* file, jna_block_t& block);
    bool WriteBlock(CRaster& image, CRasterFile* file, const jna_block_t& block);
};
