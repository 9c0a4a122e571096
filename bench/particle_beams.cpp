// Particle beams: 10,000 live particles in 10 beams, every particle with size, colour and
// velocity events.
//
// BM_BeamUpdate: frames of the beams' Update (the frame clock at 60 frames per second), in
// two shapes: "steady", circle particles whose event timeline loops (no births or deaths), and
// "churn", particles of 1.5 to 2.5 s replaced as they die. Counter: particle updates per
// second. Beside it, BM_PlainParticleLoop: the floor, a loop that only integrates velocity
// and position over the same particle records.
//
// BM_QuadFrame: frames that draw the beams through the alpha-blended processor of a renderer
// on the software device with its rasteriser off (the particle command's path: AppendToBatch,
// upload, draw calls; the same host as bench_sprite_submit, whose BM_EmptyFrame is what such a
// frame costs without them); BM_QuadAppend: AppendToBatch alone into a node. Counter: quads per
// second. Beside them, BM_MemcpyPerQuad: each quad's 108 bytes of vertices and indices copied.
//
// Built a second time against the legacy library (bench_particle_beams_legacy): its beams'
// update, without a texture, so without the batches it prepares for one.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "core/frame_clock.h"
#include "core/lumiscriber.h"
#include "core/lumiscriber_api.h"
#include "core/viewport.h"
#include "draw/alpha_processor.h"
#include "draw/draw_commands.h"
#include "image/raster.h"
#include "particle/particle.h"
#include "particle/particle_beam.h"
#include "particle/particle_event.h"
#include "platform/d3d9/control.h"
#include "platform/ddraw/control.h"
#include "platform/dxdiag/control.h"
#include "platform/win32/window.h"

namespace {

constexpr int kBeams = 10;
constexpr std::uint32_t kParticlesPerBeam = 1000;
constexpr std::uint32_t kFrameMs = 16;
constexpr std::size_t kBytesPerQuad = 4 * sizeof(vertex_t) + 6 * sizeof(std::uint16_t);

// The frame clock one frame on, as the renderer's frame loop moves it. One clock for every
// beam of the program, so that it never goes back.
void NextFrame() {
    static std::uint32_t nowMs = 1000;
    nowMs += kFrameMs;
    EndFrameClock();
    AdvanceFrameClock(nowMs);
}

void AddEvent(CParticleBeam& beam, const char* keyword, std::int32_t type, const void* value, float time, bool fade) {
    CParticleEvent* event = CreateParticleEvent(keyword);
    event->SetValue(type, false, value);
    event->TimeRange() = {time, time, 0.0f};
    event->SetFade(fade);
    beam.AddParticleEvent(event);
}

// A beam of kParticlesPerBeam particles flying out in every direction under gravity, growing
// from a random size to 2, fading from orange to transparent red and pushed sideways halfway.
// A steady beam's particles never die and replay their events every second of their life.
std::unique_ptr<CParticleBeam> MakeBeam(bool steady, CTexMgr* texMgr) {
    auto beam = std::make_unique<CParticleBeam>(nullptr, texMgr);
    beam->SetNumParticles(kParticlesPerBeam);
    const value_range_t rate{1000.0f, 1000.0f, 0.0f}, life{1.5f, 2.5f, 0.0f}, speed{50.0f, 100.0f, 0.0f},
        angle{0.0f, 360.0f, 0.0f};
    const xyz_range_t gravity{{0.0f, 50.0f, 0.0f}, {0.0f, 50.0f, 0.0f}, {}};
    beam->SetEmitRate(&rate);
    beam->SetLifeTime(&life);
    beam->SetEmitSpeed(&speed);
    beam->SetEmitAngle(&angle);
    beam->SetGravity(&gravity);
    beam->SetCircleBeam(steady ? 1 : 0);
    const value_range_t startSize{8.0f, 16.0f, 0.0f};
    auto* size = CreateParticleEvent("SIZE");
    size->SetValue(kEventValueSingle, true, &startSize);
    beam->AddParticleEvent(size);
    const float endSize = 2.0f, push = 30.0f, loop = 0.0f;
    const color4_t orange{1.0f, 0.8f, 0.2f, 1.0f}, clear{1.0f, 0.0f, 0.0f, 0.0f};
    AddEvent(*beam, "SIZE", kEventValueSingle, &endSize, 1.0f, true);
    AddEvent(*beam, "COLOR", kEventValueColor, &orange, 0.0f, false);
    AddEvent(*beam, "COLOR", kEventValueColor, &clear, 1.0f, true);
    AddEvent(*beam, "VELOCITYX", kEventValueSingle, &push, 0.5f, false);
    if (steady) AddEvent(*beam, "EVENTTIMER", kEventValueSingle, &loop, 1.0f, false);
    beam->SortEvents();
    beam->LinkEvents();
    return beam;
}

// Ten beams, run until each holds its full count.
struct Beams {
    Beams(bool steady, CTexMgr* texMgr = nullptr) {
        for (int i = 0; i < kBeams; ++i) beams.push_back(MakeBeam(steady, texMgr));
        for (int frame = 0; frame < 240 && Live() < kBeams * kParticlesPerBeam; ++frame) Frame();
    }
    void Frame() {
        NextFrame();
        for (auto& beam : beams) beam->Update(kFrameMs / 1000.0f, 320.0f, 240.0f, 0.0f, 0, 1.0f, 0.0f, 0.0f);
    }
    std::uint64_t Live() const {
        std::uint64_t live = 0;
        for (const auto& beam : beams) live += static_cast<std::uint64_t>(beam->LiveParticles().Count());
        return live;
    }

