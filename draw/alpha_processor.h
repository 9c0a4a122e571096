#pragma once
// CAlphaBlendDrawCmdBatchProcessor: the alpha-blended path of a draw layer. It draws
// everything that blends with what lies below it: translucent filled triangles and
// rectangles, textured rectangles flagged for blending, text and particle emitters.
//
// Blending depends on order, so the processor keeps submission order: commands build a list
// of batch nodes in the order they arrive, and a command only joins the node just before it
// (same type, flags and texture, and that node below 1,024 vertices; in the legacy build at
// any size, but for triangles, which stop before their 16-bit indices would pass 65,536
// vertices). Every node carries its
// own render-state record (blend factors, colour operation, pixel shader, filters) and is
// drawn with one call, or one per 65,536 vertices where a particle beam made it that large.
//
// Lifetime of what is submitted: a node keeps a pointer to the command that opened it and to
// the texture it draws from until the frame-end Reset, so commands and textures must live
// until their frame has been drawn. Reset drops those pointers.
//
// Nodes are recycled: Reset moves the frame's nodes to a free list, the next frame takes the
// newest of them first, and a node left unused for more than 1.5 s is freed, one per Reset.
//
// Text arrives as the head of one font page's draw list (alpha_processor_text.cpp draws
// it). Particle commands reach their emitters through a seam below, which the particle work
// installs; while it is not installed, particle commands are dropped. Host thread only.
#include <cstdint>

#include "core/build_variant.h"
#include "core/lru_list.h"
#include "core/pool_table.h"
#include "draw/batch_processor.h"

class CParticleEmitter;
struct PrimitiveData;

// ---- Seam to the particle work ----------------------------------------------------------------

// One beam of an emitter, as the processor draws it.
class IAlphaBatchBeam {
public:
    // The beam's draw flag is set and it has a draw texture.
    virtual bool IsDrawn() = 0;
    // The texture its quads sample (the node's texture).
    virtual CD3DTexture* GetDrawTexture() = 0;
#if LUMI_LEGACY
    // The batch the beam prepared for a particle command's draw mode, drawn from where it
    // lies (AddPreparedBatch); null when there is none.
    virtual const struct prepared_batch_t* GetPreparedBatch(std::int32_t drawMode) = 0;
#else
    // Whether a node with this state record may take the beam's quads.
    virtual bool IsSameRenderState(const STRU_DRAW_PRIMITIVE& record) = 0;
    // Writes one quad per live particle into the node through PrimitiveData::AddQuad. For a
    // new node the beam first sets the node's whole state record from its own states.
    // `depthStep` is the renderer's depth step of one submission (DepthStepFor).
    virtual void AppendToBatch(PrimitiveData& node, bool newNode, const viewport_t& viewport, float depthStep) = 0;
#endif

protected:
    ~IAlphaBatchBeam() = default;
};

// The beams of the emitter a particle command draws.
class IAlphaBatchEmitter {
public:
    // Nothing is drawn before the emitter's script has loaded.
    virtual bool IsLoaded() = 0;
    virtual std::int32_t GetBeamCount() = 0;
    virtual IAlphaBatchBeam* GetBeam(std::int32_t index) = 0;

protected:
    ~IAlphaBatchEmitter() = default;
};

// The emitter's beams, or null when it has none to draw. The view stays the emitter's.
using AlphaBatchEmitterFn = IAlphaBatchEmitter* (*)(CParticleEmitter* emitter);
// Installs the particle work's answer (null uninstalls it); returns the one installed before.
AlphaBatchEmitterFn SetAlphaBatchEmitterFn(AlphaBatchEmitterFn fn);

// ---- Batch nodes ------------------------------------------------------------------------------

#if LUMI_LEGACY
// A batch its owner prepared and keeps until the frame has been drawn (a particle beam's, in
// the legacy build): a node points at it and the flush draws it from there, without a copy.
// Vertices are `vertexStride` bytes each; indices are 16-bit, or none. A batch of the point-list
// type without indices is drawn as point sprites: vertices {x, y, z, size, colour}, 20 bytes.
struct prepared_batch_t {
    const STRU_DRAW_PRIMITIVE* states = nullptr;  // primitive type and count, operations, blend, filters
    const void* vertices = nullptr;
    std::uint32_t vertexCount = 0;
    std::uint32_t vertexStride = sizeof(vertex_t);
    const std::uint16_t* indices = nullptr;
    std::uint32_t indexCount = 0;
};
#endif
inline constexpr DWORD kPointSpriteFvf = D3DFVF_XYZ | D3DFVF_PSIZE | D3DFVF_DIFFUSE;  // 0x62
inline constexpr std::uint32_t kPointSpriteStride = 20;

