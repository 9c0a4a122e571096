// CTexMgr: construction and destruction, the name map and the unnamed list, the in-use and
// idle lists, and what textures ask of their owner. The memory rule and device events are
// in tex_mgr_memory.cpp, the atlas pages, surface cache and dumps in tex_mgr_atlas.cpp.
#include "draw/tex_mgr.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "core/event_log.h"
#include "core/exception.h"
#include "core/format_helpers.h"
#include "core/frame_clock.h"
#include "core/lumiscriber.h"
#include "core/render_target_host.h"
#include "core/scene_manager.h"
#include "draw/d3d_texture.h"
#include "draw/font_glyph_types.h"
#include "draw/huge_texture.h"
#include "draw/texture_load.h"
#include "draw/texture_pool.h"
#include "platform/tarnel/tarnel.h"

namespace {

constexpr std::size_t kNameUnits = 260;  // with the terminator

bool CanTexture(CLumiscriber* renderer, D3DFORMAT format) {
    IDirect3D9* direct3d = renderer ? renderer->GetDirect3D() : nullptr;
    if (direct3d == nullptr) return false;
    const STRU_DEVICE_SETTINGS& settings = renderer->GetDeviceSettings();
    return SUCCEEDED(direct3d->CheckDeviceFormat(settings.AdapterOrdinal, settings.DeviceType,
                                                 settings.AdapterFormat, 0, D3DRTYPE_TEXTURE, format));
}

}  // namespace

CTexMgr::CTexMgr(CLumiscriber* renderer) : renderer_(renderer) {
    // The loader (in the legacy build, its threads) starts before anything else.
    StartLoader();
    if (CanTexture(renderer_, D3DFMT_A8)) {
        fontPageFormat_ = D3DFMT_A8;
    } else if (CanTexture(renderer_, D3DFMT_A4R4G4B4)) {
        fontPageFormat_ = D3DFMT_A4R4G4B4;
    } else {
        fontPageFormat_ = D3DFMT_A8R8G8B8;
    }
    WriteLog(u"Font Texture Format:%s", FormatName(fontPageFormat_));
    try {
        if (renderer_ != nullptr) targetHost_ = MakeRendererHost(renderer_);
        pool_ = std::make_unique<CTexturePool>(this);
        EnsureBufferCapacity(scratch_, kTexMgrRules.scratchBytes);
        CreateAtlasPages();
    } catch (...) {
        DestroyAllTextures();
        std::free(scratch_.data);
        throw;
    }
}

CTexMgr::~CTexMgr() {
    std::free(scratch_.data);
    scratch_ = bitmap_buffer_t{};
    try {
        DestroyAllTextures();
    } catch (const std::exception& error) {
        DbgMsg("~CTexMgr: %s\n", error.what());
    }
}

template <class Texture>
Texture* CTexMgr::RegisterNew(Texture* texture) {
    try {
        RegisterTexture(texture);
    } catch (...) {
        delete texture;
        throw;
    }
    return texture;
}

CD3DTexture* CTexMgr::FindOrCreateTexture(const WCHAR* path, bool urgent) {
    if (path == nullptr || *path == 0) return nullptr;
    WCHAR key[kNameUnits];
    std::size_t length = 0;
    for (; path[length] != 0; ++length) {
        if (length + 1 >= kNameUnits) throw lumi::Exception("string overflow.");
        key[length] = path[length];
    }
    key[length] = 0;
    NormalizePath(key);
    g_TextureNameKey.assign(key, length);

    auto found = names_.find(g_TextureNameKey);
    if (found != names_.end()) {
        CD3DTexture* texture = found->second;
        texture->SetDestroyPending(false);  // asked for again: it stays
        if (urgent && !texture->IsLoaded()) texture->SetPriority(CD3DTexture::kUrgentPriority);
        // The legacy build never asks for a failed file again.
        if (!texture->IsInvalid() && texture->GetLoadFailure().failed) ForgetFailureIfFileChanged(texture);
        return texture;
    }
    auto* texture = new CD3DTexture(this, key);
    if (urgent) texture->SetPriority(CD3DTexture::kUrgentPriority);
    RegisterNew(texture);
    texture->SetManaged(true);
    texture->SetPooled(true);
    return texture;
}

void CTexMgr::ForgetFailureIfFileChanged(CD3DTexture* texture) {
    // Its size is what a file tells without being read; a change of bytes alone is seen when
    // the failed load is tried again (its bytes are then compared, not decoded).
    const STRU_FILE_CALLBACKS* callbacks = renderer_ ? renderer_->GetForegroundFileCallbacks() : nullptr;
    if (callbacks == nullptr || callbacks->Open == nullptr || callbacks->Close == nullptr) return;
    std::int32_t size = 0;
    LumiFileHandle file = nullptr;
    callbacks->Open(texture->GetName(), &size, &file);
    std::int64_t fileBytes = -1;
    if (file != nullptr) {
        fileBytes = size;
        callbacks->Close(file);
    }
    if (fileBytes != texture->GetLoadFailure().fileBytes) texture->ForgetLoadFailure();
}

