#include "platform/d3d9/raster_quad.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "platform/d3d9/raster_coarse_depth.h"
#include "platform/d3d9/raster_geometry.h"

namespace d3d9sw {
namespace {

constexpr int kChunk = 256;  // pixels shaded into one buffer at a time

std::atomic<std::uint64_t> g_rectangles{0};

// A vertex as the stream holds it (FVF 0x142).
struct VertexRecord {
    float x, y, z;
    std::uint32_t diffuse;
    float u, v;
};
static_assert(sizeof(VertexRecord) == 24);

// IsFinite and InsideClipVolume of raster_geometry.h together, on the record's fields: a
// position inside the volume is finite, and for a float x, 1 + x >= 0 exactly when x >= -1.
bool FiniteAndInside(const VertexRecord& v) {
    return v.x >= -1.0f && v.x <= 1.0f && v.y >= -1.0f && v.y <= 1.0f && v.z >= 0.0f && v.z <= 1.0f &&
           std::isfinite(v.u) && std::isfinite(v.v);
}

// One axis of the rectangle: the covered pixels first..last and the texel of the first.
struct Axis {
    std::int64_t first = 0, last = -1;
    std::int64_t texel = 0;
};

// Pixels whose centre (at kSubpixels * p) lies in [lo, hi): the top-left rule on the
// rectangle's own edges, which is what the two triangles cover together (the diagonal goes to
// exactly one of them).
Axis Covered(std::int64_t lo, std::int64_t hi) {
    Axis axis;
    axis.first = CeilDiv(lo, kSubpixels);
    axis.last = CeilDiv(hi, kSubpixels) - 1;
    return axis;
}

// Whether a texture coordinate running from `from` at edge lo to `to` at edge hi puts every
// covered pixel centre so near texel centres t, t + 1, ... of a texture `size` texels long that
// the triangle loop, whatever its rounding, reads texel t + (p - first) with no fraction left
// for bilinear filtering. `stepping` is the longest run of pixels the loop steps from one start
// value along the axis (0 when the coordinate is constant along rows).
bool MapsTexelForPixel(float from, float to, std::int64_t lo, std::int64_t hi, int size, std::int64_t stepping,
                       Axis* axis) {
    constexpr double kLargest = 1 << 19;  // well inside the fixed-point cursor's range
    if (!(std::fabs(from) < kLargest && std::fabs(to) < kLargest)) return false;
    const double perSubpixel = (static_cast<double>(to) - from) / static_cast<double>(hi - lo);
    auto texels = [&](std::int64_t p) { return (from + perSubpixel * static_cast<double>(kSubpixels * p - lo)) * size; };
    const double first = texels(axis->first), last = texels(axis->last);
    if (!(first >= 0.0)) return false;
    const auto texel = static_cast<double>(static_cast<std::int64_t>(first));  // floor, as first >= 0
    const std::int64_t count = axis->last - axis->first;
    if (texel + static_cast<double>(count) >= size) return false;
    // In 1/65536 texel: the loop cuts its texel position twice (coordinate >> 8, then
    // * size >> 8), rounds each start value and each step to 2^-32, and computes in doubles.
    const double error = size / 256.0 + 1.0 + (3.0 + 0.5 * static_cast<double>(stepping + 1)) * size / 65536.0 + 4.0;
    const double limit = (128.0 - error) / 65536.0;  // bilinear reads one texel within 1/512 of its centre
    if (limit <= 0.0) return false;
    if (std::fabs(first - (texel + 0.5)) > limit || std::fabs(last - (texel + static_cast<double>(count) + 0.5)) > limit)
        return false;
    axis->texel = static_cast<std::int64_t>(texel);
    return true;
}

// Texels of pixels x .. x + count - 1 of row y: a pointer into the texture when it holds
// 32-bit texels, else converted into `buffer`.
const std::uint32_t* RowTexels(const QuadRectangle& r, const PixelPipeline& p, LONG x, LONG y, int count,
                               std::uint32_t* buffer) {
    const TextureSampler& sampler = p.samplers[0];
    if (!sampler.HasTexture()) {
        const std::uint32_t unbound = sampler.Sample(0, 0, false).ToArgb();
        std::fill_n(buffer, count, unbound);
        return buffer;
    }
    const SurfaceView& view = sampler.View();
    const int tx = static_cast<int>(r.texelX + (x - r.left));
    const int ty = static_cast<int>(r.texelY + (y - r.top));
    if (sampler.Is32Bit())
        return reinterpret_cast<const std::uint32_t*>(view.bits + static_cast<std::ptrdiff_t>(ty) * view.pitch + 4 * tx);
    for (int i = 0; i < count; ++i) buffer[i] = ReadPixel(view, tx + i, ty);
    return buffer;
}

// Pixels left <= x < right, top <= y < bottom of the rectangle.
void DrawRows(const QuadRectangle& r, const PixelPipeline& p, LONG left, LONG top, LONG right, LONG bottom) {
    const RowPlan& plan = p.Rows();
    const bool textured = (p.sampledStages & 1u) != 0;
    const SurfaceView& target = p.targetView;
    if (plan.blockRows) {
        RowShading shading = plan.shading;
        shading.diffuse = r.diffuse;
        RowOutput output = plan.output;
        output.depth = r.z;
        RowBlock block;
        if (textured) {
            const SurfaceView& view = p.samplers[0].View();
            const std::int64_t tx = r.texelX + (left - r.left), ty = r.texelY + (top - r.top);
            block.texels = view.bits + static_cast<std::ptrdiff_t>(ty) * view.pitch + 4 * static_cast<std::ptrdiff_t>(tx);
            block.texelPitch = view.pitch;
        }
        block.target = target.bits + static_cast<std::ptrdiff_t>(top) * target.pitch + 4 * static_cast<std::ptrdiff_t>(left);
        block.targetPitch = target.pitch;
        if (output.depthBytes != 0) {
            block.depth = p.depth.Address(static_cast<int>(left), static_cast<int>(top));
            block.depthPitch = p.depth.Address(0, 1) - p.depth.Address(0, 0);
        }
        block.width = static_cast<int>(right - left);
        block.height = static_cast<int>(bottom - top);
        plan.block.Draw(shading, output, block);
        return;
    }
    RowShading shading = plan.shading;
    shading.diffuse = r.diffuse;
    RowOutput output = plan.output;
    output.depth = r.z;
    const Rgba diffuse = Rgba::FromArgb(r.diffuse);
    std::uint32_t texelBuffer[kChunk], sourceBuffer[kChunk];
    for (LONG y = top; y < bottom; ++y) {
        std::uint8_t* targetRow = target.bits + static_cast<std::ptrdiff_t>(y) * target.pitch;
        std::uint8_t* depthRow = output.depthBytes != 0 ? p.depth.Address(0, y) : nullptr;
        for (LONG x = left; x < right; x += kChunk) {
            const int count = static_cast<int>(std::min<LONG>(kChunk, right - x));
            const std::uint32_t* texels = textured ? RowTexels(r, p, x, y, count, texelBuffer) : texelBuffer;
            const std::uint32_t* source = sourceBuffer;
            if (plan.texelIsSource) {
                source = texels;
            } else if (plan.shadeRows) {
                plan.kernels->shade(shading, texels, count, sourceBuffer);
            } else {
                p.ShadeTexels(diffuse, textured ? texels : nullptr, count, sourceBuffer);
            }
            if (plan.outputRows) {
                plan.kernels->output(output, source, count, targetRow + 4 * static_cast<std::ptrdiff_t>(x),
                                     depthRow != nullptr ? depthRow + output.depthBytes * static_cast<std::ptrdiff_t>(x) : nullptr);
            } else {
                for (int i = 0; i < count; ++i)
                    p.Output(static_cast<int>(x) + i, static_cast<int>(y), r.z, Rgba::FromArgb(source[i]));
            }
        }
    }
}

// A rectangle found in two triangles: its edges, snapped (in 1/256 pixel), and what its four
// corners carry.
struct Corners {
    std::int64_t left, top, right, bottom;
    bool flat;            // one colour and one depth at the four corners
    bool texelsAlongAxes;  // u the same down each side, v along each edge
    std::uint32_t diffuse;
    float z;
    float u[2], v[2];  // at the left and right sides; at the top and bottom edges

