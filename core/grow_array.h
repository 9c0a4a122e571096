#pragma once
// grow_array_t: a C-heap array of plain elements that grows to exactly the count asked for.
//
// There is no count of used elements: the owner keeps its own count and calls Reserve before
// writing past the capacity (hot paths ask for generous counts, or grow geometrically
// themselves). Storage is either owned (malloc/realloc/free) or borrowed from the caller, in
// which case the array never grows or frees it.
//
// Allocation failure throws lumi::OutOfMemory ("out of memory!") and leaves the array as it
// was: storage, contents and capacity unchanged.
#include <cstdint>
#include <cstdlib>
#include <new>
#include <type_traits>

namespace lumi {

// The shared containers' allocation failure: a std::bad_alloc with the text "out of memory!".
class OutOfMemory : public std::bad_alloc {
public:
    const char* what() const noexcept override { return "out of memory!"; }
};

}  // namespace lumi

template <class T>
struct grow_array_t {
    static_assert(std::is_trivially_copyable_v<T>, "elements are moved with realloc");

    static constexpr std::int32_t kOwned = 0;
    static constexpr std::int32_t kBorrowed = -1;

    T* elements = nullptr;  // null when empty
    std::int32_t capacity = 0;  // elements the storage holds
    std::int32_t ownership = kOwned;

    grow_array_t() = default;
    ~grow_array_t() { Free(); }
    grow_array_t(const grow_array_t&) = delete;
    grow_array_t& operator=(const grow_array_t&) = delete;

    // Owned storage for `count` elements (uninitialised); none for a count of 0 or less.
    // Owned storage held before is freed first.
    void Init(std::int32_t count) {
        Free();
        ownership = kOwned;
        if (count <= 0) return;
        T* storage = static_cast<T*>(std::malloc(static_cast<std::size_t>(count) * sizeof(T)));
        if (storage == nullptr) throw lumi::OutOfMemory();
        elements = storage;
        capacity = count;
    }

    // Uses the caller's storage of `count` elements; the caller keeps it alive and frees it.
    void InitBorrowed(T* storage, std::int32_t count) {
        Free();
        elements = storage;
        capacity = count;
        ownership = kBorrowed;
    }

    // No bounds check.
    T* Element(std::int32_t index) { return elements + index; }
    const T* Element(std::int32_t index) const { return elements + index; }
    T* Data() { return elements; }
    const T* Data() const { return elements; }

    // Grows to exactly `count` elements, keeping the contents. Nothing happens when `count`
    // is not above the capacity or the storage is borrowed.
    void Reserve(std::int32_t count) {
        if (count <= capacity || IsFixed()) return;
        const std::size_t bytes = static_cast<std::size_t>(count) * sizeof(T);
        void* storage = elements ? std::realloc(elements, bytes) : std::malloc(bytes);
        if (storage == nullptr) throw lumi::OutOfMemory();
        elements = static_cast<T*>(storage);
        capacity = count;
    }

    // Frees owned storage; borrowed storage is left as it is.
    void Free() {
        if (IsFixed()) return;
        std::free(elements);
        elements = nullptr;
        capacity = 0;
    }

    bool IsFixed() const { return ownership == kBorrowed; }

    // Free, then delete the array itself; only for arrays made with new.
    void Delete() { delete this; }
};
