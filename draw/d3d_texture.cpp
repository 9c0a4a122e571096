// CD3DTexture: construction, destruction, reference counting, memory binding and device
// events. Pixels, frames and files are in the d3d_texture_*.cpp files beside this one.
#include "draw/d3d_texture.h"

#include <cstdio>
#include <cstring>
#include <exception>

#include "core/exception.h"
#include "core/format_helpers.h"
#include "core/render_target_host.h"
#include "core/render_target_texture.h"
#include "core/viewport.h"
#include "draw/bitmap_load.h"
#include "draw/huge_texture.h"
#include "draw/texture_load.h"
#include "draw/texture_owner.h"
#include "draw/texture_pool.h"
#include "platform/tarnel/tarnel.h"
#include "platform/win32/time.h"

namespace {

constexpr std::size_t kNameUnits = 260;
constexpr std::int32_t kInitialFrames = 16;
constexpr DWORD kLoadWaitMs = 5;

// Shared by every render-target texture of the process, as their names must be unique.
std::int32_t g_RenderTargetTextureCounter = 0;

}  // namespace

CD3DTexture::CD3DTexture(ITextureOwner* owner) : owner_(owner) {
    node_.texture = this;
    frames_.Init(kInitialFrames);
}

CD3DTexture::CD3DTexture(ITextureOwner* owner, D3DFORMAT format, std::uint16_t width, std::uint16_t height,
                         std::uint32_t usageFlags, bool videoOnly)
    : CD3DTexture(owner) {
    SetName(MakeUniqueName(u"TEX").c_str());
    format_ = format;
    width_ = width;
    height_ = height;
    usageFlags_ = usageFlags;
    videoOnly_ = videoOnly ? 1 : 0;
    if ((usageFlags & kUsageRenderTarget) || ((usageFlags & kUsageDynamic) && videoOnly)) copyFlags_ = kVideoCopy;
    if (usageFlags & kUsageRenderTarget) {
        CRenderTargetHost* host = owner_->GetRenderTargetHost();
        if (host != nullptr) {
            renderTarget_ = new CD3DRenderTarget(host);
            char name[32];
            std::snprintf(name, sizeof(name), "RttTex%d", g_RenderTargetTextureCounter++);
            renderTarget_->Init(name, width, height);
            owner_->RegisterRenderTarget(renderTarget_);
        }
    }
    ReleaseMemory();
    SetImageTypeFromName();
}

CD3DTexture::CD3DTexture(ITextureOwner* owner, const WCHAR* path) : CD3DTexture(owner) {
    if (path == nullptr) Error("CD3DTexture construct failed -- invalid filename.");
    SetName(path);
    file_ = 1;
    named_ = 1;
    SetImageTypeFromName();
}

CD3DTexture::CD3DTexture(ITextureOwner* owner, const WCHAR* path, mem_obj_t* memory) : CD3DTexture(owner, path) {
    BindMemory(memory);
}

CD3DTexture::~CD3DTexture() {
    try {
        if (IsInList()) {
            DbgMsg("texture still in list.\n");
            node_.Unlink();
        }
        DestroyRenderTarget();
        ReleaseMemory();
        GiveUpLoad();
    } catch (const std::exception& error) {
        DbgMsg("~CD3DTexture: %s\n", error.what());
    }
    imageInfo_.reset();
    tag_ = 0;
}

void CD3DTexture::DestroyRenderTarget() {
    if (renderTarget_ == nullptr) return;
    if (CRenderTargetHost* host = owner_->GetRenderTargetHost()) host->UnregisterRenderTarget(renderTarget_);
    delete renderTarget_;
    renderTarget_ = nullptr;
    attachedVideo_ = nullptr;
}

void CD3DTexture::SetName(const WCHAR* name) {
    std::size_t i = 0;
    for (; i + 1 < kNameUnits && name[i] != 0; ++i) name_[i] = name[i];
    name_[i] = 0;
}

