// The legacy alpha path's prepared batches: a node of its own that draws, from where it lies,
// a batch its owner keeps until the frame has been drawn (a particle beam's).
#include "draw/alpha_processor.h"

bool CAlphaBlendDrawCmdBatchProcessor::AddPreparedBatch(const prepared_batch_t& batch, CD3DTexture* texture) {
    if (batch.states == nullptr || batch.vertices == nullptr || batch.vertexCount == 0) return false;
    if (batch.indexCount != 0 && batch.vertexCount > static_cast<std::uint32_t>(kMaxVerticesPerDraw)) return false;
    PrimitiveData* node = TakeNode();
    node->texture = texture;
    *node->record = *batch.states;
    node->record->texture = texture;
    node->prepared = batch;
    // The dynamic buffers are sized from the totals before the flush uploads the batch.
    vertexBytes_ += batch.vertexCount * batch.vertexStride;
    indexBytes_ += batch.indexCount * indexSize_;
    return true;
}
