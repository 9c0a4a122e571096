#pragma once
// The background load of one texture file as a plain record, and the two steps that fill
// it: prepare reads the file through a set of file callbacks into a power-of-two buffer,
// decode turns the bytes into up to 32 raw frames in the texture's pixel layout with the
// image library. DDS files are not decoded here: D3DX reads the buffer when the texture is
// filled.
//
// The record knows nothing of the resource framework or of loader threads: the current
// build runs the steps from CD3DBitmap (d3d_bitmap.h) under the resource loader, the legacy
// build from its own loader threads. One thread at a time may work on a record; the steps
// touch only the record, the callbacks and the image library.
//
// Failures are results, never exceptions. A failed decode leaves an empty image (width,
// height and frame count 0), which the texture takes as "stay unloaded and try again"; the
// reason is kept in the record.
//
// Bounded: a file or an image that passes the record's limits or the load budget
// (image_limits.h) is refused from its size alone, before its bytes are read or its pixels
// decoded; an animation keeps at most 32 frames, and only when they can become an animated
// texture (every frame within 256 x 256).
#include <cstdint>

#include "core/renderer_interface.h"
#include "draw/image_limits.h"
#include "platform/d3d9/d3d9_types.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/win32/win32_types.h"

class CRaster;

inline constexpr int kMaxBitmapFrames = 32;
inline constexpr int kBitmapNameLength = 260;  // code units with the terminator
inline constexpr std::uint32_t kLargestAnimationSide = 256;  // the square animated frames are packed in

// One decoded frame in the texture's pixel layout.
struct bitmap_record_t {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t pitch = 0;         // width x bits per pixel / 8
    std::int32_t bitsPerPixel = 0;
    BYTE* pixels = nullptr;         // malloc'ed, top row first; null when none
    std::int32_t delayMs = 0;
};

// The bytes of the file as read. The capacity is a power of two (0 when there is no block).
struct bitmap_buffer_t {
    BYTE* data = nullptr;
    std::uint32_t capacity = 0;
    std::uint32_t bytesRead = 0;
};

struct bitmap_load_t {
    bitmap_load_t() = default;
    ~bitmap_load_t();  // frees the buffer and the frames
    bitmap_load_t(const bitmap_load_t&) = delete;
    bitmap_load_t& operator=(const bitmap_load_t&) = delete;

    bitmap_buffer_t buffer;
    WCHAR fileName[kBitmapNameLength] = {};
    DWORD imageType = 0;        // the image library's type id from the extension; 0 for DDS or none
    std::uint8_t dds = 0;       // the extension is "dds" (any case)
    D3DFORMAT format = D3DFMT_UNKNOWN;  // the texture's format; decides the pixel layout
    std::uint32_t bitsPerPixel = 0;     // of that format; 16 for DXT1 to DXT5
    std::uint32_t width = 0;    // of the decoded image; 0 when there is none
    std::uint32_t height = 0;
    std::uint8_t hasAlpha = 0;  // alpha plane, palette alpha or a transparent colour
    bitmap_record_t frames[kMaxBitmapFrames];
    std::int32_t frameCount = 0;
    D3DXIMAGE_INFO imageInfo{};

    // Set by the caller before the steps run.
    image_limits_t limits;               // what the texture can take
    std::uint64_t failedFingerprint = 0; // the bytes of the last load that failed (0: none)

    // Set by the steps.
    std::int64_t fileBytes = -1;         // the size the file had; -1 when it did not open
    std::uint64_t fingerprint = 0;       // of the bytes read (0: none read)
    bool unchanged = false;              // the bytes are the failed ones: not decoded again
    bool refused = false;                // the limits or the budget turned the file down
    char failure[256] = {};              // why a step failed (UTF-8), empty when it did not
};

// Grows the buffer to NextPowerOfTwo(size) bytes when it holds fewer than `size` (the old
// contents are not kept). False, with capacity 0 and no block, when the block cannot be
// allocated or no 32-bit power of two holds `size`.
bool EnsureBufferCapacity(bitmap_buffer_t& buffer, std::uint32_t size);

// The text after the last '.' of a file name; null when there is no '.'.
const WCHAR* FileExtension(const WCHAR* name);

// Takes the file and the layout of the texture to load: copies the name (null clears it;
// longer names are cut at 259 code units), sets the image type and DDS byte from the text
// after the last '.', and the bits per pixel from the format (16 for the DXT formats, whose
// pixels go through an A4R4G4B4 scratch first).
void SetBitmapSource(bitmap_load_t& load, const WCHAR* fileName, D3DFORMAT format);

// Reads the whole file through the callbacks: open, read, close. False when there are no
// callbacks, the file does not open, is larger than the load budget (refused, before any
// memory is taken for it), the buffer cannot grow, or fewer bytes come than the file's size;
// the file is closed whenever it was opened.
bool PrepareBitmapLoad(bitmap_load_t& load, const STRU_FILE_CALLBACKS* callbacks);

// Decodes the buffer. Bytes equal to failedFingerprint are not decoded (false, unchanged).
// DDS: nothing to do (true when there are bytes). Otherwise the image's header is read
// first, and an image larger than the limits or whose load would pass the budget is
// refused (false, refused); then every frame of the image, at most 32, becomes a record
// (delays in ms). The image information comes from D3DX for BMP, JPEG, PNG and TGA files and
// from the image for the others (GIF with the library's own file-format code). False on an
// empty buffer, an undecodable image, a format without a pixel layout (0 bits), an
// animation whose frames are larger than 256 x 256, or when no frame could be converted;
// the image is then empty.
bool DecodeBitmapLoad(bitmap_load_t& load);

// Converts one decoded image into a record in the load's pixel layout: A8R8G8B8 and
// X8R8G8B8 get B, G, R, A; A4R4G4B4 (and the DXT scratch) 4 bits a channel; A1R5G5B5 and
// X1R5G5B5 one alpha bit; R5G6B5 no alpha. Alpha is the image's alpha plane, else its
// palette alpha, else 255; a pixel of the image's transparent colour is 0 whatever the
// layout. Other depths get zeroed pixels. The record's old pixels are freed first. False
// when the pixels cannot be allocated (logged "CD3DBitmap::Image2Bitmap() -- out of
// memory.") or the load has no depth.
bool Image2Bitmap(const bitmap_load_t& load, const CRaster& image, bitmap_record_t& record);

// Frees the frames and empties the image (width, height, frame count 0) and what the decode
// step found; the buffer and the file's size stay.
void ClearBitmapImage(bitmap_load_t& load);

// A hash of the buffer's bytes and their count, never 0.
std::uint64_t FingerprintOf(const bitmap_buffer_t& buffer);
