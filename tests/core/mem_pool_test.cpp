#include "core/mem_pool.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/pool_table.h"
#include "tests/support/message_capture.h"
#include "tests/support/pool_checks.h"

namespace {

using lumi::test::AllocMany;
using lumi::test::MessageCapture;
using lumi::test::ThrownMessage;

const char kHeader[] = "\n[x]class\tNumBlocks\tNumBlobs\tBlocksPerBlob\tBlockSize\t(Bytes)\t(kb)\t(mb)\n";
const char kDashes[] = "---------------------------------------------";

TEST(MemPool, ReportsRowHeaderAndLeaksAtDestruction) {
    MessageCapture capture;
    CMemPool::ResetDestroyedPoolCount();
    {
        CMemPool unused(88, 256, GROW_LINEAR, "tex_cell_t");
        CMemPool bitmaps(1360, 64, GROW_LINEAR, "CD3DBitmap");
        std::vector<void*> blocks = AllocMany(bitmaps, 65);
        for (int i = 0; i < 62; ++i) bitmaps.Free(blocks[i]);
        EXPECT_EQ(bitmaps.PeakBlocksInUse(), 65);  // the rows below show the blobs and the leak
    }
    // Destroyed in reverse order: the first one destroyed prints the header.
    EXPECT_EQ(capture.DebugOutput(), (std::vector<std::string>{
                                         kHeader,
                                         "[x]CD3DBitmap\t192\t2\t64\t1360\t261120\t255.00\t0.25\n",
                                         "[x]tex_cell_t\t0\t0\t256\t88\t0\t0.00\t0.00\n",
                                     }));
    EXPECT_EQ(capture.DbgMsgs(), (std::vector<std::string>{kDashes, "*** Memory Leak: [CD3DBitmap] [3]blocks"}));
    EXPECT_EQ(CMemPool::DestroyedPoolCount(), 2);
}

TEST(MemPool, GrowthModes) {
    CMemPool linear(16, 64, GROW_LINEAR, "linear");
    AllocMany(linear, 64);
    EXPECT_EQ(linear.BlobCount(), 1u);
    EXPECT_EQ(linear.TotalBytes(), 64u * 16u);
    AllocMany(linear, 1);  // the 65th makes a blob of 128
    EXPECT_EQ(linear.BlobCount(), 2u);
    EXPECT_EQ(linear.TotalBytes(), 192u * 16u);
    AllocMany(linear, 128);  // the 193rd makes one of 192
    EXPECT_EQ(linear.BlobCount(), 3u);
    EXPECT_EQ(linear.TotalBytes(), 384u * 16u);

    CMemPool fixed(24, 1024, GROW_FIXED, "fixed");
    AllocMany(fixed, 2049);
    EXPECT_EQ(fixed.BlobCount(), 3u);
    EXPECT_EQ(fixed.TotalBytes(), 3u * 1024u * 24u);

    // GROW_NONE makes its first blob and no other.
    CMemPool none(16, 4, GROW_NONE, "none");
    std::vector<void*> blocks = AllocMany(none, 4);
    EXPECT_EQ(ThrownMessage([&] { none.Alloc(16); }), "CMemPool::Alloc: tried to make new blob with GROW_NONE");
    none.Free(blocks[2]);
    EXPECT_EQ(none.Alloc(16), blocks[2]);
    EXPECT_EQ(none.BlobCount(), 1u);
    for (void* block : blocks) none.Free(block);

    CMemPool empty(16, 0, GROW_LINEAR, "empty");
    EXPECT_EQ(ThrownMessage([&] { empty.Alloc(1); }), "CMemPool::Alloc: ran out of memory");
}

TEST(MemPool, SizesAndReuse) {
    CMemPool pool(40, 8, GROW_LINEAR, "sizes");
    EXPECT_EQ(ThrownMessage([&] { pool.Alloc(41); }), "invalid alloc size");
    EXPECT_EQ(pool.BlobCount(), 0u);
    void* whole = pool.Alloc(40);
    std::memset(whole, 0xAB, 40);  // the whole block is the caller's
    void* empty = pool.Alloc(0);
    EXPECT_NE(empty, whole);
    EXPECT_EQ(pool.BytesInUse(), 80);

    // Last in, first out.
    pool.Free(whole);
    pool.Free(empty);
    EXPECT_EQ(pool.Alloc(1), empty);
    EXPECT_EQ(pool.Alloc(1), whole);
    pool.Free(nullptr);
    EXPECT_EQ(pool.BlocksInUse(), 2);
    pool.Free(whole);
    pool.Free(empty);

    // A block size below a pointer's is raised: a free block holds the link.
    CMemPool tiny(1, 4, GROW_LINEAR, nullptr);
    EXPECT_EQ(tiny.BlockSize(), sizeof(void*));
    EXPECT_STREQ(tiny.Name(), "");
    CMemPool longName(8, 1, GROW_LINEAR, "a-name-of-more-than-thirty-one-characters");
    EXPECT_EQ(std::string(longName.Name()), std::string("a-name-of-more-than-thirty-one-characters").substr(0, 31));
}

TEST(MemPool, ForeignMisalignedAndDoubleFreedPointersAreRefused) {
    CMemPool pool(32, 4, GROW_LINEAR, "checked");
    CMemPool other(32, 4, GROW_LINEAR, "other");
    std::unique_ptr<char[]> heap(new char[32]);
    EXPECT_EQ(ThrownMessage([&] { pool.Free(heap.get()); }), "invalid pointer");  // no blob yet

    void* foreign = other.Alloc(32);
    std::vector<void*> blocks = AllocMany(pool, 4 + 8 + 1);  // three blobs
    ASSERT_EQ(pool.BlobCount(), 3u);
    for (void* bad : {heap.get(), static_cast<char*>(foreign), static_cast<char*>(blocks[5]) + 4}) {
        EXPECT_EQ(ThrownMessage([&] { pool.Free(bad); }), "invalid pointer");
    }
    pool.Free(blocks[7]);
    EXPECT_EQ(ThrownMessage([&] { pool.Free(blocks[7]); }), "invalid pointer");
    EXPECT_EQ(pool.BlocksInUse(), 12);

    // Nothing was corrupted: the freed block comes back once, then fresh ones.
    std::set<void*> handedOut(blocks.begin(), blocks.end());
    EXPECT_EQ(pool.Alloc(32), blocks[7]);
    for (int i = 0; i < 11; ++i) EXPECT_TRUE(handedOut.insert(pool.Alloc(32)).second) << "block handed out twice";
    other.Free(foreign);
}

TEST(MemPool, BlobsThatWouldOverflowTheStatisticsFailAsOutOfMemory) {
    // 8192 blocks of 1 MiB is 8 GiB, past the 32-bit byte counts.
    CMemPool huge(1u << 20, 8192, GROW_LINEAR, "huge");
    EXPECT_EQ(ThrownMessage([&] { huge.Alloc(1); }), "out of memory");
    EXPECT_EQ(huge.BlobCount(), 0u);
}

struct TestRecord;

}  // namespace

