#pragma once
// Memory layout of the surface formats the software device supports, and conversion of single
// pixels to and from 32-bit ARGB. Shared by the device (allocation, locks, copies, read-back),
// the rasteriser (sampling and writing) and D3DX (format conversion).
#include <cstddef>
#include <cstdint>

#include "platform/d3d9/d3d9_types.h"

namespace d3d9sw {

struct FormatInfo {
    bool supported;        // false: the device refuses surfaces of this format
    bool compressed;       // DXT: 4x4 blocks
    bool depth;            // a depth(-stencil) format
    bool hasAlpha;         // carries an alpha channel
    unsigned bitsPerPixel; // uncompressed bits per pixel; 0 for compressed formats
    unsigned blockBytes;   // compressed: bytes per 4x4 block (8 for DXT1, 16 for DXT2-5)
};

// Describes a format. Unsupported formats come back with supported == false.
FormatInfo DescribeFormat(D3DFORMAT format);

// Bytes in one row of pixels (or of 4x4 blocks for compressed formats) of the given width,
// with no padding (the device's pitch). 0 for unsupported formats.
std::size_t RowPitch(D3DFORMAT format, unsigned width);
// Number of rows in memory (height, or blocks down for compressed formats).
unsigned RowCount(D3DFORMAT format, unsigned height);
// Total bytes of a width x height surface; 0 for unsupported formats or on overflow.
std::size_t SurfaceBytes(D3DFORMAT format, unsigned width, unsigned height);

// A view of surface memory: what a lock returns, described.
struct SurfaceView {
    D3DFORMAT format = D3DFMT_UNKNOWN;
    int width = 0;
    int height = 0;
    int pitch = 0;              // bytes from one row (or block row) to the next
    std::uint8_t* bits = nullptr;
};

// Reads one pixel as 0xAARRGGBB. Formats without alpha read alpha as 0xFF; A8 reads colour as 0;
// L8 replicates luminance; DXT formats decode the pixel's block; depth formats return the depth
// scaled to 0..0xFFFFFF in the low 24 bits. Coordinates must lie inside the view.
std::uint32_t ReadPixel(const SurfaceView& view, int x, int y);
// Writes one pixel from 0xAARRGGBB, rounding to the format's precision. Not for DXT or depth.
void WritePixel(const SurfaceView& view, int x, int y, std::uint32_t argb);

// Encodes/decodes one DXT block (16 pixels, row-major ARGB) for DXT1, DXT3 or DXT5.
void DecodeDxtBlock(D3DFORMAT format, const std::uint8_t* block, std::uint32_t out[16]);
void EncodeDxtBlock(D3DFORMAT format, const std::uint32_t in[16], std::uint8_t* block);

}  // namespace d3d9sw
