#pragma once
// A render target, depth buffer, textures and Direct3D 9's default states in plain memory, for
// drawing through d3d9sw::Rasterize without a device.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/d3d9/pixel_format.h"
#include "platform/d3d9/rasterizer.h"

namespace d3d9sw::testing {

struct Vertex {  // FVF 0x142
    float x, y, z;
    std::uint32_t diffuse;
    float u, v;
};

struct Surface {
    std::vector<std::uint8_t> bits;
    SurfaceView view;

    Surface() = default;
    Surface(D3DFORMAT format, int width, int height)
        : bits(SurfaceBytes(format, static_cast<unsigned>(width), static_cast<unsigned>(height))) {
        view = {format, width, height, static_cast<int>(RowPitch(format, static_cast<unsigned>(width))), bits.data()};
    }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;
};

class RasterScene {
public:
    explicit RasterScene(int width, int height, D3DFORMAT targetFormat = D3DFMT_X8R8G8B8,
                         D3DFORMAT depthFormat = D3DFMT_UNKNOWN)
        : target_(targetFormat, width, height) {
        SetDefaults();
        if (depthFormat != D3DFMT_UNKNOWN) {
            depth_ = std::make_unique<Surface>(depthFormat, width, height);
            state.depth = depth_->view;
            renderStates[D3DRS_ZENABLE] = D3DZB_TRUE;
            ClearDepth(state.depth, {0, 0, width, height}, 1.0f, true);
        }
        state.target = target_.view;
        state.viewport = {0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0.0f, 1.0f};
        ClearColor(state.target, {0, 0, width, height}, 0xFF000000u, true);
    }

    // Binds a texture to a stage; the scene keeps it alive.
    void SetTexture(unsigned stage, D3DFORMAT format, int width, int height, const std::vector<std::uint32_t>& argb) {
        textures_[stage] = std::make_unique<Surface>(format, width, height);
        const SurfaceView& view = textures_[stage]->view;
        if (DescribeFormat(format).compressed) {
            for (int by = 0; by < height; by += 4)
                for (int bx = 0; bx < width; bx += 4) {
                    std::uint32_t block[16];
                    for (int i = 0; i < 16; ++i) block[i] = argb[(by + i / 4) * width + bx + i % 4];
                    EncodeDxtBlock(format, block, view.bits + (by / 4) * view.pitch + (bx / 4) * DescribeFormat(format).blockBytes);
                }
        } else {
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) WritePixel(view, x, y, argb[y * width + x]);
        }
        state.textures[stage] = view;
    }

    // Two clockwise triangles covering pixel rectangle [l, r) x [t, b) the way the library
    // maps rectangles: corners at l - 0.5 .. r - 0.5, converted to clip space.
    void AddQuad(float l, float t, float r, float b, float z, std::uint32_t color, float u0 = 0, float v0 = 0,
                 float u1 = 1, float v1 = 1) {
        const float w = static_cast<float>(target_.view.width), h = static_cast<float>(target_.view.height);
        auto cx = [w](float px) { return (px - 0.5f) / w * 2.0f - 1.0f; };
        auto cy = [h](float py) { return 1.0f - (py - 0.5f) / h * 2.0f; };
        const Vertex tl{cx(l), cy(t), z, color, u0, v0}, tr{cx(r), cy(t), z, color, u1, v0};
        const Vertex bl{cx(l), cy(b), z, color, u0, v1}, br{cx(r), cy(b), z, color, u1, v1};
        for (const Vertex& v : {tl, tr, bl, tr, br, bl}) vertices.push_back(v);
    }

    HRESULT Draw(D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST) {
        DrawCall call;
        call.type = type;
        const UINT per = type == D3DPT_POINTLIST ? 1 : type == D3DPT_LINELIST ? 2 : 3;
        call.vertices = reinterpret_cast<const std::uint8_t*>(vertices.data());
        call.vertexCount = static_cast<UINT>(vertices.size());
        if (!indices.empty()) {
            call.indices = indices.data();
            call.indexCount = static_cast<UINT>(indices.size());
        }
        call.primitiveCount = static_cast<UINT>((indices.empty() ? vertices.size() : indices.size()) / per);
        const HRESULT hr = Rasterize(state, call);
        vertices.clear();
        indices.clear();
        return hr;
    }

    std::uint32_t Pixel(int x, int y) const { return ReadPixel(state.target, x, y); }
    std::uint32_t Depth(int x, int y) const { return ReadPixel(state.depth, x, y); }
    int CountPixels(std::uint32_t argb) const {
        int n = 0;
        for (int y = 0; y < state.target.height; ++y)
            for (int x = 0; x < state.target.width; ++x) n += Pixel(x, y) == argb;
        return n;
    }

    DWORD renderStates[kD3DRenderStateCount] = {};
    DWORD stageStates[kD3DTextureStageCount][kD3DTextureStageStateCount] = {};
    DWORD samplerStates[kD3DSamplerCount][kD3DSamplerStateCount] = {};
    DrawState state;
    std::vector<Vertex> vertices;
    std::vector<std::uint16_t> indices;

private:
    // Direct3D 9's documented defaults, lighting off as the library sets it.
    void SetDefaults() {
        DWORD* rs = renderStates;
        rs[D3DRS_ZENABLE] = D3DZB_FALSE;
        rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
        rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
        rs[D3DRS_ZWRITEENABLE] = TRUE;
        rs[D3DRS_LASTPIXEL] = TRUE;
        rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
        rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
        rs[D3DRS_CULLMODE] = D3DCULL_CCW;
        rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
        rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
        rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
        rs[D3DRS_COLORWRITEENABLE] = 0xF;
        rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
        rs[D3DRS_BLENDFACTOR] = 0xFFFFFFFFu;
        rs[D3DRS_SRCBLENDALPHA] = D3DBLEND_ONE;
        rs[D3DRS_DESTBLENDALPHA] = D3DBLEND_ZERO;
        rs[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;
        const float pointSize = 1.0f, pointSizeMax = 64.0f;
        std::memcpy(&rs[D3DRS_POINTSIZE], &pointSize, sizeof pointSize);
        std::memcpy(&rs[D3DRS_POINTSIZE_MIN], &pointSize, sizeof pointSize);
        std::memcpy(&rs[D3DRS_POINTSIZE_MAX], &pointSizeMax, sizeof pointSizeMax);
        for (unsigned i = 0; i < kD3DTextureStageCount; ++i) {
            DWORD* ts = stageStates[i];
            ts[D3DTSS_COLOROP] = i == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
            ts[D3DTSS_ALPHAOP] = i == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
            ts[D3DTSS_COLORARG1] = ts[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
            ts[D3DTSS_COLORARG2] = ts[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
            ts[D3DTSS_RESULTARG] = D3DTA_CURRENT;
        }
        for (auto& ss : samplerStates) {
            ss[D3DSAMP_ADDRESSU] = ss[D3DSAMP_ADDRESSV] = ss[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
            ss[D3DSAMP_MAGFILTER] = ss[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
            ss[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        }
        state.renderStates = renderStates;
        state.stageStates = stageStates;
        state.samplerStates = samplerStates;
    }

    Surface target_;
    std::unique_ptr<Surface> depth_;
    std::unique_ptr<Surface> textures_[kD3DTextureStageCount];
};

// Untextured drawing: stage 0 passes the diffuse colour on.
inline void UseDiffuseOnly(RasterScene& scene) { scene.stageStates[0][D3DTSS_COLOROP] = D3DTOP_DISABLE; }

}  // namespace d3d9sw::testing
