// The legacy build's static objects whose set-up and teardown order matters (it replaces
// core/pool_table.cpp in that build). Objects of one translation unit are made in the order
// written and destroyed in the reverse order; keep every such object here.
#include <algorithm>
#include <cstdint>
#include <string>

#include "core/pool_table.h"
#include "core/render_target_texture.h"
#include "draw/alpha_processor.h"
#include "draw/batch_processor.h"
#include "draw/d3d_texture.h"
#include "draw/draw_commands.h"
#include "draw/huge_texture.h"
#include "draw/tex_mgr.h"
#include "draw/texture_cell.h"
#include "draw/texture_pool.h"
#include "legacy/d3d_bitmap_legacy.h"
#include "legacy/font_desc.h"
#include "legacy/font_picture.h"
#include "legacy/font_tex.h"
#include "legacy/loader_thread.h"
#include "particle/particle.h"
#include "particle/particle_beam.h"
#include "particle/particle_emitter.h"
#include "platform/tarnel/tarnel.h"

namespace {

// Base-library messages from the objects below (a refused release, a thread that will not
// stop) must find the sinks alive at unload: the sinks are made on first use, so using them
// once here makes them outlive everything that follows.
[[maybe_unused]] const bool g_MessageSinksReady = (tarnel::LastErrorMessage(), true);

// The pools are sized for the 32-bit types; a type of this build that is larger gets blocks
// of its own size, and every block keeps the type's alignment.
template <class T>
constexpr std::uint32_t BlockFor(std::uint32_t size32) {
    const std::uint32_t size = std::max<std::uint32_t>(size32, sizeof(T));
    return (size + alignof(T) - 1) / alignof(T) * alignof(T);
}

}  // namespace

CMemPool g_CD3DBitmapPool(BlockFor<CD3DBitmap>(1212), 64);
CMemPool g_CD3DHugeTexturePool(BlockFor<CD3DHugeTexture>(688), 32);
CMemPool g_STRU_DRAW_PRIMITIVEPool(BlockFor<STRU_DRAW_PRIMITIVE>(84), 64);
CMemPool g_STRU_WORD_DRAWPool(BlockFor<STRU_WORD_DRAW>(44), 64);
CMemPool g_STRU_WORD_TEXPool(BlockFor<STRU_WORD_TEX>(44), 128);
CMemPool g_mem_obj_tPool(BlockFor<mem_obj_t>(76), 128);
CMemPool g_word_node_tPool(BlockFor<word_node_t>(28), 128);
CMemPool g_txt_drawlist_tPool(BlockFor<txt_drawlist_t>(104), 128);
CMemPool g_CD3DRenderTargetPool(BlockFor<CD3DRenderTarget>(64), 16);
CMemPool g_tex_slot_tPool(BlockFor<tex_slot_t>(28), 64);

std::u16string g_TextureNameKey(260, u'C');

CMemPool g_CD3DTexturePool(BlockFor<CD3DTexture>(664), 64);
CMemPool g_tex_cell_tPool(BlockFor<CTextureCell>(84), 256);
CMemPool g_font_desc_tPool(BlockFor<font_desc_t>(144), 64);
CMemPool g_CFontPicturePool(BlockFor<CFontPicture>(680), 8);
CMemPool g_CFontTexPool(BlockFor<CFontTex>(232), 64);

// The loading threads' objects come here, between pools 15 and 16; the ring before the
// threads, so that it outlives them.
lru_list_t LoaderWorkerRing;
CLoaderThread g_LoaderThreads[1 + kLoaderWorkers];

CMemPool g_PrimitiveDataPool(BlockFor<PrimitiveData>(52), 256);
CMemPool g_tex_node_tPool(BlockFor<tex_node_t>(28), 64);
CMemPool g_tex_cache_tPool(BlockFor<tex_cache_t>(76), 4);
CMemPool g_CParticleBeamPool(BlockFor<CParticleBeam>(252), 64);
CMemPool g_CParticlePool(BlockFor<CParticle>(388), 64);
CMemPool g_CParticleEmitterPool(BlockFor<CParticleEmitter>(212), 16);
