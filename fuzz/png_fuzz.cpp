// libFuzzer target: the PNG decoder on arbitrary bytes, then a write-and-read-back check.
// Mutations get their chunk checksums repaired, or almost every input would stop at the
// first CRC check instead of reaching the decoder.
#include <zlib.h>

#include "fuzz/codec_fuzz.h"

extern "C" size_t LLVMFuzzerMutate(std::uint8_t* data, size_t size, size_t maxSize);

namespace {

std::uint32_t ReadBigEndian(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

void FixChunkChecksums(std::uint8_t* data, size_t size) {
    constexpr size_t kSignatureBytes = 8;
    for (size_t p = kSignatureBytes; p + 12 <= size;) {
        const std::uint32_t length = ReadBigEndian(data + p);
        if (length > size - p - 12) break;
        const uLong crc = crc32(0, data + p + 4, length + 4);
        std::uint8_t* out = data + p + 8 + length;
        for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
        p += 12 + length;
    }
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(std::uint8_t* data, size_t size, size_t maxSize, unsigned int) {
    size = LLVMFuzzerMutate(data, size, maxSize);
    FixChunkChecksums(data, size);
    return size;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return lumi::fuzz::FuzzDecoder(data, size, kRasterTypePng);
}