    // From four vertices written left-top, right-top, left-bottom, right-bottom, placed
    // mirrored where `flip` says (1: left and right swapped, 2: top and bottom).
    void Describe(const VertexRecord (&written)[4], int flip) {
        const VertexRecord& first = written[0];
        flat = true;
        for (const VertexRecord& corner : written) flat = flat && corner.diffuse == first.diffuse && corner.z == first.z;
        // Mirroring swaps whole sides and edges: the pairs compared stay pairs.
        texelsAlongAxes = written[0].u == written[2].u && written[1].u == written[3].u && written[0].v == written[1].v &&
                          written[2].v == written[3].v;
        diffuse = first.diffuse;
        z = first.z;
        const int right = flip & 1, bottom = (flip >> 1) & 1;
        u[0] = written[right].u;
        u[1] = written[right ^ 1].u;
        v[0] = written[2 * bottom].v;
        v[1] = written[2 * (bottom ^ 1)].v;
    }
};

enum class Shape { kRectangle, kNone, kUnknown };

// The shape the renderer sends, told with little work: triangles (0, 1, 2) and (2, 1, 3) of a
// quad whose vertices are its left-top, right-top, left-bottom and right-bottom corners (or
// mirrored), the shared ones given by the same record (indexed), the sides on equal clip
// coordinates. kUnknown for any other shape, which the full search decides.
Shape FindQuadOfTheRenderer(const std::uint8_t* const records[6], DWORD cullMode, const D3DVIEWPORT9& viewport,
                            Corners* c) {
    if (records[1] != records[4] || records[2] != records[3]) return Shape::kUnknown;
    VertexRecord v[4];  // as the renderer writes them: left-top, right-top, left-bottom, right-bottom
    std::memcpy(&v[0], records[0], sizeof v[0]);
    std::memcpy(&v[1], records[1], sizeof v[1]);
    std::memcpy(&v[2], records[2], sizeof v[2]);
    std::memcpy(&v[3], records[5], sizeof v[3]);
    if (!(v[0].x == v[2].x && v[1].x == v[3].x && v[0].y == v[1].y && v[2].y == v[3].y)) return Shape::kUnknown;
    // FiniteAndInside of each: the equal sides leave two x and two y to look at, and a depth
    // unlike the first corner's fails the corners' comparison (Corners::flat) anyway.
    auto within = [](float value, float low) { return value >= low && value <= 1.0f; };
    if (!(within(v[0].x, -1.0f) && within(v[3].x, -1.0f) && within(v[0].y, -1.0f) && within(v[3].y, -1.0f) &&
          within(v[0].z, 0.0f)))
        return Shape::kNone;
    for (const VertexRecord& vertex : v)
        if (!std::isfinite(vertex.u) || !std::isfinite(vertex.v)) return Shape::kNone;
    struct Position {
        float x, y;
    };
    const Position lt{ViewportX(v[0].x, viewport), ViewportY(v[0].y, viewport)};
    const Position rb{ViewportX(v[3].x, viewport), ViewportY(v[3].y, viewport)};
    const Position rt{rb.x, lt.y}, lb{lt.x, rb.y};
    if (IsCulled(cullMode, ScreenArea(lt, rt, lb)) || IsCulled(cullMode, ScreenArea(lb, rt, rb))) return Shape::kNone;
    const std::int64_t x0 = Snap(lt.x), x1 = Snap(rb.x), y0 = Snap(lt.y), y1 = Snap(rb.y);
    if (x0 == x1 || y0 == y1) return Shape::kNone;
    const int flip = (x0 > x1 ? 1 : 0) | (y0 > y1 ? 2 : 0);  // mirrored: vertex i sits at corner i ^ flip
    c->Describe(v, flip);
    c->left = std::min(x0, x1);
    c->right = std::max(x0, x1);
    c->top = std::min(y0, y1);
    c->bottom = std::max(y0, y1);
    return Shape::kRectangle;
}

// Any two triangles: whether they share a diagonal (records alike byte for byte are one
// vertex), are kept by the cull mode and have their four corners on the corners of an
// axis-aligned rectangle.
bool FindQuad(const std::uint8_t* const records[6], DWORD cullMode, const D3DVIEWPORT9& viewport, Corners* c) {
    VertexRecord v[6];
    for (int i = 0; i < 6; ++i) {
        std::memcpy(&v[i], records[i], sizeof v[i]);
        if (!FiniteAndInside(v[i])) return false;
    }
    // The diagonal: two distinct vertices of the first triangle found in the second.
    int inA[2], inB[2], shared = 0;
    for (int i = 0; i < 3; ++i)
        for (int j = 3; j < 6; ++j)
            if (records[i] == records[j] || std::memcmp(&v[i], &v[j], sizeof v[i]) == 0) {
                if (shared == 2) return false;
                inA[shared] = i;
                inB[shared] = j;
                ++shared;
            }
    if (shared != 2 || inA[0] == inA[1] || inB[0] == inB[1]) return false;

    // Positions in pixels, as the triangle loop maps them.
    struct Position {
        float x, y;
    } mapped[6];
    for (int i = 0; i < 6; ++i) mapped[i] = {ViewportX(v[i].x, viewport), ViewportY(v[i].y, viewport)};
    if (IsCulled(cullMode, ScreenArea(mapped[0], mapped[1], mapped[2])) ||
        IsCulled(cullMode, ScreenArea(mapped[3], mapped[4], mapped[5])))
        return false;

    // Corners 0 and 1 end the diagonal, 2 and 3 the other one.
    const int corner[4] = {inA[0], inA[1], 3 - inA[0] - inA[1], 12 - inB[0] - inB[1]};
    std::int64_t X[4], Y[4];
    for (int i = 0; i < 4; ++i) {
        X[i] = Snap(mapped[corner[i]].x);
        Y[i] = Snap(mapped[corner[i]].y);
    }
    const std::int64_t left = std::min({X[0], X[1], X[2], X[3]}), right = std::max({X[0], X[1], X[2], X[3]});
    const std::int64_t top = std::min({Y[0], Y[1], Y[2], Y[3]}), bottom = std::max({Y[0], Y[1], Y[2], Y[3]});
    if (left == right || top == bottom) return false;
    for (int i = 0; i < 4; ++i)
        if ((X[i] != left && X[i] != right) || (Y[i] != top && Y[i] != bottom)) return false;
    auto opposite = [&](int i, int j) { return X[i] != X[j] && Y[i] != Y[j]; };
    if (!opposite(0, 1) || !opposite(2, 3) || (X[2] == X[0] && Y[2] == Y[0]) || (X[2] == X[1] && Y[2] == Y[1]))
        return false;
    // Four distinct corners now, one at each corner of the rectangle.
    VertexRecord placed[4];
    for (int i = 0; i < 4; ++i) placed[(X[i] == right ? 1 : 0) + (Y[i] == bottom ? 2 : 0)] = v[corner[i]];
    c->Describe(placed, 0);
    c->left = left;
    c->right = right;
    c->top = top;
    c->bottom = bottom;
    return true;
}

}  // namespace

std::uint64_t RectanglesDrawnByRows() { return g_rectangles.load(std::memory_order_relaxed); }

void CountRectanglesDrawnByRows(std::uint64_t count) {
    if (count != 0) g_rectangles.fetch_add(count, std::memory_order_relaxed);
}

bool FindRectangle(const std::uint8_t* const records[6], DWORD cullMode, const PixelPipeline& p, QuadRectangle* out) {
    if (!p.Rows().quads) return false;
    const D3DVIEWPORT9& viewport = p.Viewport();
    Corners c;
    switch (FindQuadOfTheRenderer(records, cullMode, viewport, &c)) {
    case Shape::kNone: return false;
    case Shape::kUnknown:
        if (!FindQuad(records, cullMode, viewport, &c)) return false;
        break;
    case Shape::kRectangle: break;
    }
    if (!c.flat) return false;
    const std::int64_t left = c.left, right = c.right, top = c.top, bottom = c.bottom;
    Axis cols = Covered(left, right), rows = Covered(top, bottom);
    const RECT& clip = p.Scissor();
    QuadRectangle& r = *out;
    r.left = static_cast<std::int32_t>(std::max<std::int64_t>(cols.first, clip.left));
    r.right = static_cast<std::int32_t>(std::min<std::int64_t>(cols.last + 1, clip.right));
    r.top = static_cast<std::int32_t>(std::max<std::int64_t>(rows.first, clip.top));
    r.bottom = static_cast<std::int32_t>(std::min<std::int64_t>(rows.last + 1, clip.bottom));
    r.texelX = r.texelY = 0;
    r.diffuse = r.z = 0;
    if (r.left >= r.right || r.top >= r.bottom) {  // no pixel centre covered here
        r.right = r.left;
        r.bottom = r.top;
        return true;
    }

    if ((p.sampledStages & 1u) != 0 && p.samplers[0].HasTexture()) {
        if (!c.texelsAlongAxes) return false;
        const TextureSampler& sampler = p.samplers[0];
        if (!MapsTexelForPixel(c.u[0], c.u[1], left, right, sampler.Width(), cols.last - cols.first, &cols) ||
            !MapsTexelForPixel(c.v[0], c.v[1], top, bottom, sampler.Height(), 0, &rows))
            return false;
        r.texelX = static_cast<std::int32_t>(cols.texel + (r.left - cols.first));
        r.texelY = static_cast<std::int32_t>(rows.texel + (r.top - rows.first));
    }

    // The colour and depth the triangle loop's cursor gives every pixel: whole colour channels
    // come through its 16.16 stepping unchanged.
    r.diffuse = c.diffuse;
    if (p.depth.GetKind() != DepthBuffer::Kind::kNone)
        r.z = SpanCursor::FlatDepth(ViewportZ(c.z, viewport), p.depth.Scale(), p.depth.MaxValue());
    return true;
}

void DrawRectangleRows(const QuadRectangle& r, const PixelPipeline& p) {
    const RECT& clip = p.Scissor();
    const LONG top = std::max<LONG>(r.top, clip.top), bottom = std::min<LONG>(r.bottom, clip.bottom);
    const LONG left = std::max<LONG>(r.left, clip.left), right = std::min<LONG>(r.right, clip.right);
    if (left >= right || top >= bottom) return;
    if (p.coarse == nullptr) {
        DrawRows(r, p, left, top, right, bottom);
        return;
    }
    // Runs of tiles where the depth may pass are drawn, the others skipped; tile rows that pass
    // alike go as one block. The bounds read are of tiles this rectangle has not drawn yet: it
    // lowers them once drawn.
    CoarseDepth& coarse = *p.coarse;
    const D3DCMPFUNC func = p.depth.Func();
    constexpr LONG kTile = CoarseDepth::kTile;
    const int firstRow = static_cast<int>(top / kTile), lastRow = static_cast<int>((bottom - 1) / kTile);
    const int lastColumn = static_cast<int>((right - 1) / kTile);
    for (int tx = static_cast<int>(left / kTile); tx <= lastColumn; tx += 32) {
        const int count = std::min(32, lastColumn - tx + 1);
        std::uint32_t pass = coarse.MayPass(tx, firstRow, count, r.z, func);
        for (int ty = firstRow; ty <= lastRow;) {
            int end = ty + 1;
            std::uint32_t next = 0;
            while (end <= lastRow && (next = coarse.MayPass(tx, end, count, r.z, func)) == pass) ++end;
            const LONG y0 = std::max<LONG>(top, ty * kTile), y1 = std::min<LONG>(bottom, end * kTile);
            for (std::uint32_t rest = pass; rest != 0;) {
                const int from = __builtin_ctz(rest);
                const std::uint32_t beyond = ~(rest >> from);
                const int to = beyond == 0 ? 32 : from + __builtin_ctz(beyond);
                LONG x0 = std::max<LONG>(left, (tx + from) * kTile), x1 = std::min<LONG>(right, (tx + to) * kTile);
                // A run narrower than the kernels' blocks is widened to a block within the
                // rectangle. The pixels it takes in are of tiles where the rectangle fails
                // whole, or of runs of its own, which end as drawn once: the draws of a run
                // replace pixels.
                if (x1 - x0 < kTile && right - left >= kTile) {
                    x1 = std::min<LONG>(right, x0 + kTile);
                    x0 = x1 - kTile;
                }
                DrawRows(r, p, x0, y0, x1, y1);
                rest = to == 32 ? 0 : rest & ~((1u << to) - 1);
            }
            // Every pixel drawn ends at the rectangle's depth or nearer, unless the alpha test
            // discards it; tiles it failed hold less than its depth already. Only this group's
            // columns: the next group's bounds are yet to be read.
            if (pass != 0 && !p.alphaTest) {
                const LONG x0 = std::max<LONG>(left, tx * kTile), x1 = std::min<LONG>(right, (tx + count) * kTile);
                for (int row = ty; row < end; ++row)
                    coarse.Lower(row, static_cast<int>(x0), static_cast<int>(std::max<LONG>(top, row * kTile)),
                                 static_cast<int>(x1), static_cast<int>(std::min<LONG>(bottom, (row + 1) * kTile)), r.z);
            }
            ty = end;
            pass = next;
        }
    }
}

}  // namespace d3d9sw
