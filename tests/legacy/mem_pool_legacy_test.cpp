// The legacy build's memory pools: unnamed, silent, each with its first blob from the start;
// its 21 static pools and the types they serve; its node-pool growth.
#include "core/mem_pool.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/node_pool.h"
#include "core/pool_table.h"
#include "draw/texture_cell.h"
#include "particle/particle_emitter.h"
#include "tests/support/message_capture.h"
#include "tests/support/pool_checks.h"

static_assert(lumi::kLegacy, "these tests are of the legacy build");

namespace {

using lumi::test::AllocMany;
using lumi::test::MessageCapture;
using lumi::test::ThrownMessage;

TEST(LegacyMemPool, HoldsItsFirstBlobFromConstructionAndGrowsLinearly) {
    CMemPool pool(16, 64);
    EXPECT_EQ(pool.GrowMode(), GROW_LINEAR);
    EXPECT_EQ(pool.BlobCount(), 1u) << "made with the pool, before any Alloc";
    AllocMany(pool, 64);
    EXPECT_EQ(pool.BlobCount(), 1u);
    AllocMany(pool, 1);  // the 65th makes a blob of 128
    EXPECT_EQ(pool.BlobCount(), 2u);
    AllocMany(pool, 127);
    EXPECT_EQ(pool.BlobCount(), 2u);
    AllocMany(pool, 1);  // the 193rd one of 192
    EXPECT_EQ(pool.BlobCount(), 3u);
    EXPECT_EQ(pool.BlocksInUse(), 193);
    EXPECT_EQ(pool.PeakBlocksInUse(), 193);

    // Growth off: the blob made at construction is all there is.
    CMemPool fixed(16, 4, GROW_NONE);
    std::vector<void*> blocks = AllocMany(fixed, 4);
    EXPECT_EQ(ThrownMessage([&] { fixed.Alloc(16); }), "CMemPool::Alloc: tried to make new blob with GROW_NONE");
    for (void* block : blocks) fixed.Free(block);
}

TEST(LegacyMemPool, SizesAndLastInFirstOutReuse) {
    CMemPool pool(40, 8);
    EXPECT_EQ(ThrownMessage([&] { pool.Alloc(41); }), "invalid alloc size");
    void* whole = pool.Alloc(40);
    void* empty = pool.Alloc(0);  // a whole block all the same
    EXPECT_NE(empty, whole);
    pool.Free(whole);
    pool.Free(empty);
    EXPECT_EQ(pool.Alloc(1), empty);
    EXPECT_EQ(pool.Alloc(1), whole);
    pool.Free(nullptr);
    EXPECT_EQ(pool.BlocksInUse(), 2);
    pool.Free(whole);
    pool.Free(empty);
}

TEST(LegacyMemPool, ForeignMisalignedAndDoubleFreedBlocksAreRefusedUntouched) {
    CMemPool pool(32, 4);
    CMemPool other(32, 4);
    std::unique_ptr<char[]> heap(new char[32]);
    void* foreign = other.Alloc(32);
    std::vector<void*> blocks = AllocMany(pool, 4 + 8 + 1);  // three blobs
    pool.Free(blocks[7]);
    const struct {
        const char* what;
        void* pointer;
    } bad[] = {
        {"a heap block", heap.get()},
        {"another pool's block", foreign},
        {"the inside of a block", static_cast<char*>(blocks[5]) + 4},
        {"a block released already", blocks[7]},
    };
    for (const auto& c : bad) EXPECT_EQ(ThrownMessage([&] { pool.Free(c.pointer); }), "invalid pointer") << c.what;
    EXPECT_EQ(pool.BlocksInUse(), 12);
    EXPECT_EQ(pool.Alloc(32), blocks[7]) << "the released block, once";
    EXPECT_NE(pool.Alloc(32), blocks[7]);
    other.Free(foreign);
}

TEST(LegacyMemPool, WritesNothingWhenDestroyedWithBlocksInUse) {
    MessageCapture capture;
    {
        CMemPool pool(24, 4);
        AllocMany(pool, 6);  // leaked, over two blobs
    }
    EXPECT_EQ(capture.DebugOutput(), std::vector<std::string>{});
    EXPECT_EQ(capture.DbgMsgs(), std::vector<std::string>{});
}

TEST(LegacyPoolTable, TwentyOnePoolsEachHoldOneBlobFromLoad) {
    // In set-up order: the pool, its blocks per blob and its block size on 32-bit Windows.
    const struct {
        const char* name;
        CMemPool& pool;
        std::int32_t blocksPerBlob;
        std::uint32_t blockSize32;
    } pools[] = {
        {"1", g_CD3DBitmapPool, 64, 1212},        {"2", g_CD3DHugeTexturePool, 32, 688},
        {"3", g_STRU_DRAW_PRIMITIVEPool, 64, 84}, {"4", g_STRU_WORD_DRAWPool, 64, 44},
        {"5", g_STRU_WORD_TEXPool, 128, 44},      {"6", g_mem_obj_tPool, 128, 76},
        {"7", g_word_node_tPool, 128, 28},        {"8", g_txt_drawlist_tPool, 128, 104},
        {"9", g_CD3DRenderTargetPool, 16, 64},    {"10", g_tex_slot_tPool, 64, 28},
        {"11", g_CD3DTexturePool, 64, 664},       {"12", g_tex_cell_tPool, 256, 84},
        {"13", g_font_desc_tPool, 64, 144},       {"14", g_CFontPicturePool, 8, 680},
        {"15", g_CFontTexPool, 64, 232},          {"16", g_PrimitiveDataPool, 256, 52},
        {"17", g_tex_node_tPool, 64, 28},         {"18", g_tex_cache_tPool, 4, 76},
        {"19", g_CParticleBeamPool, 64, 252},     {"20", g_CParticlePool, 64, 388},
        {"21", g_CParticleEmitterPool, 16, 212},
    };
    for (const auto& p : pools) {
        SCOPED_TRACE(std::string("pool ") + p.name);
        EXPECT_EQ(p.pool.GrowMode(), GROW_LINEAR);
        EXPECT_EQ(p.pool.BlocksPerBlob(), p.blocksPerBlob);
        EXPECT_GE(p.pool.BlockSize(), p.blockSize32);
        EXPECT_GE(p.pool.BlobCount(), 1u);
    }
    // Pools whose type is sized here take that size; the description has no pointer in it.
    EXPECT_EQ(g_font_desc_tPool.BlockSize(), 144u);
    EXPECT_EQ(&PoolOf<CD3DTexture>(), &g_CD3DTexturePool);
    EXPECT_GE(g_CD3DTexturePool.BlockSize(), static_cast<std::uint32_t>(sizeof(void*)));
    // The texture manager's scratch key as set up at load. Every name lookup of any renderer
    // writes it, so only a process that has looked up nothing yet shows it: the threadsafe
    // style runs this test again in a fresh one.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(g_TextureNameKey == std::u16string(260, u'C') ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

TEST(LegacyPoolTable, BeamsEmittersAndAtlasCellsComeFromTheirPools) {
    const std::int32_t emitters = g_CParticleEmitterPool.BlocksInUse();
    const std::int32_t beams = g_CParticleBeamPool.BlocksInUse();
    const std::int32_t cells = g_tex_cell_tPool.BlocksInUse();
    {
        std::unique_ptr<CParticleEmitter> emitter(new CParticleEmitter(nullptr, nullptr, nullptr));
        emitter->AddBeam();
        emitter->AddBeam();
        std::unique_ptr<CTextureCell> cell(new CTextureCell());
        EXPECT_EQ(g_CParticleEmitterPool.BlocksInUse(), emitters + 1);
        EXPECT_EQ(g_CParticleBeamPool.BlocksInUse(), beams + 2);
        EXPECT_EQ(g_tex_cell_tPool.BlocksInUse(), cells + 1);
    }
    EXPECT_EQ(g_CParticleEmitterPool.BlocksInUse(), emitters) << "given back with the emitter";
    EXPECT_EQ(g_CParticleBeamPool.BlocksInUse(), beams);
    EXPECT_EQ(g_tex_cell_tPool.BlocksInUse(), cells);
}

TEST(LegacyPoolTable, TypesWithoutALegacyPoolComeFromTheHeap) {
    EXPECT_TRUE(kHeapAllocated<CRenderTarget>);
    EXPECT_FALSE(kHeapAllocated<CD3DTexture>);
    EXPECT_EQ(&PoolOf<CFontPicture>(), &g_CFontPicturePool);
    EXPECT_EQ(&PoolOf<STRU_WORD_TEX>(), &g_STRU_WORD_TEXPool);

    // A refused release names no pool: the legacy pools have no name.
    MessageCapture capture;
    int notPooled = 0;
    PooledFree<CD3DTexture>(&notPooled);
    EXPECT_EQ(capture.DbgMsgs(), std::vector<std::string>{"CMemPool::Free: invalid pointer"});
}

TEST(LegacyPoolTable, StaticPoolsAreSilentAtUnload) {
    auto unload = [] {
        lumi::test::SendDebugMessagesToStderr();
        PoolOf<CParticle>().Alloc(1);  // leaked on purpose
        std::fputs("exit\n", stderr);
        std::exit(0);
    };
    // A fresh process: a forked child of a program whose raster threads run has none.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(unload(), ::testing::ExitedWithCode(0), "^exit\n$");
}

TEST(LegacyNodePool, TwentyFourByteNodesStartAgainWithTwo) {
    for (const auto& c : {std::pair<std::size_t, std::int32_t>{24, 2}, {32, 1}, {48, 1}}) {
        node_pool_t pool(c.first);
        EXPECT_EQ(pool.Capacity(), 4) << c.first;
        pool.FreeAll();
        EXPECT_EQ(pool.Capacity(), 0);
        void* node = pool.Alloc();
        EXPECT_EQ(pool.Capacity(), c.second) << c.first << "-byte nodes";
        pool.Free(node);
    }
    node_pool_t pool(24);  // from construction it doubles as in the current build
    for (int i = 0; i < 5; ++i) pool.Alloc();
    EXPECT_EQ(pool.Capacity(), 8);
}

}  // namespace
