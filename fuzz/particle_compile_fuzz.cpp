// Fuzzes compiling particle scripts into an emitter, seeded with the corpus of scripts the
// tests use. Whatever the text, a compile either succeeds or leaves a message; and what the
// emitter then holds (all of it, or what a failed compile kept) is written as text that
// compiles.
#include <cstddef>
#include <cstdint>
#include <string>

#include "particle/particle_emitter.h"

namespace {

[[noreturn]] void Fail() { __builtin_trap(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 16)) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    CParticleEmitter emitter(nullptr, nullptr, nullptr);
    if (!emitter.Compile(text.c_str()) && emitter.GetCompileError().empty()) Fail();

    std::string written;
    emitter.WriteScript(written);
    CParticleEmitter again(nullptr, nullptr, nullptr);
    if (!again.Compile(written.c_str())) Fail();
    if (again.GetBeamCount() != emitter.GetBeamCount() || again.GetSoundCount() != emitter.GetSoundCount()) Fail();
    return 0;
}
