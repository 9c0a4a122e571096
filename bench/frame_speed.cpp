// The speed report, in one run and side by side with the baseline each figure is measured
// against:
//  - a full 1024x768 frame of 1,000, 10,000 and 50,000 sprites of 32x32 over 16 textures,
//    opaque and alpha-blended, drawn through IRenderer onto the software device with
//    rasterising on, against a plain scalar single-threaded loop in this file that draws the
//    same rectangles with the same texels into a 1024x768 buffer (and, for the opaque frames,
//    beside it the same loop with the depth test and write the device does);
//  - sprites per second through IRenderer with rasterising off (the device validates and
//    counts, touches no pixel), against memcpy of each sprite's vertex and index bytes; the
//    empty frame with rasterising off (the renderer's frame loop) and on (with the device's
//    clears and present, one thread);
//  - PNG and JPEG decoding through CRaster against the bare libraries on the same bytes, the
//    output allocated per decode in both, the two decoding in turns;
//  - the peak memory of the demo host (its whole run in a child process).
// Every case records CPU time (process-wide) and wall time per iteration; the summary after
// the table gives the median over the repetitions and the ratios.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_renderer.h"
#include "bench/decode_pictures.h"
#include "bench/quad_copy.h"
#include "draw/batch_processor.h"
#include "draw/texture.h"
#include "image/raster.h"
#include "platform/win32/window.h"

namespace {

constexpr int kWidth = 1024, kHeight = 768;
constexpr int kSide = 32;                 // sprite and texture side, pixels
constexpr int kTextures = 16;
constexpr int kMaxSprites = 50000;
constexpr D3DCOLOR kOpaqueColor = 0xFFFFFFFFu;
constexpr D3DCOLOR kAlphaColor = 0xC0FFFFFFu;  // modulates the texels' alpha
constexpr std::uint32_t kClearColor = 0xFF000000u;  // the renderer's default background
constexpr std::size_t kBytesPerSprite = 4 * sizeof(vertex_t) + 6 * sizeof(std::uint16_t);

// ---- timing and the summary ------------------------------------------------------------------

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

struct Sample {
    double cpu = 0, wall = 0;  // seconds per iteration
};

// Per case, one sample per repetition.
std::map<std::string, std::vector<Sample>>& Samples() {
    static std::map<std::string, std::vector<Sample>> samples;
    return samples;
}

// Times the benchmark loop of `state`, running `body` once per iteration, and records the
// per-iteration CPU and wall time under `key`.
template <class Body>
void Measure(benchmark::State& state, const std::string& key, Body body) {
    const double cpu0 = ProcessCpuSeconds();
    const auto wall0 = std::chrono::steady_clock::now();
    for (auto _ : state) body();
    const double n = static_cast<double>(state.iterations());
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wall0;
    Samples()[key].push_back({(ProcessCpuSeconds() - cpu0) / n, wall.count() / n});
}

Sample Median(const std::string& key) {
    auto it = Samples().find(key);
    if (it == Samples().end() || it->second.empty()) return {};
    std::vector<double> cpu, wall;
    for (const Sample& s : it->second) {
        cpu.push_back(s.cpu);
        wall.push_back(s.wall);
    }
    std::sort(cpu.begin(), cpu.end());
    std::sort(wall.begin(), wall.end());
    return {cpu[cpu.size() / 2], wall[wall.size() / 2]};
}

// ---- the sprites -------------------------------------------------------------------------------

// Texel (x, y) of texture t as 0xAARRGGBB; opaque textures carry alpha 0xFF.
std::uint32_t Texel(int t, int x, int y, bool alpha) {
    const std::uint32_t r = static_cast<std::uint32_t>(x * 8 + t * 16) & 0xFF;
    const std::uint32_t g = static_cast<std::uint32_t>(y * 8 + t * 5) & 0xFF;
    const std::uint32_t b = static_cast<std::uint32_t>((x ^ y) * 8 + t * 40) & 0xFF;
    const std::uint32_t a = alpha ? static_cast<std::uint32_t>((x + y) * 4 + t * 3) & 0xFF : 0xFF;
    return (a << 24) | (r << 16) | (g << 8) | b;
}

struct Placement {
    LONG x, y;
};

// Sprite i at a fixed pseudo-random place, wholly on the screen; sprite i uses texture i % 16.
const std::vector<Placement>& Placements() {
    static const std::vector<Placement> placements = [] {
        std::vector<Placement> p(kMaxSprites);
        std::uint32_t seed = 12345;
        auto next = [&seed](int range) {
            seed = seed * 1664525u + 1013904223u;
            return static_cast<LONG>((seed >> 8) % static_cast<std::uint32_t>(range));
        };
        for (Placement& at : p) {
            at.x = next(kWidth - kSide + 1);
            at.y = next(kHeight - kSide + 1);
        }
        return p;
    }();
    return placements;
}

// The renderer on a 1024x768 window, its 16 opaque and 16 alpha textures and one host-owned
// textured command per sprite and kind.
class Host {
public:
    static Host& Get() {
        static Host host;
        return host;
    }
    bool Ready() const { return renderer_ != nullptr && commands_[0].size() == kMaxSprites && commands_[1].size() == kMaxSprites; }
    IRenderer* Renderer() const { return renderer_; }
    HWND Window() const { return bench_.Window(); }

