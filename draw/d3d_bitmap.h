#pragma once
// CD3DBitmap: the background load of one texture file as a resource of the engine's
// resource framework. Its prepare step reads the file through the file callbacks it was
// handed, its decode step turns it into up to 32 raw frames (bitmap_load.h); the texture
// manager reads the result once IsLoaded() is true and then deletes the bitmap.
// CBitmapListener moves a prepared background bitmap on to decoding.
//
// A failed step leaves the bitmap loaded with an empty image (width and height 0): the
// texture stays unloaded and asks again when next polled.
//
// Threads: the steps run wherever the resource loader runs them and touch only the load
// record and the callbacks. Everything else is for the host's thread, and the record may
// be read only while IsLoading() is false. Instances come from the "CD3DBitmap" pool.
#include <cstdint>

#include "core/lock_obj.h"
#include "core/pool_table.h"
#include "draw/bitmap_load.h"
#include "platform/engine/resource.h"

class CD3DTexture;

class CD3DBitmap : public CResource {
public:
    static void* operator new(std::size_t size) { return PooledAlloc<CD3DBitmap>(size); }
    static void operator delete(void* block) noexcept { PooledFree<CD3DBitmap>(block); }

    // The load of `texture`'s file (null: no file yet) through `callbacks`, which must
    // outlive the bitmap.
    CD3DBitmap(CD3DTexture* texture, const STRU_FILE_CALLBACKS* callbacks);
    // Frees the buffer and the frames. Must not run while IsLoading() (the framework
    // aborts).
    ~CD3DBitmap() override;

    // Takes the texture's name, format and image limits, and the fingerprint of its last
    // failed load (null clears them).
    void SetTexture(CD3DTexture* texture);
    // The same from a name and a format, for callers without a texture.
    void SetSource(const WCHAR* fileName, D3DFORMAT format);
    CD3DTexture* GetTexture() const { return texture_; }

    // The texture manager switches a synchronous load to the host thread's callbacks.
    void SetFileCallbacks(const STRU_FILE_CALLBACKS* callbacks) { callbacks_ = callbacks; }
    const STRU_FILE_CALLBACKS* GetFileCallbacks() const { return callbacks_; }

    // Kept for the texture's load priority; nothing reads it in this build.
    void SetPriority(std::uint8_t priority);
    std::uint8_t GetPriority();

    // The record the steps fill: buffer, image size, frames, image information.
    const bitmap_load_t& GetLoad() const { return load_; }
    bool IsDDS() const { return load_.dds != 0; }
    // The decoded image's size; 0 while there is none or after a failure.
    std::uint32_t GetImageWidth() const { return load_.width; }
    std::uint32_t GetImageHeight() const { return load_.height; }

protected:
    bool PrepareImpl() override;
    bool DecodeImpl() override;

private:
    const STRU_FILE_CALLBACKS* callbacks_;
    bitmap_load_t load_;
    CD3DTexture* texture_ = nullptr;
    std::uint8_t priority_ = 0;
    lock_obj priorityLock_;
};

// Listener of the texture manager: a prepared background bitmap is handed back to the
// loader for its decode step.
class CBitmapListener : public CResource::CListener {
public:
    void OnLoadingComplete(CResource* resource) override;    // nothing
    void OnPreparingComplete(CResource* resource) override;  // DecodeResource(resource)
};
