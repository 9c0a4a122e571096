#pragma once
// draw_layer_t: one layer of a viewport's draw layers. It owns one batch processor per
// drawing path and flushes them in a fixed order (points, lines, triangles, rectangles,
// textured rectangles, then the alpha-blended batches), so that everything translucent is
// drawn after all opaque drawing of the layer.
//
// DispatchDrawCommand hands a submitted command to the processor of its path at once.
#include <cstdint>

class CLumiscriber;
class CDrawCmdBatchProcessor;
class COpaquePointDrawCmdBatchProcessor;
class COpaqueLineDrawCmdBatchProcessor;
class COpaqueTriangleDrawCmdBatchProcessor;
class COpaqueRectDrawCmdBatchProcessor;
class COpaqueTexDrawCmdBatchProcessor;
struct STRU_DRAW_COMMAND_BASE;
struct layer_map_t;
struct viewport_t;

struct draw_layer_t {
    static constexpr int kProcessorCount = 6;

    // Makes the opaque processors with the renderer. `renderer` may be null: such a layer
    // batches but never draws (a viewport outside a renderer).
    draw_layer_t(layer_map_t* owner, CLumiscriber* renderer, std::uint8_t id);
    // Deletes the processors.
    ~draw_layer_t();
    draw_layer_t(const draw_layer_t&) = delete;
    draw_layer_t& operator=(const draw_layer_t&) = delete;

    // Each processor in the fixed order uploads into the renderer's dynamic buffers and
    // draws; their draw calls are added to the layer's total. Nothing without a renderer.
    // Processor and buffer exceptions reach the caller.
    void Flush(viewport_t* viewport);
    // Every processor emptied; the draw-call total back to 0.
    void Reset();
    // The vertex and index bytes the processors hold, added to the outputs.
    void AddDrawStats(std::uint32_t* vertexBytes, std::uint32_t* indexBytes) const;

    // The processors in flush order; the alpha slot may be empty.
    CDrawCmdBatchProcessor* Processor(int index) const;

    std::int32_t drawCalls = 0;  // since the last Reset
    layer_map_t* owner;
    CLumiscriber* renderer;
    std::int32_t id;
    COpaquePointDrawCmdBatchProcessor* pointProcessor = nullptr;
    COpaqueLineDrawCmdBatchProcessor* lineProcessor = nullptr;
    COpaqueTriangleDrawCmdBatchProcessor* triangleProcessor = nullptr;
    COpaqueRectDrawCmdBatchProcessor* rectProcessor = nullptr;
    COpaqueTexDrawCmdBatchProcessor* texProcessor = nullptr;
    // The alpha-blended batches; while empty, commands of the alpha path are dropped.
    CDrawCmdBatchProcessor* alphaProcessor = nullptr;
};

// Grey mode first: while the renderer's switch is on, flags other than -1 count as 0x10002
// (alpha pass with the grey shader) for this dispatch; the record keeps its own. Then by type:
//   0 point -> points; 1 line -> lines;
//   2 triangle, 3 rectangle: outline -> lines, filled with flag 2 -> alpha, filled -> their own;
//   5 textured rectangle: flag 2 -> alpha, else textured; 6 text, 7 particles -> alpha;
//   anything else (null and the scratch-command value too) is ignored: false.
// Returns the processor's result.
bool DispatchDrawCommand(STRU_DRAW_COMMAND_BASE* command, viewport_t* viewport, draw_layer_t* layer);