bool CTexMgr::IsTextureLoaded(const WCHAR* path) {
    if (path == nullptr || *path == 0) return false;
    std::u16string key(path);
    if (key.size() + 1 > kNameUnits) return false;
    NormalizePath(key.data());
    auto found = names_.find(key);
    return found != names_.end() && found->second->IsLoaded();
}

CD3DTexture* CTexMgr::CreateTexture() { return RegisterNew(new CD3DTexture(this, GetUIFormat(), 0, 0, 0, false)); }

CD3DTexture* CTexMgr::CreateTexture(std::uint16_t width, std::uint16_t height, D3DFORMAT format,
                                    std::uint32_t usage, bool allocate) {
    auto* texture = new CD3DTexture(this, format, width, height, usage, false);
    if (names_.count(texture->GetName()) != 0) {
        delete texture;
        throw lumi::Exception("Duplicate CD3DTexture.");
    }
    if (allocate && !texture->BindMemoryFromPool(usage == CD3DTexture::kUsageRenderTarget)) {
        delete texture;
        throw lumi::Exception("Not enough memory in pool");
    }
    return RegisterNew(texture);
}

CD3DTexture* CTexMgr::CreateUITexture(std::uint16_t width, std::uint16_t height) {
    return CreateTexture(width, height, GetUIFormat(), 0, false);
}

CD3DTexture* CTexMgr::CreateMaskTexture(std::uint16_t width, std::uint16_t height) {
    CD3DTexture* texture = CreateTexture(width, height, fontPageFormat_, 0, true);
    texture->SetNotPackable(true);
    return texture;
}

font_page_t* CTexMgr::CreateFontPage(std::uint16_t width, std::uint16_t height) {
    auto* page = new font_page_t(this, fontPageFormat_, width, height);
    if (names_.count(page->GetName()) != 0) {
        delete page;
        return nullptr;
    }
    if (!page->BindMemoryFromPool()) {
        WriteLog(u"Not enough memory in pool");
        delete page;
        return nullptr;
    }
    return RegisterNew(page);
}

bool CTexMgr::RegisterTexture(CD3DTexture* texture) {
    if (texture->IsNamed()) {
        if (!names_.emplace(texture->GetName(), texture).second) throw lumi::Exception("Duplicate CD3DTexture.");
        return true;
    }
    AddUnnamed(texture);
    return true;
}

void CTexMgr::AddUnnamed(CD3DTexture* texture) {
    auto* slot = new tex_slot_t;
    slot->texture = texture;
    unnamed_.PushBack(&slot->node);
    texture->SetSlot(slot);
}

std::map<std::u16string, CD3DTexture*>::iterator CTexMgr::FindNameEntry(CD3DTexture* texture) {
    auto found = names_.find(texture->GetName());
    if (found != names_.end() && found->second == texture) return found;
    return std::find_if(names_.begin(), names_.end(), [texture](const auto& entry) { return entry.second == texture; });
}

void CTexMgr::OnTextureRenamed(CD3DTexture* texture, const WCHAR* oldName) {
    if (!texture->IsNamed()) return;
    auto old = names_.find(oldName);
    if (old != names_.end() && old->second == texture) names_.erase(old);
    if (names_.emplace(texture->GetName(), texture).second) return;
    texture->SetNamed(false);
    AddUnnamed(texture);
}

void CTexMgr::DestroyTexture(CD3DTexture* texture) {
    if (texture == nullptr) return;
    // Where the manager holds it, checked before anything changes.
    auto entry = names_.end();
    tex_slot_t* slot = nullptr;
    if (texture->IsNamed()) {
        entry = FindNameEntry(texture);
        if (entry == names_.end()) throw lumi::Exception("invalid texture name.");
    } else {
        slot = texture->GetSlot();
        if (slot == nullptr || slot->node.owner != &unnamed_) throw lumi::Exception("invalid texture data.");
    }
    // A queued command may still draw it: the frame end decides, once the frame's own
    // references (the hold, scratch commands) are gone.
    if (texture->IsFrameHeld()) {
        texture->SetDestroyPending(true);
        return;
    }
    if (texture->GetRefCount() > 0) return;
    texture->Node()->Unlink();
    if (slot != nullptr) {
        slot->node.Unlink();
        texture->SetSlot(nullptr);
        delete slot;
    } else {
        names_.erase(entry);
    }
    delete texture;
}

