#pragma once
// CTexturePool: creates, recycles and releases the Direct3D textures behind every
// CD3DTexture, and keeps the byte totals the texture manager's memory rule reads.
//
// A texture's pixels live in a mem_obj_t with up to two Direct3D textures: a system-memory
// copy the library writes and reads, and a video copy that is drawn. Released Direct3D
// textures of a few common shapes (the build's buckets, below) wait in buckets and are handed
// out again (oldest first); every other shape is created and released each time. Trim buckets keep any number and
// give one back per frame once it has waited 1200 ms; the others refuse textures past
// their cap.
//
// One pool per texture manager; the owner outlives it. Host thread only. Failures: see
// each operation; Direct3D failures are logged to the event log.
#include <cstdint>
#include <span>

#include "core/build_variant.h"
#include "core/lru_list.h"
#include "core/pool_table.h"
#include "platform/d3d9/d3d9.h"

class CD3DTexture;
class CTexturePool;
class ITextureOwner;

// One bucket the pool makes at construction: free textures of a square side in the normal or
// the alpha texture format.
struct bucket_rule_t {
    std::uint16_t side;
    bool alpha;        // the alpha texture format, else the normal one
    D3DPOOL pool;
    std::int32_t cap;  // most free textures kept (a trim bucket keeps more until they age)
    bool trim;
};

// What a build's pool does, chosen once for the build (kTexturePoolRules below).
struct texture_pool_rules_t {
    std::span<const bucket_rule_t> buckets;  // in creation order
    std::uint32_t scratchSide;               // of the conversion scratch texture
    bool keepsCounts;        // hits, misses and refusals, reported at destruction
    bool copiesTakeUsage;    // else every Direct3D texture is made with usage 0
    bool powerOfTwoSides;    // memory objects round both sides up to powers of two
    // No clear byte: every copy outside the default pool is zero-filled, and one that cannot
    // be is released and not handed out.
    bool clearsEveryCopy;
    // Else a lost device releases the video copies at once and deletes the default-pool
    // buckets for good.
    bool bucketsOutliveDeviceLoss;
};

#if LUMI_LEGACY
// Two buckets of video memory that never age; conversions in 512-pixel tiles.
inline constexpr bucket_rule_t kTexturePoolBuckets[] = {
    {128, false, D3DPOOL_DEFAULT, 16, false},
    {256, true, D3DPOOL_DEFAULT, 32, false},
};
inline constexpr texture_pool_rules_t kTexturePoolRules{.buckets = kTexturePoolBuckets, .scratchSide = 512,
    .keepsCounts = false, .copiesTakeUsage = false, .powerOfTwoSides = true, .clearsEveryCopy = true,
    .bucketsOutliveDeviceLoss = false};
#else
// Five buckets, three of them ageing; conversions in 1024-pixel tiles.
inline constexpr bucket_rule_t kTexturePoolBuckets[] = {
    {128, false, D3DPOOL_SYSTEMMEM, 64, false}, {128, true, D3DPOOL_SYSTEMMEM, 8, false},
    {128, true, D3DPOOL_DEFAULT, 4, true},      {256, true, D3DPOOL_SYSTEMMEM, 8, true},
    {256, true, D3DPOOL_DEFAULT, 2, false},
};
inline constexpr texture_pool_rules_t kTexturePoolRules{.buckets = kTexturePoolBuckets, .scratchSide = 1024,
    .keepsCounts = true, .copiesTakeUsage = true, .powerOfTwoSides = false, .clearsEveryCopy = false,
    .bucketsOutliveDeviceLoss = true};
#endif

// The Direct3D memory of one texture. Made and destroyed only by the pool.
struct mem_obj_t {
    lru_obj_s node;  // in the pool's live list
    IDirect3DTexture9* systemCopy = nullptr;
    DWORD systemUsage = 0;
    D3DPOOL systemPool = D3DPOOL_SYSTEMMEM;
    IDirect3DDevice9* systemDevice = nullptr;
    IDirect3DTexture9* videoCopy = nullptr;
    DWORD videoUsage = 0;  // D3DUSAGE_RENDERTARGET, D3DUSAGE_DYNAMIC or 0
    D3DPOOL videoPool = D3DPOOL_DEFAULT;
    IDirect3DDevice9* videoDevice = nullptr;
    std::uint16_t width = 0;  // as the device made the copies
    std::uint16_t height = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    CD3DTexture* owner = nullptr;
    CTexturePool* pool = nullptr;
    std::uint32_t byteSize = 0;  // width x height x bytes per pixel
    std::uint8_t clear = 0;      // zero-fill new and recycled copies outside the default pool

