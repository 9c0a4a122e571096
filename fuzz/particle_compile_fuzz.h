#pragma once
// The particle compile targets' one input, in the build whose library the target links (the
// current build's, or the legacy build's with its smaller language): whatever the text, a
// compile either succeeds or leaves a message; and what the emitter then holds (all of it, or
// what a failed compile kept) is written as text that compiles to as many beams, sounds and
// events.
#include <cstddef>
#include <cstdint>
#include <string>

#include "particle/particle_beam.h"
#include "particle/particle_emitter.h"
#include "particle/particle_event.h"

namespace lumi::fuzz {

[[noreturn]] inline void Fail() { __builtin_trap(); }

// Events of all the emitter's beams, chains included.
inline std::size_t EventCount(CParticleEmitter& emitter) {
    std::size_t count = 0;
    auto add = [&count](const auto& chains) {
        for (CEventBase* head : chains)
            for (CEventBase* event = head; event != nullptr; event = event->GetNextInChain()) ++count;
    };
    for (std::int32_t i = 0; i < emitter.GetBeamCount(); ++i) {
        CParticleBeam* beam = emitter.GetBeam(static_cast<std::uint32_t>(i));
        add(beam->GetParticleEvents());
        add(beam->GetBeamEvents());
    }
    return count;
}

inline int CompileOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 16)) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    CParticleEmitter emitter(nullptr, nullptr, nullptr);
    if (!emitter.Compile(text.c_str()) && emitter.GetCompileError().empty()) Fail();

    std::string written;
    emitter.WriteScript(written);
    CParticleEmitter again(nullptr, nullptr, nullptr);
    if (!again.Compile(written.c_str())) Fail();
    if (again.GetBeamCount() != emitter.GetBeamCount() || again.GetSoundCount() != emitter.GetSoundCount() ||
        EventCount(again) != EventCount(emitter))
        Fail();
    return 0;
}

}  // namespace lumi::fuzz
