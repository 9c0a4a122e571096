// CD3DTexture, legacy build: every change of the system copy goes up to the video copy at
// once, whole (there is no dirty rectangle to wait on), and a render target draws into a
// render-target texture of its own, made at the memory's size, while the memory's copies are
// made without a usage. Replaces draw/d3d_texture_video.cpp.
#include "core/event_log.h"
#include "core/render_target_texture.h"
#include "draw/d3d_texture.h"
#include "draw/texture_cell.h"
#include "draw/texture_owner.h"
#include "draw/texture_pool.h"

namespace {

// The whole system copy goes to the video copy now; without a video copy the texture stays
// dirty until it gets one.
void UploadAtOnce(CD3DTexture& texture) {
    const mem_obj_t* memory = texture.GetMemory();
    if (memory != nullptr && memory->videoCopy != nullptr) texture.UploadDirtyRect();
}

}  // namespace

IDirect3DTexture9* CD3DTexture::GetD3DTexture() const {
    if (renderTarget_ != nullptr) {
        if (IDirect3DTexture9* own = renderTarget_->GetTexture()) return own;
    }
    return memory_ ? memory_->videoCopy : nullptr;
}

void CD3DTexture::AttachRenderTarget() {
    if (renderTarget_ == nullptr || memory_ == nullptr) return;
    if (renderTarget_->GetTexture() != nullptr || owner_->IsDeviceLost()) return;
    IDirect3DDevice9* device = owner_->GetDevice();
    IDirect3DTexture9* texture = nullptr;
    if (device == nullptr || FAILED(device->CreateTexture(memory_->width, memory_->height, 1, D3DUSAGE_RENDERTARGET,
                                                          memory_->format, D3DPOOL_DEFAULT, &texture, nullptr)))
        return;  // drawn from the memory's video copy instead
    renderTarget_->AttachTexture(texture);
    texture->Release();  // the target holds it
    attachedVideo_ = texture;
}

bool CD3DTexture::EnsureVideoTexture() {
    // No device-lost test of its own: nothing is submitted for drawing while the device is lost.
    if (HasVideoCopy()) return true;
    if (memory_ == nullptr || !memory_->pool->EnsureVideoTexture(memory_)) return false;
    MarkWhollyDirty();
    UploadAtOnce(*this);
    copyFlags_ |= kVideoCopy;
    return true;
}

void CD3DTexture::ReleaseVideoCopy(bool keepForReuse) {
    // A render target's own texture stays with the target.
    if (!HasVideoCopy()) return;
    if (memory_ != nullptr) memory_->pool->FreeVideoCopy(memory_, keepForReuse);
    copyFlags_ &= ~kVideoCopy;
}

void CD3DTexture::OnVideoCopyRestored() {
    MarkWhollyDirty();
    UploadAtOnce(*this);
}

void CD3DTexture::OnLostDevice() {
    FreeCell();
    DetachRenderTargetSurface();
    // No render target outlives a loss: from then on the texture is drawn from its memory's
    // video copy.
    DestroyRenderTarget();
    MarkWhollyDirty();
}

void CD3DTexture::MarkPixelsChanged(const RECT*) {
    MarkWhollyDirty();
    if (cell_ != nullptr) cell_->stale = 1;
    UploadAtOnce(*this);
}

CD3DTexture::UpdateStart CD3DTexture::StartUpdate(std::int32_t width, std::int32_t height, std::int32_t x,
                                                  std::int32_t y) {
    // Pixels first, then the position, and only then an empty size.
    if (memory_ == nullptr && renderTarget_ == nullptr) {
        if (!file_) {
            BindMemoryFromPool();
        } else if (name_[0] != 0) {
            PollLoad();
        }
        if (memory_ == nullptr && renderTarget_ == nullptr) return UpdateStart::kRefused;
    }
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        WriteLog(u"CD3DTexture::UpdateRect() -- Invalid param");
        return UpdateStart::kRefused;
    }
    return width == 0 || height == 0 ? UpdateStart::kDone : UpdateStart::kWrite;
}
