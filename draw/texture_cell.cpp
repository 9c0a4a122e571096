#include "draw/texture_cell.h"

#include "draw/huge_texture.h"

CTextureCell::~CTextureCell() {
    if (listener != nullptr) listener->OnCellReleased(this);
}

ITexture* CTextureCell::GetTexture() { return page; }

void CTextureCell::SetListener(ITextureCellListener* newListener) {
    if (newListener == listener) return;
    if (listener != nullptr) listener->OnCellReleased(this);
    listener = newListener;
}
