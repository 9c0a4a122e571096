#include "draw/layer_map.h"

#include "core/scene_manager.h"
#include "draw/draw_layer.h"

layer_map_t::layer_map_t(CSceneManager* sceneManager) : owner(sceneManager) { GetDefaultLayer(); }

layer_map_t::~layer_map_t() { layers.clear(); }

draw_layer_t* layer_map_t::FindDefaultLayer() {
    auto it = layers.find(defaultLayerId);
    if (it == layers.end()) {
        CLumiscriber* renderer = owner != nullptr ? owner->GetRenderer() : nullptr;
        it = layers.emplace(defaultLayerId, std::make_unique<draw_layer_t>(this, renderer, defaultLayerId)).first;
    }
    defaultLayer_ = it->second.get();
    defaultLayerFoundFor_ = defaultLayerId;
    return defaultLayer_;
}

void layer_map_t::Flush(viewport_t* viewport) {
    for (auto& entry : layers) entry.second->Flush(viewport);
}

void layer_map_t::Reset() {
    for (auto& entry : layers) entry.second->Reset();
}

void layer_map_t::GetDrawStats(std::uint32_t* vertexBytes, std::uint32_t* indexBytes) const {
    *vertexBytes = 0;
    *indexBytes = 0;
    for (const auto& entry : layers) entry.second->AddDrawStats(vertexBytes, indexBytes);
}