    // One frame as a host drives it: `count` sprites of the kind, drawn and presented.
    void DrawFrame(int count, bool alpha) {
        const std::vector<Placement>& at = Placements();
        const std::vector<STRU_DRAW_COMMAND_BASE*>& commands = commands_[alpha ? 1 : 0];
        const D3DCOLOR color = alpha ? kAlphaColor : kOpaqueColor;
        renderer_->OnFrameBegin();
        renderer_->BeginScene();
        for (int i = 0; i < count; ++i) {
            const RECT destination{at[i].x, at[i].y, at[i].x + kSide, at[i].y + kSide};
            renderer_->DrawTexturePrimitiveEx(commands[static_cast<std::size_t>(i)], at[i].x, at[i].y, color, &destination,
                                              nullptr);
        }
        renderer_->EndScene(true);
        renderer_->OnFrameEnd();
    }
    void EmptyFrame() {
        renderer_->OnFrameBegin();
        renderer_->BeginScene();
        renderer_->EndScene(true);
        renderer_->OnFrameEnd();
    }

private:
    Host() : bench_(u"frame speed", kWidth, kHeight), renderer_(bench_.Get()) {
        if (renderer_ == nullptr) return;
        std::vector<std::uint32_t> pixels(kSide * kSide);
        for (int kind = 0; kind < 2; ++kind) {
            const bool alpha = kind == 1;
            for (int t = 0; t < kTextures; ++t) {
                ITexture* texture = renderer_->CreateTexture(kSide, kSide, alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8, 0);
                if (texture == nullptr) return;
                for (int y = 0; y < kSide; ++y)
                    for (int x = 0; x < kSide; ++x) pixels[y * kSide + x] = Texel(t, x, y, alpha);
                texture->UpdateRect(pixels.data(), kSide, kSide, kSide * 4, 32, 0, 0);
                textures_[kind].push_back(texture);
            }
            for (int i = 0; i < kMaxSprites; ++i) {
                STRU_DRAW_COMMAND_BASE* cmd = renderer_->CreatePrimitive(5);
                if (cmd == nullptr) return;
                renderer_->AttachTexture(cmd, textures_[kind][static_cast<std::size_t>(i % kTextures)], 0);
                commands_[kind].push_back(cmd);
            }
        }
    }
    ~Host() {
        if (renderer_ == nullptr) return;
        for (auto& commands : commands_)
            for (STRU_DRAW_COMMAND_BASE* cmd : commands) renderer_->ReleasePrimitive(cmd);
        for (auto& textures : textures_)
            for (ITexture* texture : textures) renderer_->DestroyTexture(texture);
    }

