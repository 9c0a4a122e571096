#include "draw/huge_texture.h"

#include <algorithm>
#include <utility>

#include "core/exception.h"
#include "core/format_helpers.h"
#include "draw/texture_owner.h"
#include "draw/texture_pool.h"

CD3DHugeTexture::CD3DHugeTexture(ITextureOwner* owner, std::uint16_t pageSide, D3DFORMAT format,
                                 std::uint32_t usageFlags)
    : CD3DTexture(owner, format, pageSide, pageSide, usageFlags, true), pageSide_(pageSide) {
    copyFlags_ = kVideoCopy;
    managed_ = 0;
    pooled_ = 0;
    BuildLevels();
}

CD3DHugeTexture::~CD3DHugeTexture() { ClearLevels(); }

void CD3DHugeTexture::Unload() {
    if (hostCellPage_) {
        // The host's pointers to its cells stay good until it gives them back.
        TellCellListeners();
    } else {
        ClearLevels();
        BuildLevels();
    }
    CD3DTexture::Unload();
}

void CD3DHugeTexture::TellCellListeners() {
    std::vector<std::pair<tex_cell_t*, ITextureCellListener*>> told;
    for (auto& level : levels_) {
        for (lru_obj_s* node = lru_obj_s::Next(&level->used); node != &level->used; node = lru_obj_s::Next(node)) {
            tex_cell_t* cell = tex_cell_t::FromNode(node);
            if (cell->listener == nullptr) continue;
            told.emplace_back(cell, cell->listener);
            cell->listener = nullptr;
        }
    }
    for (const auto& [cell, listener] : told) {
        // An earlier listener may have given this cell back (and its block gone with a merge).
        if (IsUsedCell(cell)) listener->OnCellReleased(CTextureCell::From(cell));
    }
}

bool CD3DHugeTexture::IsUsedCell(const tex_cell_t* cell) const {
    for (const auto& level : levels_) {
        for (const lru_obj_s* node = level->used.next; node != &level->used; node = node->next) {
            if (node == &cell->node) return true;
        }
    }
    return false;
}

CTextureCell* CD3DHugeTexture::NewCell(std::uint32_t side, LONG left, LONG top, tex_cell_t* parent) {
    CTextureCell* cell = new CTextureCell();
    cell->side = side;
    cell->page = this;
    cell->rect = RECT{left, top, left + static_cast<LONG>(side), top + static_cast<LONG>(side)};
    cell->parent = parent;
    cell->free = 1;
    return cell;
}

void CD3DHugeTexture::DeleteCell(tex_cell_t* cell) {
    cell->node.Unlink();
    if (cell->owner != nullptr && cell->owner->GetCell() == cell) cell->owner->SetCell(nullptr);
    delete CTextureCell::From(cell);
}

void CD3DHugeTexture::BuildLevels() {
    for (std::uint32_t side = minCellSide_; side <= pageSide_; side *= 2) {
        auto level = std::make_unique<tex_level_t>();
        level->side = side;
        levels_.push_back(std::move(level));
    }
    if (levels_.empty()) return;  // a page smaller than the smallest cell holds nothing
    CTextureCell* root = NewCell(pageSide_, 0, 0, nullptr);
    levels_.back()->free.PushBack(&root->node);
}

void CD3DHugeTexture::ClearLevels() {
    retired_.clear();  // their cells are on the used lists, deleted below
    for (auto& level : levels_) {
        for (lru_list_t* list : {&level->used, &level->free}) {
            while (!list->Empty()) DeleteCell(tex_cell_t::FromNode(lru_obj_s::Next(list)));
        }
    }
    levels_.clear();
}

tex_level_t* CD3DHugeTexture::GetLevel(std::uint32_t side) {
    for (auto& level : levels_) {
        if (level->side == side) return level.get();
    }
    throw lumi::Exception("invalid level.");
}

