#pragma once
// The batch processors: each turns the draw commands of one drawing path into vertices in
// system memory as they are submitted, and at flush time uploads them to the renderer's
// shared dynamic buffers and draws them with as few calls as it can. A draw layer owns one
// processor per path and flushes them in a fixed order (see draw_layer.h).
//
// Order on screen: every vertex lies at depth 1 - sequence x step (DepthOfSequence), the
// sequence being the command's submission number in its frame, so that with the depth test
// on a later submission covers an earlier one whichever processor drew it.
//
// Device state: every state a flush needs is read back from the device first and set only
// when it differs.
#include <bit>
#include <cstdint>
#include <vector>

#include "core/grow_array.h"
#include "core/lru_list.h"
#include "core/pool_table.h"
#include "platform/d3d9/d3d9.h"

class CD3DBuffer;
class CD3DIndexBuffer;
class CD3DTexture;
class CD3DVertexBuffer;
class CLumiscriber;
struct STRU_DRAW_COMMAND_BASE;
struct viewport_t;
class batch_arrays_t;

// The vertex of every 2D batch: position already in clip space, the command's colour and
// one set of texture coordinates (0 where untextured).
struct vertex_t {
    float x, y, z;
    D3DCOLOR diffuse;
    float u, v;
};
static_assert(sizeof(vertex_t) == 24, "the vertex buffers are sized in 24-byte vertices");

inline constexpr DWORD kVertexFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;  // 0x142

// 16-bit indices reach 65,536 vertices: an indexed batch draws its vertices in ranges of at
// most this many, each range with its own stream offset.
inline constexpr std::int32_t kMaxVerticesPerDraw = 65536;

// Where the pixel coordinates of a viewport land in clip space. The viewport is the one
// provider of these factors in the current build; the legacy build takes them from its
// process-wide clip scale (legacy/clip_scale.h), at scale 1, whatever the viewport.
struct clip_space_t {
    float scale;          // pixels of the target per coordinate unit
    float twoOverWidth;   // 2 / the viewport's pixel width
    float twoOverHeight;  // 2 / the viewport's pixel height

    // The half-pixel shift puts pixel centres on integer coordinates, so a rectangle
    // (l, t, r, b) covers exactly the pixels l..r-1 by t..b-1 at scale 1.
    float X(float px) const { return (px * scale - 0.5f) * twoOverWidth - 1.0f; }
    float Y(float py) const { return 1.0f - (py * scale - 0.5f) * twoOverHeight; }
};

clip_space_t ClipSpaceOf(const viewport_t* viewport);

// Writes the vertices of one command (or one glyph run) into a batch: its clip space, depth
// and colour, each vertex with its pixel position and texture coordinates.
struct vertex_writer_t {
    clip_space_t clip;
    float z;
    D3DCOLOR color;

    void Put(vertex_t* vertex, float px, float py, float u = 0.0f, float v = 0.0f) const {
        vertex->x = clip.X(px);
        vertex->y = clip.Y(py);
        vertex->z = z;
        vertex->diffuse = color;
        vertex->u = u;
        vertex->v = v;
    }

    // Left-top, right-top, left-bottom, right-bottom: the order batch_arrays_t::AddQuad
    // indexes. `uv` holds the left, top, right and bottom texture coordinates.
    void PutQuad(vertex_t* quad, const RECT& rect, const float (&uv)[4] = {0.0f, 0.0f, 0.0f, 0.0f}) const {
        const auto left = static_cast<float>(rect.left);
        const auto top = static_cast<float>(rect.top);
        const auto right = static_cast<float>(rect.right);
        const auto bottom = static_cast<float>(rect.bottom);
        Put(quad + 0, left, top, uv[0], uv[1]);
        Put(quad + 1, right, top, uv[2], uv[1]);
        Put(quad + 2, left, bottom, uv[0], uv[3]);
        Put(quad + 3, right, bottom, uv[2], uv[3]);
    }
};

// The depth step of one submission for a depth buffer of the format: 2^-22 from 24 bits up,
// about four levels of the buffer and exact in a float, so that no two neighbours ever share
// a value (4,194,304 submissions a frame); 0.00001 for 16 bits and less, where the buffer
// cannot do better than about a level and a half.
float DepthStepFor(D3DFORMAT depthFormat);
inline constexpr float kDepthStep16 = 0.00001f;