    static void* operator new(std::size_t size) { return PooledAlloc<mem_obj_t>(size); }
    static void operator delete(void* block) noexcept { PooledFree<mem_obj_t>(block); }
};

// A released Direct3D texture waiting in a bucket.
struct tex_node_t {
    lru_obj_s node;
    IDirect3DTexture9* texture = nullptr;
    std::uint32_t returnedMs = 0;  // frame time when it was given back

    static void* operator new(std::size_t size) { return PooledAlloc<tex_node_t>(size); }
    static void operator delete(void* block) noexcept { PooledFree<tex_node_t>(block); }
};

// A bucket of free textures of one shape.
struct tex_cache_t {
    std::uint16_t width = 0;  // the key: width, height, usage, format, pool
    std::uint16_t height = 0;
    DWORD usage = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    D3DPOOL pool = D3DPOOL_DEFAULT;
    lru_obj_s node;          // in the pool's bucket list
    lru_list_t freeList;     // of tex_node_t, oldest first
    std::uint32_t bytesPerTexture = 0;
    std::int32_t cap = 0;    // most free textures kept (trim buckets: kept down to after ageing)
    std::uint8_t trim = 0;
    std::int32_t returned = 0;  // counters
    std::int32_t refused = 0;
    std::int32_t hits = 0;
    std::int32_t misses = 0;

    static void* operator new(std::size_t size) { return PooledAlloc<tex_cache_t>(size); }
    static void operator delete(void* block) noexcept { PooledFree<tex_cache_t>(block); }
};

class CTexturePool {
public:
    // Of the conversion scratch texture; DXT images larger than it are converted in tiles of
    // its size.
    static constexpr std::uint32_t kScratchSide = kTexturePoolRules.scratchSide;

    // Makes the buckets of the build's rules and the kScratchSide-square
    // system-memory scratch texture (A8R8G8B8 when the normal format has 32 bits, else
    // A4R4G4B4). Throws lumi::Exception "out of video memory." when the scratch texture
    // cannot be made.
    explicit CTexturePool(ITextureOwner* owner);
    // Releases the buckets and the scratch texture, then reports the hit and miss counts
    // through DevMsg (a pool that keeps no counts reports nothing). Memory objects
    // still alive are released too (a leak is reported).
    ~CTexturePool();
    CTexturePool(const CTexturePool&) = delete;
    CTexturePool& operator=(const CTexturePool&) = delete;

    // A memory object for `texture` in its format and size (squared to powers of two when the
    // device wants square textures), with the copies its copy flags ask for. Throws
    // lumi::Exception "out of video memory" when the system copy cannot be made; a missing
    // video copy is left absent. The texture is not bound to it (CD3DTexture::BindMemory).
    mem_obj_t* CreateMemObj(CD3DTexture* texture, bool clear);
    // Gives both copies back to the buckets (or releases them) and frees the object. Null is
    // ignored.
    void DestroyMemObj(mem_obj_t* memory);

    // Make a missing copy; true when the copy exists afterwards. Throws lumi::Exception
    // "wild mem_obj_t*" for an object without owner.
    bool EnsureSystemTexture(mem_obj_t* memory);
    bool EnsureVideoTexture(mem_obj_t* memory);
    // The usage a video copy of a texture with these usage flags is made with: that of
    // CD3DTexture::TextureUsageFromFlags, or 0 where the rules give copies no usage.
    static DWORD VideoUsageOf(std::uint32_t usageFlags);
    // Give one copy back (to a bucket or released); the object keeps the other. A video
    // copy given back without `keepForReuse` is released whatever its shape.
    void FreeSystemCopy(mem_obj_t* memory);
    void FreeVideoCopy(mem_obj_t* memory, bool keepForReuse = true);

