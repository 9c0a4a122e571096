#include "draw/draw_layer.h"

#include "core/lumiscriber.h"
#include "draw/draw_commands.h"
#include "draw/alpha_processor.h"
#include "draw/opaque_processors.h"

draw_layer_t::draw_layer_t(layer_map_t* map, CLumiscriber* owningRenderer, std::uint8_t layerId)
    : owner(map), renderer(owningRenderer), id(layerId) {
    try {
        pointProcessor = new COpaquePointDrawCmdBatchProcessor(renderer);
        lineProcessor = new COpaqueLineDrawCmdBatchProcessor(renderer);
        triangleProcessor = new COpaqueTriangleDrawCmdBatchProcessor(renderer);
        rectProcessor = new COpaqueRectDrawCmdBatchProcessor(renderer);
        texProcessor = new COpaqueTexDrawCmdBatchProcessor(renderer);
        alphaProcessor = new CAlphaBlendDrawCmdBatchProcessor(renderer);
    } catch (...) {
        for (int i = 0; i < kProcessorCount; ++i) delete Processor(i);
        throw;
    }
}

draw_layer_t::~draw_layer_t() {
    for (int i = 0; i < kProcessorCount; ++i) delete Processor(i);
}

CDrawCmdBatchProcessor* draw_layer_t::Processor(int index) const {
    switch (index) {
        case 0: return pointProcessor;
        case 1: return lineProcessor;
        case 2: return triangleProcessor;
        case 3: return rectProcessor;
        case 4: return texProcessor;
        case 5: return alphaProcessor;
        default: return nullptr;
    }
}

void draw_layer_t::Flush(viewport_t* viewport) {
    if (renderer == nullptr) return;
    for (int i = 0; i < kProcessorCount; ++i) {
        CDrawCmdBatchProcessor* processor = Processor(i);
        if (processor == nullptr) continue;
        processor->Flush(0, renderer->GetVertexBuffer(), renderer->GetIndexBuffer(), viewport);
        drawCalls += processor->GetDrawCalls();
    }
}

void draw_layer_t::Reset() {
    for (int i = 0; i < kProcessorCount; ++i) {
        if (CDrawCmdBatchProcessor* processor = Processor(i)) processor->Reset();
    }
    drawCalls = 0;
}

void draw_layer_t::AddDrawStats(std::uint32_t* vertexBytes, std::uint32_t* indexBytes) const {
    for (int i = 0; i < kProcessorCount; ++i) {
        if (const CDrawCmdBatchProcessor* processor = Processor(i)) {
            *vertexBytes += processor->GetVertexBytes();
            *indexBytes += processor->GetIndexBytes();
        }
    }
}

namespace {

CDrawCmdBatchProcessor* ChooseProcessor(const STRU_DRAW_COMMAND_BASE* command, const draw_layer_t* layer) {
    const bool alpha = (command->flags & kDrawFlagAlpha) != 0;
    switch (command->type) {
        case kDrawCmdPoint: return layer->pointProcessor;
        case kDrawCmdLine: return layer->lineProcessor;
        case kDrawCmdTriangle:
            if (static_cast<const STRU_TRI_COMMAND*>(command)->filled == 0) return layer->lineProcessor;
            return alpha ? layer->alphaProcessor : layer->triangleProcessor;
        case kDrawCmdRect:
            if (static_cast<const STRU_RECT_COMMAND*>(command)->filled == 0) return layer->lineProcessor;
            return alpha ? layer->alphaProcessor : layer->rectProcessor;
        case kDrawCmdTexturedRect: return alpha ? layer->alphaProcessor : layer->texProcessor;
        case kDrawCmdText:
        case kDrawCmdParticle: return layer->alphaProcessor;
        default: return nullptr;
    }
}

}  // namespace

bool DispatchDrawCommand(STRU_DRAW_COMMAND_BASE* command, viewport_t* viewport, draw_layer_t* layer) {
    if (command == nullptr || IsScratchCommand(command) || layer == nullptr) return false;
    // Grey mode belongs to the frame, not to the record: the host's command gets its own
    // flags back once the processor has taken it (processors keep no command pointer they
    // read later), so nothing of grey mode outlives it.
    const std::int32_t ownFlags = command->flags;
    if (layer->renderer != nullptr && layer->renderer->IsGreyMode() && ownFlags != kDrawFlagsNoGrey) {
        command->flags = kDrawFlagsGreyMode;
    }
    CDrawCmdBatchProcessor* processor = ChooseProcessor(command, layer);
    bool added = false;
    try {
        added = processor != nullptr && processor->AddCommand(command, viewport);
    } catch (...) {
        command->flags = ownFlags;
        throw;
    }
    command->flags = ownFlags;
    return added;
}
