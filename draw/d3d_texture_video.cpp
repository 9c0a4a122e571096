// CD3DTexture: how the video copy follows the system copy, and what a render target draws
// into. Changes of the system copy are gathered in the dirty rectangle and go up when the
// texture is next drawn (UploadDirtyRect); a render target draws into the memory's video copy.
// The legacy build uploads at once and gives a render target a texture of its own
// (legacy/d3d_texture_video_legacy.cpp replaces this file).
#include "core/render_target_texture.h"
#include "draw/d3d_texture.h"
#include "draw/texture_cell.h"
#include "draw/texture_owner.h"
#include "draw/texture_pool.h"

IDirect3DTexture9* CD3DTexture::GetD3DTexture() const { return memory_ ? memory_->videoCopy : nullptr; }

void CD3DTexture::AttachRenderTarget() {
    if (renderTarget_ == nullptr || memory_ == nullptr) return;
    IDirect3DTexture9* video = memory_->videoCopy;
    if (video != attachedVideo_) {
        renderTarget_->AttachTexture(video);
        attachedVideo_ = video;
    }
}

bool CD3DTexture::EnsureVideoTexture() {
    if (owner_->IsDeviceLost() || memory_ == nullptr) return false;
    if (memory_->videoCopy != nullptr) return true;
    memory_->videoUsage = CTexturePool::VideoUsageOf(usageFlags_);
    if (!memory_->pool->EnsureVideoTexture(memory_)) return false;
    MarkWhollyDirty();
    copyFlags_ |= kVideoCopy;
    return true;
}

void CD3DTexture::ReleaseVideoCopy(bool keepForReuse) {
    if (memory_ != nullptr) {
        DetachRenderTargetSurface();
        memory_->pool->FreeVideoCopy(memory_, keepForReuse);
    }
    copyFlags_ &= ~kVideoCopy;
}

void CD3DTexture::OnVideoCopyRestored() {
    MarkWhollyDirty();
    OnResetDevice();
}

void CD3DTexture::OnLostDevice() {
    FreeCell();
    DetachRenderTargetSurface();
    MarkWhollyDirty();
}

void CD3DTexture::MarkPixelsChanged(const RECT* rect) {
    if (rect != nullptr) {
        AddDirtyRect(*rect);
    } else {
        MarkWhollyDirty();
    }
    if (cell_ != nullptr) cell_->stale = 1;
}

CD3DTexture::UpdateStart CD3DTexture::StartUpdate(std::int32_t width, std::int32_t height, std::int32_t,
                                                  std::int32_t) {
    if (width == 0 || height == 0) return UpdateStart::kDone;
    return Restore() ? UpdateStart::kWrite : UpdateStart::kRefused;
}
