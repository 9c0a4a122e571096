// CTexMgr: the atlas pages and the placement of textures and host cells on them, the surface
// cache of image files, and the dumps of textures that the atlas does not take.
#include <algorithm>
#include <cstdio>
#include <exception>

#include "core/event_log.h"
#include "core/exception.h"
#include "core/format_helpers.h"
#include "core/lumiscriber.h"
#include "draw/d3d_texture.h"
#include "draw/huge_texture.h"
#include "draw/tex_mgr.h"
#include "draw/texture_cell.h"
#include "draw/texture_pool.h"

namespace {

// The largest power of two that is at most `side`, so that a device with an odd limit still
// gets pages its cells tile exactly.
std::uint16_t PowerOfTwoAtMost(std::uint32_t side) {
    std::uint32_t power = 1;
    while (power * 2 <= side && power < 0x8000) power *= 2;
    return static_cast<std::uint16_t>(power);
}

// The format in which an image file's pixels are cached: the file's own when the device makes
// plain surfaces of it, else 32-bit colour (most devices have no R8G8B8 or P8 surfaces, the
// formats of 24-bit and colour-table files).
D3DFORMAT CachedSurfaceFormat(CLumiscriber* renderer, D3DFORMAT fileFormat) {
    IDirect3D9* direct3d = renderer != nullptr ? renderer->GetDirect3D() : nullptr;
    if (direct3d != nullptr) {
        const STRU_DEVICE_SETTINGS& settings = renderer->GetDeviceSettings();
        if (SUCCEEDED(direct3d->CheckDeviceFormat(settings.AdapterOrdinal, settings.DeviceType, settings.AdapterFormat, 0,
                                                  D3DRTYPE_SURFACE, fileFormat)))
            return fileFormat;
    }
    return GetAlphaChannelBits(fileFormat) > 0 || fileFormat == D3DFMT_P8 ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
}

}  // namespace

std::uint16_t CTexMgr::PageSide(std::uint32_t largest) const {
    const std::uint32_t deviceSide = renderer_ != nullptr ? renderer_->GetMaxTextureSide() : largest;
    return PowerOfTwoAtMost(std::min(deviceSide != 0 ? deviceSide : largest, largest));
}

std::int32_t CTexMgr::PageCount(std::int32_t list) const {
    return list >= 0 && list < kPageLists ? pages_[list].Count() : 0;
}

CD3DHugeTexture* CTexMgr::GetPage(std::int32_t list, std::int32_t index) const {
    if (list < 0 || list >= kPageLists) return nullptr;
    lru_list_t& pages = const_cast<lru_list_t&>(pages_[list]);
    std::int32_t at = 0;
    for (lru_obj_s* node = lru_obj_s::Next(&pages); node != &pages; node = lru_obj_s::Next(node), ++at) {
        if (at == index) return static_cast<CD3DHugeTexture*>(tex_slot_t::FromNode(node)->texture);
    }
    return nullptr;
}

bool CTexMgr::AddPage(PageList list, std::uint16_t side, D3DFORMAT format, std::uint32_t usage) {
    auto* page = new CD3DHugeTexture(this, side, format, usage);
    page->SetHostCellPage(list == kTarget);
    if (!page->BindMemoryFromPool(usage == CD3DTexture::kUsageRenderTarget)) {
        delete page;
        throw lumi::Exception("Not enough memory in pool");
    }
    auto* slot = new tex_slot_t;
    slot->texture = page;
    page->SetSlot(slot);
    pages_[list].PushBack(&slot->node);
    return true;
}

bool CTexMgr::AddAtlasPage() {
    if (pages_[kOpaque].Count() >= kOpaquePages) return false;
    return AddPage(kOpaque, PageSide(kPageSide), GetNormalFormat(), 0);
}

bool CTexMgr::AddAlphaAtlasPage() {
    if (pages_[kAlpha].Count() >= 1) return false;
    return AddPage(kAlpha, PageSide(kPageSide), GetAlphaFormat(), 0);
}

bool CTexMgr::AddTargetAtlasPage() {
    return AddPage(kTarget, PageSide(kTargetPageSide), GetAlphaFormat(), CD3DTexture::kUsageRenderTarget);
}

void CTexMgr::CreateAtlasPages() {
    DestroyAtlasPages();
    while (AddAtlasPage()) {
    }
    AddAlphaAtlasPage();
    if (kTexMgrRules.hostCellPages) AddTargetAtlasPage();
}

void CTexMgr::DestroyAtlasPages() {
    for (lru_list_t& pages : pages_) DeleteSlotted(pages);
}

