#pragma once
// Image files in memory: recognising them, reading their information, decoding them into an
// ImageBuffer and encoding surface memory into them. BMP, JPG, TGA, PNG, PPM and HDR go through
// stb; DDS through our own reader and writer. Every reader checks that the file is whole (sizes
// against the data present, end markers, a JPEG's segments and Huffman tables) before decoding,
// and caps dimensions before allocating. PPM and PGM files of 16-bit samples are not read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/d3d9/pixel_format.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/d3dx9/image_buffer.h"

namespace d3dx {

// D3DXERR_INVALIDDATA for data that is not a whole image of a known type or is larger than
// kMaxImageDimension on a side. The format is the one the file stores its pixels in (see
// D3DXIMAGE_INFO in d3dx9.h).
HRESULT ReadImageInfo(const std::uint8_t* data, std::size_t size, D3DXIMAGE_INFO* info);

// Decodes the image (the top level of a DDS). DDS images keep their format; all others come out
// as A8R8G8B8. `info` (optional) receives what ReadImageInfo gives.
HRESULT DecodeImage(const std::uint8_t* data, std::size_t size, ImageBuffer* image, D3DXIMAGE_INFO* info);

// Encodes `rect` (null: all) of the surface memory as a file of `format` (DIB is written as BMP;
// DDS keeps the surface's format). TGA and PPM are written too, for tests that need such files,
// although D3DX's save functions refuse them.
HRESULT EncodeSurface(D3DXIMAGE_FILEFORMAT format, const d3d9sw::SurfaceView& surface, const RECT* rect,
                      std::vector<std::uint8_t>* out);

// Whole files by UTF-16 path (through the C runtime stand-in, so names resolve without case).
// D3DERR_INVALIDCALL when the file cannot be opened, read or written, or is larger than 1 GiB.
HRESULT ReadWholeFile(LPCWSTR path, std::vector<std::uint8_t>* bytes);
HRESULT WriteWholeFile(LPCWSTR path, const std::vector<std::uint8_t>& bytes);

}  // namespace d3dx
