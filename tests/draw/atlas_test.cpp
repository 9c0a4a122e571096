// Atlas pages: cells split in quad-tree order and merged back to a whole page, textures
// copied into their cells and read back from the page, inactive cells reactivated or taken
// over, and failures that never leak a cell.
#include <random>
#include <vector>

#include "draw/huge_texture.h"
#include "tests/draw/texture_fixture.h"

namespace lumi::test {
namespace {

class AtlasTest : public TextureTest {
protected:
    CD3DHugeTexture* MakePage(std::uint16_t side) {
        CD3DHugeTexture* page = Keep(new CD3DHugeTexture(&owner_, side, D3DFMT_A8R8G8B8, 0));
        EXPECT_TRUE(page->BindMemoryFromPool());
        return page;
    }
    static bool IsWhole(CD3DHugeTexture* page) {
        return page->CountCells(true) == 0 && page->CountCells(false) == 1 &&
               page->FreeArea() == std::uint64_t{page->GetPageSide()} * page->GetPageSide();
    }
};

bool SameRect(const RECT& rect, LONG left, LONG top, LONG right, LONG bottom) {
    return rect.left == left && rect.top == top && rect.right == right && rect.bottom == bottom;
}

TEST_F(AtlasTest, CellsSplitInQuadTreeOrderAndMergeBackToTheWholePage) {
    CD3DHugeTexture* page = MakePage(256);
    ASSERT_NE(page->GetD3DTexture(), nullptr) << "pages are video-only";
    const std::int32_t baseline = PoolOf<CTextureCell>().BlocksInUse();

    tex_cell_t* first = page->AllocCell(32);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(SameRect(first->rect, 224, 224, 256, 256)) << "the bottom-right child is split further";
    tex_level_t* level128 = page->GetLevel(128);
    ASSERT_EQ(level128->free.Count(), 3);
    lru_obj_s* node = level128->free.next;
    EXPECT_TRUE(SameRect(tex_cell_t::FromNode(node)->rect, 0, 0, 128, 128));
    EXPECT_TRUE(SameRect(tex_cell_t::FromNode(node->next)->rect, 128, 0, 256, 128));
    EXPECT_TRUE(SameRect(tex_cell_t::FromNode(node->next->next)->rect, 0, 128, 128, 256));

    std::vector<tex_cell_t*> cells{first};
    while (tex_cell_t* cell = page->AllocCell(32)) cells.push_back(cell);
    EXPECT_EQ(cells.size(), 64u) << "a 256 page holds 64 cells of 32";
    EXPECT_EQ(page->FreeArea(), 0u);
    for (tex_cell_t* cell : cells) page->FreeCell(cell);
    EXPECT_TRUE(IsWhole(page));
    EXPECT_EQ(PoolOf<CTextureCell>().BlocksInUse(), baseline) << "no cell leaked";

    EXPECT_THROW(page->GetLevel(16), lumi::Exception);
    EXPECT_THROW(page->FreeCell(nullptr), lumi::Exception);
    tex_cell_t* root = tex_cell_t::FromNode(page->GetLevel(256)->free.next);
    EXPECT_EQ(page->AllocCell(256), root) << "the whole page in one cell";
    EXPECT_EQ(page->AllocCell(32), nullptr) << "nothing left";
}

TEST_F(AtlasTest, RandomWorkloadsAlwaysMergeBackToOneRoot) {
    CD3DHugeTexture* page = MakePage(1024);
    const std::int32_t baseline = PoolOf<CTextureCell>().BlocksInUse();
    std::mt19937 random(1234);
    std::vector<tex_cell_t*> held;
    for (int round = 0; round < 2000; ++round) {
        if (held.empty() || random() % 3 != 0) {
            const std::uint32_t side = 32u << (random() % 5);
            if (tex_cell_t* cell = page->AllocCell(side)) {
                ASSERT_EQ(cell->side, side);
                held.push_back(cell);
            }
        } else {
            const std::size_t index = random() % held.size();
            page->FreeCell(held[index]);
            held.erase(held.begin() + static_cast<std::ptrdiff_t>(index));
        }
    }
    // Cells held at the same time never overlap.
    for (std::size_t i = 0; i < held.size(); ++i) {
        for (std::size_t j = i + 1; j < held.size(); ++j) {
            const RECT& a = held[i]->rect;
            const RECT& b = held[j]->rect;
            ASSERT_TRUE(a.right <= b.left || b.right <= a.left || a.bottom <= b.top || b.bottom <= a.top);
        }
    }
    for (tex_cell_t* cell : held) page->FreeCell(cell);
    EXPECT_TRUE(IsWhole(page));
    EXPECT_EQ(PoolOf<CTextureCell>().BlocksInUse(), baseline);
}

TEST_F(AtlasTest, TexturesAreCopiedIntoCellsOfTheirSizeAndReadBackThere) {
    CD3DHugeTexture* page = MakePage(256);
    CD3DTexture* small = MakeTexture(D3DFMT_A8R8G8B8, 20, 20);
    CD3DTexture* wide = MakeTexture(D3DFMT_A8R8G8B8, 33, 10);
    const std::uint32_t colors[2] = {0xFF102030, 0x80405060};
    ASSERT_TRUE(small->UpdateRect(colors, 2, 1, 8, 32, 18, 19));
    ASSERT_TRUE(wide->UpdateRect(colors, 2, 1, 8, 32, 31, 9));

    tex_cell_t* smallCell = page->CopyTexture(small);
    tex_cell_t* wideCell = page->CopyTexture(wide);
    ASSERT_NE(smallCell, nullptr);
    ASSERT_NE(wideCell, nullptr);
    EXPECT_EQ(smallCell->side, 32u);
    EXPECT_EQ(wideCell->side, 64u);
    EXPECT_EQ(ReadTexel(page->GetD3DTexture(), smallCell->rect.left + 18, smallCell->rect.top + 19), colors[0]);
    EXPECT_EQ(ReadTexel(page->GetD3DTexture(), smallCell->rect.left + 19, smallCell->rect.top + 19), colors[1]);
    EXPECT_EQ(ReadTexel(page->GetD3DTexture(), wideCell->rect.left + 32, wideCell->rect.top + 9), colors[1]);
    EXPECT_THROW(page->CopyTexture(small), lumi::Exception) << "copy already exist.";

    // A page lives in video memory only and is no render target: like the platform, the
    // device cannot read it back, so it cannot be saved.
    EXPECT_FALSE(page->SaveToFile(u"page.png", nullptr));

    CD3DTexture* huge = MakeTexture(D3DFMT_A8R8G8B8, 300, 8);
    EXPECT_EQ(page->CopyTexture(huge), nullptr) << "larger than the page";
    EXPECT_EQ(CD3DHugeTexture::CellSideFor(1, 1), 32u) << "nothing smaller than the smallest level";

    // Losing the device gives the cells up; the page merges whole again.
    small->OnLostDevice();
    wide->OnLostDevice();
    EXPECT_EQ(small->GetCell(), nullptr);
    EXPECT_TRUE(IsWhole(page));
}

TEST_F(AtlasTest, InactiveCellsComeBackForTheirOwnerOrGoToAnotherTexture) {
    CD3DHugeTexture* page = MakePage(32);  // one cell: every request meets the same one
    CD3DTexture* first = MakeTexture(D3DFMT_A8R8G8B8, 20, 20);
    const std::uint32_t color = 0xFFAA5500;
    ASSERT_TRUE(first->UpdateRect(&color, 1, 1, 4, 32, 3, 3));
    first->SetManaged(true);
    first->AddRef();
    tex_cell_t* cell = page->CopyTexture(first);
    ASSERT_NE(cell, nullptr);

    first->Release();
    EXPECT_EQ(cell->free, 1) << "inactive";
    EXPECT_EQ(cell->owner, first) << "keeps its owner";
    EXPECT_EQ(first->GetCell(), cell);
    page->MarkCellUsed(cell);
    EXPECT_EQ(cell->free, 0);
    EXPECT_EQ(ReadTexel(page->GetD3DTexture(), 3, 3), color) << "pixels intact";

    page->ReleaseCell(first, false);
    CD3DTexture* second = MakeTexture(D3DFMT_A8R8G8B8, 32, 32);
    tex_cell_t* taken = page->CopyTexture(second);
    EXPECT_EQ(taken, cell);
    EXPECT_EQ(cell->owner, second);
    EXPECT_EQ(first->GetCell(), nullptr) << "the first owner lost it";

    CD3DHugeTexture* other = MakePage(64);
    EXPECT_THROW(other->MarkCellUsed(cell), lumi::Exception) << "incorrect cell";
}

TEST_F(AtlasTest, FailedCopiesAndUnloadsLeaveNoCellBehind) {
    CD3DHugeTexture* page = MakePage(128);
    const std::int32_t baseline = PoolOf<CTextureCell>().BlocksInUse();
    CD3DTexture* texture = MakeTexture(D3DFMT_A8R8G8B8, 16, 16);
    d3d9ctl::FailCall("UpdateSurface", 1, D3DERR_INVALIDCALL);
    EXPECT_EQ(page->CopyTexture(texture), nullptr);
    EXPECT_EQ(texture->GetCell(), nullptr);
    EXPECT_TRUE(IsWhole(page));

    CD3DTexture* videoOnly = Keep(new CD3DTexture(&owner_, D3DFMT_A8R8G8B8, 16, 16, 0, false));
    videoOnly->SetCopyFlags(CD3DTexture::kVideoCopy);
    ASSERT_TRUE(videoOnly->BindMemoryFromPool());
    EXPECT_EQ(page->CopyTexture(videoOnly), nullptr) << "nothing to copy from";
    EXPECT_TRUE(IsWhole(page));

    ASSERT_NE(page->CopyTexture(texture), nullptr);
    page->Unload();
    EXPECT_EQ(texture->GetCell(), nullptr) << "owners forget the cells of an unloaded page";
    EXPECT_TRUE(IsWhole(page));
    EXPECT_EQ(PoolOf<CTextureCell>().BlocksInUse(), baseline);
}

struct RecordingListener : ITextureCellListener {
    void OnCellReleased(ITextureCell* cell) override { released.push_back(cell); }
    std::vector<ITextureCell*> released;
};

TEST_F(AtlasTest, HostCellsTellTheirListenerWhenReleased) {
    CD3DHugeTexture* page = MakePage(64);
    CTextureCell* cell = CTextureCell::From(page->AllocCell(32));
    EXPECT_TRUE(SameRect(*cell->GetRect(), 32, 32, 64, 64));
    RecordingListener a;
    RecordingListener b;
    cell->SetListener(&a);
    cell->SetListener(&a);
    EXPECT_TRUE(a.released.empty()) << "the same listener again";
    cell->SetListener(&b);
    ASSERT_EQ(a.released.size(), 1u);
    EXPECT_EQ(a.released[0], cell);
    page->FreeCell(cell);  // merges: the cell is deleted
    ASSERT_EQ(b.released.size(), 1u);
    EXPECT_EQ(b.released[0], static_cast<ITextureCell*>(cell));
}

}  // namespace
}  // namespace lumi::test
