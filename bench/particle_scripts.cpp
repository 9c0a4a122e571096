// Particle scripts and emitters.
//
// BM_CompileCorpus: every script of the tests' corpus compiled into a new emitter. Counter:
// scripts per second. Beside it, BM_TokenizeCorpus: the lexer alone over the same texts (the
// floor under any compile).
//
// BM_SaveCorpus: every corpus emitter saved to a file as a host saves an edited script.
// Counter: scripts per second. Beside it, BM_WriteCorpusText: the same texts written to the
// same files with fopen, fwrite and fclose (the floor under any save).
//
// BM_DemoFrame: the frame of the demo's emitters (fire, smoke, sparks, a circle beam and rain)
// through IRenderer: each emitter updated and drawn, on the software device with its rasteriser
// off. Beside it, BM_EmptyFrame: the same host's frame without them.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_renderer.h"
#include "image/raster.h"
#include "particle/particle_emitter.h"
#include "particle/script_lexer.h"
#include "platform/engine/resource_loader.h"
#include "platform/win32/text.h"
#include "platform/win32/time.h"

namespace {

const std::filesystem::path kCorpus = LUMI_PARTICLE_SCRIPTS;

std::vector<std::string> CorpusTexts() {
    std::vector<std::string> texts;
    for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
        if (entry.path().extension() != ".pes") continue;
        std::ifstream file(entry.path(), std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        texts.push_back(text.str());
    }
    return texts;
}

std::size_t TotalBytes(const std::vector<std::string>& texts) {
    std::size_t bytes = 0;
    for (const std::string& text : texts) bytes += text.size();
    return bytes;
}

void ReportScripts(benchmark::State& state, std::size_t scripts, std::size_t bytes) {
    const double iterations = static_cast<double>(state.iterations());
    state.counters["scripts_per_s"] =
        benchmark::Counter(iterations * static_cast<double>(scripts), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<std::int64_t>(iterations * static_cast<double>(bytes)));
}

void BM_CompileCorpus(benchmark::State& state) {
    const std::vector<std::string> texts = CorpusTexts();
    for (auto _ : state) {
        for (const std::string& text : texts) {
            CParticleEmitter emitter(nullptr, nullptr, nullptr);
            if (!emitter.Compile(text.c_str())) state.SkipWithError(emitter.GetCompileError().c_str());
            benchmark::DoNotOptimize(emitter.GetBeamCount());
        }
    }
    ReportScripts(state, texts.size(), TotalBytes(texts));
}
BENCHMARK(BM_CompileCorpus)->Unit(benchmark::kMicrosecond);

void BM_TokenizeCorpus(benchmark::State& state) {
    const std::vector<std::string> texts = CorpusTexts();
    for (auto _ : state) {
        for (const std::string& text : texts) {
            script_token_list_t tokens;
            Tokenize(text.c_str(), tokens);
            benchmark::DoNotOptimize(tokens.data());
        }
    }
    ReportScripts(state, texts.size(), TotalBytes(texts));
}
BENCHMARK(BM_TokenizeCorpus)->Unit(benchmark::kMicrosecond);

const std::filesystem::path kSaveFolder = std::filesystem::temp_directory_path() / "lumi-bench-scripts";

// The corpus compiled, and the file each emitter is saved to (in kSaveFolder).
struct SavedCorpus {
    std::vector<std::unique_ptr<CParticleEmitter>> emitters;
    std::vector<std::u16string> paths;
    std::vector<std::string> texts;  // what the emitters write
};

SavedCorpus CompiledCorpus() {
    SavedCorpus corpus;
    std::filesystem::create_directories(kSaveFolder);
    for (const std::string& text : CorpusTexts()) {
        auto emitter = std::make_unique<CParticleEmitter>(nullptr, nullptr, nullptr);
        emitter->Compile(text.c_str());
        std::string written;
        emitter->WriteScript(written);
        const std::string path = (kSaveFolder / ("script" + std::to_string(corpus.paths.size()) + ".pes")).string();
        corpus.paths.push_back(win32::Utf8ToUtf16(path));
        corpus.texts.push_back(std::move(written));
        corpus.emitters.push_back(std::move(emitter));
    }
    return corpus;
}

void BM_SaveCorpus(benchmark::State& state) {
    SavedCorpus corpus = CompiledCorpus();
    for (auto _ : state) {
        for (std::size_t i = 0; i < corpus.emitters.size(); ++i)
            if (!corpus.emitters[i]->Save(corpus.paths[i].c_str())) state.SkipWithError("a save failed");
    }
    ReportScripts(state, corpus.emitters.size(), TotalBytes(corpus.texts));
    std::filesystem::remove_all(kSaveFolder);
}
BENCHMARK(BM_SaveCorpus)->Unit(benchmark::kMicrosecond);

void BM_WriteCorpusText(benchmark::State& state) {
    SavedCorpus corpus = CompiledCorpus();
    std::vector<std::string> paths;
    for (const std::u16string& path : corpus.paths) paths.push_back(win32::Utf16ToUtf8(path));
    for (auto _ : state) {
        for (std::size_t i = 0; i < paths.size(); ++i) {
            FILE* file = std::fopen(paths[i].c_str(), "wb");
            if (file == nullptr) {
                state.SkipWithError("a file could not be opened");
                break;
            }
            std::fwrite(corpus.texts[i].data(), 1, corpus.texts[i].size(), file);
            std::fclose(file);
        }
    }
    ReportScripts(state, paths.size(), TotalBytes(corpus.texts));
    std::filesystem::remove_all(kSaveFolder);
}
BENCHMARK(BM_WriteCorpusText)->Unit(benchmark::kMicrosecond);

// The demo's emitters on a renderer of the demo's main window size, loaded, and burnt in so
// that the beams hold as many particles as they keep.
class DemoEmitters {
public:
    static DemoEmitters& Get() {
        static DemoEmitters emitters;
        return emitters;
    }
    bool Ready() const { return ready_; }
    BenchRenderer& Host() { return host_; }

