#pragma once
// Atlas cells: power-of-two squares of an atlas page (CD3DHugeTexture), kept as a quad tree.
// A cell holds the copied pixels of one texture, or is handed to the host as a drawing area
// of its own (ITextureCell).
//
// States: free (on its level's free list, no owner), inactive (free list, owner and pixels
// kept: the owner's count reached zero and may come back), used (on its level's used list).
// A split cell stays on its level's used list while it has children.
//
// Every cell is a CTextureCell from the "CTextureCell" pool; the page creates and deletes
// them. Host thread only.
#include <cstdint>

#include "core/lru_list.h"
#include "core/pool_table.h"
#include "core/renderer_interface.h"
#include "platform/win32/win32_types.h"

class CD3DHugeTexture;
class CD3DTexture;

struct tex_cell_t {
    lru_obj_s node;                   // on its level's used or free list
    std::int32_t reserved = 0;
    std::uint8_t free = 0;            // 1 = on the free list
    std::uint32_t side = 0;           // pixels, a power of two
    std::int32_t freeChildren = 0;    // children on their free list
    std::int32_t holdingChildren = 0; // children that name an owner texture
    CD3DHugeTexture* page = nullptr;
    CD3DTexture* owner = nullptr;     // the texture whose pixels the cell holds; null when none
    RECT rect{};                      // in the page
    tex_cell_t* parent = nullptr;     // null for the root
    tex_cell_t* children[4] = {};     // top-left, top-right, bottom-left, bottom-right; null unless split
    ITextureCellListener* listener = nullptr;  // the host's, not owned
    // The owner's pixels changed since they were copied here: copied again before the cell is
    // next drawn from. The owner's video copy keeps a stale mark of its own.
    std::uint8_t stale = 0;

    static tex_cell_t* FromNode(lru_obj_s* n) { return reinterpret_cast<tex_cell_t*>(n); }
};

class CTextureCell final : public ITextureCell, public tex_cell_t {
public:
    static void* operator new(std::size_t size) { return PooledAlloc<CTextureCell>(size); }
    static void operator delete(void* block) noexcept { PooledFree<CTextureCell>(block); }

    CTextureCell() = default;
    // Tells the listener, if any, that the cell is released.
    ~CTextureCell() override;
    CTextureCell(const CTextureCell&) = delete;
    CTextureCell& operator=(const CTextureCell&) = delete;

    ITexture* GetTexture() override;
    const RECT* GetRect() override { return &rect; }
    void SetListener(ITextureCellListener* newListener) override;

    static CTextureCell* From(tex_cell_t* cell) { return static_cast<CTextureCell*>(cell); }
};
