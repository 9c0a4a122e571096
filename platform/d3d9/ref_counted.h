#pragma once
// Reference counting of the software device's objects.
//
// Public references are the application's (AddRef/Release, and the AddRef'd pointers that
// Get* methods return). Internal references are the device's bindings (SetTexture,
// SetStreamSource, SetRenderTarget...): they keep an object alive without keeping its device
// alive, so releasing a device that still has objects bound frees everything, as the platform
// does. An object is deleted when both counts are zero.
//
// An object with a parent (a resource's device, a device's Direct3D object) holds one public
// reference on it while it has public references itself. An object with a container (a texture
// level, a swap chain's back buffer, the device's implicit surfaces) forwards every count to
// the container, and counts only how many public references were taken through it (Reset
// checks that for the implicit back buffer and depth surface).
//
// Callers hold the API lock (control_state.h).
#include "platform/win32/win32_types.h"

namespace d3d9sw {

class RefCounted {
public:
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

    ULONG AddPublic();
    ULONG ReleasePublic();  // may delete this (or the container, and with it this)
    void AddInternal();
    void ReleaseInternal();  // may delete this
    // Public references held through this object (for a contained object, not the container's).
    ULONG PublicRefs() const { return public_; }
    // Part of another object (a texture level, a back buffer): counted with its container.
    bool IsContained() const;

protected:
    // Standalone objects start with one public reference, contained ones with none.
    RefCounted(IUnknown* parent, RefCounted* container);
    virtual ~RefCounted();
    // The last public reference is gone (standalone objects only): drop bindings that would
    // otherwise keep other objects alive.
    virtual void OnLastPublicRelease() {}

private:
    void DeleteIfUnused();

    IUnknown* parent_;
    RefCounted* container_;
    ULONG public_;
    ULONG internal_ = 0;
};

// Holds an internal reference on an object (null allowed); used for the device's bindings.
template <class T>
class Binding {
public:
    Binding() = default;
    Binding(const Binding&) = delete;
    Binding& operator=(const Binding&) = delete;
    ~Binding() { Reset(nullptr); }

    void Reset(T* object) {
        if (object == object_) return;
        if (object != nullptr) object->AddInternal();
        T* old = object_;
        object_ = object;
        if (old != nullptr) old->ReleaseInternal();
    }
    T* get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    T* operator->() const { return object_; }

private:
    T* object_ = nullptr;
};

}  // namespace d3d9sw
