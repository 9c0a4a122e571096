#include <gtest/gtest.h>

#include <cstdint>
#include <list>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/grow_array.h"
#include "core/lock_obj.h"
#include "core/lru_list.h"
#include "core/node_pool.h"

// A failed huge allocation must come back as null so that the array's failure path runs.
// The sanitizer runtime looks this up in the executable's dynamic symbols: keep it visible.
#if defined(__SANITIZE_ADDRESS__)
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
#endif

namespace {

struct Vertex {
    float x, y, z;
    std::uint32_t colour;
    float u, v;
};

TEST(GrowArray, ReserveGrowsToExactlyTheCountAndKeepsTheElements) {
    grow_array_t<Vertex> array;
    array.Init(0);
    array.Reserve(3);
    ASSERT_NE(array.Data(), nullptr);
    for (int i = 0; i < 3; ++i) *array.Element(i) = Vertex{float(i), 0, 0, 0xFF000000u + i, 0, 0};
    array.Reserve(2);
    array.Reserve(3);
    EXPECT_EQ(array.capacity, 3);
    array.Reserve(1000);
    EXPECT_EQ(array.capacity, 1000);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(array.Element(i)->colour, 0xFF000000u + i);
    array.Element(999)->x = 1.0f;  // the new room is usable (checked by the sanitiser build)

    array.Free();
    EXPECT_EQ(array.Data(), nullptr);
    EXPECT_EQ(array.capacity, 0);
}

TEST(GrowArray, BorrowedStorageIsNeverGrownOrFreed) {
    std::uint16_t indices[4] = {1, 2, 3, 4};
    auto* array = new grow_array_t<std::uint16_t>();
    array->InitBorrowed(indices, 4);
    EXPECT_TRUE(array->IsFixed());
    array->Reserve(100);
    array->Free();
    EXPECT_EQ(array->Data(), indices);
    EXPECT_EQ(array->capacity, 4);
    array->Delete();
    EXPECT_EQ(indices[3], 4);
}

TEST(GrowArray, FailedGrowthThrowsAndLeavesTheArrayAsItWas) {
    struct Huge {
        char bytes[1 << 20];
    };
    grow_array_t<Huge> array;
    array.Init(1);
    Huge* before = array.Data();
    before->bytes[0] = 7;
    try {
        array.Reserve(1 << 30);  // 2^50 bytes
        FAIL() << "expected an allocation failure";
    } catch (const std::bad_alloc& error) {
        EXPECT_STREQ(error.what(), "out of memory!");
    }
    EXPECT_EQ(array.Data(), before);
    EXPECT_EQ(array.capacity, 1);
    EXPECT_EQ(array.Data()->bytes[0], 7);
    EXPECT_THROW(array.Init(1 << 30), lumi::OutOfMemory);
}

struct Item {
    lru_obj_s node;
    int value = 0;
};

std::vector<int> Walk(lru_list_t& list) {
    std::vector<int> values;
    for (lru_obj_s* node = lru_obj_s::Next(&list); node != &list; node = lru_obj_s::Next(node)) {
        values.push_back(reinterpret_cast<Item*>(node)->value);
    }
    return values;
}

TEST(LruList, PushWalkAndUnlink) {
    lru_list_t list;
    EXPECT_EQ(lru_obj_s::Next(&list), &list);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(lru_obj_s::Next(nullptr), nullptr);

    Item a{{}, 1}, b{{}, 2}, c{{}, 3};
    list.PushBack(&a.node);
    list.PushBack(&b.node);
    list.PushBack(&c.node);
    EXPECT_EQ(Walk(list), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(list.Count(), 3);

    EXPECT_EQ(b.node.Unlink(), &b.node);
    EXPECT_EQ(Walk(list), (std::vector<int>{1, 3}));
    EXPECT_EQ(list.Count(), 2);
    b.node.Unlink();  // not linked: nothing changes
    EXPECT_EQ(list.Count(), 2);

    // Pushing a linked node moves it (to the back, or into another list).
    list.PushBack(&a.node);
    EXPECT_EQ(Walk(list), (std::vector<int>{3, 1}));
    lru_list_t other;
    other.PushBack(&c.node);
    EXPECT_EQ(Walk(list), std::vector<int>{1});
    EXPECT_EQ(Walk(other), std::vector<int>{3});
    EXPECT_EQ(list.Count() + other.Count(), 2);
    // ... or to the front.
    other.PushFront(&a.node);
    other.PushFront(&b.node);
    EXPECT_EQ(Walk(other), (std::vector<int>{2, 1, 3}));
    EXPECT_TRUE(list.Empty());
    b.node.Unlink();
    list.PushBack(&a.node);
    EXPECT_EQ(list.Count() + other.Count(), 2);
    a.node.Unlink();
    c.node.Unlink();
    EXPECT_TRUE(list.Empty());
    EXPECT_TRUE(other.Empty());
}

TEST(NodePool, CapacityDoublesAndRestartsFromOneAfterFreeAll) {
    node_pool_t pool(24);
    EXPECT_EQ(pool.Capacity(), 4);
    std::set<void*> nodes;
    for (int i = 0; i < 4; ++i) nodes.insert(pool.Alloc());
    EXPECT_EQ(pool.Capacity(), 4);
    nodes.insert(pool.Alloc());
    EXPECT_EQ(pool.Capacity(), 8);
    for (int i = 0; i < 4; ++i) nodes.insert(pool.Alloc());
    EXPECT_EQ(pool.Capacity(), 16);
    EXPECT_EQ(nodes.size(), 9u);

    void* last = *nodes.begin();
    pool.Free(last);
    EXPECT_EQ(pool.Alloc(), last);

    pool.FreeAll();
    EXPECT_EQ(pool.Capacity(), 0);
    pool.Alloc();
    EXPECT_EQ(pool.Capacity(), 1);

    node_pool_t stepped(8, alignof(void*), 3);
    for (int i = 0; i < 5; ++i) stepped.Alloc();
    EXPECT_EQ(stepped.Capacity(), 7);
}

template <class T>
using PoolAllocator = node_pool_allocator<T>;
using PooledMap = std::map<int, std::string, std::less<int>, PoolAllocator<std::pair<const int, std::string>>>;

TEST(NodePool, ContainersMayExchangeNodesBetweenAllocatorCopies) {
    PooledMap first;
    PooledMap second;
    EXPECT_FALSE(first.get_allocator() == second.get_allocator());
    for (int i = 0; i < 100; ++i) first[i] = std::string(40, char('a' + i % 26));
    for (int i = 0; i < 50; i += 2) first.erase(i);
    second[7] = "seven";

    // Swapping and moving hand nodes to another container; they still go back to the pool
    // that made them (checked by the sanitiser build).
    first.swap(second);
    EXPECT_EQ(first.size(), 1u);
    EXPECT_EQ(second.size(), 75u);
    PooledMap third = std::move(second);
    third.erase(99);
    PooledMap copy = third;
    EXPECT_EQ(copy, third);
    EXPECT_FALSE(copy.get_allocator() == third.get_allocator());

    PoolAllocator<int> shared;
    std::list<int, PoolAllocator<int>> left(shared);
    std::list<int, PoolAllocator<int>> right(shared);
    for (int i = 0; i < 10; ++i) left.push_back(i);
    right.splice(right.end(), left, std::next(left.begin(), 3), left.end());
    left.clear();
    right.pop_front();
    EXPECT_EQ(right.size(), 6u);
    EXPECT_EQ(right.front(), 4);
}

TEST(LockObj, GuardsACounterUnderContentionAndIsReentrant) {
    lock_obj lock;
    base_lock& guard = lock;
    long counter = 0;
    constexpr int kRounds = 20000;
    auto work = [&] {
        for (int i = 0; i < kRounds; ++i) {
            guard.Lock();
            guard.Lock();  // re-entrant for the holder
            ++counter;
            guard.Unlock();
            guard.Unlock();
        }
    };
    std::thread a(work);
    std::thread b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 2L * kRounds);
}

}  // namespace