template <>
CMemPool& PoolOf<TestRecord>();

namespace {

// A pooled type of the tests' own, routed like the library's types.
struct TestRecord {
    static void* operator new(std::size_t size) { return PooledAlloc<TestRecord>(size); }
    static void operator delete(void* block) noexcept { PooledFree<TestRecord>(block); }
    char payload[44];
};

CMemPool g_TestRecordPool(4, 2, GROW_LINEAR, "TestRecord");

}  // namespace

template <>
CMemPool& PoolOf<TestRecord>() {
    return g_TestRecordPool;
}

namespace {

TEST(PoolTable, PooledTypesBindTheirSizeAndNeverThrowFromDelete) {
    auto* record = new TestRecord();
    EXPECT_EQ(g_TestRecordPool.BlockSize(), sizeof(TestRecord));
    EXPECT_EQ(g_TestRecordPool.BlocksInUse(), 1);
    delete record;
    EXPECT_EQ(g_TestRecordPool.BlocksInUse(), 0);

    MessageCapture capture;
    int notPooled = 0;
    PooledFree<TestRecord>(&notPooled);
    EXPECT_EQ(capture.DbgMsgs(), std::vector<std::string>{"CMemPool::Free [TestRecord]: invalid pointer"});
}

TEST(PoolTable, StaticPoolsAreMadeInTableOrderAndReportInReverseAtUnload) {
    // At process exit the rows go out through the sinks; capture them on stderr.
    auto unload = [] {
        lumi::test::SendDebugMessagesToStderr();
        CMemPool::ResetDestroyedPoolCount();
        PoolOf<CParticle>().Alloc(1);  // leaked on purpose
        std::exit(0);
    };
    // A fresh process: a forked child of a program whose raster threads run has none.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(unload(), ::testing::ExitedWithCode(0),
                "^\n\\[x\\]class\tNumBlocks[^\n]*\n-{45}\n"
                "\\[x\\]CRenderTarget\t0\t0\t64\t104\t0\t0.00\t0.00\n"
                "\\[x\\]CParticleEmitter\t[^\n]*\n"
                "\\[x\\]CParticle\t1024\t1\t1024\t[0-9]+\t[^\n]*\n"
                "\\*\\*\\* Memory Leak: \\[CParticle\\] \\[1\\]blocks\n"
                "(\\[x\\][^\n]*\n){19}"
                "\\[x\\]CD3DTexture\t[^\n]*\n"
                "\\[x\\]tex_slot_t\t[^\n]*\n"
                "(\\[x\\][^\n]*\n){7}"
                "\\[x\\]CD3DBitmap\t0\t0\t64\t1360\t[^\n]*\n");
}

}  // namespace
