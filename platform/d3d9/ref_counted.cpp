#include "platform/d3d9/ref_counted.h"

#include "platform/d3d9/control_state.h"

namespace d3d9sw {

RefCounted::RefCounted(IUnknown* parent, RefCounted* container)
    : parent_(container == nullptr ? parent : nullptr), container_(container), public_(container == nullptr ? 1 : 0) {
    if (parent_ != nullptr) parent_->AddRef();
    Control().objects.insert(this);
}

RefCounted::~RefCounted() { Control().objects.erase(this); }

bool RefCounted::IsContained() const { return container_ != nullptr; }

ULONG RefCounted::AddPublic() {
    ++public_;
    if (container_ != nullptr) return container_->AddPublic();
    // An object kept only by a binding and handed out again (GetTexture...) holds its parent again.
    if (public_ == 1 && parent_ != nullptr) parent_->AddRef();
    return public_;
}

ULONG RefCounted::ReleasePublic() {
    if (public_ == 0) {
        ReportMisuse("Release of an object without references");
        return 0;
    }
    --public_;
    if (container_ != nullptr) return container_->ReleasePublic();
    const ULONG remaining = public_;
    if (remaining == 0) {
        IUnknown* parent = parent_;
        ++internal_;  // keeps this alive while its bindings go
        OnLastPublicRelease();
        --internal_;
        // Deleted before the parent is let go, so the destructor still finds its device. The
        // parent's release may delete this too (by dropping a binding): no member is read after it.
        DeleteIfUnused();
        if (parent != nullptr) parent->Release();
    }
    return remaining;
}

void RefCounted::AddInternal() {
    if (container_ != nullptr) {
        container_->AddInternal();
        return;
    }
    ++internal_;
}

void RefCounted::ReleaseInternal() {
    if (container_ != nullptr) {
        container_->ReleaseInternal();
        return;
    }
    if (internal_ == 0) return;
    --internal_;
    DeleteIfUnused();
}

void RefCounted::DeleteIfUnused() {
    if (public_ == 0 && internal_ == 0) delete this;
}

}  // namespace d3d9sw
