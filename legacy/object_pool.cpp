#include "legacy/object_pool.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "core/exception.h"

// One allocation: this header, `capacity` descriptors, then (aligned for any type) the
// elements.
struct CObjectPool::Block {
    void* allocation;  // the block's own memory
    char* dataBegin;
    char* dataEnd;
    Block* next;
    Block* prev;
    Descriptor* firstFree;  // free descriptors in index order
    Descriptor* lastFree;
    std::uint32_t capacity;
    std::uint32_t freeCount;
};

struct CObjectPool::Descriptor {
    void* element;
    Block* block;
    std::uint32_t index;
    std::uint32_t runLength;  // 0 free, 1 handed out
    Descriptor* nextFree;
    Descriptor* prevFree;
};

namespace {

constexpr std::size_t RoundUp(std::size_t value, std::size_t multiple) { return (value + multiple - 1) / multiple * multiple; }

}  // namespace

CObjectPool::CObjectPool(std::uint32_t elementSize, std::uint32_t growCount)
    : elementSize_(elementSize == 0 ? 1 : elementSize), growCount_(growCount) {}

CObjectPool::~CObjectPool() { FreeAll(); }

void* CObjectPool::Alloc(std::uint32_t count) {
    // A run of several elements would need that many adjacent free ones, which the free list
    // does not track: only single elements are handed out.
    if (count != 1 || growCount_ == 0) return nullptr;
    for (;;) {
        for (Block* block = last_; block != nullptr; block = block->prev) {
            if (block->freeCount == 0) continue;
            Descriptor* taken = block->firstFree;
            block->firstFree = taken->nextFree;
            if (block->firstFree != nullptr) {
                block->firstFree->prevFree = nullptr;
            } else {
                block->lastFree = nullptr;
            }
            taken->nextFree = taken->prevFree = nullptr;
            taken->runLength = 1;
            --block->freeCount;
            return taken->element;
        }
        Grow(growCount_, nullptr);
    }
}

bool CObjectPool::Free(void* element) {
    Block* block = BlockHolding(element);
    if (block == nullptr || block->freeCount == block->capacity) return false;
    const auto offset = static_cast<std::size_t>(static_cast<char*>(element) - block->dataBegin);
    if (offset % elementSize_ != 0) return false;
    auto* descriptors = reinterpret_cast<Descriptor*>(block + 1);
    Descriptor* freed = &descriptors[offset / elementSize_];
    if (freed->runLength != 1) return false;
    freed->runLength = 0;

    // Back in index order: before the first free descriptor after it.
    Descriptor* after = nullptr;
    for (std::uint32_t i = freed->index + 1; i < block->capacity; ++i) {
        if (descriptors[i].runLength == 0) {
            after = &descriptors[i];
            break;
        }
    }
    freed->nextFree = after;
    freed->prevFree = after != nullptr ? after->prevFree : block->lastFree;
    if (freed->prevFree != nullptr) {
        freed->prevFree->nextFree = freed;
    } else {
        block->firstFree = freed;
    }
    if (after != nullptr) {
        after->prevFree = freed;
    } else {
        block->lastFree = freed;
    }
    ++block->freeCount;
    return true;
}

bool CObjectPool::Owns(const void* element) const { return BlockHolding(element) != nullptr; }

void CObjectPool::ResetAll() {
    Block* block = first_;
    first_ = last_ = nullptr;
    while (block != nullptr) {
        Block* next = block->next;
        if (block->freeCount != block->capacity) {
            Grow(block->capacity, block);
        } else {
            Append(block);
        }
        block = next;
    }
}

void CObjectPool::ReleaseEmptyBlocks() {
    for (Block* block = first_; block != nullptr;) {
        Block* next = block->next;
        if (block->freeCount == block->capacity) {
            Unlink(block);
            std::free(block->allocation);
            --blockCount_;
        }
        block = next;
    }
}

void CObjectPool::FreeAll() {
    for (Block* block = first_; block != nullptr;) {
        Block* next = block->next;
        std::free(block->allocation);
        block = next;
    }
    first_ = last_ = nullptr;
    blockCount_ = 0;
}

std::uint32_t CObjectPool::UsedCount() const {
    std::uint32_t used = 0;
    for (const Block* block = first_; block != nullptr; block = block->next) used += block->capacity - block->freeCount;
    return used;
}

CObjectPool::Block* CObjectPool::Grow(std::uint32_t count, Block* memory) {
    const std::size_t dataOffset =
        RoundUp(sizeof(Block) + static_cast<std::size_t>(count) * sizeof(Descriptor), alignof(std::max_align_t));
    if (memory == nullptr) {
        if (count > (std::numeric_limits<std::size_t>::max() - dataOffset) / elementSize_)
            throw lumi::Exception("out of memory");
        void* allocation = std::malloc(dataOffset + static_cast<std::size_t>(count) * elementSize_);
        if (allocation == nullptr) throw lumi::Exception("out of memory");
        memory = static_cast<Block*>(allocation);
        memory->allocation = allocation;
        ++blockCount_;
    }
    Block* block = memory;
    void* allocation = block->allocation;
    std::memset(block, 0, sizeof(Block));
    block->allocation = allocation;
    block->dataBegin = static_cast<char*>(allocation) + dataOffset;
    block->dataEnd = block->dataBegin + static_cast<std::size_t>(count) * elementSize_;
    block->capacity = count;
    block->freeCount = count;

    auto* descriptors = reinterpret_cast<Descriptor*>(block + 1);
    for (std::uint32_t i = 0; i < count; ++i) {
        Descriptor& descriptor = descriptors[i];
        descriptor.element = block->dataBegin + static_cast<std::size_t>(i) * elementSize_;
        descriptor.block = block;
        descriptor.index = i;
        descriptor.runLength = 0;
        descriptor.prevFree = i > 0 ? &descriptors[i - 1] : nullptr;
        descriptor.nextFree = i + 1 < count ? &descriptors[i + 1] : nullptr;
    }
    block->firstFree = count > 0 ? &descriptors[0] : nullptr;
    block->lastFree = count > 0 ? &descriptors[count - 1] : nullptr;
    Append(block);
    return block;
}

void CObjectPool::Append(Block* block) {
    block->next = nullptr;
    block->prev = last_;
    if (last_ != nullptr) {
        last_->next = block;
    } else {
        first_ = block;
    }
    last_ = block;
}

void CObjectPool::Unlink(Block* block) {
    (block->prev != nullptr ? block->prev->next : first_) = block->next;
    (block->next != nullptr ? block->next->prev : last_) = block->prev;
    block->next = block->prev = nullptr;
}

CObjectPool::Block* CObjectPool::BlockHolding(const void* element) const {
    const auto address = reinterpret_cast<std::uintptr_t>(element);
    for (Block* block = first_; block != nullptr; block = block->next) {
        if (address >= reinterpret_cast<std::uintptr_t>(block->dataBegin) &&
            address < reinterpret_cast<std::uintptr_t>(block->dataEnd))
            return block;
    }
    return nullptr;
}
