#pragma once
// layer_map_t: the draw layers of one viewport, made on the viewport's first use and freed
// with it. Only the default layer (id 50) is ever made, and every submission goes to it; the
// map keeps layers in ascending id, the order they are flushed in.
#include <cstdint>
#include <map>
#include <memory>

class CSceneManager;
struct draw_layer_t;
struct viewport_t;

struct layer_map_t {
    static constexpr std::uint8_t kDefaultLayerId = 50;

    // Makes the default layer. `owner` (the viewport camera's scene manager, through which
    // the layers reach the renderer) may be null.
    explicit layer_map_t(CSceneManager* owner);
    // Deletes every layer. Does not touch the owner, which may already be gone.
    ~layer_map_t();
    layer_map_t(const layer_map_t&) = delete;
    layer_map_t& operator=(const layer_map_t&) = delete;

    // The default layer, made again when missing.
    draw_layer_t* GetDefaultLayer() {
        if (defaultLayer_ != nullptr && defaultLayerFoundFor_ == defaultLayerId) return defaultLayer_;
        return FindDefaultLayer();
    }
    // Every layer, in ascending id, draws what it holds into the viewport.
    void Flush(viewport_t* viewport);
    // Every layer emptied for the next frame.
    void Reset();
    // The vertex and index bytes all layers hold (both zeroed first).
    void GetDrawStats(std::uint32_t* vertexBytes, std::uint32_t* indexBytes) const;

    CSceneManager* owner;
    std::map<std::uint8_t, std::unique_ptr<draw_layer_t>> layers;
    std::uint8_t defaultLayerId = kDefaultLayerId;

private:
    draw_layer_t* FindDefaultLayer();

    // Every submission asks for the default layer: it is found in the map once. Layers leave
    // the map only with the map.
    draw_layer_t* defaultLayer_ = nullptr;
    std::uint8_t defaultLayerFoundFor_ = 0;
};
