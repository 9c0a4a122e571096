#pragma once
// node_pool_t: a free-list allocator of fixed-size nodes carved from malloc'd chunks, and
// node_pool_allocator<T>, which puts the nodes of ordered maps and lists on such pools.
//
// A pool starts with one chunk of 4 nodes. When its free list runs dry it adds a chunk that
// doubles its capacity (4, 8, 16, ... nodes in all), or grows by a fixed step when one is
// given; so the heap is touched a logarithmic number of times. Alloc and Free are a pop and a
// push on the free list. Chunks are given back only by FreeAll and the destructor.
//
// Allocation failure throws std::bad_alloc. Not thread-safe.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

class node_pool_t {
public:
    // Nodes of `nodeSize` bytes (at least a pointer's worth is used), aligned to `nodeAlign`
    // (at most alignof(std::max_align_t)). `step` 0 doubles the capacity at each growth.
    explicit node_pool_t(std::size_t nodeSize, std::size_t nodeAlign = alignof(std::max_align_t),
                         std::int32_t step = 0);
    ~node_pool_t();
    node_pool_t(const node_pool_t&) = delete;
    node_pool_t& operator=(const node_pool_t&) = delete;

    // A node (uninitialised); never null.
    void* Alloc();
    // Returns a node that this pool's Alloc gave. Null is ignored.
    void Free(void* node);
    // Frees every chunk; nodes still held are gone. The capacity becomes 0, and the next Alloc
    // starts again with a chunk of one node (in the legacy build two for 24-byte nodes).
    void FreeAll();

    std::int32_t Capacity() const { return capacity_; }  // nodes made so far
    std::size_t NodeSize() const { return nodeSize_; }
    std::size_t NodeAlign() const { return nodeAlign_; }

private:
    struct Chunk;

    void Grow();
    void AddChunk(std::int32_t count);

    std::size_t nodeSize_;
    std::size_t nodeAlign_;
    std::size_t stride_;
    Chunk* chunks_ = nullptr;  // newest first
    std::int32_t capacity_ = 4;
    std::int32_t step_;
    void* freeList_ = nullptr;
};

// The pools of one family of allocator copies: one pool per node size and alignment, made on
// first use.
class node_pool_set_t {
public:
    node_pool_t& PoolFor(std::size_t nodeSize, std::size_t nodeAlign);

private:
    std::vector<std::unique_ptr<node_pool_t>> pools_;
};

// A standard allocator whose single-object allocations come from node pools. Every copy and
// every rebound copy shares one node_pool_set_t (and compares equal), so a node may be given
// back through any of them, as containers do when they swap, move or splice. A default-made
// allocator, and the allocator of a container copy, starts a set of its own. Allocations of
// more than one object go to the global operator new.
template <class T>
class node_pool_allocator {
public:
    using value_type = T;
    using propagate_on_container_move_assignment = std::true_type;
    using propagate_on_container_swap = std::true_type;
    using is_always_equal = std::false_type;

    node_pool_allocator() : pools_(std::make_shared<node_pool_set_t>()) {}
    // A move is a copy: the source must stay usable and equal to the result.
    node_pool_allocator(const node_pool_allocator&) noexcept = default;
    node_pool_allocator& operator=(const node_pool_allocator&) noexcept = default;
    template <class U>
    node_pool_allocator(const node_pool_allocator<U>& other) noexcept : pools_(other.pools_) {}

    node_pool_allocator select_on_container_copy_construction() const { return node_pool_allocator(); }

    T* allocate(std::size_t count) {
        if (count != 1) return static_cast<T*>(::operator new(count * sizeof(T), std::align_val_t(alignof(T))));
        return static_cast<T*>(Pool().Alloc());
    }

    void deallocate(T* object, std::size_t count) noexcept {
        if (count != 1) {
            ::operator delete(object, std::align_val_t(alignof(T)));
            return;
        }
        Pool().Free(object);
    }

    template <class U>
    bool operator==(const node_pool_allocator<U>& other) const noexcept {
        return pools_ == other.pools_;
    }

private:
    template <class U>
    friend class node_pool_allocator;

    static_assert(alignof(T) <= alignof(std::max_align_t), "node pools do not over-align");

    // Found on first use: a container rebinds its allocator to several types but allocates
    // only one of them.
    node_pool_t& Pool() {
        if (pool_ == nullptr) pool_ = &pools_->PoolFor(sizeof(T), alignof(T));
        return *pool_;
    }

    std::shared_ptr<node_pool_set_t> pools_;
    node_pool_t* pool_ = nullptr;
};
