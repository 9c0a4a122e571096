#pragma once
// Overflow-checked size arithmetic for everything in the image library that turns
// file-derived or caller-given numbers into byte counts. Every decoder computes its
// sizes through these helpers before it allocates or indexes.
#include <cstddef>
#include <cstdint>
#include <optional>

namespace lumi::image {

// Largest pixel area an image may hold, in bytes (the library's 256 MB limit).
inline constexpr std::uint64_t kMaxPixelBytes = 268435456;

// a * b, or nothing when the product does not fit in 64 bits.
constexpr std::optional<std::uint64_t> CheckedMul(std::uint64_t a, std::uint64_t b) {
    std::uint64_t r = 0;
    if (__builtin_mul_overflow(a, b, &r)) return std::nullopt;
    return r;
}

// a + b, or nothing on overflow.
constexpr std::optional<std::uint64_t> CheckedAdd(std::uint64_t a, std::uint64_t b) {
    std::uint64_t r = 0;
    if (__builtin_add_overflow(a, b, &r)) return std::nullopt;
    return r;
}

// a * b * c, or nothing on overflow.
constexpr std::optional<std::uint64_t> CheckedMul3(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
    auto ab = CheckedMul(a, b);
    return ab ? CheckedMul(*ab, c) : std::nullopt;
}

// The depth an image stores for a requested one: 1, 4, 8 or 24 bits, the next of them up
// (deeper requests store 24).
constexpr std::uint16_t RoundBits(std::uint32_t bits) {
    if (bits <= 1) return 1;
    if (bits <= 4) return 4;
    if (bits <= 8) return 8;
    return 24;
}

// Bytes of one pixel row padded to 4 bytes: ((width x bits + 31) >> 5) x 4.
constexpr std::optional<std::uint64_t> RowStride(std::uint64_t width, std::uint64_t bits) {
    auto wb = CheckedMul(width, bits);
    if (!wb) return std::nullopt;
    auto padded = CheckedAdd(*wb, 31);
    if (!padded) return std::nullopt;
    return (*padded >> 5) * 4;
}

// Bytes of width x height pixels at the given depth in 4-byte padded rows, or nothing
// when that passes limit (or overflows).
constexpr std::optional<std::uint64_t> ImageBytes(std::uint64_t width, std::uint64_t height, std::uint64_t bits,
                                                  std::uint64_t limit = kMaxPixelBytes) {
    auto stride = RowStride(width, bits);
    if (!stride) return std::nullopt;
    auto total = CheckedMul(*stride, height);
    if (!total || *total > limit) return std::nullopt;
    return total;
}

// True when [offset, offset + count) lies inside a block of size bytes.
constexpr bool RangeInside(std::uint64_t offset, std::uint64_t count, std::uint64_t size) {
    return offset <= size && count <= size - offset;
}

// Narrows to size_t; nothing when the value does not fit (32-bit hosts).
constexpr std::optional<std::size_t> ToSize(std::uint64_t value) {
    if (value > static_cast<std::uint64_t>(SIZE_MAX)) return std::nullopt;
    return static_cast<std::size_t>(value);
}

}  // namespace lumi::image
