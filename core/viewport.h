#pragma once
// viewport_t: a rectangle of a render target, given as fractions of the target's size, with
// a camera, a clear colour and a lazily made set of draw layers. Made by
// CRenderTarget::AddViewport and owned by its target; freed with the target or by
// RemoveAllViewports, together with its layers.
//
// The viewport is the clip-space provider of the batch processors: a pixel coordinate p
// maps to (p * scale - 0.5) * twoOverWidth - 1 across and 1 - (p * scale - 0.5) *
// twoOverHeight down.
#include <cstdint>
#include <memory>

#include "platform/d3d9/d3d9.h"

class CCamera;
class CRenderTarget;
struct STRU_DRAW_COMMAND_BASE;
struct layer_map_t;

struct viewport_t {
    // Stores the arguments (camera may be null), computes the pixel rectangle.
    viewport_t(CRenderTarget* target, std::int32_t zOrder, CCamera* camera, float x, float y, float width,
               float height);
    // Frees the layers. Touches neither the camera nor its scene manager, which the renderer
    // may already have destroyed.
    ~viewport_t();
    viewport_t(const viewport_t&) = delete;
    viewport_t& operator=(const viewport_t&) = delete;

    // Pixel rectangle = fractions x target size, truncated; 2/width and 2/height from it;
    // marks the viewport dirty so that the renderer applies it again.
    void UpdatePixelRect();
    void SetCamera(CCamera* newCamera);
    bool IsDirty() const { return dirty != 0; }
    void ClearDirty() { dirty = 0; }
    // Also switches clearing on.
    void SetClearFlags(std::int32_t flags);
    void SetClearColor(float r, float g, float b, float a);
    bool HasPixels() const { return pixelWidth > 0 && pixelHeight > 0; }

    // Draw layers: made on first use, owner = the camera's scene manager (none without a
    // camera).
    layer_map_t* CreateLayers();
    layer_map_t* GetLayers() { return layers ? layers.get() : CreateLayers(); }
    // Hands the command to the default layer's processor of its path (layers made when
    // missing); the command must live until the frame is drawn. Dropped (false) while the
    // renderer's device is lost; otherwise the processor's result.
    bool AddDrawCommand(STRU_DRAW_COMMAND_BASE* command);
    // Empties every layer for the next frame; nothing without layers.
    void ResetLayers();
    // Vertex and index bytes the layers hold for this frame; 0 without layers.
    void GetDrawStats(std::uint32_t* vertexBytes, std::uint32_t* indexBytes) const;

    CCamera* camera;
    CRenderTarget* target;            // owner
    float x, y, width, height;        // fractions of the target's width and height
    std::int32_t pixelX, pixelY, pixelWidth, pixelHeight;
    float twoOverWidth = 1.0f;        // 2 / pixel width
    float twoOverHeight = 1.0f;       // 2 / pixel height
    std::int32_t zOrder;              // the target's map key
    float clearColor[4];              // r, g, b, a in 0..1
    std::int32_t clearEnabled = 1;
    std::int32_t clearFlags = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER;
    std::uint8_t dirty = 0;
    std::uint8_t renderFlag = 1;      // handed to RenderScene, which does not read it
    std::unique_ptr<layer_map_t> layers;
    float scale = 1.0f;               // the pixel scale of the clip-space formulas

    // The colour every viewport starts with (all zero; nothing changes it).
    static const float kDefaultClearColor[4];
};
