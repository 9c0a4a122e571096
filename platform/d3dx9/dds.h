#pragma once
// DDS files of our own: two-dimensional textures in the uncompressed formats the device
// supports and DXT1/3/5, with their mip levels. Cube maps, volumes, DX10 headers and other
// formats are refused as invalid data.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/d3d9/pixel_format.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/d3dx9/image_buffer.h"

namespace d3dx {

// Whether the data starts with the DDS magic.
bool LooksLikeDds(const std::uint8_t* data, std::size_t size);

// Reads and checks the header, including that every level it declares is present.
// D3DXERR_INVALIDDATA for anything else.
HRESULT ReadDdsInfo(const std::uint8_t* data, std::size_t size, D3DXIMAGE_INFO* info);

// The top level's pixels in the file's own format.
HRESULT DecodeDds(const std::uint8_t* data, std::size_t size, ImageBuffer* image, D3DXIMAGE_INFO* info);

// A DDS file of `levels` (level 0 first, each half the previous, all in one format).
// D3DERR_INVALIDCALL for an empty list or a format DDS files here do not carry.
HRESULT EncodeDds(const std::vector<d3d9sw::SurfaceView>& levels, std::vector<std::uint8_t>* out);

}  // namespace d3dx