// 1 - sequence x step: later submissions lie nearer. Past the last step the depth stays at 0
// rather than leaving the depth range: such commands still draw in front of every earlier
// one, but among themselves in flush order (opaque paths first, then the alpha path).
float DepthOfSequence(std::uint32_t sequence, float step);

// One piece of an upload: `bytes` bytes at `data`.
struct upload_span_t {
    const void* data;
    std::uint32_t bytes;
};

// Appends the pieces (empty ones skipped) to `buffer` in one lock of `total` bytes, the sum of
// their sizes; returns the start offset. Unlocks on every path; lock and write failures throw
// as the buffer does.
std::uint32_t UploadSpans(CD3DBuffer* buffer, std::uint32_t total, const std::vector<upload_span_t>& spans);

// The video copy a flush binds for a batched texture (null for none). A texture batched by
// itself may have given its copy back since (drawn from an atlas page at scale 1 later in the
// frame): it gets one again, with its pixels, rather than being drawn black. Null when the
// copy cannot be made.
IDirect3DTexture9* VideoCopyOf(CD3DTexture* texture);

// Texture coordinates of source pixels: (left, top, right, bottom) over the texture's width
// and height, the four quotients computed at once. Inline: every sprite asks, and its
// vertices take the four values straight from registers.
inline void SourceTextureCoordinates(const RECT& source, std::uint32_t width, std::uint32_t height,
                                     float (&uv)[4]) {
    typedef float Float4 __attribute__((vector_size(16)));
    const Float4 pixels = {static_cast<float>(source.left), static_cast<float>(source.top),
                           static_cast<float>(source.right), static_cast<float>(source.bottom)};
    // Without a population-count instruction in the baseline, std::has_single_bit is a call.
    const auto powerOfTwo = [](std::uint32_t n) { return n != 0 && (n & (n - 1)) == 0; };
    Float4 coordinates;
    if (powerOfTwo(width) && powerOfTwo(height)) {
        // Atlas pages and most textures: multiplying by 2^-k, built from the exponent, is
        // exact, so it rounds as the division does without waiting for one.
        const auto reciprocal = [](std::uint32_t n) {
            return std::bit_cast<float>(static_cast<std::uint32_t>(127 - std::countr_zero(n)) << 23);
        };
        const float u = reciprocal(width);
        const float v = reciprocal(height);
        coordinates = pixels * Float4{u, v, u, v};
    } else {
        // One packed division rounds each lane as four single ones would.
        const auto w = static_cast<float>(width);
        const auto h = static_cast<float>(height);
        coordinates = pixels / Float4{w, h, w, h};
    }
    for (int i = 0; i < 4; ++i) uv[i] = coordinates[i];
}

// The render-state record of one batch. Filters of -1 leave the device's value.
struct STRU_DRAW_PRIMITIVE {
    static void* operator new(std::size_t size) { return PooledAlloc<STRU_DRAW_PRIMITIVE>(size); }
    static void operator delete(void* block) noexcept { PooledFree<STRU_DRAW_PRIMITIVE>(block); }

    lru_obj_s node;  // never linked by the batches
    D3DPRIMITIVETYPE primitiveType = D3DPT_TRIANGLELIST;
    std::uint32_t primitiveCount = 0;
    std::uint32_t vertexCount = 0;
    DWORD colorOp = D3DTOP_DISABLE;   // stage 0
    DWORD alphaOp = D3DTOP_DISABLE;   // stage 0
    DWORD sourceBlend = D3DBLEND_ONE;
    DWORD destinationBlend = D3DBLEND_ZERO;
    DWORD blendOp = D3DBLENDOP_ADD;
    DWORD cullMode = D3DCULL_CCW;
    CD3DTexture* texture = nullptr;           // not counted
    IDirect3DPixelShader9* pixelShader = nullptr;  // null = fixed function; not counted
    std::int32_t magFilter = -1;              // sampler 0
    std::int32_t minFilter = -1;              // sampler 0
    std::int32_t thirdFilter = -1;            // applied by no flush
    std::uint32_t verticesWritten = 0;
    std::uint32_t indicesWritten = 0;
};