    // A one-level Direct3D texture of the shape, recycled from a bucket when one holds a free
    // one; `bytes` receives its byte size (with usage 0 where the rules give copies no usage).
    // On D3DERR_OUTOFVIDEOMEMORY the owner's idle
    // textures give back their video memory and the creation is tried once more. Null on
    // failure (logged).
    IDirect3DTexture9* AllocTexture(D3DFORMAT format, std::uint16_t width, std::uint16_t height, DWORD usage,
                                    D3DPOOL pool, bool clear, std::uint32_t* bytes);
    // Keeps the texture in its bucket or releases it. Null is ignored.
    void FreeTexture(D3DFORMAT format, D3DPOOL pool, std::uint16_t width, std::uint16_t height, DWORD usage,
                     IDirect3DTexture9* texture);

    // Once per frame: each trim bucket above its cap releases its oldest free texture when
    // it has waited more than 1200 ms.
    void Trim();
    // Releases the free textures waiting in the buckets of `pool`; true when there were any.
    bool ReleaseFreeTextures(D3DPOOL pool);
    // Device lost: every video copy is given back and every bucket emptied. The textures'
    // OnLostDevice runs first, so that render targets let go of their video copies.
    void ReleaseVideoCopies();
    // Before a display-mode change: both copies of everything given back, buckets emptied,
    // the scratch texture released (nothing of the pool keeps the old device).
    void ReleaseAll();
    // After a reset: every texture that keeps a video copy gets a new one, is marked wholly
    // dirty and runs OnResetDevice. Throws lumi::Exception "out of video memory." when a
    // copy cannot be made.
    void RestoreVideoTextures();
    // Zero-fills level 0 (DXT formats are left alone). False on a failed description, lock
    // or unlock (logged).
    bool ClearTextureLevel0(IDirect3DTexture9* texture);

    // The conversion scratch (system memory, kScratchSide square); owned by the pool. Made
    // again on the current device when ReleaseAll released it; null when that fails.
    IDirect3DTexture9* GetScratchTexture();

    std::uint32_t GetSystemBytes() const { return systemBytes_; }
    std::uint32_t GetVideoBytes() const { return videoBytes_; }
    std::int32_t GetHitCount() const { return hitCount_; }
    std::int32_t GetMissCount() const { return missCount_; }
    std::int32_t GetLiveCount() const { return liveCount_; }
    // The bucket of that shape; null when none (for statistics and tests).
    const tex_cache_t* FindBucket(D3DFORMAT format, D3DPOOL pool, std::uint16_t width, std::uint16_t height,
                                  DWORD usage) const;

private:
    tex_cache_t* Find(D3DFORMAT format, D3DPOOL pool, std::uint16_t width, std::uint16_t height,
                      DWORD usage) const;
    void AddBucket(std::uint16_t side, D3DFORMAT format, D3DPOOL pool, std::int32_t cap, bool trim);
    void EmptyBucket(tex_cache_t* bucket);
    void EmptyBuckets();
    // Makes one copy of the memory object when missing: `copy`, `pool` and `device` are that
    // copy's fields, `where` its pool.
    bool EnsureCopy(mem_obj_t* memory, IDirect3DTexture9*& copy, DWORD usage, D3DPOOL& pool, D3DPOOL where,
                    IDirect3DDevice9*& device);
    void AddBytes(D3DPOOL pool, std::uint32_t bytes);
    void SubtractBytes(D3DPOOL pool, std::uint32_t bytes);
    void ReleaseCounted(D3DPOOL pool, IDirect3DTexture9* texture);
    bool CreateScratchTexture();

    ITextureOwner* owner_;
    std::int32_t liveCount_ = 0;
    lru_list_t live_;     // of mem_obj_t
    lru_list_t buckets_;  // of tex_cache_t, in creation order
    std::uint32_t systemBytes_ = 0;
    std::uint32_t videoBytes_ = 0;
    std::int32_t hitCount_ = 0;
    std::int32_t missCount_ = 0;
    IDirect3DTexture9* scratch_ = nullptr;
};
