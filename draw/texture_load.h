#pragma once
// The texture side of file loading: a small interface the texture manager implements over
// the loading machinery of the build (the outside resource framework in the current build,
// the loader threads in the legacy one). Textures see only this, and the texture manager
// waits and reaps through it; how a file is read and decoded stays behind it. Host thread
// only: the loader may prepare and decode elsewhere, but every call here runs on the host's
// thread.
#include <cstdint>

class CD3DTexture;

// One running load of a texture's file. Opaque to the texture: it only hands it back.
class CTextureLoad;

class ITextureLoader {
public:
    virtual ~ITextureLoader() = default;

    // Starts reading and decoding the texture's file. The returned load belongs to the
    // texture until Poll reports it ended or it is given to Cancel; null when the load could
    // not start (the texture stays unloaded and asks again when next polled).
    virtual CTextureLoad* Request(CD3DTexture* texture) = 0;

    // Whether the load is still being read or decoded.
    virtual bool IsLoading(CTextureLoad* load) = 0;

    // False while the load runs. Once it has ended: the texture takes it
    // (CD3DTexture::FinishLoad, which copies its image in or remembers the failure), the load
    // is deleted and true is returned; a failed load leaves the texture unloaded and is
    // logged with its reason unless it failed as before.
    virtual bool Poll(CD3DTexture* texture, CTextureLoad* load) = 0;

    // The texture no longer wants the load: deleted at once when it has ended, otherwise
    // kept aside by the loader and deleted once it ends.
    virtual void Cancel(CTextureLoad* load) = 0;

    // Returns when nothing is loading any more.
    virtual void WaitAll() = 0;

    // Deletes loads given up earlier that have ended since (the texture manager asks once a
    // frame). A loader that parks nothing has nothing to do.
    virtual void Reap() {}
};
