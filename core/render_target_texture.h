#pragma once
// CD3DRenderTarget: a render target over a Direct3D render-target texture. The owning
// texture attaches its video copy whenever it (re)creates it and detaches it on loss; the
// target draws into level 0 and makes a depth-stencil surface of the same size on first
// demand.
#include <cstdint>
#include <memory>

#include "core/render_target.h"
#include "platform/d3d9/d3d9.h"

class CLumiscriber;

// Before `target` becomes the device's render target: Direct3D leaves a draw undefined when
// it samples the texture it draws into, and the untextured processors keep stage 0 as they
// find it, so the texture whose level `target` is leaves stage 0. Anything else bound there
// stays.
void UnbindTargetTexture(IDirect3DDevice9* device, IDirect3DSurface9* target);

class CD3DRenderTarget : public CRenderTarget {
public:
    // Bound to the renderer; no texture yet.
    explicit CD3DRenderTarget(CLumiscriber* renderer);
    // Bound to another host (tests); `host` must outlive the target.
    explicit CD3DRenderTarget(CRenderTargetHost* host);
    // Releases the texture and both surfaces.
    ~CD3DRenderTarget() override;

    static void* operator new(std::size_t size) { return PooledAlloc<CD3DRenderTarget>(size); }
    static void operator delete(void* block) noexcept { PooledFree<CD3DRenderTarget>(block); }

    // Saves the attached texture through D3DX: false for a null or empty path, a path without
    // '.', no texture, or a failed save. The text after the last '.' picks the format,
    // without case: jpg, png, tga, dds; anything else BMP. Nothing is logged.
    bool SaveToFile(const WCHAR* path) override;
    bool SaveToFileEx(const WCHAR* path, std::int32_t ignored) override;
    // "D3DSURFACE": the colour surface; "D3DZBUFFER": the depth-stencil surface, made first
    // when missing. Other names leave `out` untouched. Borrowed pointers (no reference).
    void GetAttribute(const char* name, void** out) override;
    // Device lost: colour and depth surfaces go, the texture stays.
    virtual void ReleaseSurfaces();

    // Binds a texture (a reference is added) and takes its level 0; whatever was bound is
    // released first. Null only releases.
    void AttachTexture(IDirect3DTexture9* texture);
    // Releases texture, colour surface and depth surface.
    void DetachTexture();
    // Makes the depth-stencil surface when there is a colour surface and no depth surface:
    // the colour surface's size, the renderer's depth format and multisampling, discard on.
    // False when it cannot be made.
    bool CreateDepthSurface();

    IDirect3DTexture9* GetTexture() const { return texture_; }

private:
    CD3DRenderTarget(std::unique_ptr<CRenderTargetHost> host);
    void ReleaseAll();
    IDirect3DTexture9* texture_ = nullptr;
    IDirect3DSurface9* colorSurface_ = nullptr;
    IDirect3DSurface9* depthSurface_ = nullptr;
    std::unique_ptr<CRenderTargetHost> ownedHost_;  // the binding to a renderer, when made with one
};