// Step one of every allocation: a free cell leaves its free list for the used list, and an
// inactive one stops holding its old owner's pixels.
void CD3DHugeTexture::TakeFreeCell(tex_cell_t* cell, tex_level_t* level) {
    if (!cell->free) throw lumi::Exception("logic error");
    tex_cell_t* parent = cell->parent;
    if (parent != nullptr) --parent->freeChildren;
    if (cell->owner != nullptr) {
        if (cell->owner->GetCell() == cell) cell->owner->SetCell(nullptr);
        cell->owner = nullptr;
        if (parent != nullptr) --parent->holdingChildren;
    }
    cell->free = 0;
    level->used.PushBack(&cell->node);
}

tex_cell_t* CD3DHugeTexture::AllocCell(std::uint32_t side) {
    tex_level_t* level = GetLevel(side);
    if (!level->free.Empty()) {
        tex_cell_t* cell = tex_cell_t::FromNode(lru_obj_s::Next(&level->free));
        TakeFreeCell(cell, level);
        return cell;
    }
    tex_cell_t* cell = nullptr;
    for (std::uint32_t larger = side * 2; larger <= pageSide_ && cell == nullptr; larger *= 2) {
        tex_level_t* candidate = GetLevel(larger);
        if (!candidate->free.Empty()) cell = tex_cell_t::FromNode(lru_obj_s::Next(&candidate->free));
    }
    if (cell == nullptr) return nullptr;
    while (cell->side > side) {
        TakeFreeCell(cell, GetLevel(cell->side));
        cell = SplitCell(cell);
    }
    if (cell->side != side) throw lumi::Exception("logic error.");
    cell->node.Unlink();
    if (cell->parent != nullptr) --cell->parent->freeChildren;
    cell->free = 0;
    level->used.PushBack(&cell->node);
    return cell;
}

tex_cell_t* CD3DHugeTexture::SplitCell(tex_cell_t* cell) {
    if (cell->freeChildren != 0 || cell->owner != nullptr || cell->holdingChildren != 0) {
        throw lumi::Exception("logic error");
    }
    const std::uint32_t half = cell->side / 2;
    tex_level_t* level = GetLevel(half);
    const LONG h = static_cast<LONG>(half);
    const LONG left = cell->rect.left;
    const LONG top = cell->rect.top;
    const LONG corners[4][2] = {{left, top}, {left + h, top}, {left, top + h}, {left + h, top + h}};
    for (int i = 0; i < 4; ++i) {
        CTextureCell* child = NewCell(half, corners[i][0], corners[i][1], cell);
        level->free.PushBack(&child->node);
        cell->children[i] = child;
    }
    cell->freeChildren = 4;
    return cell->children[3];
}

void CD3DHugeTexture::MarkCellUsed(tex_cell_t* cell) {
    if (cell->page != this) throw lumi::Exception("incorrect cell");
    if (!cell->free) return;
    GetLevel(cell->side)->used.PushBack(&cell->node);
    if (cell->parent != nullptr) --cell->parent->freeChildren;
    cell->free = 0;
}

void CD3DHugeTexture::ReleaseCell(CD3DTexture* texture, bool discard) {
    tex_cell_t* cell = texture->GetCell();
    if (cell == nullptr) return;
    if (discard) {
        cell->owner = nullptr;
        texture->SetCell(nullptr);
        if (cell->parent != nullptr) --cell->parent->holdingChildren;
        FreeCell(cell);
        return;
    }
    if (cell->free) return;
    GetLevel(cell->side)->free.PushBack(&cell->node);
    if (cell->parent != nullptr) ++cell->parent->freeChildren;
    cell->free = 1;
}

void CD3DHugeTexture::FreeCell(tex_cell_t* cell) {
    if (cell == nullptr) throw lumi::Exception("NULL pointer.");
    for (;;) {
        tex_cell_t* parent = cell->parent;
        if (parent == nullptr) {
            cell->node.Unlink();
            cell->free = 1;
            break;
        }
        if (!cell->free) {
            cell->free = 1;
            ++parent->freeChildren;
        }
        if (parent->freeChildren == 4 && parent->holdingChildren == 0) {
            // Checked before anything is deleted, so a refusal leaves the tree whole.
            for (tex_cell_t* child : parent->children) {
                if (child->owner != nullptr) throw lumi::Exception("cell still be use.");
            }
            for (tex_cell_t*& child : parent->children) {
                DeleteCell(child);
                child = nullptr;
            }
            parent->freeChildren = 0;
            cell = parent;
            continue;
        }
        cell->node.Unlink();
        break;
    }
    GetLevel(cell->side)->free.PushBack(&cell->node);
}

