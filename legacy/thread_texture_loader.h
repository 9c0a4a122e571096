#pragma once
// CThreadTextureLoader: the legacy build's texture file loading. Each request becomes a load
// record (CD3DBitmap) that the loading threads read and decode (loader_thread.h); the
// texture takes the image at the poll that sees the record decoded. Each record carries the
// texture's image limits (CD3DTexture::DescribeLoad), so that a file or image too large for
// it, or for the load budget, is refused from its size before it is read or decoded. A file
// that cannot be read (state 3) or decoded (state 4) makes its texture invalid
// (CD3DTexture::FinishLoad), which is never requested again, and is logged once: "invalid
// texture file.[%s] state=%d", then the reason ("CTexMgr: texture load failed.[%s] ...").
//
// The loader starts the threads when it is made and stops them when it goes. When they
// cannot start (or another loader runs them), every request is read and decoded at once on
// the host's thread, through the same states.
//
// A texture that gives up its load while a thread may still work on it does not wait: the
// record is marked cancelled (the threads skip what is left of it) and parked until it has
// ended; Reap deletes the ended ones, and the destructor, once the threads have stopped,
// deletes every record left on a queue or parked.
//
// Host thread only.
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/build_variant.h"
#include "draw/texture_load.h"
#include "legacy/d3d_bitmap_legacy.h"
#include "legacy/loader_thread.h"

#if !LUMI_LEGACY
#error "the threaded texture loader belongs to the legacy build"
#endif

// A load of the legacy build is its load record.
class CTextureLoad final : public CD3DBitmap {
public:
    using CD3DBitmap::CD3DBitmap;
};
static_assert(sizeof(CTextureLoad) == sizeof(CD3DBitmap), "a load must fit the CD3DBitmap pool's blocks");

class CThreadTextureLoader final : public ITextureLoader {
public:
    static constexpr DWORD kWaitMs = 5;

    // `background` reads every file and must outlive the loader; `synchronous` tells, at each
    // request, whether the renderer loads synchronously (the record then gets priority).
    // Starts the threads; when they cannot start, logs it and loads in the host's thread.
    CThreadTextureLoader(const STRU_FILE_CALLBACKS* background, std::function<bool()> synchronous,
                         loader_steps_t steps = DefaultLoaderSteps());
    // Stops the threads (each finishes its record in hand), then deletes every record left.
    ~CThreadTextureLoader() override;
    CThreadTextureLoader(const CThreadTextureLoader&) = delete;
    CThreadTextureLoader& operator=(const CThreadTextureLoader&) = delete;

    // ---- The texture manager's loading operations ----
    // A new load record for the texture in state 1, with priority when loading synchronously,
    // for a pooled texture or one of priority above 2; queued (or loaded at once without
    // threads).
    CTextureLoad* RequestTextureLoad(CD3DTexture* texture);
    // The texture takes the record by its state: 1 -> false; 2 -> the image (one it cannot
    // take makes it invalid); 3, 4 -> the texture is made invalid and the failure logged with
    // its reason. The record is then released and true returned.
    bool PollTextureLoad(CD3DTexture* texture, CTextureLoad* record);
    // The record goes: deleted when it has ended, else marked cancelled (the threads skip
    // what is left of it) and parked until it has. A parked record is left alone.
    void ReleaseLoadRecord(CTextureLoad* record);

    // ---- ITextureLoader: the texture code's calls, each the operation above ----
    CTextureLoad* Request(CD3DTexture* texture) override { return RequestTextureLoad(texture); }
    bool Poll(CD3DTexture* texture, CTextureLoad* load) override { return PollTextureLoad(texture, load); }
    void Cancel(CTextureLoad* load) override { ReleaseLoadRecord(load); }
    // State 1, and not given up.
    bool IsLoading(CTextureLoad* load) override;
    // Sleep(5) polls while records are in flight; then reaps.
    void WaitAll() override;
    // Deletes the parked records that have ended.
    void Reap() override;

    std::size_t GetParkedCount() const { return parked_.size(); }
    // PendingLoadCount: the records between their enqueue and the end of their read (failed)
    // or decode. An atomic, so it needs no lock of its own.
    std::int32_t GetPendingLoadCount() const { return pendingLoadCount_.load(); }
    // Whether this loader runs the threads (false: it loads in the host's thread).
    bool IsThreaded() const { return threaded_; }

private:
    const STRU_FILE_CALLBACKS* background_;
    std::function<bool()> synchronous_;
    loader_steps_t steps_;  // the threads hold a pointer to it
    std::atomic<std::int32_t> pendingLoadCount_{0};
    std::vector<CTextureLoad*> parked_;
    bool threaded_ = false;
};
