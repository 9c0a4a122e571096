#pragma once
// Giving back a reference the library holds on a Direct3D object (or on a texture of its own,
// which counts references the same way).

// Releases the reference `object` holds, when it holds one, and forgets it: a pointer that is
// given back never dangles, and a second call does nothing.
template <class T>
void ReleaseAndClear(T*& object) {
    if (object != nullptr) {
        object->Release();
        object = nullptr;
    }
}