    BenchRenderer bench_;
    IRenderer* renderer_;
    std::vector<ITexture*> textures_[2];
    std::vector<STRU_DRAW_COMMAND_BASE*> commands_[2];
};

const char* KindName(bool alpha) { return alpha ? "alpha" : "opaque"; }

// The host, or null with the case skipped when it could not be made.
Host* ReadyHost(benchmark::State& state) {
    Host& host = Host::Get();
    if (host.Ready()) return &host;
    state.SkipWithError("the renderer or its sprites could not be created");
    return nullptr;
}

std::string FrameKey(const char* what, int count, bool alpha) {
    return std::string(what) + " " + std::to_string(count) + " " + KindName(alpha);
}

// ---- the baseline: a plain scalar loop over the same rectangles --------------------------------

// The 16 textures' texels, as the renderer's textures hold them.
struct TexelSet {
    std::uint32_t texels[2][kTextures][kSide * kSide];
    TexelSet() {
        for (int kind = 0; kind < 2; ++kind)
            for (int t = 0; t < kTextures; ++t)
                for (int y = 0; y < kSide; ++y)
                    for (int x = 0; x < kSide; ++x) texels[kind][t][y * kSide + x] = Texel(t, x, y, kind == 1);
    }
};

// What a straightforward CPU renderer does per frame: clear, then each sprite's pixels in
// submission order; opaque sprites copy their texels, alpha sprites blend them over the
// target with the texel's alpha scaled by the colour's, rounded as 8-bit hardware rounds.
// Kept scalar on purpose: it is the yardstick, not a competitor.
__attribute__((optimize("no-tree-vectorize"))) void BlendLoopFrame(std::uint32_t* target, const TexelSet& set, int count,
                                                                     bool alpha) {
    for (int i = 0; i < kWidth * kHeight; ++i) target[i] = kClearColor;
    const std::vector<Placement>& at = Placements();
    const std::uint32_t colorAlpha = kAlphaColor >> 24;
    for (int i = 0; i < count; ++i) {
        const std::uint32_t* texels = set.texels[alpha ? 1 : 0][i % kTextures];
        for (int y = 0; y < kSide; ++y) {
            std::uint32_t* row = target + static_cast<std::ptrdiff_t>(at[i].y + y) * kWidth + at[i].x;
            const std::uint32_t* source = texels + y * kSide;
            for (int x = 0; x < kSide; ++x) {
                const std::uint32_t s = source[x];
                if (!alpha) {
                    row[x] = s | 0xFF000000u;
                    continue;
                }
                const std::uint32_t a = ((s >> 24) * colorAlpha + 127) / 255;
                const std::uint32_t d = row[x];
                std::uint32_t out = 0xFF000000u;
                for (int shift = 0; shift < 24; shift += 8) {
                    const std::uint32_t sc = (s >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
                    out |= ((sc * a + dc * (255 - a) + 127) / 255) << shift;
                }
                row[x] = out;
            }
        }
    }
}

// The same opaque frame with what Direct3D 9 does besides for the renderer's states: a D24S8
// depth buffer cleared with the target, each sprite nearer than the one before, its pixels
// tested LESSEQUAL against the stored depth and written to it (the stencil byte kept). Not a
// goal: it shows what the depth buffer costs a plain loop.
__attribute__((optimize("no-tree-vectorize"))) void DepthLoopFrame(std::uint32_t* target, std::uint32_t* depth,
                                                                     const TexelSet& set, int count) {
    for (int i = 0; i < kWidth * kHeight; ++i) {
        target[i] = kClearColor;
        depth[i] = 0xFFFFFF00u;
    }
    const std::vector<Placement>& at = Placements();
    for (int i = 0; i < count; ++i) {
        const std::uint32_t* texels = set.texels[0][i % kTextures];
        const auto z = static_cast<std::uint32_t>(kMaxSprites - i);
        for (int y = 0; y < kSide; ++y) {
            const std::ptrdiff_t start = static_cast<std::ptrdiff_t>(at[i].y + y) * kWidth + at[i].x;
            std::uint32_t* row = target + start;
            std::uint32_t* depthRow = depth + start;
            const std::uint32_t* source = texels + y * kSide;
            for (int x = 0; x < kSide; ++x) {
                if (z > depthRow[x] >> 8) continue;
                depthRow[x] = (z << 8) | (depthRow[x] & 0xFFu);
                row[x] = source[x] | 0xFF000000u;
            }
        }
    }
}

// ---- frames with rasterising on -----------------------------------------------------------------

// state.range(0): sprites; state.range(1): 1 alpha, 0 opaque; state.range(2): the software
// device's rasterising threads (0: one per core).
void BM_Frame(benchmark::State& state) {
    Host* ready = ReadyHost(state);
    if (ready == nullptr) return;
    Host& host = *ready;
    const int count = static_cast<int>(state.range(0));
    const bool alpha = state.range(1) != 0;
    const int threads = static_cast<int>(state.range(2));
    d3d9ctl::SetRasterizationEnabled(true);
    d3d9ctl::SetRasterThreadCount(threads);
    state.counters["threads"] = d3d9ctl::RasterThreadCount();
    host.DrawFrame(count, alpha);  // warm-up: buffers grown, atlas cells placed
    const std::uint64_t draws = d3d9ctl::GetCounters().drawCalls;
    host.DrawFrame(count, alpha);
    state.counters["draws_per_frame"] = static_cast<double>(d3d9ctl::GetCounters().drawCalls - draws);
    Measure(state, FrameKey(threads == 1 ? "frame" : "frame all cores", count, alpha), [&] { host.DrawFrame(count, alpha); });
    d3d9ctl::SetRasterizationEnabled(false);
    d3d9ctl::SetRasterThreadCount(1);

    // The presented frame against the baseline's pixels: the same rectangles must come out.
    static TexelSet set;
    std::vector<std::uint32_t> expected(static_cast<std::size_t>(kWidth) * kHeight);
    BlendLoopFrame(expected.data(), set, count, alpha);
    int width = 0, height = 0;
    const std::uint32_t* shown = win32::WindowPixels(host.Window(), &width, &height);
    double differing = -1;
    if (shown != nullptr && width == kWidth && height == kHeight) {
        differing = 0;
        for (std::size_t i = 0; i < expected.size(); ++i) differing += ((shown[i] ^ expected[i]) & 0xFFFFFFu) != 0;
    }
    state.counters["sprites_per_s"] = benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["pixels_unlike_baseline"] = differing;
    state.SetLabel(KindName(alpha));
}

void BM_BlendLoop(benchmark::State& state) {
    static TexelSet set;
    const int count = static_cast<int>(state.range(0));
    const bool alpha = state.range(1) != 0;
    std::vector<std::uint32_t> target(static_cast<std::size_t>(kWidth) * kHeight);
    Measure(state, FrameKey("loop", count, alpha), [&] {
        BlendLoopFrame(target.data(), set, count, alpha);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    });
    state.counters["sprites_per_s"] = benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate);
    state.SetLabel(KindName(alpha));
}

void BM_DepthLoop(benchmark::State& state) {
    static TexelSet set;
    const int count = static_cast<int>(state.range(0));
    std::vector<std::uint32_t> target(static_cast<std::size_t>(kWidth) * kHeight), depth(target.size());
    Measure(state, FrameKey("depth loop", count, false), [&] {
        DepthLoopFrame(target.data(), depth.data(), set, count);
        benchmark::DoNotOptimize(target.data());
        benchmark::DoNotOptimize(depth.data());
        benchmark::ClobberMemory();
    });
    state.SetLabel(KindName(false));
}

// ---- submission with rasterising off --------------------------------------------------------------

void BM_Submit(benchmark::State& state) {
    Host* ready = ReadyHost(state);
    if (ready == nullptr) return;
    Host& host = *ready;
    const int count = static_cast<int>(state.range(0));
    const bool alpha = state.range(1) != 0;
    d3d9ctl::SetRasterizationEnabled(false);
    d3d9ctl::SetRasterThreadCount(1);
    host.DrawFrame(count, alpha);
    Measure(state, FrameKey("submit", count, alpha), [&] { host.DrawFrame(count, alpha); });
    state.counters["sprites_per_s"] = benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate);
    state.SetLabel(KindName(alpha));
}

