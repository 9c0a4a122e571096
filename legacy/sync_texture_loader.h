#pragma once
// CSyncTextureLoader: how the legacy build loads texture files while it has no loading
// threads of its own: each request reads the file through the renderer's background file
// callbacks and decodes it at once, on the host's thread; the texture takes the image at its
// next poll. A file that cannot be read or decoded, or that the texture's limits refuse, is
// logged ("invalid texture file.[%s] state=%d", 3 for a read, 4 for a decode that failed,
// then the reason); its texture stays without pixels and remembers the failure
// (CD3DTexture::FinishLoad), so that the same failure is logged once.

#include "core/build_variant.h"
#include "draw/bitmap_load.h"
#include "draw/texture_load.h"

#if !LUMI_LEGACY
#error "the synchronous texture loader belongs to the legacy build"
#endif

// One request: the file read and decoded.
class CTextureLoad {
public:
    bitmap_load_t load;
    std::int32_t failedState = 0;  // 0: decoded; 3: the read failed; 4: the decode failed
};

class CSyncTextureLoader final : public ITextureLoader {
public:
    // `callbacks` must outlive the loader.
    explicit CSyncTextureLoader(const STRU_FILE_CALLBACKS* callbacks) : callbacks_(callbacks) {}

    // Never null: a file that cannot be read or decoded ends in a load without image.
    CTextureLoad* Request(CD3DTexture* texture) override;
    bool IsLoading(CTextureLoad*) override { return false; }
    // The texture takes the load (CD3DTexture::FinishLoad); a new failure is logged. Deletes
    // the load.
    bool Poll(CD3DTexture* texture, CTextureLoad* load) override;
    void Cancel(CTextureLoad* load) override { delete load; }
    void WaitAll() override {}

private:
    const STRU_FILE_CALLBACKS* callbacks_;
};
