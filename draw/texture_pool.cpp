#include "draw/texture_pool.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "core/event_log.h"
#include "core/exception.h"
#include "core/format_helpers.h"
#include "core/frame_clock.h"
#include "draw/d3d_texture.h"
#include "draw/texture_owner.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/tarnel/tarnel.h"

namespace {

constexpr std::uint32_t kTrimAgeMs = 1200;
constexpr const texture_pool_rules_t& kRules = kTexturePoolRules;

// Counts into one of the statistics, where the build keeps them.
void Count(std::int32_t& counter) {
    if constexpr (kRules.keepsCounts) ++counter;
}

mem_obj_t* MemObjOf(lru_obj_s* node) { return reinterpret_cast<mem_obj_t*>(node); }
tex_node_t* TexNodeOf(lru_obj_s* node) { return reinterpret_cast<tex_node_t*>(node); }
tex_cache_t* BucketOf(lru_obj_s* node) {
    return reinterpret_cast<tex_cache_t*>(reinterpret_cast<char*>(node) - offsetof(tex_cache_t, node));
}

// What a texture really occupies: its level 0 as the device made it. Totals are kept from
// this on both sides, so they never drift when the device changed a requested size.
std::uint32_t LevelBytes(IDirect3DTexture9* texture) {
    D3DSURFACE_DESC desc{};
    if (texture == nullptr || FAILED(texture->GetLevelDesc(0, &desc))) return 0;
    return desc.Width * desc.Height * FormatBitsPerPixel(desc.Format) / 8;
}

}  // namespace

CTexturePool::CTexturePool(ITextureOwner* owner) : owner_(owner) {
    const D3DFORMAT normal = owner_->GetNormalFormat();
    const D3DFORMAT alpha = owner_->GetAlphaFormat();
    for (const bucket_rule_t& rule : kRules.buckets) {
        AddBucket(rule.side, rule.alpha ? alpha : normal, rule.pool, rule.cap, rule.trim);
    }

    if (!CreateScratchTexture()) {
        EmptyBuckets();
        for (lru_obj_s* node = lru_obj_s::Next(&buckets_); node != &buckets_;) {
            lru_obj_s* next = lru_obj_s::Next(node);
            node->Unlink();
            delete BucketOf(node);
            node = next;
        }
        throw lumi::Exception("out of video memory.");
    }
}

CTexturePool::~CTexturePool() {
    if (liveCount_ > 0) {
        DbgMsg("CTexturePool: %d memory objects still alive\n", liveCount_);
        while (!live_.Empty()) {
            mem_obj_t* memory = MemObjOf(lru_obj_s::Next(&live_));
            if (memory->owner != nullptr) memory->owner->ForgetMemory();
            DestroyMemObj(memory);
        }
    }
    for (lru_obj_s* node = lru_obj_s::Next(&buckets_); node != &buckets_;) {
        lru_obj_s* next = lru_obj_s::Next(node);
        tex_cache_t* bucket = BucketOf(node);
        EmptyBucket(bucket);
        node->Unlink();
        delete bucket;
        node = next;
    }
    if (scratch_ != nullptr) scratch_->Release();
    if constexpr (kRules.keepsCounts) {
        DevMsg("Texture Alloc:\n");
        DevMsg("Alloc Hit Count: %d\nAlloc Miss Count: %d\n", hitCount_, missCount_);
    }
}

bool CTexturePool::CreateScratchTexture() {
    const D3DFORMAT format = FormatBitsPerPixel(owner_->GetNormalFormat()) == 32 ? D3DFMT_A8R8G8B8 : D3DFMT_A4R4G4B4;
    if (SUCCEEDED(D3DXCreateTexture(owner_->GetDevice(), kScratchSide, kScratchSide, 1, 0, format, D3DPOOL_SYSTEMMEM,
                                    &scratch_)))
        return true;
    scratch_ = nullptr;
    return false;
}

IDirect3DTexture9* CTexturePool::GetScratchTexture() {
    // Made again on the device of the day after a display-mode change released it.
    if (scratch_ == nullptr && owner_->GetDevice() != nullptr) CreateScratchTexture();
    return scratch_;
}

void CTexturePool::AddBucket(std::uint16_t side, D3DFORMAT format, D3DPOOL pool, std::int32_t cap, bool trim) {
    tex_cache_t* bucket = new tex_cache_t();
    bucket->width = side;
    bucket->height = side;
    bucket->usage = 0;
    bucket->format = format;
    bucket->pool = pool;
    bucket->bytesPerTexture = static_cast<std::uint32_t>(side) * side * FormatBitsPerPixel(format) / 8;
    bucket->cap = cap;
    bucket->trim = trim ? 1 : 0;
    buckets_.PushBack(&bucket->node);
}

