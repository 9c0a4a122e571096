// Fuzzes compiling particle scripts into an emitter of the legacy build, whose lexer numbers
// its tokens apart and whose reader and writer know a smaller language; seeded with the
// legacy corpus of scripts the tests use (particle_compile_fuzz.h says what each input must
// keep).
#include "core/build_variant.h"
#include "fuzz/particle_compile_fuzz.h"

static_assert(lumi::kLegacy, "links the legacy build's library");

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return lumi::fuzz::CompileOneInput(data, size);
}
