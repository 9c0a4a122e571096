// CTexMgr: the per-frame memory rule, device loss, reset and display-mode changes, and the
// synchronous reads of image information.
#include <cstring>

#include "core/event_log.h"
#include "core/exception.h"
#include "core/format_helpers.h"
#include "core/frame_clock.h"
#include "core/lumiscriber.h"
#include "draw/d3d_texture.h"
#include "draw/huge_texture.h"
#include "draw/tex_mgr.h"
#include "draw/texture_load.h"
#include "draw/texture_pool.h"
#include "image/format_table.h"
#include "image/raster.h"

template <class Visit>
void CTexMgr::ForEachTexture(Visit visit) {
    for (auto& entry : names_) visit(entry.second);
    for (lru_obj_s* node = lru_obj_s::Next(&unnamed_); node != &unnamed_; node = lru_obj_s::Next(node)) {
        visit(tex_slot_t::FromNode(node)->texture);
    }
    for (lru_list_t& pages : pages_) {
        for (lru_obj_s* node = lru_obj_s::Next(&pages); node != &pages; node = lru_obj_s::Next(node)) {
            visit(tex_slot_t::FromNode(node)->texture);
        }
    }
}

void CTexMgr::OnFrameBegin() {
    ++stats_.FrameCount;
    std::memset(stats_.IntSums, 0, sizeof(stats_.IntSums));
    std::memset(stats_.FloatSums, 0, sizeof(stats_.FloatSums));
    std::memset(stats_.FrameCounters, 0, sizeof(stats_.FrameCounters));
}

void CTexMgr::Update() {
    if (!pool_) return;
    stats_.VideoBytes = pool_->GetVideoBytes();
    stats_.SystemBytes = pool_->GetSystemBytes();
    // The live total decides, so every unload counts at once.
    auto overLimit = [this] {
        return pool_->GetSystemBytes() >= idleLimit_ && idle_.Count() > kTexMgrRules.idleTexturesKept &&
               (!kTexMgrRules.idleOutnumberInUse || idle_.Count() > inUse_.Count());
    };
    for (std::int32_t round = 0; round < kTexMgrRules.unloadsPerFrame && overLimit(); ++round) {
        if (!UnloadIdleTexture()) break;
    }
    if (loader_) loader_->Reap();
    pool_->Trim();
}

bool CTexMgr::UnloadIdleTexture() {
    if (idle_.Empty()) return false;
    CD3DTexture* texture = CD3DTexture::FromNode(lru_obj_s::Next(&idle_));
    // Unsigned difference: right across the 49.7-day wrap of the clock. A texture the frame
    // still draws from (on the idle list since the host's writes unmanaged it) stays.
    const bool young = g_FrameTimeMs - texture->GetLastUseMs() < kIdleKeepMs;
    if (young || texture->IsFrameHeld()) return false;
    texture->Node()->Unlink();
    texture->ReleaseMemory();
    if (texture->IsNamed()) UnregisterTexture(texture);
    return true;
}

bool CTexMgr::EvictIdleTextures() {
    // The video memory must really come back, or the retry that follows fails the same way:
    // the copies are released rather than kept in the pool's buckets, what the buckets keep
    // of video memory goes too, and the device lets go of the texture it still has bound
    // (every flush binds its own anyway).
    if (IDirect3DDevice9* device = GetDevice()) device->SetTexture(0, nullptr);
    for (lru_obj_s* node = lru_obj_s::Next(&idle_); node != &idle_; node = lru_obj_s::Next(node)) {
        CD3DTexture* texture = CD3DTexture::FromNode(node);
        if (!texture->IsFrameHeld()) texture->ReleaseVideoCopy(false);
    }
    const bool releasedFree = pool_ && pool_->ReleaseFreeTextures(D3DPOOL_DEFAULT);
    return !idle_.Empty() || releasedFree;
}

void CTexMgr::OnLostDevice() {
    ForEachTexture([](CD3DTexture* texture) { texture->OnLostDevice(); });
    ReleaseCachedSurfaces();
    if (pool_) pool_->ReleaseVideoCopies();
}

void CTexMgr::RestoreVideoTextures() {
    if (pool_) pool_->RestoreVideoTextures();
}

void CTexMgr::UnloadAll() {
    ForEachTexture([](CD3DTexture* texture) { texture->Unload(); });
    // The cached surfaces belong to the device about to go.
    ReleaseCachedSurfaces();
    if (pool_) pool_->ReleaseAll();
}

void CTexMgr::AllocateTextures(lru_list_t& pages) {
    for (lru_obj_s* node = lru_obj_s::Next(&pages); node != &pages; node = lru_obj_s::Next(node)) {
        CD3DTexture* page = tex_slot_t::FromNode(node)->texture;
        if (page->GetMemory() != nullptr) continue;
        if (!page->BindMemoryFromPool()) throw lumi::Exception("Not enough memory in pool");
    }
}

void CTexMgr::AllocateAtlasPages() {
    AllocateTextures(pages_[kOpaque]);
    AllocateTextures(pages_[kAlpha]);
    AllocateTextures(pages_[kTarget]);
}

void CTexMgr::WaitForResourceLoader() {
    if (loader_) loader_->WaitAll();
}

bool CTexMgr::ReadImageInfo(CD3DTexture* texture) {
    if (renderer_ == nullptr || texture == nullptr) return false;
    bitmap_load_t read;
    // The scratch buffer lends its block to the read and takes it back, grown if need be.
    read.buffer = scratch_;
    scratch_ = bitmap_buffer_t{};
    SetBitmapSource(read, texture->GetName(), texture->GetFormat());
    const bool readOk = PrepareBitmapLoad(read, renderer_->GetForegroundFileCallbacks());
    if (read.refused) WriteLog(u"CTexMgr::ReadImageInfo() refused.[%s] %hs", texture->GetName(), read.failure);
    bool result = false;
    if (readOk) {
        D3DXIMAGE_INFO* info = texture->GetImageInfo();
        const bool gif = static_cast<std::int32_t>(info->ImageFileFormat) == kImageFileFormatGif;
        if (!gif) {
            D3DXIMAGE_INFO fileInfo{};
            if (SUCCEEDED(D3DXGetImageInfoFromFileInMemory(read.buffer.data, read.buffer.bytesRead, &fileInfo)) &&
                fileInfo.Width > 0 && fileInfo.Height > 0 && fileInfo.Width <= 0x8000 &&
                fileInfo.Height <= 0x8000) {
                *info = fileInfo;
                texture->SetAllocatedSize(static_cast<std::uint16_t>(NextPowerOfTwo(fileInfo.Width)),
                                          static_cast<std::uint16_t>(NextPowerOfTwo(fileInfo.Height)));
                result = true;
            }
        } else {
            // The header gives the size; the frames are the loader's business.
            CRaster image;
            image.RequestHeaderOnly();
            if (image.Decode(read.buffer.data, read.buffer.bytesRead, kRasterTypeGif) && image.GetWidth() > 0 &&
                image.GetHeight() > 0 && image.GetWidth() <= 0x8000 && image.GetHeight() <= 0x8000) {
                info->Width = image.GetWidth();
                info->Height = image.GetHeight();
                texture->SetAllocatedSize(static_cast<std::uint16_t>(NextPowerOfTwo(info->Width)),
                                          static_cast<std::uint16_t>(NextPowerOfTwo(info->Height)));
            }
        }
    }
    scratch_ = read.buffer;
    read.buffer = bitmap_buffer_t{};
    return result;
}