class CDrawCmdBatchProcessor {
public:
    virtual ~CDrawCmdBatchProcessor();
    CDrawCmdBatchProcessor(const CDrawCmdBatchProcessor&) = delete;
    CDrawCmdBatchProcessor& operator=(const CDrawCmdBatchProcessor&) = delete;

    // Takes the command's vertices now (the command itself is not kept by the opaque
    // processors). True when batched, false when dropped for this frame.
    virtual bool AddCommand(STRU_DRAW_COMMAND_BASE* command, viewport_t* viewport) = 0;
    // Uploads what the processor holds into the buffers and draws it into the viewport's
    // target. `sequence` is not read. Buffer misuse throws as the buffers do. Nothing happens
    // without a device.
    virtual void Flush(std::uint32_t sequence, CD3DVertexBuffer* vertexBuffer, CD3DIndexBuffer* indexBuffer,
                       viewport_t* viewport) = 0;
    // Empties the processor for the next frame; arrays keep their storage.
    virtual void Reset();

    // Draw calls made by the last flush.
    std::int32_t GetDrawCalls() const { return drawCalls_; }
    // Bytes of vertices and indices held since the last reset: what the dynamic buffers
    // must take this frame.
    std::uint32_t GetVertexBytes() const { return vertexBytes_; }
    std::uint32_t GetIndexBytes() const { return indexBytes_; }
    CLumiscriber* GetRenderer() const { return renderer_; }

protected:
    // `renderer` may be null: such a processor batches but never draws. `indexSize` is 0
    // for processors that draw without indices, else 2.
    CDrawCmdBatchProcessor(CLumiscriber* renderer, std::uint32_t indexSize);

    IDirect3DDevice9* Device() const;
    // The depth of a submission at the renderer's depth step (0.00001 without renderer), and
    // half a step behind it: still in front of the submission before.
    float Depth(std::uint32_t sequence) const;
    float DepthJustBehind(std::uint32_t sequence) const;
    float DepthStep() const;

    // Read back, then set only when different (or when the read fails).
    void SetRenderStateIfChanged(D3DRENDERSTATETYPE state, DWORD value) const;
    void SetStageStateIfChanged(D3DTEXTURESTAGESTATETYPE type, DWORD value) const;  // stage 0
    void SetSamplerStateIfChanged(D3DSAMPLERSTATETYPE type, DWORD value) const;     // sampler 0
    void SetPixelShaderIfChanged(IDirect3DPixelShader9* shader) const;
    // Colour and alpha operation, cull mode and pixel shader of the record, with the depth
    // test on and blending off: the states every opaque draw runs with.
    void ApplyOpaqueStates(const STRU_DRAW_PRIMITIVE& record) const;

    // Appends the vertices (or the indices) of the given batches, empty ones skipped, to
    // `buffer` in one lock of `total` bytes; returns the start offset. Unlocks on every path.
    std::uint32_t UploadBatches(CD3DBuffer* buffer, std::uint32_t total, bool vertices,
                                const std::vector<const batch_arrays_t*>& batches) const;

    // One device draw made: counted for the flush and as one batch of the renderer's frame
    // (the host's submissions are counted apart, as draw calls).
    void CountDrawCall();
    // Draws quads uploaded at `vertexStart` / `indexStart` (bytes) with the record's
    // primitive type: one call per 65,536-vertex range, each with its own stream offset.
    // The index buffer must be set.
    void DrawQuadRanges(const STRU_DRAW_PRIMITIVE& record, const batch_arrays_t& arrays,
                        CD3DVertexBuffer* vertexBuffer, std::uint32_t vertexStart, std::uint32_t indexStart);

    std::int32_t drawCalls_ = 0;
    CLumiscriber* renderer_;
    std::uint32_t vertexStride_ = sizeof(vertex_t);
    std::uint32_t indexSize_;
    std::uint32_t vertexBytes_ = 0;
    std::uint32_t indexBytes_ = 0;
};

