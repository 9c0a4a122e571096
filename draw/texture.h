#pragma once
// ITexture: the texture as the host sees it. Textures are made and destroyed only by the
// renderer's texture manager; the host never deletes one. Host thread only.
#include <cstdint>

#include "core/renderer_interface.h"
#include "platform/win32/win32_types.h"

class IRenderTarget;

class ITexture : public IBaseInterface {
public:
    // Whether the pixel's alpha is 0 (pixels outside the texture count as transparent).
    virtual bool IsPixelTransparent(std::int32_t x, std::int32_t y) = 0;
    // The allocated size (powers of two for file textures).
    virtual std::uint16_t GetWidth() = 0;
    virtual std::uint16_t GetHeight() = 0;
    // Turns the texture into a file texture of `path` and reads the file's size at once; no
    // pixels are bound until the texture is drawn. Null or empty is ignored.
    virtual void SetFileName(const WCHAR* path) = 0;
    // Decodes an image file held in memory into the texture. False when the data is not an
    // image D3DX knows or cannot be loaded.
    virtual bool LoadFromMemory(const void* data, std::uint32_t size) = 0;
    // True when the texture has pixels; else whether its file's size could be read.
    virtual bool EnsureLoaded() = 0;
    // Writes host pixels (1, 8, 16, 24 or 32 bits each, `pitch` bytes a row) at (x, y),
    // clipped to the texture. True when written (or nothing to write); false when the
    // texture has no pixels, (x, y) lies outside it, or the lock fails (logged).
    virtual bool UpdateRect(const void* data, std::int32_t width, std::int32_t height, std::int32_t pitch,
                            std::int32_t bitsPerPixel, std::int32_t x, std::int32_t y) = 0;
    // The source image's size; 0 when the texture was not made from an image.
    virtual std::uint32_t GetImageWidth() = 0;
    virtual std::uint32_t GetImageHeight() = 0;
    // The render target of a render-target texture (memory bound on demand); else null.
    virtual IRenderTarget* GetRenderTarget() = 0;
};
