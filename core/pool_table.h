#pragma once
// The library's static memory pools, one per pooled class or record, and how a pooled type
// reaches its pool. Each build has its own table:
// - current: 32 named pools (this file); the pools and g_TextureNameKey are static objects
//   of one translation unit (pool_table.cpp), made at load in table order (pools 1 to 9,
//   the name key, pools 10 to 32) and destroyed at unload in the reverse order, so the
//   "CRenderTarget" pool prints the statistics header and the rows follow in reverse table
//   order.
// - legacy: 21 unnamed pools (legacy/pool_table_legacy.h), made with the build's other
//   ordered static objects in legacy/static_setup_legacy.cpp.
//
// Block sizes: each pool's block size is the size of its type on the build at hand. The
// current build's pools are made before any pooled type's translation unit can tell its
// size, so each starts with its size on 32-bit Windows (which is what an unused pool
// reports) and takes sizeof(T) from the first PooledAlloc<T>, which is instantiated where T
// is complete. The legacy pools make their first blob at load, so their translation unit
// gives them sizeof(T) itself.
//
// A pooled type routes its class-level allocation through its pool:
//
//     class CD3DTexture : public ITexture {
//     public:
//         static void* operator new(std::size_t size) { return PooledAlloc<CD3DTexture>(size); }
//         static void operator delete(void* block) noexcept { PooledFree<CD3DTexture>(block); }
//         ...
//     };
//
// The pooled types live in the global namespace; their forward declarations in the table
// are what PoolOf<T>() knows: it names T's pool, and a type without an entry does not
// compile. A table may also send a type to the heap (kHeapAllocated<T>): the current table
// does so for the particle beams, which only the legacy build pools, and the legacy table
// for the render-target base it compiles but never makes by itself.
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>

#include "core/build_variant.h"
#include "core/mem_pool.h"

template <class T>
CMemPool& PoolOf();

template <class T>
inline constexpr bool kHeapAllocated = false;

// Allocates a block for a T (or for `size` bytes, which must fit in sizeof(T)); throws the
// pool's exceptions.
template <class T>
void* PooledAlloc(std::size_t size) {
    if constexpr (kHeapAllocated<T>) {
        return ::operator new(size);
    } else {
        CMemPool& pool = PoolOf<T>();
        pool.BindBlockSize(static_cast<std::uint32_t>(sizeof(T)));
        return pool.Alloc(size > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(size));
    }
}

// Returns a block to T's pool. Release runs inside operator delete, which must not throw: a
// refused pointer (not from this pool, or already released) is reported through DbgMsg and
// left alone.
void ReleaseToPool(CMemPool& pool, void* block) noexcept;

template <class T>
void PooledFree(void* block) noexcept {
    if constexpr (kHeapAllocated<T>) {
        ::operator delete(block);
    } else {
        ReleaseToPool(PoolOf<T>(), block);
    }
}

// A 260-unit scratch key of u'C's, pre-sized for the texture manager's name lookups. Made
// where each build's set-up order puts it (current: between pools 9 and 10).
extern std::u16string g_TextureNameKey;

#if LUMI_LEGACY
#include "legacy/pool_table_legacy.h"
#else

#define LUMI_POOLED_TYPE(tag, Type)     \
    tag Type;                           \
    extern CMemPool g_##Type##Pool;     \
    template <>                         \
    inline CMemPool& PoolOf<Type>() {   \
        return g_##Type##Pool;          \
    }

// In set-up order.
LUMI_POOLED_TYPE(class, CD3DBitmap)
LUMI_POOLED_TYPE(class, CD3DFont)
LUMI_POOLED_TYPE(class, CD3DHugeTexture)
LUMI_POOLED_TYPE(struct, STRU_WORD_DRAW)
LUMI_POOLED_TYPE(struct, word_node_t)
LUMI_POOLED_TYPE(struct, txt_drawlist_t)
LUMI_POOLED_TYPE(class, CD3DRenderTarget)
LUMI_POOLED_TYPE(class, CD3DRenderWindow)
LUMI_POOLED_TYPE(struct, tex_slot_t)
LUMI_POOLED_TYPE(class, CD3DTexture)
LUMI_POOLED_TYPE(struct, tex_cell_t)
LUMI_POOLED_TYPE(class, CTextureCell)
LUMI_POOLED_TYPE(class, CRenderFont)
LUMI_POOLED_TYPE(class, CFontTexture)
LUMI_POOLED_TYPE(struct, STRU_DRAW_COMMAND_BASE)
LUMI_POOLED_TYPE(struct, STRU_TRI_COMMAND)
LUMI_POOLED_TYPE(struct, STRU_POINT_COMMAND)
LUMI_POOLED_TYPE(struct, STRU_LINE_COMMAND)
LUMI_POOLED_TYPE(struct, STRU_RECT_COMMAND)
LUMI_POOLED_TYPE(struct, STRU_TEXT_COMMAND_BASE)
LUMI_POOLED_TYPE(struct, STRU_PARTICLE_COMMAND)
LUMI_POOLED_TYPE(struct, STRU_TEXT_COMMAND)
LUMI_POOLED_TYPE(struct, STRU_DRAW_PRIMITIVE)
LUMI_POOLED_TYPE(struct, BasePrimitiveData)
LUMI_POOLED_TYPE(struct, PrimitiveData)
LUMI_POOLED_TYPE(struct, mem_obj_t)
LUMI_POOLED_TYPE(struct, tex_node_t)
LUMI_POOLED_TYPE(struct, tex_cache_t)
LUMI_POOLED_TYPE(class, CWordTex)
LUMI_POOLED_TYPE(class, CParticle)
LUMI_POOLED_TYPE(class, CParticleEmitter)
LUMI_POOLED_TYPE(class, CRenderTarget)

// No pool of this build serves the beams.
class CParticleBeam;
template <>
inline constexpr bool kHeapAllocated<CParticleBeam> = true;

#undef LUMI_POOLED_TYPE
#endif  // LUMI_LEGACY