// What every frame costs besides its sprites. state.range(0) 0: rasterising off, the
// renderer's frame loop alone (the device's clear and present touch no pixel, as a GPU's cost
// the caller nothing); 1: rasterising on with one thread, the loop and the device's pixel work
// of a frame (colour and depth clear, and the present: the back buffer's memory handed to the
// window, the renderer's chain being a discarding one cleared whole every frame).
void BM_EmptyFrame(benchmark::State& state) {
    Host* host = ReadyHost(state);
    if (host == nullptr) return;
    const bool drawn = state.range(0) != 0;
    d3d9ctl::SetRasterizationEnabled(drawn);
    d3d9ctl::SetRasterThreadCount(1);
    host->EmptyFrame();
    Measure(state, drawn ? "empty frame drawn" : "empty frame", [&] { host->EmptyFrame(); });
    d3d9ctl::SetRasterizationEnabled(false);
    state.SetLabel(drawn ? "rasterising on, 1 thread" : "rasterising off");
}

void BM_MemcpyPerSprite(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    QuadCopy copy(kBytesPerSprite, count);
    Measure(state, "memcpy " + std::to_string(count), [&] { copy.Frame(); });
    state.counters["sprites_per_s"] = benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate);
}

// ---- decoders --------------------------------------------------------------------------------------

