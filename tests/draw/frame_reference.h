#pragma once
// A plain reference for whole frames of the renderer, for the differential frame tests. The
// host's submissions are recorded as they are made and, at the frame's flush, drawn one by
// one in submission order straight to a software device of the reference's own, with
// textures of its own: no depth test, no batching, no atlas, no pools. Each submission is
// drawn as the renderer documents it (clip-space arithmetic, states of its path); a sprite
// samples the pixels its texture holds at the flush, as the renderer's rule for queued draws
// says.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/win32/win32_types.h"

namespace lumi::test {

class FrameReference {
public:
    // What one renderer texture holds, as the host wrote it.
    struct Texture {
        int width = 0;
        int height = 0;
        D3DFORMAT format = D3DFMT_X8R8G8B8;  // X8R8G8B8 or A8R8G8B8
        std::vector<std::uint32_t> texels;   // ARGB, rows from the top
    };
    using TextureRef = std::shared_ptr<Texture>;

    // A device of `width` x `height` on a window of its own.
    FrameReference(int width, int height);
    // Releases everything it made.
    ~FrameReference();
    FrameReference(const FrameReference&) = delete;
    FrameReference& operator=(const FrameReference&) = delete;

    bool Ready() const { return device_ != nullptr; }
    // A display-mode change of the renderer: the frames take the new size.
    void Resize(int width, int height);
    // After a device loss has ended.
    void Recover();

    // Submissions, at the target scale they were made at.
    void Point(int x, int y, D3DCOLOR color, float scale);
    void Line(int x1, int y1, int x2, int y2, D3DCOLOR color, float scale);
    void Triangle(int x1, int y1, int x2, int y2, int x3, int y3, D3DCOLOR color, bool filled, float scale);
    void Rect(const RECT& rect, D3DCOLOR color, bool filled, float scale);
    // A textured rectangle with the flags the host passed.
    void Sprite(const TextureRef& texture, const RECT& source, const RECT& destination, D3DCOLOR color,
                std::int32_t flags, float scale);

    // Draws what was submitted since the last flush onto a cleared frame; the frame's pixels
    // as 0xRRGGBB rows. Empty when the device failed.
    std::vector<std::uint32_t> Flush();
    void Discard() { commands_.clear(); }

private:
    struct Vertex {
        float x, y, z;
        D3DCOLOR diffuse;
        float u, v;
    };
    // One submission: its primitives and the states of its path.
    struct Command {
        D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
        std::vector<Vertex> vertices;
        TextureRef texture;  // sprites only
        bool blended = false;
        DWORD colorOp = D3DTOP_DISABLE;
        DWORD alphaOp = D3DTOP_DISABLE;
    };

    void CreateDevice();
    void ReleaseDevice();
    Vertex At(float px, float py, float scale, D3DCOLOR color, float u = 0.0f, float v = 0.0f) const;
    // Left-top, right-top, left-bottom and right-bottom, as two triangles.
    void PutQuad(Command& command, const RECT& rect, float scale, D3DCOLOR color, const float (&uv)[4]) const;
    // The texture's pixels as they are now, in a texture of the device.
    IDirect3DTexture9* MakeDeviceTexture(const Texture& texture);
    void Draw(const Command& command, IDirect3DTexture9* texture);

    int width_;
    int height_;
    HWND window_ = nullptr;
    IDirect3D9* direct3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    IDirect3DVertexBuffer9* vertices_ = nullptr;
    std::uint32_t vertexOffset_ = 0;  // bytes used this frame
    std::vector<Command> commands_;
};

}  // namespace lumi::test
