#pragma once
// The per-pixel work of one draw, fixed once per draw from the device state: which pixels may
// be written (viewport and surfaces), the colour source (texture stages or a ps.1.1 program),
// the alpha test, depth and blending. Spans are drawn by a function chosen per draw: the row
// kernels (raster_rows.h) for spans of one colour and depth into a 32-bit target, opaque or
// SRCALPHA/INVSRCALPHA; a specialised loop for other spans of the common cases (untextured or
// textured MODULATE from a 32-bit texture); a general one for the rest. All produce the same
// pixels. The rows of unrotated rectangles mapped texel for pixel take the row kernels whole
// (raster_quad.h), planned here per draw (RowPlan).
#include "platform/d3d9/d3d9_types.h"
#include "platform/d3d9/pixel_shader.h"
#include "platform/d3d9/raster_output.h"
#include "platform/d3d9/raster_rows.h"
#include "platform/d3d9/raster_sampler.h"
#include "platform/d3d9/raster_stages.h"
#include "platform/d3d9/raster_types.h"
#include "platform/d3d9/rasterizer.h"

namespace d3d9sw {

class CoarseDepth;  // raster_coarse_depth.h

// How the rows of a rectangle that maps texel for pixel are drawn (raster_quad.h), fixed per
// draw: the vectorised kernels where the states allow them, per-pixel code elsewhere.
struct RowPlan {
    bool quads = false;       // the rectangle path may be taken at all
    bool shadeRows = false;   // kernels->shade computes the source colour from `shading`
    bool greyFilter = false;  // else the grey pixel shader with `greyWeights`, pixel by pixel
    float greyWeights[3] = {};
    RowShading shading;
    bool outputRows = false;  // kernels->output draws with `output` (its depth set per quad)
    RowOutput output;
    const RowKernels* kernels = nullptr;
    // Whole blocks of a rectangle's rows go through `block` (shading and output by kernels, the
    // texels read in place); `shading.diffuse` and `output.depth` are set per rectangle.
    bool blockRows = false;
    BlockKernel block;
    // The texel is the source colour unchanged, or differs only in an alpha nothing reads.
    bool texelIsSource = false;
};

class PixelPipeline {
public:
    using SpanFunction = void (*)(const PixelPipeline&, int y, int x0, int x1, SpanCursor& cursor);

    // Reads every state the draw depends on. Returns D3DERR_INVALIDCALL for a state this
    // rasteriser does not implement (so the draw fails instead of drawing something else).
    // `state` and the memory it points to must outlive the pipeline.
    HRESULT Configure(const DrawState& state, D3DPRIMITIVETYPE type);

    // Pixels that may be written: the viewport within the target (and depth buffer).
    const RECT& Scissor() const { return scissor_; }
    bool FlatShading() const { return flat_; }
    // Viewport mapping, as D3DVIEWPORT9 gives it.
    const D3DVIEWPORT9& Viewport() const { return viewport_; }

    // Chooses minification or magnification filtering for the following spans, from the
    // texel-to-pixel ratio of the primitive (greater than 1: minified).
    void SelectFilter(double texelsPerPixel);
    // Size in texels of the texture whose scale decides the filter (0 when none).
    int FilterTextureWidth() const { return filterWidth_; }
    int FilterTextureHeight() const { return filterHeight_; }

    // Draws pixels x0 <= x < x1 of row y; the span must lie inside Scissor().
    void DrawSpan(int y, int x0, int x1, const SpanStart& start) const;

    // The source colour of a pixel from its diffuse colour and the texels of the sampled
    // stages (texels[n] read when stage n is sampled), through the stages or the shader.
    Rgba Shade(const Rgba& diffuse, const Rgba* texels) const;
    // The same for `count` pixels where at most stage 0 is sampled (texels[i], 0xAARRGGBB; null
    // when not), into out[i] as 0xAARRGGBB, with the grey filter's shortcut (RowPlan).
    void ShadeTexels(const Rgba& diffuse, const std::uint32_t* texels, int count, std::uint32_t* out) const;
    // What happens to a shaded pixel at (x, y) of depth z: depth test, alpha test, depth
    // write, blending and the write.
    void Output(int x, int y, std::uint32_t z, Rgba color) const;

    // Turns the specialised span loops, the rectangle path and the draw queue's reversed runs
    // off, so tests can hold them against the general loop drawing in order.
    static void SetSpecialisedSpansEnabled(bool enabled);
    static bool SpecialisedSpansEnabled();

    // Whether every fragment that passes the depth test replaces colour and depth whatever the
    // target held (no blending, every channel written, depth written under LESS or LESSEQUAL):
    // what lets a run of such draws be drawn in reverse (raster_queue.h).
    bool ReplacesPixels() const;
    // Swaps the depth test's tie rule, LESS for LESSEQUAL and back, for primitives drawn in
    // reverse order.
    void SwapDepthTies();

    // Narrows the pixels that may be written to rows [top, bottom) (a band of a threaded draw).
    void RestrictRows(LONG top, LONG bottom);
    const RowPlan& Rows() const { return rows_; }
    // The span loop a row-kernel span falls back to (colour or depth not constant).
    SpanFunction FallbackSpan() const { return fallback_; }

    // Fixed per draw (linear: per primitive) and read by the span loops.
    TextureSampler samplers[kD3DTextureStageCount];
    TextureStages stages;
    const PixelShaderProgram* shader = nullptr;
    unsigned sampledStages = 0;  // stages whose texture the colour source reads
    DepthBuffer depth;
    Blender blender;
    TargetWriter target;
    SurfaceView targetView;
    bool alphaTest = false;
    D3DCMPFUNC alphaFunc = D3DCMP_ALWAYS;
    std::uint32_t alphaRef = 0;
    bool linear[kD3DTextureStageCount] = {};  // per stage, after SelectFilter
    // The band's tile depth bounds while a run of draws that only lower depths is drawn into
    // it (raster_queue.h); null otherwise. Read and lowered by the rectangle rows.
    CoarseDepth* coarse = nullptr;

private:
    void ChooseSpanFunctions();
    void PlanRows(bool avx2);
    void PlanBlocks();

    RECT scissor_{};
    D3DVIEWPORT9 viewport_{};
    bool flat_ = false;
    int filterWidth_ = 0, filterHeight_ = 0;
    SpanFunction minifySpan_ = nullptr;
    SpanFunction magnifySpan_ = nullptr;
    SpanFunction span_ = nullptr;
    SpanFunction minifyFallback_ = nullptr;
    SpanFunction magnifyFallback_ = nullptr;
    SpanFunction fallback_ = nullptr;
    RowPlan rows_;
};

// The general span loop and the chooser of a specialised one (null when none fits).
void DrawGeneralSpan(const PixelPipeline& p, int y, int x0, int x1, SpanCursor& cursor);
PixelPipeline::SpanFunction FindSpecialisedSpan(const PixelPipeline& p, bool linear);
// The span loop over the row kernels: spans of one colour and one depth go through them (the
// texels fetched pixel by pixel), others to the pipeline's FallbackSpan.
void DrawKernelSpan(const PixelPipeline& p, int y, int x0, int x1, SpanCursor& cursor);

}  // namespace d3d9sw
