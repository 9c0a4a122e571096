// Fuzzes compiling particle scripts into an emitter of the current build, seeded with the
// corpus of scripts the tests use (particle_compile_fuzz.h says what each input must keep).
#include "fuzz/particle_compile_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return lumi::fuzz::CompileOneInput(data, size);
}
