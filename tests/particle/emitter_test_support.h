#pragma once
// Shared helpers of the emitter tests: the corpus of particle scripts written for the tests
// (tests/particle/scripts), emitters made apart from any renderer, and compiling text.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "particle/particle_beam.h"
#include "particle/particle_emitter.h"
#include "particle/particle_event.h"
#include "particle/particle_sound.h"

namespace lumi::test {

// The corpus folder (set by the build).
inline std::filesystem::path CorpusFolder() { return LUMI_PARTICLE_SCRIPTS; }

// The corpus scripts' file names, in name order.
inline std::vector<std::string> CorpusNames() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(CorpusFolder()))
        if (entry.path().extension() == ".pes") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

inline std::string ReadTextFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

inline std::string CorpusScript(const std::string& name) { return ReadTextFile(CorpusFolder() / name); }

using EmitterPtr = std::unique_ptr<CParticleEmitter>;

// An emitter with no renderer behind it: no texture manager, no file callbacks.
inline EmitterPtr NewEmitter(IHostSoundSystem* sound = nullptr) {
    return std::make_unique<CParticleEmitter>(sound, nullptr, nullptr);
}

// A new emitter that compiled `text`; a failure is reported with the reader's message.
inline EmitterPtr Compiled(const std::string& text) {
    EmitterPtr emitter = NewEmitter();
    EXPECT_TRUE(emitter->Compile(text.c_str())) << emitter->GetCompileError();
    return emitter;
}

// The text of a script whose system block holds `body`.
inline std::string Script(const std::string& body) { return "PARTICLEEMITTER \"test\" 1 {\n" + body + "\n}\n"; }

// Every event of the beam of one kind (6 to 22 particle events, 0 to 5 beam events), in the
// order of the beam's lists.
inline std::vector<CEventBase*> EventsOf(CParticleBeam& beam, std::int32_t kind) {
    std::vector<CEventBase*> events;
    auto collect = [&](auto& chains) {
        for (CEventBase* head : chains)
            for (CEventBase* event = head; event != nullptr; event = event->GetNextInChain())
                if (event->GetEventType() == kind) events.push_back(event);
    };
    collect(beam.GetParticleEvents());
    collect(beam.GetBeamEvents());
    return events;
}

}  // namespace lumi::test
