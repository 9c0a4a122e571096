#pragma once
// draw_layer_t: one layer of a viewport's draw layers. It owns one batch processor per
// drawing path and flushes them in a fixed order (points, lines, triangles, rectangles,
// textured rectangles, then the alpha-blended batches), so that everything translucent is
// drawn after all opaque drawing of the layer.
//
// The processors come with the drawing path; until then a layer holds no processor, reports
// no bytes and draws nothing.
#include <cstdint>

class CLumiscriber;
class COpaquePointDrawCmdBatchProcessor;
class COpaqueLineDrawCmdBatchProcessor;
class COpaqueTriangleDrawCmdBatchProcessor;
class COpaqueRectDrawCmdBatchProcessor;
class COpaqueTexDrawCmdBatchProcessor;
class CAlphaBlendDrawCmdBatchProcessor;
struct layer_map_t;
struct viewport_t;

struct draw_layer_t {
    // `renderer` may be null (a viewport outside a renderer draws nothing).
    draw_layer_t(layer_map_t* owner, CLumiscriber* renderer, std::uint8_t id);
    // Deletes the processors.
    ~draw_layer_t();
    draw_layer_t(const draw_layer_t&) = delete;
    draw_layer_t& operator=(const draw_layer_t&) = delete;

    // Each processor in the fixed order uploads into the renderer's dynamic buffers and
    // draws; their draw calls are added to the layer's total.
    void Flush(viewport_t* viewport);
    // Every processor emptied; the draw-call total back to 0.
    void Reset();
    // The vertex and index bytes the processors hold, added to the outputs.
    void AddDrawStats(std::uint32_t* vertexBytes, std::uint32_t* indexBytes) const;

    std::int32_t drawCalls = 0;  // since the last Reset
    layer_map_t* owner;
    CLumiscriber* renderer;
    std::int32_t id;
    COpaquePointDrawCmdBatchProcessor* pointProcessor = nullptr;
    COpaqueLineDrawCmdBatchProcessor* lineProcessor = nullptr;
    COpaqueTriangleDrawCmdBatchProcessor* triangleProcessor = nullptr;
    COpaqueRectDrawCmdBatchProcessor* rectProcessor = nullptr;
    COpaqueTexDrawCmdBatchProcessor* texProcessor = nullptr;
    CAlphaBlendDrawCmdBatchProcessor* alphaProcessor = nullptr;
};
