// The particle branch of the alpha-blended processor: each visible beam of a particle
// command's emitter appends one quad per live particle, joining the node before it when the
// states match; in the legacy build the beam's own prepared batch becomes a node.
#include <utility>

#include "core/viewport.h"
#include "draw/alpha_processor.h"
#include "draw/draw_commands.h"

namespace {

AlphaBatchEmitterFn g_emitterBeams = nullptr;

}  // namespace

AlphaBatchEmitterFn SetAlphaBatchEmitterFn(AlphaBatchEmitterFn fn) { return std::exchange(g_emitterBeams, fn); }

bool CAlphaBlendDrawCmdBatchProcessor::AddParticles(STRU_DRAW_COMMAND_BASE* command, [[maybe_unused]] viewport_t* viewport) {
    auto* particles = DrawCommandAs<STRU_PARTICLE_COMMAND>(command);
    if (particles == nullptr || particles->emitter == nullptr || g_emitterBeams == nullptr) return false;
    IAlphaBatchEmitter* emitter = g_emitterBeams(particles->emitter);
    if (emitter == nullptr || !emitter->IsLoaded()) return false;
    const std::int32_t beams = emitter->GetBeamCount();
    for (std::int32_t i = 0; i < beams; ++i) {
        IAlphaBatchBeam* beam = emitter->GetBeam(i);
        if (beam == nullptr || !beam->IsDrawn()) continue;
        CD3DTexture* texture = beam->GetDrawTexture();
        if (texture == nullptr) continue;
#if LUMI_LEGACY
        // The beam's own batch, drawn where it lies: a node of its own that nothing joins.
        if (const prepared_batch_t* batch = beam->GetPreparedBatch(particles->drawMode))
            AddPreparedBatch(*batch, texture);
#else
        // A beam may extend whatever node precedes it, whoever opened it, when the states
        // match; it is added whole, however many particles it has.
        PrimitiveData* node = LastActiveNode();
        const bool joins = node != nullptr && node->record->vertexCount < kJoinVertexLimit &&
                           node->texture == texture && beam->IsSameRenderState(*node->record);
        if (!joins) {
            node = TakeNode();
            node->texture = texture;
        }
        const std::int32_t verticesBefore = node->arrays.VertexCount();
        const std::int32_t indicesBefore = node->arrays.IndexCount();
        beam->AppendToBatch(*node, !joins, *viewport, DepthStep());
        CountNode(*node, verticesBefore, indicesBefore);
#endif
    }
    return true;
}
