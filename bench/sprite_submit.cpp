// Sprite submission: frames of 10,000 textured sprites submitted through
// DrawTexturePrimitiveEx at their texture's size and drawn (submission, batching and the
// append to the shared dynamic buffers) with the software device's rasteriser switched off,
// for opaque and translucent sprites over 1, 16 and 256 textures. Counters: sprites per
// second, ns per sprite, device draw calls per frame, the frame statistics (submissions and
// batches) and how many of the textures sit on atlas pages.
// Beside it, the floor a sprite cannot go below: a memcpy of its 108 bytes of vertices and
// indices (four 24-byte vertices and six 16-bit indices), and the cost of an empty frame
// (clear and present) that every frame case carries.
//
// Built twice: bench_sprite_submit against the current library, bench_sprite_submit_legacy
// against the legacy one. A legacy host binds a command to a texture only through its file,
// so there the textures are image files the benchmark writes first (BMP for the opaque kind,
// PNG with alpha for the others) with the same texels.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_renderer.h"
#include "bench/quad_copy.h"
#include "draw/batch_processor.h"
#include "draw/d3d_texture.h"
#include "image/raster.h"
#include "platform/win32/text.h"

namespace {

constexpr int kSprites = 10000;
constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kTextureSide = 32;
constexpr std::size_t kBytesPerSprite = 4 * sizeof(vertex_t) + 6 * sizeof(std::uint16_t);
static_assert(kBytesPerSprite == 108);

constexpr D3DCOLOR kOpaqueWhite = 0xFFFFFFFFu;
constexpr D3DCOLOR kTranslucentWhite = 0xC0FFFFFFu;

enum class SpriteKind {
    kOpaque,           // X8R8G8B8, full colour: the opaque path
    kAlpha,            // A8R8G8B8 32x32, colour with alpha: the alpha path, textures packable
    kAlphaOwnTexture,  // A8R8G8B8 32x16: the alpha path, never packed (alpha cells are square)
};

// One renderer on a window for the whole program; the device draws nothing.
class Host {
public:
    static Host& Get() {
        static Host host;
        return host;
    }

    IRenderer* Renderer() const { return bench_.Get(); }
    BenchRenderer& Bench() { return bench_; }

    // The first `count` textures of a kind, made on demand and kept for the program's life so
    // that every case finds them resident.
    const std::vector<ITexture*>& Textures(SpriteKind kind, std::size_t count) {
        std::vector<ITexture*>& textures = textures_[static_cast<int>(kind)];
        const int height = kind == SpriteKind::kAlphaOwnTexture ? kTextureSide / 2 : kTextureSide;
        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(kTextureSide * height));
        while (textures.size() < count) {
            const std::uint32_t tint = static_cast<std::uint32_t>(textures.size() * 0x0103070Bu) & 0x00FFFFFFu;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < kTextureSide; ++x)
                    pixels[y * kTextureSide + x] = ((x / 4 + y / 4) % 2 ? 0xFF000000u : 0x80000000u) | tint;
            ITexture* texture = MakeTexture(kind, textures.size(), height, pixels);
            if (texture == nullptr) break;
            textures.push_back(texture);
        }
        return textures;
    }

    // The file a legacy texture was made from; empty for the current build's.
    const std::u16string& PathOf(ITexture* texture) const {
        static const std::u16string none;
        const auto found = paths_.find(texture);
        return found == paths_.end() ? none : found->second;
    }

    bool Ready() const { return Renderer() != nullptr; }

