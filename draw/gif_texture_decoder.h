#pragma once
// The library's own GIF decoder that writes the frames of a GIF file straight into a
// texture as A8R8G8B8. Textures normally load GIF files through the image library like every
// other file; nothing in this build reaches this decoder.
//
// Each image of the file is composed onto the logical screen (background entry with alpha
// 0, transparent indices leave the screen as it was, disposal 2 clears the image's
// rectangle afterwards), and the screen after each image becomes one frame. The frames, at
// most 32 and as many as fit in the device's largest texture, lie side by side in rows of
// the texture; each is added to the texture with its rectangle and its delay in ms. The
// texture's size is the powers of two of that layout, its image size the screen's, and its
// file-format code the library's GIF code.
//
// Hostile files: images are clipped to the screen, codes and tables are bounds-checked, and
// nothing is read past `size`. A file that fails (bad signature, truncated block, bad LZW
// code, no image, a screen larger than the texture can hold) returns false and leaves the
// texture as it was; when the texture's memory cannot be made or locked it is left without
// pixels.
// Re-entrant: all state is on the caller's stack or heap. Host thread (it binds memory).
#include <cstdint>

#include "platform/win32/win32_types.h"

class CD3DTexture;

bool DecodeGifToTexture(CD3DTexture* texture, std::uint32_t size, const BYTE* buffer);
