#pragma once
// What the renderer can take of an image file, checked before anything is allocated for its
// pixels: the image must fit the device's largest texture (as the power-of-two texture the
// renderer makes of it), and one load may hold at most kLoadBudgetBytes.
//
// The budget counts the file's bytes, the decoded image with the decoder's working memory,
// and the pixels converted for the texture (every frame of an animation). What the renderer
// allocates for a load stays below it; an image that would need more is refused with a line
// in the event log, before its pixels are decoded. Decoders are taken to hold at most
// kDecodeBytesPerPixel (kJpegDecodeBytesPerPixel for JPEG data, whose progressive files keep
// every coefficient) while they work.
//
// Free of state: safe from any thread.
#include <cstddef>
#include <cstdint>

#include "platform/d3d9/d3d9.h"

inline constexpr std::uint64_t kLoadBudgetBytes = std::uint64_t{256} << 20;
inline constexpr std::uint32_t kDecodeBytesPerPixel = 8;       // the image and one working copy
inline constexpr std::uint32_t kJpegDecodeBytesPerPixel = 10;  // colour, alpha and coefficients
// The largest side of a texture the renderer makes (its sizes are 16-bit), when no device
// says less.
inline constexpr std::uint32_t kLargestTextureSide = 0x8000;

struct image_limits_t {
    std::uint32_t maxWidth = kLargestTextureSide;   // the device's largest texture
    std::uint32_t maxHeight = kLargestTextureSide;
    bool squareOnly = false;                        // the device takes square textures only
};

// The limits of `device` (its caps), whatever the texture's format: DXT textures larger than
// the pool's conversion scratch are converted in tiles of it. Null or a failing device: the
// defaults.
image_limits_t LimitsOfDevice(IDirect3DDevice9* device, bool squareOnly);

// Bytes a load of a width x height image holds at most: the file, `decodeBytesPerPixel`
// for the decoder, and texelBytes for each of `frames` converted frames. Saturates instead
// of overflowing.
std::uint64_t LoadCostBytes(std::uint64_t fileBytes, std::uint32_t width, std::uint32_t height,
                            std::uint32_t decodeBytesPerPixel, std::uint32_t texelBytes, std::uint32_t frames);

// True when the image fits the limits and its cost the budget. Otherwise false, with the
// reason (UTF-8, for the event log) written into `reason`.
bool AdmitImage(const image_limits_t& limits, std::uint32_t width, std::uint32_t height, std::uint64_t costBytes,
                char* reason, std::size_t capacity);
// The same for a file of `fileBytes` before it is read.
bool AdmitFile(std::uint64_t fileBytes, char* reason, std::size_t capacity);
