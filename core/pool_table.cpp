// The library's static objects whose set-up and teardown order matters. Objects of one
// translation unit are made in the order written and destroyed in the reverse order; keep
// every such object here.
#include "core/pool_table.h"

#include "platform/tarnel/tarnel.h"

namespace {

// The pools report through DbgMsg when they are destroyed at unload. The base library makes
// its message sinks on first use; using them once before the pools exist makes them outlive
// the pools.
[[maybe_unused]] const bool g_MessageSinksReady = (tarnel::LastErrorMessage(), true);

}  // namespace

// Block sizes are those of 32-bit Windows until the pooled type binds its own size.
CMemPool g_CD3DBitmapPool(1360, 64, GROW_LINEAR, "CD3DBitmap");
CMemPool g_CD3DFontPool(263016, 16, GROW_LINEAR, "CD3DFont");
CMemPool g_CD3DHugeTexturePool(692, 32, GROW_LINEAR, "CD3DHugeTexture");
CMemPool g_STRU_WORD_DRAWPool(44, 64, GROW_LINEAR, "STRU_WORD_DRAW");
CMemPool g_word_node_tPool(28, 128, GROW_LINEAR, "word_node_t");
CMemPool g_txt_drawlist_tPool(108, 128, GROW_LINEAR, "txt_drawlist_t");
CMemPool g_CD3DRenderTargetPool(120, 8, GROW_LINEAR, "CD3DRenderTarget");
CMemPool g_CD3DRenderWindowPool(216, 2, GROW_LINEAR, "CD3DRenderWindow");
CMemPool g_tex_slot_tPool(28, 64, GROW_LINEAR, "tex_slot_t");

std::u16string g_TextureNameKey(260, u'C');

CMemPool g_CD3DTexturePool(668, 512, GROW_LINEAR, "CD3DTexture");
CMemPool g_tex_cell_tPool(88, 256, GROW_LINEAR, "tex_cell_t");
CMemPool g_CTextureCellPool(92, 256, GROW_LINEAR, "CTextureCell");
CMemPool g_CRenderFontPool(8, 256, GROW_LINEAR, "CRenderFont");
CMemPool g_CFontTexturePool(684, 8, GROW_LINEAR, "CFontTexture");
CMemPool g_STRU_DRAW_COMMAND_BASEPool(48, 16, GROW_LINEAR, "STRU_DRAW_COMMAND_BASE");
CMemPool g_STRU_TRI_COMMANDPool(76, 256, GROW_LINEAR, "STRU_TRI_COMMAND");
CMemPool g_STRU_POINT_COMMANDPool(56, 256, GROW_LINEAR, "STRU_POINT_COMMAND");
CMemPool g_STRU_LINE_COMMANDPool(60, 256, GROW_LINEAR, "STRU_LINE_COMMAND");
CMemPool g_STRU_RECT_COMMANDPool(84, 8192, GROW_LINEAR, "STRU_RECT_COMMAND");
CMemPool g_STRU_TEXT_COMMAND_BASEPool(80, 32, GROW_LINEAR, "STRU_TEXT_COMMAND_BASE");
CMemPool g_STRU_PARTICLE_COMMANDPool(68, 512, GROW_LINEAR, "STRU_PARTICLE_COMMAND");
CMemPool g_STRU_TEXT_COMMANDPool(632, 1024, GROW_LINEAR, "STRU_TEXT_COMMAND");
CMemPool g_STRU_DRAW_PRIMITIVEPool(88, 64, GROW_LINEAR, "STRU_DRAW_PRIMITIVE");
CMemPool g_BasePrimitiveDataPool(40, 2, GROW_LINEAR, "BasePrimitiveData");
CMemPool g_PrimitiveDataPool(52, 64, GROW_LINEAR, "PrimitiveData");
CMemPool g_mem_obj_tPool(80, 256, GROW_LINEAR, "mem_obj_t");
CMemPool g_tex_node_tPool(32, 64, GROW_LINEAR, "tex_node_t");
CMemPool g_tex_cache_tPool(96, 4, GROW_LINEAR, "tex_cache_t");
CMemPool g_CWordTexPool(84, 1024, GROW_FIXED, "CWordTex");
CMemPool g_CParticlePool(396, 1024, GROW_FIXED, "CParticle");
CMemPool g_CParticleEmitterPool(460, 16, GROW_LINEAR, "CParticleEmitter");
CMemPool g_CRenderTargetPool(104, 64, GROW_LINEAR, "CRenderTarget");