tex_cache_t* CTexturePool::Find(D3DFORMAT format, D3DPOOL pool, std::uint16_t width, std::uint16_t height,
                                DWORD usage) const {
    for (lru_obj_s* node = buckets_.prev; node != &buckets_; node = node->prev) {
        tex_cache_t* bucket = BucketOf(node);
        if (bucket->width == width && bucket->height == height && bucket->usage == usage &&
            bucket->format == format && bucket->pool == pool) {
            return bucket;
        }
    }
    return nullptr;
}

const tex_cache_t* CTexturePool::FindBucket(D3DFORMAT format, D3DPOOL pool, std::uint16_t width,
                                            std::uint16_t height, DWORD usage) const {
    return Find(format, pool, width, height, usage);
}

void CTexturePool::AddBytes(D3DPOOL pool, std::uint32_t bytes) {
    if (pool == D3DPOOL_DEFAULT) {
        videoBytes_ += bytes;
    } else if (pool == D3DPOOL_SYSTEMMEM) {
        systemBytes_ += bytes;
    }
}

void CTexturePool::SubtractBytes(D3DPOOL pool, std::uint32_t bytes) {
    std::uint32_t& total = pool == D3DPOOL_DEFAULT ? videoBytes_ : systemBytes_;
    if (pool != D3DPOOL_DEFAULT && pool != D3DPOOL_SYSTEMMEM) return;
    total = total >= bytes ? total - bytes : 0;
}

void CTexturePool::ReleaseCounted(D3DPOOL pool, IDirect3DTexture9* texture) {
    SubtractBytes(pool, LevelBytes(texture));
    texture->Release();
}

DWORD CTexturePool::VideoUsageOf(std::uint32_t usageFlags) {
    return kRules.copiesTakeUsage ? CD3DTexture::TextureUsageFromFlags(usageFlags) : 0;
}

mem_obj_t* CTexturePool::CreateMemObj(CD3DTexture* texture, bool clear) {
    std::uint32_t width = texture->GetWidth();
    std::uint32_t height = texture->GetHeight();
    if constexpr (kRules.powerOfTwoSides) {
        width = NextPowerOfTwo(width);
        height = NextPowerOfTwo(height);
    }
    if (owner_->IsSquareOnly()) {
        const std::uint32_t side = std::max(NextPowerOfTwo(width), NextPowerOfTwo(height));
        width = side;
        height = side;
    }
    mem_obj_t* memory = new mem_obj_t();
    memory->width = static_cast<std::uint16_t>(width);
    memory->height = static_cast<std::uint16_t>(height);
    memory->format = texture->GetFormat();
    memory->owner = texture;
    memory->pool = this;
    memory->byteSize = width * height * FormatBitsPerPixel(memory->format) / 8;
    memory->clear = clear ? 1 : 0;
    memory->videoUsage = VideoUsageOf(texture->GetUsageFlags());

    // The device may change the shape (powers of two, squares, aspect ratio, largest side): the
    // memory takes what the first copy really has, and a second copy is made alike.
    auto takeShapeOf = [memory](IDirect3DTexture9* copy) {
        D3DSURFACE_DESC desc{};
        if (copy == nullptr || FAILED(copy->GetLevelDesc(0, &desc))) return;
        memory->width = static_cast<std::uint16_t>(desc.Width);
        memory->height = static_cast<std::uint16_t>(desc.Height);
        memory->format = desc.Format;
        memory->byteSize = desc.Width * desc.Height * FormatBitsPerPixel(desc.Format) / 8;
    };
    const std::uint32_t copies = texture->GetCopyFlags();
    if (copies & CD3DTexture::kSystemCopy) {
        if (!EnsureSystemTexture(memory)) {
            delete memory;  // never linked: nothing else knows it
            throw lumi::Exception("out of video memory");
        }
        takeShapeOf(memory->systemCopy);
    }
    if (copies & CD3DTexture::kVideoCopy) {
        EnsureVideoTexture(memory);
        if (!(copies & CD3DTexture::kSystemCopy)) takeShapeOf(memory->videoCopy);
    }
    live_.PushBack(&memory->node);
    ++liveCount_;
    return memory;
}

void CTexturePool::DestroyMemObj(mem_obj_t* memory) {
    if (memory == nullptr) return;
    memory->node.Unlink();
    FreeSystemCopy(memory);
    FreeVideoCopy(memory);
    delete memory;
    --liveCount_;
}

bool CTexturePool::EnsureCopy(mem_obj_t* memory, IDirect3DTexture9*& copy, DWORD usage, D3DPOOL& pool, D3DPOOL where,
                              IDirect3DDevice9*& device) {
    if (copy != nullptr) return true;
    if (memory->owner == nullptr) throw lumi::Exception("wild mem_obj_t*");
    std::uint32_t bytes = 0;
    pool = where;
    copy = AllocTexture(memory->format, memory->width, memory->height, usage, pool, memory->clear != 0, &bytes);
    device = owner_->GetDevice();
    return copy != nullptr;
}

