#pragma once
// CD3DHugeTexture: an atlas page. A square video-only texture divided as a quad tree into
// power-of-two cells from 32 pixels up to the page side, so that many small textures reach
// the device in one draw. The texture manager owns the pages and decides which texture goes
// where; the page keeps its cells and their allocation.
//
// Cells: per side one level with a used and a free list. AllocCell takes a free cell of the
// side asked (an inactive one loses its owner) or splits a larger one; FreeCell merges four
// free siblings that hold nothing back into their parent, up to the root.
//
// Inconsistencies throw lumi::Exception with short messages ("invalid level.", "logic
// error", "incorrect cell", "NULL pointer.", "cell still be use.", "copy already exist.").
// A request no cell can serve returns null. From the "CD3DHugeTexture" pool. Host thread
// only.
#include <cstdint>
#include <memory>
#include <vector>

#include "draw/d3d_texture.h"
#include "draw/texture_cell.h"

struct tex_level_t {
    std::uint32_t side = 0;
    lru_list_t used;  // of tex_cell_t
    lru_list_t free;
};

class CD3DHugeTexture : public CD3DTexture {
public:
    static constexpr std::uint32_t kMinCellSide = 32;

    static void* operator new(std::size_t size) { return PooledAlloc<CD3DHugeTexture>(size); }
    static void operator delete(void* block) noexcept { PooledFree<CD3DHugeTexture>(block); }

    // An empty pageSide x pageSide texture (video copy only; never managed) with one free
    // root cell. `pageSide` is a power of two of at least 32. No memory is bound yet.
    CD3DHugeTexture(ITextureOwner* owner, std::uint16_t pageSide, D3DFORMAT format, std::uint32_t usageFlags);
    // Deletes every cell (their owners forget them).
    ~CD3DHugeTexture() override;

    // Drops the pixels. A page of texture cells drops every cell and starts again with one
    // free root cell. A page of host cells keeps them, each holding its square of the page
    // once the page has memory again, until the host gives it back; their listeners are
    // told (OnCellReleased) that the pixels went, and forgotten. A listener may give its
    // cell back from that call.
    void Unload() override;
    // The page lends its cells to the host (CTexMgr::CreateTextureCell).
    void SetHostCellPage(bool on) { hostCellPage_ = on ? 1 : 0; }

    void BuildLevels();
    // Deletes every cell; textures that own one forget it.
    void ClearLevels();
    // Throws lumi::Exception "invalid level." for a side without level.
    tex_level_t* GetLevel(std::uint32_t side);

    // A used cell of `side` (a power of two between 32 and the page side); null when none is
    // free. An inactive cell taken here loses its owner.
    tex_cell_t* AllocCell(std::uint32_t side);
    // Splits a cell that holds nothing into four free children; returns the bottom-right one.
    tex_cell_t* SplitCell(tex_cell_t* cell);
    // Reactivates an inactive cell (its owner came back); a used cell is left as it is.
    void MarkCellUsed(tex_cell_t* cell);
    // The texture's cell: with `discard` freed and forgotten by both; else made inactive
    // (pixels and owner kept). A texture without cell is ignored.
    void ReleaseCell(CD3DTexture* texture, bool discard);
    // Frees a cell (it must hold no owner), merging free siblings upward.
    void FreeCell(tex_cell_t* cell);
    // A cell that lost its owner while a queued draw may still sample it: it stays taken
    // (no owner, pixels kept) until FreeRetiredCells, at the frame end.
    void RetireCell(tex_cell_t* cell);
    void FreeRetiredCells();
    // Copies the owner's pixels into its cell again when they changed since the last copy;
    // a failed copy leaves the cell stale, to be tried again.
    void RefreshCell(tex_cell_t* cell);
    // Places a copy of the texture's system copy in a new cell and returns it; null when no
    // cell is free or the copy fails (the cell is freed again). Throws "copy already exist."
    // when the texture already has a cell.
    tex_cell_t* CopyTexture(CD3DTexture* texture);
    // Copies the texture's system copy into the page's video copy at the cell's corner.
    // Throws "NULL pointer." when a copy is missing; false when Direct3D fails.
    bool CopyPixels(CD3DTexture* texture, tex_cell_t* cell);

    std::uint16_t GetPageSide() const { return pageSide_; }
    // The smallest side that holds width x height: a power of two of at least 32.
    static std::uint32_t CellSideFor(std::uint32_t width, std::uint32_t height);
    // Pixels of the page in cells that are free and hold no owner (for statistics).
    std::uint64_t FreeArea() const;
    // Cells of every level on their used list / free list.
    std::int32_t CountCells(bool used) const;

private:
    void TakeFreeCell(tex_cell_t* cell, tex_level_t* level);
    void TellCellListeners();
    bool IsUsedCell(const tex_cell_t* cell) const;
    CTextureCell* NewCell(std::uint32_t side, LONG left, LONG top, tex_cell_t* parent);
    void DeleteCell(tex_cell_t* cell);

    std::uint32_t minCellSide_ = kMinCellSide;
    std::uint16_t pageSide_;
    std::vector<std::unique_ptr<tex_level_t>> levels_;  // sides 32, 64, ... page side
    std::vector<tex_cell_t*> retired_;
    std::uint8_t hostCellPage_ = 0;
};
