#include "tests/draw/frame_reference.h"

#include <cstring>
#include <map>

#include "platform/d3d9/control.h"
#include "platform/win32/window.h"
#include "tests/d3d9/d3d9_fixture.h"

namespace lumi::test {
namespace {

constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;
constexpr UINT kStride = 24;
constexpr UINT kVertexBytes = 1u << 20;
constexpr DWORD kColorOpFlags = 0x0FFFF000;
constexpr DWORD kModulateFlag = 0x20000;
constexpr D3DCOLOR kOpaque = 0xFF000000;

bool HasAlpha(D3DFORMAT format) { return format == D3DFMT_A8R8G8B8; }

}  // namespace

FrameReference::FrameReference(int width, int height) : width_(width), height_(height) {
    window_ = win32::CreateTestWindow(u"reference", 0, 0, width, height);
    direct3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    CreateDevice();
}

FrameReference::~FrameReference() {
    ReleaseDevice();
    if (direct3d_ != nullptr) direct3d_->Release();
}

void FrameReference::CreateDevice() {
    if (direct3d_ == nullptr) return;
    D3DPRESENT_PARAMETERS pp = d3d9test::WindowedParams(window_, static_cast<UINT>(width_), static_cast<UINT>(height_));
    if (FAILED(direct3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                       &pp, &device_))) {
        device_ = nullptr;
        return;
    }
    if (FAILED(device_->CreateVertexBuffer(kVertexBytes, D3DUSAGE_WRITEONLY, kFvf, D3DPOOL_MANAGED, &vertices_,
                                           nullptr))) {
        vertices_ = nullptr;
        ReleaseDevice();
    }
}

void FrameReference::ReleaseDevice() {
    if (vertices_ != nullptr) {
        if (device_ != nullptr) device_->SetStreamSource(0, nullptr, 0, 0);
        vertices_->Release();
        vertices_ = nullptr;
    }
    if (device_ != nullptr) {
        device_->Release();
        device_ = nullptr;
    }
}

void FrameReference::Resize(int width, int height) {
    ReleaseDevice();
    width_ = width;
    height_ = height;
    CreateDevice();
}

void FrameReference::Recover() {
    // A device made anew: nothing of the reference's outlives a frame but the vertex buffer.
    Resize(width_, height_);
}

FrameReference::Vertex FrameReference::At(float px, float py, float scale, D3DCOLOR color, float u, float v) const {
    // The renderer's clip-space arithmetic, operation for operation.
    const float twoOverWidth = 2.0f / static_cast<float>(width_);
    const float twoOverHeight = 2.0f / static_cast<float>(height_);
    return Vertex{(px * scale - 0.5f) * twoOverWidth - 1.0f, 1.0f - (py * scale - 0.5f) * twoOverHeight, 0.5f, color,
                  u, v};
}

void FrameReference::PutQuad(Command& command, const RECT& rect, float scale, D3DCOLOR color,
                             const float (&uv)[4]) const {
    const auto l = static_cast<float>(rect.left);
    const auto t = static_cast<float>(rect.top);
    const auto r = static_cast<float>(rect.right);
    const auto b = static_cast<float>(rect.bottom);
    const Vertex lt = At(l, t, scale, color, uv[0], uv[1]);
    const Vertex rt = At(r, t, scale, color, uv[2], uv[1]);
    const Vertex lb = At(l, b, scale, color, uv[0], uv[3]);
    const Vertex rb = At(r, b, scale, color, uv[2], uv[3]);
    command.vertices.insert(command.vertices.end(), {lt, rt, lb, lb, rt, rb});
}

void FrameReference::Point(int x, int y, D3DCOLOR color, float scale) {
    Command command;
    command.type = D3DPT_POINTLIST;
    command.vertices.push_back(At(static_cast<float>(x), static_cast<float>(y), scale, color));
    commands_.push_back(std::move(command));
}

void FrameReference::Line(int x1, int y1, int x2, int y2, D3DCOLOR color, float scale) {
    Command command;
    command.type = D3DPT_LINELIST;
    command.vertices.push_back(At(static_cast<float>(x1), static_cast<float>(y1), scale, color));
    command.vertices.push_back(At(static_cast<float>(x2), static_cast<float>(y2), scale, color));
    commands_.push_back(std::move(command));
}

void FrameReference::Triangle(int x1, int y1, int x2, int y2, int x3, int y3, D3DCOLOR color, bool filled,
                              float scale) {
    if (!filled) {
        // The edges in the renderer's order, as lines (opaque whatever the colour).
        Line(x1, y1, x2, y2, color, scale);
        Line(x3, y3, x1, y1, color, scale);
        Line(x2, y2, x3, y3, color, scale);
        return;
    }
    Command command;
    command.blended = (color & kOpaque) != kOpaque;
    for (const auto& [x, y] : {std::pair{x1, y1}, std::pair{x2, y2}, std::pair{x3, y3}})
        command.vertices.push_back(At(static_cast<float>(x), static_cast<float>(y), scale, color));
    commands_.push_back(std::move(command));
}