    std::vector<std::unique_ptr<CParticleBeam>> beams;
};

// The beams of one shape, made once: the update and its floor walk the same records in the
// same order (the order of a list depends on what the pool handed out before).
Beams& BeamsOfShape(bool steady) {
    static Beams steadyBeams(true);
    static Beams churningBeams(false);
    return steady ? steadyBeams : churningBeams;
}

void BM_BeamUpdate(benchmark::State& state) {
    SeedParticleRandom(1);
    const bool steady = state.range(0) == 1;
    Beams& beams = BeamsOfShape(steady);
    std::uint64_t updates = 0;
    for (auto _ : state) {
        updates += beams.Live();
        beams.Frame();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(updates));
    state.counters["particle_updates_per_s"] = benchmark::Counter(static_cast<double>(updates), benchmark::Counter::kIsRate);
    state.counters["live"] = static_cast<double>(beams.Live());
    state.SetLabel(steady ? "steady" : "churn");
}
BENCHMARK(BM_BeamUpdate)->ArgName("steady")->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// The floor of an update: velocity and position integrated over the same records, walked
// as the beams walk them (the next record fetched ahead).
void BM_PlainParticleLoop(benchmark::State& state) {
    const bool steady = state.range(0) == 1;
    Beams& beams = BeamsOfShape(steady);
    const float t = kFrameMs / 1000.0f;
    std::uint64_t updates = 0;
    for (auto _ : state) {
        for (auto& beam : beams.beams) {
            lru_list_t& live = beam->LiveParticles();
            for (lru_obj_s* node = lru_obj_s::Next(&live); node != &live; node = lru_obj_s::Next(node)) {
                PrefetchParticle(node->next);
                CParticle& p = *CParticle::FromNode(node);
                p.velocity.y += 50.0f * t;
                p.position.x += p.velocity.x * t;
                p.position.y += p.velocity.y * t;
                p.age += t;
                ++updates;
            }
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(updates));
    state.counters["particle_updates_per_s"] = benchmark::Counter(static_cast<double>(updates), benchmark::Counter::kIsRate);
    state.SetLabel(steady ? "steady" : "churn");
}
BENCHMARK(BM_PlainParticleLoop)->ArgName("steady")->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// ---- Quads ----------------------------------------------------------------------------------------
// The current build's path only: the legacy beam prepares its batches in its update, and its
// program (bench_particle_beams_legacy) measures the update.
#if !LUMI_LEGACY

// The beams of the benchmark as the alpha-blended processor sees them.
class BeamEmitter final : public IAlphaBatchEmitter {
public:
    explicit BeamEmitter(Beams& beams) : beams_(beams) {}
    bool IsLoaded() override { return true; }
    std::int32_t GetBeamCount() override { return static_cast<std::int32_t>(beams_.beams.size()); }
    IAlphaBatchBeam* GetBeam(std::int32_t index) override { return beams_.beams[static_cast<std::size_t>(index)].get(); }

private:
    Beams& beams_;
};

// One renderer on a window for the whole program, its device drawing nothing, and the
// steady beams on a 16 x 16 texture it loaded.
class Host {
public:
    static Host& Get() {
        static Host host;
        return host;
    }
    bool Ready() const { return beams_ != nullptr && beams_->beams.front()->IsDrawn(); }
    CLumiscriber* Renderer() const { return renderer_; }
    Beams& GetBeams() { return *beams_; }

private:
    Host() {
        std::filesystem::create_directories("logs");
        ddrawctl::Install();
        dxdiagctl::Install();
        window_ = win32::CreateTestWindow(u"particle benchmark", 0, 0, 640, 480);
        STRU_RENDERER_PARAM param{};
        param.Window = window_;
        param.Width = 640;
        param.Height = 480;
        param.BitsPerPixel = 32;
        param.Quality = 1;
        param.Windowed = 1;
        renderer_ = static_cast<CLumiscriber*>(CreateLumiscriber(&param));
        if (renderer_ == nullptr) return;
        d3d9ctl::SetRasterizationEnabled(false);
        CRaster image(16, 16, 24, kRasterTypePng);
        image.CreateAlpha();
        image.Save(u"particle-bench.png", kRasterTypePng);
        SeedParticleRandom(1);
        beams_ = std::make_unique<Beams>(true, renderer_->GetTexMgr());
        for (auto& beam : beams_->beams) beam->SetTexture(u"particle-bench.png");
        // The texture loads in the background.
        for (int i = 0; i < 2000 && !beams_->beams.front()->IsDrawn(); ++i) {
            beams_->Frame();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        SetAlphaBatchEmitterFn([](CParticleEmitter* emitter) -> IAlphaBatchEmitter* {
            return reinterpret_cast<BeamEmitter*>(emitter);
        });
    }
    ~Host() {
        SetAlphaBatchEmitterFn(nullptr);
        beams_.reset();
        if (renderer_ != nullptr) ReleaseLumiscriber(renderer_);
        win32::DestroyAllWindows();
        std::filesystem::remove("particle-bench.png");
    }

    HWND window_ = nullptr;
    CLumiscriber* renderer_ = nullptr;
    std::unique_ptr<Beams> beams_;
};

void BM_QuadFrame(benchmark::State& state) {
    Host& host = Host::Get();
    if (!host.Ready()) {
        state.SkipWithError("the renderer or the beams' texture could not be made");
        return;
    }
    CLumiscriber* renderer = host.Renderer();
    BeamEmitter emitter(host.GetBeams());
    STRU_PARTICLE_COMMAND* command = AllocParticleCommand();
    command->emitter = reinterpret_cast<CParticleEmitter*>(&emitter);
    const std::uint64_t quads = host.GetBeams().Live();
    const std::uint64_t drawsBefore = d3d9ctl::GetCounters().drawCalls;
    for (auto _ : state) {
        renderer->OnFrameBegin();
        renderer->BeginScene();
        command->sequence = renderer->NextDrawSequence();
        renderer->GetCurrentViewport()->AddDrawCommand(command);
        renderer->EndScene(true);
        renderer->OnFrameEnd();
    }
    const double total = static_cast<double>(quads) * static_cast<double>(state.iterations());
    state.SetItemsProcessed(static_cast<std::int64_t>(total));
    state.counters["quads_per_s"] = benchmark::Counter(total, benchmark::Counter::kIsRate);
    state.counters["draws_per_frame"] = static_cast<double>(d3d9ctl::GetCounters().drawCalls - drawsBefore) /
                                        static_cast<double>(state.iterations());
    command->emitter = nullptr;
    FreeDrawCommand(command);
}
BENCHMARK(BM_QuadFrame)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_QuadAppend(benchmark::State& state) {
    Host& host = Host::Get();
    if (!host.Ready()) {
        state.SkipWithError("the renderer or the beams' texture could not be made");
        return;
    }
    viewport_t* viewport = host.Renderer()->GetCurrentViewport();
    PrimitiveData node;
    std::uint64_t quads = 0;
    for (auto _ : state) {
        for (auto& beam : host.GetBeams().beams) {
            node.ClearBatch();
            beam->AppendToBatch(node, true, *viewport, kDepthStep16);
            quads += static_cast<std::uint64_t>(node.arrays.VertexCount() / 4);
        }
        benchmark::DoNotOptimize(node.arrays.Vertices());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(quads));
    state.counters["quads_per_s"] = benchmark::Counter(static_cast<double>(quads), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_QuadAppend)->Unit(benchmark::kMicrosecond);
#endif

// The floor: each quad's vertices and indices copied into a frame-sized buffer.
void BM_MemcpyPerQuad(benchmark::State& state) {
    const std::size_t count = kBeams * kParticlesPerBeam;
    std::vector<unsigned char> quad(kBytesPerQuad);
    for (std::size_t i = 0; i < quad.size(); ++i) quad[i] = static_cast<unsigned char>(i);
    std::vector<unsigned char> buffer(kBytesPerQuad * count);
    for (auto _ : state) {
        unsigned char* out = buffer.data();
        for (std::size_t i = 0; i < count; ++i) {
            quad[0] = static_cast<unsigned char>(i);  // a quad of its own each time
            std::memcpy(out, quad.data(), kBytesPerQuad);
            out += kBytesPerQuad;
        }
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    const double total = static_cast<double>(state.iterations()) * static_cast<double>(count);
    state.SetBytesProcessed(static_cast<std::int64_t>(total * kBytesPerQuad));
    state.counters["quads_per_s"] = benchmark::Counter(total, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MemcpyPerQuad)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