bool CTexturePool::EnsureSystemTexture(mem_obj_t* memory) {
    return EnsureCopy(memory, memory->systemCopy, memory->systemUsage, memory->systemPool, D3DPOOL_SYSTEMMEM,
                      memory->systemDevice);
}

bool CTexturePool::EnsureVideoTexture(mem_obj_t* memory) {
    return EnsureCopy(memory, memory->videoCopy, memory->videoUsage, memory->videoPool, D3DPOOL_DEFAULT,
                      memory->videoDevice);
}

void CTexturePool::FreeSystemCopy(mem_obj_t* memory) {
    if (memory == nullptr || memory->systemCopy == nullptr) return;
    FreeTexture(memory->format, memory->systemPool, memory->width, memory->height, memory->systemUsage,
                memory->systemCopy);
    memory->systemCopy = nullptr;
}

void CTexturePool::FreeVideoCopy(mem_obj_t* memory, bool keepForReuse) {
    if (memory == nullptr || memory->videoCopy == nullptr) return;
    if (keepForReuse) {
        FreeTexture(memory->format, memory->videoPool, memory->width, memory->height, memory->videoUsage,
                    memory->videoCopy);
    } else {
        ReleaseCounted(memory->videoPool, memory->videoCopy);
    }
    memory->videoCopy = nullptr;
}

IDirect3DTexture9* CTexturePool::AllocTexture(D3DFORMAT format, std::uint16_t width, std::uint16_t height,
                                              DWORD usage, D3DPOOL pool, bool clear, std::uint32_t* bytes) {
    if constexpr (!kRules.copiesTakeUsage) usage = 0;
    const std::uint32_t bytesPerPixel = FormatBitsPerPixel(format) / 8;
    if (tex_cache_t* bucket = Find(format, pool, width, height, usage)) {
        if (!bucket->freeList.Empty()) {
            tex_node_t* free = TexNodeOf(lru_obj_s::Next(&bucket->freeList));
            IDirect3DTexture9* texture = free->texture;
            free->node.Unlink();
            delete free;
            Count(bucket->hits);
            Count(hitCount_);
            if ((clear || kRules.clearsEveryCopy) && pool != D3DPOOL_DEFAULT) ClearTextureLevel0(texture);
            if (bytes) *bytes = static_cast<std::uint32_t>(width) * height * bytesPerPixel;
            return texture;
        }
        Count(bucket->misses);
    }

    IDirect3DDevice9* device = owner_->GetDevice();
    IDirect3DTexture9* texture = nullptr;
    HRESULT hr = D3DXCreateTexture(device, width, height, 1, usage, format, pool, &texture);
    if (hr == D3DERR_OUTOFVIDEOMEMORY && owner_->EvictIdleTextures()) {
        hr = D3DXCreateTexture(device, width, height, 1, usage, format, pool, &texture);
    }
    if (FAILED(hr) || texture == nullptr) {
        WriteLog(u"Texture Pool alloc memory failed.[%dx%dx%s]", static_cast<int>(width), static_cast<int>(height),
                 FormatName(format));
        return nullptr;
    }
    D3DSURFACE_DESC desc{};
    if (FAILED(texture->GetLevelDesc(0, &desc))) {
        WriteLog(u"GetLevelDesc failed.");
        texture->Release();
        return nullptr;
    }
    if ((clear || kRules.clearsEveryCopy) && pool != D3DPOOL_DEFAULT && !ClearTextureLevel0(texture)) {
        WriteLog(u"clear texture failed.[%dx%dx%s]", static_cast<int>(desc.Width), static_cast<int>(desc.Height),
                 FormatName(desc.Format));
        if constexpr (kRules.clearsEveryCopy) {
            texture->Release();
            return nullptr;
        }
    }
    const std::uint32_t size = desc.Width * desc.Height * FormatBitsPerPixel(desc.Format) / 8;
    if (bytes) *bytes = size;
    AddBytes(pool, size);
    Count(missCount_);
    return texture;
}

void CTexturePool::FreeTexture(D3DFORMAT format, D3DPOOL pool, std::uint16_t width, std::uint16_t height,
                               DWORD usage, IDirect3DTexture9* texture) {
    if (texture == nullptr) return;
    tex_cache_t* bucket = Find(format, pool, width, height, usage);
    if (bucket != nullptr) {
        if (!bucket->trim && bucket->freeList.Count() >= bucket->cap) {
            Count(bucket->refused);
        } else {
            tex_node_t* free = new tex_node_t();
            free->texture = texture;
            free->returnedMs = g_FrameTimeMs;
            bucket->freeList.PushBack(&free->node);
            ++bucket->returned;
            return;
        }
    }
    ReleaseCounted(pool, texture);
}

