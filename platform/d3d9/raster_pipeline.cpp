#include "platform/d3d9/raster_pipeline.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

namespace d3d9sw {
namespace {

std::atomic<bool> g_specialisedSpans{true};

bool IsColorTarget(D3DFORMAT format) {
    return format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8 || format == D3DFMT_R5G6B5 ||
           format == D3DFMT_A4R4G4B4;
}

// States whose effect this rasteriser does not draw: a draw with any of them set fails rather
// than drawing something else.
bool UsesUnimplementedState(const DWORD* rs, D3DPRIMITIVETYPE type) {
    if (rs[D3DRS_FILLMODE] != D3DFILL_SOLID) return true;
    if (rs[D3DRS_LIGHTING] != FALSE) return true;  // FVF 0x142 has no normals: colours are used raw
    if (rs[D3DRS_FOGENABLE] != FALSE || rs[D3DRS_STENCILENABLE] != FALSE) return true;
    if (rs[D3DRS_SCISSORTESTENABLE] != FALSE || rs[D3DRS_SRGBWRITEENABLE] != FALSE) return true;
    if (rs[D3DRS_CLIPPLANEENABLE] != 0 || rs[D3DRS_WRAP0] != 0) return true;
    if (type == D3DPT_POINTLIST && rs[D3DRS_POINTSCALEENABLE] != FALSE) return true;
    return false;
}

}  // namespace

void PixelPipeline::SetSpecialisedSpansEnabled(bool enabled) { g_specialisedSpans = enabled; }
bool PixelPipeline::SpecialisedSpansEnabled() { return g_specialisedSpans.load(std::memory_order_relaxed); }

bool PixelPipeline::ReplacesPixels() const {
    return depth.GetKind() != DepthBuffer::Kind::kNone && depth.Writes() &&
           (depth.Func() == D3DCMP_LESS || depth.Func() == D3DCMP_LESSEQUAL) && !blender.Enabled() && target.WritesAll();
}

void PixelPipeline::SwapDepthTies() {
    const D3DCMPFUNC swapped = depth.Func() == D3DCMP_LESS ? D3DCMP_LESSEQUAL : D3DCMP_LESS;
    depth.SetFunc(swapped);
    rows_.output.depthFunc = swapped;
    PlanBlocks();
}

HRESULT PixelPipeline::Configure(const DrawState& state, D3DPRIMITIVETYPE type) {
    const DWORD* rs = state.renderStates;
    if (!IsColorTarget(state.target.format) || state.target.bits == nullptr) return D3DERR_INVALIDCALL;
    if (UsesUnimplementedState(rs, type)) return D3DERR_INVALIDCALL;

    targetView = state.target;
    target.Configure(state.target, rs[D3DRS_COLORWRITEENABLE]);
    if (!depth.Configure(state.depth, rs) || !blender.Configure(rs)) return D3DERR_INVALIDCALL;
    alphaTest = rs[D3DRS_ALPHATESTENABLE] != FALSE;
    if (alphaTest) {
        if (!IsCompareFunc(rs[D3DRS_ALPHAFUNC])) return D3DERR_INVALIDCALL;
        alphaFunc = static_cast<D3DCMPFUNC>(rs[D3DRS_ALPHAFUNC]);
        alphaRef = rs[D3DRS_ALPHAREF] & 0xFF;
        // A test every alpha passes (the library's GREATEREQUAL 0) costs nothing to skip.
        if (alphaFunc == D3DCMP_ALWAYS || (alphaFunc == D3DCMP_GREATEREQUAL && alphaRef == 0)) alphaTest = false;
    }
    flat_ = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;

    shader = state.pixelShader;
    if (shader != nullptr) {
        sampledStages = shader->SampledStages();
    } else {
        if (!stages.Configure(state.stageStates, rs[D3DRS_TEXTUREFACTOR])) return D3DERR_INVALIDCALL;
        sampledStages = 0;
        for (int i = 0; i < stages.ActiveStages(); ++i)
            if (stages.UsesTexture(i)) sampledStages |= 1u << i;
    }
    // A stage without a texture lets its other argument through a MODULATE, as the fixed
    // function stages do on the platform; a shader reads opaque black.
    const std::uint32_t unbound = shader != nullptr ? 0xFF000000u : 0xFFFFFFFFu;
    filterWidth_ = filterHeight_ = 0;
    for (unsigned i = 0; i < kD3DTextureStageCount; ++i) {
        if ((sampledStages & (1u << i)) == 0) continue;
        if (!samplers[i].Configure(state.textures[i], state.samplerStates[i], unbound)) return D3DERR_INVALIDCALL;
        if (filterWidth_ == 0 && samplers[i].HasTexture()) {
            filterWidth_ = samplers[i].Width();
            filterHeight_ = samplers[i].Height();
        }
    }

    viewport_ = state.viewport;
    const std::int64_t right = static_cast<std::int64_t>(viewport_.X) + viewport_.Width;
    const std::int64_t bottom = static_cast<std::int64_t>(viewport_.Y) + viewport_.Height;
    std::int64_t maxX = state.target.width, maxY = state.target.height;
    if (depth.GetKind() != DepthBuffer::Kind::kNone) {
        maxX = std::min<std::int64_t>(maxX, state.depth.width);
        maxY = std::min<std::int64_t>(maxY, state.depth.height);
    }
    scissor_.left = static_cast<LONG>(std::min<std::int64_t>(viewport_.X, maxX));
    scissor_.top = static_cast<LONG>(std::min<std::int64_t>(viewport_.Y, maxY));
    scissor_.right = static_cast<LONG>(std::clamp<std::int64_t>(right, scissor_.left, maxX));
    scissor_.bottom = static_cast<LONG>(std::clamp<std::int64_t>(bottom, scissor_.top, maxY));

    PlanRows(state.avx2);
    PlanBlocks();
    ChooseSpanFunctions();
    SelectFilter(0.0);
    return D3D_OK;
}

void PixelPipeline::RestrictRows(LONG top, LONG bottom) {
    scissor_.top = std::clamp(top, scissor_.top, scissor_.bottom);
    scissor_.bottom = std::clamp(bottom, scissor_.top, scissor_.bottom);
}

void PixelPipeline::PlanRows(bool avx2) {
    rows_ = RowPlan{};
    // One texture at most, read through stage 0 (or sampler 0 of a shader).
    if (!g_specialisedSpans.load(std::memory_order_relaxed) || (sampledStages & ~1u) != 0) return;
    rows_.quads = true;
    rows_.kernels = &SelectRowKernels(avx2);
    const SurfaceView& texture = samplers[0].View();
    rows_.shading.texelAlphaOr = texture.bits != nullptr && texture.format == D3DFMT_X8R8G8B8 ? 0xFF000000u : 0u;
    if (shader != nullptr) rows_.greyFilter = shader->IsGreyFilter(rows_.greyWeights);
    else rows_.shadeRows = stages.GetRowSources(&rows_.shading.color, &rows_.shading.alpha);

    const D3DFORMAT format = targetView.format;
    if ((format != D3DFMT_X8R8G8B8 && format != D3DFMT_A8R8G8B8) || !target.WritesAll()) return;
    if (blender.Enabled() && !blender.IsSourceAlphaOver()) return;
    RowOutput& out = rows_.output;
    switch (depth.GetKind()) {
    case DepthBuffer::Kind::k16: out.depthBytes = 2; break;
    case DepthBuffer::Kind::k24: out.depthBytes = 4; break;
    default: out.depthBytes = 0; break;
    }
    out.depthFunc = depth.Func();
    out.depthWrite = depth.Writes();
    out.alphaTest = alphaTest;
    out.alphaFunc = alphaFunc;
    out.alphaRef = alphaRef;
    out.blend = blender.Enabled();
    out.targetAlphaOr = format == D3DFMT_X8R8G8B8 ? 0xFF000000u : 0u;
    rows_.outputRows = true;
}

void PixelPipeline::PlanBlocks() {
    RowPlan& plan = rows_;
    const RowOutput& out = plan.output;
    // Alpha changed and read by nothing: no blending or alpha test, an X8 target.
    const bool alphaUnread = plan.outputRows && !out.blend && !out.alphaTest && out.targetAlphaOr != 0;
    plan.texelIsSource = plan.shadeRows && plan.shading.color == RowSource::kTexture &&
                         plan.shading.alpha == RowSource::kTexture && (plan.shading.texelAlphaOr == 0 || alphaUnread);
    const bool textured = (sampledStages & 1u) != 0;
    plan.blockRows = plan.shadeRows && plan.outputRows && (!textured || (samplers[0].HasTexture() && samplers[0].Is32Bit()));
    plan.block = plan.blockRows ? plan.kernels->pickBlock(plan.shading, !plan.texelIsSource, out) : BlockKernel{};
}

void PixelPipeline::ChooseSpanFunctions() {
    const bool specialised = g_specialisedSpans.load(std::memory_order_relaxed);
    minifyFallback_ = specialised ? FindSpecialisedSpan(*this, samplers[0].MinLinear()) : nullptr;
    magnifyFallback_ = specialised ? FindSpecialisedSpan(*this, samplers[0].MagLinear()) : nullptr;
    if (minifyFallback_ == nullptr) minifyFallback_ = DrawGeneralSpan;
    if (magnifyFallback_ == nullptr) magnifyFallback_ = DrawGeneralSpan;
    // The row kernels draw the spans of one colour and depth, the 2D case, whatever the stages.
    const bool kernels = rows_.quads && rows_.outputRows;
    minifySpan_ = kernels ? DrawKernelSpan : minifyFallback_;
    magnifySpan_ = kernels ? DrawKernelSpan : magnifyFallback_;
}

void PixelPipeline::SelectFilter(double texelsPerPixel) {
    const bool minify = texelsPerPixel > 1.0;
    for (unsigned i = 0; i < kD3DTextureStageCount; ++i)
        linear[i] = minify ? samplers[i].MinLinear() : samplers[i].MagLinear();
    span_ = minify ? minifySpan_ : magnifySpan_;
    fallback_ = minify ? minifyFallback_ : magnifyFallback_;
}

void PixelPipeline::DrawSpan(int y, int x0, int x1, const SpanStart& start) const {
    if (x0 >= x1) return;
    SpanCursor cursor;
    cursor.Init(start, depth.GetKind() == DepthBuffer::Kind::kNone ? 0.0 : depth.Scale());
    span_(*this, y, x0, x1, cursor);
}

Rgba PixelPipeline::Shade(const Rgba& diffuse, const Rgba* texels) const {
    if (shader == nullptr) return stages.Combine(diffuse, texels);
    float in[kD3DTextureStageCount][4] = {};
    for (unsigned i = 0; i < kD3DTextureStageCount; ++i)
        if (sampledStages & (1u << i)) {
            in[i][0] = ChannelToUnit(texels[i].r);
            in[i][1] = ChannelToUnit(texels[i].g);
            in[i][2] = ChannelToUnit(texels[i].b);
            in[i][3] = ChannelToUnit(texels[i].a);
        }
    const float v0[4] = {ChannelToUnit(diffuse.r), ChannelToUnit(diffuse.g), ChannelToUnit(diffuse.b),
                         ChannelToUnit(diffuse.a)};
    float out[4];
    shader->Run(in, v0, out);
    return {UnitToChannel(out[2]), UnitToChannel(out[1]), UnitToChannel(out[0]), UnitToChannel(out[3])};
}

void PixelPipeline::ShadeTexels(const Rgba& diffuse, const std::uint32_t* texels, int count, std::uint32_t* out) const {
    if (!rows_.greyFilter) {
        Rgba stageTexels[kD3DTextureStageCount];
        for (int i = 0; i < count; ++i) {
            stageTexels[0] = texels != nullptr ? Rgba::FromArgb(texels[i]) : Rgba{};
            out[i] = Shade(diffuse, stageTexels).ToArgb();
        }
        return;
    }
    // dp3 and mov as the interpreter runs them: registers clamped to -1..1, r0 to 0..1 on the
    // way out. Channels to floats and alpha's round trip by table, the same values each time.
    static const auto tables = [] {
        struct {
            float unit[256];
            std::uint32_t alpha[256];
        } t;
        for (int c = 0; c < 256; ++c) {
            t.unit[c] = ChannelToUnit(c);
            t.alpha[c] = static_cast<std::uint32_t>(UnitToChannel(t.unit[c])) << 24;
        }
        return t;
    }();
    const float wr = rows_.greyWeights[0], wg = rows_.greyWeights[1], wb = rows_.greyWeights[2];
    for (int i = 0; i < count; ++i) {
        const std::uint32_t t = texels != nullptr ? texels[i] : 0;
        const float grey =
            tables.unit[(t >> 16) & 0xFF] * wr + tables.unit[(t >> 8) & 0xFF] * wg + tables.unit[t & 0xFF] * wb;
        const auto level = static_cast<std::uint32_t>(UnitToChannel(std::clamp(grey, -1.0f, 1.0f)));
        out[i] = tables.alpha[t >> 24] | level * 0x010101u;
    }
}

void PixelPipeline::Output(int x, int y, std::uint32_t z, Rgba color) const {
    const bool hasDepth = depth.GetKind() != DepthBuffer::Kind::kNone;
    if (hasDepth && !CompareWith(depth.Func(), z, depth.Read(x, y))) return;
    if (alphaTest && !CompareWith(alphaFunc, static_cast<std::uint32_t>(color.a), alphaRef)) return;
    if (hasDepth && depth.Writes()) depth.Write(x, y, z);
    if (blender.Enabled()) color = blender.Blend(color, target.Read(x, y));
    target.Write(x, y, color);
}

void DrawGeneralSpan(const PixelPipeline& p, int y, int x0, int x1, SpanCursor& cursor) {
    const bool hasDepth = p.depth.GetKind() != DepthBuffer::Kind::kNone;
    const std::int64_t maxDepth = hasDepth ? p.depth.MaxValue() : 0;
    for (int x = x0; x < x1; ++x, cursor.Advance()) {
        const std::uint32_t z = hasDepth ? cursor.Depth(maxDepth) : 0;
        Rgba texels[kD3DTextureStageCount];
        for (unsigned i = 0; i < kD3DTextureStageCount; ++i)
            if (p.sampledStages & (1u << i)) texels[i] = p.samplers[i].Sample(cursor.u, cursor.v, p.linear[i]);
        p.Output(x, y, z, p.Shade(cursor.Diffuse(), texels));
    }
}

}  // namespace d3d9sw
