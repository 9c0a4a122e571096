#include "platform/d3d9/rasterizer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/d3d9/raster_band_sort.h"
#include "platform/d3d9/raster_draw.h"
#include "platform/d3d9/raster_geometry.h"
#include "platform/d3d9/raster_pipeline.h"
#include "platform/d3d9/raster_points_lines.h"
#include "platform/d3d9/raster_quad.h"
#include "platform/d3d9/raster_threads.h"
#include "platform/d3d9/raster_triangle.h"

namespace d3d9sw {

const std::uint8_t* VertexRecord(const DrawCall& call, std::uint64_t n) {
    const std::int64_t index = call.indices ? static_cast<std::int64_t>(call.indices[n]) + call.baseVertex
                                            : static_cast<std::int64_t>(n);
    return call.vertices + static_cast<std::size_t>(index) * call.vertexStride;
}

namespace {

constexpr int kRowsPerBand = 8;
constexpr int kRowsPerCachedBand = 32;  // 1024 wide: 128 KiB each of target, depth and window rows
constexpr int kRowsPerLightBand = 96;   // the same, 384 KiB each: target and depth within a 1 MiB L2
// A frame of fewer pixels than this per thread is light: its bands' fixed costs outweigh the
// balance spare bands bring.
constexpr double kLightPixelsPerThread = 524288;
constexpr std::size_t kPrefetchAhead = 8;  // listed triangles
constexpr int kBandsPerThread = 2;  // spare bands let the threads that run take over from those that wait

unsigned VerticesPerPrimitive(D3DPRIMITIVETYPE type) {
    switch (type) {
    case D3DPT_POINTLIST: return 1;
    case D3DPT_LINELIST: return 2;
    case D3DPT_TRIANGLELIST: return 3;
    default: return 0;
    }
}

bool IsColorTarget(D3DFORMAT format) {
    return format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8 || format == D3DFMT_R5G6B5 ||
           format == D3DFMT_A4R4G4B4;
}

bool IsDepthFormat(D3DFORMAT format) {
    return format == D3DFMT_D16 || format == D3DFMT_D16_LOCKABLE || format == D3DFMT_D24S8 ||
           format == D3DFMT_D24X8;
}

// The part of `rect` inside the surface, or an empty rectangle.
RECT ClipToSurface(const SurfaceView& view, const RECT& rect) {
    RECT r{std::max<LONG>(rect.left, 0), std::max<LONG>(rect.top, 0), std::min<LONG>(rect.right, view.width),
           std::min<LONG>(rect.bottom, view.height)};
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

// Checks the geometry against the supplied data before anything is drawn, as the debug runtime
// would: every referenced vertex must lie inside the stream.
HRESULT ValidateCall(const DrawCall& call) {
    const unsigned perPrimitive = VerticesPerPrimitive(call.type);
    const UINT vertexBytes = VertexBytesOf(call.fvf);
    if (perPrimitive == 0 || call.vertices == nullptr || vertexBytes == 0 || call.vertexStride < vertexBytes)
        return D3DERR_INVALIDCALL;
    if (call.fvf == kFvfPointSize && call.type != D3DPT_POINTLIST) return D3DERR_INVALIDCALL;
    const std::uint64_t used = static_cast<std::uint64_t>(call.primitiveCount) * perPrimitive;
    if (call.indices == nullptr) {
        return used <= call.vertexCount ? D3D_OK : D3DERR_INVALIDCALL;
    }
    if (used > call.indexCount) return D3DERR_INVALIDCALL;
    for (std::uint64_t i = 0; i < used; ++i) {
        const std::int64_t vertex = static_cast<std::int64_t>(call.indices[i]) + call.baseVertex;
        if (vertex < 0 || vertex >= static_cast<std::int64_t>(call.vertexCount)) return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

constexpr DWORD kMaxViewportExtent = 32768;  // keeps the fixed-point edge maths in 64 bits

HRESULT ValidateState(const DrawState& state) {
    if (state.renderStates == nullptr || state.stageStates == nullptr || state.samplerStates == nullptr)
        return D3DERR_INVALIDCALL;
    if (state.target.bits == nullptr || !IsColorTarget(state.target.format)) return D3DERR_INVALIDCALL;
    if (state.depth.bits != nullptr && !IsDepthFormat(state.depth.format)) return D3DERR_INVALIDCALL;
    const D3DVIEWPORT9& vp = state.viewport;
    if (vp.X > kMaxViewportExtent || vp.Y > kMaxViewportExtent || vp.Width > kMaxViewportExtent ||
        vp.Height > kMaxViewportExtent)
        return D3DERR_INVALIDCALL;
    if (!(vp.MinZ >= 0.0f && vp.MinZ <= 1.0f && vp.MaxZ >= 0.0f && vp.MaxZ <= 1.0f)) return D3DERR_INVALIDCALL;
    return D3D_OK;
}

// Draws one triangle.
void DrawOneTriangle(const DrawCall& call, DWORD cullMode, PixelPipeline& pipeline, UINT prim) {
    const D3DVIEWPORT9& viewport = pipeline.Viewport();
    RasterVertex v[3];
    for (int i = 0; i < 3; ++i) v[i] = ReadVertex(VertexRecord(call, 3ull * prim + i));
    if (!IsFinite(v[0]) || !IsFinite(v[1]) || !IsFinite(v[2])) return;
    // Flat shading takes the first vertex's colour.
    if (pipeline.FlatShading())
        for (int i = 1; i < 3; ++i) std::copy_n(v[0].attr + kAttrB, 4, v[i].attr + kAttrB);
    RasterVertex mapped[3] = {v[0], v[1], v[2]};
    for (RasterVertex& m : mapped) MapToViewport(m, viewport);
    if (IsCulled(cullMode, ScreenArea(mapped[0], mapped[1], mapped[2]))) return;
    if (InsideClipVolume(v[0]) && InsideClipVolume(v[1]) && InsideClipVolume(v[2])) {
        DrawTriangle(mapped[0], mapped[1], mapped[2], pipeline);
        return;
    }
    RasterVertex polygon[9];
    const int clipped = ClipPolygon(v, 3, polygon);
    for (int i = 0; i < clipped; ++i) MapToViewport(polygon[i], viewport);
    for (int i = 1; i + 1 < clipped; ++i) DrawTriangle(polygon[0], polygon[i], polygon[i + 1], pipeline);
}

// Draws the `listed` entries of a band's list in order (or in reverse): triangles, and the
// sorted rectangles.
void DrawListed(const DrawCall& call, DWORD cullMode, PixelPipeline& pipeline, const std::uint32_t* entries,
                std::size_t listed, const BandedTriangles& sorted, bool reversed) {
    std::uint64_t drawn = 0;
    for (std::size_t k = 0; k < listed; ++k) {
        const std::size_t n = reversed ? listed - 1 - k : k;
        if (k + kPrefetchAhead < listed) {
            // A band's entries lie scattered through the draw: fetch ahead what the memory
            // prefetcher cannot guess.
            const std::uint32_t ahead = entries[reversed ? n - kPrefetchAhead : n + kPrefetchAhead];
            if ((ahead & BandedTriangles::kRectangle) != 0) {
                __builtin_prefetch(&sorted.Rectangle(ahead & ~BandedTriangles::kRectangle));
            } else {
                const std::uint8_t* record = VertexRecord(call, 3ull * ahead);
                __builtin_prefetch(record);
                __builtin_prefetch(record + 64);
            }
        }
        const std::uint32_t entry = entries[n];
        if ((entry & BandedTriangles::kRectangle) != 0) {
            DrawRectangleRows(sorted.Rectangle(entry & ~BandedTriangles::kRectangle), pipeline);
            ++drawn;
        } else {
            DrawOneTriangle(call, cullMode, pipeline, entry);
        }
    }
    CountRectanglesDrawnByRows(drawn);
}

void DrawLines(const DrawCall& call, bool lastPixel, PixelPipeline& pipeline) {
    for (UINT prim = 0; prim < call.primitiveCount; ++prim) {
        RasterVertex a = ReadVertex(VertexRecord(call, 2ull * prim));
        RasterVertex b = ReadVertex(VertexRecord(call, 2ull * prim + 1));
        if (pipeline.FlatShading()) std::copy_n(a.attr + kAttrB, 4, b.attr + kAttrB);
        if (!IsFinite(a) || !IsFinite(b) || !ClipSegment(a, b)) continue;
        MapToViewport(a, pipeline.Viewport());
        MapToViewport(b, pipeline.Viewport());
        DrawLine(a, b, lastPixel, pipeline);
    }
}

float FloatState(const DWORD* renderStates, D3DRENDERSTATETYPE state) {
    float value;
    std::memcpy(&value, &renderStates[state], sizeof value);
    return value;
}

// D3DRS_POINTSIZE within D3DRS_POINTSIZE_MIN and D3DRS_POINTSIZE_MAX; nothing wider than the
// largest viewport, and 0 for a size that is not a number.
float PointSize(const DrawSettings& settings, float size) {
    constexpr float kLargest = 65536.0f;
    size = std::max(size, settings.pointSizeMin);
    size = std::min(size, settings.pointSizeMax);
    return size >= 0.0f ? std::min(size, kLargest) : 0.0f;
}

void DrawPoints(const DrawCall& call, const DrawSettings& settings, PixelPipeline& pipeline) {
    for (UINT prim = 0; prim < call.primitiveCount; ++prim) {
        const std::uint8_t* record = VertexRecord(call, prim);
        float size = settings.pointSize;
        RasterVertex v = call.fvf == kFvfPointSize ? ReadSizedPoint(record, &size) : ReadVertex(record);
        if (!IsFinite(v) || !InsideClipVolume(v) || !std::isfinite(size)) continue;
        MapToViewport(v, pipeline.Viewport());
        DrawPoint(v, PointSize(settings, size), settings.pointSprites, pipeline);
    }
}

}  // namespace

UINT VertexBytesOf(DWORD fvf) {
    if (fvf == kFvfTextured) return 24;
    if (fvf == kFvfPointSize) return 20;
    return 0;
}

HRESULT PrepareDraw(const DrawState& state, const DrawCall& call, PixelPipeline* pipeline, DrawSettings* settings) {
    HRESULT hr = ValidateCall(call);
    if (FAILED(hr)) return hr;
    hr = ValidateState(state);
    if (FAILED(hr)) return hr;
    hr = pipeline->Configure(state, call.type);
    if (FAILED(hr)) return hr;
    settings->cullMode = state.renderStates[D3DRS_CULLMODE];
    settings->lastPixel = state.renderStates[D3DRS_LASTPIXEL] != FALSE;
    settings->pointSize = FloatState(state.renderStates, D3DRS_POINTSIZE);
    settings->pointSizeMin = FloatState(state.renderStates, D3DRS_POINTSIZE_MIN);
    settings->pointSizeMax = FloatState(state.renderStates, D3DRS_POINTSIZE_MAX);
    settings->pointSprites = state.renderStates[D3DRS_POINTSPRITEENABLE] != FALSE;
    return D3D_OK;
}

double EstimatedPixels(const DrawCall& call, const D3DVIEWPORT9& viewport, double enough) {
    if (call.type != D3DPT_TRIANGLELIST) return call.primitiveCount;  // a few pixels each
    // A large draw is told by a few hundred of its triangles, evenly spread, each standing for
    // the ones up to the next: a band count needs no more.
    constexpr UINT kLooked = 512;
    const UINT step = std::max<UINT>(1, call.primitiveCount / kLooked);
    double area = 0;
    const double pixelsPerUnit = 0.25 * viewport.Width * viewport.Height * step;
    for (UINT prim = 0; prim < call.primitiveCount && area < enough; prim += step) {
        float xy[3][2];
        for (int i = 0; i < 3; ++i) std::memcpy(xy[i], VertexRecord(call, 3ull * prim + i), sizeof xy[i]);
        const float w = std::max({xy[0][0], xy[1][0], xy[2][0]}) - std::min({xy[0][0], xy[1][0], xy[2][0]});
        const float h = std::max({xy[0][1], xy[1][1], xy[2][1]}) - std::min({xy[0][1], xy[1][1], xy[2][1]});
        if (w >= 0 && h >= 0) area += static_cast<double>(std::min(w, 2.0f)) * std::min(h, 2.0f) * pixelsPerUnit;
    }
    return area;
}

int BandCount(int threads, int rows, double pixels) {
    // Bands of a few dozen rows keep a band's target and depth rows in the core's cache while
    // the draws go over them, worth it with one thread as with many. A band has costs of its
    // own, a pass over every draw's list and the rectangles split at its edges: a light frame
    // gets as few bands as the cache allows, the same number for each thread.
    const bool light = pixels < std::min(threads * kLightPixelsPerThread, kPixelsForMostBands);
    const int cached = std::max(rows / kRowsPerLightBand, 1);
    const double wanted = light ? static_cast<double>(threads) * ((cached + threads - 1) / threads)
                                : std::max<double>(static_cast<double>(threads) * kBandsPerThread, rows / kRowsPerCachedBand);
    const double bands = std::min<double>({wanted, static_cast<double>(rows / kRowsPerBand), pixels / kPixelsPerBand,
                                           static_cast<double>(RasterThreads::kMaxParts)});
    return bands < 2 ? 1 : static_cast<int>(bands);
}

void SortIntoBands(const DrawCall& call, const PixelPipeline& pipeline, DWORD cullMode, int bands, int rows, int threads,
                   BandedTriangles* sorted) {
    BandSorts sorts;
    sorts.Add(call, pipeline, cullMode, bands, rows, threads, sorted);
    sorts.Run(threads);
}

int BandTop(int band, int bands, int rows) {
    return static_cast<int>(std::int64_t{rows} * band / bands);
}

void DrawPreparedBand(const DrawCall& call, const DrawSettings& settings, const PixelPipeline& prepared, int band,
                      int bands, int rows, const BandedTriangles& sorted, const PrimitiveSpan& span, CoarseDepth* coarse) {
    PixelPipeline pipeline = prepared;
    pipeline.coarse = coarse;
    if (bands > 1) pipeline.RestrictRows(BandTop(band, bands, rows), BandTop(band + 1, bands, rows));
    switch (call.type) {
    case D3DPT_POINTLIST: DrawPoints(call, settings, pipeline); break;
    case D3DPT_LINELIST: DrawLines(call, settings.lastPixel, pipeline); break;
    default: {
        if (span.reversed) pipeline.SwapDepthTies();
        const UINT first = std::min<UINT>(span.first, call.primitiveCount), end = std::min<UINT>(span.end, call.primitiveCount);
        if (sorted.offsets.empty()) {
            if (span.reversed) {
                for (UINT prim = end; prim-- > first;) DrawOneTriangle(call, settings.cullMode, pipeline, prim);
            } else {
                for (UINT prim = first; prim < end; ++prim) DrawOneTriangle(call, settings.cullMode, pipeline, prim);
            }
            break;
        }
        // A band's entries ascend by primitive.
        const std::uint32_t* listed = sorted.primitives.data();
        const std::uint32_t* begin = listed + sorted.offsets[static_cast<std::size_t>(band)];
        const std::uint32_t* stop = listed + sorted.offsets[static_cast<std::size_t>(band) + 1];
        auto before = [](std::uint32_t limit) {
            return [limit](std::uint32_t entry) { return (entry & ~BandedTriangles::kRectangle) < limit; };
        };
        const std::uint32_t* from = first == 0 ? begin : std::partition_point(begin, stop, before(first));
        const std::uint32_t* to = end == call.primitiveCount ? stop : std::partition_point(from, stop, before(end));
        DrawListed(call, settings.cullMode, pipeline, from, static_cast<std::size_t>(to - from), sorted,
                   span.reversed);
        break;
    }
    }
}

namespace {

constexpr double kDepthSpare = 2;  // units: the cursor's interpolation and rounding

// Bounds of the depth a fragment gets from vertex depths within [lowest, highest] (clip space).
DepthBounds DepthsBetween(float lowest, float highest, const PixelPipeline& pipeline) {
    const std::int64_t max = pipeline.depth.MaxValue();
    if (!(lowest <= highest)) return {1, 0};
    if (!std::isfinite(lowest) || !std::isfinite(highest)) return {0, max};
    const D3DVIEWPORT9& vp = pipeline.Viewport();
    auto units = [&](float z) {
        // As MapToViewport maps it and the cursor clamps and scales it.
        return std::clamp(static_cast<double>(ViewportZ(z, vp)), 0.0, 1.0) * pipeline.depth.Scale();
    };
    // Clipping keeps depths within the clip volume: a depth outside it reaches the range's end.
    const double a = units(std::clamp(lowest, 0.0f, 1.0f)), b = units(std::clamp(highest, 0.0f, 1.0f));
    const double low = std::min(a, b), high = std::max(a, b);
    return {std::max<std::int64_t>(static_cast<std::int64_t>(std::floor(low - kDepthSpare)), 0),
            std::min<std::int64_t>(static_cast<std::int64_t>(std::ceil(high + kDepthSpare)), max)};
}

float VertexDepth(const std::uint8_t* record) {
    float z;
    std::memcpy(&z, record + 8, sizeof z);
    return z;
}

}  // namespace

DepthBounds PrimitiveDepths(const DrawCall& call, const PixelPipeline& pipeline, const BandedTriangles& sorted,
                            std::uint32_t prim) {
    if (!sorted.offsets.empty()) {
        const std::uint32_t entry = sorted.entries[prim];
        if (entry == BandedTriangles::kUnlisted) return {1, 0};
        if ((entry & BandedTriangles::kRectangle) != 0) {
            const std::int64_t z = sorted.Rectangle(prim).z;
            return {z, z};
        }
    }
    float z[3];
    for (int i = 0; i < 3; ++i) z[i] = VertexDepth(VertexRecord(call, 3ull * prim + i));
    // NaN compares false: min and max keep it only where the bounds check can see it.
    if (std::isnan(z[0]) || std::isnan(z[1]) || std::isnan(z[2])) return {0, pipeline.depth.MaxValue()};
    return DepthsBetween(std::min({z[0], z[1], z[2]}), std::max({z[0], z[1], z[2]}), pipeline);
}

DepthBounds VertexDepths(const DrawCall& call, const PixelPipeline& pipeline) {
    if (call.vertexCount == 0) return {1, 0};
    float lowest = VertexDepth(call.vertices), highest = lowest;
    bool nan = std::isnan(lowest);
    for (UINT i = 1; i < call.vertexCount; ++i) {
        const float z = VertexDepth(call.vertices + static_cast<std::size_t>(i) * call.vertexStride);
        lowest = std::min(lowest, z);
        highest = std::max(highest, z);
        nan |= std::isnan(z);
    }
    if (nan) return {0, pipeline.depth.MaxValue()};
    return DepthsBetween(lowest, highest, pipeline);
}

HRESULT Rasterize(const DrawState& state, const DrawCall& call) {
    PixelPipeline pipeline;
    DrawSettings settings;
    const HRESULT hr = PrepareDraw(state, call, &pipeline, &settings);
    if (FAILED(hr)) return hr;
    const int bands =
        BandCount(state.threads, pipeline.targetView.height, EstimatedPixels(call, pipeline.Viewport(), kPixelsForMostBands));
    BandedTriangles sorted;
    const int rows = pipeline.targetView.height;
    SortIntoBands(call, pipeline, settings.cullMode, bands, rows, state.threads, &sorted);
    struct Job {
        const DrawCall* call;
        const DrawSettings* settings;
        const PixelPipeline* pipeline;
        const BandedTriangles* sorted;
        int rows;
    } job{&call, &settings, &pipeline, &sorted, rows};
    RasterThreads::Get().Run(bands, state.threads,
                             [](void* context, int band, int count) {
                                 const auto& j = *static_cast<const Job*>(context);
                                 DrawPreparedBand(*j.call, *j.settings, *j.pipeline, band, count, j.rows, *j.sorted);
                             },
                             &job);
    return D3D_OK;
}

void ClearColor(const SurfaceView& target, const RECT& rect, D3DCOLOR argb, bool avx2) {
    const RECT r = ClipToSurface(target, rect);
    if (r.left == r.right || r.top == r.bottom || target.bits == nullptr) return;
    // One pixel through the format's writer; 32-bit rows are filled with it by the row kernel,
    // others get its bytes doubled along the first row, that row copied down (a clear runs
    // once per band of rows, so no per-pixel work per row).
    WritePixel(target, r.left, r.top, argb);
    const std::size_t bytesPerPixel = DescribeFormat(target.format).bitsPerPixel / 8;
    std::uint8_t* const first = target.bits + static_cast<std::ptrdiff_t>(r.top) * target.pitch + r.left * bytesPerPixel;
    if (bytesPerPixel == 4) {
        std::uint32_t pixel;
        std::memcpy(&pixel, first, sizeof pixel);
        const RowKernels& kernels = SelectRowKernels(avx2);
        for (LONG y = r.top; y < r.bottom; ++y)
            kernels.fillPixels(reinterpret_cast<std::uint32_t*>(target.bits + static_cast<std::ptrdiff_t>(y) * target.pitch) + r.left,
                               r.right - r.left, pixel);
        return;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(r.right - r.left) * bytesPerPixel;
    for (std::size_t done = bytesPerPixel; done < rowBytes; done *= 2)
        std::memcpy(first + done, first, std::min(done, rowBytes - done));
    for (LONG y = r.top + 1; y < r.bottom; ++y)
        std::memcpy(target.bits + static_cast<std::ptrdiff_t>(y) * target.pitch + r.left * bytesPerPixel, first, rowBytes);
}

void ClearStencil(const SurfaceView& depth, const RECT& rect, DWORD stencil) {
    const RECT r = ClipToSurface(depth, rect);
    for (LONG y = r.top; y < r.bottom; ++y) {
        std::uint8_t* row = depth.bits + static_cast<std::ptrdiff_t>(y) * depth.pitch;
        for (LONG x = r.left; x < r.right; ++x) row[4 * x] = static_cast<std::uint8_t>(stencil);
    }
}

std::uint32_t DepthUnits(D3DFORMAT format, float z) {
    const double clamped = std::clamp(static_cast<double>(z), 0.0, 1.0);
    const bool is16 = format == D3DFMT_D16 || format == D3DFMT_D16_LOCKABLE;
    return static_cast<std::uint32_t>(std::lround(clamped * (is16 ? 65535.0 : 16777215.0)));
}

void ClearDepth(const SurfaceView& depth, const RECT& rect, float z, bool avx2) {
    const RECT r = ClipToSurface(depth, rect);
    if (r.left == r.right || r.top == r.bottom || depth.bits == nullptr) return;
    const bool is16 = depth.format == D3DFMT_D16 || depth.format == D3DFMT_D16_LOCKABLE;
    if (!is16 && depth.format != D3DFMT_D24S8 && depth.format != D3DFMT_D24X8) return;
    const std::size_t bytes = is16 ? 2 : 4;
    const std::size_t rowBytes = static_cast<std::size_t>(r.right - r.left) * bytes;
    if (is16) {
        const auto value = static_cast<std::uint16_t>(DepthUnits(depth.format, z));
        std::uint8_t* first = depth.bits + static_cast<std::ptrdiff_t>(r.top) * depth.pitch + r.left * bytes;
        for (LONG x = 0; x < r.right - r.left; ++x) std::memcpy(first + 2 * x, &value, 2);
        for (LONG y = r.top + 1; y < r.bottom; ++y)
            std::memcpy(depth.bits + static_cast<std::ptrdiff_t>(y) * depth.pitch + r.left * bytes, first, rowBytes);
        return;
    }
    // Depth in the high 24 bits; the stencil byte of each pixel is kept (D24X8 has none to
    // keep, so its rows are filled whole).
    const std::uint32_t value = DepthUnits(depth.format, z) << 8;
    const RowKernels& kernels = SelectRowKernels(avx2);
    for (LONG y = r.top; y < r.bottom; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(depth.bits + static_cast<std::ptrdiff_t>(y) * depth.pitch);
        if (depth.format == D3DFMT_D24X8)
            kernels.fillPixels(row + r.left, r.right - r.left, value);
        else
            kernels.fillKeepingLowByte(row + r.left, r.right - r.left, value);
    }
}

}  // namespace d3d9sw