constexpr DWORD kImageSide = 1024;

enum class Picture { kPngRgba, kPngRgb, kJpeg };

const std::vector<BYTE>& PictureFile(Picture picture) {
    static const std::vector<BYTE> files[3] = {EncodePicture(kImageSide, true, kRasterTypePng),
                                               EncodePicture(kImageSide, false, kRasterTypePng),
                                               EncodePicture(kImageSide, false, kRasterTypeJpg)};
    return files[static_cast<int>(picture)];
}

const char* PictureName(Picture picture) {
    switch (picture) {
    case Picture::kPngRgba: return "png rgba";
    case Picture::kPngRgb: return "png rgb";
    default: return "jpeg";
    }
}

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

bool DecodeThroughCRaster(Picture picture, const std::vector<BYTE>& file) {
    CRaster image;
    const DWORD type = picture == Picture::kJpeg ? kRasterTypeJpg : kRasterTypePng;
    const bool ok = image.Decode(const_cast<BYTE*>(file.data()), static_cast<DWORD>(file.size()), type);
    benchmark::DoNotOptimize(image.GetBits());
    return ok;
}

bool DecodeThroughTheLibrary(Picture picture, const std::vector<BYTE>& file) {
    std::unique_ptr<BYTE[]> pixels;
    const bool ok = picture == Picture::kJpeg ? BareLibjpeg(file, &pixels) : BareLibpng(file, &pixels);
    benchmark::DoNotOptimize(pixels.get());
    return ok;
}

// CRaster and the bare library decode the same bytes in turns, each timed on its own, so that
// a change in the machine's load falls on both alike.
void BM_Decode(benchmark::State& state) {
    const auto picture = static_cast<Picture>(state.range(0));
    const std::vector<BYTE>& file = PictureFile(picture);
    double ours = 0, bare = 0;
    bool failed = false;
    std::int64_t n = 0;
    for (auto _ : state) {
        const bool oursFirst = n++ % 2 == 0;
        for (int turn = 0; turn < 2; ++turn) {
            const double start = ThreadCpuSeconds();
            const bool throughCRaster = (turn == 0) == oursFirst;
            const bool ok = throughCRaster ? DecodeThroughCRaster(picture, file) : DecodeThroughTheLibrary(picture, file);
            (throughCRaster ? ours : bare) += ThreadCpuSeconds() - start;
            failed = failed || !ok;
        }
    }
    if (failed) state.SkipWithError("a decode failed");
    const double count = static_cast<double>(state.iterations());
    Samples()[std::string("craster ") + PictureName(picture)].push_back({ours / count, 0});
    Samples()[std::string("bare ") + PictureName(picture)].push_back({bare / count, 0});
    state.counters["craster_ms"] = ours / count * 1e3;
    state.counters["bare_ms"] = bare / count * 1e3;
    state.counters["ratio"] = bare > 0 ? ours / bare : 0;
    state.SetLabel(PictureName(picture));
}

constexpr int kRepetitions = 5;

BENCHMARK(BM_Frame)
    ->ArgNames({"sprites", "alpha", "threads"})
    ->ArgsProduct({{1000, 10000, 50000}, {0, 1}, {1, 0}})
    ->Repetitions(kRepetitions)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_BlendLoop)
    ->ArgNames({"sprites", "alpha"})
    ->ArgsProduct({{1000, 10000, 50000}, {0, 1}})
    ->Repetitions(kRepetitions)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_DepthLoop)
    ->ArgNames({"sprites"})
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(50000)
    ->Repetitions(kRepetitions)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_Submit)
    ->ArgNames({"sprites", "alpha"})
    ->ArgsProduct({{10000, 50000}, {0, 1}})
    ->Repetitions(kRepetitions)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_EmptyFrame)->ArgNames({"drawn"})->Arg(0)->Arg(1)->Repetitions(kRepetitions)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_MemcpyPerSprite)->Arg(10000)->Arg(50000)->Repetitions(kRepetitions)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Decode)->DenseRange(0, 2)->Repetitions(kRepetitions)->Unit(benchmark::kMillisecond);

// ---- the demo's peak memory ----------------------------------------------------------------------

