#pragma once
// The legacy build's pool table (core/pool_table.h includes it in that build): 21 unnamed
// pools, all GROW_LINEAR, each made with its first blob at load. The pool objects are named
// after the type each one serves. Set-up order (legacy/static_setup_legacy.cpp): pools 1 to
// 10, g_TextureNameKey, pools 11 to 15, the loading threads' objects, pools 16 to 21;
// teardown in the reverse order.
//
//  #   pool object                  block size / blocks per blob on 32-bit Windows, serves
//  1   g_CD3DBitmapPool             1212/64   the loading threads' load records
//  2   g_CD3DHugeTexturePool         688/32   CD3DHugeTexture
//  3   g_STRU_DRAW_PRIMITIVEPool      84/64   STRU_DRAW_PRIMITIVE
//  4   g_STRU_WORD_DRAWPool           44/64   STRU_WORD_DRAW
//  5   g_STRU_WORD_TEXPool            44/128  the font-texture manager's glyphs
//  6   g_mem_obj_tPool                76/128  mem_obj_t
//  7   g_word_node_tPool              28/128  word_node_t
//  8   g_txt_drawlist_tPool          104/128  txt_drawlist_t
//  9   g_CD3DRenderTargetPool         64/16   CD3DRenderTarget
// 10   g_tex_slot_tPool               28/64   tex_slot_t
// 11   g_CD3DTexturePool             664/64   CD3DTexture
// 12   g_tex_cell_tPool               84/256  the atlas pages' cells (CTextureCell)
// 13   g_font_desc_tPool             144/64   font_desc_t (text commands' and the default font)
// 14   g_CFontPicturePool            680/8    the font-texture manager's pages
// 15   g_CFontTexPool                232/64   the font-texture manager's fonts
// 16   g_PrimitiveDataPool            52/256  PrimitiveData
// 17   g_tex_node_tPool               28/64   tex_node_t
// 18   g_tex_cache_tPool              76/4    tex_cache_t
// 19   g_CParticleBeamPool           252/64   CParticleBeam
// 20   g_CParticlePool               388/64   CParticle
// 21   g_CParticleEmitterPool        212/16   CParticleEmitter
//
// Each pool is made with the larger of the 32-bit size and sizeof of its type. Draw-command
// records are not on this table: they come from the renderer's typed pools
// (legacy/cmd_pool_set.h).
//
// CRenderTarget, the base of the current build's render windows, has no pool here: this
// build compiles it but makes only CD3DRenderTargets (pool 9), so a CRenderTarget made by
// itself would come from the heap.
#include "core/build_variant.h"

#if !LUMI_LEGACY
#error "the legacy pool table belongs to the legacy build"
#endif

#define LUMI_LEGACY_POOL(Object) extern CMemPool Object;

#define LUMI_POOLED_TYPE(tag, Type, Object) \
    tag Type;                               \
    template <>                             \
    inline CMemPool& PoolOf<Type>() {       \
        return Object;                      \
    }

#define LUMI_HEAP_TYPE(tag, Type) \
    tag Type;                     \
    template <>                   \
    inline constexpr bool kHeapAllocated<Type> = true;

// In set-up order.
LUMI_LEGACY_POOL(g_CD3DBitmapPool)
LUMI_LEGACY_POOL(g_CD3DHugeTexturePool)
LUMI_LEGACY_POOL(g_STRU_DRAW_PRIMITIVEPool)
LUMI_LEGACY_POOL(g_STRU_WORD_DRAWPool)
LUMI_LEGACY_POOL(g_STRU_WORD_TEXPool)
LUMI_LEGACY_POOL(g_mem_obj_tPool)
LUMI_LEGACY_POOL(g_word_node_tPool)
LUMI_LEGACY_POOL(g_txt_drawlist_tPool)
LUMI_LEGACY_POOL(g_CD3DRenderTargetPool)
LUMI_LEGACY_POOL(g_tex_slot_tPool)
LUMI_LEGACY_POOL(g_CD3DTexturePool)
LUMI_LEGACY_POOL(g_tex_cell_tPool)
LUMI_LEGACY_POOL(g_font_desc_tPool)
LUMI_LEGACY_POOL(g_CFontPicturePool)
LUMI_LEGACY_POOL(g_CFontTexPool)
LUMI_LEGACY_POOL(g_PrimitiveDataPool)
LUMI_LEGACY_POOL(g_tex_node_tPool)
LUMI_LEGACY_POOL(g_tex_cache_tPool)
LUMI_LEGACY_POOL(g_CParticleBeamPool)
LUMI_LEGACY_POOL(g_CParticlePool)
LUMI_LEGACY_POOL(g_CParticleEmitterPool)

LUMI_POOLED_TYPE(class, CD3DBitmap, g_CD3DBitmapPool)
LUMI_POOLED_TYPE(class, CD3DHugeTexture, g_CD3DHugeTexturePool)
LUMI_POOLED_TYPE(struct, STRU_DRAW_PRIMITIVE, g_STRU_DRAW_PRIMITIVEPool)
LUMI_POOLED_TYPE(struct, STRU_WORD_DRAW, g_STRU_WORD_DRAWPool)
LUMI_POOLED_TYPE(struct, STRU_WORD_TEX, g_STRU_WORD_TEXPool)
LUMI_POOLED_TYPE(struct, mem_obj_t, g_mem_obj_tPool)
LUMI_POOLED_TYPE(struct, word_node_t, g_word_node_tPool)
LUMI_POOLED_TYPE(struct, txt_drawlist_t, g_txt_drawlist_tPool)
LUMI_POOLED_TYPE(class, CD3DRenderTarget, g_CD3DRenderTargetPool)
LUMI_POOLED_TYPE(struct, tex_slot_t, g_tex_slot_tPool)
LUMI_POOLED_TYPE(class, CD3DTexture, g_CD3DTexturePool)
LUMI_POOLED_TYPE(class, CTextureCell, g_tex_cell_tPool)
LUMI_POOLED_TYPE(struct, font_desc_t, g_font_desc_tPool)
LUMI_POOLED_TYPE(class, CFontPicture, g_CFontPicturePool)
LUMI_POOLED_TYPE(class, CFontTex, g_CFontTexPool)
LUMI_POOLED_TYPE(struct, PrimitiveData, g_PrimitiveDataPool)
LUMI_POOLED_TYPE(struct, tex_node_t, g_tex_node_tPool)
LUMI_POOLED_TYPE(struct, tex_cache_t, g_tex_cache_tPool)
LUMI_POOLED_TYPE(class, CParticleBeam, g_CParticleBeamPool)
LUMI_POOLED_TYPE(class, CParticle, g_CParticlePool)
LUMI_POOLED_TYPE(class, CParticleEmitter, g_CParticleEmitterPool)

LUMI_HEAP_TYPE(class, CRenderTarget)

#undef LUMI_LEGACY_POOL
#undef LUMI_POOLED_TYPE
#undef LUMI_HEAP_TYPE