// Vertices (and, for indexed drawing, 16-bit indices) of one render state, written at
// submission through reserve-then-write. Storage is made on first use with the initial
// counts and then doubles, so a large first frame copies each element a few times at most.
// Resetting keeps the storage. A failed first allocation throws lumi::Exception "out of
// memory"; a failed growth lumi::OutOfMemory, leaving the contents as they were.
class batch_arrays_t {
public:
    batch_arrays_t(std::int32_t initialVertices, std::int32_t initialIndices)
        : initialVertices_(initialVertices), initialIndices_(initialIndices) {}

    // Room for `count` more vertices / indices; returns where to write them. The counts
    // advance at once.
    vertex_t* AddVertices(std::int32_t count);
    std::uint16_t* AddIndices(std::int32_t count);

    // A quad of four vertices (left-top, right-top, left-bottom, right-bottom) and its six
    // indices, wound so that culling counter-clockwise keeps it. The indices count from the
    // start of the quad's 65,536-vertex range.
    vertex_t* AddQuad() {
        // Quads never straddle a range: a range holds a whole number of them.
        if (vertexCount_ + 4 > vertices_.capacity || indexCount_ + 6 > indices_.capacity) return AddQuadGrowing();
        const auto base = static_cast<std::uint16_t>(vertexCount_ % kMaxVerticesPerDraw);
        std::uint16_t* index = indices_.elements + indexCount_;
        index[0] = base;
        index[1] = static_cast<std::uint16_t>(base + 1);
        index[2] = static_cast<std::uint16_t>(base + 2);
        index[3] = static_cast<std::uint16_t>(base + 2);
        index[4] = static_cast<std::uint16_t>(base + 1);
        index[5] = static_cast<std::uint16_t>(base + 3);
        indexCount_ += 6;
        vertex_t* quad = vertices_.elements + vertexCount_;
        vertexCount_ += 4;
        return quad;
    }

    void Clear() {
        vertexCount_ = 0;
        indexCount_ = 0;
    }
    std::int32_t VertexCount() const { return vertexCount_; }
    std::int32_t IndexCount() const { return indexCount_; }
    const vertex_t* Vertices() const { return vertices_.Data(); }
    const std::uint16_t* Indices() const { return indices_.Data(); }
    std::int32_t VertexCapacity() const { return vertices_.capacity; }
    std::int32_t IndexCapacity() const { return indices_.capacity; }

private:
    vertex_t* AddQuadGrowing();
    template <class T>
    static T* Room(grow_array_t<T>& array, std::int32_t initial, std::int32_t used, std::int32_t more);

    std::int32_t initialVertices_;
    std::int32_t initialIndices_;
    grow_array_t<vertex_t> vertices_;
    std::int32_t vertexCount_ = 0;
    grow_array_t<std::uint16_t> indices_;
    std::int32_t indexCount_ = 0;
};

// The base of the opaque processors: depth test on, blending off, states from a template
// record; their order on screen comes from depth alone.
class CNoAlphaBlendDrawCmdBatchProcessor : public CDrawCmdBatchProcessor {
public:
    // Uploads the arrays (one lock per buffer) and draws them with the template's states:
    // one draw, or one per 65,536-vertex range when indexed; the point processor leaves
    // stage 0 without texture first.
    void Flush(std::uint32_t sequence, CD3DVertexBuffer* vertexBuffer, CD3DIndexBuffer* indexBuffer,
               viewport_t* viewport) override;
    void Reset() override;

    const STRU_DRAW_PRIMITIVE& GetTemplate() const { return template_; }

protected:
    CNoAlphaBlendDrawCmdBatchProcessor(CLumiscriber* renderer, std::uint32_t indexSize, D3DPRIMITIVETYPE type,
                                       DWORD colorOp, DWORD cullMode, std::int32_t initialVertices,
                                       std::int32_t initialIndices);

    // Counts a command's vertices and primitives into the template and the byte totals.
    void CountCommand(std::uint32_t vertices, std::uint32_t indices, std::uint32_t primitives);

    STRU_DRAW_PRIMITIVE template_;
    batch_arrays_t arrays_;
    bool unbindsTexture_ = false;  // stage 0 is left without texture before drawing
};