// What one node draws from: its own arrays, or a batch it was handed (alpha_rules_t::ViewOf).
struct node_view_t {
    const void* vertices;
    std::uint32_t vertexCount;
    std::uint32_t stride;
    const void* indices;
    std::uint32_t indexCount;

    std::uint32_t VertexBytes() const { return vertexCount * stride; }
    std::uint32_t IndexBytes() const { return indexCount * static_cast<std::uint32_t>(sizeof(std::uint16_t)); }
};

// One batch of the alpha path: the vertices and indices of consecutive commands that share
// a render state. Indices count from the start of the node's own vertices (from the start of
// each 65,536-vertex range past the first).
struct PrimitiveData : lru_obj_s {
    static void* operator new(std::size_t size) { return PooledAlloc<PrimitiveData>(size); }
    static void operator delete(void* block) noexcept { PooledFree<PrimitiveData>(block); }
    static PrimitiveData* FromNode(lru_obj_s* node) { return static_cast<PrimitiveData*>(node); }

    static constexpr std::int32_t kInitialVertices = 1280;
    static constexpr std::int32_t kInitialIndices = 2048;

    // A fresh record from its pool (filters -1, nothing written). Throws the pools'
    // exceptions.
    PrimitiveData();
    // Returns the record to its pool.
    ~PrimitiveData();
    PrimitiveData(const PrimitiveData&) = delete;
    PrimitiveData& operator=(const PrimitiveData&) = delete;

    // Room for one quad (left-top, right-top, left-bottom, right-bottom) with its six
    // indices, counted in the record: 2 primitives, 4 vertices, 6 indices. Throws
    // lumi::OutOfMemory when the arrays cannot grow (they keep what they held).
    vertex_t* AddQuad() {
        vertex_t* quad = arrays.AddQuad();
        record->primitiveCount += 2;
        record->vertexCount += 4;
        record->verticesWritten += 4;
        record->indicesWritten += 6;
        return quad;
    }
    // Room for one triangle with its three indices, counted in the record.
    vertex_t* AddTriangle();
    // Nothing written; the record's counts back to 0. Storage is kept.
    void ClearBatch();
    // The node's own vertices and indices.
    node_view_t ArraysView() const {
        return node_view_t{arrays.Vertices(), static_cast<std::uint32_t>(arrays.VertexCount()),
                           static_cast<std::uint32_t>(sizeof(vertex_t)), arrays.Indices(),
                           static_cast<std::uint32_t>(arrays.IndexCount())};
    }

    STRU_DRAW_COMMAND_BASE* firstCommand = nullptr;  // opened the node; null for particles and when free
    // The opening command's type and flags as they were then: a host may refill a record and
    // submit it again in the same frame.
    std::int32_t firstType = -1;
    std::int32_t firstFlags = 0;
    CD3DTexture* texture = nullptr;   // actually bound: atlas page, font page or the texture; not counted
    STRU_DRAW_PRIMITIVE* record;      // owned
    std::uint8_t hasIndices = 1;
    batch_arrays_t arrays{kInitialVertices, kInitialIndices};
    std::uint32_t frameStamp = 0;     // ms of the frame that freed it
#if LUMI_LEGACY
    prepared_batch_t prepared;        // what the node draws instead of its arrays, when set
#endif
};

// ---- The processor -----------------------------------------------------------------------------

class CAlphaBlendDrawCmdBatchProcessor final : public CDrawCmdBatchProcessor {
public:
    static constexpr std::uint32_t kJoinVertexLimit = 1024;  // a node this full takes no more commands
    static constexpr std::uint32_t kNodeIdleMs = 1500;       // free nodes older than this are freed

    // `renderer` may be null: such a processor batches but never draws.
    explicit CAlphaBlendDrawCmdBatchProcessor(CLumiscriber* renderer);
    // Frees every node.
    ~CAlphaBlendDrawCmdBatchProcessor() override;