void FrameReference::Rect(const RECT& rect, D3DCOLOR color, bool filled, float scale) {
    if (!filled) {
        Line(rect.left, rect.top, rect.right, rect.top, color, scale);
        Line(rect.right, rect.top, rect.right, rect.bottom, color, scale);
        Line(rect.right, rect.bottom, rect.left, rect.bottom, color, scale);
        Line(rect.left, rect.bottom, rect.left, rect.top, color, scale);
        return;
    }
    Command command;
    command.blended = (color & kOpaque) != kOpaque;
    PutQuad(command, rect, scale, color, {0.0f, 0.0f, 0.0f, 0.0f});
    commands_.push_back(std::move(command));
}

void FrameReference::Sprite(const TextureRef& texture, const RECT& source, const RECT& destination, D3DCOLOR color,
                            std::int32_t flags, float scale) {
    // The path the renderer's flags rule picks: formats with alpha blend unless asked to be
    // opaque; the others blend only when asked to and the colour is translucent.
    const bool blended = HasAlpha(texture->format) ? (flags == 0 || (flags & 2) != 0)
                                                   : ((flags & 2) != 0 && (color & kOpaque) != kOpaque);
    Command command;
    command.texture = texture;
    command.blended = blended;
    command.colorOp = blended && (static_cast<DWORD>(flags) & kColorOpFlags) == kModulateFlag ? D3DTOP_MODULATE
                                                                                               : D3DTOP_SELECTARG1;
    command.alphaOp = blended ? D3DTOP_MODULATE : D3DTOP_SELECTARG1;
    const auto width = static_cast<float>(texture->width);
    const auto height = static_cast<float>(texture->height);
    const float uv[4] = {static_cast<float>(source.left) / width, static_cast<float>(source.top) / height,
                         static_cast<float>(source.right) / width, static_cast<float>(source.bottom) / height};
    PutQuad(command, destination, scale, color, uv);
    commands_.push_back(std::move(command));
}

IDirect3DTexture9* FrameReference::MakeDeviceTexture(const Texture& texture) {
    IDirect3DTexture9* made = nullptr;
    if (FAILED(device_->CreateTexture(static_cast<UINT>(texture.width), static_cast<UINT>(texture.height), 1, 0,
                                      texture.format, D3DPOOL_MANAGED, &made, nullptr)))
        return nullptr;
    D3DLOCKED_RECT locked{};
    if (FAILED(made->LockRect(0, &locked, nullptr, 0))) {
        made->Release();
        return nullptr;
    }
    for (int y = 0; y < texture.height; ++y) {
        std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + static_cast<std::ptrdiff_t>(y) * locked.Pitch,
                    texture.texels.data() + static_cast<std::size_t>(y) * texture.width,
                    static_cast<std::size_t>(texture.width) * 4);
    }
    made->UnlockRect(0);
    return made;
}

void FrameReference::Draw(const Command& command, IDirect3DTexture9* texture) {
    const auto bytes = static_cast<UINT>(command.vertices.size() * kStride);
    if (vertexOffset_ + bytes > kVertexBytes) vertexOffset_ = 0;
    void* room = nullptr;
    if (FAILED(vertices_->Lock(vertexOffset_, bytes, &room, 0))) return;
    std::memcpy(room, command.vertices.data(), bytes);
    vertices_->Unlock();
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, command.blended ? TRUE : FALSE);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, command.colorOp);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, command.alphaOp);
    device_->SetTexture(0, texture);
    device_->SetStreamSource(0, vertices_, vertexOffset_, kStride);
    const auto count = static_cast<UINT>(command.vertices.size());
    const UINT primitives = command.type == D3DPT_POINTLIST ? count : command.type == D3DPT_LINELIST ? count / 2 : count / 3;
    device_->DrawPrimitive(command.type, 0, primitives);
    vertexOffset_ += bytes;
}

std::vector<std::uint32_t> FrameReference::Flush() {
    std::vector<Command> commands;
    commands.swap(commands_);
    if (device_ == nullptr) return {};
    // The states every path of the renderer shares; what differs is set per command.
    device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device_->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    device_->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device_->SetFVF(kFvf);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    vertexOffset_ = 0;
    // Each texture as it stands now, made once for the frame.
    std::map<const Texture*, IDirect3DTexture9*> textures;
    for (const Command& command : commands) {
        if (command.texture && textures.count(command.texture.get()) == 0)
            textures[command.texture.get()] = MakeDeviceTexture(*command.texture);
    }
    device_->BeginScene();
    for (const Command& command : commands)
        Draw(command, command.texture ? textures[command.texture.get()] : nullptr);
    device_->EndScene();
    device_->SetTexture(0, nullptr);
    device_->SetStreamSource(0, nullptr, 0, 0);
    for (auto& entry : textures) {
        if (entry.second != nullptr) entry.second->Release();
    }

    IDirect3DSurface9* backBuffer = nullptr;
    if (FAILED(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer))) return {};
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels = d3d9ctl::ReadPixels(backBuffer, &width, &height);
    backBuffer->Release();
    for (std::uint32_t& pixel : pixels) pixel &= 0xFFFFFF;
    return pixels;
}

}  // namespace lumi::test
