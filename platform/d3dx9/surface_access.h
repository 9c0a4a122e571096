#pragma once
// A surface's pixels reached the way D3DX reaches them on the platform: through the device. A
// lockable surface is locked; a render target in the DEFAULT pool is read through a
// system-memory copy (GetRenderTargetData) and, when written, copied back with UpdateSurface;
// any other DEFAULT-pool surface (a texture neither dynamic nor a render target, a depth
// buffer) fails with the lock's error, as it does there.
#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/pixel_format.h"

namespace d3dx {

class SurfaceAccess {
public:
    enum class Mode { kRead, kReadWrite };

    SurfaceAccess() = default;
    SurfaceAccess(const SurfaceAccess&) = delete;
    SurfaceAccess& operator=(const SurfaceAccess&) = delete;
    ~SurfaceAccess();  // closes without reporting (the caller's failure path)

    // D3DERR_INVALIDCALL for null; otherwise the device's result.
    HRESULT Open(IDirect3DSurface9* surface, Mode mode);
    // The pixels while open (the whole surface).
    const d3d9sw::SurfaceView& View() const { return view_; }
    // Ends the access: unlocks, and for a staged write sends the pixels back. The first error.
    HRESULT Close();

private:
    IDirect3DSurface9* surface_ = nullptr;  // not owned
    IDirect3DSurface9* locked_ = nullptr;   // the surface or its staging copy, while locked
    IDirect3DSurface9* staging_ = nullptr;  // owned
    Mode mode_ = Mode::kRead;
    d3d9sw::SurfaceView view_{};
};

}  // namespace d3dx