private:
    Host() : bench_(u"sprite benchmark", kWidth, kHeight) {}

    // A texture of the kind holding `pixels` (ARGB rows of kTextureSide), loaded.
    ITexture* MakeTexture(SpriteKind kind, std::size_t index, int height, const std::vector<std::uint32_t>& pixels) {
        const bool alpha = kind != SpriteKind::kOpaque;
#if LUMI_LEGACY
        CRaster image(kTextureSide, static_cast<DWORD>(height), 24, alpha ? kRasterTypePng : kRasterTypeBmp);
        if (alpha && !image.CreateAlpha()) return nullptr;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < kTextureSide; ++x) {
                const std::uint32_t c = pixels[y * kTextureSide + x];
                // The image library counts rows from the bottom.
                image.SetPixelColor(x, height - 1 - y,
                                    RGBQUAD{static_cast<BYTE>(c), static_cast<BYTE>(c >> 8), static_cast<BYTE>(c >> 16),
                                            static_cast<BYTE>(c >> 24)},
                                    alpha);
            }
        std::filesystem::create_directories("bench-textures");
        const std::string name = "bench-textures/" + std::to_string(static_cast<int>(kind)) + "_" +
                                 std::to_string(index) + (alpha ? ".png" : ".bmp");
        const std::u16string path = win32::Utf8ToUtf16(name);
        if (!image.Save(path.c_str(), alpha ? kRasterTypePng : kRasterTypeBmp)) return nullptr;
        ITexture* texture = Renderer()->CreateTexture(path.c_str());
        if (texture == nullptr) return nullptr;
        // Read at the first poll, taken at the second.
        for (int poll = 0; poll < 2; ++poll) static_cast<CD3DTexture*>(texture)->Restore();
        paths_[texture] = path;
        return texture;
#else
        (void)index;
        ITexture* texture =
            Renderer()->CreateTexture(kTextureSide, height, alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8, 0);
        if (texture != nullptr) texture->UpdateRect(pixels.data(), kTextureSide, height, kTextureSide * 4, 32, 0, 0);
        return texture;
#endif
    }

    ~Host() {
        if (Renderer() != nullptr) {
            for (const auto& textures : textures_)
                for (ITexture* texture : textures) Renderer()->DestroyTexture(texture);
        }
    }

    BenchRenderer bench_;
    std::vector<ITexture*> textures_[3];
    std::map<ITexture*, std::u16string> paths_;
};

// Host-owned textured commands, one per sprite, sprite i on texture i % T.
class SpriteSet {
public:
    SpriteSet(Host& host, const std::vector<ITexture*>& textures) : renderer_(host.Renderer()) {
        commands_.reserve(kSprites);
        for (int i = 0; i < kSprites; ++i) {
            STRU_DRAW_COMMAND_BASE* cmd = renderer_->CreatePrimitive(5);
            if (cmd == nullptr) break;
            ITexture* texture = textures[static_cast<std::size_t>(i) % textures.size()];
#if LUMI_LEGACY
            renderer_->SetTexture(cmd, host.PathOf(texture).c_str(), false);
#else
            renderer_->AttachTexture(cmd, texture, 0);
#endif
            commands_.push_back(cmd);
        }
    }
    ~SpriteSet() {
        for (STRU_DRAW_COMMAND_BASE* cmd : commands_) renderer_->ReleasePrimitive(cmd);
    }
    SpriteSet(const SpriteSet&) = delete;
    SpriteSet& operator=(const SpriteSet&) = delete;

    bool Complete() const { return commands_.size() == static_cast<std::size_t>(kSprites); }

    // One frame as a host drives it; returns the device's draw calls in it.
    std::uint64_t DrawFrame(D3DCOLOR color) {
        const std::uint64_t before = d3d9ctl::GetCounters().drawCalls;
        renderer_->OnFrameBegin();
        renderer_->BeginScene();
        for (int i = 0; i < kSprites; ++i) {
            // Sprites spread over the screen in a fixed pattern, all inside it, each at its
            // texture's size.
            const LONG x = (i * 37) % (kWidth - kTextureSide);
            const LONG y = (i * 53) % (kHeight - kTextureSide);
            renderer_->DrawTexturePrimitiveEx(commands_[static_cast<std::size_t>(i)], x, y, color, nullptr, nullptr);
        }
        renderer_->EndScene(true);
        renderer_->OnFrameEnd();
        const STRU_RENDER_STATS* stats = renderer_->GetStatistics();
        lastStatsDrawCalls_ = stats != nullptr ? stats->DrawCalls : -1;
        lastStatsBatches_ = stats != nullptr ? stats->Batches : -1;
        return d3d9ctl::GetCounters().drawCalls - before;
    }

