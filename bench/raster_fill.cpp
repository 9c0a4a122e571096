// Fill rate of the software rasteriser: textured, alpha-blended full-screen quads in megapixels
// per second beside memcpy of the same bytes, and 32x32 sprites per second on a 1024x768 target.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "platform/d3d9/pixel_format.h"
#include "platform/d3d9/rasterizer.h"

namespace {

using namespace d3d9sw;

constexpr int kWidth = 1024, kHeight = 768;

struct Vertex {  // FVF 0x142
    float x, y, z;
    std::uint32_t diffuse;
    float u, v;
};

// A 1024x768 X8R8G8B8 target with a D16 depth buffer and a 256x256 A8R8G8B8 texture, in the
// states the library draws sprites with: MODULATE of texture and diffuse, SRCALPHA/INVSRCALPHA,
// depth test LESSEQUAL.
class Scene {
public:
    explicit Scene(DWORD filter) {
        target_.resize(SurfaceBytes(D3DFMT_X8R8G8B8, kWidth, kHeight));
        depth_.resize(SurfaceBytes(D3DFMT_D16, kWidth, kHeight));
        texture_.resize(SurfaceBytes(D3DFMT_A8R8G8B8, 256, 256));
        std::mt19937 random(1);
        for (std::size_t i = 0; i < texture_.size(); ++i) texture_[i] = static_cast<std::uint8_t>(random());
        DWORD* rs = renderStates_;
        rs[D3DRS_ZENABLE] = D3DZB_TRUE;
        rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
        rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
        rs[D3DRS_ZWRITEENABLE] = TRUE;
        rs[D3DRS_CULLMODE] = D3DCULL_CCW;
        rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
        rs[D3DRS_ALPHATESTENABLE] = TRUE;
        rs[D3DRS_ALPHAFUNC] = D3DCMP_GREATEREQUAL;
        rs[D3DRS_ALPHABLENDENABLE] = TRUE;
        rs[D3DRS_SRCBLEND] = D3DBLEND_SRCALPHA;
        rs[D3DRS_DESTBLEND] = D3DBLEND_INVSRCALPHA;
        rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
        rs[D3DRS_COLORWRITEENABLE] = 0xF;
        stages_[0][D3DTSS_COLOROP] = stages_[0][D3DTSS_ALPHAOP] = D3DTOP_MODULATE;
        stages_[0][D3DTSS_COLORARG1] = stages_[0][D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        stages_[0][D3DTSS_COLORARG2] = stages_[0][D3DTSS_ALPHAARG2] = D3DTA_DIFFUSE;
        stages_[1][D3DTSS_COLOROP] = stages_[1][D3DTSS_ALPHAOP] = D3DTOP_DISABLE;
        samplers_[0][D3DSAMP_ADDRESSU] = samplers_[0][D3DSAMP_ADDRESSV] = D3DTADDRESS_CLAMP;
        samplers_[0][D3DSAMP_MAGFILTER] = samplers_[0][D3DSAMP_MINFILTER] = filter;
        state_.renderStates = renderStates_;
        state_.stageStates = stages_;
        state_.samplerStates = samplers_;
        state_.textures[0] = {D3DFMT_A8R8G8B8, 256, 256, 256 * 4, texture_.data()};
        state_.target = {D3DFMT_X8R8G8B8, kWidth, kHeight, kWidth * 4, target_.data()};
        state_.depth = {D3DFMT_D16, kWidth, kHeight, kWidth * 2, depth_.data()};
        state_.viewport = {0, 0, kWidth, kHeight, 0.0f, 1.0f};
    }

    // Adds a rectangle in pixels, with the library's half-pixel offset, wound clockwise, showing
    // texture coordinates u0..u1 x v0..v1.
    void AddRect(float l, float t, float r, float b, float z, std::uint32_t color, float u0 = 0, float v0 = 0,
                 float u1 = 1, float v1 = 1) {
        auto cx = [](float px) { return (px - 0.5f) / kWidth * 2.0f - 1.0f; };
        auto cy = [](float py) { return 1.0f - (py - 0.5f) / kHeight * 2.0f; };
        const Vertex tl{cx(l), cy(t), z, color, u0, v0}, tr{cx(r), cy(t), z, color, u1, v0};
        const Vertex bl{cx(l), cy(b), z, color, u0, v1}, br{cx(r), cy(b), z, color, u1, v1};
        for (const Vertex& v : {tl, tr, bl, tr, br, bl}) vertices_.push_back(v);
    }

    void Draw(benchmark::State& state) {
        ClearDepth(state_.depth, {0, 0, kWidth, kHeight}, 1.0f, state_.avx2);
        DrawCall call;
        call.type = D3DPT_TRIANGLELIST;
        call.vertices = reinterpret_cast<const std::uint8_t*>(vertices_.data());
        call.vertexCount = static_cast<UINT>(vertices_.size());
        call.primitiveCount = call.vertexCount / 3;
        if (FAILED(Rasterize(state_, call))) state.SkipWithError("Rasterize failed");
    }

    std::vector<Vertex>& Vertices() { return vertices_; }
    std::vector<std::uint8_t>& Target() { return target_; }

private:
    std::vector<std::uint8_t> target_, depth_, texture_;
    DWORD renderStates_[kD3DRenderStateCount] = {};
    DWORD stages_[kD3DTextureStageCount][kD3DTextureStageStateCount] = {};
    DWORD samplers_[kD3DSamplerCount][kD3DSamplerStateCount] = {};
    DrawState state_;
    std::vector<Vertex> vertices_;
};

void TexturedAlphaFill(benchmark::State& state, DWORD filter) {
    Scene scene(filter);
    scene.AddRect(0, 0, kWidth, kHeight, 0.5f, 0xC0FFFFFFu);
    for (auto _ : state) {
        scene.Draw(state);
        benchmark::DoNotOptimize(scene.Target().data());
    }
    state.counters["Mpixel/s"] =
        benchmark::Counter(static_cast<double>(kWidth) * kHeight * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK_CAPTURE(TexturedAlphaFill, point, DWORD{D3DTEXF_POINT})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TexturedAlphaFill, linear, DWORD{D3DTEXF_LINEAR})->Unit(benchmark::kMillisecond);

// memcpy of the target's bytes: the ceiling any fill could reach on this machine.
void MemcpyOfTheSameBytes(benchmark::State& state) {
    const std::size_t bytes = static_cast<std::size_t>(kWidth) * kHeight * 4;
    std::vector<std::uint8_t> from(bytes, 1), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.counters["Mpixel/s"] =
        benchmark::Counter(static_cast<double>(kWidth) * kHeight * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(MemcpyOfTheSameBytes)->Unit(benchmark::kMillisecond);

// 32x32 sprites at random places, each showing a 32x32 cell of the 256x256 texture texel for
// pixel as the library draws atlas cells, all in one draw as the library batches them.
void Sprites32(benchmark::State& state, DWORD filter) {
    Scene scene(filter);
    const int count = static_cast<int>(state.range(0));
    std::mt19937 random(2);
    std::uniform_int_distribution<int> x(0, kWidth - 32), y(0, kHeight - 32), cell(0, 7);
    for (int i = 0; i < count; ++i) {
        const float l = static_cast<float>(x(random)), t = static_cast<float>(y(random));
        const float u = cell(random) / 8.0f, v = cell(random) / 8.0f;
        scene.AddRect(l, t, l + 32, t + 32, 1.0f - static_cast<float>(i) / count, 0xFFFFFFFFu, u, v, u + 0.125f,
                      v + 0.125f);
    }
    for (auto _ : state) {
        scene.Draw(state);
        benchmark::DoNotOptimize(scene.Target().data());
    }
    state.counters["sprites/s"] = benchmark::Counter(count, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK_CAPTURE(Sprites32, point, DWORD{D3DTEXF_POINT})->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Sprites32, linear, DWORD{D3DTEXF_LINEAR})->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