std::int32_t CD3DTexture::AddRef() {
    if (refCount_ < 0) throw lumi::Exception("invalid operator AddRef");
    ++refCount_;
    if (managed_) owner_->MarkInUse(this);
    return refCount_;
}

std::int32_t CD3DTexture::Release() {
    if (refCount_ <= 0) return refCount_;
    --refCount_;
    if (refCount_ == 0 && managed_) {
        owner_->MarkIdle(this);
        if (cell_ != nullptr) cell_->page->ReleaseCell(this, false);
    }
    return refCount_;
}

DWORD CD3DTexture::TextureUsageFromFlags(std::uint32_t usageFlags) {
    if (usageFlags & kUsageRenderTarget) return D3DUSAGE_RENDERTARGET;
    if (usageFlags & kUsageDynamic) return D3DUSAGE_DYNAMIC;
    return 0;
}

std::uint32_t CD3DTexture::GetBytesPerPixel() const { return FormatBitsPerPixel(format_) / 8; }

bool CD3DTexture::IsDXTFormat(D3DFORMAT format) {
    return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
           format == D3DFMT_DXT5;
}

void CD3DTexture::FreeCell() {
    tex_cell_t* cell = cell_;
    if (cell == nullptr) return;
    cell_ = nullptr;
    if (cell->owner == this) {
        cell->owner = nullptr;
        if (cell->parent != nullptr) --cell->parent->holdingChildren;
    }
    if (frameHeld_) {
        cell->page->RetireCell(cell);
    } else {
        cell->page->FreeCell(cell);
    }
}

void CD3DTexture::DetachRenderTargetSurface() {
    if (renderTarget_ == nullptr) return;
    // The render target holds a reference to the video copy; it must let go before the copy
    // goes back to the pool, or a reset would find it alive.
    renderTarget_->DetachTexture();
    attachedVideo_ = nullptr;
}

