#include "core/node_pool.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "core/build_variant.h"

// A chunk is one malloc block: this header, padded to the node alignment, then its nodes.
struct node_pool_t::Chunk {
    Chunk* next;
    std::int32_t count;
};

namespace {

// The legacy build's form for 24-byte nodes starts again with two nodes after FreeAll.
constexpr std::size_t kLegacyPairNodeBytes = 24;

std::size_t RoundUp(std::size_t value, std::size_t multiple) { return (value + multiple - 1) / multiple * multiple; }

}  // namespace

node_pool_t::node_pool_t(std::size_t nodeSize, std::size_t nodeAlign, std::int32_t step)
    : nodeSize_(nodeSize), nodeAlign_(std::max(nodeAlign, alignof(void*))), step_(step) {
    if (nodeAlign_ > alignof(std::max_align_t) || (nodeAlign_ & (nodeAlign_ - 1)) != 0) {
        throw std::invalid_argument("node_pool_t: unsupported node alignment");
    }
    // A free node holds the link to the next one.
    stride_ = RoundUp(std::max(nodeSize, sizeof(void*)), nodeAlign_);
    AddChunk(capacity_);
}

node_pool_t::~node_pool_t() { FreeAll(); }

void* node_pool_t::Alloc() {
    if (freeList_ == nullptr) Grow();
    void* node = freeList_;
    std::memcpy(&freeList_, node, sizeof(void*));
    return node;
}

void node_pool_t::Free(void* node) {
    if (node == nullptr) return;
    std::memcpy(node, &freeList_, sizeof(void*));
    freeList_ = node;
}

void node_pool_t::FreeAll() {
    while (chunks_ != nullptr) {
        Chunk* next = chunks_->next;
        std::free(chunks_);
        chunks_ = next;
    }
    freeList_ = nullptr;
    capacity_ = 0;
}

void node_pool_t::Grow() {
    const std::int64_t old = capacity_;
    std::int64_t capacity = old;
    while (capacity <= old) {
        if (capacity == 0) {
            capacity = lumi::kLegacy && nodeSize_ == kLegacyPairNodeBytes ? 2 : 1;
        } else if (step_ != 0) {
            capacity += step_;
        } else {
            capacity *= 2;
        }
    }
    if (capacity > std::numeric_limits<std::int32_t>::max()) throw std::bad_alloc();
    AddChunk(static_cast<std::int32_t>(capacity - old));
    capacity_ = static_cast<std::int32_t>(capacity);
}

void node_pool_t::AddChunk(std::int32_t count) {
    const std::size_t header = RoundUp(sizeof(Chunk), nodeAlign_);
    auto* chunk = static_cast<Chunk*>(std::malloc(header + static_cast<std::size_t>(count) * stride_));
    if (chunk == nullptr) throw std::bad_alloc();
    chunk->next = chunks_;
    chunk->count = count;
    chunks_ = chunk;

    // Threaded in address order in front of whatever is still free.
    char* first = reinterpret_cast<char*>(chunk) + header;
    void* next = freeList_;
    for (std::int32_t i = count - 1; i >= 0; --i) {
        char* node = first + static_cast<std::size_t>(i) * stride_;
        std::memcpy(node, &next, sizeof(void*));
        next = node;
    }
    freeList_ = first;
}

node_pool_t& node_pool_set_t::PoolFor(std::size_t nodeSize, std::size_t nodeAlign) {
    for (const auto& pool : pools_) {
        if (pool->NodeSize() == nodeSize && pool->NodeAlign() == std::max(nodeAlign, alignof(void*))) return *pool;
    }
    pools_.push_back(std::make_unique<node_pool_t>(nodeSize, nodeAlign));
    return *pools_.back();
}
