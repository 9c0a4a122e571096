#pragma once
// The legacy build's alpha-path rules (alpha_rules_t, draw/alpha_processor.h): like commands
// join a node at any length (triangles up to what their 16-bit indices reach), grey-flagged
// textures fall back to a subtraction without the grey pixel shader, and a node may draw a
// batch its owner prepared, point sprites included.
#include "core/build_variant.h"
#include "core/renderer_interface.h"

#if !LUMI_LEGACY
#error "the legacy alpha-path rules belong to the legacy build"
#endif

struct alpha_rules_t {
    // No limit, but triangles index from the node's first vertex in 16 bits (quads are drawn
    // in 65,536-vertex ranges).
    static bool HasRoomFor(const PrimitiveData& node, std::int32_t type) {
        return type != kDrawCmdTriangle || node.record->vertexCount + 3 <= kMaxVerticesPerDraw;
    }
    // Without a grey pixel shader (none, or it could not be made), the texture minus grey
    // 0x60 per channel.
    static constexpr bool kGreySubtractsWithoutShader = true;
    // A node handed a prepared batch draws it from where it lies.
    static node_view_t ViewOf(const PrimitiveData& node) {
        const prepared_batch_t& batch = node.prepared;
        if (batch.vertices == nullptr) return node.ArraysView();
        return node_view_t{batch.vertices, batch.vertexCount, batch.vertexStride, batch.indices, batch.indexCount};
    }
    static void ForgetPreparedBatch(PrimitiveData& node) { node.prepared = prepared_batch_t{}; }
    // A prepared point list without indices.
    static bool IsPointSprites(const STRU_DRAW_PRIMITIVE& record, const node_view_t& view) {
        return record.primitiveType == D3DPT_POINTLIST && view.indexCount == 0;
    }
};
