#include "draw/draw_layer.h"

draw_layer_t::draw_layer_t(layer_map_t* map, CLumiscriber* owningRenderer, std::uint8_t layerId)
    : owner(map), renderer(owningRenderer), id(layerId) {}

draw_layer_t::~draw_layer_t() = default;

void draw_layer_t::Flush(viewport_t*) {}

void draw_layer_t::Reset() { drawCalls = 0; }

void draw_layer_t::AddDrawStats(std::uint32_t*, std::uint32_t*) const {}