void CD3DTexture::BindMemory(mem_obj_t* memory) {
    if (memory_ != nullptr) {
        DetachRenderTargetSurface();
        if (CTexturePool* pool = memory_->pool) pool->DestroyMemObj(memory_);
        memory_ = nullptr;
    }
    memory_ = memory;
    // New pixels of a size and format the cell still holds go into the same cell, so a draw
    // queued from it shows them; anything else gives the cell up.
    const bool cellFits = cell_ != nullptr && memory_ != nullptr && memory_->format == cell_->page->GetFormat() &&
                          CD3DHugeTexture::CellSideFor(memory_->width, memory_->height) == cell_->side;
    if (cellFits) {
        cell_->stale = 1;
    } else {
        FreeCell();
    }
    if (memory_ == nullptr) {
        loaded_ = 0;
        return;
    }
    memory_->owner = this;
    width_ = memory_->width;
    height_ = memory_->height;
    loaded_ = 1;
    aspect_ = width_ != 0 ? static_cast<float>(height_) / width_ : 1.0f;
    if (copyFlags_ & kVideoCopy) MarkWhollyDirty();
    if (renderTarget_ != nullptr) {
        AttachRenderTarget();
        renderTarget_->Init(renderTarget_->GetName(), width_, height_);
        CCamera* camera = owner_->GetDefaultCamera();
        // A target keeps its viewport across rebinding; a second one at the same place
        // would be refused.
        if (camera != nullptr && renderTarget_->GetViewport(0) == nullptr) {
            viewport_t* viewport = renderTarget_->AddViewport(camera, 0, 0.0f, 0.0f, 1.0f, 1.0f);
            viewport->SetClearFlags(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
        }
    }
}

bool CD3DTexture::BindMemoryFromPool(bool clear) {
    CTexturePool* pool = owner_->GetTexturePool();
    if (pool == nullptr) return false;
    mem_obj_t* memory = nullptr;
    try {
        memory = pool->CreateMemObj(this, clear);
    } catch (const lumi::Exception&) {
        return false;  // logged by the pool
    }
    BindMemory(memory);
    return true;
}

void CD3DTexture::ReleaseMemory() {
    if (imageInfo_ != nullptr && static_cast<std::int32_t>(imageInfo_->ImageFileFormat) == kImageFileFormatGif) {
        ClearFrames();
    }
    DetachRenderTargetSurface();
    if (memory_ != nullptr) {
        if (CTexturePool* pool = memory_->pool) pool->DestroyMemObj(memory_);
        memory_ = nullptr;
    }
    FreeCell();
    loaded_ = 0;
}

void CD3DTexture::ForgetMemory() {
    memory_ = nullptr;
    loaded_ = 0;
}

IDirect3DTexture9* CD3DTexture::GetSystemTexture() const { return memory_ ? memory_->systemCopy : nullptr; }

IRenderTarget* CD3DTexture::GetRenderTarget() {
    if (!(usageFlags_ & kUsageRenderTarget)) return nullptr;
    if (memory_ == nullptr) BindMemoryFromPool();
    return renderTarget_;
}

bool CD3DTexture::Restore() {
    if (loaded_) return true;
    if (file_) {
        PollLoad();
    } else {
        BindMemoryFromPool();
    }
    return loaded_ != 0;
}

void CD3DTexture::OnResetDevice() { AttachRenderTarget(); }

void CD3DTexture::Unload() {
    ReleaseMemory();
    GiveUpLoad();
    cell_ = nullptr;
    // The next device may take what this one refused, unless a failure is final.
    if constexpr (!kTextureRules.failedLoadsAreFinal) ForgetLoadFailure();
}

void CD3DTexture::GiveUpLoad() {
    if (load_ == nullptr) return;
    if (ITextureLoader* loader = owner_->GetTextureLoader()) {
        if constexpr (kTextureRules.waitsForGivenUpLoads) {
            while (loader->IsLoading(load_)) Sleep(kLoadWaitMs);
        }
        loader->Cancel(load_);
    }
    load_ = nullptr;
}

void CD3DTexture::PollLoad() {
    if (owner_->IsDeviceLost() || loaded_ || !file_ || IsInvalid()) return;
    ITextureLoader* loader = owner_->GetTextureLoader();
    if (loader == nullptr) return;
    if (load_ == nullptr) {
        // Unsigned difference: right across a wrap of the frame counter.
        if (loadFailure_.failed && owner_->GetFrameNumber() - loadFailure_.frame < kLoadRetryFrames) return;
        load_ = loader->Request(this);
        return;
    }
    if (loader->Poll(this, load_)) load_ = nullptr;
}

CD3DTexture::LoadEnd CD3DTexture::FinishLoad(const bitmap_load_t& load) {
    const bool decoded =
        load.failure[0] == '\0' && (load.dds ? load.buffer.bytesRead > 0 : load.width > 0 && load.height > 0);
    if (decoded && CopyFromBitmap(load)) {
        loadFailure_ = load_failure_t{};
        return LoadEnd::kLoaded;
    }
    const bool again = loadFailure_.failed && (load.unchanged || (load.fileBytes == loadFailure_.fileBytes &&
                                                                  load.fingerprint == loadFailure_.fingerprint));
    loadFailure_.failed = true;
    loadFailure_.frame = owner_->GetFrameNumber();
    loadFailure_.fileBytes = load.fileBytes;
    if (!load.unchanged) loadFailure_.fingerprint = load.fingerprint;
    return again ? LoadEnd::kFailedAgain : LoadEnd::kFailed;
}

void CD3DTexture::DescribeLoad(bitmap_load_t& load) const {
    SetBitmapSource(load, name_, format_);
    load.limits = GetImageLimits();
    load.failedFingerprint = loadFailure_.failed ? loadFailure_.fingerprint : 0;
}

image_limits_t CD3DTexture::GetImageLimits() const {
    return LimitsOfDevice(owner_->GetDevice(), owner_->IsSquareOnly());
}
