#include "platform/d3dx9/image_buffer.h"

#include <new>

namespace d3dx {

bool ImageBuffer::Allocate(D3DFORMAT newFormat, unsigned newWidth, unsigned newHeight) {
    const d3d9sw::FormatInfo info = d3d9sw::DescribeFormat(newFormat);
    if (!info.supported || info.depth) return false;
    if (newWidth == 0 || newHeight == 0 || newWidth > kMaxImageDimension || newHeight > kMaxImageDimension)
        return false;
    const std::size_t bytes = d3d9sw::SurfaceBytes(newFormat, newWidth, newHeight);
    if (bytes == 0 || bytes > kMaxImageBytes) return false;
    try {
        bits.assign(bytes, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    format = newFormat;
    width = newWidth;
    height = newHeight;
    pitch = d3d9sw::RowPitch(newFormat, newWidth);
    return true;
}

}  // namespace d3dx
