#include "image/raster_mem_file.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "image/checked_size.h"

namespace {
// Positions and sizes stay below what a 32-bit long can report.
constexpr std::uint64_t kMaxMemFileBytes = 0x7FFFFFFF;
constexpr std::size_t kGrowthStep = 65536;
}  // namespace

CRasterMemFile::CRasterMemFile(unsigned char* buffer, unsigned size)
    : buffer_(buffer), size_(buffer ? size : 0), owns_(buffer == nullptr), position_(0), capacity_(buffer ? size : 0) {}

// A copy refers to the same bytes but never frees or reallocates them.
CRasterMemFile::CRasterMemFile(const CRasterMemFile& other)
    : CRasterFile(other),
      buffer_(other.buffer_),
      size_(other.size_),
      owns_(false),
      position_(other.position_),
      capacity_(other.capacity_) {}

CRasterMemFile& CRasterMemFile::operator=(const CRasterMemFile& other) {
    if (this != &other) {
        Close();
        buffer_ = other.buffer_;
        size_ = other.size_;
        owns_ = false;
        position_ = other.position_;
        capacity_ = other.capacity_;
    }
    return *this;
}

CRasterMemFile::~CRasterMemFile() { Close(); }

bool CRasterMemFile::Open() {
    if (buffer_) return false;
    position_ = 0;
    size_ = 0;
    capacity_ = 0;
    buffer_ = static_cast<unsigned char*>(std::malloc(1));
    owns_ = buffer_ != nullptr;
    // The capacity stays 0 so the first write rounds up to a full growth step.
    return buffer_ != nullptr;
}

unsigned char* CRasterMemFile::GetBuffer(bool detach) {
    if (detach) owns_ = false;
    return buffer_;
}

bool CRasterMemFile::Close() {
    if (buffer_ && owns_) {
        std::free(buffer_);
        buffer_ = nullptr;
        size_ = 0;
        position_ = 0;
        capacity_ = 0;
    }
    return true;
}

bool CRasterMemFile::Alloc(std::size_t needed) {
    if (capacity_ >= needed && buffer_) return true;
    if (needed > kMaxMemFileBytes) return false;
    const std::size_t newCapacity = (needed & ~static_cast<std::size_t>(kGrowthStep - 1)) + kGrowthStep;
    unsigned char* grown = nullptr;
    if (owns_ && buffer_) {
        grown = static_cast<unsigned char*>(std::realloc(buffer_, newCapacity));
        if (!grown) return false;  // the old buffer and its data stay
    } else {
        // Never realloc a caller's buffer: it may live on the stack or in another heap.
        grown = static_cast<unsigned char*>(std::malloc(newCapacity));
        if (!grown) return false;
        if (buffer_ && size_) std::memcpy(grown, buffer_, size_);
    }
    buffer_ = grown;
    capacity_ = newCapacity;
    owns_ = true;
    return true;
}

unsigned CRasterMemFile::Read(void* buffer, unsigned size, unsigned count) {
    if (!buffer || !buffer_ || position_ >= size_) return 0;
    const std::uint64_t wanted = static_cast<std::uint64_t>(size) * count;
    if (wanted == 0) return 0;
    const std::size_t available = size_ - position_;
    const std::size_t n = wanted < available ? static_cast<std::size_t>(wanted) : available;
    std::memcpy(buffer, buffer_ + position_, n);
    position_ += n;
    return static_cast<unsigned>(n / size);
}

unsigned CRasterMemFile::Write(const void* buffer, unsigned size, unsigned count) {
    if (!buffer_ || !buffer) return 0;
    const auto bytes = lumi::image::CheckedMul(size, count);
    if (!bytes || *bytes == 0) return 0;
    const auto end = lumi::image::CheckedAdd(position_, *bytes);
    if (!end || *end > kMaxMemFileBytes) return 0;
    if (*end > capacity_ && !Alloc(static_cast<std::size_t>(*end))) return 0;
    if (position_ > size_) std::memset(buffer_ + size_, 0, position_ - size_);
    std::memcpy(buffer_ + position_, buffer, static_cast<std::size_t>(*bytes));
    position_ = static_cast<std::size_t>(*end);
    if (position_ > size_) size_ = position_;
    return count;
}

bool CRasterMemFile::Seek(long offset, int origin) {
    if (!buffer_) return false;
    std::int64_t base = 0;
    switch (origin) {
        case 0: base = 0; break;
        case 1: base = static_cast<std::int64_t>(position_); break;
        case 2: base = static_cast<std::int64_t>(size_); break;
        default: return false;
    }
    std::int64_t target = 0;
    if (__builtin_add_overflow(base, static_cast<std::int64_t>(offset), &target)) return false;
    if (target < 0) target = 0;
    if (static_cast<std::uint64_t>(target) > kMaxMemFileBytes) return false;
    position_ = static_cast<std::size_t>(target);
    return true;
}

long CRasterMemFile::Tell() { return buffer_ ? static_cast<long>(position_) : -1; }
long CRasterMemFile::Size() { return buffer_ ? static_cast<long>(size_) : -1; }
bool CRasterMemFile::Flush() { return buffer_ != nullptr; }
bool CRasterMemFile::Eof() { return !buffer_ || position_ >= size_; }
long CRasterMemFile::Error() {
    if (!buffer_) return -1;
    return position_ > size_ ? 1 : 0;
}

bool CRasterMemFile::PutC(unsigned char c) {
    if (!buffer_) return false;
    if (position_ >= capacity_ && !Alloc(position_ + 1)) return false;
    if (position_ > size_) std::memset(buffer_ + size_, 0, position_ - size_);
    buffer_[position_++] = c;
    if (position_ > size_) size_ = position_;
    return true;
}

long CRasterMemFile::GetC() {
    if (Eof()) return -1;
    return buffer_[position_++];
}

char* CRasterMemFile::GetS(char* buffer, int n) {
    if (!buffer || n <= 0) return nullptr;
    int i = 0;
    while (i < n - 1) {
        const long c = GetC();
        if (c < 0) {
            buffer[i] = '\0';
            return nullptr;
        }
        buffer[i++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    buffer[i] = '\0';
    return buffer;
}

long CRasterMemFile::Scanf(const char*, void*) { return 0; }