    void Draw(int frame) {
        IRenderer* renderer = host_.Get();
        const int moving = 100 + (frame * 4) % 800;
        renderer->DrawEmitter(commands_[0], 300, 600, 0, 0, 0, 1.0f);
        renderer->DrawEmitter(commands_[1], 300, 560, 0, 0, 0, 1.0f);
        renderer->DrawEmitter(commands_[2], 700, 300, 0, 0, 0, 1.0f);
        renderer->DrawCircleEmitter(commands_[3], moving, 200, 0, 0, 0, 1.0f);
        renderer->DrawEmitter(commands_[4], 512, 100, 0, 0, 0, 1.0f);
    }

private:
    DemoEmitters() : host_(u"particle script benchmark", 1024, 768) {
        IRenderer* renderer = host_.Get();
        if (renderer == nullptr) return;
        CResourceLoader::GetSingleton().SetMode(CResourceLoader::Mode::Inline);
        std::filesystem::create_directories("particles");
        CRaster image(16, 16, 24, kRasterTypePng);
        image.CreateAlpha();
        image.Save(u"particles/soft.png", kRasterTypePng);
        for (const char* name : {"fire.pes", "smoke.pes", "sparks.pes", "circle.pes", "rain.pes"}) {
            STRU_DRAW_COMMAND_BASE* cmd = renderer->CreatePrimitive(kDrawCmdParticle);
            renderer->SetParticleEmitter(cmd, win32::Utf8ToUtf16((kCorpus / name).string()).c_str(), 0);
            commands_.push_back(cmd);
        }
        // Frames of 16 ms on the clock (a sleep lets it run), long enough for every beam to fill.
        for (int frame = 0; frame < 300; ++frame) {
            if (frame % 60 == 0) renderer->RestartEmitter(commands_[2], 0);
            host_.Frame([&] { Draw(frame); }, false);
            Sleep(16);
        }
        ready_ = renderer->GetParticleEmitter(commands_[0])->IsLoaded();
    }
    ~DemoEmitters() {
        if (host_.Get() != nullptr)
            for (STRU_DRAW_COMMAND_BASE* cmd : commands_) host_.Get()->ReleasePrimitive(cmd);
    }

    BenchRenderer host_;
    std::vector<STRU_DRAW_COMMAND_BASE*> commands_;
    bool ready_ = false;
};

void BM_DemoFrame(benchmark::State& state) {
    DemoEmitters& emitters = DemoEmitters::Get();
    if (!emitters.Ready()) {
        state.SkipWithError("the renderer or the emitters could not be made");
        return;
    }
    int frame = 0;
    const std::uint64_t primitivesBefore = d3d9ctl::GetCounters().primitives;
    for (auto _ : state) emitters.Host().Frame([&] { emitters.Draw(frame++); }, false);
    state.counters["frames_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["quads_per_frame"] = static_cast<double>(d3d9ctl::GetCounters().primitives - primitivesBefore) /
                                        2.0 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DemoFrame)->Unit(benchmark::kMicrosecond);

void BM_EmptyFrame(benchmark::State& state) {
    DemoEmitters& emitters = DemoEmitters::Get();
    if (!emitters.Ready()) {
        state.SkipWithError("the renderer could not be made");
        return;
    }
    for (auto _ : state) emitters.Host().Frame([] {}, false);
    state.counters["frames_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EmptyFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
