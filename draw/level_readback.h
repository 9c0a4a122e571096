#pragma once
// Level 0 of a texture as a surface that D3DX can read, for the save operations: the level itself
// outside the DEFAULT pool, else a system-memory copy of it filled by GetRenderTargetData. Only
// render targets can be read back so, as on the platform: other video-only textures cannot be
// saved. Host thread only.
#include "platform/d3d9/d3d9.h"

class CLevelReadback {
public:
    // The call that failed.
    enum class Step { kNone, kLevelDesc, kSurfaceLevel, kCreateCopy, kCopy };

    CLevelReadback() = default;
    ~CLevelReadback();
    CLevelReadback(const CLevelReadback&) = delete;
    CLevelReadback& operator=(const CLevelReadback&) = delete;

    // False when a call failed (FailedStep and Error say which, and with what).
    bool Read(IDirect3DDevice9* device, IDirect3DTexture9* texture);
    // The readable level; valid after a successful Read while this object lives.
    IDirect3DSurface9* Surface() const { return copy_ != nullptr ? copy_ : level_; }
    Step FailedStep() const { return failed_; }
    HRESULT Error() const { return error_; }

private:
    bool Fail(Step step, HRESULT error);

    IDirect3DSurface9* level_ = nullptr;
    IDirect3DSurface9* copy_ = nullptr;
    Step failed_ = Step::kNone;
    HRESULT error_ = D3D_OK;
};
