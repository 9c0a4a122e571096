// Fuzzes CRasterMemFile with a sequence of operations and checks every result against a
// plain model of the stream (a byte vector, a position, the capacity and ownership).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/raster_mem_file.h"

namespace {

constexpr std::size_t kMaxPosition = 0x7FFFFFFF;

struct Model {
    bool held = false;
    bool owns = false;
    std::vector<unsigned char> data;
    std::size_t position = 0;
    std::size_t capacity = 0;

    bool Eof() const { return !held || position >= data.size(); }
    bool Grow(std::size_t needed) {
        if (capacity >= needed) return true;
        capacity = (needed & ~std::size_t{0xFFFF}) + 0x10000;
        owns = true;
        return true;
    }
    void Store(const unsigned char* bytes, std::size_t n) {
        if (position > data.size()) data.resize(position, 0);
        if (position + n > data.size()) data.resize(position + n);
        std::memcpy(data.data() + position, bytes, n);
        position += n;
    }
};

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return used_ >= size_; }
    std::uint8_t Byte() { return used_ < size_ ? data_[used_++] : 0; }
    std::uint16_t Word() { return static_cast<std::uint16_t>(Byte() | (Byte() << 8)); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t used_ = 0;
};

[[noreturn]] void Mismatch() { std::abort(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    Model model;
    std::vector<unsigned char> callerBytes;
    std::vector<unsigned char*> detached;
    CRasterMemFile* file = nullptr;
    if (in.Byte() & 1) {
        callerBytes.resize(in.Byte() + 1);
        for (auto& b : callerBytes) b = in.Byte();
        file = new CRasterMemFile(callerBytes.data(), static_cast<unsigned>(callerBytes.size()));
        model.held = true;
        model.data = callerBytes;
        model.capacity = callerBytes.size();
    } else {
        file = new CRasterMemFile();
    }

    // The largest read or write: 8-byte items, 129 of them.
    unsigned char scratch[8 * 129];
    while (!in.empty()) {
        switch (in.Byte() % 9) {
            case 0: {  // Open
                const bool ok = file->Open();
                if (ok != !model.held) Mismatch();
                if (ok) model = Model{true, true, {}, 0, 0};
                break;
            }
            case 1: {  // Write
                const unsigned itemSize = in.Byte() % 9, count = in.Byte() % 130;
                std::memset(scratch, in.Byte(), sizeof(scratch));
                const unsigned got = file->Write(scratch, itemSize, count);
                const std::size_t n = static_cast<std::size_t>(itemSize) * count;
                unsigned expected = 0;
                if (model.held && n && model.position + n <= kMaxPosition) {
                    if (model.position + n > model.capacity) model.Grow(model.position + n);
                    model.Store(scratch, n);
                    expected = count;
                }
                if (got != expected) Mismatch();
                break;
            }
            case 2: {  // Read
                const unsigned itemSize = in.Byte() % 9, count = in.Byte() % 130;
                const unsigned got = file->Read(scratch, itemSize, count);
                const std::size_t n = static_cast<std::size_t>(itemSize) * count;
                unsigned expected = 0;
                if (model.held && n && model.position < model.data.size()) {
                    const std::size_t copied = std::min(n, model.data.size() - model.position);
                    if (std::memcmp(scratch, model.data.data() + model.position, copied) != 0) Mismatch();
                    model.position += copied;
                    expected = static_cast<unsigned>(copied / itemSize);
                }
                if (got != expected) Mismatch();
                break;
            }
            case 3: {  // Seek (small offsets: a far seek followed by a write would need GBs)
                const int origin = in.Byte() % 4;
                const long offset = static_cast<std::int16_t>(in.Word());
                const bool ok = file->Seek(offset, origin);
                bool expected = model.held && origin <= 2;
                if (expected) {
                    const long long base = origin == 0 ? 0 : origin == 1 ? static_cast<long long>(model.position)
                                                                          : static_cast<long long>(model.data.size());
                    long long target = base + offset;
                    if (target < 0) target = 0;
                    model.position = static_cast<std::size_t>(target);
                }
                if (ok != expected) Mismatch();
                break;
            }
            case 4: {  // GetC
                const long c = file->GetC();
                const long expected = model.Eof() ? -1 : model.data[model.position++];
                if (c != expected) Mismatch();
                break;
            }
            case 5: {  // PutC
                const unsigned char c = in.Byte();
                const bool ok = file->PutC(c);
                if (ok != model.held) Mismatch();
                if (ok) {
                    if (model.position >= model.capacity) model.Grow(model.position + 1);
                    model.Store(&c, 1);
                }
                break;
            }
            case 6: {  // GetS
                const int n = in.Byte() % 40;
                char line[64];
                char* got = file->GetS(line, n);
                std::size_t i = 0;
                bool complete = n > 0;
                while (complete && static_cast<int>(i) < n - 1) {
                    if (model.Eof()) {
                        complete = false;
                        break;
                    }
                    const unsigned char c = model.data[model.position++];
                    if (static_cast<unsigned char>(line[i]) != c) Mismatch();
                    ++i;
                    if (c == '\n') break;
                }
                if ((got != nullptr) != complete) Mismatch();
                break;
            }
            case 7: {  // Close
                if (!file->Close()) Mismatch();
                if (model.held && model.owns) model = Model{};
                break;
            }
            case 8: {  // GetBuffer, maybe detached
                const bool detach = in.Byte() & 1;
                unsigned char* buffer = file->GetBuffer(detach);
                if ((buffer != nullptr) != model.held) Mismatch();
                if (detach && buffer && model.owns) detached.push_back(buffer);
                if (detach) model.owns = false;
                break;
            }
        }
        if (file->Tell() != (model.held ? static_cast<long>(model.position) : -1)) Mismatch();
        if (file->Size() != (model.held ? static_cast<long>(model.data.size()) : -1)) Mismatch();
        if (file->Eof() != model.Eof()) Mismatch();
        if (file->Error() != (!model.held ? -1 : model.position > model.data.size() ? 1 : 0)) Mismatch();
        if (model.held && file->Capacity() != model.capacity) Mismatch();
    }
    delete file;
    for (unsigned char* buffer : detached) std::free(buffer);
    return 0;
}
