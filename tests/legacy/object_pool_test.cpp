// CObjectPool and CMemoryPool: blocks of 128 with free lists in index order, checked frees.
#include "legacy/object_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <vector>

#include "core/exception.h"

namespace {

struct Element {
    std::uint64_t payload[3];
};

using ElementPool = CMemoryPool<Element, 128>;

std::vector<Element*> AllocMany(ElementPool& pool, int count) {
    std::vector<Element*> elements;
    for (int i = 0; i < count; ++i) elements.push_back(pool.Alloc());
    return elements;
}

TEST(ObjectPool, BlocksOf128AddedWhenFull) {
    ElementPool pool;
    EXPECT_EQ(pool.ElementSize(), sizeof(Element));
    EXPECT_EQ(pool.GrowCount(), 128u);
    EXPECT_EQ(pool.BlockCount(), 0u) << "no block before the first element";
    std::vector<Element*> elements = AllocMany(pool, 128);
    EXPECT_EQ(pool.BlockCount(), 1u);
    for (std::size_t i = 1; i < elements.size(); ++i) EXPECT_EQ(elements[i], elements[i - 1] + 1) << "in index order";
    Element* first = elements[0];
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(first) % alignof(std::max_align_t), 0u);

    Element* next = pool.Alloc();  // the 129th
    EXPECT_EQ(pool.BlockCount(), 2u);
    EXPECT_EQ(pool.UsedCount(), 129u);
    EXPECT_TRUE(pool.Owns(next));
    EXPECT_TRUE(pool.Owns(first));
}

TEST(ObjectPool, HandsOutTheLowestFreeElementOfTheNewestBlockWithRoom) {
    ElementPool pool;
    std::vector<Element*> older = AllocMany(pool, 128);
    std::vector<Element*> newer = AllocMany(pool, 10);
    for (int i : {7, 3, 5}) ASSERT_TRUE(pool.Free(newer[i]));
    ASSERT_TRUE(pool.Free(older[0]));
    // The newest block has room: its free elements come in index order, whatever the order
    // they were freed in; then the rest of that block; the older block's hole comes last.
    EXPECT_EQ(pool.Alloc(), newer[3]);
    EXPECT_EQ(pool.Alloc(), newer[5]);
    EXPECT_EQ(pool.Alloc(), newer[7]);
    EXPECT_EQ(pool.Alloc(), newer[9] + 1);
    for (int i = 0; i < 128 - 11; ++i) pool.Alloc();
    EXPECT_EQ(pool.Alloc(), older[0]) << "only once the newest block is full";
    EXPECT_EQ(pool.BlockCount(), 2u);
    // The last element of a full block, then the one before it: still in index order.
    ASSERT_TRUE(pool.Free(older[127]));
    ASSERT_TRUE(pool.Free(older[126]));
    EXPECT_EQ(pool.Alloc(), older[126]);
    EXPECT_EQ(pool.Alloc(), older[127]);
}

TEST(ObjectPool, RefusesWhatItDidNotHandOut) {
    ElementPool pool;
    std::vector<Element*> elements = AllocMany(pool, 3);
    Element outside{};
    ElementPool other;
    Element* foreign = other.Alloc();
    ASSERT_TRUE(pool.Free(elements[1]));
    const struct {
        const char* what;
        void* pointer;
    } bad[] = {
        {"null", nullptr},
        {"outside every block", &outside},
        {"another pool's element", foreign},
        {"inside an element", reinterpret_cast<char*>(elements[0]) + 8},
        {"an element given back already", elements[1]},
        {"an element never handed out", elements[2] + 1},
    };
    for (const auto& c : bad) EXPECT_FALSE(pool.CObjectPool::Free(c.pointer)) << c.what;
    EXPECT_FALSE(pool.Owns(&outside));
    EXPECT_EQ(pool.UsedCount(), 2u);
    // The free list is intact: the element given back comes out once.
    EXPECT_EQ(pool.Alloc(), elements[1]);
    EXPECT_EQ(pool.Alloc(), elements[2] + 1);

    // A block entirely free refuses everything.
    ElementPool single;
    Element* only = single.Alloc();
    ASSERT_TRUE(single.Free(only));
    EXPECT_FALSE(single.Free(only));
}

TEST(ObjectPool, OnlySingleElementsAreHandedOut) {
    CObjectPool pool(16, 128);
    for (std::uint32_t count : {0u, 2u, 128u, 129u}) EXPECT_EQ(pool.Alloc(count), nullptr) << count;
    EXPECT_EQ(pool.BlockCount(), 0u);
    EXPECT_NE(pool.Alloc(1), nullptr);
}

TEST(ObjectPool, ResetKeepsTheMemoryAndReleaseEmptyBlocksGivesItBack) {
    ElementPool pool;
    std::vector<Element*> elements = AllocMany(pool, 128 + 128 + 5);
    ASSERT_EQ(pool.BlockCount(), 3u);
    pool.ResetAll();
    EXPECT_EQ(pool.BlockCount(), 3u);
    EXPECT_EQ(pool.UsedCount(), 0u);
    // The same memory again: three whole blocks, among them every element handed out before.
    std::set<Element*> before(elements.begin(), elements.end());
    std::set<Element*> after;
    for (int i = 0; i < 3 * 128; ++i) after.insert(pool.Alloc());
    EXPECT_EQ(after.size(), 3u * 128u);
    EXPECT_TRUE(std::includes(after.begin(), after.end(), before.begin(), before.end()));
    EXPECT_EQ(pool.BlockCount(), 3u);

    pool.ResetAll();
    Element* kept = pool.Alloc();  // from the last block
    pool.ReleaseEmptyBlocks();
    EXPECT_EQ(pool.BlockCount(), 1u);
    EXPECT_TRUE(pool.Owns(kept));
    EXPECT_FALSE(pool.Owns(elements[0]));
    pool.FreeAll();
    EXPECT_EQ(pool.BlockCount(), 0u);
    EXPECT_FALSE(pool.Owns(kept));
}

}  // namespace