    // Types 2 (filled triangle), 3 (filled rectangle), 5 (textured rectangle), 6 (the head of
    // one font page's glyphs, STRU_TEXT_COMMAND_BASE) and 7 (particle emitter). False, with
    // nothing batched, for other types, for a textured or text command whose texture has no
    // video copy, and for particles while their seam is not installed. A textured
    // rectangle at scale 1 whose texture (neither a render target nor a mask) has an atlas
    // cell is drawn from the cell's page, and its own video copy is given back; a mask draws
    // the command's colour through its alpha whatever the flags. Node and array failures
    // throw (pool exceptions, lumi::OutOfMemory).
    bool AddCommand(STRU_DRAW_COMMAND_BASE* command, viewport_t* viewport) override;
    // Every node with vertices, in list order, from one upload per buffer. Nothing at all
    // (not even a state read) when there is nothing to draw. Buffer misuse throws as the
    // buffers do.
    void Flush(std::uint32_t sequence, CD3DVertexBuffer* vertexBuffer, CD3DIndexBuffer* indexBuffer,
               viewport_t* viewport) override;
    // The frame's nodes go to the free list stamped with g_FrameTimeMs, forgetting their
    // commands and textures; then the oldest free node is freed when it is more than
    // kNodeIdleMs old.
    void Reset() override;

#if LUMI_LEGACY
    // A node of its own that draws `batch` with its states and `texture`, never joined by a
    // command; its bytes count in the totals. False, with nothing added, for an empty batch
    // and for one whose indices would pass 65,536 vertices.
    bool AddPreparedBatch(const prepared_batch_t& batch, CD3DTexture* texture);
#endif

    std::int32_t GetActiveCount() const { return active_.Count(); }
    std::int32_t GetFreeCount() const { return free_.Count(); }
    // Oldest first; a read-only view.
    const lru_list_t& GetFreeNodes() const { return free_; }

private:
    PrimitiveData* LastActiveNode();
    // The newest free node, else a new one; appended to the active list.
    PrimitiveData* TakeNode();
    // The node the command joins, or a new one with the command's states.
    PrimitiveData* NodeFor(STRU_DRAW_COMMAND_BASE* command, CD3DTexture* texture);
    void SetCommandStates(PrimitiveData& node, const STRU_DRAW_COMMAND_BASE& command) const;
    // Outlined text draws every outline quad of the page's glyphs before the glyphs, so a
    // glyph's box never hides its neighbour's outline from the depth test. In grey mode the
    // text and outline colours turn grey.
    bool AddText(STRU_DRAW_COMMAND_BASE* command, viewport_t* viewport);
    bool AddParticles(STRU_DRAW_COMMAND_BASE* command, viewport_t* viewport);
    void CountNode(const PrimitiveData& node, std::int32_t verticesBefore, std::int32_t indicesBefore);
    void ApplyNodeStates(const STRU_DRAW_PRIMITIVE& record) const;
    // The colour a textured rectangle's vertices carry.
    D3DCOLOR VertexColorOf(const STRU_DRAW_COMMAND_BASE& command) const;
    // Whether the grey flag is drawn through the renderer's grey pixel shader.
    bool HasGreyShader() const;
    // Point sprites on (sizes from the vertices, at most 100 pixels, not scaled) or off.
    void SetPointSpriteStates(bool on) const;

    lru_list_t active_;  // PrimitiveData, in submission order
    lru_list_t free_;    // PrimitiveData, oldest first
};

// ---- What a build's alpha path does, chosen once for the build -----------------------------

#if LUMI_LEGACY
#include "legacy/alpha_rules_legacy.h"
#else
struct alpha_rules_t {
    // A node takes commands while it holds fewer than kJoinVertexLimit vertices.
    static bool HasRoomFor(const PrimitiveData& node, std::int32_t /*type*/) {
        return node.record->vertexCount < CAlphaBlendDrawCmdBatchProcessor::kJoinVertexLimit;
    }
    // Without the grey pixel shader, grey-flagged textures are drawn as they are (else the
    // texture minus grey, from the vertex colour).
    static constexpr bool kGreySubtractsWithoutShader = false;
    // Every node draws its own arrays; none is drawn as point sprites.
    static node_view_t ViewOf(const PrimitiveData& node) { return node.ArraysView(); }
    static void ForgetPreparedBatch(PrimitiveData&) {}
    static constexpr bool IsPointSprites(const STRU_DRAW_PRIMITIVE&, const node_view_t&) { return false; }
};
#endif
