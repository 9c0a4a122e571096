#pragma once
// CD3DBitmap, legacy form: the load record of one texture file on its way through the
// loading threads (loader_thread.h). A plain record: the file to read and the callbacks to
// read it with, the bytes read, the decoded frames, and a state and priority that the
// threads and the host's thread share under the record's own lock.
//
// States: 0 new, 1 queued (from the request until its read or decode ends), 2 decoded,
// 3 read failed, 4 decode failed. Once a thread has published state 2, 3 or 4 it never
// touches the record again, so the host may delete it at once.
//
// Lifetime: made and deleted on the host's thread only (its pool has no lock). The threads
// fill the bitmap between the request and the published state; nothing else touches it
// meanwhile.
#include <atomic>
#include <cstdint>

#include "core/build_variant.h"
#include "core/lock_obj.h"
#include "core/lru_list.h"
#include "core/pool_table.h"
#include "draw/bitmap_load.h"

#if !LUMI_LEGACY
#error "the load record belongs to the legacy build"
#endif

class CD3DBitmap;

// The node a record sits on a loading queue by; it knows its record.
struct bitmap_node_t : lru_obj_s {
    CD3DBitmap* record = nullptr;
};

class CD3DBitmap {
public:
    enum State : std::int32_t { kNew = 0, kQueued = 1, kDecoded = 2, kReadFailed = 3, kDecodeFailed = 4 };

    static void* operator new(std::size_t size) { return PooledAlloc<CD3DBitmap>(size); }
    static void operator delete(void* block) noexcept { PooledFree<CD3DBitmap>(block); }

    // A record of the file `fileName`, decoded into the pixel layout of `format`, read
    // through `callbacks` (which must outlive it). State 0, no priority.
    CD3DBitmap(const WCHAR* fileName, D3DFORMAT format, const STRU_FILE_CALLBACKS* callbacks);
    // A record still on a queue is reported (DbgMsg "can NOT free valid node.") and taken off.
    ~CD3DBitmap();
    CD3DBitmap(const CD3DBitmap&) = delete;
    CD3DBitmap& operator=(const CD3DBitmap&) = delete;

    static CD3DBitmap* FromNode(lru_obj_s* node) { return static_cast<bitmap_node_t*>(node)->record; }
    lru_obj_s* Node() { return &node_; }
    bool IsLinked() const { return node_.next != nullptr; }

    bitmap_load_t& GetLoad() { return load_; }
    const STRU_FILE_CALLBACKS* GetCallbacks() const { return callbacks_; }
    const WCHAR* GetFileName() const { return load_.fileName; }

    // ---- Under the record's lock ----
    std::int32_t GetState();
    void SetState(std::int32_t state);
    bool IsQueued() { return GetState() == kQueued; }
    bool IsDecoded() { return GetState() == kDecoded; }
    bool HasPriority();
    void SetPriority(bool on);
    // The host no longer wants the result: the threads skip the steps still to come.
    bool IsCancelled();
    void SetCancelled();

    // The count of records in flight this record belongs to; set at the enqueue, read by the
    // thread that ends the record before it publishes the end.
    std::atomic<std::int32_t>* GetPendingCount() const { return pending_; }
    void SetPendingCount(std::atomic<std::int32_t>* pending) { pending_ = pending; }

private:
    bitmap_node_t node_;
    bitmap_load_t load_;
    const STRU_FILE_CALLBACKS* callbacks_;
    std::atomic<std::int32_t>* pending_ = nullptr;
    lock_obj lock_;  // guards the three below
    std::int32_t state_ = kNew;
    std::uint8_t priority_ = 0;
    std::uint8_t cancelled_ = 0;
};