void CD3DHugeTexture::RetireCell(tex_cell_t* cell) { retired_.push_back(cell); }

void CD3DHugeTexture::FreeRetiredCells() {
    std::vector<tex_cell_t*> retired;
    retired.swap(retired_);
    for (tex_cell_t* cell : retired) FreeCell(cell);
}

void CD3DHugeTexture::RefreshCell(tex_cell_t* cell) {
    if (!cell->stale || cell->owner == nullptr) return;
    try {
        if (CopyPixels(cell->owner, cell)) cell->stale = 0;
    } catch (const lumi::Exception&) {
        // A copy is missing: the cell keeps its old pixels and stays stale.
    }
}

std::uint32_t CD3DHugeTexture::CellSideFor(std::uint32_t width, std::uint32_t height) {
    return std::max(NextPowerOfTwo(std::max(width, height)), kMinCellSide);
}

tex_cell_t* CD3DHugeTexture::CopyTexture(CD3DTexture* texture) {
    if (texture->GetCell() != nullptr) throw lumi::Exception("copy already exist.");
    const std::uint32_t side = CellSideFor(texture->GetWidth(), texture->GetHeight());
    // Larger than the page (or too large for any power of two): no level can hold it.
    if (side == 0 || side > pageSide_) return nullptr;
    tex_cell_t* cell = AllocCell(side);
    if (cell == nullptr) return nullptr;
    if (cell->owner != nullptr) {
        cell->owner->SetCell(nullptr);
    } else if (cell->parent != nullptr) {
        ++cell->parent->holdingChildren;
    }
    cell->owner = texture;
    texture->SetCell(cell);
    bool copied = false;
    try {
        copied = CopyPixels(texture, cell);
    } catch (const lumi::Exception&) {
        copied = false;
    }
    if (!copied) {
        // The texture is drawn by itself; the cell goes back rather than staying taken.
        ReleaseCell(texture, true);
        return nullptr;
    }
    cell->stale = 0;
    return cell;
}

bool CD3DHugeTexture::CopyPixels(CD3DTexture* texture, tex_cell_t* cell) {
    IDirect3DTexture9* source = texture->GetSystemTexture();
    IDirect3DTexture9* destination = GetD3DTexture();
    if (source == nullptr || destination == nullptr) throw lumi::Exception("NULL pointer.");
    IDirect3DSurface9* sourceSurface = nullptr;
    IDirect3DSurface9* destinationSurface = nullptr;
    bool ok = SUCCEEDED(source->GetSurfaceLevel(0, &sourceSurface)) &&
              SUCCEEDED(destination->GetSurfaceLevel(0, &destinationSurface));
    if (ok) {
        const POINT corner{cell->rect.left, cell->rect.top};
        ok = SUCCEEDED(GetOwner()->GetDevice()->UpdateSurface(sourceSurface, nullptr, destinationSurface, &corner));
    }
    if (sourceSurface != nullptr) sourceSurface->Release();
    if (destinationSurface != nullptr) destinationSurface->Release();
    return ok;
}

std::uint64_t CD3DHugeTexture::FreeArea() const {
    std::uint64_t area = 0;
    for (const auto& level : levels_) {
        for (lru_obj_s* node = level->free.next; node != &level->free; node = node->next) {
            if (tex_cell_t::FromNode(node)->owner == nullptr) area += std::uint64_t{level->side} * level->side;
        }
    }
    return area;
}

std::int32_t CD3DHugeTexture::CountCells(bool used) const {
    std::int32_t count = 0;
    for (const auto& level : levels_) count += (used ? level->used : level->free).Count();
    return count;
}