void CTexMgr::UnregisterTexture(CD3DTexture* texture) {
    if (texture == nullptr) return;
    const bool loading = loader_ && texture->GetLoad() != nullptr && loader_->IsLoading(texture->GetLoad());
    // A texture whose file is still on its way may stay registered, without memory, for the
    // poll that takes the image.
    if (kTexMgrRules.keepsLoadingTextures && (loading || !texture->IsNamed())) return;
    // The texture goes now; its load, if still running, is parked and deleted once it ends.
    if (loading) loader_->Cancel(texture->GetLoad());
    texture->Node()->Unlink();
    auto entry = FindNameEntry(texture);
    if (entry != names_.end()) names_.erase(entry);
    if (tex_slot_t* slot = texture->GetSlot()) {
        slot->node.Unlink();
        texture->SetSlot(nullptr);
        delete slot;
    }
    delete texture;
}

void CTexMgr::DestroyAllTextures() {
    frameHolds_.clear();  // every texture goes below, held or not
    for (auto& entry : names_) {
        entry.second->Node()->Unlink();
        delete entry.second;
    }
    names_.clear();
    DeleteSlotted(unnamed_);
    ReleaseCachedSurfaces();
    DestroyAtlasPages();
    pool_.reset();
    // The loads given up while running are awaited here (Sleep(15) polls), or in the legacy
    // build the loading threads stopped and what they left deleted.
    resourceLoader_ = nullptr;
    threadLoader_ = nullptr;
    loader_.reset();
}

void CTexMgr::DeleteSlotted(lru_list_t& slots) {
    while (!slots.Empty()) {
        tex_slot_t* slot = tex_slot_t::FromNode(lru_obj_s::Next(&slots));
        slot->node.Unlink();
        CD3DTexture* texture = slot->texture;
        delete slot;
        texture->SetSlot(nullptr);
        texture->Node()->Unlink();
        delete texture;
    }
}

void CTexMgr::MarkInUse(CD3DTexture* texture) {
    texture->Node()->Unlink();
    texture->SetLastUseMs(g_FrameTimeMs);
    inUse_.PushBack(texture->Node());
}

void CTexMgr::MarkIdle(CD3DTexture* texture) {
    if (texture->IsNotPackable()) Error("fatal error: 9999");
    texture->Node()->Unlink();
    idle_.PushBack(texture->Node());
    // Many idle textures: the oldest gives up its video copy, unless the frame still draws
    // from it, and goes to the back.
    if (idle_.Count() <= kTexMgrRules.idleVideoKept || !pool_ || pool_->GetVideoBytes() < 16) return;
    CD3DTexture* oldest = CD3DTexture::FromNode(lru_obj_s::Next(&idle_));
    if (!oldest->IsFrameHeld()) oldest->ReleaseVideoCopy();
    idle_.PushBack(oldest->Node());
}

IDirect3DDevice9* CTexMgr::GetDevice() { return renderer_ ? renderer_->GetDevice() : nullptr; }
bool CTexMgr::IsDeviceLost() { return renderer_ == nullptr || renderer_->IsDeviceLost(); }
D3DFORMAT CTexMgr::GetNormalFormat() { return renderer_ ? renderer_->GetNormalFormat() : D3DFMT_X8R8G8B8; }
D3DFORMAT CTexMgr::GetAlphaFormat() { return renderer_ ? renderer_->GetAlphaFormat() : D3DFMT_A8R8G8B8; }
D3DFORMAT CTexMgr::GetUIFormat() { return renderer_ ? renderer_->GetUIFormat() : D3DFMT_A8R8G8B8; }
bool CTexMgr::IsSquareOnly() { return renderer_ != nullptr && renderer_->IsSquareOnly(); }
ITextureLoader* CTexMgr::GetTextureLoader() { return loader_.get(); }

// The legacy renderer keeps no render-target registry (a texture's render target stays the
// texture's) and has no cameras.
#if LUMI_LEGACY
bool CTexMgr::RegisterRenderTarget(CRenderTarget* target) { return target != nullptr && renderer_ != nullptr; }

CCamera* CTexMgr::GetDefaultCamera() { return nullptr; }
#else
bool CTexMgr::RegisterRenderTarget(CRenderTarget* target) {
    return renderer_ != nullptr && renderer_->RegisterRenderTarget(target);
}

CCamera* CTexMgr::GetDefaultCamera() {
    CSceneManager* scenes = renderer_ ? renderer_->GetSceneManager() : nullptr;
    return scenes ? scenes->GetCamera("DefaultCamera") : nullptr;
}
#endif
