#include "draw/word_tex.h"

#include "draw/font_texture.h"
#include "platform/fontmill/fontmill.h"

CWordTex::CWordTex(CFT2GlyphBitmap* bitmap, CD3DFont* font) : bitmap_(bitmap), font_(font) {}

CWordTex::~CWordTex() {
    Unlink();
    if (bitmap_ != nullptr) bitmap_->Release();
}

bool CWordTex::Load() {
    if (loaded_) return true;
    if (bitmap_ == nullptr || !bitmap_->IsLoaded()) return false;
    if (bitmap_->IsValid()) {
        hasPixels_ = 1;
        CFontTex::GetWord(font_, this);  // clears the pixels when the image finds no place
    } else {
        hasPixels_ = 0;
        TakeMetrics(bitmap_->GetData());  // an empty glyph (a space) still advances the pen
    }
    bitmap_->Release();
    bitmap_ = nullptr;
    loaded_ = 1;
    return true;
}

void CWordTex::MarkEmpty() {
    loaded_ = 1;
    hasPixels_ = 0;
}

void CWordTex::TakeMetrics(const STRU_FONT_BITMAP& bitmap) {
    advance_[0] = bitmap.advance;
    advance_[1] = bitmap.lineHeight;
    offset_[0] = bitmap.left;
    offset_[1] = bitmap.top;
    ascender_ = bitmap.ascender;
    descender_ = bitmap.descender;
}

void CWordTex::Place(CFontTexture* page, const RECT& rect) {
    page_ = page;
    rect_ = rect;
}