tex_cell_t* CTexMgr::GetTextureCell(CD3DTexture* texture) {
    if (texture == nullptr || IsDeviceLost()) return nullptr;
    if (tex_cell_t* cell = texture->GetCell()) {
        CD3DHugeTexture* page = cell->page;
        if (cell->free) {
            if (cell->owner != texture) throw lumi::Exception("error");
            page->MarkCellUsed(cell);
        }
        if (cell->stale) page->RefreshCell(cell);
        return cell;
    }
    if (texture->GetMemory() == nullptr || texture->GetSystemTexture() == nullptr) return nullptr;

    const bool alpha = texture->HasAlphaFormat();
    if (kTexMgrRules.ownCopiesStayOut && texture->HasVideoCopy()) return nullptr;
    const std::uint32_t largest = alpha ? kTexMgrRules.largestAlphaSide : kTexMgrRules.largestOpaqueSide;
    if (texture->GetWidth() > largest || texture->GetHeight() > largest) return nullptr;
    if (alpha && kTexMgrRules.squareAlphaCells && texture->GetWidth() != texture->GetHeight()) return nullptr;
    const PageList list = alpha ? kAlpha : kOpaque;
    const std::uint32_t pageSide = pages_[list].Empty() ? PageSide(kPageSide) : GetPage(list, 0)->GetPageSide();
    if (CD3DHugeTexture::CellSideFor(texture->GetWidth(), texture->GetHeight()) > pageSide) return nullptr;

    for (;;) {
        lru_list_t& pages = pages_[list];
        for (lru_obj_s* node = lru_obj_s::Next(&pages); node != &pages; node = lru_obj_s::Next(node)) {
            tex_slot_t* slot = tex_slot_t::FromNode(node);
            auto* page = static_cast<CD3DHugeTexture*>(slot->texture);
            if (page->GetFormat() != texture->GetFormat()) return nullptr;
            if (tex_cell_t* cell = page->CopyTexture(texture)) {
                // Most recently used first: the next texture tries this page before the others.
                pages.PushFront(&slot->node);
                return cell;
            }
        }
        const bool added = alpha ? AddAlphaAtlasPage() : AddAtlasPage();
        if (!added) return nullptr;
    }
}

CTextureCell* CTexMgr::CreateTextureCell(std::uint32_t size) {
    // Cells start at the smallest level of a page; a smaller request takes one of those.
    const std::uint32_t side = std::max(NextPowerOfTwo(size), CD3DHugeTexture::kMinCellSide);
    for (;;) {
        lru_list_t& pages = pages_[kTarget];
        for (lru_obj_s* node = lru_obj_s::Next(&pages); node != &pages; node = lru_obj_s::Next(node)) {
            auto* page = static_cast<CD3DHugeTexture*>(tex_slot_t::FromNode(node)->texture);
            if (page->GetPageSide() < side) return nullptr;
            if (tex_cell_t* cell = page->AllocCell(side)) return CTextureCell::From(cell);
        }
        // Every host-cell page has the same side, so a new one always has room.
        AddTargetAtlasPage();
    }
}

IDirect3DSurface9* CTexMgr::GetCachedSurface(const WCHAR* path) {
    if (path == nullptr || *path == 0) return nullptr;
    const std::u16string key(path);
    auto found = surfaces_.find(key);
    if (found != surfaces_.end()) return found->second;
    IDirect3DDevice9* device = GetDevice();
    D3DXIMAGE_INFO info{};
    if (device == nullptr || FAILED(D3DXGetImageInfoFromFileW(path, &info))) return nullptr;
    const D3DFORMAT format = CachedSurfaceFormat(renderer_, info.Format);
    char reason[192];
    if (!AdmitImage(LimitsOfDevice(device, IsSquareOnly()), info.Width, info.Height,
                    LoadCostBytes(0, info.Width, info.Height, kDecodeBytesPerPixel, FormatBitsPerPixel(format) / 8, 1),
                    reason, sizeof(reason))) {
        WriteLog(u"CTexMgr::GetCachedSurface() refused.[%s] %hs", path, reason);
        return nullptr;
    }
    IDirect3DSurface9* surface = nullptr;
    if (FAILED(device->CreateOffscreenPlainSurface(info.Width, info.Height, format, D3DPOOL_SYSTEMMEM, &surface,
                                                   nullptr)) ||
        surface == nullptr) {
        return nullptr;
    }
    if (FAILED(D3DXLoadSurfaceFromFileW(surface, nullptr, nullptr, path, nullptr, D3DX_DEFAULT, 0, nullptr))) {
        surface->Release();
        return nullptr;
    }
    if (surfaces_.size() > kSurfaceCacheLimit) {
        for (std::size_t i = 0; i < kSurfacesEvicted && !surfaces_.empty(); ++i) {
            surfaces_.begin()->second->Release();
            surfaces_.erase(surfaces_.begin());
        }
    }
    surfaces_.emplace(key, surface);
    return surface;
}

void CTexMgr::ReleaseCachedSurfaces() {
    for (auto& entry : surfaces_) entry.second->Release();
    surfaces_.clear();
}

void CTexMgr::DumpAtlasPages() {
    auto dump = [](lru_list_t& list, const char* pattern) {
        std::int32_t number = 1000;
        for (lru_obj_s* node = lru_obj_s::Next(&list); node != &list; node = lru_obj_s::Next(node)) {
            CD3DTexture* texture = CD3DTexture::FromNode(node);
            if (!texture->IsNotPackable()) continue;
            char narrow[32];
            std::snprintf(narrow, sizeof(narrow), pattern, number++);
            WCHAR name[32];
            std::size_t i = 0;
            for (; narrow[i] != 0; ++i) name[i] = static_cast<WCHAR>(narrow[i]);
            name[i] = 0;
            texture->SaveToFile(name, nullptr);
        }
    };
    dump(inUse_, "act%d.png");
    dump(idle_, "ina%d.png");
}
