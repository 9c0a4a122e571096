// Text drawing: frames of 10,000 glyphs (40 host text commands of 250 code units, laid out
// before the timing starts) drawn through DrawText, Latin and Chinese, plain and outlined,
// with the software device's rasteriser switched off and no present (the device's copy into
// the window is not the library's work; BM_EmptyFrame gives what a frame costs without
// text). Counters: glyph quads per second (outlined glyphs are five quads), ns per glyph,
// device draw calls per frame. Beside them: the floor of a memcpy of the same vertex and
// index bytes, and the cost of laying out a 255-unit text from scratch (SetText with a new
// text, then its first DrawText). Built against both libraries (bench_text_draw_legacy: the
// legacy font-texture manager rasterises glyphs in SetText, the current one over frames).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/bench_renderer.h"
#include "bench/quad_copy.h"
#include "draw/batch_processor.h"
#include "platform/win32/text.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kTexts = 40;
constexpr int kUnitsPerText = 250;
constexpr int kGlyphsPerFrame = kTexts * kUnitsPerText;
constexpr int kFontSize = 16;
constexpr std::size_t kBytesPerQuad = 4 * sizeof(vertex_t) + 6 * sizeof(std::uint16_t);
constexpr char16_t kLatinFont[] = u"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr char16_t kChineseFont[] = u"/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";

enum class Script { kLatin, kChinese };

// `count` code units with an image each: letters and digits, or Han ideographs.
std::u16string Sample(Script script, int count, int shift) {
    static const std::u16string latin = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::u16string text;
    for (int i = 0; i < count; ++i) {
        const int k = i + shift;
        text += script == Script::kLatin ? latin[static_cast<std::size_t>(k) % latin.size()]
                                         : static_cast<char16_t>(0x4E00 + (k * 37) % 0x5000);
    }
    return text;
}

BenchRenderer& Bench() {
    static BenchRenderer bench(u"text benchmark", kWidth, kHeight);
    return bench;
}

// Host text commands in one font, released with the set.
class TextSet {
public:
    TextSet(IRenderer* renderer, Script script, int count) : renderer_(renderer) {
        const char16_t* font = script == Script::kLatin ? kLatinFont : kChineseFont;
        for (int i = 0; i < count; ++i) {
            STRU_DRAW_COMMAND_BASE* cmd = renderer_->CreatePrimitive(6);
            renderer_->SetFont(cmd, font, kFontSize);
            commands_.push_back(cmd);
        }
    }
    ~TextSet() {
        for (STRU_DRAW_COMMAND_BASE* cmd : commands_) renderer_->ReleasePrimitive(cmd);
    }
    TextSet(const TextSet&) = delete;
    TextSet& operator=(const TextSet&) = delete;

    // Whether every text laid out.
    bool SetTexts(Script script, int units, int shift) {
        bool all = true;
        for (std::size_t i = 0; i < commands_.size(); ++i) {
            const std::u16string text = Sample(script, units, static_cast<int>(i) * 7 + shift);
            all = renderer_->SetText(commands_[i], text.c_str()) && all;
        }
        return all;
    }

    void DrawAll(bool outline) {
        for (std::size_t i = 0; i < commands_.size(); ++i) {
            const auto y = static_cast<std::int32_t>((i * 11) % (kHeight - 20));
            renderer_->DrawText(commands_[i], 0, y, 0xFFFFFFFF, outline, 0xFF000000, 0);
        }
    }

    STRU_DRAW_COMMAND_BASE* operator[](std::size_t i) const { return commands_[i]; }

private:
    IRenderer* renderer_;
    std::vector<STRU_DRAW_COMMAND_BASE*> commands_;
};