#ifdef LUMI_DEMO_PATH
// Resident kilobytes of a running process by what they map: anonymous memory (heap, the
// software device's surfaces and buffers, pools) and each mapped file (code, libraries, fonts).
std::map<std::string, long> ResidentByMapping(pid_t pid) {
    std::map<std::string, long> kib;
    std::FILE* smaps = std::fopen(("/proc/" + std::to_string(pid) + "/smaps").c_str(), "r");
    if (smaps == nullptr) return kib;
    char line[512];
    std::string current = "anonymous";
    while (std::fgets(line, sizeof line, smaps) != nullptr) {
        long value = 0;
        if (std::sscanf(line, "Rss: %ld kB", &value) == 1) {
            kib[current] += value;
            continue;
        }
        // A mapping's header: address range, permissions, offset, device, inode, then its path;
        // the other lines are "Name: value".
        char first[64] = "";
        unsigned long inode = 0;
        int pathAt = 0;
        if (std::sscanf(line, "%63s %*s %*s %*s %lu %n", first, &inode, &pathAt) < 2 || first[std::strlen(first) - 1] == ':')
            continue;
        std::string path = line + pathAt;
        while (!path.empty() && (path.back() == '\n' || path.back() == ' ')) path.pop_back();
        current = inode != 0 ? std::filesystem::path(path).filename().string() : path == "[stack]" ? path : "anonymous";
    }
    std::fclose(smaps);
    return kib;
}

long ResidentKiB(pid_t pid) {
    std::FILE* status = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    if (status == nullptr) return 0;
    char line[256];
    long kib = 0;
    while (std::fgets(line, sizeof line, status) != nullptr)
        if (std::sscanf(line, "VmRSS: %ld kB", &kib) == 1) break;
    std::fclose(status);
    return kib;
}

// What took the demo's memory at the largest resident set seen, largest first.
std::vector<std::pair<std::string, long>>& DemoPeakMappings() {
    static std::vector<std::pair<std::string, long>> mappings;
    return mappings;
}

