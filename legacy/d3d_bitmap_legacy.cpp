#include "legacy/d3d_bitmap_legacy.h"

#include "platform/tarnel/tarnel.h"

CD3DBitmap::CD3DBitmap(const WCHAR* fileName, D3DFORMAT format, const STRU_FILE_CALLBACKS* callbacks)
    : callbacks_(callbacks) {
    node_.record = this;
    SetBitmapSource(load_, fileName, format);
}

CD3DBitmap::~CD3DBitmap() {
    if (IsLinked()) {
        DbgMsg("can NOT free valid node.\n");
        node_.Unlink();
    }
}

std::int32_t CD3DBitmap::GetState() {
    lock_scope lock(lock_);
    return state_;
}

void CD3DBitmap::SetState(std::int32_t state) {
    lock_scope lock(lock_);
    state_ = state;
}

bool CD3DBitmap::HasPriority() {
    lock_scope lock(lock_);
    return priority_ != 0;
}

void CD3DBitmap::SetPriority(bool on) {
    lock_scope lock(lock_);
    priority_ = on ? 1 : 0;
}

bool CD3DBitmap::IsCancelled() {
    lock_scope lock(lock_);
    return cancelled_ != 0;
}

void CD3DBitmap::SetCancelled() {
    lock_scope lock(lock_);
    cancelled_ = 1;
}
