#pragma once
// The five opaque batch processors of a draw layer: points, lines (also the outlines of
// triangles and rectangles), filled triangles, filled rectangles and textured rectangles.
// They draw with the depth test on and blending off; each vertex's depth carries its
// command's submission number, so the order of their flushes does not change what is seen.
//
// Each processor holds one batch (the textured one, one per texture actually bound) and
// draws it with one call, or one per 65,536 vertices where 16-bit indices are used.
//
// The point, line and triangle processors refuse a command that sits in a list with
// lumi::Exception "invalid param". A command of a type the processor does not draw is
// dropped (false).
#include <cstdint>
#include <functional>
#include <map>

#include "core/node_pool.h"
#include "draw/batch_processor.h"

struct tex_cell_t;
struct STRU_RECT_COMMAND;

class COpaquePointDrawCmdBatchProcessor final : public CNoAlphaBlendDrawCmdBatchProcessor {
public:
    explicit COpaquePointDrawCmdBatchProcessor(CLumiscriber* renderer);
    // Type 0: one vertex at the point.
    bool AddCommand(STRU_DRAW_COMMAND_BASE* command, viewport_t* viewport) override;
};

class COpaqueLineDrawCmdBatchProcessor final : public CNoAlphaBlendDrawCmdBatchProcessor {
public:
    explicit COpaqueLineDrawCmdBatchProcessor(CLumiscriber* renderer);
    // Type 1: its segments; type 2: the edges p1-p2, p3-p1, p2-p3; type 3: the four edges
    // from the left-top corner clockwise back to it. Two vertices per segment or edge.
    bool AddCommand(STRU_DRAW_COMMAND_BASE* command, viewport_t* viewport) override;
};

class COpaqueTriangleDrawCmdBatchProcessor final : public CNoAlphaBlendDrawCmdBatchProcessor {
public:
    explicit COpaqueTriangleDrawCmdBatchProcessor(CLumiscriber* renderer);
    // Type 2: the three points; drawn whatever their winding.
    bool AddCommand(STRU_DRAW_COMMAND_BASE* command, viewport_t* viewport) override;
};

class COpaqueRectDrawCmdBatchProcessor final : public CNoAlphaBlendDrawCmdBatchProcessor {
public:
    explicit COpaqueRectDrawCmdBatchProcessor(CLumiscriber* renderer);
    // Type 3: the destination rectangle as an indexed quad.
    bool AddCommand(STRU_DRAW_COMMAND_BASE* command, viewport_t* viewport) override;
};

// Textured rectangles (type 5), batched by the texture actually bound: at scale 1 a texture
// copied into an atlas page is drawn from the page, so textures that share a page share a
// batch and a draw call. The texture colour is drawn as it is (the command's colour is not
// applied).
class COpaqueTexDrawCmdBatchProcessor final : public CNoAlphaBlendDrawCmdBatchProcessor {
public:
    explicit COpaqueTexDrawCmdBatchProcessor(CLumiscriber* renderer);
    // Frees every batch.
    ~COpaqueTexDrawCmdBatchProcessor() override;

    // False (dropped for this frame) without texture, or when the texture drawn by itself
    // cannot have its video copy; its dirty pixels are uploaded first.
    bool AddCommand(STRU_DRAW_COMMAND_BASE* command, viewport_t* viewport) override;
    // Applies the viewport's target filters (those not -1) even when there is nothing to
    // draw; then every batch with quads, in ascending order of its texture, from one upload
    // per buffer. A texture that gave its video copy back since it was batched gets one again.
    void Flush(std::uint32_t sequence, CD3DVertexBuffer* vertexBuffer, CD3DIndexBuffer* indexBuffer,
               viewport_t* viewport) override;
    // Empties the batches. A batch that stayed empty for kIdleResetsBeforeDrop resets in a
    // row is freed, so textures drawn long ago cost nothing per flush.
    void Reset() override;

    static constexpr std::int32_t kIdleResetsBeforeDrop = 60;

    std::int32_t GetBatchCount() const { return static_cast<std::int32_t>(batches_.size()); }

private:
    struct tex_batch_t;
    using BatchMap = std::map<CD3DTexture*, tex_batch_t*, std::less<CD3DTexture*>,
                              node_pool_allocator<std::pair<CD3DTexture* const, tex_batch_t*>>>;

    tex_batch_t* FindOrCreateBatch(CD3DTexture* texture);
    static void DeleteBatch(tex_batch_t* batch);

    BatchMap batches_;
    // The batch the last rectangle went to: runs of rectangles from one texture or atlas page
    // skip the map. Forgotten at every reset, which may free batches.
    CD3DTexture* lastTexture_ = nullptr;
    tex_batch_t* lastBatch_ = nullptr;
};

// The atlas cell a textured rectangle is drawn from: the texture manager's copy of its
// texture in an atlas page, placed on first use. Only for draws that copy texels one to one
// (scale 1, the destination as large as the source, the source inside the texture): any
// other sampling would reach into the neighbouring cells of the page, so such draws take
// the texture's own copy. Null when it is drawn by itself (that, no manager, a texture the
// pages cannot take, or the device lost).
tex_cell_t* AtlasCellFor(CLumiscriber* renderer, const STRU_RECT_COMMAND& command, const viewport_t& viewport);

// The texture drawn by itself: its video copy made when missing and brought up to date.
// False when it cannot have one (the command is dropped for this frame).
bool PrepareOwnCopy(CD3DTexture* texture);