    std::int32_t LastStatsDrawCalls() const { return lastStatsDrawCalls_; }
    std::int32_t LastStatsBatches() const { return lastStatsBatches_; }

private:
    IRenderer* renderer_;
    std::vector<STRU_DRAW_COMMAND_BASE*> commands_;
    std::int32_t lastStatsDrawCalls_ = 0;
    std::int32_t lastStatsBatches_ = 0;
};

// How many of the textures were copied to an atlas cell (after they have been drawn once).
int TexturesOnAtlas(const std::vector<ITexture*>& textures) {
    int packed = 0;
    for (ITexture* texture : textures)
        if (static_cast<CD3DTexture*>(texture)->GetCell() != nullptr) ++packed;
    return packed;
}

// state.range(0): texture count; state.range(1): the SpriteKind.
void BM_SpriteFrame(benchmark::State& state) {
    Host& host = Host::Get();
    if (!host.Ready()) {
        state.SkipWithError("the renderer could not be created");
        return;
    }
    const auto kind = static_cast<SpriteKind>(state.range(1));
    const bool alpha = kind != SpriteKind::kOpaque;
    const auto textureCount = static_cast<std::size_t>(state.range(0));
    const std::vector<ITexture*>& made = host.Textures(kind, textureCount);
    if (made.size() < textureCount) {
        state.SkipWithError("the textures could not be created");
        return;
    }
    const std::vector<ITexture*> textures(made.begin(), made.begin() + static_cast<std::ptrdiff_t>(textureCount));
    // Opaque sprites on an opaque format with a full colour; translucent ones on a format with
    // alpha and a colour with alpha, so both tests for the alpha path agree.
    const D3DCOLOR color = alpha ? kTranslucentWhite : kOpaqueWhite;
    SpriteSet sprites(host, textures);
    if (!sprites.Complete()) {
        state.SkipWithError("the sprite commands could not be created");
        return;
    }
    // A warm-up frame: buffers grown, atlas cells placed, node free lists filled.
    sprites.DrawFrame(color);

    std::uint64_t drawCalls = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) drawCalls += sprites.DrawFrame(color);
    const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;

    const auto frames = static_cast<double>(state.iterations());
    const double sprites_total = frames * kSprites;
    state.SetItemsProcessed(static_cast<std::int64_t>(sprites_total));
    state.counters["sprites_per_s"] = benchmark::Counter(sprites_total, benchmark::Counter::kIsRate);
    state.counters["ns_per_sprite"] = elapsed.count() / sprites_total;
    state.counters["draws_per_frame"] = static_cast<double>(drawCalls) / frames;
    state.counters["stats_draw_calls"] = sprites.LastStatsDrawCalls();
    state.counters["stats_batches"] = sprites.LastStatsBatches();
    state.counters["textures_on_atlas"] = TexturesOnAtlas(textures);
    state.SetLabel(kind == SpriteKind::kOpaque ? "opaque" : kind == SpriteKind::kAlpha ? "alpha" : "alpha, 32x16");
}
BENCHMARK(BM_SpriteFrame)
    ->ArgNames({"textures", "kind"})
    ->ArgsProduct({{1, 16, 256}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The frame loop alone: what each frame case pays besides its sprites.
void BM_EmptyFrame(benchmark::State& state) {
    Host& host = Host::Get();
    if (!host.Ready()) {
        state.SkipWithError("the renderer could not be created");
        return;
    }
    for (auto _ : state) host.Bench().Frame([] {}, true);
}
BENCHMARK(BM_EmptyFrame)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The floor: each sprite's vertices and indices copied into a frame-sized buffer.
void BM_MemcpyPerSprite(benchmark::State& state) {
    QuadCopy copy(kBytesPerSprite, kSprites);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) copy.Frame();
    const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    const double sprites_total = static_cast<double>(state.iterations()) * kSprites;
    state.SetBytesProcessed(static_cast<std::int64_t>(sprites_total * kBytesPerSprite));
    state.counters["sprites_per_s"] = benchmark::Counter(sprites_total, benchmark::Counter::kIsRate);
    state.counters["ns_per_sprite"] = elapsed.count() / sprites_total;
}
BENCHMARK(BM_MemcpyPerSprite)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