// state.range(0): the Script; state.range(1): outlined.
void BM_TextFrame(benchmark::State& state) {
    IRenderer* renderer = Bench().Get();
    if (renderer == nullptr) {
        state.SkipWithError("the renderer could not be created");
        return;
    }
    const auto script = static_cast<Script>(state.range(0));
    const bool outline = state.range(1) != 0;
    TextSet texts(renderer, script, kTexts);
    if (!texts.SetTexts(script, kUnitsPerText, 0)) {
        state.SkipWithError("the texts could not be laid out (font missing?)");
        return;
    }
    // A warm-up frame: buffers grown, glyph pages uploaded, node free lists filled.
    Bench().Frame([&] { texts.DrawAll(outline); }, false);

    std::uint64_t drawCalls = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        const std::uint64_t before = d3d9ctl::GetCounters().drawCalls;
        Bench().Frame([&] { texts.DrawAll(outline); }, false);
        drawCalls += d3d9ctl::GetCounters().drawCalls - before;
    }
    const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    const double frames = static_cast<double>(state.iterations());
    const double glyphs = frames * kGlyphsPerFrame;
    const double quads = glyphs * (outline ? 5 : 1);
    state.SetItemsProcessed(static_cast<std::int64_t>(quads));
    state.counters["quads_per_s"] = benchmark::Counter(quads, benchmark::Counter::kIsRate);
    state.counters["ns_per_glyph"] = elapsed.count() / glyphs;
    state.counters["draws_per_frame"] = static_cast<double>(drawCalls) / frames;
    state.SetLabel(std::string(script == Script::kLatin ? "Latin" : "Chinese") + (outline ? ", outlined" : ""));
}
BENCHMARK(BM_TextFrame)
    ->ArgNames({"script", "outline"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The frame loop alone: what each frame case pays besides its text.
void BM_EmptyFrame(benchmark::State& state) {
    if (Bench().Get() == nullptr) {
        state.SkipWithError("the renderer could not be created");
        return;
    }
    for (auto _ : state) Bench().Frame([] {}, false);
}
BENCHMARK(BM_EmptyFrame)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The floor: each glyph quad's vertices and indices copied into a frame-sized buffer.
void BM_MemcpyPerGlyphQuad(benchmark::State& state) {
    QuadCopy copy(kBytesPerQuad, kGlyphsPerFrame);
    for (auto _ : state) copy.Frame();
    const double quads = static_cast<double>(state.iterations()) * kGlyphsPerFrame;
    state.SetItemsProcessed(static_cast<std::int64_t>(quads));
    state.SetBytesProcessed(static_cast<std::int64_t>(quads * kBytesPerQuad));
    state.counters["quads_per_s"] = benchmark::Counter(quads, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MemcpyPerGlyphQuad)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Laying out 255 units from scratch: each frame gives every text a text it did not hold
// (two alternate) and draws it once, so the layout is built and placed anew. Compare with
// BM_TextFrame, whose texts keep their layout.
void BM_LayoutFromScratch(benchmark::State& state) {
    IRenderer* renderer = Bench().Get();
    if (renderer == nullptr) {
        state.SkipWithError("the renderer could not be created");
        return;
    }
    constexpr int kUnits = 255;
    const auto script = static_cast<Script>(state.range(0));
    TextSet texts(renderer, script, kTexts);
    // Both texts once, so that every glyph exists and the timing holds layout only.
    if (!texts.SetTexts(script, kUnits, 1) || !texts.SetTexts(script, kUnits, 0)) {
        state.SkipWithError("the texts could not be laid out (font missing?)");
        return;
    }
    int shift = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        shift ^= 1;
        Bench().Frame(
            [&] {
                texts.SetTexts(script, kUnits, shift);
                texts.DrawAll(false);
            },
            false);
    }
    const std::chrono::duration<double, std::micro> elapsed = std::chrono::steady_clock::now() - start;
    const double layouts = static_cast<double>(state.iterations()) * kTexts;
    state.SetItemsProcessed(static_cast<std::int64_t>(layouts));
    state.counters["us_per_layout_and_draw"] = elapsed.count() / layouts;
    state.SetLabel(script == Script::kLatin ? "Latin" : "Chinese");
}
BENCHMARK(BM_LayoutFromScratch)->ArgName("script")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