// Runs the demo host to its end in a folder of its own and reports its peak resident set, and
// what its memory was taken by when it held the most (sampled every few milliseconds).
void BM_DemoPeakMemory(benchmark::State& state) {
    char folder[] = "/tmp/lumi-demo-peak-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    long peakKiB = 0;
    int exitCode = -1;
    for (auto _ : state) {
        const pid_t child = fork();
        if (child == 0) {
            if (chdir(folder) != 0) _exit(127);
            const std::string log = std::string(folder) + "/demo.out";
            if (std::freopen(log.c_str(), "w", stdout) == nullptr) _exit(127);
            execl(LUMI_DEMO_PATH, LUMI_DEMO_PATH, static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        rusage usage{};
        long sampledKiB = 0;
        std::map<std::string, long> atPeak;
        while (child > 0) {
            const pid_t done = wait4(child, &status, WNOHANG, &usage);
            if (done == child) {
                peakKiB = usage.ru_maxrss;
                exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                break;
            }
            if (done < 0) break;
            const long now = ResidentKiB(child);
            if (now > sampledKiB) {
                std::map<std::string, long> mappings = ResidentByMapping(child);
                if (!mappings.empty()) {
                    sampledKiB = now;
                    atPeak = std::move(mappings);
                }
            }
            usleep(5000);
        }
        auto& mappings = DemoPeakMappings();
        mappings.assign(atPeak.begin(), atPeak.end());
        std::sort(mappings.begin(), mappings.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    }
    std::filesystem::remove_all(folder);
    if (exitCode != 0) state.SkipWithError("the demo did not finish cleanly");
    state.counters["peak_MiB"] = static_cast<double>(peakKiB) / 1024.0;
    Samples()["demo peak"].push_back({static_cast<double>(peakKiB) / 1024.0, 0});
}
BENCHMARK(BM_DemoPeakMemory)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
#endif

void PrintSummary() {
    std::printf("\nSummary (medians over the repetitions; cpu = process CPU time, wall = elapsed)\n");
    std::printf("\nFull 1024x768 frame, rasterising on, against the plain scalar loop (one thread: CPU time;\n"
                "all cores: elapsed time of the frame against the loop's CPU time):\n");
    std::printf("  %-14s %12s %12s %10s %12s %12s %10s\n", "case", "loop cpu ms", "1 thread ms", "ratio",
                "all cores ms", "(its cpu ms)", "ratio");
    for (int count : {1000, 10000, 50000})
        for (bool alpha : {false, true}) {
            const Sample one = Median(FrameKey("frame", count, alpha));
            const Sample all = Median(FrameKey("frame all cores", count, alpha));
            const Sample loop = Median(FrameKey("loop", count, alpha));
            if (loop.cpu == 0) continue;
            std::printf("  %-14s %12.2f %12.2f %10.2f %12.2f %12.2f %10.2f\n", FrameKey("", count, alpha).c_str() + 1,
                        loop.cpu * 1e3, one.cpu * 1e3, one.cpu / loop.cpu, all.wall * 1e3, all.cpu * 1e3,
                        all.wall / loop.cpu);
        }
    std::printf("\nThe opaque frames against the same loop with a D24S8 depth test and write per pixel, as\n"
                "Direct3D 9 does for the renderer's states (not a goal: what the depth buffer costs):\n");
    std::printf("  %-14s %16s %12s %10s\n", "case", "depth loop cpu ms", "1 thread ms", "ratio");
    for (int count : {1000, 10000, 50000}) {
        const Sample depth = Median(FrameKey("depth loop", count, false));
        const Sample one = Median(FrameKey("frame", count, false));
        if (depth.cpu == 0) continue;
        std::printf("  %-14s %16.2f %12.2f %10.2f\n", FrameKey("", count, false).c_str() + 1, depth.cpu * 1e3,
                    one.cpu * 1e3, one.cpu / depth.cpu);
    }
    std::printf("\nSprites through IRenderer, rasterising off (the device validates and counts, touches no\n"
                "pixel), against memcpy of %zu bytes a sprite:\n", kBytesPerSprite);
    const Sample empty = Median("empty frame");
    const Sample drawn = Median("empty frame drawn");
    std::printf("  empty frame, rasterising off (the renderer's frame loop): %.1f us cpu\n", empty.cpu * 1e6);
    std::printf("  empty frame, rasterising on, 1 thread (the loop and the device's colour and depth clear\n"
                "    and present of 1024x768, a flip): %.1f us cpu; the device's pixel work: %.1f us\n",
                drawn.cpu * 1e6, (drawn.cpu - empty.cpu) * 1e6);
    std::printf("  %-18s %14s %16s %14s\n", "case", "Msprites/s", "net of empty", "memcpy Msprites/s");
    std::printf("  (Msprites/s: the whole frame's CPU time; net of empty: less the empty frame, rasterising off)\n");
    for (int count : {10000, 50000})
        for (bool alpha : {false, true}) {
            const Sample submit = Median(FrameKey("submit", count, alpha));
            const Sample copy = Median("memcpy " + std::to_string(count));
            if (submit.cpu == 0) continue;
            const double net = submit.cpu - empty.cpu;
            std::printf("  %-18s %14.2f %16.2f %14.1f\n", FrameKey("", count, alpha).c_str() + 1, count / submit.cpu * 1e-6,
                        net > 0 ? count / net * 1e-6 : 0.0, copy.cpu > 0 ? count / copy.cpu * 1e-6 : 0.0);
        }
    std::printf("\nDecoding a 1024x1024 picture, output allocated per decode:\n");
    std::printf("  %-10s %14s %14s %8s\n", "picture", "CRaster cpu ms", "bare cpu ms", "ratio");
    for (Picture picture : {Picture::kPngRgba, Picture::kPngRgb, Picture::kJpeg}) {
        const Sample ours = Median(std::string("craster ") + PictureName(picture));
        const Sample bare = Median(std::string("bare ") + PictureName(picture));
        if (ours.cpu == 0 || bare.cpu == 0) continue;
        std::printf("  %-10s %14.3f %14.3f %8.3f\n", PictureName(picture), ours.cpu * 1e3, bare.cpu * 1e3, ours.cpu / bare.cpu);
    }
    const Sample demo = Median("demo peak");
    if (demo.cpu > 0) std::printf("\nDemo host, peak resident set: %.1f MiB\n", demo.cpu);
#ifdef LUMI_DEMO_PATH
    const auto& mappings = DemoPeakMappings();
    if (!mappings.empty()) std::printf("  at its largest sampled resident set, by mapping (MiB):\n");
    for (std::size_t i = 0; i < mappings.size() && i < 8; ++i)
        std::printf("  %-32s %8.1f\n", mappings[i].first.c_str(), static_cast<double>(mappings[i].second) / 1024.0);
#endif
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    PrintSummary();
    benchmark::Shutdown();
    return 0;
}