void CTexturePool::Trim() {
    for (lru_obj_s* node = lru_obj_s::Next(&buckets_); node != &buckets_; node = lru_obj_s::Next(node)) {
        tex_cache_t* bucket = BucketOf(node);
        if (!bucket->trim || bucket->cap <= 0 || bucket->freeList.Count() <= bucket->cap) continue;
        tex_node_t* oldest = TexNodeOf(lru_obj_s::Next(&bucket->freeList));
        // Unsigned difference: survives the wrap of the millisecond clock.
        if (g_FrameTimeMs - oldest->returnedMs <= kTrimAgeMs) continue;
        oldest->node.Unlink();
        ReleaseCounted(bucket->pool, oldest->texture);
        delete oldest;
    }
}

void CTexturePool::EmptyBucket(tex_cache_t* bucket) {
    while (!bucket->freeList.Empty()) {
        tex_node_t* free = TexNodeOf(lru_obj_s::Next(&bucket->freeList));
        free->node.Unlink();
        ReleaseCounted(bucket->pool, free->texture);
        delete free;
    }
}

void CTexturePool::EmptyBuckets() {
    for (lru_obj_s* node = lru_obj_s::Next(&buckets_); node != &buckets_; node = lru_obj_s::Next(node)) {
        EmptyBucket(BucketOf(node));
    }
}

bool CTexturePool::ReleaseFreeTextures(D3DPOOL pool) {
    bool released = false;
    for (lru_obj_s* node = lru_obj_s::Next(&buckets_); node != &buckets_; node = lru_obj_s::Next(node)) {
        tex_cache_t* bucket = BucketOf(node);
        if (bucket->pool != pool || bucket->freeList.Empty()) continue;
        EmptyBucket(bucket);
        released = true;
    }
    return released;
}

void CTexturePool::ReleaseVideoCopies() {
    for (lru_obj_s* node = lru_obj_s::Next(&live_); node != &live_; node = lru_obj_s::Next(node)) {
        FreeVideoCopy(MemObjOf(node), kRules.bucketsOutliveDeviceLoss);
    }
    EmptyBuckets();
    if constexpr (!kRules.bucketsOutliveDeviceLoss) {
        for (lru_obj_s* node = lru_obj_s::Next(&buckets_); node != &buckets_;) {
            lru_obj_s* next = lru_obj_s::Next(node);
            if (BucketOf(node)->pool == D3DPOOL_DEFAULT) {
                node->Unlink();
                delete BucketOf(node);
            }
            node = next;
        }
    }
}

void CTexturePool::ReleaseAll() {
    for (lru_obj_s* node = lru_obj_s::Next(&live_); node != &live_; node = lru_obj_s::Next(node)) {
        FreeSystemCopy(MemObjOf(node));
        FreeVideoCopy(MemObjOf(node));
    }
    EmptyBuckets();
    // The scratch texture belongs to the device about to go, which it would keep alive.
    if (scratch_ != nullptr) {
        scratch_->Release();
        scratch_ = nullptr;
    }
}

void CTexturePool::RestoreVideoTextures() {
    for (lru_obj_s* node = lru_obj_s::Next(&live_); node != &live_; node = lru_obj_s::Next(node)) {
        mem_obj_t* memory = MemObjOf(node);
        CD3DTexture* texture = memory->owner;
        if (texture == nullptr || !(texture->GetCopyFlags() & CD3DTexture::kVideoCopy)) continue;
        if (!EnsureVideoTexture(memory)) throw lumi::Exception("out of video memory.");
        texture->OnVideoCopyRestored();
    }
}

bool CTexturePool::ClearTextureLevel0(IDirect3DTexture9* texture) {
    D3DSURFACE_DESC desc{};
    if (FAILED(texture->GetLevelDesc(0, &desc))) {
        WriteLog(u"can NOT get texture level desc.");
        return false;
    }
    if (CD3DTexture::IsDXTFormat(desc.Format)) return true;
    const DWORD flags = (desc.Usage & D3DUSAGE_DYNAMIC) ? D3DLOCK_DISCARD : D3DLOCK_NOSYSLOCK;
    D3DLOCKED_RECT locked{};
    if (FAILED(texture->LockRect(0, &locked, nullptr, flags))) {
        WriteLog(u"can NOT Lock texture.");
        return false;
    }
    auto* row = static_cast<std::uint8_t*>(locked.pBits);
    for (UINT y = 0; y < desc.Height; ++y, row += locked.Pitch) std::memset(row, 0, locked.Pitch);
    if (FAILED(texture->UnlockRect(0))) {
        WriteLog(u"UnLock texture failed.");
        return false;
    }
    return true;
}
