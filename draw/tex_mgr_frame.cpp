// CTexMgr: the textures the frame's queued commands draw from, held from their first
// queueing to the frame end (the rule is in draw_commands.h).
#include "draw/d3d_texture.h"
#include "draw/huge_texture.h"
#include "draw/tex_mgr.h"

void CTexMgr::HoldForFrame(CD3DTexture* texture) {
    if (texture == nullptr || texture->IsFrameHeld()) return;
    texture->AddRef();
    texture->SetFrameHeld(true);
    frameHolds_.push_back(texture);
}

void CTexMgr::RefreshHeldTextures(std::size_t from) {
    if (IsDeviceLost()) return;
    for (std::size_t i = from; i < frameHolds_.size(); ++i) {
        CD3DTexture* texture = frameHolds_[i];
        if (tex_cell_t* cell = texture->GetCell()) cell->page->RefreshCell(cell);
        if (texture->GetD3DTexture() != nullptr && texture->IsDirty()) texture->UploadDirtyRect();
    }
}

void CTexMgr::ReleaseFrameHolds(std::size_t from) {
    if (from > frameHolds_.size()) return;
    std::vector<CD3DTexture*> released(frameHolds_.begin() + static_cast<std::ptrdiff_t>(from), frameHolds_.end());
    frameHolds_.resize(from);
    for (CD3DTexture* texture : released) {
        texture->SetFrameHeld(false);
        texture->SetDrawnByItself(false);
        texture->Release();
    }
    for (CD3DTexture* texture : released) {
        if (!texture->IsDestroyPending()) continue;
        texture->SetDestroyPending(false);
        DestroyTexture(texture);
    }
    if (from != 0) return;
    for (lru_list_t& pages : pages_) {
        for (lru_obj_s* node = lru_obj_s::Next(&pages); node != &pages; node = lru_obj_s::Next(node)) {
            static_cast<CD3DHugeTexture*>(tex_slot_t::FromNode(node)->texture)->FreeRetiredCells();
        }
    }
}
