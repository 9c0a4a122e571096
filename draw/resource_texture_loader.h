#pragma once
// CResourceTextureLoader: texture file loading over the engine's resource framework. Each
// load is a CD3DBitmap handed to CResourceLoader: in the background (prepare, then the
// listener asks for the decode step) or, while the renderer loads synchronously, both steps
// at once in the host's thread through the host-thread file callbacks.
//
// A load its texture gives up while a step of it is still queued or running is parked on
// the pending list; Reap deletes the oldest parked load once it has ended (one per call),
// and the destructor waits for every parked load in 15 ms sleeps before deleting it.
//
// Host thread only; the loader's steps run wherever the resource loader runs them.
#include <cstdint>
#include <functional>
#include <list>

#include "core/build_variant.h"
#include "draw/d3d_bitmap.h"
#include "draw/texture_load.h"

#if LUMI_LEGACY
#error "the resource framework's texture loader belongs to the current build"
#endif

// A load of the current build is the bitmap resource itself.
class CTextureLoad final : public CD3DBitmap {
public:
    using CD3DBitmap::CD3DBitmap;
};
static_assert(sizeof(CTextureLoad) == sizeof(CD3DBitmap), "a load must fit the CD3DBitmap pool's blocks");

class CResourceTextureLoader final : public ITextureLoader {
public:
    // `background` serves the resource loader's reads, `foreground` the synchronous loads;
    // both must outlive the loader. `synchronous` tells, at each request, whether the
    // renderer loads in the host's thread.
    CResourceTextureLoader(const STRU_FILE_CALLBACKS* background, const STRU_FILE_CALLBACKS* foreground,
                           std::function<bool()> synchronous);
    // Waits for every parked load (Sleep(15) polls), then deletes it.
    ~CResourceTextureLoader() override;
    CResourceTextureLoader(const CResourceTextureLoader&) = delete;
    CResourceTextureLoader& operator=(const CResourceTextureLoader&) = delete;

    // ---- ITextureLoader ----
    // Null when the resource loader refuses the request.
    CTextureLoad* Request(CD3DTexture* texture) override;
    // A parked load is no longer any texture's concern: false for it.
    bool IsLoading(CTextureLoad* load) override;
    // The texture takes the ended load (CD3DTexture::FinishLoad); a new failure is logged
    // with its reason.
    bool Poll(CD3DTexture* texture, CTextureLoad* load) override;
    // Deletes an ended load at once, parks a running one; a parked load is left alone.
    void Cancel(CTextureLoad* load) override;
    // Sleep(5) polls until the resource loader has nothing in process.
    void WaitAll() override;

    // Deletes the oldest parked load when it has ended.
    void Reap() override;
    std::size_t GetPendingCount() const { return pending_.size(); }

private:
    bool IsParked(const CTextureLoad* load) const;

    const STRU_FILE_CALLBACKS* background_;
    const STRU_FILE_CALLBACKS* foreground_;
    std::function<bool()> synchronous_;
    CBitmapListener listener_;           // outlives every load: declared before the list
    std::list<CTextureLoad*> pending_;   // oldest first
};

