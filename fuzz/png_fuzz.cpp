// libFuzzer target: the PNG decoder on arbitrary bytes, then a write-and-read-back check.
#include "fuzz/codec_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return lumi::fuzz::FuzzDecoder(data, size, kRasterTypePng);
}
