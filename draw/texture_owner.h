#pragma once
// ITextureOwner: what textures, the texture pool and atlas pages need of the texture
// manager that made them (and, through it, of the renderer). The texture manager
// implements it; tests implement it over a bare software device. The owner outlives every
// texture, pool and page bound to it. Host thread only.
#include <cstdint>

#include "platform/d3d9/d3d9.h"

class CD3DTexture;
class CTexturePool;
class CRenderTarget;
class CRenderTargetHost;
class CCamera;
class ITextureLoader;

class ITextureOwner {
public:
    virtual ~ITextureOwner() = default;

    // ---- The renderer's device and choices ----
    // The current device; null between devices (display-mode change).
    virtual IDirect3DDevice9* GetDevice() = 0;
    virtual bool IsDeviceLost() = 0;
    // The texture formats of the quality level.
    virtual D3DFORMAT GetNormalFormat() = 0;
    virtual D3DFORMAT GetAlphaFormat() = 0;
    virtual D3DFORMAT GetUIFormat() = 0;
    // The device takes square power-of-two textures only.
    virtual bool IsSquareOnly() = 0;

    // ---- The texture manager ----
    // The pool every texture's memory comes from; null before it is made.
    virtual CTexturePool* GetTexturePool() = 0;
    // A managed texture gained its first reference again / lost its last one: it moves to
    // the tail of the in-use (stamped with the frame time) or the idle list.
    virtual void MarkInUse(CD3DTexture* texture) = 0;
    virtual void MarkIdle(CD3DTexture* texture) = 0;
    // Video memory ran out: the idle textures give back their video copies. True when there
    // were any (worth trying again).
    virtual bool EvictIdleTextures() = 0;
    // Reads the size of a file texture's image synchronously and sets the texture's
    // allocated size; binds no pixels. False when the file cannot be read.
    virtual bool ReadImageInfo(CD3DTexture* texture) = 0;
    // The texture took a new name (SetFileName); `oldName` is the one it had. A texture the
    // owner finds by name is found by the new one from then on, and no longer by the old; an
    // owner that finds none by name has nothing to do.
    virtual void OnTextureRenamed(CD3DTexture* /*texture*/, const WCHAR* /*oldName*/) {}
    // File loading; null when nothing can load files (the textures stay unloaded).
    virtual ITextureLoader* GetTextureLoader() = 0;
    // Frames begun so far: the clock of waits counted in frames.
    virtual std::uint32_t GetFrameNumber() = 0;

    // ---- Render-target textures ----
    // The host their render targets are bound to; null when render targets cannot be made.
    virtual CRenderTargetHost* GetRenderTargetHost() = 0;
    // Registers a texture's render target with the renderer (false when refused).
    virtual bool RegisterRenderTarget(CRenderTarget* target) = 0;
    // The renderer's camera "DefaultCamera"; null when there is none.
    virtual CCamera* GetDefaultCamera() = 0;
};
